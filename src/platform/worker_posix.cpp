#include "platform/worker.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>

struct Worker {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t changed;
    bool busy;     // a piece handed over and not yet done
    bool stopping;
    void (*work)(void *context);
    void *context;
};

static void FreeWorker(Worker *worker)
{
    pthread_cond_destroy(&worker->changed);
    pthread_mutex_destroy(&worker->lock);
    free(worker);
}

static void *Run(void *argument)
{
    Worker *worker = (Worker *)argument;
    pthread_mutex_lock(&worker->lock);
    for (;;) {
        while (!worker->busy && !worker->stopping)
            pthread_cond_wait(&worker->changed, &worker->lock);
        if (!worker->busy)
            break;
        pthread_mutex_unlock(&worker->lock);
        worker->work(worker->context);
        pthread_mutex_lock(&worker->lock);
        worker->busy = false;
        pthread_cond_broadcast(&worker->changed);
    }
    pthread_mutex_unlock(&worker->lock);
    return 0;
}

Worker *StartWorker(void (*work)(void *context), void *context)
{
    Worker *worker = (Worker *)calloc(1, sizeof(Worker));
    if (!worker)
        return 0;
    worker->work = work;
    worker->context = context;
    pthread_mutex_init(&worker->lock, 0);
    pthread_cond_init(&worker->changed, 0);
    // Signals stay with the program's own thread, which stops the work.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    bool started = pthread_create(&worker->thread, 0, Run, worker) == 0;
    pthread_sigmask(SIG_SETMASK, &old, 0);
    if (started)
        return worker;
    FreeWorker(worker);
    return 0;
}

void HandToWorker(Worker *worker)
{
    pthread_mutex_lock(&worker->lock);
    worker->busy = true;
    pthread_cond_broadcast(&worker->changed);
    pthread_mutex_unlock(&worker->lock);
}

void WaitForWorker(Worker *worker)
{
    pthread_mutex_lock(&worker->lock);
    while (worker->busy)
        pthread_cond_wait(&worker->changed, &worker->lock);
    pthread_mutex_unlock(&worker->lock);
}

void StopWorker(Worker *worker)
{
    if (!worker)
        return;
    pthread_mutex_lock(&worker->lock);
    while (worker->busy)
        pthread_cond_wait(&worker->changed, &worker->lock);
    worker->stopping = true;
    pthread_cond_broadcast(&worker->changed);
    pthread_mutex_unlock(&worker->lock);
    pthread_join(worker->thread, 0);
    FreeWorker(worker);
}
