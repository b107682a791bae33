#include "eval.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board.h"
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
