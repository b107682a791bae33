#include "legality.h"

#include "attack.h"
#include "board.h"
#include "utils.h"

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
