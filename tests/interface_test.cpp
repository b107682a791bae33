// Move input, repetition and game end, the time commands and the command
// loop's handling of lines, run in-process on a board of the test's own.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "book.h"
#include "debug.h"
#include "hash.h"
#include "interface.h"
#include "search.h"
#include "test_util.h"

namespace {

// Feeds lines to the loop with standard output captured; returns the output.
std::string feed(Board* board, LoopState* state, std::initializer_list<const char*> lines) {
    CapturedStdout capture;
    capture.start();
    for (const char* line : lines) handleInputLine(board, state, line);
    return capture.take();
}

// Loop state for tests: no book open, default budget.
std::unique_ptr<LoopState> freshState() {
    auto state = std::make_unique<LoopState>();
    FILE* saved = bookFile;
    bookFile = nullptr;
    initLoopState(state.get());
    bookFile = saved;
    return state;
}

constexpr const char* shuffle[4] = {"g1f3\n", "g8f6\n", "f3g1\n", "f6g8\n"};
constexpr const char* foolsMate[4] = {"f2f3\n", "e7e5\n", "g2g4\n", "d8h4\n"};

bool samePosition(const Board* a, const Board* b) {
    return memcmp(a->squares, b->squares, sizeof a->squares) == 0 &&
           a->sideToMove == b->sideToMove && a->castlingStatus == b->castlingStatus &&
           a->epSquare == b->epSquare && a->hashKey == b->hashKey && a->hashKey2 == b->hashKey2;
}

}   // namespace

TEST(MoveInput, CoordinateMoveInStartPosition) {
    auto board = newBoard(initialPosition);
    Move move;
    ASSERT_EQ(inputMoveLegal(board.get(), "e2e4\n", &move), 1);
    EXPECT_EQ(move.from, 20);
    EXPECT_EQ(move.to, 52);
    EXPECT_EQ(move.piece, WPAWN);
    EXPECT_EQ(move.flags, MF_NORMAL);
    EXPECT_EQ(move.captured, EMPTY);
    EXPECT_EQ(move.promotion, EMPTY);

    // A letter after a move that is no promotion is ignored.
    Move withLetter;
    ASSERT_EQ(inputMoveLegal(board.get(), "e2e4q", &withLetter), 1);
    EXPECT_TRUE(sameMove(withLetter, move));

    // Refused texts leave the caller's move exactly as it was.
    for (const char* text :
         {"e2e5\n", "E2E4\n", "e2E4\n", "e2", "e2e", "", "e1e2\n", "i2i4\n", " e2e4", "e7e5\n"}) {
        Move untouched;
        memset(&untouched, 0xA5, sizeof untouched);
        EXPECT_EQ(inputMoveLegal(board.get(), text, &untouched), 0) << '"' << text << '"';
        for (size_t i = 0; i < sizeof untouched; i++)
            EXPECT_EQ(reinterpret_cast<const u8*>(&untouched)[i], 0xA5) << text;
    }
    auto start = newBoard(initialPosition);
    EXPECT_TRUE(samePosition(board.get(), start.get()));
}

TEST(MoveInput, PromotionNeedsItsLetter) {
    auto white = newBoard("3q3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
    Move move;
    ASSERT_EQ(inputMoveLegal(white.get(), "e7e8q", &move), 1);
    EXPECT_EQ(move.promotion, WQUEEN);
    EXPECT_TRUE(move.flags & MF_PROMOTION);
    ASSERT_EQ(inputMoveLegal(white.get(), "e7e8Q", &move), 1);
    EXPECT_EQ(move.promotion, WQUEEN);
    ASSERT_EQ(inputMoveLegal(white.get(), "e7e8n", &move), 1);
    EXPECT_EQ(move.promotion, WKNIGHT);
    ASSERT_EQ(inputMoveLegal(white.get(), "e7e8r\n", &move), 1);
    EXPECT_EQ(move.promotion, WROOK);
    ASSERT_EQ(inputMoveLegal(white.get(), "e7d8B", &move), 1);
    EXPECT_EQ(move.promotion, WBISHOP);
    EXPECT_EQ(move.captured, BQUEEN);
    for (const char* text : {"e7e8\n", "e7e8p", "e7e8k", "e7e8", "e7e8 "})
        EXPECT_EQ(inputMoveLegal(white.get(), text, &move), 0) << text;

    // Black's letters give black pieces.
    auto black = newBoard("4k3/8/8/8/8/8/3p4/7K b - - 0 1");
    ASSERT_EQ(inputMoveLegal(black.get(), "d2d1q", &move), 1);
    EXPECT_EQ(move.promotion, BQUEEN);
    ASSERT_EQ(inputMoveLegal(black.get(), "d2d1N", &move), 1);
    EXPECT_EQ(move.promotion, BKNIGHT);
    EXPECT_EQ(inputMoveLegal(black.get(), "d2d1\n", &move), 0);
}

TEST(MoveInput, CastlingAndEnPassantAreKingAndPawnMoves) {
    auto board = newBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Move move;
    ASSERT_EQ(inputMoveLegal(board.get(), "e1g1\n", &move), 1);
    EXPECT_EQ(move.to, 6);
    EXPECT_TRUE(move.flags & MF_CASTLE);
    ASSERT_EQ(inputMoveLegal(board.get(), "e1c1\n", &move), 1);
    EXPECT_TRUE(move.flags & MF_CASTLE);
    EXPECT_EQ(inputMoveLegal(board.get(), "e1h1\n", &move), 0);
    EXPECT_EQ(inputMoveLegal(board.get(), "O-O\n", &move), 0);

    auto black = newBoard("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    ASSERT_EQ(inputMoveLegal(black.get(), "e8g8\n", &move), 1);
    EXPECT_TRUE(move.flags & MF_CASTLE);

    auto ep = newBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    ASSERT_EQ(inputMoveLegal(ep.get(), "e5d6\n", &move), 1);
    EXPECT_TRUE(move.flags & MF_ENPASSANT);
    EXPECT_EQ(move.captured, BPAWN);
}

TEST(MoveInput, MatedSideHasNoMoveToType) {
    auto board = newBoard(initialPosition);
    for (const char* text : foolsMate) playTyped(board.get(), text);
    Move move;
    for (const char* text : {"e2e4\n", "e1f2\n", "g1f3\n", "d1e2\n"})
        EXPECT_EQ(inputMoveLegal(board.get(), text, &move), 0) << text;
}

TEST(GameEnd, RepetitionCountSkipsEntryZeroAndWantsExactlyThree) {
    auto board = newBoard(initialPosition);
    for (int i = 0; i < 8; i++) board->hashHistory[i] = 0x1234;
    const int expected[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    for (u32 n = 0; n < 8; n++) {
        board->gamePly = n;
        EXPECT_EQ(checkGameDraw(board.get()), expected[n]) << "gamePly " << n;
    }
}

TEST(GameEnd, ResultLinesForMateAndStalemate) {
    CapturedStdout capture;
    auto list = std::make_unique<MoveList>();
    struct Case {
        const char* fen;
        const char* moves[8];
        const char* result;
        u8 inCheck;
    };
    const Case cases[] = {
        {initialPosition, {"f2f3\n", "e7e5\n", "g2g4\n", "d8h4\n"}, "0-1 {Black mates}\n", 1},
        {initialPosition,
         {"e2e4\n", "e7e5\n", "d1h5\n", "b8c6\n", "f1c4\n", "g8f6\n", "h5f7\n"},
         "1-0 {White mates}\n",
         1},
        {"k7/8/8/1Q6/8/8/8/7K w - - 0 1", {"b5b6\n"}, "1/2-1/2 {Stalemate}\n", 0},
        {"7k/8/8/8/8/8/2q5/K7 b - - 0 1", {"c2b3\n"}, "1/2-1/2 {Stalemate}\n", 0},
    };
    for (const Case& c : cases) {
        auto board = newBoard(c.fen);
        capture.start();
        int over = 0;
        for (const char* text : c.moves) {
            if (text == nullptr) break;
            playTyped(board.get(), text);
            over = checkGameEnd(board.get(), list.get());
        }
        EXPECT_EQ(capture.take(), c.result) << c.fen;
        EXPECT_EQ(over, 1);
        EXPECT_EQ(board->inCheck, c.inCheck);
    }

    // A check that is no mate: inCheck is set, nothing is printed.
    auto board = newBoard(initialPosition);
    capture.start();
    int over = 0;
    for (const char* text : {"e2e4\n", "f7f6\n", "d1h5\n"}) {
        playTyped(board.get(), text);
        over |= checkGameEnd(board.get(), list.get());
    }
    EXPECT_EQ(capture.take(), "");
    EXPECT_EQ(over, 0);
    EXPECT_EQ(board->inCheck, 1);
}

TEST(Commands, TimeAndStGiveTheBudgetInMilliseconds) {
    EXPECT_EQ(readTimeCommand("time 30000\n", 5000), 7500);
    EXPECT_EQ(readTimeCommand("time 3\n", 5000), 0);
    EXPECT_EQ(readTimeCommand("time 4\n", 5000), 1);
    EXPECT_EQ(readTimeCommand("time -30\n", 5000), -7);   // truncated toward zero
    // Without a number the previous budget is scaled once more.
    EXPECT_EQ(readTimeCommand("time \n", 5000), 1250);
    EXPECT_EQ(readTimeCommand("time abc\n", 1000), 250);
    EXPECT_EQ(readTimeCommand("time 99999999999\n", 5000), INT32_MAX / 4);

    EXPECT_EQ(readStCommand("st 5\n", 7500), 5000);
    EXPECT_EQ(readStCommand("st  12\n", 7500), 12000);
    EXPECT_EQ(readStCommand("st x\n", 7500), 7500);
    EXPECT_EQ(readStCommand("st 3000000\n", 7500), INT32_MAX);
    EXPECT_EQ(readStCommand("st -3000000\n", 7500), INT32_MIN);

    // The loop keeps the result until the next "time" or "st".
    auto board = newBoard(initialPosition);
    auto state = freshState();
    EXPECT_EQ(state->moveTime, 5000);
    feed(board.get(), state.get(), {"time 30000\n", "force\n", "e2e4\n", "undo\n"});
    EXPECT_EQ(state->moveTime, 7500);
    feed(board.get(), state.get(), {"st 5\n"});
    EXPECT_EQ(state->moveTime, 5000);
    feed(board.get(), state.get(), {"time3\n", "st5\n", "ST 9\n"});
    EXPECT_EQ(state->moveTime, 5000);
}

TEST(TimeCommands, AllowedTimeIsTheWholeClockOrTheFixedTime) {
    EXPECT_EQ(readAllowedTime("time 30000\n", NO_TIME_CAP), 300000);
    EXPECT_EQ(readAllowedTime("time 100\n", NO_TIME_CAP), 1000);
    EXPECT_EQ(readAllowedTime("st 1\n", NO_TIME_CAP), 1000);
    EXPECT_EQ(readAllowedTime("st -2\n", 1000), -2000);
    EXPECT_EQ(readAllowedTime("st x\n", 1000), 1000) << "no number: the previous limit stands";
    EXPECT_EQ(readAllowedTime("time\n", 700), 700);
    // A clock beyond 32 bits stays a limit: it does not become "no limit".
    EXPECT_EQ(readAllowedTime("st 3000000\n", 1000), INT32_MAX - 1);
    EXPECT_EQ(readAllowedTime("time 99999999999\n", 1000), INT32_MAX - 1);

    auto board = newBoard(initialPosition);
    auto state = freshState();
    EXPECT_EQ(state->allowedTime, NO_TIME_CAP) << "no clock known before the first command";
    feed(board.get(), state.get(), {"st 2\n"});
    EXPECT_EQ(state->allowedTime, 2000);
    feed(board.get(), state.get(), {"time 450\n"});
    EXPECT_EQ(state->allowedTime, 4500);
    EXPECT_EQ(state->moveTime, 112);
}

// A clock that moves on by clockStep milliseconds at every reading.
i32 clockNow = 0, clockStep = 0;
i32 steppingClock() {
    const i32 now = clockNow;
    clockNow += clockStep;
    return now;
}

TEST(Loop, EngineMoveStaysInsideTheTimeTheGuiAllows) {
    // One legal reply (Kxg2): every iteration is tiny, so the driver runs
    // until its soft limit and the hard limit is never doubled.
    const char* fen = "setboard 7k/8/8/8/8/8/6q1/7K w - - 0 1\n";
    struct Case {
        const char* clock;
        i32 step, expected;
    };
    const Case cases[] = {
        // "st 1": five times the budget would be 5 s; the cap is 1 s less
        // 50 ms, less the 100 ms the clock moved before the search began.
        {"st 1\n", 100, 1000 - 50 - 100},
        {"st 10\n", 100, 10000 - 500 - 100},
        // "time 100": one second left, a budget of 25 ms: 125 ms is inside.
        {"time 100\n", 1, 125},
        // "time 4": 40 ms left, a budget of 1 ms: 5 ms is inside the 9 ms
        // that a margin of at least 30 ms leaves.
        {"time 4\n", 1, 5},
        {"time 2\n", 1, 0},
        {"st 0\n", 1, 0},
    };
    for (const Case& c : cases) {
        auto board = newBoard(initialPosition);
        auto state = freshState();
        feed(board.get(), state.get(), {c.clock, "force\n", fen});
        clockNow = 0;
        clockStep = c.step;
        searchClock = steppingClock;
        const std::string out = feed(board.get(), state.get(), {"go\n"});
        searchClock = timer;
        EXPECT_EQ(moveClock.maxTimeAllowed, c.expected) << c.clock;
        EXPECT_NE(out.find("move h1g2\n"), std::string::npos) << c.clock << out;
    }
}

TEST(Loop, RemoveTakesBackTheLastTwoHalfMoves) {
    auto board = newBoard(initialPosition);
    auto state = freshState();
    // With nothing played it does nothing.
    EXPECT_EQ(feed(board.get(), state.get(), {"force\n", "remove\n"}), "");
    EXPECT_TRUE(samePosition(board.get(), newBoard(initialPosition).get()));

    // After one half-move it takes back that one, as two "undo"s would.
    feed(board.get(), state.get(), {"e2e4\n", "remove\n"});
    EXPECT_EQ(board->gamePly, 0u);
    EXPECT_TRUE(samePosition(board.get(), newBoard(initialPosition).get()));

    // After three it goes back to the position after the first.
    feed(board.get(), state.get(), {"e2e4\n", "e7e5\n", "g1f3\n", "remove\n"});
    EXPECT_EQ(board->gamePly, 1u);
    auto afterE4 = newBoard(initialPosition);
    playTyped(afterE4.get(), "e2e4\n");
    EXPECT_TRUE(samePosition(board.get(), afterE4.get()));
    EXPECT_TRUE(keysAreConsistent(board.get()));
    EXPECT_TRUE(boardIsConsistent(board.get()));

    // The game goes on from there: g1f3 is no longer Black's move, c7c5 is.
    feed(board.get(), state.get(), {"g1f3\n"});
    EXPECT_EQ(board->gamePly, 1u);
    feed(board.get(), state.get(), {"c7c5\n"});
    EXPECT_EQ(board->gamePly, 2u);
    EXPECT_EQ(board->sideToMove, WHITE);

    // Only the exact command counts; the force mode and time stay as they were.
    feed(board.get(), state.get(), {"remove \n", "REMOVE\n", "remove"});
    EXPECT_EQ(board->gamePly, 2u);
    EXPECT_EQ(state->forceMode, 1);
}

TEST(Loop, ModesFollowTheExactCommands) {
    auto board = newBoard(initialPosition);
    auto state = freshState();
    // "go" searches: a zero budget keeps that to the first iteration or so.
    feed(board.get(), state.get(), {"st 0\n", "force\n"});
    EXPECT_EQ(state->forceMode, 1);
    feed(board.get(), state.get(), {"new\n"});
    EXPECT_EQ(state->forceMode, 0);
    feed(board.get(), state.get(), {"force\n", "go\r\n", "go \n", "new \n", "GO\n"});
    EXPECT_EQ(state->forceMode, 1);
    feed(board.get(), state.get(), {"go\n"});
    EXPECT_EQ(state->forceMode, 0);

    EXPECT_EQ(handleInputLine(board.get(), state.get(), "quit \n"), 1);
    EXPECT_EQ(handleInputLine(board.get(), state.get(), "quit"), 1);
    EXPECT_EQ(handleInputLine(board.get(), state.get(), "quit\r\n"), 1);
    EXPECT_EQ(handleInputLine(board.get(), state.get(), "quit\n"), 0);
}

TEST(Loop, UndoTakesBackEveryKindOfMoveWithItsKeys) {
    // Castling, a capture with a rights change, en passant and a capturing
    // promotion, then taken back one by one.
    const char* fen = "r3k2r/1P6/8/8/5p2/8/4P3/R3K2R w KQkq - 0 1";
    auto board = newBoard(fen);
    auto state = freshState();
    const char* moves[] = {"b7a8n\n", "e8g8\n", "e2e4\n", "f4e3\n", "e1c1\n", "g8g7\n"};
    // Keys and squares of every position on the way.
    std::string out;
    std::vector<u64> keys{board->hashKey}, keys2{board->hashKey2};
    std::vector<std::string> squares{std::string(board->squares, board->squares + 128)};
    for (const char* text : moves) {
        const u32 before = board->gamePly;
        out += feed(board.get(), state.get(), {"force\n", text});
        ASSERT_EQ(board->gamePly, before + 1) << text;
        ASSERT_TRUE(keysAreConsistent(board.get())) << text;
        keys.push_back(board->hashKey);
        keys2.push_back(board->hashKey2);
        squares.emplace_back(board->squares, board->squares + 128);
    }
    ASSERT_EQ(board->gamePly, 6u);
    for (int n = 5; n >= 0; n--) {
        out += feed(board.get(), state.get(), {"undo\n"});
        EXPECT_EQ(board->gamePly, static_cast<u32>(n));
        EXPECT_TRUE(keysAreConsistent(board.get())) << "after undo to " << n;
        EXPECT_EQ(board->hashKey, keys[n]);
        EXPECT_EQ(board->hashKey2, keys2[n]);
        EXPECT_EQ(std::string(board->squares, board->squares + 128), squares[n]);
    }
    // Nothing more to take back.
    out += feed(board.get(), state.get(), {"undo\n"});
    auto original = newBoard(fen);
    EXPECT_TRUE(samePosition(board.get(), original.get()));
    EXPECT_EQ(board->gamePly, 0u);
    EXPECT_EQ(out, "");
}

TEST(Loop, FullHistoryRefusesFurtherMoves) {
    CapturedStdout capture;
    auto board = newBoard(initialPosition);
    auto state = freshState();
    capture.start();
    handleInputLine(board.get(), state.get(), "force\n");
    for (int i = 0; i < MAX_GAME_MOVES - 1; i++)
        handleInputLine(board.get(), state.get(), shuffle[i % 4]);
    ASSERT_EQ(board->gamePly, static_cast<u32>(MAX_GAME_MOVES - 1));
    const u64 key = board->hashKey;
    // Black to move with its knight on f6: the move is legal but has no room.
    handleInputLine(board.get(), state.get(), "f6g8\n");
    EXPECT_EQ(board->gamePly, static_cast<u32>(MAX_GAME_MOVES - 1));
    EXPECT_EQ(board->hashKey, key);
    Move move;
    ASSERT_EQ(inputMoveLegal(board.get(), "f6g8\n", &move), 1);
    EXPECT_EQ(playGameMove(board.get(), &move), 0);

    handleInputLine(board.get(), state.get(), "undo\n");
    EXPECT_EQ(board->gamePly, static_cast<u32>(MAX_GAME_MOVES - 2));
    handleInputLine(board.get(), state.get(), "f3g1\n");
    EXPECT_EQ(board->gamePly, static_cast<u32>(MAX_GAME_MOVES - 1));
    EXPECT_EQ(board->hashKey, key);
    EXPECT_TRUE(keysAreConsistent(board.get()));
    // A move or "go" with no room left is refused where the GUI shows it:
    // neither is taken, so the GUI must not wait for an answer.
    handleInputLine(board.get(), state.get(), "go\n");
    EXPECT_EQ(board->gamePly, static_cast<u32>(MAX_GAME_MOVES - 1));
    EXPECT_EQ(board->hashKey, key);
    // The shuffle reports its draws at half-moves 9 to 12 only.
    const std::string refusal = "tellusererror Game too long: no room for more moves\n";
    EXPECT_EQ(capture.take(),
              "1/2-1/2 {Draw by repetition}\n1/2-1/2 {Draw by repetition}\n"
              "1/2-1/2 {Draw by repetition}\n1/2-1/2 {Draw by repetition}\n" +
                  refusal + refusal);
}

TEST(Loop, RejectedSetboardKeepsTheGame) {
    auto board = newBoard(initialPosition);
    auto state = freshState();
    state->useBook = 1;
    feed(board.get(), state.get(), {"force\n", "e2e4\n", "e7e5\n"});
    const u64 key = board->hashKey;
    const char* rejected[] = {
        "setboard junk\n",
        "setboard\n",
        "setboard",
        "setboard \n",
        "setboard 8/8/8/8/8/8/8/8 w - - 0 1\n",                                 // no kings
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1\n",   // short rank
        "setboard 4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1\n",   // the side that just moved is in check
        "setboard 8/8/8/8/8/8/8/4Kk2 b - - 0 1\n",      // kings side by side
    };
    for (const char* line : rejected) {
        EXPECT_EQ(feed(board.get(), state.get(), {line}), "tellusererror Illegal position\n")
            << line;
        EXPECT_EQ(board->gamePly, 2u);
        EXPECT_EQ(board->hashKey, key);
        EXPECT_EQ(state->useBook, 1);
    }
    // The game goes on from where it was.
    feed(board.get(), state.get(), {"undo\n"});
    EXPECT_EQ(board->gamePly, 1u);

    // An accepted position restarts the history, switches the book off and
    // leaves force mode alone.
    EXPECT_EQ(feed(board.get(), state.get(), {"setboard 4k3/8/8/8/8/8/4Q3/4K3 b - - 0 1\n"}), "");
    EXPECT_EQ(board->gamePly, 0u);
    EXPECT_EQ(state->useBook, 0);
    EXPECT_EQ(state->forceMode, 1);
    EXPECT_EQ(board->sideToMove, BLACK);
    EXPECT_TRUE(keysAreConsistent(board.get()));
    auto expected = newBoard("4k3/8/8/8/8/8/4Q3/4K3 b - - 0 1");
    EXPECT_TRUE(samePosition(board.get(), expected.get()));
}

TEST(Loop, NewRestoresTheStartAndTheBookFlag) {
    auto board = newBoard("4k3/8/8/8/8/8/4Q3/4K3 b - - 0 1");
    auto state = freshState();
    feed(board.get(), state.get(), {"force\n", "e8d8\n"});
    EXPECT_EQ(state->useBook, 0);
    feed(board.get(), state.get(), {"new\n"});
    auto start = newBoard(initialPosition);
    EXPECT_TRUE(samePosition(board.get(), start.get()));
    EXPECT_EQ(board->gamePly, 0u);
    EXPECT_EQ(state->forceMode, 0);
    EXPECT_EQ(state->useBook, 1);
    // "undo" right after "new" has nothing to take back.
    feed(board.get(), state.get(), {"undo\n"});
    EXPECT_TRUE(samePosition(board.get(), start.get()));
}
