// Threads: the platform's (start, join, detach, each with a stack of a
// known size) and a pool of workers that are started once and wait between
// jobs. The pool runs whatever job it is handed on every worker at once and
// knows nothing of what the job does; the search hands it its helpers'
// searches (search.h).
#pragma once

#include <cstddef>

#include "defs.h"

// More threads than cores still work (each gets its share of the machine);
// the ceiling, of search threads counting the one that calls the search,
// keeps the search records and the stacks inside a 32-bit address space.
inline constexpr int MAX_SEARCH_THREADS = sizeof(void*) >= 8 ? 256 : 64;

// Every thread started here gets this much stack, whatever the platform's
// default (1 MB on Windows): the deepest line of alpha-beta and quiescence
// frames needs well under a megabyte, the move lists live in the records.
inline constexpr size_t SEARCH_STACK_SIZE = size_t{8} << 20;

// ---------------------------------------------------------------------------
// The pool

// Makes count workers (0 .. MAX_SEARCH_THREADS - 1): new ones are started
// and wait, surplus ones (the last) are told to quit and joined. Not while a
// job runs. Returns the number of workers there now (fewer when the system
// refuses a thread).
int setWorkers(int count);

// The number of workers.
int workerCount();

// Starts job(worker, context) on every worker at once, worker numbered
// from 1; returns at once. Not while a job runs (waitForWorkers first).
void runOnWorkers(void (*job)(int worker, void* context), void* context);

// Waits until no worker runs a job; returns at once when none does.
void waitForWorkers();

// ---------------------------------------------------------------------------
// Platform threads

// A thread of its own with SEARCH_STACK_SIZE of stack, for a front end that
// runs the main search outside its command loop.
struct ThreadHandle {
    void* native = nullptr;   // the platform's handle, owned while running
};

// Starts run(argument) in a new thread; false when the system refuses one.
bool startThread(ThreadHandle* thread, void (*run)(void*), void* argument);

// Waits for the thread to end; nothing when none was started.
void joinThread(ThreadHandle* thread);

// Lets the thread run on by itself: nobody waits for it, and what it
// holds is released when it ends. The handle is empty afterwards.
void detachThread(ThreadHandle* thread);

// True between a successful startThread and joinThread.
inline bool threadStarted(const ThreadHandle* thread) { return thread->native != nullptr; }

// For the tests: how many more threads (workers, startThread) the system
// gives before it refuses them as a system out of threads would; negative
// for no limit.
extern int threadsAllowed;
