// Polyglot opening books, the binary format most GUIs, testers and engines
// share: sorted 16-byte entries keyed by a 64-bit hash of the position.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "defs.h"

inline constexpr int POLYGLOT_ENTRY_BYTES = 16;
// A book this large is refused rather than loaded: 16 million entries,
// far beyond the largest opening books, and still within a 32-bit process.
inline constexpr u64 POLYGLOT_MAX_BYTES = u64{256} << 20;

// One entry, stored in the file highest byte first:
//   key     64 bits  the position's key (polyglotKey)
//   move    16 bits  bits 0-2 to file, 3-5 to row, 6-8 from file, 9-11 from
//                    row, 12-14 promotion (0 none, 1 knight, 2 bishop,
//                    3 rook, 4 queen); castling is the king taking its own
//                    rook (e1h1, e1a1, e8h8, e8a8); 0 (a1a1) is no move
//   weight  16 bits  how much the move is worth playing; 0 = never
//   learn   32 bits  left to the book's author; not read here
struct PolyglotEntry {
    u64 key;
    u16 move;
    u16 weight;
    u32 learn;
};

// A move of the book that is legal in the position, with its weight.
struct BookMove {
    Move move;
    u32 weight;
};

// The position's Polyglot key: one number per piece on its square, one per
// castling right, the en-passant file only when a pawn of the side to move
// stands beside the pawn that has just advanced two squares (whether or not
// the capture would be legal), and one when White is to move. Reads the
// board only.
u64 polyglotKey(const Board* board);

// The coordinate text of an entry's move in this position ("e2e4", "e7e8q"),
// with castling turned into the king's own move (e1h1 -> e1g1) when the
// side's king stands on its home square. False, with text empty, for the
// null move and for promotion codes beyond the queen. text holds 6 chars.
bool polyglotMoveText(const Board* board, u16 move, char* text);

// Reads a whole Polyglot book from a stream opened in binary mode into
// *entries. False, with the reason in *why and *entries empty, when the
// stream does not hold one: no bytes, a size that is not a whole number of
// entries (a truncated file, or not a book at all), keys out of order, more
// than POLYGLOT_MAX_BYTES, or a read error.
bool readPolyglotBook(FILE* file, std::vector<PolyglotEntry>* entries, std::string* why);

// Binary search: the index of the first entry with this key, and through
// *count how many there are (0 when the key is not in the book).
size_t findPolyglotEntries(const std::vector<PolyglotEntry>& entries, u64 key, size_t* count);

// The book's moves for the position on the board, in book order, each with
// its weight; entries whose move is not legal here are skipped. Writes at
// most capacity moves and returns how many. The board is left as it was;
// the legal moves are generated only when the book knows the position.
int polyglotBookMoves(Board* board, const std::vector<PolyglotEntry>& entries, BookMove* out,
                      int capacity);
