// Attack-delta table, bit tables, attack queries, check and legality tests.
#pragma once

#include <initializer_list>

#include "defs.h"
#include "utils.h"

// attackDeltaTable[from][to]: the step by which a piece on from reaches to
// along a knight jump or a line, 0 when it cannot.
extern i32 attackDeltaTable[128][128];

void initAttackDeltaTable();

// The same steps by square difference alone, which in the 0x88 layout names
// the direction uniquely: for two squares on the board,
// attackDeltaTable[from][to] == attackStep(from, to). 239 bytes instead of
// 64 KB keep the hot tests in the first-level cache.
struct AttackStepTable {
    i8 step[239];
    constexpr AttackStepTable() : step() {
        for (int i = 0; i < 239; i++) step[i] = 0;
        for (const i32* d = knightOffsetsWhite; *d; d++) step[*d + 119] = static_cast<i8>(*d);
        for (const i32* d = diagonalOffsetsWhite; *d; d++)
            for (int k = 1; k <= 7; k++) step[k * *d + 119] = static_cast<i8>(*d);
        for (const i32* d = heavyOffsetsWhite; *d; d++)
            for (int k = 1; k <= 7; k++) step[k * *d + 119] = static_cast<i8>(*d);
    }
};
inline constexpr AttackStepTable attackStepTable;
static_assert(attackStepTable.step[119 + 119] == 17 && attackStepTable.step[119 + 33] == 33);
static_assert(attackStepTable.step[119 + 35] == 0 && attackStepTable.step[119 - 7] == -1);

inline int attackStep(int from, int to) { return attackStepTable.step[to - from + 119]; }

// Bit tables in the numbering of Board::occupied. The eight lines through a
// square are numbered by their step: White's diagonal order, then White's
// straight order (lines 0..3 diagonal, 4..7 straight). A line with a positive
// step runs towards higher bits.
inline constexpr int lineSteps[8] = {15, 17, -15, -17, 1, -1, 16, -16};

struct BitTables {
    u64 ray[8][64];           // the squares along line l from a square, itself excluded
    u64 knight[64];           // the squares a knight on the square jumps to
    u64 king[64];             // the king's neighbours
    u64 pawnAttacks[2][64];   // the squares a pawn of that colour on the square takes on
    u64 diagonal[64];         // all four diagonal rays
    u64 straight[64];         // all four straight rays
    i8 line[239];             // line of a square difference (to - from) + 119, -1 for none
    constexpr BitTables() : ray(), knight(), king(), pawnAttacks(), diagonal(), straight(), line() {
        for (int i = 0; i < 239; i++) line[i] = -1;
        for (int l = 0; l < 8; l++)
            for (int k = 1; k <= 7; k++) line[k * lineSteps[l] + 119] = static_cast<i8>(l);
        for (int i = 0; i < 64; i++) {
            const int sq = square88(i);
            for (int l = 0; l < 8; l++) {
                int t = sq + lineSteps[l];
                u64 bits = 0;
                for (; onBoard(t); t += lineSteps[l]) bits |= u64{1} << index64(t);
                ray[l][i] = bits;
                if (l < 4) diagonal[i] |= bits;
                else straight[i] |= bits;
            }
            for (const i32* d = knightOffsetsWhite; *d; d++)
                if (onBoard(sq + *d)) knight[i] |= u64{1} << index64(sq + *d);
            for (const i32* d = kingOffsetsWhite; *d; d++)
                if (onBoard(sq + *d)) king[i] |= u64{1} << index64(sq + *d);
            for (int side = WHITE; side <= BLACK; side++)
                for (const int d : {15, 17}) {
                    const int t = side == WHITE ? sq + d : sq - d;
                    if (onBoard(t)) pawnAttacks[side][i] |= u64{1} << index64(t);
                }
        }
    }
};
inline constexpr BitTables bitTables;
static_assert(lineSteps[SideTraits<BLACK>::diagonalLines[0]] == diagonalOffsetsBlack[0] &&
              lineSteps[SideTraits<BLACK>::straightLines[2]] == heavyOffsetsBlack[2] &&
              lineSteps[SideTraits<WHITE>::diagonalLines[3]] == diagonalOffsetsWhite[3] &&
              lineSteps[SideTraits<WHITE>::straightLines[3]] == heavyOffsetsWhite[3]);
static_assert(bitTables.ray[4][0] == 0xfe && bitTables.ray[3][0] == 0 &&
              bitTables.ray[6][7] == 0x8080808080808000 && bitTables.ray[0][1] == 0x100);
static_assert(bitTables.line[119 + 34] == 1 && bitTables.line[119 - 112] == 7 &&
              bitTables.line[119 + 33] == -1);
static_assert(bitTables.knight[0] == 0x20400 && bitTables.king[63] == 0x40c0000000000000);
static_assert(bitTables.pawnAttacks[WHITE][8] == 0x20000 && bitTables.pawnAttacks[BLACK][9] == 0x5);

// The first square (64-square numbering) of hits along line l: the nearest
// one to the line's start. hits must not be empty.
inline int nearestOnLine(u64 hits, int l) {
    return lineSteps[l] > 0 ? __builtin_ctzll(hits) : 63 - __builtin_clzll(hits);
}

// The squares strictly between a and b (64-square numbering) on line l,
// the line that leads from a to b.
inline u64 bitsBetween(int l, int a, int b) {
    return bitTables.ray[l][a] ^ bitTables.ray[l][b] ^ (u64{1} << b);
}

// ---------------------------------------------------------------------------
// The bit queries the attack, check and legality tests share

// A piece among candidates (all on lines through s) whose line to s holds
// no square of occupied.
inline bool sliderReaches(int s64, u64 candidates, u64 occupied) {
    const int s = square88(s64);
    while (candidates) {
        const int f64 = __builtin_ctzll(candidates);
        // NOLINTNEXTLINE(bugprone-signed-char-misuse): every candidate is on a line
        const int l = bitTables.line[square88(f64) - s + 119];
        if ((bitsBetween(l, s64, f64) & occupied) == 0) return true;
        candidates &= candidates - 1;
    }
    return false;
}

// attackedFrom by the bits: the piece on the square is not seen, every
// piece shields the squares behind it.
template <int Side>
inline bool attackedByBits(const Board* board, int square) {
    using T = SideTraits<Side>;
    const u64* bits = board->pieceBits;
    const int s64 = index64(square);
    if (bitTables.pawnAttacks[T::enemy][s64] & bits[T::base]) return true;
    if (bitTables.knight[s64] & bits[T::base + 1]) return true;
    if (bitTables.king[s64] & bits[T::king]) return true;
    const u64 occupied = board->occupied;
    const u64 diagonal = (bits[T::base + 2] | bits[T::base + 4]) & bitTables.diagonal[s64];
    if (diagonal && sliderReaches(s64, diagonal, occupied)) return true;
    const u64 straight = (bits[T::base + 3] | bits[T::base + 4]) & bitTables.straight[s64];
    return straight && sliderReaches(s64, straight, occupied);
}

// The delta query by the bits, for the pieces of Side: lines pass over the
// enemy king wherever it stands, a knight attacks only the square holding
// that king, a king attacks along any line or jump once the kings touch.
template <int Side>
inline bool deltaAttacked(const Board* board, int square) {
    using T = SideTraits<Side>;
    const u64* bits = board->pieceBits;
    const int s64 = index64(square);
    if (bitTables.pawnAttacks[T::enemy][s64] & bits[T::base]) return true;
    if ((bitTables.knight[s64] & bits[T::base + 1]) && board->squares[square] == T::enemyKing)
        return true;
    const u64 occupied = board->occupied & ~bits[T::enemyKing];
    const u64 diagonal = (bits[T::base + 2] | bits[T::base + 4]) & bitTables.diagonal[s64];
    if (diagonal && sliderReaches(s64, diagonal, occupied)) return true;
    const u64 straight = (bits[T::base + 3] | bits[T::base + 4]) & bitTables.straight[s64];
    if (straight && sliderReaches(s64, straight, occupied)) return true;
    return dist(board->wKingSquare, board->bKingSquare) == 1 &&
           attackStep(T::kingSquare(board), square) != 0;
}

// The delta query of Side against the enemy king after the enemy's move m
// (not castling, not en passant), answered on the board before it: the
// origin emptied, the destination occupied, a piece of Side on it taken.
template <int Side>
inline bool attackedAfter(const Board* board, const Move* m) {
    using T = SideTraits<Side>;
    using Mover = SideTraits<T::enemy>;
    const int ks = board->squares[m->from] == Mover::king ? m->to : Mover::kingSquare(board);
    const u64 toBit = squareBit(m->to);
    const u64 keep = ~toBit;
    const u64 occupied = (board->occupied & ~squareBit(m->from)) | toBit;
    const u64* bits = board->pieceBits;
    const int s64 = index64(ks);
    if (bitTables.pawnAttacks[T::enemy][s64] & bits[T::base] & keep) return true;
    // The king stands on ks after the move: every knight jump there counts.
    if (bitTables.knight[s64] & bits[T::base + 1] & keep) return true;
    const u64 diagonal = (bits[T::base + 2] | bits[T::base + 4]) & keep & bitTables.diagonal[s64];
    if (diagonal && sliderReaches(s64, diagonal, occupied)) return true;
    const u64 straight = (bits[T::base + 3] | bits[T::base + 4]) & keep & bitTables.straight[s64];
    if (straight && sliderReaches(s64, straight, occupied)) return true;
    const int k = T::kingSquare(board);
    return dist(ks, k) == 1 && attackStep(k, ks) != 0;
}

// ---------------------------------------------------------------------------
// Attack queries

// 1 when square is attacked by Black (colour not 0) or by White (colour 0).
int isAttackedSimple(const Board* board, int square, int colour);
// The same test on a bare 0x88 array (used before a position is set up).
int isAttackedOnSquares(const u8* squares, int square, int colour);

// Piece-list queries, valid only for the enemy king's own square: is the
// white king, standing on square, attacked by Black (and the mirror).
int isAttackedDeltaSquareBlack(const Board* board, int square);
int isAttackedDeltaSquareWhite(const Board* board, int square);

// 1 when the side to move's king stands attacked (the full test, for the
// positions that set-up, the game and the notation see; nodes use their own).
inline int sideToMoveInCheck(const Board* board) {
    return board->sideToMove == WHITE ? isAttackedSimple(board, board->wKingSquare, BLACK)
                                      : isAttackedSimple(board, board->bKingSquare, WHITE);
}

// The pieces of side (the attacker) that attack the enemy king standing on
// square, by the delta query's own rules, in piece-list order: returns how
// many (stopping at 2) and stores the first one's square in *first.
int kingCheckers(const Board* board, int square, int side, u8* first);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

int isAttackedSquareWhite(const Board* board, int square);
int isAttackedSquareBlack(const Board* board, int square);

int isAttacked(const Board* board, int square, int side);
