// Static exchange evaluation: the material a move wins or loses when both
// sides go on capturing on its destination square, each free to stop.
#pragma once

#include "defs.h"

// Exchange value of move for the side that makes it (pawn = 100); -32000 when
// the move leaves a king to be taken on the square. Makes and unmakes moves
// on the board (keys untouched); leaves the position as found, with only
// lastCaptureSquare and lastCapturedPiece as scratch. The side of the move
// must be to move.
i32 see(Board* board, Move* move);

// Best material outcome, for the side to move, of going on capturing on
// target inside [alpha, beta]; 32000 when a king can be taken. *material is
// the material change since the start of the exchange, from Black's point
// of view, kept up to date through the captures and restored on return.
i32 seeAlphaBeta(Board* board, i32 alpha, i32 beta, int target, i32* material);

// Every capture onto target by the named side (pawns, knights, diagonal
// pieces, straight-line pieces, king), appended without a legality test.
// Returns the number of moves.
u32 seeGenerateMovesWhite(Board* board, MoveList* list, int target);
u32 seeGenerateMovesBlack(Board* board, MoveList* list, int target);

// Orders the captures of list least valuable attacker first and clears picked.
void seeAssignScoreMovelist(Board* board, MoveList* list);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

u32 seeGenerateMoves(Board* board, MoveList* list, int target);

// materialBalance from the side to move's point of view.
i32 seeEval(const Board* board);
