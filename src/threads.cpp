#include "threads.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <vector>

int threadsAllowed = -1;

namespace {

bool createThread(pthread_t* handle, void* (*run)(void*), void* argument) {
    if (threadsAllowed == 0) return false;
    if (threadsAllowed > 0) threadsAllowed--;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setstacksize(&attributes, SEARCH_STACK_SIZE);
    const bool started = pthread_create(handle, &attributes, run, argument) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

// A worker: its number, its thread, and what it last saw of the pool.
struct Worker {
    int number = 0;
    pthread_t handle{};
    u64 seenGeneration = 0;   // the job it last answered (guarded by the pool's mutex)
    bool quit = false;        // guarded by the pool's mutex
};

// The workers and what they wait on. The pool lives as long as the process
// and is never destroyed: its workers may still wait on it when the process
// exits, and a condition variable must not be destroyed under a waiter.
struct Pool {
    std::vector<Worker*> workers;
    std::mutex mutex;   // guards generation, job, running and the workers' quit and seenGeneration
    std::condition_variable wake;   // a new job, or a worker told to quit
    std::condition_variable done;   // the last running worker finished its job
    u64 generation = 0;             // jobs started
    void (*job)(int, void*) = nullptr;
    void* context = nullptr;
    int running = 0;   // workers still running the current job
};

Pool& pool() {
    static Pool* const instance = new Pool;
    return *instance;
}

void* workerMain(void* argument) {
    Worker* worker = static_cast<Worker*>(argument);
    Pool& p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    for (;;) {
        p.wake.wait(
            lock, [worker, &p] { return worker->quit || p.generation != worker->seenGeneration; });
        if (worker->quit) return nullptr;
        worker->seenGeneration = p.generation;
        void (*job)(int, void*) = p.job;
        void* context = p.context;
        lock.unlock();
        job(worker->number, context);
        lock.lock();
        if (--p.running == 0) p.done.notify_all();
    }
}

}   // namespace

int setWorkers(int count) {
    Pool& p = pool();
    waitForWorkers();
    if (count < 0) count = 0;
    if (count > MAX_SEARCH_THREADS - 1) count = MAX_SEARCH_THREADS - 1;

    // Fewer: the last workers are told to quit and joined.
    while (static_cast<int>(p.workers.size()) > count) {
        Worker* worker = p.workers.back();
        {
            const std::lock_guard<std::mutex> lock(p.mutex);
            worker->quit = true;
        }
        p.wake.notify_all();
        pthread_join(worker->handle, nullptr);
        delete worker;
        p.workers.pop_back();
    }

    // More: each waits for the next job.
    while (static_cast<int>(p.workers.size()) < count) {
        Worker* worker = new Worker;
        worker->number = static_cast<int>(p.workers.size()) + 1;
        {
            const std::lock_guard<std::mutex> lock(p.mutex);
            worker->seenGeneration = p.generation;
        }
        if (!createThread(&worker->handle, workerMain, worker)) {
            delete worker;
            break;
        }
        p.workers.push_back(worker);
    }
    return static_cast<int>(p.workers.size());
}

int workerCount() { return static_cast<int>(pool().workers.size()); }

void runOnWorkers(void (*job)(int worker, void* context), void* context) {
    Pool& p = pool();
    if (p.workers.empty()) return;
    {
        const std::lock_guard<std::mutex> lock(p.mutex);
        p.job = job;
        p.context = context;
        p.running = static_cast<int>(p.workers.size());
        p.generation++;
    }
    p.wake.notify_all();
}

void waitForWorkers() {
    Pool& p = pool();
    if (p.workers.empty()) return;
    std::unique_lock<std::mutex> lock(p.mutex);
    p.done.wait(lock, [&p] { return p.running == 0; });
}

namespace {

struct ThreadStart {
    void (*run)(void*);
    void* argument;
};

void* threadMain(void* argument) {
    const ThreadStart start = *static_cast<ThreadStart*>(argument);
    delete static_cast<ThreadStart*>(argument);
    start.run(start.argument);
    return nullptr;
}

}   // namespace

bool startThread(ThreadHandle* thread, void (*run)(void*), void* argument) {
    pthread_t* handle = new pthread_t;
    ThreadStart* start = new ThreadStart{run, argument};
    if (!createThread(handle, threadMain, start)) {
        delete start;
        delete handle;
        return false;
    }
    thread->native = handle;
    return true;
}

void joinThread(ThreadHandle* thread) {
    if (thread->native == nullptr) return;
    pthread_t* handle = static_cast<pthread_t*>(thread->native);
    pthread_join(*handle, nullptr);
    delete handle;
    thread->native = nullptr;
}

void detachThread(ThreadHandle* thread) {
    if (thread->native == nullptr) return;
    pthread_t* handle = static_cast<pthread_t*>(thread->native);
    pthread_detach(*handle);
    delete handle;
    thread->native = nullptr;
}
