#include "see.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board.h"
#include "movegen.h"

i32 seeMaterial = 0;

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

// The eight lines through the target: White's diagonal order, then White's
// straight order. Black's orders name the same lines differently.
constexpr int lineSteps[8] = {15, 17, -15, -17, 1, -1, 16, -16};
constexpr int blackDiagonalLines[4] = {2, 3, 0, 1};   // -15, -17, 15, 17
constexpr int blackStraightLines[4] = {4, 5, 7, 6};   // 1, -1, -16, 16

// Line of a square difference (from - target) in the 0x88 layout, where a
// difference names its direction uniquely; -1 for none. Index diff + 119.
struct LineTable {
    i8 line[239];
    u8 kingStep[239];
    constexpr LineTable() : line(), kingStep() {
        for (int i = 0; i < 239; i++) {
            line[i] = -1;
            kingStep[i] = 0;
        }
        for (int l = 0; l < 8; l++) {
            for (int k = 1; k <= 7; k++) line[k * lineSteps[l] + 119] = static_cast<i8>(l);
            kingStep[lineSteps[l] + 119] = 1;
        }
    }
};
constexpr LineTable lineTable;
static_assert(lineTable.line[119 + 34] == 1 && lineTable.line[119 - 112] == 7);
static_assert(lineTable.line[119 + 33] == -1 && lineTable.kingStep[119 + 17] == 1 &&
              lineTable.kingStep[119 + 2] == 0);

// The squares along each line from a square, as occupancy bits, and the
// first off-board cell past the last of them (where a walk along an empty
// line stops). Lines with a positive step run towards higher bits.
struct LineRays {
    u64 ray[8][64];
    i16 edge[8][64];
    constexpr LineRays() : ray(), edge() {
        for (int l = 0; l < 8; l++) {
            for (int i = 0; i < 64; i++) {
                int t = square88(i) + lineSteps[l];
                u64 bits = 0;
                for (; onBoard(t); t += lineSteps[l]) bits |= u64{1} << index64(t);
                ray[l][i] = bits;
                edge[l][i] = static_cast<i16>(t);
            }
        }
    }
};
constexpr LineRays lineRays;
static_assert(lineRays.ray[4][0] == 0xfe && lineRays.edge[4][0] == 8 && lineRays.edge[3][0] == -17);
static_assert(lineRays.ray[6][7] == 0x8080808080808000 && lineRays.edge[0][0] == 15);

// The first occupied square along line l from target, or the first cell off
// the board when there is none: what a walk along the line finds.
inline int firstOnLine(u64 occupied, int l, int target64) {
    const u64 hits = occupied & lineRays.ray[l][target64];
    if (hits == 0) return lineRays.edge[l][target64];
    return square88(lineSteps[l] > 0 ? __builtin_ctzll(hits) : 63 - __builtin_clzll(hits));
}

// The exchange's own board: the squares with a margin of off-board cells
// around them, so that no step from the target needs an on-board test (a
// walk stops at the first cell that is not empty, and off-board cells hold
// 0); the first occupied cell on each line through the target, kept as
// captures open the lines; the knights next to the target, listed per side
// when first needed; and each side's king if it stands next to the target.
// During an exchange pieces only leave their squares for the target.
constexpr int EXCHANGE_MARGIN = 34;
constexpr u8 NOT_LISTED = 255;
struct ExchangeBoard {
    u8 cells[EXCHANGE_MARGIN + 128 + EXCHANGE_MARGIN];
    u8* s;
    u64 occupied;   // the squares of s that hold a piece
    int front[8];
    u8 knights[2][8];
    u8 knightCount[2];
    u8 king[2];   // NO_SQUARE when the side's king is not next to the target
};

template <int Side>
void listKnights(ExchangeBoard* x, int target) {
    const i32* offsets = Side == WHITE ? knightOffsetsWhite : knightOffsetsBlack;
    const u8 knight = Side == WHITE ? WKNIGHT : BKNIGHT;
    u8 n = 0;
    for (int i = 0; i < 8; i++)
        if (x->s[target + offsets[i]] == knight)
            x->knights[Side][n++] = static_cast<u8>(target + offsets[i]);
    x->knightCount[Side] = n;
}

template <int Side>
void collectAttackers(ExchangeBoard* x, int target, Attackers* out) {
    const bool white = Side == WHITE;
    const u8 pawn = white ? WPAWN : BPAWN, knight = white ? WKNIGHT : BKNIGHT;
    const u8 bishop = white ? WBISHOP : BBISHOP, rook = white ? WROOK : BROOK;
    const u8 queen = white ? WQUEEN : BQUEEN, king = white ? WKING : BKING;
    const u8* s = x->s;

    // Straight into the exchange order: by value class, and within a class
    // in generation order, which puts knights before bishops and the queens
    // on diagonals before those on lines.
    out->count = 0;
    const bool promotes = white ? target >= 112 : target < 8;
    const int pawnA = white ? target - 15 : target + 17;
    const int pawnB = white ? target - 17 : target + 15;
    for (const int f : {pawnA, pawnB}) {
        if (s[f] != pawn) continue;
        if (promotes) {
            for (u8 k = 0; k < 4; k++) addAttacker(out, f, static_cast<u8>(queen - k));
        } else {
            addAttacker(out, f, EMPTY);
        }
    }
    if (x->knightCount[Side] == NOT_LISTED) listKnights<Side>(x, target);
    for (u32 i = 0; i < x->knightCount[Side]; i++)
        if (s[x->knights[Side][i]] == knight) addAttacker(out, x->knights[Side][i], EMPTY);
    int diagonal[4], straight[4];
    for (int i = 0; i < 4; i++) {
        diagonal[i] = x->front[white ? i : blackDiagonalLines[i]];
        straight[i] = x->front[white ? 4 + i : blackStraightLines[i]];
    }
    for (const int t : diagonal)
        if (s[t] == bishop) addAttacker(out, t, EMPTY);
    for (const int t : straight)
        if (s[t] == rook) addAttacker(out, t, EMPTY);
    for (const int t : diagonal)
        if (s[t] == queen) addAttacker(out, t, EMPTY);
    for (const int t : straight)
        if (s[t] == queen) addAttacker(out, t, EMPTY);
    if (x->king[Side] != NO_SQUARE && s[x->king[Side]] == king)
        addAttacker(out, x->king[Side], EMPTY);
}

// The exchange on target with side to move, as seeAlphaBeta plays it on the
// board: material is Black's view, the window fail-hard, a king on target
// ends the exchange. *lastVictim receives the piece of every capture made.
i32 exchange(ExchangeBoard* x, int side, i32 alpha, i32 beta, int target, i32* material,
             u8* lastVictim, bool* captured) {
    const i32 standPat = side == WHITE ? -*material : *material;
    if (standPat >= beta) return beta;
    i32 best = alpha > standPat ? alpha : standPat;

    Attackers a;
    if (side == WHITE) collectAttackers<WHITE>(x, target, &a);
    else collectAttackers<BLACK>(x, target, &a);
    if (a.count == 0) return best;
    u8* s = x->s;
    const u8 victim = s[target];
    if (victim == WKING || victim == BKING) return INFINITE_SCORE;

    for (u32 k = 0; k < a.count; k++) {
        const int from = a.from[k];
        const u8 mover = s[from];
        const u8 promotion = a.promotion[k];
        s[from] = EMPTY;
        s[target] = promotion != EMPTY ? promotion : mover;
        // A capture along a line came from that line's first piece: the
        // line now opens to the piece behind it.
        // NOLINTNEXTLINE(bugprone-signed-char-misuse): the table's -1 is "no line"
        const int line = lineTable.line[from - target + 119];
        int front = 0;
        const u64 occupied = x->occupied;
        x->occupied &= ~squareBit(from);
        if (line >= 0) {
            front = x->front[line];
            x->front[line] = firstOnLine(x->occupied, line, index64(target));
        }
        *lastVictim = victim;
        *captured = true;
        const i32 change = pieceValues[victim] - pieceValues[promotion];
        *material += change;
        const i32 v = -exchange(x, side ^ 1, -beta, -best, target, material, lastVictim, captured);
        *material -= change;
        if (line >= 0) x->front[line] = front;
        x->occupied = occupied;
        s[target] = victim;
        s[from] = mover;
        if (v >= beta) return beta;
        if (v > best) best = v;
    }
    return best;
}

// Everything but the squares, once the move has been played on them.
void prepareExchange(ExchangeBoard* x, const Board* board, int target, u64 occupied) {
    const u8* s = x->s;
    x->occupied = occupied;
    const int target64 = index64(target);
    for (int l = 0; l < 8; l++) x->front[l] = firstOnLine(occupied, l, target64);
    x->knightCount[WHITE] = x->knightCount[BLACK] = NOT_LISTED;
    const int wk = board->wKingSquare, bk = board->bKingSquare;
    x->king[WHITE] =
        lineTable.kingStep[wk - target + 119] && s[wk] == WKING ? static_cast<u8>(wk) : NO_SQUARE;
    x->king[BLACK] =
        lineTable.kingStep[bk - target + 119] && s[bk] == BKING ? static_cast<u8>(bk) : NO_SQUARE;
}

}   // namespace

i32 see(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    const int mover = board->sideToMove;
    ExchangeBoard x;
    memset(x.cells, OFFBOARD, EXCHANGE_MARGIN);
    memset(x.cells + EXCHANGE_MARGIN + 128, OFFBOARD, EXCHANGE_MARGIN);
    x.s = x.cells + EXCHANGE_MARGIN;
    u8* s = x.s;
    u64 occupied;
    if (move->flags & (MF_CASTLE | MF_ENPASSANT | MF_PROMOTION)) {
        // Rare moves take the board's own make and unmake, traces and all.
        makeMove(board, move);
        memcpy(s, board->squares, 128);
        occupied = board->occupied;
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
        memcpy(s, board->squares, 128);
        s[to] = s[from];
        s[from] = EMPTY;
        occupied = (board->occupied & ~squareBit(from)) | squareBit(to);
    }
    // The promotion of the move itself is not counted: only its capture.
    i32 material = pieceValues[move->captured];
    u8 lastVictim = EMPTY;
    bool captured = false;
    prepareExchange(&x, board, to, occupied);
    const i32 r = exchange(&x, mover ^ 1, -std::abs(material), INFINITE_SCORE, to, &material,
                           &lastVictim, &captured);
    if (captured) {
        board->lastCaptureSquare = static_cast<u8>(to);
        board->lastCapturedPiece = lastVictim;
    }
    seeMaterial = pieceValues[move->captured];
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
