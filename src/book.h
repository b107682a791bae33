// Opening book: a text file of opening lines, each a blank followed by the
// moves from the starting position as concatenated four-letter squares
// (" e2e4e7e5g1f3"). The engine plays a random continuation of the lines
// that begin with the game played so far.
#pragma once

#include <cstdio>

#include "defs.h"

inline constexpr int BOOK_LINE_SIZE = 1024;     // longer lines are read in pieces
inline constexpr int GAME_STRING_SIZE = 1024;   // room for 255 moves
inline constexpr int BOOK_CANDIDATES = 32768;

extern FILE* bookFile;

// Opens bookFileName for reading; bookFile is null when it cannot be opened
// or is not a regular file (a FIFO, a device, a directory).
void initBook();

// 1 when text begins with the whole of pattern (an empty pattern matches
// everything), else 0.
u8 stringMatch(const char* pattern, const char* text);

// Writes the game string into out (size bytes): a blank, then from and to of
// gameMoves[0 .. gamePly-1]. Returns 0, with out holding an empty string,
// when the game does not fit; nothing is written past out[size-1].
int buildGameString(const Board* board, char* out, int size);

// Reads bookFile from its start and appends to candidates (at most capacity)
// the legal next move of every line that continues the game, one entry per
// line, in file order. Returns the number collected; 0 without a book.
int findBookMoves(Board* board, Move* candidates, int capacity);

// Picks one candidate at random (seeded with the time in seconds on every
// call), prints "0 0 0 0 e2e4 (Book)" and copies it to *move. Returns 1 then,
// 0 when there is no book or no book move (*move is not to be used).
u8 getBookMove(Board* board, Move* move);
