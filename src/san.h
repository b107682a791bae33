// Standard algebraic notation: reading a move written the way game scores
// and test suites write it, and writing one.
#pragma once

#include "defs.h"

inline constexpr int SAN_TEXT_SIZE = 12;   // "Qa1xh8=Q+" and its terminator, with room

// Reads a move of the side to move in SAN: a piece letter (none for a pawn),
// an origin file, rank or square where the move needs one, "x" for a
// capture, the destination, a promotion with or without "=", castling as
// O-O and O-O-O (or 0-0 and 0-0-0); check and mate marks and annotation
// signs at the end are ignored. Returns true and copies the legal move into
// *move when exactly one legal move fits; false for an illegal, ambiguous
// or unreadable text. The board is left as it was.
bool parseSan(Board* board, const char* text, Move* move);

// Writes a legal move of the side to move in SAN, with the least
// disambiguation that makes it unique, "+" for check and "#" for mate.
// out holds at least SAN_TEXT_SIZE characters. The board is left as it was.
void moveToSan(Board* board, const Move* move, char* out);
