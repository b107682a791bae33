#include "attack.h"

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
