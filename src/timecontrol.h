// The clock of the engine's move, for both protocols: how long a search may
// think (the soft budget, looked at between iterations, and the hard limit
// inside them), what the GUI's clock allows and the margin kept from it,
// the UCI move overhead, pondering, and the test every search thread may ask
// at any time: is the time up.
//
// Every duration is measured on a monotonic clock (timer(), utils.h), never
// on the time of day, which the system may step. Besides the search's own
// readings every few thousand nodes, a watch thread raises the stop signal
// the moment the hard limit passes, so that a search starved of the
// processor (more threads than cores, a loaded machine) stops on time.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "defs.h"

// ---------------------------------------------------------------------------
// The clock

// The millisecond clock the search reads: timer() unless a test installs its own.
extern i32 (*searchClock)();

// Milliseconds from start to now on searchClock; differences of the wrapping
// clock stay right in two's complement.
i32 elapsedSince(i32 start);

// ---------------------------------------------------------------------------
// The limits of the running search, shared by its threads

// The clock of the running search, which its threads read through their
// shared record (search.h) and the functions below set:
//   timerSearchStart  the search's start on searchClock
//   maxTimeAllowed    the hard limit in milliseconds from the start that the
//                     main thread's clock poll enforces (doubled at most
//                     once during the search, never past what the GUI's
//                     clock allows)
//   stopSignal        raised when the search must end: by the watch when
//                     the hard limit passes, by a front end's "stop", by a
//                     ponderhit that finds the budget spent, and by the main
//                     thread when its search has ended (every helper then
//                     abandons its iteration at its next poll); lowered only
//                     when a search starts
struct MoveClock {
    std::atomic<i32> timerSearchStart{0};
    std::atomic<i32> maxTimeAllowed{0};
    std::atomic<bool> stopSignal{false};
};

// The engine runs one search at a time: this is its clock.
extern MoveClock moveClock;

// No limit beyond five (or ten) times the budget.
inline constexpr i32 NO_TIME_CAP = INT32_MAX;

// The hard limit a GUI's clock leaves for a move that may take at most
// allowedMs: the allowed time less a margin for the clock poll and the
// output, max(30 ms, 5 %). 0 when nothing is left; NO_TIME_CAP stays.
i32 clockHardCap(i32 allowedMs);

// The XBoard path's budget after "time N" (centiseconds left on the
// engine's clock): a fortieth of the clock.
i32 xboardClockBudget(i32 centiseconds);

// The hard limit left for a move the GUI's clock allows allowedMs for,
// when the line that asked for it arrived at stamp: clockHardCap less the
// time spent since (NO_TIME_CAP stays).
i32 hardCapSince(i32 allowedMs, i32 stamp);

// value * factor, saturated at INT32_MAX: a budget from "st" or "time" may
// be large enough that five times it overflows.
i32 scaleTime(i32 value, i32 factor);

// The hard limit of a search with this budget under this cap: five times
// the budget, never more than the cap (both counted as 0 when negative).
i32 hardLimitFor(i32 budget, i32 hardCap);

// Starts the clock of a search at start with the hard limit hardLimit (ms
// from start) and watches it: the stop signal is raised when the hard limit
// passes on the real clock. A search that ponders is not watched until
// ponderHit; nor is one under a test's own clock. The soft budget and the
// clock's cap a ponder search takes on at the hit are kept for it. The
// caller makes sure no helper of an earlier search still runs: the stop
// signal is lowered here.
void startSearchClock(i32 start, i32 hardLimit, bool pondering = false, i32 ponderBudget = 0,
                      i32 ponderHardCap = NO_TIME_CAP);

// Sets a new hard limit for the running search (the driver's extension
// for an unstable root move) and watches it.
void setHardLimit(i32 hardLimit);

// Ends the watch of the running search (the search has ended).
void stopSearchClock();

// True while a search started pondering and has had no ponderhit.
bool searchPondering();

// The opponent played the move the engine pondered on: the move's own
// limits apply from now on, counted from the start of the search (the time
// spent pondering counts towards the move). When its budget is already
// spent, the stop signal is raised at once. Thread-safe; nothing when the
// search does not ponder.
void ponderHit();

struct TimeBudget;
// The soft budget and the clock's cap a ponder search took on at its
// ponderhit; valid once searchPondering() has turned false.
TimeBudget ponderLimits();

// ---------------------------------------------------------------------------
// The UCI "go" command's clock

// The limits of one "go" command. Times in milliseconds; -1 = not given.
struct GoLimits {
    i32 time[2] = {-1, -1};   // wtime, btime (by colour: WHITE, BLACK)
    i32 inc[2] = {0, 0};      // winc, binc
    i32 movesToGo = 0;
    i32 moveTime = -1;
    int depth = 0;   // 0: no depth limit
    int mate = 0;    // 0: no mate search; else mate in this many moves
    i64 nodes = 0;   // 0: no node limit
    bool infinite = false;
    bool ponder = false;
    bool clockWords = false;                // wtime, btime, winc, binc or movestogo was given
    std::vector<std::string> searchMoves;   // the texts after "searchmoves", as given
};

// The two limits handed to the search: the soft budget tested between
// iterations and the hard cap the nodes' clock poll enforces.
struct TimeBudget {
    i32 budget;
    i32 hardCap;
};

// The time for the side to move under these limits, lagMs after the "go"
// line arrived, with overheadMs taken off the clock first (the UCI option
// "Move Overhead": the time the GUI or the network loses on every move):
// movetime as the XBoard path takes "st", a clock as a share of what is left
// (movestogo, or 30 moves) plus most of the increment, the hard cap never
// past the clock less its margin and less the lag. Neither clock nor
// movetime: both limits out of reach.
TimeBudget uciTimeBudget(const GoLimits& limits, u8 side, i32 lagMs, i32 overheadMs = 0);

// A "go" that names a clock (wtime, btime, winc, binc, movestogo) but not
// the clock of the side to move would search for ever: it thinks this
// fixed time instead.
inline constexpr i32 NO_CLOCK_MOVE_TIME = 1000;

// True when the limits name a clock but none for the side to move, and
// no movetime.
bool goLacksMoversClock(const GoLimits& limits, u8 side);
