// Search: iterative deepening, alpha-beta, quiescence, killer and history
// heuristics with the repetition test, and the clock, limits and counters
// they share.
//
// A search is asked for in a SearchLimits record: the limits as the caller
// set them, and the hooks of a front end that reports on it (SearchReports).
// It runs in one or more threads at once. Each search thread owns a
// SearchThread record: everything it writes lives there, its own copy of
// the board and its search stack included. What the threads share lives in
// one SharedSearch record that every thread's record points to: the limits,
// the clock (timecontrol.h), the node limit, the lines found, the hooks;
// and, beside it, the transposition table (hash.h).
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

// Hooks for a front end that runs the search in a thread of its own, called
// from the main search thread only. interrupt is asked each time the main
// thread reads the clock, and by the driver after every accepted
// iteration: true abandons the search as the hard limit does. iteration,
// when set, replaces the thinking line of each accepted iteration (the
// fail-high lines are then not printed); lineNumber is 0 for the single
// line of an ordinary search, 1..K for the lines of a search for K lines,
// best first. bound is called when a root move beats the first one inside
// an iteration (its score is a lower bound of the iteration's; the XBoard
// path prints a fail-high line there instead) and currentMove before each
// root move (number counts from 1), both once the search has run for
// REPORT_AFTER ms, so that short searches print what they always printed;
// progress at a clock reading at least PROGRESS_INTERVAL ms after the last
// report, past the first such interval.
struct SearchReports {
    bool (*interrupt)() = nullptr;
    void (*iteration)(int depth, i32 score, i32 elapsed, const PvLine* line,
                      int lineNumber) = nullptr;
    void (*bound)(int depth, i32 score, i32 elapsed, const PvLine* line) = nullptr;
    void (*currentMove)(int depth, const Move* move, int number) = nullptr;
    void (*progress)(i32 elapsed) = nullptr;
};
inline constexpr i32 REPORT_AFTER = 1000;
inline constexpr i32 PROGRESS_INTERVAL = 1000;

// What the caller of a search asks: the soft budget in milliseconds (a
// negative one counts as 0), the most the GUI's clock allows (the hard
// limit is five times the budget, doubled once for an unstable root move,
// and never past it), the deepest iteration (1..100), how many best lines
// to find (MultiPV; 1 is the ordinary search), the root moves it may
// consider (none listed: all), the nodes it may take over all threads (0:
// no limit; checked every few hundred nodes of the main thread), a mate to
// find (in this many moves or fewer: the search ends once one is proven),
// whether it runs on the main thread alone (a chosen strength searches the
// same tree whatever the number of threads), whether the caller has already
// started the search's clock (startSearchClock, for a search that ponders:
// the driver then takes the limits it finds), and the front end's hooks
// (none: the XBoard path's thinking lines).
struct SearchLimits {
    i32 budget = INT32_MAX;
    i32 hardCap = NO_TIME_CAP;
    int depth = MAX_ITERATIONS;
    int multiPv = 1;
    MoveSet only;
    i64 nodes = 0;
    int mate = 0;
    bool oneThread = false;
    bool clockStarted = false;
    const SearchReports* reports = nullptr;
    // The endgame tables (tablebase.h), when loaded and asked for: the root
    // keeps the moves that keep its table result, and the search probes
    // the positions of at most tableLimit pieces right after a capture or a
    // pawn move, at a depth of tableDepth or more (at any depth below the
    // limit), a win or a loss the fifty-move rule turns into a draw counting
    // as a draw with table50MoveRule.
    bool useTables = false;
    int tableDepth = 1;
    int tableLimit = 7;
    bool table50MoveRule = true;
};

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

// What the threads of the running search share: the limits the caller set
// and the hooks it named, the clock, the node limit, how many threads
// search, when the last progress report went out, and the lines of a
// search for several lines (those of the depth in progress, and those of
// the last depth completed, which the passes of the next depth follow
// first). The driver sets it up before the helpers start; during the
// search the threads only read it, the clock's atomics aside.
// The hooks of a search whose caller names none.
extern const SearchReports noSearchReports;

struct SharedSearch {
    const SearchLimits* limits = nullptr;
    const SearchReports* reports = &noSearchReports;
    MoveClock* clock = &moveClock;
    i64 nodeLimit = 0;
    int threads = 1;
    i32 lastProgress = 0;
    SearchLines currentLines;
    SearchLines completedLines;
    // The endgame tables in this search: the most pieces a node probes (0:
    // none), and the probes that found their position, over all threads.
    // A root in the tables reports each of its moves' table result as the
    // score of that move's line (a mate the search finds stands).
    int tablePieces = 0;
    std::atomic<i64> tableHits{0};
    bool rootInTables = false;
    MoveSet tableMoves;
    i32 tableScores[MAX_MOVES];
};

// The one shared record: the engine runs one search at a time.
SharedSearch* sharedSearch();

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

    // What the threads of the search share.
    SharedSearch* shared = sharedSearch();

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
    // Whether the move into each ply zeroed the fifty-move count (a capture
    // or a pawn move): the endgame tables are probed only there. Kept while
    // a search uses the tables.
    u8 zeroing[MAX_PLY];

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
// Output

// When false the driver prints no thinking or fail-high lines (bench): the
// XBoard path's thinking output, for a search without hooks.
extern bool searchOutput;

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
// entries against the hard limit and asks the front end's interrupt hook
// (and looks at the stop signal every few hundred entries once an
// iteration is done); a helper looks at the stop signal as often.
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

// Iterative deepening of the board's position under these limits, on every
// search thread at once (the main thread alone when the limits say so).
// Reports each iteration (a thinking line, or the hooks) and leaves the
// chosen move in *result: a legal move whenever the root has one, from =
// 127 when it has none. The board is read only; the main search thread's
// record holds the search's line and figures afterwards. Returns with the
// helpers told to stop, not waited for (waitForHelpers).
void think(const Board* board, Move* result, const SearchLimits& limits);

// think for the engine's move with a budget in milliseconds and what the
// GUI's clock allows, all other limits as they come.
void search(const Board* board, Move* result, i32 budget, i32 hardCap = NO_TIME_CAP);

// The same driver stopped after iteration maxDepth (1..100), with the other
// limits of root when given (its budget, cap and depth give way to these);
// the tools use it with the budget out of reach.
void searchToDepth(const Board* board, Move* result, i32 budget, int maxDepth,
                   i32 hardCap = NO_TIME_CAP, const SearchLimits* root = nullptr);

// The lines of the last search (SharedSearch::completedLines).
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
