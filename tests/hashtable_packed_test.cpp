// The packed one-line table against the table of parallel arrays it
// replaced: the same stores, probes, clears and new searches must leave the
// same answers, null verdicts, hash moves and slot contents.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "hash.h"
#include "interface.h"
#include "test_util.h"

namespace {

constexpr i32 MATE_BOUND = 20000;

// The former bucket: four slots as parallel arrays, whole moves kept.
struct PlainBucket {
    Move move[4];
    i32 score[4];
    i32 depth[4];
    u8 type[4];
    u64 lock[4];
    int generation[4];   // the search that stored the slot
};

// The former table, word for word, over a few buckets.
struct PlainTable {
    static constexpr int SIZE = 16;
    PlainBucket buckets[SIZE];
    int generation = 0;   // the search storing now, counted modulo 64

    PlainBucket& of(const Board* board) { return buckets[board->hashKey2 % SIZE]; }

    void clear() {
        for (PlainBucket& bucket : buckets) {
            for (int i = 0; i < 4; i++) {
                bucket.lock[i] = 0;
                bucket.score[i] = NO_HASH_SCORE;
                bucket.depth[i] = -1;
                bucket.move[i].from = NO_SQUARE;
            }
        }
    }

    // A new search: earlier slots are replaced first, nothing is rewritten.
    void newSearch() { generation = (generation + 1) % 64; }

    void record(const Board* board, i32 depth, i32 score, u8 type, const Move* move) {
        PlainBucket* bucket = &of(board);
        const u64 key = board->hashKey;
        const i32 ply = static_cast<i32>(board->ply);
        if (score < -MATE_BOUND) score -= ply;
        else if (score > MATE_BOUND) score += ply;
        i32 shallowest = 256;
        int chosen = -1;
        for (int i = 0; i < 4; i++) {
            const bool old = bucket->generation[i] != generation;
            if (bucket->lock[i] == key && (depth >= bucket->depth[i] || old)) {
                chosen = i;
                break;
            }
            // Empty slots first, then those of earlier searches, then the
            // shallowest of this search.
            const i32 rank = bucket->depth[i] < 0 ? -4096
                             : old                ? bucket->depth[i] - 2048
                                                  : bucket->depth[i];
            if (rank <= shallowest) {
                shallowest = rank;
                chosen = i;
            }
        }
        if (chosen < 0) return;
        bucket->generation[chosen] = generation;
        bucket->lock[chosen] = key;
        bucket->move[chosen] = *move;
        bucket->score[chosen] = score;
        bucket->type[chosen] = type;
        bucket->depth[chosen] = depth;
    }

    i32 probe(const Board* board, const i32* alpha, const i32* beta, u8* permission, i32 depth,
              Move* hashMove, i32* hits) {
        const PlainBucket* bucket = &of(board);
        const u64 key = board->hashKey;
        const i32 ply = static_cast<i32>(board->ply);
        i32 taken = 0;
        for (int i = 0; i < 4; i++) {
            if (bucket->lock[i] != key) continue;
            (*hits)++;
            if (*permission == 1 && bucket->type[i] == 1 && bucket->score[i] < *beta)
                *permission = 0;
            if (bucket->depth[i] >= taken && bucket->move[i].from != NO_SQUARE) {
                *hashMove = bucket->move[i];
                taken = bucket->depth[i];
            }
            if (bucket->depth[i] >= depth) {
                i32 v = bucket->score[i];
                if (v < -MATE_BOUND) v += ply;
                else if (v > MATE_BOUND) v -= ply;
                if (bucket->type[i] == 0) return v;
                if (bucket->type[i] == 2 && v >= *beta) return v;
                if (bucket->type[i] == 1 && v <= *alpha) return v;
            }
        }
        return NO_HASH_SCORE;
    }
};

class PackedTable : public SmallTableTest {
protected:
    // Every slot of both tables as the other holds it: what a probe or a
    // store reads (the bound type of an empty slot too: a probe with lock 0
    // reads it).
    void expectSameSlots(const PlainTable& plain) {
        for (int b = 0; b < PlainTable::SIZE; b++) {
            const PlainBucket& old = plain.buckets[b];
            const HashBucket& now = hashtable[b];
            for (int i = 0; i < 4; i++) {
                ASSERT_EQ(slotKey(now, i), old.lock[i]) << "bucket " << b << " slot " << i;
                ASSERT_EQ(now.depth[i], old.depth[i]) << "bucket " << b << " slot " << i;
                ASSERT_EQ(now.score[i], old.score[i]) << "bucket " << b << " slot " << i;
                ASSERT_EQ(now.type[i], old.type[i]) << "bucket " << b << " slot " << i;
                ASSERT_EQ(now.move[i].from, old.move[i].from) << "bucket " << b << " slot " << i;
                if (old.move[i].from == NO_SQUARE) continue;
                ASSERT_EQ(now.move[i].to, old.move[i].to);
                ASSERT_EQ(now.move[i].flags, old.move[i].flags);
                ASSERT_EQ(now.move[i].promotion, old.move[i].promotion);
            }
        }
    }
};

Move randomMove(std::mt19937_64& rng) {
    Move m;
    const u64 r = rng();
    m.from = (r & 7) == 0 ? NO_SQUARE : static_cast<u8>(square88(static_cast<int>(r >> 3) & 63));
    m.to = static_cast<u8>(square88(static_cast<int>(r >> 9) & 63));
    m.flags = static_cast<u8>(r >> 15);
    m.promotion = static_cast<u8>((r >> 23) % 14);
    m.captured = static_cast<u8>(r >> 27) % 14;
    m.capturedIndex = static_cast<u8>(r >> 31) % 24;
    m.oldCastling = static_cast<u8>(r >> 36) & 15;
    m.oldEpSquare = NO_SQUARE;
    m.piece = static_cast<u8>(1 + (r >> 40) % 13);
    return m;
}

// Scores of every kind the search hands over: ordinary ones, the mate bounds
// themselves, mates, the window's infinities and the empty slot's score.
i32 randomScore(std::mt19937_64& rng) {
    static constexpr i32 special[] = {0,      MATE_BOUND, -MATE_BOUND,  MATE_BOUND + 1,
                                      -31999, 31999,      32000,        -32000,
                                      32100,  -32100,     NO_HASH_SCORE};
    const u64 r = rng();
    if (r % 3 == 0) return special[(r >> 8) % (sizeof special / sizeof special[0])];
    return static_cast<i32>((r >> 8) % 64001) - 32000;
}

TEST_F(PackedTable, StoresProbesClearsAndNewSearchesMatchThePlainTable) {
    std::mt19937_64 rng(20261208);
    hashSize = PlainTable::SIZE;
    PlainTable plain{};
    plain.clear();
    plain.generation = hashGeneration();

    // Fill every slot with a known bound type and empty both tables: from
    // then on even the empty slots agree in every field.
    for (int b = 0; b < PlainTable::SIZE; b++) {
        for (u64 lock = 1; lock <= 4; lock++) {
            board->hashKey = lock * 1000 + static_cast<u64>(b);
            board->hashKey2 = static_cast<u64>(b);
            const Move m = randomMove(rng);
            const u8 type = static_cast<u8>(rng() % 3);
            recordHashtable(board.get(), 0, 0, type, &m, &counters);
            plain.record(board.get(), 0, 0, type, &m);
        }
    }
    clearHashtable(hashSize);
    plain.clear();
    expectSameSlots(plain);

    // Few positions over few buckets, so that slots are shared, overwritten
    // and hit often; lock 0 is the empty slot's lock.
    for (int step = 0; step < 200000; step++) {
        board->hashKey = rng() % 48;
        board->hashKey2 = rng() % 64;
        board->ply = static_cast<u32>(rng() % 102);
        const u64 action = rng() % 1000;
        if (action < 450) {
            const i32 depth = rng() % 50 == 0 ? 300 : static_cast<i32>(rng() % 14);
            const i32 score = randomScore(rng);
            const u8 type = static_cast<u8>(rng() % 3);
            const Move m = randomMove(rng);
            recordHashtable(board.get(), depth, score, type, &m, &counters);
            plain.record(board.get(), depth, score, type, &m);
        } else if (action < 996) {
            const i32 alpha = randomScore(rng) - 1;
            const i32 beta = rng() % 2 == 0 ? alpha + 1 : randomScore(rng);
            const i32 depth = static_cast<i32>(rng() % 16) - 3;
            const Move start = randomMove(rng);
            Move moveNow = start, moveOld = start;
            const u8 permission = static_cast<u8>(rng() % 2);
            u8 permissionNow = permission, permissionOld = permission;
            i32 hitsOld = 0;
            counters.hashHits1 = 0;
            const i32 now = probeHashtable(board.get(), &alpha, &beta, &permissionNow, depth,
                                           &moveNow, &counters);
            const i32 old =
                plain.probe(board.get(), &alpha, &beta, &permissionOld, depth, &moveOld, &hitsOld);
            ASSERT_EQ(now, old) << "step " << step;
            ASSERT_EQ(permissionNow, permissionOld) << "step " << step;
            ASSERT_EQ(counters.hashHits1, hitsOld) << "step " << step;
            ASSERT_TRUE(sameMove(moveNow, moveOld)) << "step " << step;
            ASSERT_EQ(moveNow.from, moveOld.from) << "step " << step;
        } else if (action < 998) {
            newHashGeneration();
            plain.newSearch();
        } else {
            clearHashtable(hashSize);
            plain.clear();
        }
        if (step % 1000 == 0) expectSameSlots(plain);
    }
    expectSameSlots(plain);
}

TEST_F(PackedTable, ClearedTableIsEmptyEverywhereAndFillsAsAFreshOne) {
    // A new block holds whatever the memory held: the first clear must reach
    // every bucket. The table is replaced as the engine's resizing does.
    HashBucket* const old = hashtable;
    ASSERT_EQ(initHashtable(TEST_BUCKETS), 1);
    free(old);
#ifndef _WIN32
    EXPECT_EQ(reinterpret_cast<uintptr_t>(hashtable) % 64, 0u) << "one bucket, one cache line";
#endif
    memset(static_cast<void*>(hashtable), 0x5a, sizeof(HashBucket) * TEST_BUCKETS);
    std::mt19937_64 rng(7);

    for (int round = 0; round < 3; round++) {
        clearHashtable(hashSize);
        for (i32 b = 0; b < TEST_BUCKETS; b++) {
            for (int i = 0; i < 4; i++) {
                ASSERT_EQ(slotKey(hashtable[b], i), 0u) << "bucket " << b;
                ASSERT_EQ(hashtable[b].depth[i], -1) << "bucket " << b;
                ASSERT_EQ(hashtable[b].score[i], NO_HASH_SCORE) << "bucket " << b;
                ASSERT_EQ(hashtable[b].move[i].from, NO_SQUARE) << "bucket " << b;
            }
        }
        // Every probe misses and hands out nothing; every bucket fills from
        // its last slot down, as a fresh table does.
        for (u64 b = 0; b < static_cast<u64>(TEST_BUCKETS); b += 97) {
            board->hashKey2 = b;
            board->hashKey = rng() | 1;
            Move hashMove = randomMove(rng);
            const Move before = hashMove;
            u8 permission = 1;
            const i32 alpha = -32000, beta = 32000;
            EXPECT_EQ(
                probeHashtable(board.get(), &alpha, &beta, &permission, -5, &hashMove, &counters),
                NO_HASH_SCORE);
            EXPECT_EQ(permission, 1);
            EXPECT_EQ(memcmp(&hashMove, &before, sizeof(Move)), 0);
            for (int n = 0; n < 4; n++) {
                const Move m = randomMove(rng);
                board->hashKey = static_cast<u64>(n) + 1;
                recordHashtable(board.get(), 0, 0, 0, &m, &counters);
                EXPECT_EQ(slotKey(hashtable[b], 3 - n), static_cast<u64>(n + 1)) << "bucket " << b;
            }
        }
        // Stores everywhere before the next round's clear.
        for (int n = 0; n < 20000; n++) {
            board->hashKey2 = rng();
            board->hashKey = rng();
            const Move m = randomMove(rng);
            recordHashtable(board.get(), static_cast<i32>(rng() % 20), 5, 2, &m, &counters);
        }
    }
}

TEST_F(PackedTable, ClearingTheFirstBucketsLeavesTheOthers) {
    const Move m = {12, 28, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WPAWN};
    // Both sides of a mark word's edge and of the cleared count.
    const u64 buckets[] = {0, 63, 64, 99, 100, 127, 128, 200};
    for (u64 b : buckets) {
        board->hashKey2 = b;
        board->hashKey = b + 1;
        recordHashtable(board.get(), 4, 50, 0, &m, &counters);
    }
    clearHashtable(100);
    for (u64 b : buckets) {
        const bool kept = b >= 100;
        EXPECT_EQ(slotKey(hashtable[b], 3), kept ? b + 1 : 0u) << "bucket " << b;
        EXPECT_EQ(hashtable[b].depth[3], kept ? 4 : -1) << "bucket " << b;
    }
    // The buckets left alone are still emptied by the next full clear.
    clearHashtable(hashSize);
    for (u64 b : buckets) EXPECT_EQ(slotKey(hashtable[b], 3), 0u) << "bucket " << b;
}

}   // namespace
