// Attack-delta table, attack queries, check and legality tests.
#include <gtest/gtest.h>

#include "attack.h"
#include "legality.h"
#include "test_util.h"

TEST(Attack, DeltaTableEntries) {
    EXPECT_EQ(attackDeltaTable[0][119], 17);
    EXPECT_EQ(attackDeltaTable[0][7], 1);
    EXPECT_EQ(attackDeltaTable[7][0], -1);
    EXPECT_EQ(attackDeltaTable[0][33], 33);
    EXPECT_EQ(attackDeltaTable[0][34], 17);
    EXPECT_EQ(attackDeltaTable[0][35], 0);
    EXPECT_EQ(attackDeltaTable[4][4], 0);
    EXPECT_EQ(attackDeltaTable[119][0], -17);
    EXPECT_EQ(attackDeltaTable[sq("e4")][sq("e8")], 16);
    EXPECT_EQ(attackDeltaTable[sq("e4")][sq("f6")], 33);
    EXPECT_EQ(attackDeltaTable[sq("e4")][sq("g5")], 18);
}

// The hot paths read the steps by square difference: the same answer for
// every pair of squares on the board.
TEST(Attack, StepByDifferenceAgreesWithTheDeltaTable) {
    for (int from = 0; from < 128; from++) {
        for (int to = 0; to < 128; to++) {
            if (!onBoard(from) || !onBoard(to)) continue;
            ASSERT_EQ(attackStep(from, to), attackDeltaTable[from][to]) << from << " " << to;
        }
    }
}

TEST(Attack, PlainQueriesInStartPosition) {
    auto b = newBoard();
    for (int f = 0; f < 8; f++) {
        EXPECT_EQ(isAttackedSimple(b.get(), 32 + f, BLACK), 0) << f;   // rank 3
        EXPECT_EQ(isAttackedSimple(b.get(), 80 + f, BLACK), 1) << f;   // rank 6
        EXPECT_EQ(isAttackedSquareWhite(b.get(), 32 + f), 1);
        EXPECT_EQ(isAttackedSquareBlack(b.get(), 80 + f), 1);
    }
    EXPECT_EQ(isAttackedSimple(b.get(), sq("e4"), WHITE), 0);
    EXPECT_EQ(isAttackedSimple(b.get(), sq("e4"), BLACK), 0);
}

TEST(Attack, DeltaQueriesSeeLinesThroughTheKing) {
    auto b = newBoard("r3k3/8/8/8/K7/8/8/8 w - - 0 1");
    EXPECT_EQ(isAttackedDeltaSquareBlack(b.get(), sq("a4")), 1);
    EXPECT_EQ(isAttacked(b.get(), sq("a4"), BLACK), 1);
    ASSERT_TRUE(setupFen(b.get(), "r3k3/8/P7/8/K7/8/8/8 w - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareBlack(b.get(), sq("a4")), 0);
    // Behind the king on the rook's line: attacked for the delta query, not
    // for the plain one (the king shields it there).
    ASSERT_TRUE(setupFen(b.get(), "r3k3/8/8/8/K7/8/8/8 w - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareBlack(b.get(), sq("a3")), 1);
    EXPECT_EQ(isAttackedSimple(b.get(), sq("a3"), BLACK), 0);
    // A knight jump onto a square without the white king is no attack.
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/2n5/8/7K w - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareBlack(b.get(), sq("d1")), 0);
    EXPECT_EQ(isAttackedSimple(b.get(), sq("d1"), BLACK), 1);
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/2n5/8/3K4 w - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareBlack(b.get(), sq("d1")), 1);
    // White pieces against the black king.
    ASSERT_TRUE(setupFen(b.get(), "4k3/3P4/8/8/8/8/8/4K3 b - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareWhite(b.get(), sq("e8")), 1);
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/B7/8/8/4K3 b - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareWhite(b.get(), sq("e8")), 1);
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/2p5/8/B7/8/8/4K3 b - - 0 1"));
    EXPECT_EQ(isAttackedDeltaSquareWhite(b.get(), sq("e8")), 0);
}

namespace {
int checks(const char* fen, const char* move) {
    auto b = newBoard(fen);
    Move m = findMove(b.get(), move);
    const u64 key = b->hashKey;
    const int answer = moveChecks(b.get(), &m);
    EXPECT_EQ(b->hashKey, key);
    EXPECT_EQ(b->sideToMove, fen[std::string(fen).find(' ') + 1] == 'w' ? WHITE : BLACK);
    return answer;
}
}   // namespace

TEST(Attack, MoveChecksDirect) {
    EXPECT_EQ(checks("8/8/8/4k3/8/8/8/4K1N1 w - - 0 1", "g1f3"), 1);
    EXPECT_EQ(checks("8/8/4k3/8/8/8/8/4K1N1 w - - 0 1", "g1f3"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/8/4KB2 w - - 0 1", "f1b5"), 1);
    EXPECT_EQ(checks("4k3/3p4/8/8/8/8/8/4KB2 w - - 0 1", "f1b5"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/3P4/4K3 w - - 0 1", "d2d3"), 0);
    EXPECT_EQ(checks("8/8/4k3/8/3P4/8/8/4K3 w - - 0 1", "d4d5"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "a1a8"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "a1a7"), 0);
    // Black pieces against the white king.
    EXPECT_EQ(checks("4k3/8/8/8/8/8/5p2/3K4 b - - 0 1", "f2f1q"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/5p2/3K4 b - - 0 1", "f2f1n"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/4p3/8/8/3K4 b - - 0 1", "e4e3"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/8/4p3/8/3K4 b - - 0 1", "e3e2"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/8/8/q1NK4 b - - 0 1", "a1a4"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/3n4/8/7K b - - 0 1", "d3f2"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/8/3n4/8/7K b - - 0 1", "d3c1"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/8/3n4/8/K7 b - - 0 1", "d3e5"), 0);
    EXPECT_EQ(checks("4k3/8/8/8/8/3n4/8/3K4 b - - 0 1", "d3b2"), 1);
}

TEST(Attack, MoveChecksDiscovered) {
    // Knight on e4 between a white rook on e1 and the black king on e8.
    const char* fen = "4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1";
    EXPECT_EQ(checks(fen, "e4c3"), 1);
    EXPECT_EQ(checks(fen, "e4g5"), 1);
    EXPECT_EQ(checks(fen, "e4f6"), 1);   // and a direct check besides
    // Rook behind a pawn that stays on the line: no discovery.
    EXPECT_EQ(checks("4k3/8/8/8/4P3/8/8/K3R3 w - - 0 1", "e4e5"), 0);
    // Bishop behind a knight on the diagonal.
    EXPECT_EQ(checks("7k/8/8/4N3/8/8/8/BK6 w - - 0 1", "e5c4"), 1);
    // Black rook behind its knight on the e-file.
    EXPECT_EQ(checks("4r2k/8/8/4n3/8/8/8/4K3 b - - 0 1", "e5c4"), 1);
    EXPECT_EQ(checks("4r2k/8/8/4n3/8/8/8/4K3 b - - 0 1", "e5c6"), 1);
    // A king step can uncover a line.
    EXPECT_EQ(checks("4k3/8/8/8/4K3/8/8/4R3 w - - 0 1", "e4d4"), 1);
    EXPECT_EQ(checks("4k3/8/8/8/4K3/8/8/4R3 w - - 0 1", "e4e5"), 0);
}

TEST(Attack, MoveChecksSpecialMoves) {
    // Castling puts the rook on f1 facing the king on f8.
    EXPECT_EQ(checks("5k2/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1"), 1);
    EXPECT_EQ(checks("6k1/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1"), 0);
    EXPECT_EQ(checks("r3k3/8/8/8/8/8/8/3K4 b q - 0 1", "e8c8"), 1);
    // Promotion: the new queen checks, the knight does not.
    EXPECT_EQ(checks("8/P6k/8/8/8/8/8/K7 w - - 0 1", "a7a8q"), 0);
    EXPECT_EQ(checks("7k/P7/8/8/8/8/8/K7 w - - 0 1", "a7a8q"), 1);
    EXPECT_EQ(checks("7k/P7/8/8/8/8/8/K7 w - - 0 1", "a7a8n"), 0);
    EXPECT_EQ(checks("8/P7/1k6/8/8/8/8/K7 w - - 0 1", "a7a8n"), 1);
    // En passant uncovers the rook on the fifth rank.
    EXPECT_EQ(checks("8/8/8/R2pP2k/8/8/8/K7 w - d6 0 1", "e5d6"), 1);
    EXPECT_EQ(checks("8/8/8/R2pP3/7k/8/8/K7 w - d6 0 1", "e5d6"), 0);
}

TEST(Attack, LegalityTest) {
    // King next to the enemy king.
    auto b = newBoard("8/8/8/3k4/8/3K4/8/8 w - - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("d3d4"), std::string::npos);
    EXPECT_NE(moveTexts(b.get(), 0).find("d3d4"), std::string::npos);
    // Pinned knight may not move; pinned rook moves along the pin only. The
    // king comes first in the piece list, so its steps lead.
    ASSERT_TRUE(setupFen(b.get(), "4r2k/8/8/8/8/8/4N3/4K3 w - - 0 1"));
    getHashkey(b.get());
    EXPECT_EQ(moveTexts(b.get()).find("e2"), std::string::npos);
    ASSERT_TRUE(setupFen(b.get(), "4r2k/8/8/8/8/8/4R3/4K3 w - - 0 1"));
    getHashkey(b.get());
    EXPECT_EQ(moveTexts(b.get()), "e1f1 e1d1 e1d2 e1f2 e2e3 e2e4 e2e5 e2e6 e2e7 e2e8");
}
