// Several search threads at once: the table they share without a lock, the
// pool of helpers, and searches with helpers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "hash.h"
#include "interface.h"
#include "search.h"
#include "test_util.h"
#include "threads.h"

namespace {

// ---------------------------------------------------------------------------
// The shared table

// Every field of an entry follows from its key, so a probe answered from
// the words of two different entries shows as a field that does not fit.
struct KeyedEntry {
    i32 depth;
    i32 score;
    u8 from, to;
};

KeyedEntry entryOf(u64 key) {
    return KeyedEntry{static_cast<i32>(1 + key % 50), static_cast<i32>((key >> 8) % 4000) - 2000,
                      static_cast<u8>(square88(static_cast<int>((key >> 20) & 63))),
                      static_cast<u8>(square88(static_cast<int>((key >> 26) & 63)))};
}

Move moveOf(const KeyedEntry& e) {
    return Move{e.from, e.to, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WKNIGHT};
}

class SharedTable : public SmallTableTest {};

TEST_F(SharedTable, ATornSlotAnswersNeitherOfItsPositions) {
    // A store writes the word and the lock one after the other: a probe in
    // between sees the new lock with the old word, or the reverse.
    board->hashKey2 = 5;
    const Move a = {12, 28, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WPAWN};
    const Move b = {6, 21, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WKNIGHT};
    board->hashKey = 1001;
    recordHashtable(board.get(), 4, 50, BOUND_EXACT, &a, &counters);
    HashBucket& bucket = hashtable[5];
    const u64 oldLock = bucket.lock[3], oldWord = bucket.slots.word[3];
    board->hashKey = 1001;
    recordHashtable(board.get(), 6, -70, BOUND_EXACT, &b, &counters);   // same slot, deeper
    ASSERT_EQ(slotKey(bucket, 3), 1001u);
    const u64 newLock = bucket.lock[3], newWord = bucket.slots.word[3];

    auto probeMisses = [&](u64 key) {
        board->hashKey = key;
        i32 alpha = -32000, beta = 32000;
        u8 permission = 1;
        Move hashMove = noMove;
        const i32 v =
            probeHashtable(board.get(), &alpha, &beta, &permission, 0, &hashMove, &counters);
        return v == NO_HASH_SCORE && hashMove.from == NO_SQUARE && permission == 1;
    };
    EXPECT_FALSE(probeMisses(1001)) << "the whole slot answers";
    bucket.slots.word[3] = oldWord;   // new lock, old word
    EXPECT_TRUE(probeMisses(1001));
    bucket.lock[3] = oldLock;   // old lock, old word: the first entry again
    EXPECT_FALSE(probeMisses(1001));
    bucket.slots.word[3] = newWord;   // old lock, new word
    EXPECT_TRUE(probeMisses(1001));
    bucket.lock[3] = newLock;
    EXPECT_FALSE(probeMisses(1001));
    // Two positions' halves: neither position is answered.
    board->hashKey = 2002;
    recordHashtable(board.get(), 9, 10, BOUND_EXACT, &a, &counters);   // slot 2
    ASSERT_EQ(slotKey(bucket, 2), 2002u);
    bucket.lock[3] = bucket.lock[2];
    EXPECT_TRUE(probeMisses(1001));
    EXPECT_FALSE(probeMisses(2002)) << "slot 2 itself is whole";
    bucket.lock[2] ^= 1;
    EXPECT_TRUE(probeMisses(2002));
}

TEST_F(SharedTable, ConcurrentStoresAndProbesNeverMixTwoEntries) {
    // Threads store and probe a few buckets at once, every entry made from
    // its own key: whatever a probe answers must fit the key it asked for.
    constexpr int threads = 4, operations = 60000, keys = 512, buckets = 8;
    std::vector<u64> pool(keys);
    std::mt19937_64 seed(11);
    for (u64& k : pool) k = seed() | 1;
    std::atomic<int> wrong{0}, hits{0};
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; t++) {
        workers.emplace_back([&, t] {
            auto b = std::make_unique<Board>();
            HashCounters own;
            std::mt19937_64 rng(static_cast<u64>(t) + 100);
            for (int i = 0; i < operations; i++) {
                const u64 key = pool[rng() % keys];
                b->hashKey = key;
                b->hashKey2 = key % buckets;
                b->ply = 0;
                const KeyedEntry e = entryOf(key);
                if (rng() & 1) {
                    const Move m = moveOf(e);
                    recordHashtable(b.get(), e.depth, e.score, BOUND_EXACT, &m, &own);
                    continue;
                }
                i32 alpha = -32000, beta = 32000;
                u8 permission = 1;
                Move hashMove = noMove;
                const i32 v =
                    probeHashtable(b.get(), &alpha, &beta, &permission, 0, &hashMove, &own);
                if (v == NO_HASH_SCORE) continue;
                hits++;
                if (v != e.score || hashMove.from != e.from || hashMove.to != e.to) wrong++;
            }
        });
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(hits.load(), 1000) << "the probes must find entries for the test to mean anything";
}

TEST_F(SharedTable, EveryBucketAnyThreadStoredIntoIsEmptiedByTheNextClear) {
    // Neighbouring buckets share a word of written marks: threads marking it
    // at once must not lose each other's bits, or a clear would skip a bucket.
    constexpr int threads = 4, spread = 4096;
    for (int round = 0; round < 5; round++) {
        std::vector<std::thread> workers;
        workers.reserve(threads);
        for (int t = 0; t < threads; t++) {
            workers.emplace_back([t] {
                auto b = std::make_unique<Board>();
                HashCounters own;
                const Move m = {12, 28, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WPAWN};
                for (int k = t; k < spread; k += threads) {
                    b->hashKey = static_cast<u64>(k) * 7919 + 1;
                    b->hashKey2 = static_cast<u64>(k);
                    b->ply = 0;
                    recordHashtable(b.get(), 3, 10, BOUND_EXACT, &m, &own);
                }
            });
        }
        for (std::thread& w : workers) w.join();
        clearHashtable(hashSize);
        int left = 0;
        for (int k = 0; k < spread; k++)
            for (int i = 0; i < 4; i++)
                if (hashtable[k].depth[i] != -1 || slotKey(hashtable[k], i) != 0) left++;
        ASSERT_EQ(left, 0) << "round " << round;
    }
}

// ---------------------------------------------------------------------------
// Searches with helpers

// Replays a line from the FEN: true when every move is legal in turn.
bool lineIsLegal(const char* fen, const PvLine& line) {
    auto board = newBoard(fen);
    for (u32 i = 0; i < line.count; i++) {
        Move m;
        char text[8];
        moveToText(&line.moves[i], text);
        if (!inputMoveLegal(board.get(), text, &m)) return false;
        if (!playGameMove(board.get(), &m)) return false;
    }
    return true;
}

class SearchThreads : public SmallTableTest {
protected:
    void SetUp() override {
        SmallTableTest::SetUp();
        searchOutput = false;
        searchClock = timer;
    }
    void TearDown() override {
        SmallTableTest::TearDown();
        setSearchThreads(1);
        searchOutput = true;
    }

    // The driver to depth on the FEN from empty tables; the move it plays.
    Move searchFen(const char* fen, int depth, i32 budget = INT32_MAX) {
        clearSearchTables();
        board = newBoard(fen);
        Move m;
        searchToDepth(board.get(), &m, budget, depth);
        // The driver returns with its move once it has told the helpers to
        // stop; their records are read once they have.
        waitForHelpers();
        return m;
    }
};

TEST_F(SearchThreads, AMoveFromTheTableIsOnlyUsedWhereItIsGenerated) {
    // Entries for the root that name moves the position does not have (from
    // an empty square, a bishop's move for a knight, a pinned piece's move,
    // a capture of nothing) and drafts too small to answer: the search
    // orders and plays only its own moves, and finds what it finds without them.
    const char* fen = "4k3/4r3/8/8/8/2N5/4B3/4K3 w - - 0 1";   // the bishop is pinned
    ASSERT_EQ(setSearchThreads(1), 1);
    const Move clean = searchFen(fen, 5);
    const i32 cleanScore = searchThread(0)->completedScore;
    const i64 cleanNodes = searchThread(0)->globalNodes;
    const Move bogus[] = {{static_cast<u8>(sq("a4")), static_cast<u8>(sq("a5")), MF_NORMAL, EMPTY,
                           0, EMPTY, 0, NO_SQUARE, WPAWN},
                          {static_cast<u8>(sq("c3")), static_cast<u8>(sq("c5")), MF_NORMAL, EMPTY,
                           0, EMPTY, 0, NO_SQUARE, WKNIGHT},
                          {static_cast<u8>(sq("e2")), static_cast<u8>(sq("b5")), MF_NORMAL, EMPTY,
                           0, EMPTY, 0, NO_SQUARE, WBISHOP},
                          {static_cast<u8>(sq("c3")), static_cast<u8>(sq("d5")),
                           MF_NORMAL | MF_CAPTURE, BQUEEN, 0, EMPTY, 0, NO_SQUARE, WKNIGHT}};
    for (const Move& b : bogus) {
        board = newBoard(fen);
        clearSearchTables();
        recordHashtable(board.get(), 1, 30000, BOUND_EXACT, &b, &counters);
        Move m;
        searchToDepth(board.get(), &m, INT32_MAX, 5);
        const SearchThread* main = searchThread(0);
        EXPECT_TRUE(lineIsLegal(fen, main->completedLine));
        EXPECT_TRUE(sameMove(m, clean));
        EXPECT_EQ(main->completedScore, cleanScore);
        EXPECT_EQ(main->globalNodes, cleanNodes) << "the entry changed the move ordering";
    }
}

TEST_F(SearchThreads, HelpersAreMadeOnceReusedAndResized) {
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    ASSERT_EQ(setSearchThreads(3), 3);
    ASSERT_EQ(searchThreadCount(), 3);
    SearchThread* helpers[2] = {searchThread(1), searchThread(2)};
    const auto tasks = [] {
        int n = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator("/proc/self/task"))
            n++;
        return n;
    };
    const int tasksBefore = tasks();
    for (int search = 0; search < 4; search++) {
        const Move m = searchFen(fen, 6);
        EXPECT_NE(m.from, NO_SQUARE);
        EXPECT_TRUE(lineIsLegal(fen, searchThread(0)->completedLine));
        // Each helper searched this root, and has stopped: its count is final.
        for (int i = 1; i < 3; i++) {
            EXPECT_GT(searchThread(i)->globalNodes, 0) << "helper " << i;
            EXPECT_EQ(searchThread(i)->sharedNodes.load(), searchThread(i)->globalNodes);
        }
        EXPECT_EQ(searchNodes(), static_cast<i64>(searchThread(0)->globalNodes) +
                                     searchThread(1)->globalNodes + searchThread(2)->globalNodes);
        EXPECT_EQ(searchThread(1), helpers[0]) << "the same helper, not a new one";
        EXPECT_EQ(searchThread(2), helpers[1]);
    }
    EXPECT_EQ(tasks(), tasksBefore) << "no thread made per search";
    // Smaller: the first helper stays; larger: a new one joins it; one: none.
    EXPECT_EQ(setSearchThreads(2), 2);
    EXPECT_EQ(searchThread(1), helpers[0]);
    EXPECT_EQ(tasks(), tasksBefore - 1);
    EXPECT_EQ(setSearchThreads(4), 4);
    EXPECT_EQ(tasks(), tasksBefore + 1);
    EXPECT_NE(searchFen(fen, 5).from, NO_SQUARE);
    EXPECT_EQ(setSearchThreads(1), 1);
    EXPECT_EQ(tasks(), tasksBefore - 2);
    EXPECT_EQ(setSearchThreads(0), 1) << "at least the main thread";
    EXPECT_EQ(setSearchThreads(MAX_SEARCH_THREADS + 5), MAX_SEARCH_THREADS);
    EXPECT_EQ(setSearchThreads(1), 1);
}

TEST_F(SearchThreads, MoreThreadsThanCoresFindTheSameMate) {
    // Two rooks mate in three: eight threads on a two-core machine find it,
    // with its exact distance, and stop with the main thread.
    const char* fen = "8/8/6k1/R7/8/8/8/1R5K w - - 0 1";
    ASSERT_EQ(setSearchThreads(8), 8);
    const Move m = searchFen(fen, 6);
    EXPECT_NE(m.from, NO_SQUARE);
    EXPECT_EQ(searchThread(0)->completedScore, 32000 - 5);
    EXPECT_TRUE(lineIsLegal(fen, searchThread(0)->completedLine));
    i64 helperNodes = 0;
    for (int i = 1; i < 8; i++) helperNodes += searchThread(i)->globalNodes;
    EXPECT_GT(helperNodes, 0);
    // Every helper has stopped: their counts do not move any more.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    i64 later = 0;
    for (int i = 1; i < 8; i++) later += searchThread(i)->sharedNodes.load();
    EXPECT_EQ(later, helperNodes);
}

TEST_F(SearchThreads, AClockEndsTheHelpersWithTheMainThread) {
    // A budget of 100 ms: the whole search, helpers included, ends within
    // the hard limit and a poll, whatever the number of threads.
    const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    for (int threads : {1, 2, 4}) {
        ASSERT_EQ(setSearchThreads(threads), threads);
        const auto start = std::chrono::steady_clock::now();
        const Move m = searchFen(fen, MAX_ITERATIONS, 100);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        EXPECT_NE(m.from, NO_SQUARE) << threads;
        EXPECT_LT(ms, 5000) << threads << " threads: the helpers did not stop";
    }
}

}   // namespace
