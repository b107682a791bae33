// Chess960 (Fischer random chess): the castling field of a FEN in both of
// its forms, the castling tables of the board, and castling in move text.
#pragma once

#include <string>

#include "defs.h"

// UCI_Chess960: castling is read and written as the king taking its own
// rook (e1h1) instead of as the king's own move (e1g1). Set by the UCI
// session while no search runs; the searches only read it.
extern bool chess960Notation;

// The corner rook of each right: where standard chess keeps it.
inline constexpr u8 castlingCorners[4] = {SQ_H1, SQ_A1, SQ_H8, SQ_A8};

// The castling rights a FEN's castling field gives on a placement, and the
// rook of each right.
struct CastlingSetup {
    u32 rights = 0;
    u8 rooks[4] = {NO_SQUARE, NO_SQUARE, NO_SQUARE, NO_SQUARE};
    bool byFile = false;   // only file letters: written back as Shredder-FEN
};

// Reads the castling field (its text up to the first blank or the end) on
// the placement cells (a 0x88 array holding one king of each colour). K, Q,
// k and q (X-FEN) name the outermost rook on that side of the king on its
// first rank; where there is none, or the king stands elsewhere, the right
// is dropped, as standard FENs have always been read. A file letter (A-H
// White, a-h Black: Shredder-FEN, or X-FEN's name of an inner rook) names
// the rook exactly. Other characters are passed over. Returns false, with
// the reason in *why, when a letter names no rook of that colour on its
// first rank or the king is not on that rank, or when one side of a king
// is given two rooks (the king not between its castling rooks).
bool readCastlingField(const u8* cells, const char* field, CastlingSetup* setup, std::string* why);

// The squares a castling of right (0..3) needs, from the king's and the
// rook's squares: those that must be empty (every square the two cross or
// land on, their own squares excepted) and those that must not be attacked
// (the king's square through its destination), as bits of Board::occupied.
void castlingPath(int right, int king, int rook, u64* empty, u64* safe);

// Sets the board's castling record from the set-up: castlingStatus and
// every castling table. Reads the king squares, which must be set.
void setCastlingTables(Board* board, const CastlingSetup& setup);

// The castling field as the FEN writer gives it: "-"; X-FEN (K, Q, k, q,
// the file letter of a rook that is not the outermost) unless the board's
// FEN named the rooks by file, then Shredder-FEN (HAha). Reads the board.
std::string castlingFieldText(const Board* board);

// True when the board's castling is Chess960 castling: a right whose king is
// off the e-file or whose rook is off its corner, or a FEN that named the
// rooks by file. The tools write castling as the king taking its rook then.
bool chess960Position(const Board* board);

// The square a move's coordinate text names after its origin: the
// destination, except castling written as the king taking its own rook,
// which names the rook's square. The one conversion between the two ways
// of writing castling: moveToTextAs and the move reader go through it.
int textDestination(const Move* move, bool kingTakesRook);

// Coordinate text of a move as moveToText writes it, castling as the king
// taking its own rook when kingTakesRook; out holds at least 6 chars.
void moveToTextAs(const Move* move, bool kingTakesRook, char* out);
