// Shared records of the engine: board, move, piece list entry, move list,
// principal variation, hash bucket; piece codes and the constant tables that
// several modules read. Every constant table has exactly one definition here.
#pragma once

#include <cstdint>

typedef uint8_t u8;
typedef int8_t i8;
typedef uint16_t u16;
typedef int16_t i16;
typedef uint32_t u32;
typedef int32_t i32;
typedef uint64_t u64;
typedef int64_t i64;

// Piece codes. White is 1..6, black is the white code plus 7; 0 marks a cell
// of the off-board half of the 0x88 array and 7 an empty square.
enum : u8 {
    OFFBOARD = 0,
    WPAWN = 1,
    WKNIGHT = 2,
    WBISHOP = 3,
    WROOK = 4,
    WQUEEN = 5,
    WKING = 6,
    EMPTY = 7,
    BPAWN = 8,
    BKNIGHT = 9,
    BBISHOP = 10,
    BROOK = 11,
    BQUEEN = 12,
    BKING = 13
};

enum : u8 { WHITE = 0, BLACK = 1 };

// Move flag bits
enum : u8 {
    MF_NORMAL = 0x01,    // set on every generated move
    MF_CAPTURE = 0x02,   // en passant included
    MF_CASTLE = 0x04,
    MF_ENPASSANT = 0x08,
    MF_PROMOTION = 0x10
};

// Castling rights bits of Board::castlingStatus. Right i (0 White short,
// 1 White long, 2 Black short, 3 Black long) is bit 1 << i; its rook stands
// on Board::castlingRooks[i].
enum : u32 { CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8 };

// The rook's destination when the king castles to kingTo: the f-file beside
// the g-file, the d-file beside the c-file.
inline constexpr int castlingRookTarget(int kingTo) {
    return (kingTo & 7) == 6 ? kingTo - 1 : kingTo + 1;
}

// The 0x88 squares of the castling moves: king and rook homes and targets.
enum : u8 {
    SQ_A1 = 0,
    SQ_B1 = 1,
    SQ_C1 = 2,
    SQ_D1 = 3,
    SQ_E1 = 4,
    SQ_F1 = 5,
    SQ_G1 = 6,
    SQ_H1 = 7,
    SQ_A8 = 112,
    SQ_B8 = 113,
    SQ_C8 = 114,
    SQ_D8 = 115,
    SQ_E8 = 116,
    SQ_F8 = 117,
    SQ_G8 = 118,
    SQ_H8 = 119
};

inline constexpr u8 NO_SQUARE = 127;   // also "no move" in Move::from

// Capacities of the board record.
inline constexpr int MAX_PLY = 256;     // search plies: the search stack, pv, per-ply tables
inline constexpr int MAX_MOVES = 256;   // moves in one list (count holds at most 255)
// Half-moves of one game. Under the fifty-move rule a game lasts at most
// 5,949 moves (every pawn advance and capture resets the count, and there are
// only so many of them), so 11,898 half-moves; the rest is room to spare.
inline constexpr int MAX_GAME_MOVES = 12000;
// A whole game plus the deepest search line fits in the key history.
inline constexpr int HASH_HISTORY_SIZE = MAX_GAME_MOVES + 512;
inline constexpr int MAX_PIECE_ENTRIES = 24;   // a king and 23 other pieces per colour

inline constexpr i32 INFINITE_SCORE = 32000;
inline constexpr i32 NO_HASH_SCORE = 32500;

// A move record carries its own undo information.
//   from          origin square, 127 = no move
//   to            destination; for castling the king's destination (the c-
//                 or g-file), which in Chess960 may be the castling rook's
//                 square or the king's own (then from == to)
//   flags         MF_* bits
//   captured      code taken (7 = none; the pawn's code for en passant;
//                 7 for castling, even where the king lands on its rook)
//   capturedIndex piece-list index of the taken piece  (written by makeMove);
//                 for castling the castling rook's square (written by the
//                 generator), so that the move alone says which rook moves
//   promotion     promoted-to code, 7 = none
//   oldCastling   castlingStatus before the move       (written by makeMove)
//   oldEpSquare   epSquare before the move             (written by makeMove)
//   piece         code of the moving piece (the pawn for a promotion)
struct Move {
    u8 from;
    u8 to;
    u8 flags;
    u8 captured;
    u8 capturedIndex;
    u8 promotion;
    u8 oldCastling;
    u8 oldEpSquare;
    u8 piece;
};
static_assert(sizeof(Move) == 9);

// The empty move record: from = 127, nothing captured or promoted.
inline constexpr Move noMove = {NO_SQUARE, NO_SQUARE, 0, EMPTY, 0, EMPTY, 0, NO_SQUARE, EMPTY};

// Two records name the same move when these four fields agree.
inline bool sameMove(const Move& a, const Move& b) {
    return a.from == b.from && a.to == b.to && a.flags == b.flags && a.promotion == b.promotion;
}

struct PieceEntry {
    u8 piece;
    u8 square;   // stale once captured
    u8 alive;    // 1 on the board, 0 captured
};
static_assert(sizeof(PieceEntry) == 3);

struct MoveList {
    Move moves[MAX_MOVES];
    i32 scores[MAX_MOVES];
    i32 seeScores[MAX_MOVES];
    u8 picked[MAX_MOVES];
    u8 count;
};

struct PvLine {
    u32 count;
    Move moves[MAX_PLY];
};

// Four transposition-table slots in one 64-byte cache line: the four locks,
// then one packed word per slot. A slot's lock is the position's key XORed
// with its word, so that a slot another search thread has half written (the
// new lock beside the old word, or the reverse) fails the lock test. An
// empty slot's lock equals its word. The word's fields, from bit 0 up:
//   from       7 bits   origin square, 127 = no move (0x88 squares are < 120)
//   to         7 bits
//   flags      8 bits   MF_* bits
//   promotion  4 bits   piece code (at most 13)
//   type       2 bits   0 exact, 1 upper bound, 2 lower bound
//   depth      12 bits   signed; the search stores drafts 0..100, -1 is empty
//   generation  6 bits   the search that stored the slot, modulo 64: a slot
//                        of an earlier search is replaced first
//   score      18 bits   signed; mates reach 32000 plus the ply, static
//                        scores of 24 pieces a side stay far inside; the
//                        empty slot holds 32500
// Of a move only these four fields are kept: the hash move is only ever
// compared by them. The views read the fields slot by slot (bucket.depth[i])
// for the tests and tools, while no search runs; they alias the words, which
// is allowed as they share their first member.
struct HashSlotMove {
    u8 from;
    u8 to;
    u8 flags;
    u8 promotion;
};

struct HashWords {
    u64 word[4];
};
struct HashMoveView {
    u64 word[4];
    HashSlotMove operator[](int i) const {
        const u64 w = word[i];
        return HashSlotMove{static_cast<u8>(w & 0x7f), static_cast<u8>((w >> 7) & 0x7f),
                            static_cast<u8>((w >> 14) & 0xff), static_cast<u8>((w >> 22) & 0xf)};
    }
};
struct HashTypeView {
    u64 word[4];
    u8 operator[](int i) const { return static_cast<u8>((word[i] >> 26) & 3); }
};
struct HashDepthView {
    u64 word[4];
    i32 operator[](int i) const { return static_cast<i32>(static_cast<i64>(word[i] << 24) >> 52); }
};
struct HashScoreView {
    u64 word[4];
    i32 operator[](int i) const { return static_cast<i32>(static_cast<i64>(word[i]) >> 46); }
};

struct HashBucket {
    u64 lock[4];
    union {
        HashWords slots;
        HashMoveView move;
        HashTypeView type;
        HashDepthView depth;
        HashScoreView score;
    };
};
static_assert(sizeof(HashBucket) == 64);   // the table is allocated on 64-byte boundaries

struct Board {
    u32 ply;
    u32 gamePly;
    u32 castlingStatus;
    u8 sideToMove;
    u8 squares[128];
    u8 pieceIndex[128];
    PieceEntry whitePieces[MAX_PIECE_ENTRIES];
    PieceEntry blackPieces[MAX_PIECE_ENTRIES];
    u8 nWhiteEntries;
    u8 nBlackEntries;
    u8 wKingSquare;
    u8 bKingSquare;
    u8 epSquare;
    u8 lastCaptureSquare;
    u8 lastCapturedPiece;
    u8 nWhite;
    u8 nBlack;
    u8 inCheck;
    // Castling, set by setupFen and fixed for the game (only the rights in
    // castlingStatus change): for each right the square of its rook
    // (NO_SQUARE for a right the FEN did not give), the squares that must be
    // empty (every square the king or the rook crosses or lands on, those
    // two pieces' own squares excepted) and the squares that must not be
    // attacked (the king's square through its destination), in the bits of
    // occupied.
    u8 castlingRooks[4];
    u8 castlingByFile;   // the FEN named the rooks by file (Shredder-FEN): written back so
    u64 castlingEmpty[4];
    u64 castlingSafe[4];
    // The rights a move keeps when it leaves or reaches the square: the
    // king's square clears both of its side's rights, a castling rook's
    // square its own right; every other square keeps all four.
    u8 castlingKeep[128];
    u64 hashKey;
    u64 hashKey2;
    i32 materialBalance;
    u64 occupied;   // one bit per occupied square, bit = rank * 8 + file (0-based)
    // The same bits per piece code (entries 0 and 7 stay empty) and per colour.
    u64 pieceBits[14];
    u64 colourBits[2];
    // The set-up FEN's halfmove clock (0 when it had none or an unreadable
    // one); fiftyMoveCount adds the game moves played since.
    u32 fenHalfmoveClock;
    u64 hashHistory[HASH_HISTORY_SIZE];
    Move gameMoves[MAX_GAME_MOVES];
};

// ---------------------------------------------------------------------------
// Constant tables

inline constexpr const char* initialPosition =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq 0 1";

#define QL_ERR8 "ERR", "ERR", "ERR", "ERR", "ERR", "ERR", "ERR", "ERR"
inline constexpr const char* sqString[128] = {
    "a1", "b1", "c1",    "d1", "e1", "f1",    "g1", "h1", QL_ERR8, "a2", "b2", "c2",
    "d2", "e2", "f2",    "g2", "h2", QL_ERR8, "a3", "b3", "c3",    "d3", "e3", "f3",
    "g3", "h3", QL_ERR8, "a4", "b4", "c4",    "d4", "e4", "f4",    "g4", "h4", QL_ERR8,
    "a5", "b5", "c5",    "d5", "e5", "f5",    "g5", "h5", QL_ERR8, "a6", "b6", "c6",
    "d6", "e6", "f6",    "g6", "h6", QL_ERR8, "a7", "b7", "c7",    "d7", "e7", "f7",
    "g7", "h7", QL_ERR8, "a8", "b8", "c8",    "d8", "e8", "f8",    "g8", "h8", QL_ERR8,
};
#undef QL_ERR8
static_assert(sqString[0][0] == 'a' && sqString[119][0] == 'h' && sqString[119][1] == '8');
static_assert(sqString[8][0] == 'E' && sqString[127][0] == 'E' && sqString[116][0] == 'e');

inline constexpr char pcString[15] = " PNBRQK pnbrqk";

inline constexpr i32 pieceValues[14] = {0, 100,  330,  330,  540,  1050,  10000,
                                        0, -100, -330, -330, -540, -1050, -10000};

// Direction lists, each ended by 0. Their order fixes the order of generated moves.
inline constexpr i32 knightOffsetsWhite[9] = {31, 33, 18, 14, -18, -14, -31, -33, 0};
inline constexpr i32 knightOffsetsBlack[9] = {-31, -33, -18, -14, 18, 14, 31, 33, 0};
inline constexpr i32 diagonalOffsetsWhite[5] = {15, 17, -15, -17, 0};
inline constexpr i32 diagonalOffsetsBlack[5] = {-15, -17, 15, 17, 0};
inline constexpr i32 heavyOffsetsWhite[5] = {1, -1, 16, -16, 0};
inline constexpr i32 heavyOffsetsBlack[5] = {1, -1, -16, 16, 0};
inline constexpr i32 kingOffsetsWhite[9] = {1, -1, -15, -16, -17, 15, 16, 17, 0};
inline constexpr i32 kingOffsetsBlack[9] = {1, -1, 15, 16, 17, -15, -16, -17, 0};

inline constexpr bool onBoard(int sq) { return (sq & 0x88) == 0; }

// WHITE or BLACK for a piece code (EMPTY and OFFBOARD read as White).
inline constexpr int colourOf(u8 piece) { return piece > WKING ? BLACK : WHITE; }

// The colourless piece type of a piece code: WPAWN .. WKING for either colour.
inline constexpr int pieceType(u8 code) { return code > WKING ? code - EMPTY : code; }

// The value of a piece code without its colour's sign.
inline constexpr i32 absValue(u8 code) {
    return pieceValues[code] < 0 ? -pieceValues[code] : pieceValues[code];
}
static_assert(absValue(BQUEEN) == 1050 && absValue(WKNIGHT) == 330 && colourOf(BPAWN) == BLACK);

// The 64-square numbering of the occupancy bits and back.
inline constexpr int index64(int sq) { return (sq + (sq & 7)) >> 1; }
inline constexpr int square88(int i) { return i + (i & ~7); }
inline constexpr u64 squareBit(int sq) { return u64{1} << index64(sq); }
static_assert(index64(0) == 0 && index64(119) == 63 && index64(0x34) == 28 && square88(28) == 0x34);

// ===========================================================================
// Evaluation tables (read by eval.cpp only)
//
// Count-indexed tables hold their saturation value up to the last index, so
// a count past the last distinct value reads the same number. Tables indexed
// by rank or file have nine entries; entry 0 is never read. 0x88 tables are
// written in index order, rank 1 first, each row followed by the eight cells
// of the off-board half (all 0).

// Mobility: index = number of empty squares the piece can move to. Pawns:
// captures available plus 1 when the square in front is empty.
inline constexpr i32 bonusPawnMob[4] = {-8, 0, 1, 4};
inline constexpr i32 bonusKnightMob[16] = {-32, -22, -10, 0,  10, 22, 26, 32,
                                           36,  36,  36,  36, 36, 36, 36, 36};
inline constexpr i32 bonusBishopMob[32] = {-32, -16, 0,  16, 32, 48, 58, 66, 72, 76, 78,
                                           80,  81,  82, 82, 82, 82, 82, 82, 82, 82, 82,
                                           82,  82,  82, 82, 82, 82, 82, 82, 82, 82};
inline constexpr i32 bonusRookMob[32] = {-20, -11, -5, -1, 0,  1,  2,  3,  4,  5,  9,
                                         14,  16,  20, 24, 24, 24, 24, 24, 24, 24, 24,
                                         24,  24,  24, 24, 24, 24, 24, 24, 24, 24};
inline constexpr i32 bonusQueenMob[32] = {-12, -8, -6, -4, -2, 0,  2,  4,  6,  8,  10,
                                          12,  14, 16, 18, 20, 26, 32, 34, 34, 34, 34,
                                          34,  34, 34, 34, 34, 34, 34, 34, 34, 34};
static_assert(bonusKnightMob[8] == 36 && bonusBishopMob[13] == 82 && bonusBishopMob[20] == 82);
static_assert(bonusRookMob[14] == 24 && bonusQueenMob[17] == 32 && bonusQueenMob[27] == 34);

// Difference in knights, bishops, rooks and queens between the sides.
inline constexpr i32 bonusMaterialImbalance[16] = {0,   60,  80,  100, 120, 140, 160, 180,
                                                   180, 180, 180, 180, 180, 180, 180, 180};
// Rooks on the seventh rank (White rank 7, Black rank 2).
inline constexpr i32 bonusRook7th[16] = {0,   47,  95,  100, 100, 100, 100, 100,
                                         100, 100, 100, 100, 100, 100, 100, 100};
// Rooks on a file without pawns / without own pawns but with enemy pawns.
inline constexpr i32 bonusRookOpenFile[16] = {0,  13, 25, 28, 28, 28, 28, 28,
                                              28, 28, 28, 28, 28, 28, 28, 28};
inline constexpr i32 bonusRookHalfOpenFile[16] = {0,  9,  18, 23, 23, 23, 23, 23,
                                                  23, 23, 23, 23, 23, 23, 23, 23};
// Pawns of one side on one file (from 2 on).
inline constexpr i32 malusDoublePawn[8] = {0, 0, -25, -64, -80, -80, -80, -80};
// Backwardness score of a file's rear pawn (0..10 occur).
inline constexpr i32 malusBackwardPawn[16] = {0,   0,   0,   -6,  -8,  -11, -16, -16,
                                              -21, -21, -24, -32, -32, -32, -32, -32};
// Rank distance between the front pawns of passed pawns on neighbouring files.
inline constexpr i32 bonusConnPassers[9] = {24, 22, 6, 0, 0, 0, 0, 0, 0};
// Squares on a pawn's path the enemy attacks more often; index 8 = path blocked.
inline constexpr i32 bonusFreePawn[9] = {42, 11, 4, 0, 0, 0, 0, 0, 0};
// Difference in the number of pawns, endgame only.
inline constexpr i32 pawnBonusEndgame[9] = {0, 52, 66, 78, 80, 82, 84, 86, 88};
// Pawn-shelter count of a castled king (0..15).
inline constexpr i32 bonusPawnShelter[16] = {-150, -130, -90, -70, -50, -15, 0,  5,
                                             15,   20,   25,  30,  35,  40,  45, 50};
// King distance between the kings when one side has no pieces.
inline constexpr i32 malusKingKing[9] = {-100, -90, -85, -55, -35, -20, -10, -3, 0};
static_assert(bonusMaterialImbalance[7] == 180 && bonusMaterialImbalance[15] == 180);
static_assert(bonusRook7th[2] == 95 && bonusRookOpenFile[3] == 28 &&
              bonusRookHalfOpenFile[3] == 23);
static_assert(malusBackwardPawn[10] == -24 && bonusPawnShelter[8] == 15 && malusKingKing[7] == -3);

// Rank as seen from the pawn's own side (White: rank, Black: 9 - rank).
inline constexpr i32 bonusAdvPawn[9] = {0, 0, 0, 3, 6, 23, 41, 79, 100};
inline constexpr i32 bonusPassedPawn[9] = {0, 0, 5, 7, 10, 15, 24, 36, 100};
// File of isolated pawns.
inline constexpr i32 malusIsolatedPawn[9] = {0, -11, -19, -21, -23, -23, -21, -19, -11};
static_assert(bonusPassedPawn[6] == 24 && malusIsolatedPawn[3] == -21);

// King pressure: summed enemy attack counts on the ring of the 8 neighbours
// (bonusKingPres1) and on the 16 squares at distance 2 (bonusKingPres2).
// Sums above 63 read entry 63.
inline constexpr i32 bonusKingPres1[64] = {
    3,   6,   10,  14,  18,  22,  26,  30,  34,  38,  42,  52,  68,  72,  86,  94,
    100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 340, 360, 380, 380,
    380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380,
    380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380, 380};
inline constexpr i32 bonusKingPres2[64] = {
    0,   1,   3,   5,   8,   11,  14,  17,  20,  21,  24,  27,  33,  39,  45,  51,
    58,  68,  76,  85,  90,  100, 110, 120, 140, 160, 180, 200, 220, 240, 260, 280,
    280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280,
    280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280, 280};
static_assert(bonusKingPres1[11] == 52 && bonusKingPres1[63] == 380);
static_assert(bonusKingPres2[16] == 58 && bonusKingPres2[31] == 280 && bonusKingPres2[63] == 280);

// King safety in the middlegame: a king in its corner zone with the corner
// rook gone counts as castled.
inline constexpr i32 bonusCastledQueenSide = 25;
inline constexpr i32 bonusCastledKingSide = 40;
inline constexpr i32 malusNotCastled = -33;
// King activity in the endgame: weight of advancedCentre and of border.
inline constexpr i32 weightKingCentre = 9;
inline constexpr i32 weightKingBorder = 25;
// Added to the score of the side to move.
inline constexpr i32 bonusTempo = 10;

// The two rings around a king, as 0x88 steps.
inline constexpr i32 kingRing1Offsets[8] = {16, 17, 1, -15, -16, -17, -1, 15};
inline constexpr i32 kingRing2Offsets[16] = {30,  31,  32,  33,  34,  18,  2,  -14,
                                             -30, -31, -32, -33, -34, -18, -2, 14};

// Corner zones of a castled king: 1 queen side, 2 king side.
inline constexpr i32 castlingFlagsWhite[128] = {
    1, 1, 1, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0,   // rank 1
    1, 1, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0,   // rank 2
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr i32 castlingFlagsBlack[128] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0,   // rank 7
    1, 1, 1, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0};                                      // rank 8
static_assert(castlingFlagsWhite[2] == 1 && castlingFlagsWhite[3] == 0 &&
              castlingFlagsWhite[6] == 2);
static_assert(castlingFlagsWhite[18] == 0 && castlingFlagsWhite[17] == 1 &&
              castlingFlagsWhite[23] == 2);
static_assert(castlingFlagsBlack[114] == 1 && castlingFlagsBlack[118] == 2 &&
              castlingFlagsBlack[98] == 0);

// Centralisation weight of a square for the king in the endgame.
inline constexpr i32 advancedCentre[128] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // rank 1
    0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 3, 2, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 3, 4, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 4, 4, 3, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0,
    0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};   // rank 8
// Closeness to the edge: 3 in the corners, 2 on the edge, 1 on the second ring.
inline constexpr i32 border[128] = {
    3, 2, 2, 2, 2, 2, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0,   // rank 1
    2, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0,
    0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 2,
    0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 1,
    1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 2, 2, 2, 2, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0};   // rank 8
static_assert(advancedCentre[18] == 1 && advancedCentre[51] == 4 && advancedCentre[98] == 1);
static_assert(advancedCentre[83] == 3 && border[0] == 3 && border[119] == 3 && border[34] == 0);
// ===========================================================================

// Per-colour constants. Code written once for both colours takes the side as a
// template parameter and reads its constants here: SideTraits<WHITE> and
// SideTraits<BLACK> are mirror images. White's enemy pieces are the codes
// above 7, Black's the codes below 7.
template <int Side>
struct SideTraits;

template <>
struct SideTraits<WHITE> {
    static constexpr u8 base = WPAWN;
    static constexpr int push = 16, capA = 17, capB = 15, startRank = 2;
    static constexpr int seventhRank = 7, promotionRank = 8;
    static constexpr u64 seventhRankBits = 0x00ff000000000000;
    static constexpr i32 blackViewSign = -1;   // turns Black's view of a score into the side's
    static constexpr u32 rightK = CASTLE_WK, rightQ = CASTLE_WQ;
    static constexpr int enemy = BLACK;
    static constexpr u8 king = WKING, enemyKing = BKING;
    // The lines of the diagonal and straight steps in the order above, as
    // numbered by attack.h's lineSteps.
    static constexpr int diagonalLines[4] = {0, 1, 2, 3};   // 15, 17, -15, -17
    static constexpr int straightLines[4] = {4, 5, 6, 7};   // 1, -1, 16, -16
    static constexpr const i32* knights = knightOffsetsWhite;
    static constexpr const i32* diagonals = diagonalOffsetsWhite;
    static constexpr const i32* heavies = heavyOffsetsWhite;
    static constexpr const i32* kings = kingOffsetsWhite;
    static bool usable(u8 code) {
        return code > WKING;
    }   // empty or black (0 = off board excluded by caller)
    static bool isEnemy(u8 code) { return code > EMPTY; }
    static const PieceEntry* list(const Board* b) { return b->whitePieces; }
    static int entries(const Board* b) { return b->nWhiteEntries; }
    static u8 kingSquare(const Board* b) { return b->wKingSquare; }
    // Ranks counted from the side's own back rank, 1..8.
    static constexpr int relativeRank(int r) { return r; }
    // Bit sets moved one rank toward the enemy, or back toward the side.
    static constexpr u64 forward(u64 bits) { return bits << 8; }
    static constexpr u64 backward(u64 bits) { return bits >> 8; }
    static constexpr const i32* castlingZones = castlingFlagsWhite;
    static constexpr int queenSideCorner = SQ_A1, kingSideCorner = SQ_H1;
};

template <>
struct SideTraits<BLACK> {
    static constexpr u8 base = BPAWN;
    static constexpr int push = -16, capA = -15, capB = -17, startRank = 7;
    static constexpr int seventhRank = 2, promotionRank = 1;
    static constexpr u64 seventhRankBits = 0x000000000000ff00;
    static constexpr i32 blackViewSign = 1;
    static constexpr u32 rightK = CASTLE_BK, rightQ = CASTLE_BQ;
    static constexpr int enemy = WHITE;
    static constexpr u8 king = BKING, enemyKing = WKING;
    static constexpr int diagonalLines[4] = {2, 3, 0, 1};   // -15, -17, 15, 17
    static constexpr int straightLines[4] = {4, 5, 7, 6};   // 1, -1, -16, 16
    static constexpr const i32* knights = knightOffsetsBlack;
    static constexpr const i32* diagonals = diagonalOffsetsBlack;
    static constexpr const i32* heavies = heavyOffsetsBlack;
    static constexpr const i32* kings = kingOffsetsBlack;
    static bool usable(u8 code) {
        return code <= EMPTY;
    }   // empty or white (caller excludes off board)
    static bool isEnemy(u8 code) { return code < EMPTY && code != OFFBOARD; }
    static const PieceEntry* list(const Board* b) { return b->blackPieces; }
    static int entries(const Board* b) { return b->nBlackEntries; }
    static u8 kingSquare(const Board* b) { return b->bKingSquare; }
    static constexpr int relativeRank(int r) { return 9 - r; }
    static constexpr u64 forward(u64 bits) { return bits >> 8; }
    static constexpr u64 backward(u64 bits) { return bits << 8; }
    static constexpr const i32* castlingZones = castlingFlagsBlack;
    static constexpr int queenSideCorner = SQ_A8, kingSideCorner = SQ_H8;
};
