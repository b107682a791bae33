// Board record, FEN set-up and make/unmake.
#include <gtest/gtest.h>

#include <cstring>

#include "attack.h"
#include "debug.h"
#include "test_util.h"

TEST(Board, SquareFunctions) {
    EXPECT_EQ(rank(0), 1);
    EXPECT_EQ(rank(119), 8);
    EXPECT_EQ(file(112), 1);
    EXPECT_EQ(file(7), 8);
    EXPECT_EQ(dist(0, 119), 7);
    EXPECT_EQ(dist(4, 5), 1);
    EXPECT_EQ(dist(36, 36), 0);
    EXPECT_STREQ(sqString[8], "ERR");
    EXPECT_STREQ(sqString[127], "ERR");
    for (int s = 0; s < 128; s++)
        if (!onBoard(s)) {
            EXPECT_STREQ(sqString[s], "ERR") << s;
        }
    EXPECT_STREQ(sqString[116], "e8");
}

TEST(Board, StartPositionSetUp) {
    auto b = newBoard();
    EXPECT_EQ(b->sideToMove, WHITE);
    EXPECT_EQ(b->castlingStatus, 15u);
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    EXPECT_EQ(b->materialBalance, 0);
    EXPECT_EQ(b->inCheck, 0);
    EXPECT_EQ(b->nWhite, 16);
    EXPECT_EQ(b->nBlack, 16);
    EXPECT_EQ(b->nWhiteEntries, 16);
    EXPECT_EQ(b->nBlackEntries, 16);
    EXPECT_EQ(b->whitePieces[0].square, 4);
    EXPECT_EQ(b->blackPieces[0].square, 116);
    // Lists in placement order after the king: Black's back rank first, then
    // its pawns; White's pawns first, then its back rank without the king.
    const int blackOrder[] = {112, 113, 114, 115, 117, 118, 119, 96,
                              97,  98,  99,  100, 101, 102, 103};
    const int whiteOrder[] = {16, 17, 18, 19, 20, 21, 22, 23, 0, 1, 2, 3, 5, 6, 7};
    for (int i = 0; i < 15; i++) {
        EXPECT_EQ(b->blackPieces[i + 1].square, blackOrder[i]) << i;
        EXPECT_EQ(b->whitePieces[i + 1].square, whiteOrder[i]) << i;
        EXPECT_EQ(b->pieceIndex[whiteOrder[i]], i + 1);
    }
    EXPECT_EQ(b->blackPieces[1].piece, BROOK);
    EXPECT_EQ(b->whitePieces[12].piece, WQUEEN);
    EXPECT_TRUE(boardIsConsistent(b.get()));
}

TEST(Board, SideAndCastlingFields) {
    auto b = newBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(b->sideToMove, BLACK);
    EXPECT_EQ(b->castlingStatus, 0u);
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4K3 x - - 0 1"));
    EXPECT_EQ(b->sideToMove, BLACK);   // every letter but w means Black
    ASSERT_TRUE(setupFen(b.get(), "r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1"));
    EXPECT_EQ(b->castlingStatus, 9u);
    ASSERT_TRUE(setupFen(b.get(), "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    EXPECT_EQ(b->castlingStatus, 15u);
    ASSERT_TRUE(setupFen(b.get(), "r3k2r/8/8/8/8/8/8/R3K2R w KK - 0 1"));
    EXPECT_EQ(b->castlingStatus, 1u);
    // Rights whose king or rook is away from home are dropped.
    ASSERT_TRUE(setupFen(b.get(), "r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1"));
    EXPECT_EQ(b->castlingStatus, static_cast<u32>(CASTLE_WK | CASTLE_BQ));
    // A FEN that stops after the side letter has no castling rights.
    ASSERT_TRUE(setupFen(b.get(), "r3k2r/8/8/8/8/8/8/R3K2R w"));
    EXPECT_EQ(b->castlingStatus, 0u);
    ASSERT_TRUE(setupFen(b.get(), "r3k2r/8/8/8/8/8/8/R3K2R b\n"));
    EXPECT_EQ(b->castlingStatus, 0u);
    EXPECT_EQ(b->sideToMove, BLACK);
}

TEST(Board, EnPassantFieldIsReadOnlyWhenPlausible) {
    auto b = newBoard("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
    EXPECT_EQ(b->epSquare, sq("f6"));
    EXPECT_EQ(moveTexts(b.get()).find("e5f6") != std::string::npos, true);
    // d5 holds a black pawn as well, so d6 is kept too.
    ASSERT_TRUE(setupFen(b.get(), "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3"));
    EXPECT_EQ(b->epSquare, sq("d6"));
    // Wrong rank for the side to move, or no pawn that just moved: absent.
    ASSERT_TRUE(setupFen(b.get(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 1"));
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    ASSERT_TRUE(setupFen(b.get(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq c6 0 1"));
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    ASSERT_TRUE(setupFen(b.get(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    EXPECT_EQ(b->epSquare, sq("e3"));
    ASSERT_TRUE(setupFen(b.get(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq zz 0 1"));
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    // The en passant square takes part in the keys.
    auto with = newBoard("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    auto without = newBoard("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_NE(with->hashKey, without->hashKey);
    EXPECT_NE(with->hashKey2, without->hashKey2);
}

TEST(Board, CheckFlagAtSetUp) {
    auto b = newBoard("4k3/8/8/8/8/8/8/4K2r w - - 0 1");
    EXPECT_EQ(b->inCheck, 1);
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4K2R b - - 0 1"));
    EXPECT_EQ(b->inCheck, 0);
}

TEST(Board, MalformedFenIsRefusedAndBoardKept) {
    auto b = newBoard();
    const u8 before = b->squares[4];
    const char* bad[] = {
        "",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",                 // no side field
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR ",                // blank then nothing
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1",     // rank of 7 files
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1",   // rank of 9 files
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",       // 7 ranks
        "rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // 9 ranks
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1",       // no black king
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKKNR w KQkq - 0 1",     // two white kings
        "NNNNNNNN/NNNNNNNN/NNNNNNNN/8/8/8/8/k6K w - - 0 1",             // 24 white knights
        "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                               // pawn on rank 8
        "4k3/8/8/8/8/8/8/p3K3 b - - 0 1",                               // pawn on rank 1
        "rnbqkbnr/pppppppp/44/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // digits run together
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1",     // unknown letter
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq - 0 1",
        "4k3/8/8/8/8/8/8/q2K4 b - - 0 1",   // White, not to move, in check
        "4k3/8/8/8/8/8/8/3KR3 w - - 0 1",
    };
    for (const char* fen : bad) {
        EXPECT_EQ(setupFen(b.get(), fen), 0) << fen;
        EXPECT_EQ(b->squares[4], before);
        EXPECT_TRUE(boardIsConsistent(b.get()));
    }
    EXPECT_EQ(setupFen(b.get(), nullptr), 0);
    // 23 pieces beside the king still fit a piece list.
    EXPECT_EQ(setupFen(b.get(), "NNNNNNNN/NNNNNNNN/NNNNNNN1/8/8/8/8/k6K w - - 0 1"), 1);
    EXPECT_EQ(b->nWhiteEntries, 24);
}

TEST(MakeMove, DoublePushSetsEnPassantSquare) {
    auto b = newBoard();
    Move m = findMove(b.get(), "e2e4");
    makeMove(b.get(), &m);
    EXPECT_EQ(b->epSquare, 36);
    EXPECT_EQ(b->castlingStatus, 15u);
    EXPECT_EQ(b->gamePly, 1u);
    EXPECT_EQ(b->ply, 1u);
    EXPECT_EQ(b->sideToMove, BLACK);
    unmakeMove(b.get(), &m);
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    EXPECT_EQ(b->gamePly, 0u);
}

TEST(MakeMove, CastlingRightsFollowKingsRooksAndCaptures) {
    auto b = newBoard("r3k2r/8/8/8/8/8/6B1/R3K2R w KQkq - 0 1");
    Move king = findMove(b.get(), "e1f1");
    makeMove(b.get(), &king);
    EXPECT_EQ(b->castlingStatus, static_cast<u32>(CASTLE_BK | CASTLE_BQ));
    unmakeMove(b.get(), &king);
    Move rook = findMove(b.get(), "h1g1");
    makeMove(b.get(), &rook);
    EXPECT_EQ(b->castlingStatus, 14u);
    unmakeMove(b.get(), &rook);
    Move capture = findMove(b.get(), "g2a8");
    makeMove(b.get(), &capture);
    EXPECT_EQ(b->castlingStatus, 7u);
    EXPECT_EQ(b->lastCaptureSquare, 112);
    EXPECT_EQ(b->lastCapturedPiece, BROOK);
    unmakeMove(b.get(), &capture);
    EXPECT_EQ(b->castlingStatus, 15u);
    // Unmaking does not restore the capture memory.
    EXPECT_EQ(b->lastCaptureSquare, 112);
}

TEST(MakeMove, CastlingMovesTheRookAndKeepsItsIndex) {
    auto b = newBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const u8 rookIndex = b->pieceIndex[7];
    Move m = findMove(b.get(), "e1g1");
    EXPECT_TRUE(m.flags & MF_CASTLE);
    makeMove(b.get(), &m);
    EXPECT_EQ(b->squares[5], WROOK);
    EXPECT_EQ(b->squares[7], EMPTY);
    EXPECT_EQ(b->pieceIndex[5], rookIndex);
    EXPECT_EQ(b->whitePieces[rookIndex].square, 5);
    EXPECT_EQ(b->wKingSquare, 6);
    unmakeMove(b.get(), &m);
    EXPECT_EQ(b->squares[7], WROOK);
    EXPECT_EQ(b->pieceIndex[7], rookIndex);
    EXPECT_EQ(b->whitePieces[rookIndex].square, 7);
    EXPECT_EQ(b->wKingSquare, 4);
}

TEST(MakeMove, EnPassantRemovesThePawnBehind) {
    auto b = newBoard("4k3/8/8/2Pp4/8/8/8/4K3 w - d6 0 1");
    const u8 index = b->pieceIndex[sq("d5")];
    Move m = findMove(b.get(), "c5d6");
    EXPECT_EQ(m.flags, MF_NORMAL | MF_CAPTURE | MF_ENPASSANT);
    EXPECT_EQ(m.captured, BPAWN);
    makeMove(b.get(), &m);
    EXPECT_EQ(b->squares[sq("d5")], EMPTY);
    EXPECT_EQ(b->nBlack, 1);
    EXPECT_EQ(b->blackPieces[index].alive, 0);
    EXPECT_EQ(b->nBlackEntries, 2);
    unmakeMove(b.get(), &m);
    EXPECT_EQ(b->squares[sq("d5")], BPAWN);
    EXPECT_EQ(b->squares[sq("d6")], EMPTY);
    EXPECT_EQ(b->blackPieces[index].alive, 1);
    EXPECT_EQ(b->pieceIndex[sq("d5")], index);
    EXPECT_EQ(b->nBlack, 2);
}

TEST(MakeMove, PromotionChangesMaterialAndListEntry) {
    auto b = newBoard("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    const u8 index = b->pieceIndex[sq("a7")];
    const i32 before = b->materialBalance;
    Move m = findMove(b.get(), "a7a8q");
    makeMove(b.get(), &m);
    EXPECT_EQ(b->materialBalance, before + 950);
    EXPECT_EQ(b->whitePieces[index].piece, WQUEEN);
    EXPECT_EQ(b->squares[sq("a8")], WQUEEN);
    unmakeMove(b.get(), &m);
    EXPECT_EQ(b->whitePieces[index].piece, WPAWN);
    EXPECT_EQ(b->materialBalance, before);
}

TEST(MakeMove, NullMoveRoundTrip) {
    auto b = newBoard("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    const u64 k1 = b->hashKey, k2 = b->hashKey2;
    Move scratch{};
    makeNullmove(b.get(), &scratch);
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    EXPECT_EQ(b->sideToMove, WHITE);
    EXPECT_TRUE(keysAreConsistent(b.get()));
    EXPECT_EQ(b->hashHistory[b->gamePly], b->hashKey);
    unmakeNullmove(b.get(), &scratch);
    EXPECT_EQ(b->hashKey, k1);
    EXPECT_EQ(b->hashKey2, k2);
    EXPECT_EQ(b->epSquare, sq("e3"));
    EXPECT_EQ(b->sideToMove, BLACK);
    EXPECT_EQ(b->ply, 0u);
    EXPECT_EQ(b->gamePly, 0u);
}

TEST(MakeMove, SimpleVariantsRoundTripOnTheArray) {
    const char* fens[] = {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
                          "4k3/8/8/2Pp4/8/8/8/4K3 w - d6 0 1", "1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1"};
    for (const char* fen : fens) {
        auto b = newBoard(fen);
        MoveList list;
        const u32 n = generateMoves(b.get(), &list, 1);
        u8 before[128];
        memcpy(before, b->squares, sizeof before);
        for (u32 i = 0; i < n; i++) {
            Move m = list.moves[i];
            makeMoveSimple(b.get(), &m);
            EXPECT_EQ(b->squares[m.to], (m.flags & MF_PROMOTION) ? m.promotion : m.piece);
            EXPECT_EQ(b->squares[m.from], EMPTY);
            unmakeMoveSimple(b.get(), &m);
            EXPECT_EQ(memcmp(before, b->squares, sizeof before), 0) << fen << " move " << i;
        }
    }
}

TEST(Board, ClearBoardResetsPositionButKeepsHistory) {
    auto b = newBoard();
    Move m = findMove(b.get(), "e2e4");
    makeMove(b.get(), &m);
    updateHashKey(b.get(), &m);
    const u64 recorded = b->hashHistory[1];
    clearBoard(b.get());
    EXPECT_EQ(b->ply, 0u);
    EXPECT_EQ(b->gamePly, 0u);
    EXPECT_EQ(b->castlingStatus, 0u);
    EXPECT_EQ(b->epSquare, NO_SQUARE);
    EXPECT_EQ(b->lastCaptureSquare, NO_SQUARE);
    EXPECT_EQ(b->lastCapturedPiece, EMPTY);
    EXPECT_EQ(b->materialBalance, 0);
    EXPECT_EQ(b->nWhite, 0);
    EXPECT_EQ(b->squares[sq("e4")], EMPTY);
    EXPECT_EQ(b->squares[8], OFFBOARD);
    EXPECT_EQ(b->hashHistory[1], recorded);   // history is left alone
}

TEST(Board, ConsistencyCheckNamesTheFieldThatBroke) {
    const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    const char* failed = "not set";
    auto board = newBoard(fen);
    EXPECT_TRUE(boardIsConsistent(board.get(), &failed));
    EXPECT_EQ(failed, nullptr);
    // A piece-list entry that points at the wrong square.
    board->whitePieces[3].square = static_cast<u8>(board->whitePieces[3].square ^ 1);
    EXPECT_FALSE(boardIsConsistent(board.get(), &failed));
    EXPECT_STREQ(failed, "white piece list");
    // A material sum one pawn off.
    board = newBoard(fen);
    board->materialBalance += 100;
    EXPECT_FALSE(boardIsConsistent(board.get(), &failed));
    EXPECT_STREQ(failed, "material balance");
    // A bit of one piece kind moved to another square.
    board = newBoard(fen);
    board->pieceBits[WKNIGHT] ^= squareBit(sq("a3")) | squareBit(sq("c3"));
    EXPECT_FALSE(boardIsConsistent(board.get(), &failed));
    EXPECT_STREQ(failed, "piece bits");
    // Without the out-parameter the reason goes to standard error.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(boardIsConsistent(board.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "board inconsistent: piece bits\n");
}
