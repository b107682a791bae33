// Invariant checks and the perft counter.
#pragma once

#include "defs.h"

// True when every incrementally kept field agrees with a recount from the
// squares: piece lists and square index, king squares, counts, material,
// the occupancy, piece and colour bits, en passant square, and for each
// castling right held its king, its rook and its castling tables. inCheck, the
// capture memory and the keys are left out (the first two describe the node
// entered, not the position; keys have their own check below).
// The first check that fails is named in *failed (nullptr when none does);
// without failed it is written to standard error, so that a failed assert
// says which field broke.
bool boardIsConsistent(const Board* board, const char** failed = nullptr);

// boardIsConsistent for boardCheck (board.h): make and unmake then check
// the board after every move in a Debug build.
void installBoardCheck();

// Recomputes both keys from scratch and compares; the board is left as found.
bool keysAreConsistent(Board* board);

// Adds to *nodes the number of legal move sequences of length depth + 1.
void debugPerft(Board* board, u8 depth, u64* nodes);

// Ordinary perft: leaves at the given depth (depth 1 of the start position
// is 20). Depth 0 is 1.
u64 perftLeaves(Board* board, int depth);
