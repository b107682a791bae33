// A game of many hundred half-moves played through the protocol, the test
// acting as the GUI: its own board follows every move, and every result line
// the engine prints must be the one the game-end rules give at that move.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "book.h"
#include "debug.h"
#include "engine_process.h"
#include "interface.h"
#include "test_util.h"

namespace {

// The result line the game-end test prints for the board's position, or ""
// while the game goes on. The board's inCheck is updated, as the engine's is.
std::string expectedResult(Board* board) {
    CapturedStdout capture;
    capture.start();
    MoveList list;
    checkGameEnd(board, &list);
    return capture.take();
}

bool isResultLine(const std::string& line) {
    return line.rfind("1-0 ", 0) == 0 || line.rfind("0-1 ", 0) == 0 ||
           line.rfind("1/2-1/2 ", 0) == 0;
}

// A random legal move that does not mate or stalemate, so the game goes on;
// none when every move ends it. Half the time the side's previous move is
// taken back by the reverse move where that is legal, so that positions
// repeat and the repetition rule is at work all along the game.
bool pickMove(Board* board, std::mt19937* rng, Move* chosen) {
    MoveList list;
    const u32 n = generateMoves(board, &list, 1);
    std::vector<Move> moves(list.moves, list.moves + n);
    std::shuffle(moves.begin(), moves.end(), *rng);
    if (board->gamePly >= 2 && (*rng)() % 2 == 0) {
        const Move& previous = board->gameMoves[board->gamePly - 2];
        std::stable_partition(moves.begin(), moves.end(), [&previous](const Move& m) {
            return m.from == previous.to && m.to == previous.from && !(m.flags & MF_CAPTURE);
        });
    }
    for (Move& m : moves) {
        makeMove(board, &m);
        MoveList replies;
        const bool goesOn = generateMoves(board, &replies, 1) != 0;
        unmakeMove(board, &m);
        if (goesOn) {
            *chosen = m;
            return true;
        }
    }
    return false;
}

}   // namespace

TEST(LongGame, SevenHundredHalfMovesOfUserAndEngineMoves) {
    const TempDir tmp;
    {
        std::ofstream rc(tmp.path + "/quillantor.rc");
        rc << "hash 1024\nbook test.bk\n";
        std::ofstream book(tmp.path + "/test.bk");
        book << " e2e4e7e5\n";
    }
    EngineSession engine({}, tmp.path);
    ASSERT_TRUE(engine.started());
    std::string line;
    ASSERT_TRUE(engine.send("xboard\nst 0\nnew\ne2e4\n"));
    ASSERT_TRUE(engine.readUntil("move ", &line));
    EXPECT_EQ(line, "move e7e5") << "the book answers at the start";
    ASSERT_TRUE(engine.send("force\n"));

    auto board = newBoard();
    playTyped(board.get(), "e2e4");
    playTyped(board.get(), "e7e5");
    std::mt19937 rng(20261207);
    int engineMoves = 0, results = 0;
    bool engineTurn = true;   // false after a take-back: the test moves instead
    constexpr u32 length = 700;
    for (int step = 0; board->gamePly < length && step < 4 * static_cast<int>(length); step++) {
        std::vector<std::string> seen;
        std::string expected;
        if (board->gamePly % 25 == 0 && engineTurn) {
            // The engine moves for the side to move, then goes back to force mode.
            ASSERT_TRUE(engine.send("go\n"));
            ASSERT_TRUE(engine.readUntil("move ", &line, &seen))
                << "no move at half-move " << board->gamePly;
            Move m;
            ASSERT_EQ(inputMoveLegal(board.get(), line.c_str() + 5, &m), 1)
                << "illegal engine move at half-move " << board->gamePly + 1 << ": " << line;
            ASSERT_EQ(playGameMove(board.get(), &m), 1);
            engineMoves++;
            expected = expectedResult(board.get());
            // A result comes after the move line; the marker ends the move's output.
            seen.clear();
            ASSERT_TRUE(engine.send("force\nsetboard -\n"));
        } else {
            Move m;
            if (!pickMove(board.get(), &rng, &m)) {
                // The engine's last move mated or stalemated: take it back.
                ASSERT_TRUE(engine.send("undo\n"));
                takeBackGameMove(board.get());
                engineTurn = false;
                continue;
            }
            engineTurn = true;
            char text[8];
            moveToText(&m, text);
            ASSERT_TRUE(engine.send(std::string(text) + "\nsetboard -\n"));
            ASSERT_EQ(playGameMove(board.get(), &m), 1);
            expected = expectedResult(board.get());
        }
        ASSERT_TRUE(engine.readUntil("tellusererror Illegal position", &line, &seen))
            << "no answer at half-move " << board->gamePly;
        std::string printed;
        for (const std::string& row : seen)
            if (isResultLine(row)) printed += row + "\n";
        ASSERT_EQ(printed, expected) << "at half-move " << board->gamePly;
        if (!expected.empty()) results++;
    }
    ASSERT_EQ(board->gamePly, length);
    EXPECT_GE(engineMoves, static_cast<int>(length / 25) - 3);
    EXPECT_GT(results, 10) << "the game repeats positions";
    EXPECT_TRUE(boardIsConsistent(board.get()));

    // The book has nothing for a game this long, and the lookup stays in its
    // buffers; after "new" it answers again.
    FILE* saved = bookFile;
    bookFile = fopen((tmp.path + "/test.bk").c_str(), "r");
    ASSERT_NE(bookFile, nullptr);
    Move candidates[4];
    EXPECT_EQ(findBookMoves(board.get(), candidates, 4), 0);
    fclose(bookFile);
    bookFile = saved;
    ASSERT_TRUE(engine.send("new\ne2e4\n"));
    ASSERT_TRUE(engine.readUntil("move ", &line));
    EXPECT_EQ(line, "move e7e5");
    ASSERT_TRUE(engine.send("quit\n"));
    EXPECT_EQ(engine.finish(), 0);
}
