// Move generator and make/unmake checked against leaf counts from an
// independent program. Debug builds also check the board's invariants after
// every make and unmake (asserts in the board module).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debug.h"
#include "test_util.h"

namespace {

#ifdef NDEBUG
constexpr u64 quickLimit = 3000000;
#else
constexpr u64 quickLimit = 120000;
#endif

void runSuite(u64 low, u64 high) {
    const auto cases = loadPerftSuite("perft.epd");
    ASSERT_GE(cases.size(), 25u);
    int checked = 0;
    for (const PerftCase& c : cases) {
        auto board = newBoard(c.fen.c_str());
        for (auto [depth, expected] : c.depths) {
            if (expected < low || expected > high) continue;
            const u64 key = board->hashKey;
            EXPECT_EQ(perftLeaves(board.get(), depth), expected) << c.fen << " depth " << depth;
            EXPECT_EQ(board->hashKey, key);
            EXPECT_EQ(board->ply, 0u);
            EXPECT_EQ(board->gamePly, 0u);
            EXPECT_TRUE(boardIsConsistent(board.get()));
            checked++;
        }
    }
    EXPECT_GT(checked, 0);
}

}   // namespace

TEST(Perft, StartPositionWrapperCountsOrdinaryDepths) {
    auto board = newBoard();
    EXPECT_EQ(perftLeaves(board.get(), 1), 20u);
    EXPECT_EQ(perftLeaves(board.get(), 2), 400u);
    u64 nodes = 0;
    debugPerft(board.get(), 2, &nodes);   // depth + 1 plies
    EXPECT_EQ(nodes, 8902u);
}

TEST(Perft, NoLegalMoveCountsNothing) {
    auto mate = newBoard("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    u64 nodes = 0;
    debugPerft(mate.get(), 3, &nodes);
    EXPECT_EQ(nodes, 0u);
    auto stalemate = newBoard("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(perftLeaves(stalemate.get(), 2), 0u);
}

TEST(Perft, SuiteAtQuickDepths) { runSuite(0, quickLimit); }

// Deeper levels: Release only (label slow).
TEST(PerftSlow, SuiteAtDeepDepths) {
#ifndef NDEBUG
    GTEST_SKIP() << "deep perft runs in Release builds only";
#else
    runSuite(quickLimit + 1, 250000000);
#endif
}
