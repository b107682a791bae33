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
    WPAWN = 1, WKNIGHT = 2, WBISHOP = 3, WROOK = 4, WQUEEN = 5, WKING = 6,
    EMPTY = 7,
    BPAWN = 8, BKNIGHT = 9, BBISHOP = 10, BROOK = 11, BQUEEN = 12, BKING = 13
};

enum : u8 { WHITE = 0, BLACK = 1 };

// Move flag bits
enum : u8 {
    MF_NORMAL = 0x01,   // set on every generated move
    MF_CAPTURE = 0x02,  // en passant included
    MF_CASTLE = 0x04,
    MF_ENPASSANT = 0x08,
    MF_PROMOTION = 0x10
};

// Castling rights bits of Board::castlingStatus
enum : u32 { CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8 };

inline constexpr u8 NO_SQUARE = 127;   // also "no move" in Move::from

// Capacities of the board record.
inline constexpr int MAX_PLY = 256;          // search plies: pv, moveLists, per-ply tables
inline constexpr int MAX_MOVES = 256;        // moves in one list (count holds at most 255)
inline constexpr int MAX_GAME_MOVES = 1024;  // half-moves of one game
// A whole game plus the deepest search line fits in the key history.
inline constexpr int HASH_HISTORY_SIZE = MAX_GAME_MOVES + 512;
inline constexpr int MAX_PIECE_ENTRIES = 24; // a king and 23 other pieces per colour

inline constexpr i32 INFINITE_SCORE = 32000;
inline constexpr i32 NO_HASH_SCORE = 32500;

// A move record carries its own undo information.
//   from          origin square, 127 = no move
//   to            destination (the king's destination for castling)
//   flags         MF_* bits
//   captured      code taken (7 = none; the pawn's code for en passant)
//   capturedIndex piece-list index of the taken piece  (written by makeMove)
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

// Four transposition-table slots as parallel arrays. type: 0 exact,
// 1 upper bound, 2 lower bound; depth -1 marks an empty slot.
struct HashBucket {
    Move move[4];
    i32 score[4];
    i32 depth[4];
    u8 type[4];
    u64 lock[4];
};

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
    u64 hashKey;
    u64 hashKey2;
    i32 materialBalance;
    u64 hashHistory[HASH_HISTORY_SIZE];
    i64 rootNodeCount[MAX_MOVES];
    Move pvMove;
    Move pv[MAX_PLY];
    Move gameMoves[MAX_GAME_MOVES];
    MoveList moveLists[MAX_PLY];
};

// ---------------------------------------------------------------------------
// Constant tables

inline constexpr const char* initialPosition =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq 0 1";

#define QL_ERR8 "ERR", "ERR", "ERR", "ERR", "ERR", "ERR", "ERR", "ERR"
inline constexpr const char* sqString[128] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", QL_ERR8,
    "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2", QL_ERR8,
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", QL_ERR8,
    "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4", QL_ERR8,
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", QL_ERR8,
    "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6", QL_ERR8,
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", QL_ERR8,
    "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8", QL_ERR8,
};
#undef QL_ERR8
static_assert(sqString[0][0] == 'a' && sqString[119][0] == 'h' && sqString[119][1] == '8');
static_assert(sqString[8][0] == 'E' && sqString[127][0] == 'E' && sqString[116][0] == 'e');

inline constexpr char pcString[15] = " PNBRQK pnbrqk";

inline constexpr i32 pieceValues[14] = {
    0, 100, 330, 330, 540, 1050, 10000, 0, -100, -330, -330, -540, -1050, -10000
};

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
