// Move generation: order, special moves, capture generator, scan variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <memory>
#include <set>
#include <vector>

#include "attack.h"
#include "legality.h"
#include "test_util.h"

TEST(MoveGen, StartPositionOrderFollowsThePieceList) {
    auto b = newBoard();
    EXPECT_EQ(moveTexts(b.get()),
              "a2a4 a2a3 b2b4 b2b3 c2c4 c2c3 d2d4 d2d3 e2e4 e2e3 f2f4 f2f3 g2g4 g2g3 h2h4 h2h3 "
              "b1a3 b1c3 g1f3 g1h3");
    MoveList list;
    generateMoves(b.get(), &list, 1);
    EXPECT_EQ(list.moves[0].piece, WPAWN);
    EXPECT_EQ(list.moves[0].flags, MF_NORMAL);
    EXPECT_EQ(list.moves[0].captured, EMPTY);
    EXPECT_EQ(list.moves[0].promotion, EMPTY);
}

TEST(MoveGen, PromotionsFanOutQueenRookBishopKnight) {
    auto b = newBoard("3n1n1k/4P3/8/8/8/8/8/K7 w - - 0 1");
    // King first, then the pawn: push, capture on f8 (+17), capture on d8 (+15).
    EXPECT_EQ(
        moveTexts(b.get()),
        "a1b1 a1a2 a1b2 e7e8q e7e8r e7e8b e7e8n e7f8q e7f8r e7f8b e7f8n e7d8q e7d8r e7d8b e7d8n");
    MoveList list;
    const u32 n = generateMoves(b.get(), &list, 1);
    ASSERT_EQ(n, 15u);
    EXPECT_EQ(list.moves[3].flags, MF_NORMAL | MF_PROMOTION);
    EXPECT_EQ(list.moves[7].flags, MF_NORMAL | MF_PROMOTION | MF_CAPTURE);
    EXPECT_EQ(list.moves[7].captured, BKNIGHT);
    EXPECT_EQ(list.moves[7].piece, WPAWN);
    // Black promotes with its own codes.
    auto black = newBoard("k7/8/8/8/8/8/p7/7K b - - 0 1");
    generateMoves(black.get(), &list, 1);
    EXPECT_EQ(moveTexts(black.get()), "a8b8 a8b7 a8a7 a2a1q a2a1r a2a1b a2a1n");
    EXPECT_EQ(list.moves[3].promotion, BQUEEN);
    EXPECT_EQ(list.moves[6].promotion, BKNIGHT);
}

TEST(MoveGen, LegalFilterDropsPinnedMovesAndExposingPromotions) {
    // The pawn on b7 is pinned by the rook on h7: none of its promotions stay.
    auto b = newBoard("2n4k/KP5r/8/8/8/8/8/8 w - - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("b7"), std::string::npos);
    EXPECT_NE(moveTexts(b.get(), 0).find("b7b8q b7b8r b7b8b b7b8n"), std::string::npos);
}

TEST(MoveGen, EnPassantOncePerCapturingPawn) {
    auto b = newBoard("4k3/8/8/8/3p1p2/8/4P3/4K3 w - - 0 1");
    Move push = findMove(b.get(), "e2e4");
    makeMove(b.get(), &push);
    MoveList list;
    const u32 n = generateMoves(b.get(), &list, 1);
    int enPassant = 0;
    for (u32 i = 0; i < n; i++) {
        if (list.moves[i].to == sq("e3")) {
            EXPECT_EQ(list.moves[i].flags, MF_NORMAL | MF_CAPTURE | MF_ENPASSANT);
            EXPECT_EQ(list.moves[i].captured, WPAWN);
            enPassant++;
        }
    }
    EXPECT_EQ(enPassant, 2);
    unmakeMove(b.get(), &push);
}

TEST(MoveGen, CastlingConditions) {
    const char* both = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    auto b = newBoard(both);
    std::string moves = moveTexts(b.get());
    EXPECT_NE(moves.find("e1g1"), std::string::npos);
    EXPECT_NE(moves.find("e1c1"), std::string::npos);
    // Castling comes before the king steps, king side first.
    EXPECT_EQ(moves.rfind("e1g1 e1c1 e1f1", 0), 0u);
    // In check: none.
    b = newBoard("r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("e1g1"), std::string::npos);
    EXPECT_EQ(moveTexts(b.get()).find("e1c1"), std::string::npos);
    // Passing over an attacked square (f1) or landing on one (c1).
    b = newBoard("r3kr2/8/8/8/8/8/8/R3K2R w KQq - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("e1g1"), std::string::npos);
    b = newBoard("r1r1k3/8/8/8/8/8/8/R3K2R w KQq - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("e1c1"), std::string::npos);
    EXPECT_NE(moveTexts(b.get()).find("e1g1"), std::string::npos);
    // An attack on b1 does not prevent the queen-side castle; a piece on b1 does.
    b = newBoard("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_NE(moveTexts(b.get()).find("e1c1"), std::string::npos);
    b = newBoard("4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1");
    EXPECT_EQ(moveTexts(b.get()).find("e1c1"), std::string::npos);
    // Black mirrors.
    b = newBoard("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_EQ(moveTexts(b.get()).rfind("e8g8 e8c8", 0), 0u);
    b = newBoard("r3k2r/8/8/8/8/8/8/1R2K2R b KQkq - 0 1");
    EXPECT_NE(moveTexts(b.get()).find("e8c8"), std::string::npos);
}

TEST(MoveGen, CaptureGeneratorYieldsCapturesOnly) {
    auto b = newBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    MoveList all, caps;
    const u32 nAll = generateMoves(b.get(), &all, 1);
    const u32 nCaps = generateCaptures(b.get(), &caps, 1);
    std::set<std::string> expected, got;
    char t[8];
    for (u32 i = 0; i < nAll; i++)
        if (all.moves[i].flags & MF_CAPTURE) {
            moveToText(&all.moves[i], t);
            expected.insert(t);
        }
    for (u32 i = 0; i < nCaps; i++) {
        EXPECT_TRUE(caps.moves[i].flags & MF_CAPTURE);
        EXPECT_FALSE(caps.moves[i].flags & MF_CASTLE);
        moveToText(&caps.moves[i], t);
        got.insert(t);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(nCaps, 8u);
    // Quiet promotions are left out; a capturing promotion gives four moves.
    b = newBoard("3nk3/2P1P3/8/8/8/8/8/4K3 w - - 0 1");
    const u32 n = generateCaptures(b.get(), &caps, 1);
    ASSERT_EQ(n, 8u);
    for (u32 i = 0; i < n; i++) EXPECT_EQ(caps.moves[i].to, sq("d8"));
    EXPECT_EQ(caps.moves[0].from, sq("c7"));
    EXPECT_EQ(caps.moves[4].from, sq("e7"));
}

TEST(MoveGen, CapturedPieceMakesNoMoves) {
    auto b = newBoard("4k3/8/8/8/8/8/1r6/R3K3 w - - 0 1");
    Move take = findMove(b.get(), "a1a2");
    makeMove(b.get(), &take);
    Move recapture = findMove(b.get(), "b2a2");
    makeMove(b.get(), &recapture);
    // The white rook's entry is dead although a piece now stands near its old square.
    EXPECT_EQ(moveTexts(b.get()).find("a2"), std::string::npos);
    EXPECT_EQ(moveTexts(b.get()), "e1f1 e1d1");
    unmakeMove(b.get(), &recapture);
    unmakeMove(b.get(), &take);
}

TEST(MoveGen, ScanVariantFindsTheSameMoves) {
    const char* fens[] = {
        initialPosition,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    };
    for (const char* fen : fens) {
        auto b = newBoard(fen);
        MoveList a, s;
        const u32 na = generateMoves(b.get(), &a, 1);
        const u32 ns = generateMovesSimple(b.get(), &s, 1);
        ASSERT_EQ(na, ns) << fen;
        std::multiset<std::string> ma, ms;
        char t[8];
        for (u32 i = 0; i < na; i++) {
            moveToText(&a.moves[i], t);
            ma.insert(t);
            moveToText(&s.moves[i], t);
            ms.insert(t);
        }
        EXPECT_EQ(ma, ms) << fen;
    }
    // White's scan runs upward from a1: the rook on a1 leads.
    auto b = newBoard();
    MoveList s;
    generateMovesSimple(b.get(), &s, 1);
    EXPECT_EQ(s.moves[0].from, sq("b1"));   // a1 rook has no move; b1 knight is next
    generateMovesSimple(newBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1").get(),
                        &s, 1);
    EXPECT_EQ(s.moves[0].from, sq("g8"));   // Black's scan runs downward from h8
}

// The legal generators decide most moves without making them; the verdicts
// and the traces a make/unmake pair leaves (capture memory, scratch fields of
// the move, stale destination index, history slot past gamePly) must be the
// same as testing every pseudo-legal move in turn with isLegalSimple.
TEST(MoveGen, ShortcutLegalityMatchesFullTestAndItsTraces) {
    const char* fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "4r1k1/8/8/1b6/8/3N4/4B3/4K3 w - - 0 1",
        "8/8/8/K2pP2r/8/8/8/7k w - d6 0 1",
    };
    std::mt19937 rng(7);
    for (const char* fen : fens) {
        auto b = newBoard(fen);
        for (int step = 0; step < 30; step++) {
            MoveList pseudo, legal;
            const u32 np = generateMoves(b.get(), &pseudo, 0);
            if (np == 0) break;
            std::vector<Move> expected;
            for (u32 i = 0; i < np; i++) {
                // A promotion shares one verdict among its four moves.
                const bool underPromotion = (pseudo.moves[i].flags & MF_PROMOTION) &&
                                            pseudo.moves[i].promotion != WQUEEN &&
                                            pseudo.moves[i].promotion != BQUEEN;
                if (underPromotion) {
                    if (!expected.empty() && expected.back().from == pseudo.moves[i].from &&
                        expected.back().to == pseudo.moves[i].to) {
                        Move copy = expected.back();
                        copy.promotion = pseudo.moves[i].promotion;
                        expected.push_back(copy);
                    }
                    continue;
                }
                if (isLegalSimple(b.get(), &pseudo.moves[i])) expected.push_back(pseudo.moves[i]);
            }
            const u8 capSquare = b->lastCaptureSquare, capPiece = b->lastCapturedPiece;
            const u64 slot = b->hashHistory[b->gamePly + 1];
            u8 index[128];
            memcpy(index, b->pieceIndex, sizeof index);
            b->lastCaptureSquare = 99;
            b->lastCapturedPiece = 99;
            b->hashHistory[b->gamePly + 1] = 0;
            const u32 nl = generateMoves(b.get(), &legal, 1);
            ASSERT_EQ(nl, expected.size()) << fen;
            for (u32 i = 0; i < nl; i++) {
                const Move &got = legal.moves[i], &want = expected[i];
                EXPECT_TRUE(sameMove(got, want) && got.captured == want.captured &&
                            got.piece == want.piece && got.oldCastling == want.oldCastling &&
                            got.oldEpSquare == want.oldEpSquare &&
                            (!(got.flags & MF_CAPTURE) || got.capturedIndex == want.capturedIndex))
                    << fen << " move " << i;
            }
            EXPECT_EQ(b->lastCaptureSquare, capSquare);
            EXPECT_EQ(b->lastCapturedPiece, capPiece);
            EXPECT_EQ(b->hashHistory[b->gamePly + 1], slot);
            EXPECT_EQ(memcmp(index, b->pieceIndex, sizeof index), 0);
            Move m = legal.moves[rng() % nl];
            makeMove(b.get(), &m);
            updateHashKey(b.get(), &m);
            b->ply = 0;
        }
    }
}

TEST(MoveGen, ListNeverOverflowsWithTwentyThreeQueens) {
    // Legal set-ups allow 23 pieces a side; 23 queens have more pseudo-legal
    // moves than a list holds. The surplus is dropped, nothing written past it.
    auto b = newBoard("1QQQQQQ1/Q6Q/Q4Q2/Q6Q/Q4Q2/Q6Q/Q5Q1/kQQQQ1QK b - - 0 1");
    b->sideToMove = WHITE;
    auto list = std::make_unique<MoveList>();
    const u32 n = generateMoves(b.get(), list.get(), 0);
    EXPECT_LE(n, 255u);
    EXPECT_GE(n, 250u);
    EXPECT_LE(generateMovesSimple(b.get(), list.get(), 0), 255u);
}
