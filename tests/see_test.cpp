// Static exchange evaluation: material won or lost on one square.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "board.h"
#include "hash.h"
#include "movegen.h"
#include "see.h"
#include "utils.h"
#include "test_util.h"

namespace {

i32 seeOf(const char* fen, const char* text) {
    auto board = newBoard(fen);
    Move move = findMove(board.get(), text);
    return see(board.get(), &move);
}

TEST(See, WinsAnUndefendedPieceWhole) {
    EXPECT_EQ(seeOf("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5"), 330);
    EXPECT_EQ(seeOf("4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1", "d2d5"), 1050);
}

TEST(See, QueenTakingAPawnDefendedByAPawnLosesTheQueen) {
    EXPECT_EQ(seeOf("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5"), 100 - 1050);
}

TEST(See, QuietMovesScoreZeroOrTheHangingPiece) {
    EXPECT_EQ(seeOf("4k3/8/8/8/8/8/8/1N2K3 w - - 0 1", "b1c3"), 0);
    // The pawn on b4 takes a knight on c3 for nothing, but not one on d2.
    EXPECT_EQ(seeOf("4k3/8/8/8/1p6/8/8/1N2K3 w - - 0 1", "b1c3"), -330);
    EXPECT_EQ(seeOf("4k3/8/8/8/1p6/8/8/1N2K3 w - - 0 1", "b1d2"), 0);
}

TEST(See, XrayRookBehindTheFirstIsFoundOnceTheFileOpens) {
    // Rd2xd5 Rd8xd5 Rd1xd5: the second white rook only sees d5 after d2 empties.
    EXPECT_EQ(seeOf("3r2k1/8/8/3r4/8/8/3R4/3R2K1 w - - 0 1", "d2d5"), 540);
    // Without it the exchange is even.
    EXPECT_EQ(seeOf("3r2k1/8/8/3r4/8/8/3R4/6K1 w - - 0 1", "d2d5"), 0);
}

// The white king taking on d2, built by hand: the legal generator would
// refuse it where d2 is defended.
Move kingTakesD2() {
    Move m;
    std::memset(&m, 0, sizeof m);
    m.from = 4;
    m.to = 19;
    m.flags = MF_NORMAL | MF_CAPTURE;
    m.captured = BPAWN;
    m.promotion = EMPTY;
    m.piece = WKING;
    return m;
}

TEST(See, KingsNeverRecaptureIntoAnAttack) {
    // Rxd7: the black king may not retake while the bishop on h3 covers d7.
    EXPECT_EQ(seeOf("3k4/3p4/8/8/8/7B/8/3RK3 w - - 0 1", "d1d7"), 100);
    // Without the bishop the king retakes the rook.
    EXPECT_EQ(seeOf("3k4/3p4/8/8/8/8/8/3RK3 w - - 0 1", "d1d7"), 100 - 540);
    // A king taking an undefended pawn wins it; taking a defended one puts
    // the king en prise.
    Move kxd2 = kingTakesD2();
    auto board = newBoard("4k3/8/8/8/8/8/3p4/4K3 w - - 0 1");
    EXPECT_EQ(see(board.get(), &kxd2), 100);
    board = newBoard("4k3/8/8/8/8/2b5/3p4/4K3 w - - 0 1");
    EXPECT_EQ(see(board.get(), &kxd2), -32000);
}

TEST(See, PromotionsInsideTheExchangeCountTheNewPiece) {
    // Rc2xc8 (bishop), b7xc8=Q: the recapture changes the balance by the rook
    // and by the queen's full value; the pawn it used to be is not subtracted.
    EXPECT_EQ(seeOf("2B5/1P6/8/8/8/8/2r5/k6K b - - 0 1", "c2c8"), 330 - 540 - 1050);
    // The evaluated move's own promotion adds nothing beyond its capture.
    EXPECT_EQ(seeOf("2r1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7c8q"), 540);
    EXPECT_EQ(seeOf("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q"), 0);
}

TEST(See, AttackersComeInGenerationOrder) {
    // d5 is attacked by a pawn (e4), a knight (f4), a bishop (g8), a queen
    // (h5), a rook (d1) and the king (c4): pawns, knights, diagonal pieces,
    // straight-line pieces in direction order, king.
    auto board = newBoard("6B1/k7/8/3p3Q/2K1PN2/8/8/3R4 w - - 0 1");
    MoveList* list = testList(1);
    const u32 n = seeGenerateMovesWhite(board.get(), list, 67);   // d5
    ASSERT_EQ(n, 6u);
    const int expectedFrom[] = {52, 53, 118, 71, 3, 50};   // e4 f4 g8 h5 d1 c4
    for (int i = 0; i < 6; i++) EXPECT_EQ(list->moves[i].from, expectedFrom[i]) << i;
    EXPECT_EQ(seeGenerateMovesBlack(board.get(), list, 52), 1u) << "only d5xe4";
}

TEST(See, LeavesPositionAndKeysAsFound) {
    auto board = newBoard("3r2k1/8/8/3r4/8/8/3R4/3R2K1 w - - 0 1");
    auto copy = std::make_unique<Board>(*board);
    Move move = findMove(board.get(), "d2d5");
    see(board.get(), &move);
    EXPECT_EQ(std::memcmp(board->squares, copy->squares, sizeof board->squares), 0);
    EXPECT_EQ(std::memcmp(board->whitePieces, copy->whitePieces, sizeof board->whitePieces), 0);
    EXPECT_EQ(std::memcmp(board->blackPieces, copy->blackPieces, sizeof board->blackPieces), 0);
    EXPECT_EQ(board->materialBalance, copy->materialBalance);
    EXPECT_EQ(board->hashKey, copy->hashKey);
    EXPECT_EQ(board->hashKey2, copy->hashKey2);
    EXPECT_EQ(board->ply, copy->ply);
    EXPECT_EQ(board->gamePly, copy->gamePly);
    EXPECT_EQ(board->sideToMove, copy->sideToMove);
}

}   // namespace
