// SAN reading and writing, the EPD line reader and the test-suite runner.
#include <gtest/gtest.h>

#include <fstream>

#include "engine_process.h"
#include "san.h"
#include "test_util.h"
#include "tools.h"

namespace {

// The coordinate text of the move a SAN text names, "" when it names none.
std::string sanToText(Board* board, const char* san) {
    Move move;
    if (!parseSan(board, san, &move)) return "";
    char text[8];
    moveToText(&move, text);
    return text;
}

std::string textToSan(Board* board, const char* text) {
    const Move move = findMove(board, text);
    char san[SAN_TEXT_SIZE];
    moveToSan(board, &move, san);
    return san;
}

}   // namespace

TEST(San, ReadsPiecesPawnsCapturesAndPromotions) {
    auto board = newBoard();
    EXPECT_EQ(sanToText(board.get(), "e4"), "e2e4");
    EXPECT_EQ(sanToText(board.get(), "Nf3"), "g1f3");
    EXPECT_EQ(sanToText(board.get(), "Nf3+!?"), "g1f3");   // marks are ignored
    EXPECT_EQ(sanToText(board.get(), "Ng1f3"), "g1f3");    // a full origin square is allowed
    EXPECT_EQ(sanToText(board.get(), "e5"), "");           // no pawn reaches e5
    EXPECT_EQ(sanToText(board.get(), "Nd4"), "");
    EXPECT_EQ(sanToText(board.get(), "Ke2"), "");    // blocked: illegal
    EXPECT_EQ(sanToText(board.get(), "Nxf3"), "");   // no capture on f3

    auto capture = newBoard("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
    EXPECT_EQ(sanToText(capture.get(), "exd5"), "e4d5");
    EXPECT_EQ(sanToText(capture.get(), "d5"), "");   // a pawn push cannot change file
    EXPECT_EQ(sanToText(capture.get(), "Bb5+"), "f1b5");

    auto enPassant = newBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(sanToText(enPassant.get(), "exd6"), "e5d6");

    auto promote = newBoard("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(sanToText(promote.get(), "a8=Q"), "a7a8q");
    EXPECT_EQ(sanToText(promote.get(), "a8N"), "a7a8n");
    EXPECT_EQ(sanToText(promote.get(), "axb8=R+"), "a7b8r");
    EXPECT_EQ(sanToText(promote.get(), "a8"), "");   // the piece must be named
    EXPECT_EQ(sanToText(promote.get(), "a8=K"), "");
}

TEST(San, CastlingInBothNotations) {
    auto board = newBoard("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_EQ(sanToText(board.get(), "O-O"), "e8g8");
    EXPECT_EQ(sanToText(board.get(), "0-0-0"), "e8c8");
    auto noRights = newBoard("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(sanToText(noRights.get(), "O-O"), "");
    EXPECT_EQ(textToSan(board.get(), "e8g8"), "O-O");
    EXPECT_EQ(textToSan(board.get(), "e8c8"), "O-O-O");
}

TEST(San, DisambiguatesByFileRankOrSquare) {
    // Knights on b1 and f1 both reach d2; rooks on a1 and a5 both reach a3;
    // queens on a1, a3 and c1... reach b2.
    auto board = newBoard("4k3/8/8/R7/8/8/8/RN3NK1 w - - 0 1");
    EXPECT_EQ(sanToText(board.get(), "Nd2"), "");   // ambiguous
    EXPECT_EQ(sanToText(board.get(), "Nbd2"), "b1d2");
    EXPECT_EQ(sanToText(board.get(), "Nfd2"), "f1d2");
    EXPECT_EQ(sanToText(board.get(), "Ra3"), "");
    EXPECT_EQ(sanToText(board.get(), "R1a3"), "a1a3");
    EXPECT_EQ(sanToText(board.get(), "R5a3"), "a5a3");
    EXPECT_EQ(textToSan(board.get(), "b1d2"), "Nbd2");
    EXPECT_EQ(textToSan(board.get(), "a5a3"), "R5a3");

    auto queens = newBoard("4k3/8/8/8/8/Q1Q5/8/Q3K3 w - - 0 1");
    EXPECT_EQ(sanToText(queens.get(), "Qb2"), "");
    EXPECT_EQ(sanToText(queens.get(), "Qab2"), "");   // two queens on the a-file
    EXPECT_EQ(sanToText(queens.get(), "Q3b2"), "");   // two on the third rank
    EXPECT_EQ(sanToText(queens.get(), "Qa3b2"), "a3b2");
    EXPECT_EQ(textToSan(queens.get(), "a3b2"), "Qa3b2");
    EXPECT_EQ(textToSan(queens.get(), "c3b2"), "Qcb2");
    EXPECT_EQ(textToSan(queens.get(), "a1b2"), "Q1b2");
}

TEST(San, WritesChecksAndMates) {
    auto board = newBoard("6k1/5ppp/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(textToSan(board.get(), "a1a8"), "Ra8#");
    EXPECT_EQ(textToSan(board.get(), "e1c1"), "O-O-O");
    auto check = newBoard("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(textToSan(check.get(), "a1a8"), "Ra8+");
}

TEST(San, EveryLegalMoveReadsBackFromItsOwnText) {
    // Positions rich in promotions, castling, en passant and twin pieces.
    const char* fens[] = {
        initialPosition,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    };
    for (const char* fen : fens) {
        auto board = newBoard(fen);
        MoveList list;
        const u32 n = generateMoves(board.get(), &list, 1);
        for (u32 i = 0; i < n; i++) {
            char san[SAN_TEXT_SIZE];
            moveToSan(board.get(), &list.moves[i], san);
            Move back;
            ASSERT_TRUE(parseSan(board.get(), san, &back)) << fen << " " << san;
            EXPECT_TRUE(sameMove(back, list.moves[i])) << fen << " " << san;
        }
        EXPECT_EQ(moveTexts(board.get()), moveTexts(newBoard(fen).get()))
            << "board changed: " << fen;
    }
}

TEST(Epd, ReadsPositionIdAndMoveLists) {
    EpdRecord record;
    std::string error;
    ASSERT_TRUE(parseEpdLine(
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";", &record,
        &error));
    EXPECT_EQ(record.fen, "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -");
    EXPECT_EQ(record.id, "WAC.001");
    EXPECT_EQ(record.bestMoves, std::vector<std::string>{"Qg6"});

    ASSERT_TRUE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - am Kc2 Kd1; bm Kb1 Kb2; id \"a; b\";\r",
                             &record, &error));
    EXPECT_EQ(record.avoidMoves, (std::vector<std::string>{"Kc2", "Kd1"}));
    EXPECT_EQ(record.bestMoves, (std::vector<std::string>{"Kb1", "Kb2"}));
    EXPECT_EQ(record.id, "a; b");

    EXPECT_FALSE(parseEpdLine("8/8/8/8 w", &record, &error));
    EXPECT_EQ(error, "fewer than four position fields");
    EXPECT_FALSE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - id \"x\";", &record, &error));
    EXPECT_EQ(error, "no bm or am operation");
    EXPECT_FALSE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - bm Kb1; id \"x;", &record, &error));
    EXPECT_EQ(error, "unterminated string");
}

TEST(Epd, SolvesEasyPositionsAndReportsBadLines) {
    const TempDir tmp;
    {
        std::ofstream suite(tmp.path + "/easy.epd");
        suite << "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"mate\";\n"
              << "\n"
              << "8/8/8 w\n"
              << "4k3/8/8/8/8/8/8/4K3 w - - bm Qd1; id \"no queen\";\n"
              << "3qk3/8/8/8/8/8/8/3RK3 w - - bm Rxd8+; id \"queen\";\n"
              << "4k3/8/8/8/8/8/3q4/4K3 w - - am Kf1; id \"one move left\";\n"
              << "4k3/8/8/8/8/8/8/R3K3 w - - bm Kd2; id \"left out\";\n";
    }
    EngineRun run =
        runEngine({"epd", tmp.path + "/easy.epd", "--time", "100", "--first", "3"}, "", tmp.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("mate SOLVED Ra8# (bm Ra8#) depth "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("line 3 skipped: fewer than four position fields\n"), std::string::npos);
    EXPECT_NE(run.out.find("line 4 skipped: Qd1 is not a legal move\n"), std::string::npos);
    EXPECT_NE(run.out.find("queen SOLVED Rxd8+ (bm Rxd8+)"), std::string::npos);
    // Kxd2 and Kf1 are the king's only moves: an avoided move alone.
    EXPECT_NE(run.out.find("one move left SOLVED Kxd2 (am Kf1)"), std::string::npos);
    EXPECT_EQ(run.out.find("left out"), std::string::npos);   // --first 3
    EXPECT_NE(run.out.find("\nsolved 3 / 3\n"), std::string::npos);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"epd"},
                                                 {"epd", tmp.path + "/missing.epd"},
                                                 {"epd", tmp.path + "/easy.epd", "--time"},
                                                 {"epd", tmp.path + "/easy.epd", "--time", "0"},
                                                 {"epd", tmp.path + "/easy.epd", "--depth", "3"}}) {
        run = runEngine(args, "", tmp.path);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.err.empty());
    }
}
