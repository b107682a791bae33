// Search: iterative deepening, alpha-beta, quiescence, killer and history
// heuristics with the repetition test, and the clock, limits and counters
// they share.
#pragma once

#include <cstdint>

#include "defs.h"

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

// ---------------------------------------------------------------------------
// Killer moves and history tables

// One killer slot: the move (from, to and piece compared) and its hits.
struct KillerEntry {
    Move move;
    u32 counter;
};

// [colour of the mover][ply][first, second, third]
extern KillerEntry killerMove[2][MAX_PLY][3];

// Cells 0..4095: (16 * colour + piece) * 128 + to, one block of
// HISTORY_COLOUR_CELLS per colour; then one divisor cell per colour.
inline constexpr int HISTORY_COLOUR_CELLS = 16 * 128;
inline constexpr int HISTORY_DIVISOR_CELL = 2 * HISTORY_COLOUR_CELLS;   // + colour
inline constexpr int HISTORY_SIZE = HISTORY_DIVISOR_CELL + 2;
static_assert(HISTORY_SIZE == 4098);
inline constexpr u32 HISTORY_LIMIT = 50000;   // above this the colour's cells are halved
extern u32 historyHeuristic[HISTORY_SIZE];
extern u32 successHistoryHeuristic[HISTORY_SIZE];
extern u32 badHistoryHeuristic[HISTORY_SIZE];

// History cell of a move: its colour (by the moving piece), piece and destination.
inline int historyIndex(const Move* move) {
    const int colour = colourOf(move->piece);
    return colour * HISTORY_COLOUR_CELLS + move->piece * 128 + move->to;
}

// Zeroes cells 0..4095 of the three history tables and sets the per-colour
// cells 4096 and 4097 to 1.
void clearHistoryHeuristic();

// Empties every killer slot (from = 127, counter 0) of both colours at all plies.
void clearKillerMove();

// Empties the three killer slots of both colours at ply + 2.
void clearKillersDepth(u32 ply);

// Counts a quiet cut-off move into the killers of its colour at the board's
// ply: a known slot gains a hit, an unknown move replaces the third slot;
// then one bubbling pass from the bottom. Captures and promotions are ignored.
void updateKillerMove(const Board* board, const Move* move);

// A quiet cut-off at this depth: one success and depth * depth of history,
// halving the colour's history cells once a cell passes HISTORY_LIMIT.
// Captures and promotions are ignored.
void updateHistoryHeuristic(const Move* move, i32 depth);

// A quiet move tried before another quiet move cut off: one failure.
// Captures and promotions are ignored.
void updateBadHistoryHeuristic(const Move* move);

// The move's history cell, the ordering score of quiet moves.
u32 getHistoryBonus(const Move* move);

// 1 when the current key (hashHistory at gamePly) occurred at any earlier
// half-move 1 .. gamePly - 1 of the game and search line, else 0. Reads only.
int checkDraw(const Board* board);

// ---------------------------------------------------------------------------
// Clock, limits and counters

// The millisecond clock the search reads; timer() unless a test installs its own.
extern i32 (*searchClock)();

extern i32 timerSearchStart;
extern i32 maxTimeAllowed;
extern i32 abortNodes;
extern u8 searchAborted;
extern i32 globalNodes;
extern i32 globalQNodes;
// Moves the search has made on the board (alpha-beta, quiescence and its
// quiet checks; null moves and test makes excluded): the counted nodes
// include moves pruned before they are made and count a horizon twice.
extern u64 movesMade;
extern u8 followPV;
extern u8 fractalExtensions;
extern Move bestMove;
extern i32 betaCut, betaCutOnFirst, nullCut, nullTried, extCheck, extRecap, extPawn, maxQNodes;

// When false the driver prints no thinking or fail-high lines (bench).
extern bool searchOutput;

// Deepest ply any node of the current search reached (quiescence included).
extern u32 selDepth;

// Hooks for a front end that runs the search in a thread of its own. When
// searchInterrupt is set, the clock poll asks it each time it reads the
// clock, and the driver after every accepted iteration: true abandons the
// search as the hard limit does. When iterationReport is set, it replaces
// the thinking line of each accepted iteration and the fail-high lines are
// not printed.
extern bool (*searchInterrupt)();
extern void (*iterationReport)(int depth, i32 score, i32 elapsed, const PvLine* line);

// The clock poll every node runs on entry: true when the node must return 0
// at once (the hard limit has been passed, now or earlier in the iteration).
bool pollClock();

// ---------------------------------------------------------------------------
// Search

// Quiescence search of the board's position (side to move's view). Reads and
// restores the board; leaves its ply's move list and the board's inCheck,
// lastCaptureSquare and lastCapturedPiece as scratch.
i32 qSearch(Board* board, i32 alpha, i32 beta, i32 level);

// Quiescence levels: a node entered from alpha-beta is at the first level;
// a check or an evasion goes one level down, any other capture eight, so
// quiet checks are tried only before the first capture.
inline constexpr i32 QS_FIRST_LEVEL = 0;
inline constexpr i32 QS_CHECK_STEP = 1;
inline constexpr i32 QS_CAPTURE_STEP = 8;
// Delta pruning: what a capture may gain beyond its exchange value.
inline constexpr i32 DELTA_MARGIN = 150;

// Alpha-beta node: fills line with the principal variation when the score
// falls inside the window (empties it otherwise) and returns the score.
// permission 1 allows a null move. The board is restored on return.
i32 alphaBeta(Board* board, i32 alpha, i32 beta, i32 depth, PvLine* line, u8 permission);

// No limit beyond five (or ten) times the budget.
inline constexpr i32 NO_TIME_CAP = INT32_MAX;

// The hard limit a GUI's clock leaves for a move that may take at most
// allowedMs: the allowed time less a margin for the clock poll and the
// output, max(30 ms, 5 %). 0 when nothing is left; NO_TIME_CAP stays.
i32 clockHardCap(i32 allowedMs);

// Iterative deepening for the engine's move with a budget in milliseconds
// (a negative budget counts as 0). Prints a thinking line per iteration and
// leaves the chosen move in *result: a legal move whenever the root has one,
// from = 127 when it has none. The board is left as found, ply 0. hardCap
// bounds the hard limit (five times the budget, doubled once for an unstable
// root move) by what the GUI's clock allows; the soft limit is untouched.
void search(Board* board, Move* result, i32 budget, i32 hardCap = NO_TIME_CAP);

// The same driver stopped after iteration maxDepth (1..100); the tools use
// it with the budget out of reach.
void searchToDepth(Board* board, Move* result, i32 budget, int maxDepth, i32 hardCap = NO_TIME_CAP);

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

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// The move's failure count per thousand of the colour's divisor cell.
i32 getBadHistoryBonus(const Move* move);

// Always 0.
int moveIsInteresting();

// Prints the three killers of the side to move at the board's ply.
void showKillers(const Board* board);
