// The move picker: the ordering scores of a node's moves, from what the
// search has learnt (the line followed first, the killers and the history)
// and from static exchange evaluation. Scores encode the move classes by
// widely separated constants; movegen.h's selection then hands the moves
// out best first.
#pragma once

#include "defs.h"
#include "history.h"

inline constexpr i32 SCORE_PV_ROOT = 1000000000;
inline constexpr i32 SCORE_PV = 100000000;
inline constexpr i32 SCORE_GOOD_CAPTURE = 15000000;
inline constexpr i32 SCORE_KILLER_1 = 4500000;
inline constexpr i32 SCORE_CASTLING = 4500000;
inline constexpr i32 SCORE_KILLER_2 = 3500000;
inline constexpr i32 SCORE_QUIET_PROMOTION = 100000;

// Scores an interior node's list on the board (exchange values of the
// captures into seeScores, the killers of the board's ply and the history
// of the tables given, the move to try first above everything) and clears
// picked. Counts the move to try first into *hashMoves when it is in the
// list. Returns the index of the first move with the highest score.
int assignScoreMovelist(Board* board, const MoveHistory* history, const Move& pvMove,
                        MoveList* list, i64* hashMoves);

// Scores a root list by the nodes each move took in the previous iteration
// (nodeCounts, by list index), the move to try first above them; clears
// picked and counts that move into *hashMoves.
void assignScoreRootMovelist(const i64* nodeCounts, const Move& pvMove, MoveList* list,
                             i64* hashMoves);

// Scores every move by its exchange value (also into seeScores) and clears
// picked. Returns the index of the first best move, -1 for an empty list.
int assignQScoreMovelist(Board* board, MoveList* list);
