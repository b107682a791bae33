// Square arithmetic, the millisecond clock and the 64-bit random numbers.
#pragma once

#include <string>
#include <vector>

#include "defs.h"

// File 1..8 (a = 1) of a 0x88 square.
inline int file(int sq) { return (sq & 7) + 1; }

// Rank 1..8 of a 0x88 square, read as an unsigned byte.
inline int rank(int sq) { return (static_cast<u8>(sq) >> 4) + 1; }

// King distance: the larger of the rank and file distances.
inline u8 dist(int a, int b) {
    int dr = rank(a) - rank(b);
    int df = (a & 7) - (b & 7);
    if (dr < 0) dr = -dr;
    if (df < 0) df = -df;
    return static_cast<u8>(dr > df ? dr : df);
}

// Milliseconds on a monotonic clock (not the time of day, which may be
// stepped). Wraps modulo 2^32: use differences only.
i32 timer();

// The machine's physical memory in bytes, 0 when the platform does not say.
u64 physicalMemoryBytes();

// True when standard output is a terminal (not a file or a pipe).
bool outputIsTerminal();

// 64 random bits from a generator of the process's own, seeded once from
// the clock (rand() keeps its sequence for the Zobrist keys). For one thread
// at a time.
u64 randomBits();

// Five calls of rand(), r1 first, folded into 64 bits.
u64 rand64();

// The words of a text, separated by any white space (a carriage return from
// a Windows GUI included).
std::vector<std::string> splitWords(const std::string& text);

// words[first .. last - 1] joined by single blanks.
std::string joinWords(const std::vector<std::string>& words, size_t first, size_t last);

// A decimal number at the start of text as strtoll reads it (white space
// first, an optional sign), saturated to the 64-bit range, never wrapped.
// *end, when given, points past the digits. False when no digit follows.
bool readDecimal(const char* text, i64* value, const char** end = nullptr);

// The whole text is one decimal number (white space before it allowed),
// saturated to the 32-bit range.
bool readWholeNumber(const char* text, i32* value);

// readWholeNumber for a number that must lie in [low, high]; false otherwise.
bool readNumberInRange(const char* text, i32 low, i32 high, i32* value);

// Saturation of a 64-bit number to the 32-bit range.
inline i32 clampToI32(i64 value) {
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<i32>(value);
}

// Outside text as the readers take it: a UTF-8 byte-order mark at the
// start is dropped, and a text that begins with a UTF-16 byte-order mark
// (as Windows tools save "Unicode" files) is turned into UTF-8. Anything
// else, NUL bytes included, is left for the reader to refuse.
std::string textFromBytes(const std::string& bytes);

// Drops a UTF-8 byte-order mark from the start of a line, in place.
void dropByteOrderMark(char* line);

// The piece code of a FEN letter (PNBRQK white, pnbrqk black), 0 for any
// other character.
inline int pieceFromLetter(char c) {
    switch (c) {
    case 'P': return WPAWN;
    case 'N': return WKNIGHT;
    case 'B': return WBISHOP;
    case 'R': return WROOK;
    case 'Q': return WQUEEN;
    case 'K': return WKING;
    case 'p': return BPAWN;
    case 'n': return BKNIGHT;
    case 'b': return BBISHOP;
    case 'r': return BROOK;
    case 'q': return BQUEEN;
    case 'k': return BKING;
    default: return 0;
    }
}

// Coordinate notation of a move ("e2e4", "e7e8q"); out holds at least 6 chars.
void moveToText(const Move* move, char* out);
