// The killer moves and the history tables of one search thread: what the
// move ordering learns from the cut-offs of the search, and reads back when
// it scores the quiet moves of a node.
#pragma once

#include "defs.h"

// Captures and promotions are not quiet: the killers and the history learn
// only from quiet moves.
inline bool isQuiet(const Move* move) { return (move->flags & (MF_CAPTURE | MF_PROMOTION)) == 0; }

// One killer slot: the move (from, to and piece compared) and its hits.
struct KillerEntry {
    Move move;
    u32 counter;
};

// Two records name the same killer when from, to and the moving piece agree.
inline bool killerMatches(const Move& killer, const Move& move) {
    return killer.from == move.from && killer.to == move.to && killer.piece == move.piece;
}

// History cells 0..4095: (16 * colour + piece) * 128 + to, one block of
// HISTORY_COLOUR_CELLS per colour; then one divisor cell per colour.
inline constexpr int HISTORY_COLOUR_CELLS = 16 * 128;
inline constexpr int HISTORY_DIVISOR_CELL = 2 * HISTORY_COLOUR_CELLS;   // + colour
inline constexpr int HISTORY_SIZE = HISTORY_DIVISOR_CELL + 2;
static_assert(HISTORY_SIZE == 4098);
inline constexpr u32 HISTORY_LIMIT = 50000;   // above this the colour's cells are halved

// History cell of a move: its colour (by the moving piece), piece and destination.
inline int historyIndex(const Move* move) {
    const int colour = colourOf(move->piece);
    return colour * HISTORY_COLOUR_CELLS + move->piece * 128 + move->to;
}

// The tables of one search thread: killer moves [colour of the mover][ply]
// [first, second, third], and three history tables by historyIndex: the
// depth-weighted successes the ordering reads, and the plain counts of
// successes and failures that history pruning and the reductions compare.
struct MoveHistory {
    KillerEntry killerMove[2][MAX_PLY][3];
    u32 historyHeuristic[HISTORY_SIZE];
    u32 successHistoryHeuristic[HISTORY_SIZE];
    u32 badHistoryHeuristic[HISTORY_SIZE];
};

// Zeroes cells 0..4095 of the three history tables and sets the per-colour
// cells 4096 and 4097 to 1.
void clearHistoryHeuristic(MoveHistory* history);

// Empties every killer slot (from = 127, counter 0) of both colours at all plies.
void clearKillerMove(MoveHistory* history);

// Empties the three killer slots of both colours at ply + 2.
void clearKillersDepth(MoveHistory* history, u32 ply);

// Counts a quiet cut-off move into the killers of its colour at this ply:
// a known slot gains a hit, an unknown move replaces the third slot; then
// one bubbling pass from the bottom. Captures and promotions are ignored.
void updateKillerMove(MoveHistory* history, u32 ply, const Move* move);

// A quiet cut-off at this depth: one success and depth * depth of history,
// halving the colour's history cells once a cell passes HISTORY_LIMIT.
// Captures and promotions are ignored.
void updateHistoryHeuristic(MoveHistory* history, const Move* move, i32 depth);

// A quiet move tried before another quiet move cut off: one failure.
// Captures and promotions are ignored.
void updateBadHistoryHeuristic(MoveHistory* history, const Move* move);

// The move's history cell, the ordering score of quiet moves.
u32 getHistoryBonus(const MoveHistory* history, const Move* move);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// The move's failure count per thousand of the colour's divisor cell.
i32 getBadHistoryBonus(const MoveHistory* history, const Move* move);

// Prints the three killers of this side at this ply.
void showKillers(const MoveHistory* history, u8 side, u32 ply);
