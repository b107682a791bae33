// Search: iterative deepening, alpha-beta, quiescence, killer and history
// heuristics with the repetition test, and the clock, limits and counters
// they share.
//
// The search runs in one or more threads at once (threads.h). Each search
// thread owns a SearchThread record, below: everything a search writes lives
// there, its own copy of the board included. What the threads share is
// short: the transposition table (hash.h), the clock and its limits, the
// stop signal, and the hooks a front end installs, all declared at the end
// of this header's first half.
#pragma once

#include <atomic>
#include <cstdint>

#include "defs.h"
#include "eval.h"
#include "hash.h"
#include "history.h"
#include "timecontrol.h"

// ---------------------------------------------------------------------------
// Constants of the search

inline constexpr i32 MATE_SCORE = INFINITE_SCORE;   // a side mated at ply scores ply - MATE_SCORE
inline constexpr int MAX_SEARCH_PLY = 100;          // deeper alpha-beta nodes drop into quiescence
inline constexpr int MAX_ITERATIONS = 100;          // deepest iteration of the driver
// The quiescence search stands pat from this ply on: the exchange searches
// that its nodes run use the move lists of the plies above their own, and
// an exchange never needs more than one ply per piece on the board.
inline constexpr int MAX_QSEARCH_PLY = MAX_PLY - 40;
inline constexpr i32 CLOCK_POLL_INTERVAL = 8191;   // node entries between clock readings
inline constexpr i32 HELPER_POLL_INTERVAL = 255;   // node entries between a helper's looks

// A set of moves, compared as sameMove compares them.
struct MoveSet {
    int count = 0;
    Move moves[MAX_MOVES];
    bool contains(const Move& move) const {
        for (int i = 0; i < count; i++)
            if (sameMove(moves[i], move)) return true;
        return false;
    }
    void add(const Move& move) {
        if (count < MAX_MOVES && !contains(move)) moves[count++] = move;
    }
};

// What a search is asked beyond its depth and time: how many best lines to
// find (MultiPV; 1 is the ordinary search), the root moves it may consider
// (none listed: all), the nodes it may take over all threads (0: no limit;
// checked every few hundred nodes of the main thread), a mate to find (in
// this many moves or fewer: the search ends once one is proven), whether it
// runs on the main thread alone (a chosen strength searches the same tree
// whatever the number of threads), and whether the caller has already
// started the search's clock (startSearchClock, for a search that ponders:
// the driver then takes the limits it finds).
struct SearchOptions {
    int multiPv = 1;
    MoveSet only;
    i64 nodes = 0;
    int mate = 0;
    bool oneThread = false;
    bool clockStarted = false;
};

// The search's diagnostics: cut-offs, null moves, extensions, the largest
// quiescence tree under one horizon node, and the table's counters. Nothing
// in play reads them; `quillantor search ... --stats` shows them.
struct SearchCounters {
    i64 betaCut = 0, betaCutOnFirst = 0, nullCut = 0, nullTried = 0;
    i64 extCheck = 0, extRecap = 0, extPawn = 0, maxQNodes = 0;
    HashCounters hash;
};

// The static score of recent positions, checked by the whole first key and
// the high half of the second (the transposition table trusts the first
// alone). A slot is never cleared, because a score never goes stale.
struct EvalCacheEntry {
    u64 key;
    u32 check;   // high half of hashKey2 with bit 0 set; 0 marks an empty slot
    i32 score;
};
inline constexpr u32 EVAL_CACHE_SIZE = 1u << 16;   // 1 MB

// Everything one search thread writes. The main thread (index 0) runs the
// driver, keeps the clock and prints; a helper searches the same root to
// fill the shared table and stops when the main thread does. Each record is
// about 3 MB, most of it the search stack's move lists, and lives on the
// heap (the search allocates them, setSearchThreads).
struct SearchThread {
    // The thread's own board: the root position copied in before every
    // search, moved along the search's line.
    Board board;

    int index = 0;   // 0 for the main thread

    // The killers and the history tables the move ordering reads.
    MoveHistory heuristics;

    // The search stack, a slot per ply: the moves each node generates, the
    // line the iteration follows first, and the move a node tries first
    // (the line's, or the table's). At the root, the nodes each move took
    // in the last iteration (by list index), which order the next one.
    MoveList moveLists[MAX_PLY];
    Move pv[MAX_PLY];
    Move pvMove = noMove;
    i64 rootNodeCount[MAX_MOVES];

    // Counters of the current search. globalNodes counts one per legal move
    // considered below the root and one per quiescence node; movesMade the
    // moves actually made (null moves and test makes excluded). 64 bits: a
    // search of a few million nodes a second passes 2^31 in a quarter of an
    // hour of analysis.
    i64 globalNodes = 0;
    i64 globalQNodes = 0;
    u64 movesMade = 0;
    u32 selDepth = 0;   // deepest ply reached, quiescence included
    SearchCounters counters;

    // The clock poll: node entries since the clock was last read, and the
    // flag that abandons the iteration once a limit has passed. A helper
    // looks at the stop signal far more often than the main thread reads
    // the clock, so that it stops within a fraction of a millisecond.
    i32 abortNodes = 0;
    i32 pollInterval = CLOCK_POLL_INTERVAL;
    u8 searchAborted = 0;
    // The main thread also looks at the stop signal every few hundred nodes
    // once it has completed an iteration (before that, only at its clock
    // readings: the first iteration always finishes when it is small).
    u8 watchesStop = 0;
    // The node count as the other threads may read it, renewed at every poll.
    std::atomic<i64> sharedNodes{0};

    // Path state: follow the previous iteration's line, the fractional
    // extensions gathered on the way down (tenths of a ply), and the best
    // move a node found, which carries internal deepening's answer back.
    u8 followPV = 0;
    u8 fractalExtensions = 0;
    Move bestMove = noMove;

    // The last iteration this thread completed: its depth, score and line.
    int completedDepth = 0;
    i32 completedScore = 0;
    PvLine completedLine;

    // The root moves this thread's search may play. Off (the usual case):
    // every legal move. On: only the moves of `only` when it holds any (go
    // searchmoves), and none of `skip` (the first moves of the lines that
    // MultiPV has found already at this depth).
    bool rootFiltered = false;
    MoveSet only;
    MoveSet skip;

    // Caches of pure functions of the position.
    EvalCacheEntry evalCache[EVAL_CACHE_SIZE];
    PawnCache pawnCache;
};

// ---------------------------------------------------------------------------
// Shared by every search thread

// The clock, the limits and the stop signal: timecontrol.h.

// When false the driver prints no thinking or fail-high lines (bench).
extern bool searchOutput;

// Hooks for a front end that runs the search in a thread of its own, called
// from the main search thread only. When searchInterrupt is set, the clock
// poll asks it each time it reads the clock, and the driver after every
// accepted iteration: true abandons the search as the hard limit does. When
// iterationReport is set, it replaces the thinking line of each accepted
// iteration and the fail-high lines are not printed.
// lineNumber is 0 for the single line of an ordinary search, 1..K for the
// lines of a search for K lines, best first.
extern bool (*searchInterrupt)();
extern void (*iterationReport)(int depth, i32 score, i32 elapsed, const PvLine* line,
                               int lineNumber);

// More hooks of such a front end, called from the main search thread when
// set: boundReport when a root move beats the first one inside an iteration
// (its score is a lower bound of the iteration's; the XBoard path prints a
// fail-high line there instead) and currentMoveReport before each root
// move (number counts from 1), both once the search has run for
// REPORT_AFTER ms, so that short searches print what they always printed;
// progressReport at a clock reading at least PROGRESS_INTERVAL ms after the
// last report, past the first such interval.
extern void (*boundReport)(int depth, i32 score, i32 elapsed, const PvLine* line);
extern void (*currentMoveReport)(int depth, const Move* move, int number);
extern void (*progressReport)(i32 elapsed);
inline constexpr i32 REPORT_AFTER = 1000;
inline constexpr i32 PROGRESS_INTERVAL = 1000;

// For the tests: the count every search thread's nodes start from, so that
// a test can begin where hours of analysis would have brought the counters.
extern i64 nodeCountStart;

// ---------------------------------------------------------------------------
// The search threads: the main one (index 0), which runs the driver in
// whichever thread calls it, and the helpers, which the pool's workers
// (threads.h) run; each has its own record. Helpers only search, and stop
// when the main thread's search ends.

// The record of search thread index (0 the main thread), 0 <= index <
// searchThreadCount(). The main thread's record exists from the first call on.
SearchThread* searchThread(int index);

// The number of search threads, main thread included (1 until set).
int searchThreadCount();

// Makes count search threads (clamped to 1 .. MAX_SEARCH_THREADS): new
// helpers get a record (empty killers and history) and a worker, surplus
// ones are ended; the records of threads that stay keep their contents.
// Not while a search runs. Returns the number of threads there now (fewer
// when the system refuses a thread).
int setSearchThreads(int count);

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

// Nodes of the current (or last) search over all threads: the main thread's
// own count and the others' as of their last poll (exact once they stopped).
i64 searchNodes();

// The diagnostics of the last search over all threads: the counts summed,
// maxQNodes the largest. Not while a search runs.
SearchCounters searchCountersTotal();

// ---------------------------------------------------------------------------
// Repetition

// 1 when the current key (hashHistory at gamePly) occurred at any earlier
// half-move 1 .. gamePly - 1 of the game and search line, else 0. Reads only.
int checkDraw(const Board* board);

// ---------------------------------------------------------------------------
// Search

// The clock poll every node runs on entry: true when the node must return 0
// at once. The main thread reads the clock every CLOCK_POLL_INTERVAL + 1
// entries against maxTimeAllowed and asks searchInterrupt; a helper looks at
// the stop signal as often.
bool pollClock(SearchThread* thread);

// Quiescence search of the thread's board (side to move's view). Reads and
// restores the board; leaves its ply's move list and the board's inCheck,
// lastCaptureSquare and lastCapturedPiece as scratch.
i32 qSearch(SearchThread* thread, i32 alpha, i32 beta, i32 level);

// Quiescence levels: a node entered from alpha-beta is at the first level;
// a check or an evasion goes one level down, any other capture eight, so
// quiet checks are tried only before the first capture.
inline constexpr i32 QS_FIRST_LEVEL = 0;
inline constexpr i32 QS_CHECK_STEP = 1;
inline constexpr i32 QS_CAPTURE_STEP = 8;
// Delta pruning: what a capture may gain beyond its exchange value.
inline constexpr i32 DELTA_MARGIN = 150;

// Alpha-beta node on the thread's board: fills line with the principal
// variation when the score falls inside the window (empties it otherwise)
// and returns the score. permission 1 allows a null move. The board is
// restored on return.
i32 alphaBeta(SearchThread* thread, i32 alpha, i32 beta, i32 depth, PvLine* line, u8 permission);

// Sets a thread up for a search of the board's position: the position copied
// into its board at ply 0, fresh counters. Killers and history are left as
// they are (clearSearchTables empties them between searches).
void prepareSearchThread(SearchThread* thread, const Board* root);

// Restricts the thread's root to the moves of only (all moves for nullptr
// or an empty set).
void restrictRootMoves(SearchThread* thread, const MoveSet* only);

// Iterative deepening for the engine's move with a budget in milliseconds
// (a negative budget counts as 0), on every search thread at once. Prints a
// thinking line per iteration and leaves the chosen move in *result: a legal
// move whenever the root has one, from = 127 when it has none. The board is
// read only; the main search thread's record holds the search's line and
// figures afterwards. hardCap bounds the hard limit (five times the budget,
// doubled once for an unstable root move) by what the GUI's clock allows;
// the soft limit is untouched.
void search(const Board* board, Move* result, i32 budget, i32 hardCap = NO_TIME_CAP);

// The same driver stopped after iteration maxDepth (1..100); the tools use
// it with the budget out of reach.
void searchToDepth(const Board* board, Move* result, i32 budget, int maxDepth,
                   i32 hardCap = NO_TIME_CAP, const SearchOptions* root = nullptr);

// The lines of the last iteration the main thread completed in a search for
// several lines (MultiPV), best first; one line for an ordinary search.
// A line not searched again at the last depth (the depth was cut short
// before its turn) keeps its figures, and its depth, from the depth before.
struct SearchLines {
    int count = 0;
    int depth = 0;
    i32 scores[MAX_MOVES];
    int depths[MAX_MOVES];
    PvLine lines[MAX_MOVES];
};
const SearchLines& lastSearchLines();

// Between iterations: the soft budget (doubled at most once), the changes
// of the root move counted from iteration 5 on, whether the time was
// extended, and the ceiling of the hard limit.
struct IterationControl {
    i32 budget;
    int changes;
    bool extended;
    i32 hardCap = NO_TIME_CAP;
};

// The driver's decision after an accepted iteration of this depth, score and
// elapsed milliseconds: counts a change of the root move, doubles the budget
// and maxTimeAllowed once at the third change, and answers whether the next
// iteration starts.
bool nextIteration(IterationControl* control, int depth, int maxDepth, i32 score, i32 elapsed,
                   bool rootMoveChanged);

// The iterative deepening of a helper thread on its board, set up by
// prepareSearchThread: no output and no clock of its own, only the stop
// signal ends it. Helpers skip some depths, each in its own pattern, so
// that the threads spread over neighbouring depths.
void helperSearch(SearchThread* thread);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// Always 0.
int moveIsInteresting();
