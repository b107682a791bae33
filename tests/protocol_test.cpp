// The engine as a GUI sees it: the built program run with scripted standard
// input, its output compared line for line after the start-up lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "board.h"
#include "engine_process.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "utils.h"

namespace {

const std::string featureLines =
    "\nfeature done=0\n"
    "feature setboard=1 time=1 analyze=0 myname=\"Quillantor 0.3\"\n"
    "feature done=1\n";
const std::string illegalPosition = "tellusererror Illegal position\n";
const std::string repetition = "1/2-1/2 {Draw by repetition}\n";

// Runs the engine in a fresh directory with a small hash table and, when
// bookText is given, a book. Returns what it printed after the echo of the
// configuration; the run must end with status 0.
std::string converse(const std::string& input, const char* bookText = nullptr) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    {
        std::ofstream rc(dir + "/quillantor.rc");
        rc << "hash 1024\nbook test.bk\n";
    }
    if (bookText != nullptr) {
        std::ofstream book(dir + "/test.bk", std::ios::binary);
        book << bookText;
    }
    const EngineRun run = runEngine({}, input, dir, 60);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string marker = "\tBook file\t= test.bk\n";
    const size_t at = run.out.find(marker);
    EXPECT_EQ(run.out.rfind("     Q u i l l a n t o r", 0), 0u);
    EXPECT_NE(at, std::string::npos) << run.out;
    return at == std::string::npos ? run.out : run.out.substr(at + marker.size());
}

std::string repeat(const std::string& text, int n) {
    std::string all;
    for (int i = 0; i < n; i++) all += text;
    return all;
}

const char* shuffle[4] = {"g1f3\n", "g8f6\n", "f3g1\n", "f6g8\n"};

// A searched move's transcript depends on the clock: each run of thinking
// lines ending in its "move" line becomes "<search>", with the move checked
// to be well formed. Book lines and every other line are kept as they are.
std::string maskSearches(const std::string& out) {
    std::string masked, thinking;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        const bool book = line.size() > 6 && line.compare(line.size() - 6, 6, "(Book)") == 0;
        if (!line.empty() && isdigit(static_cast<unsigned char>(line[0])) && !book) {
            thinking += line + "\n";
        } else if (line.rfind("move ", 0) == 0 && !thinking.empty()) {
            const bool wellFormed =
                line.size() == 9 || (line.size() == 10 && strchr("qrbn", line[9]));
            masked += wellFormed ? "<search>\n" : line + "\n";
            thinking.clear();
        } else {
            masked += thinking + line + "\n";
            thinking.clear();
        }
    }
    return masked + thinking;
}

}   // namespace

TEST(Protocol, XboardAnnouncesItsFeatures) {
    EXPECT_EQ(converse("xboard\n"), featureLines);
    EXPECT_EQ(converse("xboard\nxboard\n"), featureLines + featureLines);
    // Exact matches only: case, blanks and carriage returns count.
    EXPECT_EQ(converse("XBOARD\nxboard \n xboard\nxboard\r\nxboard"), "");
    EXPECT_EQ(converse(""), "");
}

TEST(Protocol, QuitEndsTheRunOnlyWhenExact) {
    EXPECT_EQ(converse("quit \nxboard\n"), featureLines);
    EXPECT_EQ(converse("quit\r\nquit\txboard\n"), "");
    EXPECT_EQ(converse("quit\nxboard\n"), "");
}

TEST(Protocol, LongLinesAreReadInPiecesOf255) {
    // The second piece of a 262-character line is "xboard\n" on its own.
    EXPECT_EQ(converse(std::string(255, 'z') + "xboard\n"), featureLines);
    EXPECT_EQ(converse(std::string(254, 'z') + "xboard\n"), "");
    EXPECT_EQ(converse(std::string(5000, '\xff') + "\nxboard\n"), featureLines);
}

TEST(Protocol, ForcedMovesAreSilent) {
    EXPECT_EQ(converse("force\ne2e4\ne7e5\ng1f3\nb8c6\n"), "");
    // Illegal and malformed moves get no reply either.
    EXPECT_EQ(converse("force\ne2e5\nE2E4\ne2e4\ne2e4\nzzzz\ne7e8q\nd7d5\ne4d5\n"), "");
}

TEST(Protocol, KnightShuffleDrawsOnEachThirdOccurrence) {
    // A refused setboard prints one line and changes nothing: it marks the
    // end of each half-move in the transcript.
    std::string input = "force\n", expected;
    for (int halfMove = 1; halfMove <= 16; halfMove++) {
        input += std::string(shuffle[(halfMove - 1) % 4]) + "setboard -\n";
        if (halfMove >= 9 && halfMove <= 12) expected += repetition;
        expected += illegalPosition;
    }
    EXPECT_EQ(converse(input), expected);
}

TEST(Protocol, MateAndStalemateEndTheGame) {
    EXPECT_EQ(converse("force\nf2f3\ne7e5\ng2g4\nd8h4\ne2e4\n"), "0-1 {Black mates}\n");
    EXPECT_EQ(converse("force\ne2e4\ne7e5\nd1h5\nb8c6\nf1c4\ng8f6\nh5f7\n"), "1-0 {White mates}\n");
    EXPECT_EQ(converse("setboard k7/8/8/1Q6/8/8/8/7K w - - 0 1\nb5b6\n"), "1/2-1/2 {Stalemate}\n");
    // A user move that mates ends the line before the commands are compared.
    EXPECT_EQ(converse("force\nf2f3\ne7e5\ng2g4\nd8h4\nundo\nd8h4\n"),
              "0-1 {Black mates}\n0-1 {Black mates}\n");
}

TEST(Protocol, UndoTakesBackGameMoves) {
    // Undo at the start does nothing; afterwards the mate is replayed from
    // the taken-back position, and the repetition count sees the right keys.
    EXPECT_EQ(converse("new\nundo\nforce\nf2f3\ne7e5\ng2g4\nundo\nundo\nundo\nundo\nundo\n"
                       "f2f3\ne7e5\ng2g4\nd8h4\n"),
              "0-1 {Black mates}\n");
    std::string input = "force\n";
    for (int i = 0; i < 8; i++) input += shuffle[i % 4];
    // Half-move 9 again and again: each time the third occurrence.
    input += repeat(std::string(shuffle[0]) + "undo\n", 3);
    EXPECT_EQ(converse(input), repeat(repetition, 3));
}

TEST(Protocol, SetboardSetsUpOrKeepsTheGame) {
    // A good position: the engine plays on from it.
    EXPECT_EQ(converse("force\ne2e4\nsetboard 4k3/R7/8/8/8/8/8/4K2R w K - 0 1\nsetboard -\n"
                       "e1g1\ne8d8\nf1f8\n"),
              illegalPosition + "1-0 {White mates}\n");
    // A rejected one keeps position and history: the mate still comes.
    EXPECT_EQ(converse("force\nf2f3\ne7e5\ng2g4\nsetboard rnbqkbnr/pppppppp w KQkq - 0 1\n"
                       "setboard 4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1\nsetboard\nd8h4\n"),
              repeat(illegalPosition, 3) + "0-1 {Black mates}\n");
    // The line ends at its first NUL, and a last line cut short at end of
    // input carries no position: neither reads a FEN from what lies beyond.
    const std::string fen = "k7/8/8/1Q6/8/8/8/7K w - - 0 1\n";
    EXPECT_EQ(converse("setboard " + fen + "b5b6\nundo\nsetboard"),
              "1/2-1/2 {Stalemate}\n" + illegalPosition);
    EXPECT_EQ(converse(std::string("setboard\0", 9) + fen + "b5b6\n"), illegalPosition);
}

TEST(Protocol, RemoveRetractsTheUsersMoveAndTheAnswer) {
    // The book makes each answer certain: e2e4 is met by e7e5, d2d4 by d7d5.
    const char* book = " e2e4e7e5\n d2d4d7d5\n";
    const std::string e5 = "0 0 0 0 e7e5 (Book)\nmove e7e5\n",
                      d5 = "0 0 0 0 d7d5 (Book)\nmove d7d5\n";
    // After the retract the engine answers in the GUI's position, not in
    // the old game; at the start "remove" does nothing, and a move that was
    // Black's before the retract is now refused.
    EXPECT_EQ(converse("new\ne2e4\nremove\nd2d4\nremove\nremove\ne7e5\ne2e4\n", book),
              e5 + d5 + e5);
    // With one half-move played only that one goes back.
    EXPECT_EQ(converse("new\nforce\ne2e4\nremove\nd2d4\ngo\n", book), d5);
}

TEST(Protocol, GameHistoryEndsAtItsCapacity) {
    // The shuffle brings the start position back every four half-moves;
    // fool's mate then ends the game, unless the history is full first.
    auto input = [](int shuffleMoves) {
        std::string text = "force\n";
        for (int i = 0; i < shuffleMoves; i++) text += shuffle[i % 4];
        return text + "f2f3\ne7e5\ng2g4\nd8h4\nundo\ng2g4\nd8h4\n";
    };
    const std::string draws = repeat(repetition, 4);
    // Mate four half-moves before the end of the history; "undo" takes it back, g2g4 is then not
    // White's move, and the mate is given again.
    EXPECT_EQ(converse(input(MAX_GAME_MOVES - 8)), draws + repeat("0-1 {Black mates}\n", 2));
    // Here d8h4 would take the last slot of the history: it is refused with
    // a message; "undo" takes back g2g4, which is played again, and d8h4 is
    // refused once more.
    const std::string refusal = "tellusererror Game too long: no room for more moves\n";
    EXPECT_EQ(converse(input(MAX_GAME_MOVES - 4)), draws + refusal + refusal);
}

TEST(Protocol, BookAnswersUntilItRunsOut) {
    // "st 0": searches stop after their first iteration that takes time.
    const char* book = " e2e4e7e5g1f3\n d2d4d7d5\n";
    // The user's e2e4 is answered from the book; g1f3 ends the book's line
    // and the search takes over.
    EXPECT_EQ(maskSearches(converse("st 0\ne2e4\ng1f3\n", book)),
              "0 0 0 0 e7e5 (Book)\nmove e7e5\n<search>\n");
    // "go" plays for the side to move and leaves force mode, so the user's
    // next move is answered; once the book has failed it is not asked again
    // until "new" switches it back on.
    EXPECT_EQ(maskSearches(converse("st 0\nforce\nd2d4\ngo\ng1f3\nnew\nforce\ne2e4\ngo\n", book)),
              "0 0 0 0 d7d5 (Book)\nmove d7d5\n<search>\n0 0 0 0 e7e5 (Book)\nmove e7e5\n");
    EXPECT_EQ(
        maskSearches(converse("st 0\nforce\ne2e4\ngo\ng1f3\nforce\nundo\nundo\nundo\ngo\n", book)),
        "0 0 0 0 e7e5 (Book)\nmove e7e5\n<search>\n<search>\n")
        << "back after e2e4 the book would answer, but it is off";
    // After "setboard" the book stays off until "new", even on the start position.
    EXPECT_EQ(maskSearches(converse(
                  std::string("st 0\nsetboard ") + initialPosition + "\ne2e4\nnew\ne2e4\n", book)),
              "<search>\n0 0 0 0 e7e5 (Book)\nmove e7e5\n");
    // A rejected setboard leaves the book on.
    EXPECT_EQ(converse("setboard x\ne2e4\n", book),
              illegalPosition + "0 0 0 0 e7e5 (Book)\nmove e7e5\n");
}

TEST(Protocol, BookMoveThatMatesEndsTheGame) {
    const char* book = " f2f3e7e5g2g4d8h4\n";
    EXPECT_EQ(converse("force\nf2f3\ne7e5\ng2g4\ngo\ne2e4\n", book),
              "0 0 0 0 d8h4 (Book)\nmove d8h4\n0-1 {Black mates}\n");
    // A user move that mates is not answered: the book is not even asked,
    // so it still has its move after "undo" and another reply.
    EXPECT_EQ(
        converse("go\ne7e5\nd8h4\nundo\nh7h6\n", " f2f3e7e5g2g4d8h4\n f2f3e7e5g2g4h7h6g4g5\n"),
        "0 0 0 0 f2f3 (Book)\nmove f2f3\n0 0 0 0 g2g4 (Book)\nmove g2g4\n"
        "0-1 {Black mates}\n0 0 0 0 g4g5 (Book)\nmove g4g5\n");
}

TEST(Protocol, WithoutABookEveryEngineMoveIsSearched) {
    // White's "go", then e2e4 is not Black's move; "new" and "go" again.
    EXPECT_EQ(maskSearches(converse("st 0\ngo\ne2e4\nnew\ngo\n")), "<search>\n<search>\n");
    std::string broken = "\n\n" + std::string(5000, 'q') + "\n \x01\x02\x03\n e2e5\n e7e5\n";
    EXPECT_EQ(maskSearches(converse("st 0\ngo\ne2e4\nnew\ngo\n", broken.c_str())),
              "<search>\n<search>\n");
}

// Random and mutated lines, with legal moves mixed in so that games get deep
// enough for captures, castling, promotions and mates. The engine must end
// at the end of input with status 0 and print only lines the protocol
// defines. A copy of the loop run in this process on the same pieces must
// print the same, which catches reads of stale or uninitialised memory.
TEST(Protocol, AByteOrderMarkOrUtf16TextGetsNoReplyAndTheGameGoesOn) {
    // A mark before the first line does not hide it; a UTF-16 line is no
    // command (its NUL bytes end it at once) and gets no reply.
    const TempDir tmp;
    std::string input = "\xEF\xBB\xBFxboard\n";
    for (const char c : std::string("new\ngo\n")) input += c, input += '\0';
    input += "\nforce\nsetboard 7k/8/8/8/8/8/6q1/7K w - - 0 1\ngo\nquit\n";
    const EngineRun run = runEngine({}, input, tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("feature done=1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("move h1g2\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("move ", run.out.find("feature done=1")), run.out.find("move h1g2\n"))
        << "the UTF-16 go is no go";
}

TEST(Protocol, FuzzedInputGetsOnlyDefinedReplies) {
    std::mt19937 rng(20261207);
    auto pick = [&rng](size_t n) { return static_cast<int>(rng() % n); };
    // The engine stays in force mode (see feed below): its own moves come
    // from a search whose transcript depends on the clock; the self-play
    // tests cover them.
    const std::vector<std::string> commands = {
        "new\n",
        "force\n",
        "time 30000\n",
        "time 3\n",
        "xboard\n",
        "setboard \n",
        "undo\n",
        "st 5\n",
        "time -99999999999\n",
        "st 99999999\n",
        "protover 2\n",
        "level 40 5 0\n",
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n",
        "setboard r3k2r/pPpp1ppp/8/3Pp3/8/8/P1PP1PpP/R3K2R w KQkq e6 0 1\n",
        "setboard 4k3/1P4P1/8/8/8/8/1p4p1/4K3 b - - 0 1\n",
        "setboard 7k/5Q2/6K1/8/8/8/8/8 w - - 0 1\n",
    };
    auto anyCommand = [&]() { return commands[static_cast<size_t>(pick(commands.size()))]; };
    auto mutate = [&](std::string line) {
        const int edits = 1 + pick(4);
        for (int e = 0; e < edits; e++) {
            const size_t at = line.empty() ? 0 : static_cast<size_t>(pick(line.size()));
            switch (pick(6)) {
            case 0:
                if (!line.empty()) line[at] = static_cast<char>(pick(256));
                break;
            case 1: line.insert(at, 1, static_cast<char>(pick(256))); break;
            case 2:
                if (!line.empty()) line.erase(at, 1);
                break;
            case 3: line.resize(at); break;
            case 4: line.insert(at, 1, pick(2) ? '\r' : '\0'); break;
            default:
                line.insert(at, static_cast<size_t>(200) + static_cast<size_t>(pick(400)),
                            static_cast<char>('a' + pick(26)));
            }
        }
        return line;
    };

    // The in-process copy of the engine follows every piece, so the test
    // knows the position and can type legal moves.
    auto board = std::make_unique<Board>();
    setupFen(board.get(), initialPosition);
    getHashkey(board.get());
    auto state = std::make_unique<LoopState>();
    initLoopState(state.get());
    auto list = std::make_unique<MoveList>();
    const TempDir tmp;
    const std::string& dir = tmp.path;
    std::string input, expected;

    // Input goes to the engine as one stream; the in-process loop gets it in
    // the pieces fgets cuts: up to a line feed or 255 characters. A line
    // without its line feed waits to be joined with what follows.
    std::string pending;
    auto feed = [&](const std::string& text, bool atEnd = false) {
        input += text;
        pending += text;
        const size_t most = INPUT_LINE_SIZE - 1;
        size_t at = 0;
        while (at < pending.size()) {
            size_t end = at;
            while (end < pending.size() && end - at < most && pending[end] != '\n') end++;
            bool complete = end - at == most || atEnd;
            if (end < pending.size() && end - at < most && pending[end] == '\n') {
                end++;
                complete = true;
            }
            if (!complete) break;
            char piece[INPUT_LINE_SIZE] = {};
            std::copy(pending.begin() + static_cast<long>(at),
                      pending.begin() + static_cast<long>(end), piece);
            // The engine must stay in force mode: a "go" that reaches the loop
            // becomes "force", and every "new" is followed by "force", in the
            // engine's input as in the copy's.
            const size_t after = input.size() - pending.size() + end;
            if (strcmp(piece, "go\n") == 0) {
                input.replace(after - 3, 3, "force\n");
                strcpy(piece, "force\n");
            }
            handleInputLine(board.get(), state.get(), piece);
            if (strcmp(piece, "new\n") == 0) {
                input.insert(after, "force\n");
                handleInputLine(board.get(), state.get(), "force\n");
            }
            at = end;
        }
        pending.erase(0, at);
    };

    testing::internal::CaptureStdout();
    feed("force\n");
    u32 deepest = 0;
    for (int i = 0; i < 8000; i++) {
        std::string line;
        // The second half sends no commands, so that games grow long.
        const bool commandsToo = i < 4000;
        const int kind = commandsToo ? pick(100) : (pick(2) ? 0 : 85);
        if (kind < 45) {
            const u32 n = generateMoves(board.get(), list.get(), 1);
            if (n == 0) {
                line = commandsToo ? anyCommand() : "new\nforce\n";
            } else {
                char text[6];
                moveToText(&list->moves[pick(n)], text);
                line = text;
                if (pick(8) == 0) line += "qrbnpk"[pick(6)];
                line += pick(10) == 0 ? "\r\n" : "\n";
            }
        } else if (kind < 60) {
            line = anyCommand();
        } else if (kind < 85) {
            line = mutate(anyCommand());
        } else {
            const int length = pick(10) == 0 ? 256 + pick(700) : pick(12);
            for (int k = 0; k < length; k++) line += static_cast<char>(pick(256));
            if (pick(4) != 0) line += '\n';
        }
        // A quit would end the run early and leave the rest unread.
        if (line.find("quit") != std::string::npos) continue;
        feed(line);
        // Games that ended, or whose history is full, start afresh now and then.
        if (pick(400) == 0) feed("new\nforce\n");
        deepest = std::max(deepest, board->gamePly);
    }
    feed("", true);
    expected = testing::internal::GetCapturedStdout();

    {
        std::ofstream rc(dir + "/quillantor.rc");
        rc << "hash 1024\nbook test.bk\n";
    }
    const EngineRun run = runEngine({}, input, dir, 60);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string marker = "\tBook file\t= test.bk\n";
    const size_t at = run.out.find(marker);
    ASSERT_NE(at, std::string::npos);
    const std::string out = run.out.substr(at + marker.size());
    EXPECT_EQ(out, expected);

    const std::set<std::string> defined = {
        "",
        "feature done=0",
        "feature setboard=1 time=1 analyze=0 myname=\"Quillantor 0.3\"",
        "feature done=1",
        "1/2-1/2 {Draw by repetition}",
        "1-0 {White mates}",
        "0-1 {Black mates}",
        "1/2-1/2 {Stalemate}",
        "tellusererror Illegal position"};
    std::set<std::string> seen;
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "unterminated output line";
        const std::string line = out.substr(start, end - start);
        EXPECT_TRUE(defined.count(line)) << "undefined output line: " << line;
        seen.insert(line);
        start = end + 1;
    }
    // The run reached the interesting replies, not only silence.
    EXPECT_TRUE(seen.count("feature done=1"));
    EXPECT_TRUE(seen.count("tellusererror Illegal position"));
    EXPECT_TRUE(seen.count("1-0 {White mates}") || seen.count("0-1 {Black mates}") ||
                seen.count("1/2-1/2 {Stalemate}") || seen.count("1/2-1/2 {Draw by repetition}"));
    EXPECT_GT(deepest, 200u);
}
