// Transposition table: slot choice, mate-score conversion, probe rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "hash.h"
#include "interface.h"
#include "test_util.h"

namespace {

class Hashtable : public SmallTableTest {
protected:
    void SetUp() override {
        SmallTableTest::SetUp();
        at(1, 5);
    }

    // Puts the board on a "position" with this lock key in this bucket:
    // the table reads nothing else of the board but ply.
    void at(u64 lock, u64 bucket) {
        board->hashKey = lock;
        board->hashKey2 = bucket;
    }

    static Move moveTo(u8 to) {
        return Move{12, to, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WPAWN};
    }

    i32 probe(i32 alpha, i32 beta, i32 depth, Move* hashMove, u8* permission) {
        return probeHashtable(board.get(), &alpha, &beta, permission, depth, hashMove, &counters);
    }

    i32 probe(i32 alpha, i32 beta, i32 depth) {
        Move m = moveTo(NO_SQUARE);
        m.from = NO_SQUARE;
        u8 permission = 1;
        return probe(alpha, beta, depth, &m, &permission);
    }

    const HashBucket& bucket(u64 index) { return hashtable[index]; }
};

TEST_F(Hashtable, EmptyBucketFillsFromTheLastSlotDown) {
    const i32 drafts[5] = {0, 3, 1, 3, 3};
    for (u64 lock = 1; lock <= 4; lock++) {
        at(lock, 5);
        const Move m = moveTo(static_cast<u8>(lock));
        recordHashtable(board.get(), drafts[lock], 0, 0, &m, &counters);
    }
    for (int slot = 0; slot < 4; slot++)
        EXPECT_EQ(slotKey(bucket(5), slot), static_cast<u64>(4 - slot));

    // A fifth position replaces the shallowest slot, the later one on ties.
    const Move m = moveTo(40);
    at(9, 5);
    recordHashtable(board.get(), 7, 0, 0, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 2), 9u);
    at(10, 5);
    recordHashtable(board.get(), 7, 0, 0, &m, &counters);   // drafts 3, 3, 7, 3: slot 3
    EXPECT_EQ(slotKey(bucket(5), 3), 10u);
    EXPECT_EQ(slotKey(bucket(5), 0), 4u);
    EXPECT_EQ(slotKey(bucket(5), 1), 3u);
}

TEST_F(Hashtable, SamePositionOverwritesOnlyWhenAtLeastAsDeep) {
    const Move a = moveTo(40), b = moveTo(41), c = moveTo(42);
    recordHashtable(board.get(), 5, 10, 0, &a, &counters);   // slot 3
    recordHashtable(board.get(), 5, 20, 0, &b, &counters);   // equal draft: own slot
    EXPECT_EQ(slotKey(bucket(5), 3), 1u);
    EXPECT_EQ(bucket(5).score[3], 20);
    EXPECT_EQ(slotKey(bucket(5), 2), 0u);

    // Shallower: goes to the shallowest slot (the empty slot 2), and the probe
    // meets the deeper entry first only when it sits in a lower slot.
    recordHashtable(board.get(), 2, 30, 0, &c, &counters);
    EXPECT_EQ(slotKey(bucket(5), 2), 1u);
    EXPECT_EQ(bucket(5).depth[2], 2);
    EXPECT_EQ(probe(-100, 100, 1), 30) << "slot 2 answers before slot 3";
    EXPECT_EQ(probe(-100, 100, 4), 20) << "only the deep entry has the draft";
}

TEST_F(Hashtable, BucketOfVeryDeepDraftsTakesNothing) {
    const Move m = moveTo(40);
    for (u64 lock = 1; lock <= 4; lock++) {
        at(lock, 5);
        recordHashtable(board.get(), 300, 0, 0, &m, &counters);
    }
    at(7, 5);
    counters.hashStores = 0;
    recordHashtable(board.get(), 3, 0, 0, &m, &counters);
    EXPECT_EQ(counters.hashStores, 1) << "counted even though nothing was stored";
    for (int slot = 0; slot < 4; slot++) EXPECT_NE(slotKey(bucket(5), slot), 7u);
}

TEST_F(Hashtable, MateScoresAreStoredRelativeToTheNode) {
    const Move m = moveTo(40);
    board->ply = 5;
    recordHashtable(board.get(), 4, 31990, 0, &m, &counters);
    EXPECT_EQ(bucket(5).score[3], 31995);
    board->ply = 3;
    EXPECT_EQ(probe(-32000, 32000, 4), 31992);

    at(2, 6);
    board->ply = 5;
    recordHashtable(board.get(), 4, -31990, 0, &m, &counters);
    EXPECT_EQ(bucket(6).score[3], -31995);
    board->ply = 3;
    EXPECT_EQ(probe(-32000, 32000, 4), -31992);

    // The bounds themselves are ordinary scores.
    at(3, 7);
    board->ply = 5;
    recordHashtable(board.get(), 4, 20000, 0, &m, &counters);
    EXPECT_EQ(bucket(7).score[3], 20000);
    at(4, 8);
    recordHashtable(board.get(), 4, -20000, 0, &m, &counters);
    EXPECT_EQ(bucket(8).score[3], -20000);
    board->ply = 3;
    EXPECT_EQ(probe(-32000, 32000, 4), -20000);
}

TEST_F(Hashtable, BoundsAnswerOnlyOnTheirSideOfTheWindow) {
    const Move m = moveTo(40);
    at(1, 1);
    recordHashtable(board.get(), 4, 50, 0, &m, &counters);   // exact
    at(2, 2);
    recordHashtable(board.get(), 4, 50, 2, &m, &counters);   // lower bound
    at(3, 3);
    recordHashtable(board.get(), 4, 50, 1, &m, &counters);   // upper bound

    at(1, 1);
    EXPECT_EQ(probe(100, 200, 4), 50);
    EXPECT_EQ(probe(-200, -100, 3), 50);
    EXPECT_EQ(probe(-200, 200, 5), NO_HASH_SCORE) << "draft too small";

    at(2, 2);
    EXPECT_EQ(probe(0, 50, 4), 50);
    EXPECT_EQ(probe(0, 51, 4), NO_HASH_SCORE);

    at(3, 3);
    EXPECT_EQ(probe(50, 60, 4), 50);
    EXPECT_EQ(probe(49, 60, 4), NO_HASH_SCORE);
}

TEST_F(Hashtable, ProbeHandsOutMoveAndNullVerdictEvenWithoutAnAnswer) {
    const Move m = moveTo(40);
    recordHashtable(board.get(), 2, -30, 1, &m, &counters);   // upper bound -30, draft 2

    Move hashMove = moveTo(0);
    hashMove.from = NO_SQUARE;
    u8 permission = 1;
    EXPECT_EQ(probe(-100, 0, 6, &hashMove, &permission), NO_HASH_SCORE);
    EXPECT_EQ(hashMove.to, 40) << "a shallow entry still supplies its move";
    EXPECT_EQ(permission, 0) << "an upper bound below beta forbids the null move";

    permission = 1;
    EXPECT_EQ(probe(-100, -30, 6, &hashMove, &permission), NO_HASH_SCORE);
    EXPECT_EQ(permission, 1) << "-30 is not below beta -30";

    // A miss leaves both untouched.
    at(99, 9);
    hashMove.to = 77;
    permission = 1;
    EXPECT_EQ(probe(-100, 100, 0, &hashMove, &permission), NO_HASH_SCORE);
    EXPECT_EQ(hashMove.to, 77);
    EXPECT_EQ(permission, 1);
}

TEST_F(Hashtable, ClearedTableAnswersNothing) {
    const Move m = moveTo(40);
    recordHashtable(board.get(), 4, 50, 0, &m, &counters);
    clearHashtable(hashSize);
    Move hashMove = moveTo(0);
    hashMove.from = NO_SQUARE;
    u8 permission = 1;
    EXPECT_EQ(probe(-100, 100, 0, &hashMove, &permission), NO_HASH_SCORE);
    EXPECT_EQ(hashMove.from, NO_SQUARE);
}

TEST_F(Hashtable, KeyIsReducedModuloTheSize) {
    const Move m = moveTo(40);
    at(1, static_cast<u64>(TEST_BUCKETS) * 1000 + 3);
    recordHashtable(board.get(), 4, 50, 0, &m, &counters);
    EXPECT_EQ(slotKey(bucket(3), 3), 1u);
}

TEST_F(Hashtable, SizeBeyondTheAllocationStoresNothing) {
    const Move m = moveTo(40);
    hashSize = 1 << 30;   // far beyond any table a test allocates
    at(1, static_cast<u64>(TEST_BUCKETS) * 2 + 1);
    recordHashtable(board.get(), 4, 50, 0, &m, &counters);
    EXPECT_EQ(probe(-100, 100, 0), NO_HASH_SCORE);
    hashSize = 0;
    recordHashtable(board.get(), 4, 50, 0, &m, &counters);
    EXPECT_EQ(probe(-100, 100, 0), NO_HASH_SCORE);
    hashSize = TEST_BUCKETS;
}

TEST_F(Hashtable, AllocationRefusesByteCountsBeyondThePlatform) {
    // The table in use stays the one allocated; nothing is half replaced.
    HashBucket* const before = hashtable;
    // 2^31 - 1 buckets are 223 GB: more than size_t holds on a 32-bit build
    // (where the byte count would wrap to a small block) and more than half
    // of any machine these tests run on.
    EXPECT_EQ(initHashtable(INT32_MAX), 0);
    if constexpr (SIZE_MAX / sizeof(HashBucket) < static_cast<u64>(INT32_MAX)) {
        // The smallest count whose byte count wraps, and one that wraps to
        // almost nothing.
        const i32 wrapping = static_cast<i32>(SIZE_MAX / sizeof(HashBucket) + 1);
        EXPECT_EQ(initHashtable(wrapping), 0);
        EXPECT_EQ(initHashtable(static_cast<i32>((static_cast<u64>(SIZE_MAX) + 1) / 8 + 1)), 0);
    }
    EXPECT_EQ(initHashtable(0), 0);
    EXPECT_EQ(initHashtable(-1), 0);
    EXPECT_EQ(hashtable, before);
}

TEST_F(Hashtable, EntriesOfEarlierSearchesStayWholeAndStillAnswer) {
    // A new search rewrites nothing: a horizon entry of the last search is
    // no empty slot, keeps its draft and answers as it did.
    const Move m = moveTo(40);
    recordHashtable(board.get(), 0, 50, BOUND_EXACT, &m, &counters);
    at(2, 5);
    recordHashtable(board.get(), 3, 60, BOUND_EXACT, &m, &counters);
    const int usage = hashtableUsage();
    EXPECT_GT(usage, 0);
    newHashGeneration();
    EXPECT_EQ(hashtableUsage(), usage) << "an old entry is not an empty one";
    EXPECT_EQ(bucket(5).depth[3], 0);
    EXPECT_EQ(bucket(5).depth[2], 3);
    EXPECT_EQ(bucket(5).depth[1], -1) << "empty slots stay empty";
    EXPECT_EQ(probe(-100, 100, 3), 60);
    EXPECT_EQ(probe(-100, 100, 4), NO_HASH_SCORE);
    at(1, 5);
    EXPECT_EQ(probe(-100, 100, 0), 50);
    EXPECT_EQ(probe(-100, 100, -1), 50) << "as within the search that stored it";
}

TEST_F(Hashtable, ANewSearchReplacesEmptySlotsThenOldOnesThenItsOwnShallowest) {
    // Slots 3 and 2: deep entries of the last search; then this search's
    // shallow ones in slots 1 and 0.
    const Move m = moveTo(40);
    at(11, 5);
    recordHashtable(board.get(), 9, 1, BOUND_EXACT, &m, &counters);
    at(12, 5);
    recordHashtable(board.get(), 8, 2, BOUND_EXACT, &m, &counters);
    newHashGeneration();
    at(13, 5);
    recordHashtable(board.get(), 1, 3, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 1), 13u) << "an empty slot before any old one";
    at(14, 5);
    recordHashtable(board.get(), 1, 4, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 0), 14u);
    // Full: the shallower old entry goes first, though deeper than ours.
    at(15, 5);
    recordHashtable(board.get(), 0, 5, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 2), 15u);
    at(16, 5);
    recordHashtable(board.get(), 0, 6, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 3), 16u);
    // Only this search's entries left: the shallowest, the later of equals.
    at(17, 5);
    recordHashtable(board.get(), 2, 7, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 3), 17u);
    // An old entry of the same position gives way even to a shallower draft.
    newHashGeneration();
    at(17, 5);
    recordHashtable(board.get(), 1, 8, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(slotKey(bucket(5), 3), 17u);
    EXPECT_EQ(bucket(5).score[3], 8);
    EXPECT_EQ(bucket(5).depth[3], 1);
    // Within one search a deeper entry of the position stays.
    recordHashtable(board.get(), 0, 9, BOUND_EXACT, &m, &counters);
    EXPECT_EQ(bucket(5).score[3], 8);
}

}   // namespace
