#include "movegen.h"

#include <cctype>
#include <cstring>
#include <memory>

#include "attack.h"
#include "chess960.h"
#include "board.h"
#include "legality.h"
#include "utils.h"

namespace {

// In check, a move of a piece other than the king (en passant aside)
// answers the check only by taking the one checker or by stepping between it
// and the king; any other move leaves the check standing.
inline bool answersCheck(const Move* m, const KingContext* king) {
    if (king->checkers != 1) return false;
    if (m->to == king->checkerSquare) return true;
    if (king->checkerStep != 0 && attackStep(king->square, m->to) == king->checkerStep)
        return dist(king->square, m->to) < dist(king->square, king->checkerSquare);
    return false;
}

// A move of a piece other than the king, en passant aside, with the king in
// check. Out of line, so that the generators inline the common case.
[[gnu::noinline]] int isLegalEvasion(Board* board, Move* m, const KingContext* king) {
    if (answersCheck(m, king)) return isLegalSimple(board, m);
    legalityTraces(board, m);
    return 0;
}

// When the king is not attacked, a move of another piece (en passant aside)
// can only expose the king by leaving a line between the king and an enemy
// slider, so the verdict needs no make and unmake. The piece shields the
// king when nothing stands between them on a line; only an enemy slider of
// the line's kind first behind it pins it, and a pinned piece may still move
// along the line (up to and onto the pinner).
inline int pinVerdict(const Board* board, const Move* m, const KingContext* king) {
    // NOLINTNEXTLINE(bugprone-signed-char-misuse): the table's -1 is "no line"
    const int l = bitTables.line[m->from - king->square + 119];
    if (l < 0) return 1;
    const u64 occupied = board->occupied;
    const int k64 = index64(king->square), from64 = index64(m->from);
    if (bitsBetween(l, k64, from64) & occupied) return 1;
    const u64 behind = occupied & bitTables.ray[l][from64];
    if (behind == 0) return 1;
    const u8 c = board->squares[square88(nearestOnLine(behind, l))];
    const u8 enemyBase = board->sideToMove == WHITE ? BPAWN : WPAWN;
    const bool pins = c == enemyBase + 4 || c == enemyBase + (l < 4 ? 2 : 3);
    return pins && attackStep(king->square, m->to) != lineSteps[l] ? 0 : 1;
}

// Same verdict and traces as isLegalSimple. King moves and en passant take
// the full test; the other moves are decided without being made.
[[gnu::always_inline]] inline int isLegalWith(Board* board, Move* m, const KingContext* king) {
    if (king == nullptr || m->piece == WKING || m->piece == BKING || (m->flags & MF_ENPASSANT))
        return isLegalSimple(board, m);
    if (king->attacked) return isLegalEvasion(board, m, king);
    const int legal = pinVerdict(board, m, king);
    legalityTraces(board, m);
    return legal;
}

// isLegalWith's verdict for a quiet move that is neither castling nor a
// promotion, without its traces.
inline int quietVerdict(const Board* board, const Move* m, const KingContext* king) {
    if (m->piece == WKING || m->piece == BKING) return leavesKingSafe(board, m);
    if (king->attacked) return answersCheck(m, king) ? leavesKingSafe(board, m) : 0;
    return pinVerdict(board, m, king);
}

inline KingContext computeKingContext(const Board* board) {
    const int side = board->sideToMove;
    const int square = side == WHITE ? board->wKingSquare : board->bKingSquare;
    KingContext context = {square, false, 0, NO_SQUARE, 0};
    const int attacked = side == WHITE ? isAttackedDeltaSquareBlack(board, square)
                                       : isAttackedDeltaSquareWhite(board, square);
    if (!attacked) return context;
    context.attacked = true;
    context.checkers =
        static_cast<u8>(kingCheckers(board, square, side ^ 1, &context.checkerSquare));
    if (context.checkers == 1) {
        const u8 c = board->squares[context.checkerSquare];
        const u8 kind = c > EMPTY ? c - BPAWN : c - WPAWN;
        if (kind >= 2 && kind <= 4) context.checkerStep = attackStep(square, context.checkerSquare);
    }
    return context;
}

inline KingContext noKingContext() { return {0, false, 0, NO_SQUARE, 0}; }

// Inlined into every generator loop: the call itself was a tenth of the
// perft time.
[[gnu::always_inline]] inline int addMove(Board* board, MoveList* list, u32* count, int from,
                                          int to, u8 legal, const KingContext* king) {
    const u32 n = *count;
    // A set-up position may hold 23 pieces a side, enough for more moves
    // than a list holds: the moves past its room are dropped (a promotion
    // needs four slots, and count must stay within a byte).
    if (n > MAX_MOVES - 5) return 0;
    Move* m = &list->moves[n];
    const u8* sq = board->squares;
    m->from = static_cast<u8>(from);
    m->to = static_cast<u8>(to);
    m->flags = MF_NORMAL;
    m->promotion = EMPTY;
    m->piece = sq[from];
    if (sq[to] == EMPTY) {
        m->captured = EMPTY;
    } else {
        m->flags |= MF_CAPTURE;
        m->captured = sq[to];
    }

    u8 promoQueen = 0;
    if (m->piece == WPAWN) {
        if (to == board->epSquare) {
            m->flags |= MF_CAPTURE | MF_ENPASSANT;
            m->captured = sq[to - 16];
        } else if (rank(to) == 8) {
            promoQueen = WQUEEN;
        }
    } else if (m->piece == BPAWN) {
        if (to == board->epSquare) {
            m->flags |= MF_CAPTURE | MF_ENPASSANT;
            m->captured = sq[to + 16];
        } else if (rank(to) == 1) {
            promoQueen = BQUEEN;
        }
    }

    if (promoQueen) {
        m->flags |= MF_PROMOTION;
        m->promotion = promoQueen;
        if (legal && isLegalWith(board, m, king) != 1) return 0;
        for (u32 k = 1; k <= 3; k++) {
            list->moves[n + k] = *m;
            list->moves[n + k].promotion =
                static_cast<u8>(promoQueen - k);   // rook, bishop, knight
        }
        *count = n + 4;
        return 1;
    }

    if (legal && isLegalWith(board, m, king) != 1) return 0;
    *count = n + 1;
    return 1;
}

// The castling of right (0..3) when its squares allow it: those between
// the king, the rook and their destinations empty, the king's square
// through its destination unattacked. The rook is lifted off the board for
// the attack tests: in Chess960 it may shield the king's path along the
// first rank (a queen on a1 behind a castling rook on b1), and once it has
// moved it no longer does. The king stays: an attack through its square
// would be a check, and castling out of check is refused anyway.
template <int Side>
inline void addCastling(Board* board, MoveList* list, u32* count, int from, int right, u8 legal,
                        const KingContext* king) {
    using T = SideTraits<Side>;
    if (board->occupied & board->castlingEmpty[right]) return;
    const int rook = board->castlingRooks[right];
    const u64 rookBit = squareBit(rook);
    board->occupied ^= rookBit;
    bool safe = true;
    for (u64 squares = board->castlingSafe[right]; squares != 0 && safe; squares &= squares - 1)
        safe = !isAttackedSimple(board, square88(__builtin_ctzll(squares)), T::enemy);
    board->occupied ^= rookBit;
    if (!safe) return;
    const u32 n = *count;
    if (n > MAX_MOVES - 5) return;
    Move* m = &list->moves[n];
    m->from = static_cast<u8>(from);
    m->to = static_cast<u8>((from & 0x70) + (right & 1 ? 2 : 6));
    m->flags = MF_NORMAL | MF_CASTLE;
    m->captured = EMPTY;
    m->capturedIndex = static_cast<u8>(rook);
    m->promotion = EMPTY;
    m->piece = T::king;
    if (legal && isLegalWith(board, m, king) != 1) return;
    *count = n + 1;
}

// All moves of the piece on sq (code p), in the fixed order: diagonals, lines,
// knight jumps, pawn moves, castling, king steps.
template <int Side>
inline void pieceMoves(Board* board, MoveList* list, u32* count, int sq, u8 p, u8 legal,
                       const KingContext* king) {
    using T = SideTraits<Side>;
    const u8* s = board->squares;
    const int kind = p - T::base;   // 0 pawn .. 5 king
    if (kind == 2 || kind == 4) {
        for (const i32* d = T::diagonals; *d; d++)
            for (int t = sq + *d; onBoard(t) && T::usable(s[t]); t += *d) {
                addMove(board, list, count, sq, t, legal, king);
                if (s[t] != EMPTY) break;
            }
    }
    if (kind == 3 || kind == 4) {
        for (const i32* d = T::heavies; *d; d++)
            for (int t = sq + *d; onBoard(t) && T::usable(s[t]); t += *d) {
                addMove(board, list, count, sq, t, legal, king);
                if (s[t] != EMPTY) break;
            }
    }
    if (kind == 1) {
        for (const i32* d = T::knights; *d; d++) {
            int t = sq + *d;
            if (onBoard(t) && T::usable(s[t])) addMove(board, list, count, sq, t, legal, king);
        }
    }
    if (kind == 0) {
        if (rank(sq) == T::startRank && s[sq + T::push] == EMPTY && s[sq + 2 * T::push] == EMPTY)
            addMove(board, list, count, sq, sq + 2 * T::push, legal, king);
        int t = sq + T::push;
        if (onBoard(t) && s[t] == EMPTY) addMove(board, list, count, sq, t, legal, king);
        t = sq + T::capA;
        if (onBoard(t) && T::isEnemy(s[t])) addMove(board, list, count, sq, t, legal, king);
        t = sq + T::capB;
        if (onBoard(t) && T::isEnemy(s[t])) addMove(board, list, count, sq, t, legal, king);
        if (board->epSquare != 0) {
            if (sq + T::capA == board->epSquare)
                addMove(board, list, count, sq, sq + T::capA, legal, king);
            if (sq + T::capB == board->epSquare)
                addMove(board, list, count, sq, sq + T::capB, legal, king);
        }
    }
    if (kind == 5) {
        const u32 rights = board->castlingStatus;
        if (rights & T::rightK) addCastling<Side>(board, list, count, sq, 2 * Side, legal, king);
        if (rights & T::rightQ)
            addCastling<Side>(board, list, count, sq, 2 * Side + 1, legal, king);
        for (const i32* d = T::kings; *d; d++) {
            int t = sq + *d;
            if (onBoard(t) && T::usable(s[t])) addMove(board, list, count, sq, t, legal, king);
        }
    }
}

template <int Side>
u32 generateAll(Board* board, MoveList* list, u8 legal) {
    using T = SideTraits<Side>;
    u32 count = 0;
    const KingContext context = legal ? computeKingContext(board) : noKingContext();
    const KingContext* king = legal ? &context : nullptr;
    const PieceEntry* pieces = T::list(board);
    const int n = T::entries(board);
    for (int i = 0; i < n; i++) {
        if (pieces[i].alive != 1) continue;
        const int sq = pieces[i].square;
        pieceMoves<Side>(board, list, &count, sq, board->squares[sq], legal, king);
    }
    return count;
}

template <int Side>
u32 generateAllCaptures(Board* board, MoveList* list, u8 legal) {
    using T = SideTraits<Side>;
    u32 count = 0;
    const KingContext context = legal ? computeKingContext(board) : noKingContext();
    const KingContext* king = legal ? &context : nullptr;
    const PieceEntry* pieces = T::list(board);
    const u8* s = board->squares;
    const u64 enemy = board->colourBits[T::enemy];
    const u64 occupied = board->occupied;
    const int n = T::entries(board);
    // The first piece along each line is found by the bits; a piece with no
    // enemy piece on its lines or jumps at all is passed over.
    for (int i = 0; i < n; i++) {
        if (pieces[i].alive != 1) continue;
        const int sq = pieces[i].square;
        const int sq64 = index64(sq);
        const int kind = s[sq] - T::base;
        if ((kind == 2 || kind == 4) && (bitTables.diagonal[sq64] & enemy)) {
            for (const int l : T::diagonalLines) {
                const u64 hits = occupied & bitTables.ray[l][sq64];
                if (hits == 0) continue;
                const int t64 = nearestOnLine(hits, l);
                if (enemy & (u64{1} << t64))
                    addMove(board, list, &count, sq, square88(t64), legal, king);
            }
        }
        if ((kind == 3 || kind == 4) && (bitTables.straight[sq64] & enemy)) {
            for (const int l : T::straightLines) {
                const u64 hits = occupied & bitTables.ray[l][sq64];
                if (hits == 0) continue;
                const int t64 = nearestOnLine(hits, l);
                if (enemy & (u64{1} << t64))
                    addMove(board, list, &count, sq, square88(t64), legal, king);
            }
        }
        if (kind == 1 || kind == 5) {
            const u64 targets = (kind == 1 ? bitTables.knight[sq64] : bitTables.king[sq64]) & enemy;
            if (targets == 0) continue;
            if ((targets & (targets - 1)) == 0) {
                addMove(board, list, &count, sq, square88(__builtin_ctzll(targets)), legal, king);
                continue;
            }
            for (const i32* d = kind == 1 ? T::knights : T::kings; *d; d++) {
                const int t = sq + *d;
                if (onBoard(t) && (targets & squareBit(t)))
                    addMove(board, list, &count, sq, t, legal, king);
            }
        }
        if (kind == 0) {
            if (bitTables.pawnAttacks[Side][sq64] & enemy) {
                int t = sq + T::capA;
                if (onBoard(t) && T::isEnemy(s[t]))
                    addMove(board, list, &count, sq, t, legal, king);
                t = sq + T::capB;
                if (onBoard(t) && T::isEnemy(s[t]))
                    addMove(board, list, &count, sq, t, legal, king);
            }
            if (board->epSquare != 0) {
                if (sq + T::capA == board->epSquare)
                    addMove(board, list, &count, sq, sq + T::capA, legal, king);
                if (sq + T::capB == board->epSquare)
                    addMove(board, list, &count, sq, sq + T::capB, legal, king);
            }
        }
    }
    return count;
}

// Board scan: White upward from a1, Black downward from h8, stopping once
// every own piece has been handled.
template <int Side>
u32 generateScan(Board* board, MoveList* list, u8 legal) {
    u32 count = 0;
    const KingContext context = legal ? computeKingContext(board) : noKingContext();
    const KingContext* king = legal ? &context : nullptr;
    const int own = Side == WHITE ? board->nWhite : board->nBlack;
    int handled = 0;
    const int step = Side == WHITE ? 1 : -1;
    for (int sq = Side == WHITE ? 0 : 119; sq >= 0 && sq < 128 && handled < own; sq += step) {
        if (!onBoard(sq)) {
            sq += 7 * step;   // with the loop's own step: jump over the 8 off-board cells
            continue;
        }
        const u8 p = board->squares[sq];
        const bool mine = Side == WHITE ? (p >= WPAWN && p <= WKING) : (p >= BPAWN && p <= BKING);
        if (!mine) continue;
        handled++;
        pieceMoves<Side>(board, list, &count, sq, p, legal, king);
    }
    return count;
}

// More than the side's pseudo-legal moves can number: a pawn 4 (12 from
// the seventh rank), a knight 8, a bishop 13, a rook 14, a queen 27, the king
// 8 and two castlings.
template <int Side>
int moveBound(const Board* board) {
    using T = SideTraits<Side>;
    const u64* bits = board->pieceBits;
    const u64 seventh = T::seventhRankBits;
    const u64 pawns = bits[T::base];
    return 4 * __builtin_popcountll(pawns & ~seventh) + 12 * __builtin_popcountll(pawns & seventh) +
           8 * __builtin_popcountll(bits[T::base + 1]) +
           13 * __builtin_popcountll(bits[T::base + 2]) +
           14 * __builtin_popcountll(bits[T::base + 3]) +
           27 * __builtin_popcountll(bits[T::base + 4]) + 10;
}

// Whether any quiet move of the piece p on sq might give check or is a
// castling or a promotion: a superset, the check test decides. A piece on
// an open line from the enemy king with an own slider of that line's kind
// behind it may discover check; otherwise only the squares it reaches count.
template <int Side>
bool mayCheck(const Board* board, int sq, u8 p, int k) {
    using T = SideTraits<Side>;
    const u64* bits = board->pieceBits;
    const int sq64 = index64(sq), k64 = index64(k);
    // NOLINTNEXTLINE(bugprone-signed-char-misuse): the table's -1 is "no line"
    const int l = bitTables.line[sq - k + 119];
    if (l >= 0 && (bitsBetween(l, k64, sq64) & board->occupied) == 0 &&
        (bitTables.ray[l][sq64] & (bits[T::base + 4] | bits[T::base + (l < 4 ? 2 : 3)])))
        return true;
    switch (p - T::base) {
    case 0: {
        if (rank(sq) == T::seventhRank) return true;
        u64 pushes = squareBit(sq + T::push);
        if (rank(sq) == T::startRank) pushes |= squareBit(sq + 2 * T::push);
        return (bitTables.pawnAttacks[T::enemy][k64] & pushes) != 0;
    }
    case 1: return (bitTables.knight[sq64] & bitTables.knight[k64]) != 0;
    case 2: return ((rank(sq) + file(sq) + rank(k) + file(k)) & 1) == 0;
    case 5:
        return (board->castlingStatus & (T::rightK | T::rightQ)) ||
               dist(board->wKingSquare, board->bKingSquare) == 1;
    default: return true;
    }
}

// The quiet moves of the full pseudo-legal list that the quiescence search's
// quiet-check phase acts on, in their order there: every castling and quiet
// promotion, every other quiet move that gives check, and two more the phase
// reads after its loop: the last quiet move of the list and the last legal
// quiet move without check that is neither castling nor a promotion. A side
// with more pieces than a list may hold moves for gets the full list.
template <int Side>
u32 generateQuietChecksSide(Board* board, MoveList* list) {
    using T = SideTraits<Side>;
    if (moveBound<Side>(board) > MAX_MOVES - 5) return generateAll<Side>(board, list, 0);
    const KingContext king = computeKingContext(board);
    const PieceEntry* pieces = T::list(board);
    const int n = T::entries(board);
    const u8* s = board->squares;

    // The last quiet move (piece entry, index among the piece's moves) and
    // the last legal plain one without check, found from the back.
    int lastPiece = -1, lastIndex = -1, quietPiece = -1, quietIndex = -1;
    for (int i = n - 1; i >= 0 && quietPiece < 0; i--) {
        if (pieces[i].alive != 1) continue;
        const int sq = pieces[i].square;
        u32 c = 0;
        pieceMoves<Side>(board, list, &c, sq, s[sq], 0, nullptr);
        for (int j = static_cast<int>(c) - 1; j >= 0; j--) {
            Move* m = &list->moves[j];
            if (m->flags & MF_CAPTURE) continue;
            if (lastPiece < 0) {
                lastPiece = i;
                lastIndex = j;
            }
            if (m->flags & (MF_CASTLE | MF_PROMOTION)) continue;
            if (moveChecks(board, m)) continue;
            if (quietVerdict(board, m, &king)) {
                quietPiece = i;
                quietIndex = j;
                break;
            }
        }
    }

    const int k = SideTraits<T::enemy>::kingSquare(board);
    u32 count = 0;
    for (int i = 0; i < n; i++) {
        if (pieces[i].alive != 1) continue;
        const int sq = pieces[i].square;
        const u8 p = s[sq];
        if (i != lastPiece && i != quietPiece && !mayCheck<Side>(board, sq, p, k)) continue;
        const u32 start = count;
        u32 end = count;
        pieceMoves<Side>(board, list, &end, sq, p, 0, nullptr);
        for (u32 j = start; j < end; j++) {
            Move* m = &list->moves[j];
            if (m->flags & MF_CAPTURE) continue;
            const int index = static_cast<int>(j - start);
            if ((m->flags & (MF_CASTLE | MF_PROMOTION)) || (i == lastPiece && index == lastIndex) ||
                (i == quietPiece && index == quietIndex) || moveChecks(board, m))
                list->moves[count++] = *m;
        }
    }
    return count;
}

}   // namespace

u32 generateMovesWhite(Board* board, MoveList* list, u8 legal) {
    return generateAll<WHITE>(board, list, legal);
}
u32 generateMovesBlack(Board* board, MoveList* list, u8 legal) {
    return generateAll<BLACK>(board, list, legal);
}
u32 generateMoves(Board* board, MoveList* list, u8 legal) {
    return board->sideToMove ? generateMovesBlack(board, list, legal)
                             : generateMovesWhite(board, list, legal);
}

u32 generateQuietChecksWhite(Board* board, MoveList* list) {
    return generateQuietChecksSide<WHITE>(board, list);
}
u32 generateQuietChecksBlack(Board* board, MoveList* list) {
    return generateQuietChecksSide<BLACK>(board, list);
}
u32 generateQuietChecks(Board* board, MoveList* list) {
    return board->sideToMove ? generateQuietChecksBlack(board, list)
                             : generateQuietChecksWhite(board, list);
}

u32 generateCapturesWhite(Board* board, MoveList* list, u8 legal) {
    return generateAllCaptures<WHITE>(board, list, legal);
}
u32 generateCapturesBlack(Board* board, MoveList* list, u8 legal) {
    return generateAllCaptures<BLACK>(board, list, legal);
}
u32 generateCaptures(Board* board, MoveList* list, u8 legal) {
    return board->sideToMove ? generateCapturesBlack(board, list, legal)
                             : generateCapturesWhite(board, list, legal);
}

u32 generateMovesWhiteSimple(Board* board, MoveList* list, u8 legal) {
    return generateScan<WHITE>(board, list, legal);
}
u32 generateMovesBlackSimple(Board* board, MoveList* list, u8 legal) {
    return generateScan<BLACK>(board, list, legal);
}
u32 generateMovesSimple(Board* board, MoveList* list, u8 legal) {
    return board->sideToMove ? generateMovesBlackSimple(board, list, legal)
                             : generateMovesWhiteSimple(board, list, legal);
}

int addMoveSimple(Board* board, MoveList* list, u32* count, int from, int to, u8 legal) {
    return addMove(board, list, count, from, to, legal, nullptr);
}

// ---------------------------------------------------------------------------
// Selection

int getMove(MoveList* list, Move* out, int index) {
    *out = list->moves[index];
    list->picked[index] = 1;
    return index;
}

int getNextBestMove(MoveList* list, Move* out) {
    // The first unpicked move of the highest score above -INFINITE_SCORE,
    // the first move when there is none. The best score first, by a
    // reduction without a branch per move, then the first move that has it.
    const int n = list->count;
    i32 best = -INFINITE_SCORE;
    for (int i = 0; i < n; i++) {
        const i32 keep = -static_cast<i32>(list->picked[i] == 0);
        const i32 v = (list->scores[i] & keep) | (-INFINITE_SCORE & ~keep);
        best = v > best ? v : best;
    }
    int index = 0;
    if (best > -INFINITE_SCORE)
        while (list->picked[index] || list->scores[index] != best) index++;
    *out = list->moves[index];
    list->picked[index] = 1;
    return index;
}

KingContext kingContext(const Board* board) { return computeKingContext(board); }

int isLegalInContext(Board* board, Move* move, const KingContext* king) {
    return isLegalWith(board, move, king);
}

// ---------------------------------------------------------------------------
// Moves by their text

// Promotion letter (any case) -> piece code of the side to move. A pawn or
// any other letter gives a code no generated promotion carries.
static u8 promotionCode(char letter, u8 side) {
    u8 code;
    switch (tolower(static_cast<unsigned char>(letter))) {
    case 'q': code = WQUEEN; break;
    case 'r': code = WROOK; break;
    case 'b': code = WBISHOP; break;
    case 'n': code = WKNIGHT; break;
    case 'p': code = WPAWN; break;
    default: return 0;
    }
    return side == WHITE ? code : static_cast<u8>(code + 7);
}

// Square of a two-letter name, exactly as sqString spells it; -1 for
// anything else (capitals included), which equals no square of a move.
static int squareFromName(const char name[3]) {
    for (int sq = 0; sq < 128; sq++)
        if (strcmp(sqString[sq], name) == 0) return sq;
    return -1;
}

const Move* findMoveByText(const MoveList* list, u32 n, const char* text, u8 side,
                           bool kingTakesRook) {
    // A text shorter than five characters is read as if NULs followed it,
    // so nothing past its terminator is looked at.
    char c[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5 && text[i] != '\0'; i++) c[i] = text[i];
    const char fromName[3] = {c[0], c[1], '\0'};
    const char toName[3] = {c[2], c[3], '\0'};
    const int from = squareFromName(fromName);
    const int to = squareFromName(toName);
    const u8 promotion = promotionCode(c[4], side);
    // Written as the king's move, a Chess960 castling can read like a king
    // step (f1g1 with the rook on h1): the step is taken then.
    const Move* castling = nullptr;
    for (u32 i = 0; i < n; i++) {
        const Move& m = list->moves[i];
        if (m.from != from || textDestination(&m, kingTakesRook) != to) continue;
        if ((m.flags & MF_PROMOTION) && m.promotion != promotion) continue;
        if (m.flags & MF_CASTLE) {
            castling = &m;
            continue;
        }
        return &m;
    }
    return castling;
}

u8 inputMoveLegal(Board* board, const char* text, Move* move, bool kingTakesRook) {
    auto list = std::make_unique<MoveList>();
    const u32 n = generateMoves(board, list.get(), 1);
    const Move* found = findMoveByText(list.get(), n, text, board->sideToMove, kingTakesRook);
    if (found == nullptr) return 0;
    *move = *found;
    return 1;
}

Move firstLegalMove(Board* board) {
    const BoardScratchKeeper keep(board);
    auto list = std::make_unique<MoveList>();
    return generateMoves(board, list.get(), 1) > 0 ? list->moves[0] : noMove;
}
