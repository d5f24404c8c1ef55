// A second thread for arithmetic that can run beside the program's own
// reading and writing: one piece of work at a time, handed over and waited
// for.  Where there is none (the Windows program keeps its image small),
// StartWorker gives null and the caller does the work itself.
#ifndef QCLEAVER_PLATFORM_WORKER_H
#define QCLEAVER_PLATFORM_WORKER_H

struct Worker;

// A worker that calls work(context) each time it is handed a piece; null
// where no thread can be had.
Worker *StartWorker(void (*work)(void *context), void *context);
// Hands over the next piece; the worker must be idle (WaitForWorker).
void HandToWorker(Worker *worker);
// Until the piece handed over, if any, is done.
void WaitForWorker(Worker *worker);
// Waits, then ends the thread.
void StopWorker(Worker *worker);

#endif
