#include "reference.h"

#include <cassert>
#include <cstdlib>

#include "attack.h"
#include "legality.h"
#include "board.h"
#include "debug.h"
#include "eval.h"
#include "hash.h"
#include "movegen.h"
#include "movepick.h"
#include "search.h"
#include "see.h"
#include "utils.h"

i32 referenceSee(Board* board, Move* move) {
    makeMove(board, move);
    i32 material = pieceValues[move->captured];
    const i32 r = seeAlphaBeta(board, -std::abs(material), INFINITE_SCORE, move->to, &material);
    unmakeMove(board, move);
    return -r;
}

int referenceNextBestMove(MoveList* list, Move* out) {
    int index = 0;
    i32 best = -INFINITE_SCORE;
    if (list->picked[0] == 0 && list->scores[0] > -INFINITE_SCORE) best = list->scores[0];
    for (int i = 1; i < list->count; i++) {
        if (list->picked[i] == 0 && list->scores[i] > best) {
            best = list->scores[i];
            index = i;
        }
    }
    *out = list->moves[index];
    list->picked[index] = 1;
    return index;
}

namespace {

bool isKnightStep(int d) {
    return d != 1 && d != -1 && d != 15 && d != -15 && d != 16 && d != -16 && d != 17 && d != -17;
}
bool isDiagonalStep(int d) { return d == 15 || d == 17 || d == -15 || d == -17; }
bool isOrthogonalStep(int d) { return d == 1 || d == -1 || d == 16 || d == -16; }

int lineReaches(const u8* sq, int f, int d, int s, u8 targetKing) {
    int t = f + d;
    if (t == s) return 1;
    while (sq[t] == EMPTY || sq[t] == targetKing) {
        t += d;
        if (t == s) return 1;
    }
    return 0;
}

int pieceHits(const Board* board, int code, int f, int s, u8 base, int pawnD1, int pawnD2,
              u8 targetKing) {
    const int d = attackDeltaTable[f][s];
    if (d == 0) return 0;
    switch (code - base) {
    case 0: return (d == pawnD1 || d == pawnD2) && dist(f, s) == 1;
    case 1: return isKnightStep(d) && board->squares[f + d] == targetKing;
    case 2: return isDiagonalStep(d) && lineReaches(board->squares, f, d, s, targetKing);
    case 3: return isOrthogonalStep(d) && lineReaches(board->squares, f, d, s, targetKing);
    case 4:
        return (isDiagonalStep(d) || isOrthogonalStep(d)) &&
               lineReaches(board->squares, f, d, s, targetKing);
    case 5: return dist(board->wKingSquare, board->bKingSquare) == 1;
    default: return 0;
    }
}

}   // namespace

int referenceIsAttackedDelta(const Board* board, int square, int side) {
    if (side == BLACK) {
        for (int i = 0; i < board->nBlackEntries; i++) {
            const PieceEntry& e = board->blackPieces[i];
            if (e.alive != 1) continue;
            if (pieceHits(board, e.piece, e.square, square, BPAWN, -17, -15, WKING)) return 1;
        }
        return 0;
    }
    for (int i = 0; i < board->nWhiteEntries; i++) {
        const PieceEntry& e = board->whitePieces[i];
        if (e.alive != 1 || e.piece > WKING) continue;
        if (pieceHits(board, e.piece, e.square, square, WPAWN, 15, 17, BKING)) return 1;
    }
    return 0;
}

int referenceMoveChecks(Board* board, Move* move) {
    const int side = board->sideToMove;
    const int k = side == WHITE ? board->bKingSquare : board->wKingSquare;
    const u8 base = side == WHITE ? WPAWN : BPAWN;
    const u8 targetKing = side == WHITE ? BKING : WKING;
    const int pawnD1 = side == WHITE ? 15 : -17, pawnD2 = side == WHITE ? 17 : -15;
    const int from = move->from, to = move->to;
    if (move->flags & (MF_CASTLE | MF_PROMOTION | MF_ENPASSANT)) {
        makeMove(board, move);
        const int answer = referenceIsAttackedDelta(
            board, targetKing == WKING ? board->wKingSquare : board->bKingSquare, side);
        unmakeMove(board, move);
        return answer;
    }
    const int piece = move->piece;
    if (piece >= base && piece <= base + 5 &&
        pieceHits(board, piece, to, k, base, pawnD1, pawnD2, targetKing))
        return 1;
    const int g = attackDeltaTable[k][from];
    if (g == 0 || !onBoard(k + g) || k + g == to) return 0;
    const u8* sq = board->squares;
    int p = k + g;
    while (sq[p] == EMPTY || p == from) {
        p += g;
        if (!onBoard(p) || p == to) return 0;
    }
    const u8 c = sq[p];
    if (isOrthogonalStep(g)) return c == base + 3 || c == base + 4;
    if (isDiagonalStep(g)) return c == base + 2 || c == base + 4;
    return 0;
}

int referenceIsLegal(Board* board, Move* move) {
    makeMove(board, move);
    const int legal = board->sideToMove == BLACK
                          ? !referenceIsAttackedDelta(board, board->wKingSquare, BLACK)
                          : !referenceIsAttackedDelta(board, board->bKingSquare, WHITE);
    unmakeMove(board, move);
    return legal;
}

static constexpr Move noReferenceMove = {NO_SQUARE, NO_SQUARE, 0,         EMPTY, 0,
                                         EMPTY,     0,         NO_SQUARE, EMPTY};

i32 referenceQSearch(SearchThread* thread, i32 alpha, i32 beta, i32 level) {
    Board* board = &thread->board;
    // Step 1. Repetition: a position seen before on the game or search path
    // is a draw. Tested before the clock so cycles cost nothing.
    if (board->ply > 0 && checkDraw(board)) return 0;

    // Step 2. Clock poll.
    if (pollClock(thread)) return 0;

    // Step 3. Count the node.
    thread->globalQNodes++;
    thread->globalNodes++;

    const u32 ply = board->ply;
    const u8 inCheck = board->inCheck;
    MoveList* list = &thread->moveLists[ply];
    u8 flag = 0;

    // Step 4a. Ply guard: the per-ply lists end here, stand pat.
    if (ply >= static_cast<u32>(MAX_QSEARCH_PLY)) return eval(board, &flag);

    // Step 4b. First-phase moves. In check every evasion is searched and
    // there is no stand pat; otherwise the side may stand pat on the static
    // score and only captures can improve on it.
    i32 standPat = 0, best;
    u32 n;
    if (inCheck) {
        thread->pvMove = noReferenceMove;
        n = generateMoves(board, list, 1);
        best = -INFINITE_SCORE;
    } else {
        standPat = eval(board, &flag);
        if (standPat >= beta) return standPat;
        if (standPat > alpha) alpha = standPat;
        thread->pvMove = noReferenceMove;
        n = generateCaptures(board, list, 1);
        best = standPat;
    }

    // Step 5. Nothing to try: mate in check, the stand pat otherwise (a node
    // without captures never tries quiet checks).
    list->count = static_cast<u8>(n);
    if (n == 0) return inCheck ? static_cast<i32>(ply) - MATE_SCORE : best;

    // Step 6. Order by exchange value.
    const int first = assignQScoreMovelist(board, list);

    // Step 7. Capture phase (all evasions when in check).
    for (u32 k = 0; k < n; k++) {
        Move move;
        const int index = k == 0 ? getMove(list, &move, first) : getNextBestMove(list, &move);
        const bool promotion = (move.flags & MF_PROMOTION) != 0;

        // Step 7.1. Captures that lose material by exchange are not worth a node.
        if (!inCheck && list->seeScores[index] < 0 && !promotion) continue;

        // Step 7.2. The child's in-check flag, tested before the move is made.
        board->inCheck = static_cast<u8>(moveChecks(board, &move));

        i32 childLevel;
        if (inCheck || board->inCheck) {
            // Step 7.3. Evasions and checks are searched one level down and
            // bypass delta pruning.
            childLevel = level - 1;
        } else {
            // Step 7.4. Delta pruning in a null window: when even the exchange
            // gain plus a margin leaves the score below alpha, take that
            // optimistic bound and skip the move.
            if (!promotion && beta - alpha == 1) {
                const i32 t = list->seeScores[index] + standPat + 150;
                if (t < alpha) {
                    if (t > best) best = t;
                    continue;
                }
            }
            childLevel = level - 8;
        }

        // Step 7.5. Search the child.
        makeMove(board, &move);
        updateHashKey(board, &move);
        assert(keysAreConsistent(board));
        const i32 v = -referenceQSearch(thread, -beta, -alpha, childLevel);
        updateHashKey(board, &move);
        unmakeMove(board, &move);

        // Step 7.6. Fail-soft bookkeeping.
        if (v > best) {
            if (v >= beta) return v;
            if (v > alpha) alpha = v;
            best = v;
        }
    }

    // Step 8. Quiet checks only at the first quiescence level and not in check.
    if (level != 0 || inCheck) return best;

    // Step 9. Quiet-check phase: quiet moves that give check or promote and
    // lose nothing by exchange, in generation order.
    n = generateMoves(board, list, 0);
    list->count = static_cast<u8>(n);
    if (n == 0) return best;
    const KingContext king = kingContext(board);
    for (u32 i = 0; i < n; i++) {
        Move* move = &list->moves[i];
        if (move->flags & MF_CAPTURE) continue;
        if (!isLegalInContext(board, move, &king)) continue;
        board->inCheck = static_cast<u8>(moveChecks(board, move));
        if (!((board->inCheck || (move->flags & MF_PROMOTION)) && referenceSee(board, move) >= 0))
            continue;

        makeMove(board, move);
        updateHashKey(board, move);
        const i32 v = -referenceQSearch(thread, -beta, -alpha, -1);
        updateHashKey(board, move);
        unmakeMove(board, move);

        if (v > best) {
            if (v >= beta) return v;
            if (v > alpha) alpha = v;
            best = v;
        }
    }
    return best;
}
