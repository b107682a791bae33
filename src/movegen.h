// Move generators (all moves, captures only, board-scanning variant).
#pragma once

#include "defs.h"

// Every generator writes moves into list->moves from index 0 and returns how
// many it wrote; the caller stores that into list->count. With legal set,
// moves that leave the mover's king attacked are dropped.
u32 generateMoves(Board* board, MoveList* list, u8 legal);
u32 generateMovesWhite(Board* board, MoveList* list, u8 legal);
u32 generateMovesBlack(Board* board, MoveList* list, u8 legal);

u32 generateCaptures(Board* board, MoveList* list, u8 legal);
u32 generateCapturesWhite(Board* board, MoveList* list, u8 legal);
u32 generateCapturesBlack(Board* board, MoveList* list, u8 legal);

// Same moves as generateMoves, pieces found by scanning the board.
u32 generateMovesSimple(Board* board, MoveList* list, u8 legal);
u32 generateMovesWhiteSimple(Board* board, MoveList* list, u8 legal);
u32 generateMovesBlackSimple(Board* board, MoveList* list, u8 legal);

// Writes the move from -> to at list->moves[*count] with its flags, captured
// piece and promotion; a promotion fans out into queen, rook, bishop, knight.
// Advances *count by 1 (4 for a promotion), or not at all for a move refused
// by the legality test. The result carries no meaning.
int addMoveSimple(Board* board, MoveList* list, u32* count, int from, int to, u8 legal);
