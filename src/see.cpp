#include "see.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "attack.h"
#include "board.h"
#include "movegen.h"
#include "utils.h"

namespace {

// Attackers of target on a bare square array, in the order the exchange
// tries them: cheapest first by value / 100 (pawn, knight and bishop,
// rook, queen, king), equal values in generation order (pawns, knights,
// diagonals, lines, king), a capture that promotes fanned out into queen,
// rook, bishop, knight. The order decides which capture the search makes
// last, and so what it leaves in the capture memory.
struct Attackers {
    u8 from[40];
    u8 promotion[40];
    u32 count;
};

inline void addAttacker(Attackers* a, int from, u8 promotion) {
    a->from[a->count] = static_cast<u8>(from);
    a->promotion[a->count] = promotion;
    a->count++;
}

// The exchange reads the board's own squares and piece bits and never
// writes them: during an exchange pieces only leave their squares for the
// target, so a square other than the target holds what the board says as
// long as its bit is still in occupied. The target's piece is handed down
// the exchange as the victim. Each side's king takes part only if it stands
// next to the target (NO_SQUARE otherwise).
struct ExchangeBoard {
    const u8* s;
    const u64* bits;
    u64 occupied;   // the squares that still hold their piece
    u8 king[2];
};

// The first piece on each line through the target among candidates (all on
// those lines): front[l] gets its square, or stays NO_SQUARE.
inline void frontPieces(u64 candidates, u64 occupied, int target, u8* front) {
    const int t64 = index64(target);
    while (candidates) {
        const int f64 = __builtin_ctzll(candidates);
        candidates &= candidates - 1;
        const int f = square88(f64);
        // NOLINTNEXTLINE(bugprone-signed-char-misuse): every candidate is on a line
        const int l = bitTables.line[f - target + 119];
        if ((bitsBetween(l, t64, f64) & occupied) == 0) front[l] = static_cast<u8>(f);
    }
}

template <int Side>
void collectAttackers(const ExchangeBoard* x, int target, Attackers* out) {
    using T = SideTraits<Side>;
    const u8 pawn = T::base, knight = T::base + 1, bishop = T::base + 2, rook = T::base + 3,
             queen = T::base + 4;
    const u8* s = x->s;
    const u64* bits = x->bits;
    const u64 occupied = x->occupied;
    const int t64 = index64(target);

    // Straight into the exchange order: by value class, and within a class
    // in generation order, which puts knights before bishops and the queens
    // on diagonals before those on lines.
    out->count = 0;
    // The two pawn squares in generation order are the higher bit first for
    // either side (White: target - 15, target - 17; Black: + 17, + 15).
    u64 pawns = bitTables.pawnAttacks[T::enemy][t64] & bits[pawn] & occupied;
    if (pawns) {
        const bool promotes = rank(target) == T::promotionRank;
        while (pawns) {
            const int f64 = 63 - __builtin_clzll(pawns);
            pawns ^= u64{1} << f64;
            const int f = square88(f64);
            if (promotes) {
                for (u8 k = 0; k < 4; k++) addAttacker(out, f, static_cast<u8>(queen - k));
            } else {
                addAttacker(out, f, EMPTY);
            }
        }
    }
    const u64 knights = bitTables.knight[t64] & bits[knight] & occupied;
    if (knights) {
        if ((knights & (knights - 1)) == 0) {
            addAttacker(out, square88(__builtin_ctzll(knights)), EMPTY);
        } else {
            for (const i32* d = T::knights; *d; d++) {
                const int f = target + *d;
                if (onBoard(f) && (knights & squareBit(f))) addAttacker(out, f, EMPTY);
            }
        }
    }
    const u64 diagonal = (bits[bishop] | bits[queen]) & occupied & bitTables.diagonal[t64];
    const u64 straight = (bits[rook] | bits[queen]) & occupied & bitTables.straight[t64];
    if (diagonal | straight) {
        u8 front[8];
        for (u8& f : front) f = NO_SQUARE;
        frontPieces(diagonal, occupied, target, front);
        frontPieces(straight, occupied, target, front);
        for (const int l : T::diagonalLines)
            if (front[l] != NO_SQUARE && s[front[l]] == bishop) addAttacker(out, front[l], EMPTY);
        for (const int l : T::straightLines)
            if (front[l] != NO_SQUARE && s[front[l]] == rook) addAttacker(out, front[l], EMPTY);
        for (const int l : T::diagonalLines)
            if (front[l] != NO_SQUARE && s[front[l]] == queen) addAttacker(out, front[l], EMPTY);
        for (const int l : T::straightLines)
            if (front[l] != NO_SQUARE && s[front[l]] == queen) addAttacker(out, front[l], EMPTY);
    }
    const int k = x->king[Side];
    if (k != NO_SQUARE && (occupied & squareBit(k))) addAttacker(out, k, EMPTY);
}

// The exchange on target with Side to move, as seeAlphaBeta plays it on the
// board: material is Black's view, the window fail-hard, a king on target
// ends the exchange. *lastVictim receives the piece of every capture made.
template <int Side>
i32 exchange(ExchangeBoard* x, i32 alpha, i32 beta, int target, u8 victim, i32* material,
             u8* lastVictim, bool* captured) {
    using T = SideTraits<Side>;
    const i32 standPat = T::blackViewSign * *material;
    if (standPat >= beta) return beta;
    i32 best = alpha > standPat ? alpha : standPat;

    Attackers a;
    collectAttackers<Side>(x, target, &a);
    if (a.count == 0) return best;
    if (victim == WKING || victim == BKING) return INFINITE_SCORE;

    const u64 occupied = x->occupied;
    for (u32 k = 0; k < a.count; k++) {
        const int from = a.from[k];
        const u8 promotion = a.promotion[k];
        const u8 arriving = promotion != EMPTY ? promotion : x->s[from];
        x->occupied = occupied & ~squareBit(from);
        *lastVictim = victim;
        *captured = true;
        const i32 change = pieceValues[victim] - pieceValues[promotion];
        *material += change;
        // A reply that would stand pat at once (the capture gains Side no
        // more than best) returns -best: its value is known without the call.
        const i32 v = T::blackViewSign * *material <= best
                          ? best
                          : -exchange<T::enemy>(x, -beta, -best, target, arriving, material,
                                                lastVictim, captured);
        *material -= change;
        x->occupied = occupied;
        if (v >= beta) return beta;
        if (v > best) best = v;
    }
    return best;
}

// The kings that stand next to the target on the board after the move, by
// the king squares before it (a king that has moved is not found there).
void findKings(ExchangeBoard* x, int target, int wk, int bk) {
    x->king[WHITE] =
        bitTables.king[index64(target)] & squareBit(wk) & x->occupied && x->s[wk] == WKING
            ? static_cast<u8>(wk)
            : NO_SQUARE;
    x->king[BLACK] =
        bitTables.king[index64(target)] & squareBit(bk) & x->occupied && x->s[bk] == BKING
            ? static_cast<u8>(bk)
            : NO_SQUARE;
}

// The exchange with side to move, in the window (alpha, INFINITE_SCORE).
i32 exchangeFor(int side, ExchangeBoard* x, i32 alpha, int target, u8 victim, i32* material,
                u8* lastVictim, bool* captured) {
    return side == WHITE ? exchange<WHITE>(x, alpha, INFINITE_SCORE, target, victim, material,
                                           lastVictim, captured)
                         : exchange<BLACK>(x, alpha, INFINITE_SCORE, target, victim, material,
                                           lastVictim, captured);
}

}   // namespace

i32 see(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    const int mover = board->sideToMove;
    const int wk = board->wKingSquare, bk = board->bKingSquare;
    // The promotion of the move itself is not counted: only its capture.
    i32 material = pieceValues[move->captured];
    u8 lastVictim = EMPTY;
    bool captured = false;
    ExchangeBoard x;
    x.s = board->squares;
    x.bits = board->pieceBits;
    i32 r;
    if (move->flags & (MF_CASTLE | MF_ENPASSANT | MF_PROMOTION)) {
        // Rare moves take the board's own make and unmake, traces and all;
        // the exchange reads the board in between.
        makeMove(board, move);
        x.occupied = board->occupied;
        findKings(&x, to, wk, bk);
        r = exchangeFor(mover ^ 1, &x, -std::abs(material), to, board->squares[to], &material,
                        &lastVictim, &captured);
        unmakeMove(board, move);
    } else {
        // What makeMove and unmakeMove would leave behind: the move's undo
        // fields, the capture memory, the stale index on a quiet move's
        // destination and the key slot one past gamePly.
        move->oldCastling = static_cast<u8>(board->castlingStatus);
        move->oldEpSquare = board->epSquare;
        if (move->flags & MF_CAPTURE) {
            move->capturedIndex = board->pieceIndex[to];
            board->lastCaptureSquare = static_cast<u8>(to);
            board->lastCapturedPiece = move->captured;
        } else {
            board->pieceIndex[to] = board->pieceIndex[from];
            board->lastCaptureSquare = NO_SQUARE;
            board->lastCapturedPiece = EMPTY;
        }
        board->hashHistory[board->gamePly + 1] = board->hashKey;
        x.occupied = (board->occupied & ~squareBit(from)) | squareBit(to);
        findKings(&x, to, wk, bk);
        r = exchangeFor(mover ^ 1, &x, -std::abs(material), to, board->squares[from], &material,
                        &lastVictim, &captured);
    }
    if (captured) {
        board->lastCaptureSquare = static_cast<u8>(to);
        board->lastCapturedPiece = lastVictim;
    }
    return -r;
}

void seeAssignScoreMovelist(Board*, MoveList* list) {
    for (u32 i = 0; i < list->count; i++) {
        list->picked[i] = 0;
        const Move& m = list->moves[i];
        // Every move hits the same victim: the cheapest attacker goes first.
        if (m.flags & MF_CAPTURE)
            list->scores[i] =
                std::abs(pieceValues[m.captured]) - std::abs(pieceValues[m.piece]) / 100;
    }
}

i32 seeAlphaBeta(Board* board, i32 alpha, i32 beta, int target, i32* material) {
    // Standing pat: either side may stop capturing whenever that suits it.
    const i32 standPat = board->sideToMove == WHITE ? -*material : *material;
    if (standPat >= beta) return beta;
    i32 best = alpha > standPat ? alpha : standPat;

    // A list per exchange step on the stack: an exchange has a step per
    // piece at the most.
    MoveList captures;
    MoveList* list = &captures;
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
        *material += pieceValues[m.captured] - pieceValues[m.promotion];
        const i32 v = -seeAlphaBeta(board, -beta, -best, target, material);
        unmakeMove(board, &m);
        *material += pieceValues[m.promotion] - pieceValues[m.captured];
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
    using T = SideTraits<Side>;
    const u8 pawn = T::base, knight = T::base + 1, bishop = T::base + 2, rook = T::base + 3,
             queen = T::base + 4, king = T::king;
    const i32* knights = T::knights;
    const i32* diagonals = T::diagonals;
    const i32* heavies = T::heavies;
    const i32* kings = T::kings;
    const u8* s = board->squares;
    u32 count = 0;

    // The pawns that take on the target stand one capture step behind it.
    const int pawnA = target - T::capB;
    const int pawnB = target - T::capA;
    if (onBoard(pawnA) && s[pawnA] == pawn) addMoveSimple(board, list, &count, pawnA, target, 0);
    if (onBoard(pawnB) && s[pawnB] == pawn) addMoveSimple(board, list, &count, pawnB, target, 0);
    for (const i32* d = knights; *d; d++) {
        const int t = target + *d;
        if (onBoard(t) && s[t] == knight) addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = diagonals; *d; d++) {
        int t = target + *d;
        while (onBoard(t) && s[t] == EMPTY) t += *d;
        if (onBoard(t) && (s[t] == bishop || s[t] == queen))
            addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = heavies; *d; d++) {
        int t = target + *d;
        while (onBoard(t) && s[t] == EMPTY) t += *d;
        if (onBoard(t) && (s[t] == rook || s[t] == queen))
            addMoveSimple(board, list, &count, t, target, 0);
    }
    for (const i32* d = kings; *d; d++) {
        const int t = target + *d;
        if (onBoard(t) && s[t] == king) addMoveSimple(board, list, &count, t, target, 0);
    }
    return count;
}

}   // namespace

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
