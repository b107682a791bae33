#include "eval.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "attack.h"
#include "board.h"
#include "hash.h"
#include "movegen.h"
#include "utils.h"

namespace {

// 0x88 square of a file and rank, both 1..8.
constexpr int squareOf(int f, int r) { return (r - 1) * 16 + (f - 1); }

template <int Side>
inline bool isEnemy(u8 code) {
    return SideTraits<Side>::isEnemy(code);
}

// Knight and king: one step along each offset. Every target is tested for
// being on the board before it is read, so a piece on the edge never reads
// outside the 128 cells.
template <int Side>
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
template <int Side>
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
template <int Side>
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

// The evaluation counts mobility and attacks on bitboards (bit index64(s)
// stands for the square s), with the rays and leaper sets of bitTables.
// A king's two rings, as kingPressure reads them, are the evaluation's own.
struct KingRings {
    u64 ring1[64], ring2[64];

    constexpr KingRings() : ring1(), ring2() {
        auto bit = [](int sq) { return onBoard(sq) ? squareBit(sq) : u64{0}; };
        for (int i = 0; i < 64; i++) {
            for (const i32 o : kingRing1Offsets) ring1[i] |= bit(square88(i) + o);
            for (const i32 o : kingRing2Offsets) ring2[i] |= bit(square88(i) + o);
        }
    }
};
constexpr KingRings kingRings;
static_assert(kingRings.ring1[0] == 0x302ull && kingRings.ring2[63] == 0x2020e00000000000ull);

// Hardware popcount where the caller is compiled for a processor that has
// it, else the bit-parallel sum.
template <bool Hardware>
[[gnu::always_inline]] inline int popCount(u64 x) {
    if constexpr (Hardware) {
        return __builtin_popcountll(x);
    } else {
        x = x - ((x >> 1) & 0x5555555555555555ull);
        x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        return static_cast<int>((x * 0x0101010101010101ull) >> 56);
    }
}

// The squares a slider on index i reaches along two lines that run toward
// higher bits and their opposites: up to the edge or the first piece, that
// piece included. A ray's nearest piece is its lowest bit on the lines that
// run upward and its highest on the others; on an empty ray the bit added at
// the far corner, whose own ray that way is empty, leaves the whole ray.
[[gnu::always_inline]] inline u64 sliderReach(int i, u64 occupied, const int (&up)[2],
                                              const int (&down)[2]) {
    u64 reach = 0;
    for (int k = 0; k < 2; k++) {
        const u64 upRay = bitTables.ray[up[k]][i];
        reach |= upRay ^ bitTables.ray[up[k]][__builtin_ctzll((upRay & occupied) | (u64{1} << 63))];
        const u64 downRay = bitTables.ray[down[k]][i];
        reach |= downRay ^ bitTables.ray[down[k]][63 - __builtin_clzll((downRay & occupied) | 1)];
    }
    return reach;
}
// Lines of bitTables by their steps: 15 and 17 up, -15 and -17 down; 1 and
// 16 up, -1 and -16 down.
constexpr int DIAGONALS_UP[2] = {0, 1}, DIAGONALS_DOWN[2] = {2, 3};
constexpr int LINES_UP[2] = {4, 6}, LINES_DOWN[2] = {5, 7};
static_assert(lineSteps[LINES_UP[1]] == 16 && lineSteps[LINES_DOWN[0]] == -1 &&
              lineSteps[DIAGONALS_DOWN[1]] == -17);
inline u64 diagonalReach(int i, u64 occupied) {
    return sliderReach(i, occupied, DIAGONALS_UP, DIAGONALS_DOWN);
}
inline u64 straightReach(int i, u64 occupied) {
    return sliderReach(i, occupied, LINES_UP, LINES_DOWN);
}

template <int Side>
inline int pawnOn(const Board* board, int square) {
    return onBoard(square) && board->squares[square] == SideTraits<Side>::base ? 1 : 0;
}

// Shelter count of a castled king: the pawn in front weighs 3, the pawns
// beside it and diagonally in front 2, the second row 1, and a king still on
// its back rank 1 more.
template <int Side>
[[gnu::always_inline]] inline int shelterCount(const Board* board) {
    using T = SideTraits<Side>;
    const int k = T::kingSquare(board), up = T::push;
    int count = 3 * pawnOn<Side>(board, k + up);
    count += 2 * (pawnOn<Side>(board, k + up - 1) + pawnOn<Side>(board, k + up + 1) +
                  pawnOn<Side>(board, k - 1) + pawnOn<Side>(board, k + 1));
    count += pawnOn<Side>(board, k + 2 * up) + pawnOn<Side>(board, k + 2 * up + 1) +
             pawnOn<Side>(board, k + 2 * up - 1);
    if (T::relativeRank(rank(k)) == 1) count++;
    return count;
}

// Pressure on a king: the enemy attack counts summed over each ring (a
// square attacked by two pieces counts twice), capped at the tables' last
// entry.
[[gnu::always_inline]] inline i32 kingPressure(int ring1, int ring2) {
    if (ring1 > 63) ring1 = 63;
    if (ring2 > 63) ring2 = 63;
    return bonusKingPres1[ring1] + bonusKingPres2[ring2];
}

// Backwardness contributed by a neighbouring file of a rear pawn on rank r
// (ranks of the pawn's own side).
inline int backwardStep(int pawns, int rear, int r) {
    if (pawns == 0) return 1;
    if (rear >= r + 2) return 3;
    if (rear == r + 1) return 2;
    return 0;
}

inline int capAt(int value, int last) { return value > last ? last : value; }

// What the piece pass learns about one side.
struct SideSummary {
    u64 pawnBits = 0;
    // What each piece attacks: the squares it reaches that are empty or hold
    // an enemy piece. The attack count of a square is the number of sets
    // that hold it; the pawns give two sets, their captures toward the
    // a-file and toward the h-file.
    u64 attacks[MAX_PIECE_ENTRIES + 2];
    int attackSets = 0;
    int enemyRing1 = 0, enemyRing2 = 0;   // attack counts summed over the enemy king's rings
    u8 rooksOnFile[10] = {};              // files 1..8
    int pawns = 0, knights = 0, bishops = 0, rooks = 0, queens = 0, rooksOn7th = 0;
    // Each side's terms in its own favour; the score takes White's minus Black's.
    i32 pawnMobility = 0, knightMobility = 0, bishopMobility = 0, rookMobility = 0;
    i32 queenMobility = 0;

    int pieces() const { return knights + bishops + rooks + queens; }
};

constexpr u64 FILE_A_BITS = 0x0101010101010101ull, FILE_H_BITS = FILE_A_BITS << 7;

// Pass 1, per side: the pieces' mobility and attacks and the counts, from
// the board's piece bits.
template <int Side, bool Popcount>
[[gnu::always_inline]] inline void pieceTerms(const Board* board, SideSummary* s) {
    using T = SideTraits<Side>;
    const u64 own = board->colourBits[Side], occupied = board->occupied;
    const u64 empty = ~occupied, enemy = board->colourBits[T::enemy];
    const int enemyKing = index64(SideTraits<T::enemy>::kingSquare(board));
    const u64 ring1 = kingRings.ring1[enemyKing], ring2 = kingRings.ring2[enemyKing];
    auto record = [&](u64 reach) {
        const u64 attacked = reach & ~own;
        s->attacks[s->attackSets++] = attacked;
        s->enemyRing1 += popCount<Popcount>(attacked & ring1);
        s->enemyRing2 += popCount<Popcount>(attacked & ring2);
    };

    // Pawns, all at once. A pawn's mobility is its captures plus the step
    // ahead when free, 0 to 3: the pawns are sorted by it through the three
    // sets of pawns that have each move.
    const u64 pawns = board->pieceBits[T::base];
    s->pawnBits = pawns;
    s->pawns = popCount<Popcount>(pawns);
    const u64 behindEnemy = T::backward(enemy);
    const u64 takeLeft = pawns & ~FILE_A_BITS & (behindEnemy << 1);
    const u64 takeRight = pawns & ~FILE_H_BITS & (behindEnemy >> 1);
    const u64 step = pawns & T::backward(empty);
    const u64 three = takeLeft & takeRight & step;
    const u64 atLeastTwo = (takeLeft & takeRight) | (takeLeft & step) | (takeRight & step);
    const int n3 = popCount<Popcount>(three);
    const int n2 = popCount<Popcount>(atLeastTwo & ~three);
    const int n1 = popCount<Popcount>((takeLeft ^ takeRight ^ step) & ~three);
    s->pawnMobility = (s->pawns - n1 - n2 - n3) * bonusPawnMob[0] + n1 * bonusPawnMob[1] +
                      n2 * bonusPawnMob[2] + n3 * bonusPawnMob[3];
    record(T::forward(pawns & ~FILE_A_BITS) >> 1);
    record(T::forward(pawns & ~FILE_H_BITS) << 1);

    for (u64 p = board->pieceBits[T::base + 1]; p != 0; p &= p - 1) {
        const u64 reach = bitTables.knight[__builtin_ctzll(p)];
        s->knightMobility += bonusKnightMob[popCount<Popcount>(reach & empty)];
        s->knights++;
        record(reach);
    }
    for (u64 p = board->pieceBits[T::base + 2]; p != 0; p &= p - 1) {
        const u64 reach = diagonalReach(__builtin_ctzll(p), occupied);
        s->bishopMobility += bonusBishopMob[popCount<Popcount>(reach & empty)];
        s->bishops++;
        record(reach);
    }
    for (u64 p = board->pieceBits[T::base + 3]; p != 0; p &= p - 1) {
        const int i = __builtin_ctzll(p);
        s->rooksOnFile[(i & 7) + 1]++;
        if (T::relativeRank((i >> 3) + 1) == 7) s->rooksOn7th++;
        const u64 reach = straightReach(i, occupied);
        s->rookMobility += bonusRookMob[popCount<Popcount>(reach & empty)];
        s->rooks++;
        record(reach);
    }
    for (u64 p = board->pieceBits[T::base + 4]; p != 0; p &= p - 1) {
        const int i = __builtin_ctzll(p);
        const u64 reach = straightReach(i, occupied) | diagonalReach(i, occupied);
        s->queenMobility += bonusQueenMob[popCount<Popcount>(reach & empty)];
        s->queens++;
        record(reach);
    }
    for (u64 p = board->pieceBits[T::base + 5]; p != 0; p &= p - 1)
        record(bitTables.king[__builtin_ctzll(p)]);
}

// How many of the side's pieces attack the square.
inline int attackCount(const SideSummary& side, int sq) {
    const int i = index64(sq);
    int count = 0;
    for (int n = 0; n < side.attackSets; n++) count += static_cast<int>((side.attacks[n] >> i) & 1);
    return count;
}

// Trivial draws: neither side can mate with a lone minor piece.
[[gnu::always_inline]] inline bool isTrivialDraw(const Board* board, const SideSummary& w,
                                                 const SideSummary& b) {
    const int nW = board->nWhite, nB = board->nBlack;
    return (nW == 1 && nB == 1) || (nW == 2 && nB == 1 && (w.bishops == 1 || w.knights == 1)) ||
           (nW == 1 && nB == 2 && (b.bishops == 1 || b.knights == 1));
}

// The endgame flag, from the pieces left on each side.
[[gnu::always_inline]] inline bool isEndgame(const SideSummary& w, const SideSummary& b) {
    if (w.pieces() > 3 || b.pieces() > 3)
        return w.queens == 0 && b.queens == 0 && w.rooks == 0 && b.rooks == 0;
    if (w.queens > 0) return b.queens == 0 && b.rooks <= 1;
    if (b.queens > 0) return w.rooks <= 1;
    return w.pawns <= 5 || b.pawns <= 5 || b.rooks <= 1 || w.rooks <= 1;
}

// Material with a bonus for having more pieces. A game never gives one side
// 16 or more pieces beyond the other, but a set-up position can: the
// difference is capped at the table's last entry.
[[gnu::always_inline]] inline i32 materialTerm(const Board* board, const SideSummary& w,
                                               const SideSummary& b) {
    const int W = w.pieces(), B = b.pieces();
    if (W > B) return board->materialBalance + bonusMaterialImbalance[capAt(W - B, 15)];
    return board->materialBalance - bonusMaterialImbalance[capAt(B - W, 15)];
}

// In the endgame the side with more pawns gains (a set-up position may hold
// more than eight pawns a side: capped at the last entry).
[[gnu::always_inline]] inline i32 pawnMajorityTerm(const SideSummary& w, const SideSummary& b) {
    if (w.pawns > b.pawns) return pawnBonusEndgame[capAt(w.pawns - b.pawns, 8)];
    return -pawnBonusEndgame[capAt(b.pawns - w.pawns, 8)];
}

// Rooks on open and half-open files, in the side's favour.
[[gnu::always_inline]] inline i32 rookFileTerms(const SideSummary& own, const SideSummary& enemy) {
    i32 score = 0;
    for (int f = 1; f <= 8; f++) {
        const int rooks = own.rooksOnFile[f];
        const u64 fileBits = FILE_A_BITS << (f - 1);
        if ((own.pawnBits & fileBits) == 0 && rooks > 0)
            score += (enemy.pawnBits & fileBits) != 0 ? bonusRookHalfOpenFile[rooks]
                                                      : bonusRookOpenFile[rooks];
    }
    return score;
}

// Pass 2, per side: the pawn files, in the side's favour. Pawn terms are
// taken once per file, for its front or rear pawn. An enemy rank is turned
// into the side's own ranks (9 - rank) before it is compared. Everything
// but the free pawns depends on the pawns alone (PawnShape, eval.h): the
// free-pawn walk starts from the shape's advanced front ranks.

// The pawns of one side by file, in the side's own ranks (1 is its back
// rank); files run 1..8, and files 0 and 9 stay empty, so f - 1 and f + 1
// need no test where a missing file counts as empty. Front and rear ranks
// are only read on files that hold a pawn.
struct PawnFiles {
    u8 count[10] = {};
    u8 front[10] = {};                              // the most advanced pawn of the file
    u8 rear[10] = {8, 8, 8, 8, 8, 8, 8, 8, 8, 8};   // the least advanced one
    i32 advancement = 0;
};

template <int Side>
PawnFiles pawnFilesOf(u64 pawns) {
    PawnFiles files;
    for (; pawns != 0; pawns &= pawns - 1) {
        const int i = __builtin_ctzll(pawns);
        const int f = (i & 7) + 1, r = SideTraits<Side>::relativeRank((i >> 3) + 1);
        files.count[f]++;
        if (r > files.front[f]) files.front[f] = static_cast<u8>(r);
        if (r < files.rear[f]) files.rear[f] = static_cast<u8>(r);
        files.advancement += bonusAdvPawn[r];
    }
    return files;
}

inline void pawnShapeTerms(const PawnFiles& own, const PawnFiles& enemy, PawnShape* shape) {
    i32 score = 0;
    bool passedOnFile[10] = {};
    for (int f = 0; f < 10; f++) shape->advancedFront[f] = 0;
    for (int f = 1; f <= 8; f++) {
        if (own.count[f] == 0) continue;
        const int front = own.front[f], rear = own.rear[f];
        // Passed: no enemy pawn level with or ahead of the front pawn on this
        // file or either neighbour. Edge files have one neighbour only and
        // never count.
        auto clearAhead = [&](int g) { return enemy.count[g] == 0 || 9 - enemy.rear[g] < front; };
        if (f > 1 && f < 8 && clearAhead(f - 1) && clearAhead(f) && clearAhead(f + 1)) {
            score += bonusPassedPawn[front];
            passedOnFile[f] = true;
            if (passedOnFile[f - 1]) score += bonusConnPassers[abs(front - own.front[f - 1])];
        }
        if (front >= 5) shape->advancedFront[f] = static_cast<u8>(front);
        if (own.count[f] > 1) score += malusDoublePawn[own.count[f]];
        if (own.count[f - 1] == 0 && own.count[f + 1] == 0) score += malusIsolatedPawn[f];
        // Backward: the rear pawn's neighbours are missing or further up.
        int h = 0;
        if (f > 1) h += backwardStep(own.count[f - 1], own.rear[f - 1], rear);
        if (f < 8) h += backwardStep(own.count[f + 1], own.rear[f + 1], rear);
        if (h > 3 && (enemy.count[f] == 0 || 9 - enemy.rear[f] < rear)) h += 4;
        score += malusBackwardPawn[h];
    }
    shape->score = score;
    shape->advancement = own.advancement;
}

// Free pawn: an advanced front pawn whose path is empty gains by how few of
// the squares ahead the enemy controls.
template <int Side>
[[gnu::always_inline]] inline i32 freePawnTerms(const Board* board, const PawnShape& shape,
                                                const SideSummary& own, const SideSummary& enemy) {
    i32 score = 0;
    for (int f = 1; f <= 8; f++) {
        const int front = shape.advancedFront[f];
        if (front == 0) continue;
        int count = 0;
        bool blocked = false;
        for (int r = front + 1; r <= 8; r++) {
            const int sq = squareOf(f, SideTraits<Side>::relativeRank(r));
            if (board->squares[sq] != EMPTY) {
                blocked = true;
                break;
            }
            if (attackCount(enemy, sq) > attackCount(own, sq)) count++;
        }
        score += bonusFreePawn[blocked ? 8 : count];
    }
    return score;
}

// The pawn shapes of both sides from the cache, computed into it on a miss;
// without a cache, computed into the caller's entry.
[[gnu::always_inline]] inline const PawnShape* pawnShapes(PawnCache* cache, PawnCacheEntry* own,
                                                          const SideSummary& w,
                                                          const SideSummary& b) {
    PawnCacheEntry* e = own;
    if (cache != nullptr) {
        const u64 mix = (w.pawnBits ^ (b.pawnBits * 0x9E3779B97F4A7C15ull)) * 0xD6E8FEB86659FD93ull;
        static_assert(PAWN_CACHE_SIZE == 1 << (64 - 51));
        e = &cache->entries[mix >> 51];
        if (e->whitePawns == w.pawnBits && e->blackPawns == b.pawnBits) return e->shape;
    }
    e->whitePawns = w.pawnBits;
    e->blackPawns = b.pawnBits;
    const PawnFiles white = pawnFilesOf<WHITE>(w.pawnBits);
    const PawnFiles black = pawnFilesOf<BLACK>(b.pawnBits);
    pawnShapeTerms(white, black, &e->shape[WHITE]);
    pawnShapeTerms(black, white, &e->shape[BLACK]);
    return e->shape;
}

// Castling state of the side's king: 1 on the queen side, 2 on the king side,
// 0 when not castled (the zone's corner rook still at home counts as not).
template <int Side>
[[gnu::always_inline]] inline int castledSide(const Board* board) {
    using T = SideTraits<Side>;
    const i32 zone = T::castlingZones[T::kingSquare(board)];
    if (zone == 1 && board->squares[T::queenSideCorner] != T::base + 3) return 1;
    if (zone == 2 && board->squares[T::kingSideCorner] != T::base + 3) return 2;
    return 0;
}

// Middlegame king safety of one side, in its favour: castling, the enemy's
// pressure on the king's rings, the pawn shelter of a castled king.
template <int Side>
[[gnu::always_inline]] inline i32 kingSafety(const Board* board, const SideSummary& enemy) {
    const int castled = castledSide<Side>(board);
    i32 score = castled == 1   ? bonusCastledQueenSide
                : castled == 2 ? bonusCastledKingSide
                               : malusNotCastled;
    score -= kingPressure(enemy.enemyRing1, enemy.enemyRing2);
    if (castled != 0) score += bonusPawnShelter[shelterCount<Side>(board)];
    return score;
}

// The king term. Middlegame: king safety, with the rooks on the seventh;
// without a queen to exploit it, king safety is worth a third (integer
// division truncates toward zero on both signs). Endgame: a central king is
// active; the side with pieces against a bare army brings its king toward
// the other one.
[[gnu::always_inline]] inline i32 kingTerm(const Board* board, bool endgame, const SideSummary& w,
                                           const SideSummary& b) {
    const int wk = board->wKingSquare, bk = board->bKingSquare;
    if (!endgame) {
        i32 king = bonusRook7th[w.rooksOn7th] - bonusRook7th[b.rooksOn7th];
        king += kingSafety<WHITE>(board, b) - kingSafety<BLACK>(board, w);
        if ((king > 0 && w.queens == 0) || (king < 0 && b.queens == 0)) king /= 3;
        return king;
    }
    i32 king = weightKingCentre * (advancedCentre[wk] - advancedCentre[bk]) -
               weightKingBorder * (border[wk] - border[bk]);
    if (w.pieces() == 0 && b.pieces() > 0) king += malusKingKing[dist(wk, bk)];
    else if (b.pieces() == 0 && w.pieces() > 0) king -= malusKingKing[dist(wk, bk)];
    return king;
}

// The whole evaluation, White's view without the tempo bonus.
template <bool Popcount>
[[gnu::always_inline]] inline i32 scorePosition(const Board* board, EvalTerms* terms,
                                                PawnCache* cache) {
    SideSummary w, b;
    pieceTerms<WHITE, Popcount>(board, &w);
    pieceTerms<BLACK, Popcount>(board, &b);

    // A trivial draw is exactly 0 and carries no tempo bonus.
    if (isTrivialDraw(board, w, b)) {
        *terms = EvalTerms{};
        terms->trivialDraw = 1;
        return 0;
    }

    const bool endgame = isEndgame(w, b);
    const i32 material = materialTerm(board, w, b);
    PawnCacheEntry uncached;
    const PawnShape* shape = pawnShapes(cache, &uncached, w, b);
    i32 pawnStructure = w.pawnMobility - b.pawnMobility + shape[WHITE].score - shape[BLACK].score +
                        freePawnTerms<WHITE>(board, shape[WHITE], w, b) -
                        freePawnTerms<BLACK>(board, shape[BLACK], b, w);
    if (endgame) pawnStructure += pawnMajorityTerm(w, b);
    const i32 rookTerms =
        w.rookMobility - b.rookMobility + rookFileTerms(w, b) - rookFileTerms(b, w);
    const i32 king = kingTerm(board, endgame, w, b);
    // Passed-pawn races decide endgames.
    const i32 pawnAdvancement =
        (shape[WHITE].advancement - shape[BLACK].advancement) * (endgame ? 2 : 1);

    terms->material = material;
    terms->pawnStructure = pawnStructure;
    terms->knightMobility = w.knightMobility - b.knightMobility;
    terms->bishopMobility = w.bishopMobility - b.bishopMobility;
    terms->rookTerms = rookTerms;
    terms->queenMobility = w.queenMobility - b.queenMobility;
    terms->pawnAdvancement = pawnAdvancement;
    terms->kingTerm = king;
    terms->endgame = endgame ? 1 : 0;
    terms->trivialDraw = 0;
    return material + pawnStructure + terms->knightMobility + terms->bishopMobility + rookTerms +
           terms->queenMobility + pawnAdvancement + king;
}

// The score for the side to move, with the tempo bonus; 0 for a trivial draw.
template <bool Popcount>
[[gnu::always_inline]] inline i32 sideToMoveScore(const Board* board, PawnCache* cache) {
    EvalTerms terms;
    const i32 white = scorePosition<Popcount>(board, &terms, cache);
    if (terms.trivialDraw) return 0;
    return board->sideToMove == WHITE ? white + bonusTempo : bonusTempo - white;
}

// The same code compiled twice: once for processors with a popcount
// instruction (asked of the processor at start-up) and once for any x86.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
[[gnu::target("popcnt")]] i32 scoreWithPopcount(const Board* board, PawnCache* cache) {
    return sideToMoveScore<true>(board, cache);
}
[[gnu::target("popcnt")]] i32 termsWithPopcount(const Board* board, EvalTerms* terms) {
    return scorePosition<true>(board, terms, nullptr);
}
bool processorHasPopcount() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt");
}
const bool hasPopcount = processorHasPopcount();
#else
i32 scoreWithPopcount(const Board* board, PawnCache* cache) {
    return sideToMoveScore<false>(board, cache);
}
i32 termsWithPopcount(const Board* board, EvalTerms* terms) {
    return scorePosition<false>(board, terms, nullptr);
}
constexpr bool hasPopcount = false;
#endif

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

int kingHasCastledWhite(const Board* board) { return castledSide<WHITE>(board); }

int kingHasCastledBlack(const Board* board) { return castledSide<BLACK>(board); }

// The bishop itself must stand on the square: any other square answers 0.
template <int Side>
int bishopIsTrapped(const Board* board, int square) {
    using T = SideTraits<Side>;
    constexpr u8 bishop = T::base + 2, enemyPawn = SideTraits<T::enemy>::base;
    const int seventh = T::relativeRank(7), sixth = T::relativeRank(6);
    const u8* sq = board->squares;
    if (square == squareOf(8, seventh))
        return sq[square] == bishop && sq[squareOf(7, sixth)] == enemyPawn ? 1 : 0;
    if (square == squareOf(1, seventh))
        return sq[square] == bishop && sq[squareOf(2, sixth)] == enemyPawn ? 1 : 0;
    return 0;
}

int bishopIsTrappedWhite(const Board* board, int square) {
    return bishopIsTrapped<WHITE>(board, square);
}

int bishopIsTrappedBlack(const Board* board, int square) {
    return bishopIsTrapped<BLACK>(board, square);
}

i32 eval(const Board* board, u8* flag, PawnCache* cache) {
    *flag = 0;
    return hasPopcount ? scoreWithPopcount(board, cache) : sideToMoveScore<false>(board, cache);
}

i32 eval(const Board* board, u8* flag) { return eval(board, flag, nullptr); }

i32 evalTerms(const Board* board, EvalTerms* terms) {
    return hasPopcount ? termsWithPopcount(board, terms)
                       : scorePosition<false>(board, terms, nullptr);
}

i32 evalTermsPortable(const Board* board, EvalTerms* terms) {
    return scorePosition<false>(board, terms, nullptr);
}

void clearPawnCache(PawnCache* cache) { memset(cache, 0, sizeof *cache); }
