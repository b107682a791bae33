// The engine's earlier, straightforward implementations of the hot paths,
// kept for the equivalence test: each answers and leaves the board exactly
// as the fast version must.
#pragma once

#include "defs.h"

struct SearchThread;

// Exchange value by making and unmaking every capture on the board.
i32 referenceSee(Board* board, Move* move);

// The delta query on the piece lists: a piece of side attacks the square
// when the line to it holds only empty squares and the king of the other
// side, a knight only onto that king, a king only when the kings touch.
int referenceIsAttackedDelta(const Board* board, int square, int side);

// Check by a move tested on the board before it is made, the piece lists
// walked by the delta query (castling, en passant and promotions made).
int referenceMoveChecks(Board* board, Move* move);

// Legality by making the move and asking whether the mover's king stands
// attacked, then unmaking it.
int referenceIsLegal(Board* board, Move* move);

// Quiescence search whose quiet-check phase tests every quiet move in turn.
i32 referenceQSearch(SearchThread* thread, i32 alpha, i32 beta, i32 level);

// The best unpicked move by one pass with a branch per move.
int referenceNextBestMove(MoveList* list, Move* out);
