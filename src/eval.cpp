#include "eval.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "board.h"
#include "debug.h"
#include "hash.h"
#include "movegen.h"
#include "utils.h"

namespace {

// 0x88 square of a file and rank, both 1..8.
constexpr int squareOf(int f, int r) { return (r - 1) * 16 + (f - 1); }

template <u8 Side>
inline bool isEnemy(u8 code) {
    if constexpr (Side == WHITE) return code > EMPTY;
    else return code != OFFBOARD && code < EMPTY;
}

// Knight and king: one step along each offset. Every target is tested for
// being on the board before it is read, so a piece on the edge never reads
// outside the 128 cells.
template <u8 Side>
inline int mobilityLeaper(const Board* board, int square, u8* attacks, const i32* offsets) {
    int mobility = 0;
    for (const i32* d = offsets; *d != 0; d++) {
        const int to = square + *d;
        if (!onBoard(to)) continue;
        const u8 code = board->squares[to];
        if (code == EMPTY) {
            attacks[to]++;
            mobility++;
        } else if (isEnemy<Side>(code)) {
            attacks[to]++;
        }
    }
    return mobility;
}

// Bishop, rook, queen: slide until the edge or the first piece, which counts
// as attacked only when it is an enemy.
template <u8 Side>
inline int mobilitySlider(const Board* board, int square, u8* attacks, const i32* offsets) {
    int mobility = 0;
    for (const i32* d = offsets; *d != 0; d++) {
        for (int to = square + *d; onBoard(to); to += *d) {
            const u8 code = board->squares[to];
            if (code != EMPTY) {
                if (isEnemy<Side>(code)) attacks[to]++;
                break;
            }
            attacks[to]++;
            mobility++;
        }
    }
    return mobility;
}

// A pawn's capture square: attacked when empty or enemy, a capture when enemy.
template <u8 Side>
inline int pawnCaptureSquare(const Board* board, int to, u8* attacks) {
    if (!onBoard(to)) return 0;
    const u8 code = board->squares[to];
    if (code == EMPTY) {
        attacks[to]++;
        return 0;
    }
    if (isEnemy<Side>(code)) {
        attacks[to]++;
        return 1;
    }
    return 0;
}

// The same mobility counts on a square array with EVAL_MARGIN off-board
// cells (code 0) around the board: no step needs an on-board test, since
// a ray stops at the first cell that is not empty and an off-board cell is
// neither empty nor an enemy. The attack maps need the same margin.
constexpr int EVAL_MARGIN = 34;

template <u8 Side>
[[gnu::always_inline]] inline int leaperMobility(const u8* cells, int square, u8* attacks,
                                                 const i32* offsets) {
    int mobility = 0;
    for (int i = 0; i < 8; i++) {
        const int to = square + offsets[i];
        const u8 code = cells[to];
        if (code == EMPTY) {
            attacks[to]++;
            mobility++;
        } else if (isEnemy<Side>(code)) {
            attacks[to]++;
        }
    }
    return mobility;
}

template <u8 Side>
[[gnu::always_inline]] inline int sliderMobility(const u8* cells, int square, u8* attacks,
                                                 const i32* offsets) {
    int mobility = 0;
    for (int i = 0; i < 4; i++) {
        const int d = offsets[i];
        int to = square + d;
        while (cells[to] == EMPTY) {
            attacks[to]++;
            mobility++;
            to += d;
        }
        if (isEnemy<Side>(cells[to])) attacks[to]++;
    }
    return mobility;
}

template <u8 Side>
[[gnu::always_inline]] inline int pawnMobility(const u8* cells, int square, u8* attacks) {
    constexpr int push = Side == WHITE ? 16 : -16;
    constexpr int capA = Side == WHITE ? 17 : -15, capB = Side == WHITE ? 15 : -17;
    int mobility = 0;
    for (const int to : {square + capA, square + capB}) {
        const u8 code = cells[to];
        if (code == EMPTY) {
            attacks[to]++;
        } else if (isEnemy<Side>(code)) {
            attacks[to]++;
            mobility++;
        }
    }
    if (cells[square + push] == EMPTY) mobility++;
    return mobility;
}

inline int pawnOn(const Board* board, int square, u8 pawn) {
    return onBoard(square) && board->squares[square] == pawn ? 1 : 0;
}

// Shelter count of a castled king: the pawn in front weighs 3, the pawns
// beside it and diagonally in front 2, the second row 1, and a king still on
// its back rank 1 more.
int shelterCountWhite(const Board* board) {
    const int k = board->wKingSquare;
    int count = 3 * pawnOn(board, k + 16, WPAWN);
    count += 2 * (pawnOn(board, k + 15, WPAWN) + pawnOn(board, k + 17, WPAWN) +
                  pawnOn(board, k - 1, WPAWN) + pawnOn(board, k + 1, WPAWN));
    count +=
        pawnOn(board, k + 32, WPAWN) + pawnOn(board, k + 33, WPAWN) + pawnOn(board, k + 31, WPAWN);
    if (rank(k) == 1) count++;
    return count;
}

int shelterCountBlack(const Board* board) {
    const int k = board->bKingSquare;
    int count = 3 * pawnOn(board, k - 16, BPAWN);
    count += 2 * (pawnOn(board, k - 17, BPAWN) + pawnOn(board, k - 15, BPAWN) +
                  pawnOn(board, k - 1, BPAWN) + pawnOn(board, k + 1, BPAWN));
    count +=
        pawnOn(board, k - 32, BPAWN) + pawnOn(board, k - 31, BPAWN) + pawnOn(board, k - 33, BPAWN);
    if (rank(k) == 8) count++;
    return count;
}

// Pressure on a king: the enemy attack counts summed over each ring, capped
// at the tables' last entry.
// The map carries EVAL_MARGIN cells on either side; cells off the board
// hold 0 and add nothing.
i32 kingPressure(int king, const u8* enemyAttacks) {
    int ring1 = 0, ring2 = 0;
    for (const i32 d : kingRing1Offsets) ring1 += enemyAttacks[king + d];
    for (const i32 d : kingRing2Offsets) ring2 += enemyAttacks[king + d];
    if (ring1 > 63) ring1 = 63;
    if (ring2 > 63) ring2 = 63;
    return bonusKingPres1[ring1] + bonusKingPres2[ring2];
}

// Backwardness contributed by a neighbouring file of a white rear pawn on rank r.
inline int backwardStepWhite(int pawns, int rear, int r) {
    if (pawns == 0) return 1;
    if (rear >= r + 2) return 3;
    if (rear == r + 1) return 2;
    return 0;
}

inline int backwardStepBlack(int pawns, int rear, int r) {
    if (pawns == 0) return 1;
    if (rear <= r - 2) return 3;
    if (rear == r - 1) return 2;
    return 0;
}

inline int capAt(int value, int last) { return value > last ? last : value; }

// The whole evaluation, White's view without the tempo bonus. eval and
// evalTerms both expand it; in eval the terms record is a local the compiler
// keeps in registers.
[[gnu::always_inline]] inline i32 scorePosition(const Board* board, EvalTerms* terms) {
    const u8* squares = board->squares;

    // Step 1: work data. Files 0 and 9 are never written and read as files
    // without pawns, so f - 1 and f + 1 need no test where a missing file
    // counts as empty (isolated pawns).
    alignas(16) u8 cellArray[EVAL_MARGIN + 128 + EVAL_MARGIN];
    alignas(16) u8 attackArrays[2][EVAL_MARGIN + 128 + EVAL_MARGIN];
    memset(cellArray, OFFBOARD, sizeof cellArray);
    memcpy(cellArray + EVAL_MARGIN, squares, 128);
    memset(attackArrays, 0, sizeof attackArrays);
    const u8* cells = cellArray + EVAL_MARGIN;
    u8* whiteAttacks = attackArrays[0] + EVAL_MARGIN;
    u8* blackAttacks = attackArrays[1] + EVAL_MARGIN;
    int wCnt[10] = {}, bCnt[10] = {};
    int wFront[10] = {}, bRear[10] = {};
    int wRear[10], bFront[10];
    for (int f = 0; f < 10; f++) {
        wRear[f] = 8;
        bFront[f] = 8;
    }
    int wRooksOnFile[10] = {}, bRooksOnFile[10] = {};
    int wPassed[10] = {}, bPassed[10] = {};
    int wPawns = 0, wKnights = 0, wBishops = 0, wRooks = 0, wQueens = 0, wRooks7th = 0;
    int bPawns = 0, bKnights = 0, bBishops = 0, bRooks = 0, bQueens = 0, bRooks7th = 0;
    i32 pawnAdvancement = 0, pawnStructure = 0, knightMobility = 0, bishopMobility = 0;
    i32 rookTerms = 0, queenMobility = 0;

    // Step 2: White's pieces build White's attack map, mobility and pawn files.
    for (int i = 0; i < board->nWhiteEntries; i++) {
        const PieceEntry& e = board->whitePieces[i];
        if (e.alive != 1) continue;
        const int s = e.square;
        switch (e.piece) {
        case WPAWN: {
            const int f = file(s), r = rank(s);
            wCnt[f]++;
            pawnAdvancement += bonusAdvPawn[r];
            if (r > wFront[f]) wFront[f] = r;
            if (r < wRear[f]) wRear[f] = r;
            pawnStructure += bonusPawnMob[pawnMobility<WHITE>(cells, s, whiteAttacks)];
            wPawns++;
            break;
        }
        case WKNIGHT:
            knightMobility +=
                bonusKnightMob[leaperMobility<WHITE>(cells, s, whiteAttacks, knightOffsetsWhite)];
            wKnights++;
            break;
        case WBISHOP:
            bishopMobility +=
                bonusBishopMob[sliderMobility<WHITE>(cells, s, whiteAttacks, diagonalOffsetsWhite)];
            wBishops++;
            break;
        case WROOK:
            wRooksOnFile[file(s)]++;
            if (rank(s) == 7) wRooks7th++;
            rookTerms +=
                bonusRookMob[sliderMobility<WHITE>(cells, s, whiteAttacks, heavyOffsetsWhite)];
            wRooks++;
            break;
        case WQUEEN:
            queenMobility +=
                bonusQueenMob[sliderMobility<WHITE>(cells, s, whiteAttacks, heavyOffsetsWhite) +
                              sliderMobility<WHITE>(cells, s, whiteAttacks, diagonalOffsetsWhite)];
            wQueens++;
            break;
        case WKING: leaperMobility<WHITE>(cells, s, whiteAttacks, kingOffsetsWhite); break;
        default: break;
        }
    }

    // Step 3: the mirror image for Black, subtracted.
    for (int i = 0; i < board->nBlackEntries; i++) {
        const PieceEntry& e = board->blackPieces[i];
        if (e.alive != 1) continue;
        const int s = e.square;
        switch (e.piece) {
        case BPAWN: {
            const int f = file(s), r = rank(s);
            bCnt[f]++;
            pawnAdvancement -= bonusAdvPawn[9 - r];
            if (r < bFront[f]) bFront[f] = r;
            if (r > bRear[f]) bRear[f] = r;
            pawnStructure -= bonusPawnMob[pawnMobility<BLACK>(cells, s, blackAttacks)];
            bPawns++;
            break;
        }
        case BKNIGHT:
            knightMobility -=
                bonusKnightMob[leaperMobility<BLACK>(cells, s, blackAttacks, knightOffsetsBlack)];
            bKnights++;
            break;
        case BBISHOP:
            bishopMobility -=
                bonusBishopMob[sliderMobility<BLACK>(cells, s, blackAttacks, diagonalOffsetsBlack)];
            bBishops++;
            break;
        case BROOK:
            bRooksOnFile[file(s)]++;
            if (rank(s) == 2) bRooks7th++;
            rookTerms -=
                bonusRookMob[sliderMobility<BLACK>(cells, s, blackAttacks, heavyOffsetsBlack)];
            bRooks++;
            break;
        case BQUEEN:
            queenMobility -=
                bonusQueenMob[sliderMobility<BLACK>(cells, s, blackAttacks, heavyOffsetsBlack) +
                              sliderMobility<BLACK>(cells, s, blackAttacks, diagonalOffsetsBlack)];
            bQueens++;
            break;
        case BKING: leaperMobility<BLACK>(cells, s, blackAttacks, kingOffsetsBlack); break;
        default: break;
        }
    }

    // Step 4: trivial draws. Neither side can mate with a lone minor piece,
    // so the score is exactly 0 and carries no tempo bonus.
    const int nW = board->nWhite, nB = board->nBlack;
    if ((nW == 1 && nB == 1) || (nW == 2 && nB == 1 && (wBishops == 1 || wKnights == 1)) ||
        (nW == 1 && nB == 2 && (bBishops == 1 || bKnights == 1))) {
        *terms = EvalTerms{};
        terms->trivialDraw = 1;
        return 0;
    }

    // Step 5: endgame flag, from the pieces left on each side.
    const int W = wKnights + wBishops + wRooks + wQueens;
    const int B = bKnights + bBishops + bRooks + bQueens;
    bool endgame;
    if (W > 3 || B > 3) endgame = wQueens == 0 && bQueens == 0 && wRooks == 0 && bRooks == 0;
    else if (wQueens > 0) endgame = bQueens == 0 && bRooks <= 1;
    else if (bQueens > 0) endgame = wRooks <= 1;
    else endgame = wPawns <= 5 || bPawns <= 5 || bRooks <= 1 || wRooks <= 1;

    // Step 6: material with a bonus for having more pieces. A game never
    // gives one side 16 or more pieces beyond the other, but a set-up
    // position can: the difference is capped at the table's last entry.
    i32 material = board->materialBalance;
    if (W > B) material += bonusMaterialImbalance[capAt(W - B, 15)];
    else material -= bonusMaterialImbalance[capAt(B - W, 15)];

    // Step 7: in the endgame the side with more pawns gains (a set-up
    // position may hold more than eight pawns a side: capped at the last
    // entry); in the middlegame rooks on the seventh count, inside the king
    // term.
    i32 seventhRank = 0;
    if (endgame) {
        if (wPawns > bPawns) pawnStructure += pawnBonusEndgame[capAt(wPawns - bPawns, 8)];
        else pawnStructure -= pawnBonusEndgame[capAt(bPawns - wPawns, 8)];
    } else {
        seventhRank = bonusRook7th[wRooks7th] - bonusRook7th[bRooks7th];
    }

    // Step 8: file pass. Pawn terms are taken once per file, for its front
    // or rear pawn.
    for (int f = 1; f <= 8; f++) {
        // Rooks on open and half-open files.
        if (wCnt[f] == 0 && wRooksOnFile[f] > 0)
            rookTerms += bCnt[f] > 0 ? bonusRookHalfOpenFile[wRooksOnFile[f]]
                                     : bonusRookOpenFile[wRooksOnFile[f]];
        if (bCnt[f] == 0 && bRooksOnFile[f] > 0)
            rookTerms -= wCnt[f] > 0 ? bonusRookHalfOpenFile[bRooksOnFile[f]]
                                     : bonusRookOpenFile[bRooksOnFile[f]];

        if (wCnt[f] > 0) {
            const int front = wFront[f], rear = wRear[f];
            // Passed: no black pawn level with or ahead of the front pawn on
            // this file or either neighbour. Edge files have one neighbour
            // only and never count.
            if (f > 1 && f < 8 && (bCnt[f - 1] == 0 || bRear[f - 1] < front) &&
                (bCnt[f] == 0 || bRear[f] < front) && (bCnt[f + 1] == 0 || bRear[f + 1] < front)) {
                pawnStructure += bonusPassedPawn[front];
                wPassed[f] = 1;
                if (wPassed[f - 1] == 1)
                    pawnStructure += bonusConnPassers[abs(front - wFront[f - 1])];
            }
            // Free pawn: an advanced front pawn whose path is empty gains by
            // how few of the squares ahead Black controls.
            if (front >= 5) {
                int count = 0;
                bool blocked = false;
                for (int r = front + 1; r <= 8; r++) {
                    const int sq = squareOf(f, r);
                    if (squares[sq] != EMPTY) {
                        blocked = true;
                        break;
                    }
                    if (blackAttacks[sq] > whiteAttacks[sq]) count++;
                }
                pawnStructure += bonusFreePawn[blocked ? 8 : count];
            }
            if (wCnt[f] > 1) pawnStructure += malusDoublePawn[wCnt[f]];
            if (wCnt[f - 1] == 0 && wCnt[f + 1] == 0) pawnStructure += malusIsolatedPawn[f];
            // Backward: the rear pawn's neighbours are missing or further up.
            int h = 0;
            if (f > 1) h += backwardStepWhite(wCnt[f - 1], wRear[f - 1], rear);
            if (f < 8) h += backwardStepWhite(wCnt[f + 1], wRear[f + 1], rear);
            if (h > 3 && (bCnt[f] == 0 || bRear[f] < rear)) h += 4;
            pawnStructure += malusBackwardPawn[h];
        }

        if (bCnt[f] > 0) {
            const int front = bFront[f], rear = bRear[f];
            if (f > 1 && f < 8 && (wCnt[f - 1] == 0 || wRear[f - 1] > front) &&
                (wCnt[f] == 0 || wRear[f] > front) && (wCnt[f + 1] == 0 || wRear[f + 1] > front)) {
                pawnStructure -= bonusPassedPawn[9 - front];
                bPassed[f] = 1;
                if (bPassed[f - 1] == 1)
                    pawnStructure -= bonusConnPassers[abs(front - bFront[f - 1])];
            }
            if (front <= 4) {
                int count = 0;
                bool blocked = false;
                for (int r = front - 1; r >= 1; r--) {
                    const int sq = squareOf(f, r);
                    if (squares[sq] != EMPTY) {
                        blocked = true;
                        break;
                    }
                    if (whiteAttacks[sq] > blackAttacks[sq]) count++;
                }
                pawnStructure -= bonusFreePawn[blocked ? 8 : count];
            }
            if (bCnt[f] > 1) pawnStructure -= malusDoublePawn[bCnt[f]];
            if (bCnt[f - 1] == 0 && bCnt[f + 1] == 0) pawnStructure -= malusIsolatedPawn[f];
            int h = 0;
            if (f > 1) h += backwardStepBlack(bCnt[f - 1], bRear[f - 1], rear);
            if (f < 8) h += backwardStepBlack(bCnt[f + 1], bRear[f + 1], rear);
            if (h > 3 && (wCnt[f] == 0 || rear < wRear[f])) h += 4;
            pawnStructure -= malusBackwardPawn[h];
        }
    }

    // Step 9: king term.
    i32 king;
    const int wk = board->wKingSquare, bk = board->bKingSquare;
    if (!endgame) {
        king = seventhRank;
        const int wCastled = kingHasCastledWhite(board);
        const int bCastled = kingHasCastledBlack(board);
        king += wCastled == 1   ? bonusCastledQueenSide
                : wCastled == 2 ? bonusCastledKingSide
                                : malusNotCastled;
        king -= bCastled == 1   ? bonusCastledQueenSide
                : bCastled == 2 ? bonusCastledKingSide
                                : malusNotCastled;
        king -= kingPressure(wk, blackAttacks);
        king += kingPressure(bk, whiteAttacks);
        if (wCastled != 0) king += bonusPawnShelter[shelterCountWhite(board)];
        if (bCastled != 0) king -= bonusPawnShelter[shelterCountBlack(board)];
        // Without a queen to exploit it, king safety is worth a third.
        // Integer division truncates toward zero on both signs.
        if ((king > 0 && wQueens == 0) || (king < 0 && bQueens == 0)) king /= 3;
    } else {
        // Endgame: a central king is active; the side with pieces against a
        // bare army brings its king toward the other one.
        king = weightKingCentre * (advancedCentre[wk] - advancedCentre[bk]) -
               weightKingBorder * (border[wk] - border[bk]);
        if (W == 0 && B > 0) king += malusKingKing[dist(wk, bk)];
        else if (B == 0 && W > 0) king -= malusKingKing[dist(wk, bk)];
    }

    // Step 10: passed-pawn races decide endgames.
    if (endgame) pawnAdvancement *= 2;

    terms->material = material;
    terms->pawnStructure = pawnStructure;
    terms->knightMobility = knightMobility;
    terms->bishopMobility = bishopMobility;
    terms->rookTerms = rookTerms;
    terms->queenMobility = queenMobility;
    terms->pawnAdvancement = pawnAdvancement;
    terms->kingTerm = king;
    terms->endgame = endgame ? 1 : 0;
    terms->trivialDraw = 0;

    // Step 11: the sum, White's view; eval turns it to the side to move.
    return material + pawnStructure + knightMobility + bishopMobility + rookTerms + queenMobility +
           pawnAdvancement + king;
}

}   // namespace

int evalMobPawnW(const Board* board, int square, u8* attacks) {
    int mobility = pawnCaptureSquare<WHITE>(board, square + 17, attacks) +
                   pawnCaptureSquare<WHITE>(board, square + 15, attacks);
    if (onBoard(square + 16) && board->squares[square + 16] == EMPTY) mobility++;
    return mobility;
}

// A black pawn on a2 looks at square - 17 = -1: the on-board test in
// pawnCaptureSquare keeps that read inside the array.
int evalMobPawnB(const Board* board, int square, u8* attacks) {
    int mobility = pawnCaptureSquare<BLACK>(board, square - 15, attacks) +
                   pawnCaptureSquare<BLACK>(board, square - 17, attacks);
    if (onBoard(square - 16) && board->squares[square - 16] == EMPTY) mobility++;
    return mobility;
}

int evalMobKnightW(const Board* board, int square, u8* attacks) {
    return mobilityLeaper<WHITE>(board, square, attacks, knightOffsetsWhite);
}

int evalMobKnightB(const Board* board, int square, u8* attacks) {
    return mobilityLeaper<BLACK>(board, square, attacks, knightOffsetsBlack);
}

int evalMobBishopW(const Board* board, int square, u8* attacks) {
    return mobilitySlider<WHITE>(board, square, attacks, diagonalOffsetsWhite);
}

int evalMobBishopB(const Board* board, int square, u8* attacks) {
    return mobilitySlider<BLACK>(board, square, attacks, diagonalOffsetsBlack);
}

int evalMobRookW(const Board* board, int square, u8* attacks) {
    return mobilitySlider<WHITE>(board, square, attacks, heavyOffsetsWhite);
}

int evalMobRookB(const Board* board, int square, u8* attacks) {
    return mobilitySlider<BLACK>(board, square, attacks, heavyOffsetsBlack);
}

int evalMobQueenW(const Board* board, int square, u8* attacks) {
    return mobilitySlider<WHITE>(board, square, attacks, heavyOffsetsWhite) +
           mobilitySlider<WHITE>(board, square, attacks, diagonalOffsetsWhite);
}

int evalMobQueenB(const Board* board, int square, u8* attacks) {
    return mobilitySlider<BLACK>(board, square, attacks, heavyOffsetsBlack) +
           mobilitySlider<BLACK>(board, square, attacks, diagonalOffsetsBlack);
}

void evalMobKingW(const Board* board, int square, u8* attacks) {
    mobilityLeaper<WHITE>(board, square, attacks, kingOffsetsWhite);
}

void evalMobKingB(const Board* board, int square, u8* attacks) {
    mobilityLeaper<BLACK>(board, square, attacks, kingOffsetsBlack);
}

int kingHasCastledWhite(const Board* board) {
    const i32 zone = castlingFlagsWhite[board->wKingSquare];
    if (zone == 1 && board->squares[squareOf(1, 1)] != WROOK) return 1;
    if (zone == 2 && board->squares[squareOf(8, 1)] != WROOK) return 2;
    return 0;
}

int kingHasCastledBlack(const Board* board) {
    const i32 zone = castlingFlagsBlack[board->bKingSquare];
    if (zone == 1 && board->squares[squareOf(1, 8)] != BROOK) return 1;
    if (zone == 2 && board->squares[squareOf(8, 8)] != BROOK) return 2;
    return 0;
}

// The bishop itself must stand on the square: any other square answers 0.
int bishopIsTrappedWhite(const Board* board, int square) {
    const u8* sq = board->squares;
    if (square == squareOf(8, 7) && sq[square] == WBISHOP && sq[squareOf(7, 6)] == BPAWN) return 1;
    if (square == squareOf(1, 7) && sq[square] == WBISHOP && sq[squareOf(2, 6)] == BPAWN) return 1;
    return 0;
}

int bishopIsTrappedBlack(const Board* board, int square) {
    const u8* sq = board->squares;
    if (square == squareOf(8, 2) && sq[square] == BBISHOP && sq[squareOf(7, 3)] == WPAWN) return 1;
    if (square == squareOf(1, 2) && sq[square] == BBISHOP && sq[squareOf(2, 3)] == WPAWN) return 1;
    return 0;
}

i32 eval(const Board* board, u8* flag) {
    *flag = 0;
    EvalTerms terms;
    const i32 white = scorePosition(board, &terms);
    if (terms.trivialDraw) return 0;
    // Step 12: the side to move's view, with the tempo bonus.
    return board->sideToMove == WHITE ? white + bonusTempo : bonusTempo - white;
}

i32 evalTerms(const Board* board, EvalTerms* terms) { return scorePosition(board, terms); }

// ---------------------------------------------------------------------------
// Command-line tool

namespace {

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() &&
               (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            i++;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
               line[i] != '\n')
            i++;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool castlingFieldIsSound(const std::string& field) {
    if (field == "-") return true;
    if (field.empty() || field.size() > 4) return false;
    for (size_t i = 0; i < field.size(); i++) {
        if (std::string("KQkq").find(field[i]) == std::string::npos) return false;
        if (field.find(field[i]) != i) return false;
    }
    return true;
}

bool epFieldIsSound(const std::string& field) {
    if (field == "-") return true;
    return field.size() == 2 && field[0] >= 'a' && field[0] <= 'h' &&
           (field[1] == '3' || field[1] == '6');
}

// Sets the board up from the first four fields of a FEN or EPD line, with
// keys. A line with fewer than four fields, a side other than w or b, a
// castling or en passant field that is not FEN syntax, or a placement that
// setupFen refuses is not a position: false, board unchanged. Clocks, EPD
// operations and anything else after the fourth field are ignored.
bool setupFromLine(Board* board, const std::string& line) {
    const std::vector<std::string> fields = splitFields(line);
    if (fields.size() < 4) return false;
    if (fields[1] != "w" && fields[1] != "b") return false;
    if (!castlingFieldIsSound(fields[2]) || !epFieldIsSound(fields[3])) return false;
    const std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
    if (!setupFen(board, fen.c_str())) return false;
    getHashkey(board);
    return true;
}

int evalLines(Board* board) {
    std::string line;
    u8 flag = 0;
    while (std::getline(std::cin, line)) {
        if (setupFromLine(board, line)) printf("%d\n", eval(board, &flag));
        else printf("error\n");
        fflush(stdout);
    }
    return 0;
}

int printTerms(Board* board, int argc, char** argv) {
    std::string line = initialPosition;
    if (argc > 3) {
        line.clear();
        for (int i = 3; i < argc; i++) line += std::string(i > 3 ? " " : "") + argv[i];
    }
    if (!setupFromLine(board, line)) {
        fprintf(stderr, "invalid FEN: %s\n", line.c_str());
        return 2;
    }
    EvalTerms t;
    const i32 white = evalTerms(board, &t);
    u8 flag = 0;
    printf("material: %d\n", t.material);
    printf("pawn structure: %d\n", t.pawnStructure);
    printf("knight mobility: %d\n", t.knightMobility);
    printf("bishop mobility: %d\n", t.bishopMobility);
    printf("rook terms: %d\n", t.rookTerms);
    printf("queen mobility: %d\n", t.queenMobility);
    printf("pawn advancement: %d\n", t.pawnAdvancement);
    printf("king term: %d\n", t.kingTerm);
    printf("endgame: %d\n", t.endgame);
    printf("trivial draw: %d\n", t.trivialDraw);
    printf("total: %d\n", white);
    printf("eval: %d\n", eval(board, &flag));
    return 0;
}

// Positions of the speed measurement: openings, middlegames with both kings
// castled or not, endgames with and without pieces, promotions.
constexpr const char* benchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/2NP1N2/PPP1QPPP/R4RK1 w - - 0 10",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "2kr3r/ppp2ppp/2n1b3/2b1p3/4P3/2N1BN2/PPP2PPP/2KR1B1R b - - 4 11",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/5pk1/6p1/8/3R4/6P1/5PK1/r7 w - - 0 40",
    "8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/6K1 w - - 0 1",
    "8/3k4/8/8/3PK3/8/8/8 w - - 0 1",
    "4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1",
    "3r2k1/1p3ppp/p1q5/8/8/1P3Q2/P4PPP/3R2K1 b - - 0 25",
    "8/1P6/8/8/8/8/k5p1/4K3 w - - 0 1",
    "r1b1k2r/ppq2ppp/2n1pn2/2bp4/8/2NBPN2/PPQ2PPP/R1B2RK1 w kq - 0 9",
};

// Evaluates every bench position and every position one legal move away,
// reps times each, and prints the rate. The calls go through a volatile
// function pointer so that none is inlined or hoisted out of the loop, as in
// the search, which calls eval from another module.
int benchEval(Board* board, int argc, char** argv) {
    int reps = 1000;
    if (argc > 3 && !parseNumber(argv[3], 1, 1000000, &reps)) {
        fprintf(stderr, "usage: quillantor eval --bench [REPS] (REPS 1..1000000)\n");
        return 2;
    }
    i32 (*volatile evalFn)(const Board*, u8*) = eval;
    u64 positions = 0, evaluations = 0;
    i64 checksum = 0;
    u8 flag = 0;
    std::chrono::steady_clock::duration spent{};
    auto measure = [&]() {
        const auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < reps; r++) checksum += evalFn(board, &flag);
        spent += std::chrono::steady_clock::now() - start;
        positions++;
        evaluations += static_cast<u64>(reps);
    };
    for (const char* fen : benchPositions) {
        if (!setupFen(board, fen)) {
            fprintf(stderr, "bench position refused: %s\n", fen);
            return 2;
        }
        getHashkey(board);
        measure();
        MoveList* list = &board->moveLists[0];
        list->count = static_cast<u8>(generateMoves(board, list, 1));
        for (u32 i = 0; i < list->count; i++) {
            makeMove(board, &list->moves[i]);
            measure();
            unmakeMove(board, &list->moves[i]);
        }
    }
    // The checksum signs the scores: it changes exactly when an evaluation does.
    const double seconds = std::chrono::duration<double>(spent).count();
    printf("Positions: %llu\n", static_cast<unsigned long long>(positions));
    printf("Evaluations: %llu\n", static_cast<unsigned long long>(evaluations));
    printf("Checksum: %lld\n", static_cast<long long>(checksum / reps));
    printf("Time: %.0f ms\n", seconds * 1000.0);
    printf("Evals/sec: %.0f\n", seconds > 0 ? static_cast<double>(evaluations) / seconds : 0.0);
    return 0;
}

}   // namespace

int evalTool(Board* board, int argc, char** argv) {
    if (argc <= 2) return evalLines(board);
    const std::string option = argv[2];
    if (option == "--terms") return printTerms(board, argc, argv);
    if (option == "--bench") return benchEval(board, argc, argv);
    fprintf(
        stderr,
        "usage: quillantor eval [--terms [FEN] | --bench [REPS]] (FEN/EPD lines on standard input)\n");
    return 2;
}
