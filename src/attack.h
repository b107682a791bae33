// Attack-delta table, bit tables, attack queries, check and legality tests.
#pragma once

#include <initializer_list>

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
