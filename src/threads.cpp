#include "threads.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "search.h"

namespace {

// A helper: its record, its thread, and what it last saw of the pool.
struct Helper {
    SearchThread* record = nullptr;
    pthread_t handle{};
    u64 seenGeneration = 0;   // the start it last answered (guarded by the pool's mutex)
    bool quit = false;        // guarded by the pool's mutex
};

// The records by index (0 the main thread's), the helpers (index 1 on) and
// what they wait on. The pool lives as long as the process and is never
// destroyed: its helpers may still wait on it when the process exits, and a
// condition variable must not be destroyed under a waiter.
struct Pool {
    std::vector<SearchThread*> records;
    std::vector<Helper*> helpers;
    std::mutex mutex;   // guards generation, running and the helpers' quit and seenGeneration
    std::condition_variable wake;   // a new search, or a helper told to quit
    std::condition_variable done;   // the last running helper stopped
    u64 generation = 0;             // searches started
    int running = 0;                // helpers still searching the current root
};
Pool* pool = nullptr;

void ensurePool() {
    if (pool != nullptr) return;
    pool = new Pool;
    SearchThread* main = new SearchThread();
    main->index = 0;
    clearHistoryHeuristic(&main->heuristics);
    clearKillerMove(&main->heuristics);
    pool->records.push_back(main);
}

void* helperMain(void* argument) {
    Helper* helper = static_cast<Helper*>(argument);
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->wake.wait(
            lock, [helper] { return helper->quit || pool->generation != helper->seenGeneration; });
        if (helper->quit) return nullptr;
        helper->seenGeneration = pool->generation;
        lock.unlock();
        helperSearch(helper->record);
        lock.lock();
        if (--pool->running == 0) pool->done.notify_all();
    }
}

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

}   // namespace

int threadsAllowed = -1;

SearchThread* searchThread(int index) {
    ensurePool();
    return pool->records[static_cast<size_t>(index)];
}

int searchThreadCount() {
    ensurePool();
    return static_cast<int>(pool->records.size());
}

int setSearchThreads(int count) {
    ensurePool();
    waitForHelpers();
    if (count < 1) count = 1;
    if (count > MAX_SEARCH_THREADS) count = MAX_SEARCH_THREADS;

    // Fewer: the last helpers are told to quit and joined.
    while (static_cast<int>(pool->records.size()) > count) {
        Helper* helper = pool->helpers.back();
        {
            const std::lock_guard<std::mutex> lock(pool->mutex);
            helper->quit = true;
        }
        pool->wake.notify_all();
        pthread_join(helper->handle, nullptr);
        delete helper->record;
        delete helper;
        pool->helpers.pop_back();
        pool->records.pop_back();
    }

    // More: a record each (zeroed, with empty killers and history), then the
    // thread, which waits for the next search.
    while (static_cast<int>(pool->records.size()) < count) {
        Helper* helper = new Helper;
        helper->record = new SearchThread();
        helper->record->index = static_cast<int>(pool->records.size());
        helper->record->pollInterval = HELPER_POLL_INTERVAL;
        clearHistoryHeuristic(&helper->record->heuristics);
        clearKillerMove(&helper->record->heuristics);
        {
            const std::lock_guard<std::mutex> lock(pool->mutex);
            helper->seenGeneration = pool->generation;
        }
        if (!createThread(&helper->handle, helperMain, helper)) {
            delete helper->record;
            delete helper;
            break;
        }
        pool->helpers.push_back(helper);
        pool->records.push_back(helper->record);
    }
    return static_cast<int>(pool->records.size());
}

void startHelpers(const Board* root, const MoveSet* only) {
    ensurePool();
    if (pool->helpers.empty()) return;
    for (Helper* helper : pool->helpers) {
        prepareSearchThread(helper->record, root);
        restrictRootMoves(helper->record, only);
    }
    {
        const std::lock_guard<std::mutex> lock(pool->mutex);
        pool->running = static_cast<int>(pool->helpers.size());
        pool->generation++;
    }
    pool->wake.notify_all();
}

void stopHelpers() { stopSignal.store(true); }

void waitForHelpers() {
    ensurePool();
    if (pool->helpers.empty()) return;
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->done.wait(lock, [] { return pool->running == 0; });
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
