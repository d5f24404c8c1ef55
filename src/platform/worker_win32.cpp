#include "platform/worker.h"

// The Windows program, in every head part, keeps its image small: it does
// its arithmetic on its one thread.
Worker *StartWorker(void (*)(void *), void *)
{
    return 0;
}

void HandToWorker(Worker *)
{
}

void WaitForWorker(Worker *)
{
}

void StopWorker(Worker *)
{
}
