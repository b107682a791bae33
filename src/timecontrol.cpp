#include "timecontrol.h"

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "utils.h"

i32 (*searchClock)() = timer;
MoveClock moveClock;

i32 elapsedSince(i32 start) {
    return static_cast<i32>(static_cast<u32>(searchClock()) - static_cast<u32>(start));
}

i32 clockHardCap(i32 allowedMs) {
    if (allowedMs == NO_TIME_CAP) return NO_TIME_CAP;
    if (allowedMs <= 0) return 0;
    const i32 margin = allowedMs / 20 > 30 ? allowedMs / 20 : 30;
    return allowedMs > margin ? allowedMs - margin : 0;
}

i32 xboardClockBudget(i32 centiseconds) {
    return static_cast<i32>(static_cast<i64>(centiseconds) * 10 / 40);
}

i32 hardCapSince(i32 allowedMs, i32 stamp) {
    const i32 cap = clockHardCap(allowedMs);
    if (cap == NO_TIME_CAP) return cap;
    const i32 spent = elapsedSince(stamp);
    return spent < 0 ? cap : (cap > spent ? cap - spent : 0);
}

i32 scaleTime(i32 value, i32 factor) {
    const i64 product = static_cast<i64>(value) * factor;
    return product > INT32_MAX ? INT32_MAX : static_cast<i32>(product);
}

i32 hardLimitFor(i32 budget, i32 hardCap) {
    if (budget < 0) budget = 0;
    if (hardCap < 0) hardCap = 0;
    const i32 five = scaleTime(budget, 5);
    return five < hardCap ? five : hardCap;
}

// ---------------------------------------------------------------------------
// The watch

namespace {

using SteadyClock = std::chrono::steady_clock;

// The watch thread sleeps until the deadline of the running search and
// raises the stop signal when it passes. It is started with the first
// search that has a deadline and ends when the process exits; the record
// is never destroyed.
struct Watch {
    std::mutex mutex;
    std::condition_variable wake;
    bool armed = false;
    SteadyClock::time_point deadline;
    bool started = false;   // the thread runs (or could not be had: then polls alone)
    bool quit = false;      // the process is ending
    std::thread thread;
    // Pondering: the limits the search takes on at the hit, from its start.
    bool pondering = false;
    i32 start = 0;
    i32 ponderBudget = 0;
    i32 ponderHardCap = NO_TIME_CAP;
};

Watch& watch() {
    static Watch* const record = new Watch;
    return *record;
}

void watchMain() {
    Watch& w = watch();
    std::unique_lock<std::mutex> lock(w.mutex);
    while (!w.quit) {
        if (!w.armed) {
            w.wake.wait(lock);
            continue;
        }
        if (SteadyClock::now() >= w.deadline) {
            w.armed = false;
            moveClock.stopSignal.store(true);
            continue;
        }
        const SteadyClock::time_point deadline = w.deadline;
        w.wake.wait_until(lock, deadline);
    }
}

void endWatch() {
    Watch& w = watch();
    {
        const std::lock_guard<std::mutex> lock(w.mutex);
        w.quit = true;
    }
    w.wake.notify_all();
    if (w.thread.joinable()) w.thread.join();
}

// Arms the watch for the hard limit hardLimit counted from start on the
// search's clock. Only the real clock is watched: a test's own clock moves
// when the test says so. With the mutex held.
void armLocked(Watch& w, i32 start, i32 hardLimit) {
    w.armed = false;
    if (searchClock != timer || hardLimit == NO_TIME_CAP) return;
    const i64 left = static_cast<i64>(hardLimit) - elapsedSince(start);
    w.deadline = SteadyClock::now() + std::chrono::milliseconds(left > 0 ? left : 0);
    w.armed = true;
    if (!w.started) {
        w.started = true;
        // Without a thread of its own the watch is missing, not fatal: the
        // search's own clock readings still end it. At exit the thread is
        // ended and joined, so that nothing of it is left behind.
        try {
            w.thread = std::thread(watchMain);
            atexit(endWatch);
        } catch (const std::system_error&) {
            w.armed = false;
        }
    }
}

}   // namespace

void startSearchClock(i32 start, i32 hardLimit, bool pondering, i32 ponderBudgetMs,
                      i32 ponderHardCapMs) {
    Watch& w = watch();
    {
        const std::lock_guard<std::mutex> lock(w.mutex);
        moveClock.stopSignal.store(false);
        moveClock.timerSearchStart.store(start);
        w.start = start;
        w.pondering = pondering;
        w.ponderBudget = ponderBudgetMs;
        w.ponderHardCap = ponderHardCapMs;
        moveClock.maxTimeAllowed.store(pondering ? NO_TIME_CAP : hardLimit);
        if (pondering) w.armed = false;
        else armLocked(w, start, hardLimit);
    }
    w.wake.notify_all();
}

void setHardLimit(i32 hardLimit) {
    Watch& w = watch();
    {
        const std::lock_guard<std::mutex> lock(w.mutex);
        moveClock.maxTimeAllowed.store(hardLimit);
        // Only a watched search is watched again: a limit set outside a
        // search (a test of the driver's arithmetic) starts no watch.
        if (w.armed) armLocked(w, w.start, hardLimit);
    }
    w.wake.notify_all();
}

void stopSearchClock() {
    Watch& w = watch();
    const std::lock_guard<std::mutex> lock(w.mutex);
    w.armed = false;
    w.pondering = false;
}

bool searchPondering() {
    Watch& w = watch();
    const std::lock_guard<std::mutex> lock(w.mutex);
    return w.pondering;
}

void ponderHit() {
    Watch& w = watch();
    {
        const std::lock_guard<std::mutex> lock(w.mutex);
        if (!w.pondering) return;
        w.pondering = false;
        const i32 hardLimit = hardLimitFor(w.ponderBudget, w.ponderHardCap);
        moveClock.maxTimeAllowed.store(hardLimit);
        // The time spent pondering counts: a budget already spent ends the
        // search now, with the line of the last iteration it completed.
        if (elapsedSince(w.start) >= w.ponderBudget) moveClock.stopSignal.store(true);
        else armLocked(w, w.start, hardLimit);
    }
    w.wake.notify_all();
}

TimeBudget ponderLimits() {
    Watch& w = watch();
    const std::lock_guard<std::mutex> lock(w.mutex);
    return {w.ponderBudget, w.ponderHardCap};
}

// ---------------------------------------------------------------------------
// The UCI clock

TimeBudget uciTimeBudget(const GoLimits& limits, u8 side, i32 lagMs, i32 overheadMs) {
    if (lagMs < 0) lagMs = 0;
    if (overheadMs < 0) overheadMs = 0;
    const auto less = [](i32 value, i32 minus) { return value > minus ? value - minus : 0; };
    if (limits.moveTime >= 0) {
        // As "st" on the XBoard path: the whole time is the budget, the cap
        // keeps the margin inside it.
        const i32 moveTime = less(limits.moveTime, overheadMs);
        return {less(moveTime, lagMs), less(clockHardCap(moveTime), lagMs)};
    }
    if (limits.time[side] < 0) return {INT32_MAX, NO_TIME_CAP};
    const i32 remaining = less(limits.time[side], overheadMs);
    const i32 inc = limits.inc[side];
    const i32 movesLeft =
        limits.movesToGo > 0 ? (limits.movesToGo < 30 ? limits.movesToGo : 30) : 30;
    // The hard cap: never past the clock less its margin, nor past an eighth
    // of the clock (half of it for the last move before the time control)
    // plus half the increment, so one long move cannot start a slide into a
    // clock too short to search at all.
    i64 hard = less(clockHardCap(remaining), lagMs);
    const i32 shares = limits.movesToGo > 0 && limits.movesToGo < 8 ? limits.movesToGo + 1 : 8;
    const i64 share = static_cast<i64>(remaining) / shares + inc / 2;
    if (hard > share) hard = share;
    // The soft budget: this move's share of the clock plus most of the
    // increment, at most half the hard cap so an iteration begun near the
    // end of the budget still has room to finish.
    i64 budget = static_cast<i64>(remaining) / movesLeft + static_cast<i64>(inc) * 3 / 4 - lagMs;
    if (budget > hard / 2) budget = hard / 2;
    if (budget < 0) budget = 0;
    return {static_cast<i32>(budget), static_cast<i32>(hard)};
}

bool goLacksMoversClock(const GoLimits& limits, u8 side) {
    return limits.clockWords && limits.time[side] < 0 && limits.moveTime < 0;
}
