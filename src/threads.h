// The search threads: the main one, which runs the driver in whichever
// thread calls it, and the helpers, each in a thread of its own that is
// created once and waits between searches. Every search thread has its own
// record (SearchThread, search.h); the helpers only search, and stop when
// the main thread's search ends.
#pragma once

#include <cstddef>

#include "defs.h"

struct SearchThread;

// More threads than cores still work (each gets its share of the machine);
// the ceiling keeps the records and stacks inside a 32-bit address space.
inline constexpr int MAX_SEARCH_THREADS = sizeof(void*) >= 8 ? 256 : 64;

// Every thread that searches gets this much stack, whatever the platform's
// default (1 MB on Windows): the deepest line of alpha-beta and quiescence
// frames needs well under a megabyte, the move lists live in the records.
inline constexpr size_t SEARCH_STACK_SIZE = size_t{8} << 20;

// The record of search thread index (0 the main thread), 0 <= index <
// searchThreadCount(). The main thread's record exists from the first call on.
SearchThread* searchThread(int index);

// The number of search threads, main thread included (1 until set).
int searchThreadCount();

// Makes count search threads (clamped to 1 .. MAX_SEARCH_THREADS): new
// helpers are started and wait, surplus ones are ended; the records of
// threads that stay keep their contents. Not while a search runs. Returns
// the number of threads there now (fewer when the system refuses a thread).
int setSearchThreads(int count);

struct MoveSet;

// Copies the root into every helper's record, restricted to the root moves
// of only (all when it is empty), and sets them searching (helperSearch);
// nothing without helpers. Called by the driver, once waitForHelpers has
// returned and the stop signal is lowered.
void startHelpers(const Board* root, const MoveSet* only);

// Raises the stop signal: every helper abandons its search at its next
// poll. Does not wait for them.
void stopHelpers();

// Waits until no helper searches any more; their records, the table and
// the killers can be touched afterwards. Returns at once without helpers.
void waitForHelpers();

// A thread of its own with SEARCH_STACK_SIZE of stack, for a front end that
// runs the main search outside its command loop.
struct ThreadHandle {
    void* native = nullptr;   // the platform's handle, owned while running
};

// Starts run(argument) in a new thread; false when the system refuses one.
bool startThread(ThreadHandle* thread, void (*run)(void*), void* argument);

// For the tests: how many more threads (helpers, startThread) the system
// gives before it refuses them as a system out of threads would; negative
// for no limit.
extern int threadsAllowed;

// Waits for the thread to end; nothing when none was started.
void joinThread(ThreadHandle* thread);

// Lets the thread run on by itself: nobody waits for it, and what it
// holds is released when it ends. The handle is empty afterwards.
void detachThread(ThreadHandle* thread);

// True between a successful startThread and joinThread.
inline bool threadStarted(const ThreadHandle* thread) { return thread->native != nullptr; }
