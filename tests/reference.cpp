#include "reference.h"

#include <cstdlib>

#include "attack.h"
#include "board.h"
#include "see.h"

i32 referenceSee(Board* board, Move* move) {
    makeMove(board, move);
    seeMaterial = pieceValues[move->captured];
    const i32 r = seeAlphaBeta(board, -std::abs(seeMaterial), INFINITE_SCORE, move->to);
    unmakeMove(board, move);
    return -r;
}

int referenceIsLegal(Board* board, Move* move) {
    makeMove(board, move);
    int legal;
    if (board->sideToMove == BLACK)
        legal = !isAttackedDeltaSquareBlack(board, board->wKingSquare);
    else
        legal = !isAttackedDeltaSquareWhite(board, board->bKingSquare);
    unmakeMove(board, move);
    return legal;
}
