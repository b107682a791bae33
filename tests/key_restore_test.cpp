// Taking a move back by the saved keys leaves the board exactly as the
// second updateHashKey call does: keys, and the key history the repetition
// test reads, null moves in between included.
#include <gtest/gtest.h>

#include <cstring>

#include "attack.h"
#include "test_util.h"

namespace {

struct Walk {
    Board* undone;     // takes moves back by a second updateHashKey
    Board* restored;   // takes them back by restoreHashKeys
    int compared = 0;

    void expectSame(const char* where) {
        compared++;
        ASSERT_EQ(undone->hashKey, restored->hashKey) << where;
        ASSERT_EQ(undone->hashKey2, restored->hashKey2) << where;
        // The entries past gamePly too: a null move later steps onto them.
        const u32 last = undone->gamePly + 3;
        ASSERT_EQ(restored->gamePly, undone->gamePly) << where;
        ASSERT_EQ(memcmp(undone->hashHistory, restored->hashHistory, (last + 1) * sizeof(u64)), 0)
            << where;
    }

    void moves(int depth, bool nullHere) {
        if (depth == 0) return;
        // Both boards generate: legality tests leave traces on the board.
        MoveList list, same;
        const u32 n = generateMoves(undone, &list, 1);
        ASSERT_EQ(generateMoves(restored, &same, 1), n);
        for (u32 i = 0; i < n; i++) {
            Move a = list.moves[i], b = same.moves[i];
            const u64 key = restored->hashKey, key2 = restored->hashKey2;
            makeMove(undone, &a);
            updateHashKey(undone, &a);
            makeMove(restored, &b);
            updateHashKey(restored, &b);
            moves(depth - 1, nullHere);
            updateHashKey(undone, &a);
            unmakeMove(undone, &a);
            restoreHashKeys(restored, key, key2);
            unmakeMove(restored, &b);
            expectSame("after a move");
            if (::testing::Test::HasFatalFailure()) return;
        }
        if (nullHere && !sideToMoveInCheck(undone)) {
            Move a{}, b{};
            makeNullmove(undone, &a);
            makeNullmove(restored, &b);
            moves(depth - 1, false);
            unmakeNullmove(undone, &a);
            unmakeNullmove(restored, &b);
            expectSame("after a null move");
        }
    }
};

TEST(KeyRestore, SavedKeysTakeEveryKindOfMoveBackExactly) {
    // Castling both ways, en passant, promotions with and without capture,
    // checks, and a long game history before the walk.
    const char* fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "8/2p5/3p4/KP5r/1R3pPk/8/4P3/8 b - g3 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    };
    for (const char* fen : fens) {
        auto undone = newBoard(fen);
        auto restored = newBoard(fen);
        // A game behind the position: stale entries everywhere.
        for (u32 g = 0; g < 40; g++) {
            undone->hashHistory[g] = restored->hashHistory[g] = 0x9e3779b97f4a7c15ull * (g + 1);
        }
        undone->gamePly = restored->gamePly = 30;
        undone->hashHistory[30] = restored->hashHistory[30] = undone->hashKey;
        Walk walk{undone.get(), restored.get()};
        walk.moves(3, true);
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << fen;
        EXPECT_GT(walk.compared, 100) << fen;
        // The whole key history, and the position itself, after the walk.
        EXPECT_EQ(memcmp(undone->hashHistory, restored->hashHistory, sizeof undone->hashHistory), 0)
            << fen;
        EXPECT_EQ(memcmp(undone->squares, restored->squares, sizeof undone->squares), 0) << fen;
        EXPECT_EQ(undone->hashKey, restored->hashKey) << fen;
        EXPECT_EQ(undone->hashKey2, restored->hashKey2) << fen;
        EXPECT_EQ(undone->castlingStatus, restored->castlingStatus) << fen;
        EXPECT_EQ(undone->epSquare, restored->epSquare) << fen;
        EXPECT_EQ(undone->sideToMove, restored->sideToMove) << fen;
    }
}

}   // namespace
