// Attack-delta table, attack queries, check and legality tests.
#pragma once

#include "defs.h"

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

// 1 when the move, made from the current position, checks the enemy king.
// The board is unchanged afterwards.
int moveChecks(Board* board, Move* move);
int moveChecksWhite(Board* board, Move* move);
int moveChecksBlack(Board* board, Move* move);

// 1 when the move does not leave the mover's king attacked (make, test,
// unmake; keys untouched).
int isLegalSimple(Board* board, Move* move);

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
