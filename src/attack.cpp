#include "attack.h"

#include "board.h"
#include "utils.h"

i32 attackDeltaTable[128][128];

void initAttackDeltaTable() {
    for (int i = 0; i < 128; i++)
        for (int j = 0; j < 128; j++) attackDeltaTable[i][j] = 0;
    for (int i = 0; i < 128; i++) {
        for (const i32* d = knightOffsetsWhite; *d; d++) {
            int t = i + *d;
            if (onBoard(t)) attackDeltaTable[i][t] = *d;
        }
        for (const i32* d = diagonalOffsetsWhite; *d; d++)
            for (int t = i + *d; onBoard(t); t += *d) attackDeltaTable[i][t] = *d;
        for (const i32* d = heavyOffsetsWhite; *d; d++)
            for (int t = i + *d; onBoard(t); t += *d) attackDeltaTable[i][t] = *d;
    }
}

// Looks outward from the square for a piece of Side; the piece on the
// square itself is not seen. The pawns that take on the square stand one
// capture step behind it.
template <int Side>
inline int attackedFrom(const u8* sq, int square) {
    using T = SideTraits<Side>;
    const u8 pawn = T::base, knight = T::base + 1, bishop = T::base + 2, rook = T::base + 3,
             queen = T::base + 4;
    int t = square - T::capB;
    if (onBoard(t) && sq[t] == pawn) return 1;
    t = square - T::capA;
    if (onBoard(t) && sq[t] == pawn) return 1;
    for (const i32* d = T::knights; *d; d++) {
        t = square + *d;
        if (onBoard(t) && sq[t] == knight) return 1;
    }
    for (const i32* d = T::diagonals; *d; d++) {
        for (t = square + *d; onBoard(t); t += *d) {
            if (sq[t] == EMPTY) continue;
            if (sq[t] == bishop || sq[t] == queen) return 1;
            break;
        }
    }
    for (const i32* d = T::heavies; *d; d++) {
        for (t = square + *d; onBoard(t); t += *d) {
            if (sq[t] == EMPTY) continue;
            if (sq[t] == rook || sq[t] == queen) return 1;
            break;
        }
    }
    for (const i32* d = T::kings; *d; d++) {
        t = square + *d;
        if (onBoard(t) && sq[t] == T::king) return 1;
    }
    return 0;
}

int isAttackedSquareWhite(const Board* board, int square) {
    return isAttackedOnSquares(board->squares, square, WHITE);
}

int isAttackedSquareBlack(const Board* board, int square) {
    return isAttackedOnSquares(board->squares, square, BLACK);
}

namespace {

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

}   // namespace

int isAttackedSimple(const Board* board, int square, int colour) {
    return colour ? attackedByBits<BLACK>(board, square) : attackedByBits<WHITE>(board, square);
}

int isAttackedOnSquares(const u8* squares, int square, int colour) {
    return colour ? attackedFrom<BLACK>(squares, square) : attackedFrom<WHITE>(squares, square);
}

static inline bool isKnightStep(int d) {
    return d != 1 && d != -1 && d != 15 && d != -15 && d != 16 && d != -16 && d != 17 && d != -17;
}
static inline bool isDiagonalStep(int d) { return d == 15 || d == 17 || d == -15 || d == -17; }
static inline bool isOrthogonalStep(int d) { return d == 1 || d == -1 || d == 16 || d == -16; }

// Walks from f along d towards s; empty cells and the target king (which
// never shields the squares behind it) are passed.
static inline int lineReaches(const u8* sq, int f, int d, int s, u8 targetKing) {
    int t = f + d;
    if (t == s) return 1;
    while (sq[t] == EMPTY || sq[t] == targetKing) {
        t += d;
        if (t == s) return 1;
    }
    return 0;
}

// One piece of Side (code, on f) against the enemy king's square s. A pawn
// takes one capture step ahead.
template <int Side>
inline int pieceHits(const Board* board, int code, int f, int s) {
    using T = SideTraits<Side>;
    const int d = attackStep(f, s);
    if (d == 0) return 0;
    switch (code - T::base) {
    case 0: return (d == T::capB || d == T::capA) && dist(f, s) == 1;
    case 1: return isKnightStep(d) && board->squares[f + d] == T::enemyKing;
    case 2: return isDiagonalStep(d) && lineReaches(board->squares, f, d, s, T::enemyKing);
    case 3: return isOrthogonalStep(d) && lineReaches(board->squares, f, d, s, T::enemyKing);
    case 4:
        return (isDiagonalStep(d) || isOrthogonalStep(d)) &&
               lineReaches(board->squares, f, d, s, T::enemyKing);
    case 5: return dist(board->wKingSquare, board->bKingSquare) == 1;
    default: return 0;
    }
}

int isAttackedDeltaSquareBlack(const Board* board, int square) {
    return deltaAttacked<BLACK>(board, square);
}

int isAttackedDeltaSquareWhite(const Board* board, int square) {
    return deltaAttacked<WHITE>(board, square);
}

namespace {

template <int Side>
int kingCheckersSide(const Board* board, int square, u8* first) {
    using T = SideTraits<Side>;
    const PieceEntry* pieces = T::list(board);
    int count = 0;
    for (int i = 0; i < T::entries(board) && count < 2; i++) {
        const PieceEntry& e = pieces[i];
        if (e.alive != 1 || colourOf(e.piece) != Side) continue;
        if (pieceHits<Side>(board, e.piece, e.square, square)) {
            if (count == 0) *first = e.square;
            count++;
        }
    }
    return count;
}

}   // namespace

int kingCheckers(const Board* board, int square, int side, u8* first) {
    return side == BLACK ? kingCheckersSide<BLACK>(board, square, first)
                         : kingCheckersSide<WHITE>(board, square, first);
}

int isAttacked(const Board* board, int square, int side) {
    return side ? isAttackedDeltaSquareBlack(board, square)
                : isAttackedDeltaSquareWhite(board, square);
}

namespace {

// Check by the move of Side against the enemy king. Castling, promotions
// and en passant are made and the king asked; the others are decided on the
// board as it stands: a direct check from the destination (the origin still
// counts as occupied; a king "checks" only when the kings already touch,
// which a legal position never has), else a discovered check by the first
// piece behind the origin on the line from the king.
template <int Side>
inline int moveChecksSide(Board* board, Move* move) {
    using T = SideTraits<Side>;
    using Enemy = SideTraits<T::enemy>;
    if (move->flags & (MF_CASTLE | MF_PROMOTION | MF_ENPASSANT)) {
        makeMove(board, move);
        const int answer = deltaAttacked<Side>(board, Enemy::kingSquare(board));
        unmakeMove(board, move);
        return answer;
    }
    const int from = move->from, to = move->to;
    const int k = Enemy::kingSquare(board);
    const int k64 = index64(k), to64 = index64(to);
    const u64 kBit = u64{1} << k64;
    const u64 occupied = board->occupied;
    const int kind = move->piece - T::base;
    // NOLINTNEXTLINE(bugprone-signed-char-misuse): the table's -1 is "no line"
    const int toLine = bitTables.line[k - to + 119];
    switch (kind) {
    case 0:
        if (bitTables.pawnAttacks[Side][to64] & kBit) return 1;
        break;
    case 1:
        if ((bitTables.knight[to64] & kBit) && board->squares[k] == T::enemyKing) return 1;
        break;
    case 2:
    case 3:
    case 4:
        if (toLine >= 0 && (kind == 4 || (toLine < 4) == (kind == 2)) &&
            (bitsBetween(toLine, to64, k64) & occupied) == 0)
            return 1;
        break;
    case 5:
        if (attackStep(to, k) != 0 && dist(board->wKingSquare, board->bKingSquare) == 1) return 1;
        break;
    default: break;
    }

    // NOLINTNEXTLINE(bugprone-signed-char-misuse): the table's -1 is "no line"
    const int l = bitTables.line[from - k + 119];
    if (l < 0) return 0;
    const u64 hits = ((occupied & ~squareBit(from)) | squareBit(to)) & bitTables.ray[l][k64];
    if (hits == 0) return 0;
    const int p64 = nearestOnLine(hits, l);
    if (p64 == to64) return 0;
    const u8 c = board->squares[square88(p64)];
    return c == T::base + 4 || c == T::base + (l < 4 ? 2 : 3);
}

}   // namespace

int moveChecksWhite(Board* board, Move* move) { return moveChecksSide<WHITE>(board, move); }

int moveChecksBlack(Board* board, Move* move) { return moveChecksSide<BLACK>(board, move); }

int moveChecks(Board* board, Move* move) {
    return board->sideToMove == WHITE ? moveChecksWhite(board, move) : moveChecksBlack(board, move);
}

int isLegalSimple(Board* board, Move* move) {
    if (move->flags & (MF_CASTLE | MF_ENPASSANT)) {
        makeMove(board, move);
        const int legal = board->sideToMove == BLACK
                              ? !deltaAttacked<BLACK>(board, board->wKingSquare)
                              : !deltaAttacked<WHITE>(board, board->bKingSquare);
        unmakeMove(board, move);
        return legal;
    }
    const int legal = leavesKingSafe(board, move);
    legalityTraces(board, move);
    return legal;
}

int leavesKingSafe(const Board* board, const Move* move) {
    return board->sideToMove == WHITE ? !attackedAfter<BLACK>(board, move)
                                      : !attackedAfter<WHITE>(board, move);
}
