// Check and legality tests of a move: does it give check, does it leave the
// mover's king safe. Most moves are decided on the board as it stands; the
// moves that change more than two squares (castling, en passant, and for
// the check test promotions) are made, tested and unmade, which is why
// these tests sit above both the board and the attack queries.
#pragma once

#include "defs.h"

// 1 when the move, made from the current position, checks the enemy king.
// The board is unchanged afterwards.
int moveChecks(Board* board, Move* move);
int moveChecksWhite(Board* board, Move* move);
int moveChecksBlack(Board* board, Move* move);

// 1 when the move does not leave the mover's king attacked; keys untouched.
// The board and the move keep the traces a make, test and unmake leaves
// (see legalityTraces); castling and en passant are in fact made.
int isLegalSimple(Board* board, Move* move);

// isLegalSimple's verdict for a move other than castling and en passant,
// decided on the board as it stands; nothing is written.
int leavesKingSafe(const Board* board, const Move* move);

// A make/unmake pair leaves traces: the move's scratch fields, the capture
// memory, the stale index on the destination and the history slot one past
// gamePly. A test that decides without making the move leaves exactly the
// same ones, so a search that reads the capture memory cannot tell which
// path decided. Valid for every move but castling and en passant, whose
// rook or taken pawn leave traces of their own.
inline void legalityTraces(Board* board, Move* m) {
    m->oldCastling = static_cast<u8>(board->castlingStatus);
    m->oldEpSquare = board->epSquare;
    if (m->flags & MF_CAPTURE) {
        m->capturedIndex = board->pieceIndex[m->to];
        board->lastCaptureSquare = m->to;
        board->lastCapturedPiece = m->captured;
    } else {
        board->pieceIndex[m->to] = board->pieceIndex[m->from];
        board->lastCaptureSquare = NO_SQUARE;
        board->lastCapturedPiece = EMPTY;
    }
    board->hashHistory[board->gamePly + 1] = board->hashKey;
}
