#include "see.h"

#include <cstdlib>

#include "board.h"
#include "movegen.h"

i32 seeMaterial = 0;

i32 see(Board* board, Move* move) {
    makeMove(board, move);
    // The promotion of the move itself is not counted: only its capture.
    seeMaterial = pieceValues[move->captured];
    const i32 r = seeAlphaBeta(board, -std::abs(seeMaterial), INFINITE_SCORE, move->to);
    unmakeMove(board, move);
    return -r;
}

void seeAssignScoreMovelist(Board*, MoveList* list) {
    for (u32 i = 0; i < list->count; i++) {
        list->picked[i] = 0;
        const Move& m = list->moves[i];
        // Every move hits the same victim: the cheapest attacker goes first.
        if (m.flags & MF_CAPTURE)
            list->scores[i] = std::abs(pieceValues[m.captured]) - std::abs(pieceValues[m.piece]) / 100;
    }
}

i32 seeAlphaBeta(Board* board, i32 alpha, i32 beta, int target) {
    // Standing pat: either side may stop capturing whenever that suits it.
    const i32 standPat = board->sideToMove == WHITE ? -seeMaterial : seeMaterial;
    if (standPat >= beta) return beta;
    i32 best = alpha > standPat ? alpha : standPat;

    MoveList* list = &board->moveLists[board->ply];
    const u32 n = board->sideToMove == WHITE ? seeGenerateMovesWhite(board, list, target)
                                             : seeGenerateMovesBlack(board, list, target);
    list->count = static_cast<u8>(n);
    if (n == 0) return best;
    seeAssignScoreMovelist(board, list);

    for (u32 k = 0; k < n; k++) {
        Move m;
        getNextBestMove(list, &m);
        if (m.captured == WKING || m.captured == BKING) return INFINITE_SCORE;
        makeMove(board, &m);
        seeMaterial += pieceValues[m.captured] - pieceValues[m.promotion];
        const i32 v = -seeAlphaBeta(board, -beta, -best, target);
        unmakeMove(board, &m);
        seeMaterial += pieceValues[m.promotion] - pieceValues[m.captured];
        if (v >= beta) return beta;
        if (v > best) best = v;
    }
    return best;
}

namespace {

// Attackers of target for one side, in generation order. The pieces behind
// the first one on a line are found when the exchange generates again after
// the first has moved away.
template <int Side>
u32 attackersOf(Board* board, MoveList* list, int target) {
    const bool white = Side == WHITE;
    const u8 pawn = white ? WPAWN : BPAWN, knight = white ? WKNIGHT : BKNIGHT;
    const u8 bishop = white ? WBISHOP : BBISHOP, rook = white ? WROOK : BROOK;
    const u8 queen = white ? WQUEEN : BQUEEN, king = white ? WKING : BKING;
    const i32* knights = white ? knightOffsetsWhite : knightOffsetsBlack;
    const i32* diagonals = white ? diagonalOffsetsWhite : diagonalOffsetsBlack;
    const i32* heavies = white ? heavyOffsetsWhite : heavyOffsetsBlack;
    const i32* kings = white ? kingOffsetsWhite : kingOffsetsBlack;
    const u8* s = board->squares;
    u32 count = 0;

    const int pawnA = white ? target - 15 : target + 17;
    const int pawnB = white ? target - 17 : target + 15;
    if (onBoard(pawnA) && s[pawnA] == pawn) addMoveSimple(board, list, &count, pawnA, target, 0);
    if (onBoard(pawnB) && s[pawnB] == pawn) addMoveSimple(board, list, &count, pawnB, target, 0);
    for (const i32* d = knights; *d; d++) {
        const int t = target + *d;
        if (onBoard(t) && s[t] == knight) addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = diagonals; *d; d++) {
        int t = target + *d;
        while (onBoard(t) && s[t] == EMPTY) t += *d;
        if (onBoard(t) && (s[t] == bishop || s[t] == queen)) addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = heavies; *d; d++) {
        int t = target + *d;
        while (onBoard(t) && s[t] == EMPTY) t += *d;
        if (onBoard(t) && (s[t] == rook || s[t] == queen)) addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = kings; *d; d++) {
        const int t = target + *d;
        if (onBoard(t) && s[t] == king) addMoveSimple(board, list, &count, t, target, 0);
    }
    return count;
}

}  // namespace

u32 seeGenerateMovesWhite(Board* board, MoveList* list, int target) {
    return attackersOf<WHITE>(board, list, target);
}

u32 seeGenerateMovesBlack(Board* board, MoveList* list, int target) {
    return attackersOf<BLACK>(board, list, target);
}

u32 seeGenerateMoves(Board* board, MoveList* list, int target) {
    return board->sideToMove ? seeGenerateMovesBlack(board, list, target)
                             : seeGenerateMovesWhite(board, list, target);
}

i32 seeEval(const Board* board) {
    return board->sideToMove == WHITE ? board->materialBalance : -board->materialBalance;
}
