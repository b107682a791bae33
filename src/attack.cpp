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

// Looks outward from the square; the piece on the square itself is not seen.
// Codes of the attacking side: pawn, knight, bishop, rook, queen, king.
static inline int attackedFrom(const u8* sq, int square, int pawnStep1, int pawnStep2,
                               const i32* knights, const i32* diagonals, const i32* heavies,
                               const i32* kings, u8 pawn) {
    const u8 knight = pawn + 1, bishop = pawn + 2, rook = pawn + 3, queen = pawn + 4,
             king = pawn + 5;
    int t = square + pawnStep1;
    if (onBoard(t) && sq[t] == pawn) return 1;
    t = square + pawnStep2;
    if (onBoard(t) && sq[t] == pawn) return 1;
    for (const i32* d = knights; *d; d++) {
        t = square + *d;
        if (onBoard(t) && sq[t] == knight) return 1;
    }
    for (const i32* d = diagonals; *d; d++) {
        for (t = square + *d; onBoard(t); t += *d) {
            if (sq[t] == EMPTY) continue;
            if (sq[t] == bishop || sq[t] == queen) return 1;
            break;
        }
    }
    for (const i32* d = heavies; *d; d++) {
        for (t = square + *d; onBoard(t); t += *d) {
            if (sq[t] == EMPTY) continue;
            if (sq[t] == rook || sq[t] == queen) return 1;
            break;
        }
    }
    for (const i32* d = kings; *d; d++) {
        t = square + *d;
        if (onBoard(t) && sq[t] == king) return 1;
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
    return isAttackedOnSquares(board->squares, square, colour);
}

int isAttackedOnSquares(const u8* squares, int square, int colour) {
    if (colour)
        return attackedFrom(squares, square, 17, 15, knightOffsetsBlack, diagonalOffsetsBlack,
                            heavyOffsetsBlack, kingOffsetsBlack, BPAWN);
    return attackedFrom(squares, square, -15, -17, knightOffsetsWhite, diagonalOffsetsWhite,
                        heavyOffsetsWhite, kingOffsetsWhite, WPAWN);
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

// One piece of the attacking side against the enemy king's square s.
// pawnD1/pawnD2 are the pawn's capture steps, targetKing the code of the king
// that stands on s, base the attacker's pawn code.
static inline int pieceHits(const Board* board, int code, int f, int s, u8 base, int pawnD1,
                            int pawnD2, u8 targetKing) {
    const int d = attackStep(f, s);
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

int isAttackedDeltaSquareBlack(const Board* board, int square) {
    for (int i = 0; i < board->nBlackEntries; i++) {
        const PieceEntry& e = board->blackPieces[i];
        if (e.alive != 1) continue;
        if (pieceHits(board, e.piece, e.square, square, BPAWN, -17, -15, WKING)) return 1;
    }
    return 0;
}

int isAttackedDeltaSquareWhite(const Board* board, int square) {
    for (int i = 0; i < board->nWhiteEntries; i++) {
        const PieceEntry& e = board->whitePieces[i];
        if (e.alive != 1 || e.piece > WKING) continue;
        if (pieceHits(board, e.piece, e.square, square, WPAWN, 15, 17, BKING)) return 1;
    }
    return 0;
}

int kingCheckers(const Board* board, int square, int side, u8* first) {
    int count = 0;
    if (side == BLACK) {
        for (int i = 0; i < board->nBlackEntries && count < 2; i++) {
            const PieceEntry& e = board->blackPieces[i];
            if (e.alive != 1) continue;
            if (pieceHits(board, e.piece, e.square, square, BPAWN, -17, -15, WKING)) {
                if (count == 0) *first = e.square;
                count++;
            }
        }
    } else {
        for (int i = 0; i < board->nWhiteEntries && count < 2; i++) {
            const PieceEntry& e = board->whitePieces[i];
            if (e.alive != 1 || e.piece > WKING) continue;
            if (pieceHits(board, e.piece, e.square, square, WPAWN, 15, 17, BKING)) {
                if (count == 0) *first = e.square;
                count++;
            }
        }
    }
    return count;
}

int isAttacked(const Board* board, int square, int side) {
    return side ? isAttackedDeltaSquareBlack(board, square)
                : isAttackedDeltaSquareWhite(board, square);
}

// Check by the move of the side whose pawn code is base against the enemy
// king on k; base + 2..4 are that side's bishop, rook and queen, the pieces
// that can give a discovered check.
static inline int moveChecksSide(Board* board, Move* move, int k, u8 base, int pawnD1, int pawnD2,
                                 u8 targetKing, int (*deltaQuery)(const Board*, int)) {
    const int from = move->from, to = move->to;
    if (move->flags & (MF_CASTLE | MF_PROMOTION | MF_ENPASSANT)) {
        makeMove(board, move);
        int answer =
            deltaQuery(board, targetKing == WKING ? board->wKingSquare : board->bKingSquare);
        unmakeMove(board, move);
        return answer;
    }
    // Direct check from the destination. The origin is still occupied during
    // the line walk; a king "checks" only when the kings already touch, which
    // a legal position never has, so king moves check by discovery alone.
    const int piece = move->piece;
    if (piece >= base && piece <= base + 5 &&
        pieceHits(board, piece, to, k, base, pawnD1, pawnD2, targetKing))
        return 1;

    // Discovered check along the line from the king through the origin.
    const int g = attackStep(k, from);
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

int moveChecksWhite(Board* board, Move* move) {
    return moveChecksSide(board, move, board->bKingSquare, WPAWN, 15, 17, BKING,
                          isAttackedDeltaSquareWhite);
}

int moveChecksBlack(Board* board, Move* move) {
    return moveChecksSide(board, move, board->wKingSquare, BPAWN, -17, -15, WKING,
                          isAttackedDeltaSquareBlack);
}

int moveChecks(Board* board, Move* move) {
    return board->sideToMove == WHITE ? moveChecksWhite(board, move) : moveChecksBlack(board, move);
}

int isLegalSimple(Board* board, Move* move) {
    makeMove(board, move);
    int legal;
    if (board->sideToMove == BLACK) legal = !isAttackedDeltaSquareBlack(board, board->wKingSquare);
    else legal = !isAttackedDeltaSquareWhite(board, board->bKingSquare);
    unmakeMove(board, move);
    return legal;
}
