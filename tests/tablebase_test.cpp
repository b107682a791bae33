// The endgame tables: the FEN's halfmove clock and the fifty-move count,
// the position and moves handed to and taken from the prober, root and
// search probes against what Debian's fathom command says of a few hundred
// positions (tests/data/tablebase_expected.txt), the choice of root moves,
// damaged table files, the tool and the configuration line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_process.h"
#include "san.h"
#include "attack.h"
#include "interface.h"
#include "movegen.h"
#include "search.h"
#include "tablebase.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string tableFolder = std::string(QL_DATA_DIR) + "/syzygy";

// One line of the expected answers: the reader's result, distance and the
// moves it groups as winning, drawing (cursed wins and blessed losses
// included) and losing.
struct Expected {
    std::string fen, wdl;
    int dtz = 0;
    std::string groups[3];
};

std::vector<Expected> readExpected() {
    std::ifstream in(std::string(QL_DATA_DIR) + "/tablebase_expected.txt");
    std::vector<Expected> all;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
            fields.push_back(line.substr(start, bar - start));
        fields.push_back(line.substr(start));
        if (fields.size() != 6) {
            ADD_FAILURE() << "bad expected line: " << line;
            continue;
        }
        Expected e;
        e.fen = fields[0];
        e.wdl = fields[1];
        e.dtz = std::stoi(fields[2]);
        for (int g = 0; g < 3; g++) e.groups[g] = fields[3 + g];
        all.push_back(e);
    }
    return all;
}

// The reader's SAN list ("Kd3, exd6, e8=Q") as coordinate texts.
std::set<std::string> coordinates(Board* board, const std::string& sanList) {
    std::set<std::string> out;
    size_t start = 0;
    while (start < sanList.size()) {
        size_t comma = sanList.find(", ", start);
        if (comma == std::string::npos) comma = sanList.size();
        const std::string san = sanList.substr(start, comma - start);
        start = comma + 2;
        Move move;
        if (!parseSan(board, san.c_str(), &move)) {
            ADD_FAILURE() << san << " is not a legal move";
            continue;
        }
        char text[8];
        moveToText(&move, text);
        out.insert(text);
    }
    return out;
}

// The group the reader puts a result in: 0 winning, 1 drawing, 2 losing.
int groupOf(TbWdl wdl) { return wdl == WDL_WIN ? 0 : wdl == WDL_LOSS ? 2 : 1; }

std::string text(const Move& move) {
    char out[8];
    moveToText(&move, out);
    return out;
}

// True when the build has the prober; where every build is required (CI,
// which installs it), a build without it fails the test that asked.
bool haveTablebases() {
    if (tablebaseSupport()) return true;
    const char* required = std::getenv("REQUIRE_ALL_BUILDS");
    if (required != nullptr && std::string(required) == "1")
        ADD_FAILURE() << "built without the tablebase prober (Debian package libfathom-dev)";
    return false;
}

// Tests that probe the test tables: loaded for each test, switched off
// after it. A build without the prober skips them.
class TablebaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTablebases()) GTEST_SKIP() << "no tablebase support in this build";
        files = initTablebases(tableFolder);
        ASSERT_EQ(files.largest, 4);
    }
    void TearDown() override { freeTablebases(); }
    TablebaseFiles files;
};

// A folder of its own for a test's table files, removed with them.
struct TableFolder {
    TempDir tmp;
    std::string path = tmp.path;
    void copy(const std::string& name) const {
        fs::copy_file(tableFolder + "/" + name, path + "/" + name);
        fs::permissions(path + "/" + name, fs::perms::owner_read | fs::perms::owner_write);
    }
    void copyAll() const {
        for (const auto& entry : fs::directory_iterator(tableFolder)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".rtbw" || ext == ".rtbz") copy(entry.path().filename().string());
        }
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    // Writes bytes as the whole of the file.
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string read(const std::string& name) const { return readWholeFile(file(name)); }
};

// Random legal KQvKR positions, White to move and Black to move.
std::vector<std::string> queenAgainstRook(int count) {
    std::mt19937 random(11);
    std::vector<std::string> fens;
    while (static_cast<int>(fens.size()) < count) {
        char cells[64];
        for (char& c : cells) c = '1';
        const char pieces[] = {'K', 'Q', 'k', 'r'};
        for (char p : pieces) {
            int s;
            do s = static_cast<int>(random() % 64);
            while (cells[s] != '1');
            cells[s] = p;
        }
        std::string fen;
        for (int r = 7; r >= 0; r--) {
            int empty = 0;
            for (int f = 0; f < 8; f++) {
                const char c = cells[r * 8 + f];
                if (c == '1') {
                    empty++;
                    continue;
                }
                if (empty > 0) fen += static_cast<char>('0' + empty);
                empty = 0;
                fen += c;
            }
            if (empty > 0) fen += static_cast<char>('0' + empty);
            if (r > 0) fen += '/';
        }
        fen += random() % 2 ? " w - - 0 1" : " b - - 0 1";
        auto board = std::make_unique<Board>();
        if (setupFen(board.get(), fen.c_str())) fens.push_back(fen);
    }
    return fens;
}

}   // namespace

// ---------------------------------------------------------------------------
// The halfmove clock

TEST(FiftyMoveCount, StartsFromTheFenClockAndResetsOnCapturesAndPawnMoves) {
    auto board = newBoard("4k3/8/8/3p4/8/8/4P3/4K1N1 w - - 37 60");
    EXPECT_EQ(board->fenHalfmoveClock, 37u);
    EXPECT_EQ(fiftyMoveCount(board.get()), 37u);
    playTyped(board.get(), "g1f3");
    playTyped(board.get(), "e8d8");
    EXPECT_EQ(fiftyMoveCount(board.get()), 39u);
    // A copy counts the same: the search starts from one.
    auto copy = std::make_unique<Board>();
    copyBoard(copy.get(), board.get());
    EXPECT_EQ(fiftyMoveCount(copy.get()), 39u);
    playTyped(board.get(), "e2e4");
    EXPECT_EQ(fiftyMoveCount(board.get()), 0u);
    playTyped(board.get(), "d8c8");
    playTyped(board.get(), "f3d4");
    EXPECT_EQ(fiftyMoveCount(board.get()), 2u);
    playTyped(board.get(), "d5e4");   // a pawn takes
    EXPECT_EQ(fiftyMoveCount(board.get()), 0u);
    playTyped(board.get(), "d4c6");
    playTyped(board.get(), "c8c7");
    playTyped(board.get(), "c6e5");
    playTyped(board.get(), "c7d6");
    playTyped(board.get(), "e5f7");
    EXPECT_EQ(fiftyMoveCount(board.get()), 5u);
    takeBackGameMove(board.get());
    EXPECT_EQ(fiftyMoveCount(board.get()), 4u);
}

TEST(FiftyMoveCount, AnUnreadableClockReadsAsZeroAndNeverRefusesTheFen) {
    const std::string placement = "4k3/8/8/8/8/8/4P3/4K3 w - - ";
    auto board = std::make_unique<Board>();
    for (const std::string tail : {"x 1", "-3 1", "12abc 1", "1234567 1", "+5 1", "", "3.5 1"}) {
        ASSERT_EQ(setupFen(board.get(), (placement + tail).c_str()), 1) << tail;
        EXPECT_EQ(board->fenHalfmoveClock, 0u) << tail;
    }
    ASSERT_EQ(setupFen(board.get(), "4k3/8/8/8/8/8/4P3/4K3 w"), 1);
    EXPECT_EQ(board->fenHalfmoveClock, 0u);
    ASSERT_EQ(setupFen(board.get(), (placement + "99 80\n").c_str()), 1);
    EXPECT_EQ(board->fenHalfmoveClock, 99u);
    ASSERT_EQ(setupFen(board.get(), (placement + "123456").c_str()), 1);
    EXPECT_EQ(board->fenHalfmoveClock, 123456u);
    // A refused FEN leaves the clock as it was.
    EXPECT_EQ(setupFen(board.get(), "4k3/8/8/8/8/8/8/8 w - - 7 1"), 0);
    EXPECT_EQ(board->fenHalfmoveClock, 123456u);
}

// ---------------------------------------------------------------------------
// What the prober is given and what it gives back

TEST(Tablebase, PositionIsHandedOverSquareForSquare) {
    auto board = newBoard("8/8/8/3pP3/8/8/8/K6k w - d6 0 1");
    const TablebasePosition p = tablebasePosition(board.get());
    const auto bit = [](const char* name) {
        return u64{1} << ((name[1] - '1') * 8 + name[0] - 'a');
    };
    EXPECT_EQ(p.white, bit("a1") | bit("e5"));
    EXPECT_EQ(p.black, bit("h1") | bit("d5"));
    EXPECT_EQ(p.kings, bit("a1") | bit("h1"));
    EXPECT_EQ(p.pawns, bit("d5") | bit("e5"));
    EXPECT_EQ(p.queens | p.rooks | p.bishops | p.knights, 0u);
    EXPECT_EQ(p.ep, 43u);   // d6
    EXPECT_TRUE(p.whiteToMove);
    EXPECT_EQ(p.castling, 0u);

    board = newBoard("r3k3/8/8/2q5/8/8/8/4K2R b Kq - 0 1");
    const TablebasePosition q = tablebasePosition(board.get());
    EXPECT_EQ(q.queens, bit("c5"));
    EXPECT_EQ(q.rooks, bit("a8") | bit("h1"));
    EXPECT_EQ(q.ep, 0u);
    EXPECT_FALSE(q.whiteToMove);
    // The prober's castling bits are the board's: K 1, Q 2, k 4, q 8.
    EXPECT_EQ(q.castling, 1u | 8u);
}

TEST(Tablebase, MovesAreTheGeneratedOnesWithPromotionsAndEnPassant) {
    auto board = newBoard("4k3/1P6/8/3pP3/8/8/8/K7 w - d6 0 1");
    Move move;
    const unsigned b7 = 49, b8 = 57, e5 = 36, d6 = 43, a1 = 0, a3 = 16;
    const char* promoted[] = {"", "b7b8q", "b7b8r", "b7b8b", "b7b8n"};
    for (unsigned p = 1; p <= 4; p++) {
        ASSERT_TRUE(tablebaseMove(board.get(), b7, b8, p, &move));
        EXPECT_EQ(text(move), promoted[p]);
        EXPECT_TRUE(move.flags & MF_PROMOTION);
    }
    EXPECT_FALSE(tablebaseMove(board.get(), b7, b8, 0, &move));
    ASSERT_TRUE(tablebaseMove(board.get(), e5, d6, 0, &move));
    EXPECT_TRUE(move.flags & MF_ENPASSANT);
    EXPECT_EQ(move.captured, BPAWN);
    EXPECT_FALSE(tablebaseMove(board.get(), e5, d6, 1, &move));
    EXPECT_FALSE(tablebaseMove(board.get(), a1, a3, 0, &move));
    EXPECT_FALSE(tablebaseMove(board.get(), 64, a3, 0, &move));
    EXPECT_FALSE(tablebaseMove(board.get(), a1, a3, 5, &move));
}

// ---------------------------------------------------------------------------
// Probes against the independent reader

TEST_F(TablebaseTest, FindsEveryTableOfTheTestSet) {
    EXPECT_EQ(files.wdlTables, 35);
    EXPECT_EQ(files.dtzTables, 35);
    EXPECT_TRUE(files.problems.empty());
    EXPECT_EQ(tablebasePieces(), 4);
}

TEST_F(TablebaseTest, RootAgreesWithTheIndependentReader) {
    const std::vector<Expected> expected = readExpected();
    ASSERT_GE(expected.size(), 1000u);
    int enPassant = 0, cursed = 0, withClock = 0;
    for (const Expected& e : expected) {
        auto board = newBoard(e.fen);
        RootTablebase root;
        ASSERT_TRUE(probeRoot(board.get(), fiftyMoveCount(board.get()), &root)) << e.fen;
        EXPECT_EQ(wdlName(root.wdl), e.wdl) << e.fen;
        EXPECT_EQ(std::abs(root.dtz), e.dtz) << e.fen;
        std::set<std::string> groups[3];
        for (const TablebaseMove& m : root.moves) {
            groups[groupOf(m.wdl)].insert(text(m.move));
            // A move's distance carries the sign of its result.
            EXPECT_EQ(m.dtz > 0, m.wdl == WDL_WIN || m.wdl == WDL_CURSED_WIN) << e.fen;
            EXPECT_EQ(m.dtz < 0, m.wdl == WDL_LOSS || m.wdl == WDL_BLESSED_LOSS) << e.fen;
            enPassant += (m.move.flags & MF_ENPASSANT) ? 1 : 0;
        }
        for (int g = 0; g < 3; g++)
            EXPECT_EQ(groups[g], coordinates(board.get(), e.groups[g])) << e.fen << " group " << g;
        cursed += root.wdl == WDL_CURSED_WIN || root.wdl == WDL_BLESSED_LOSS;
        withClock += board->fenHalfmoveClock > 0;
    }
    // The set covers what it is there for.
    EXPECT_GE(enPassant, 30);
    EXPECT_GE(cursed, 3);
    EXPECT_GE(withClock, 50);
}

TEST_F(TablebaseTest, SearchProbeAgreesWithTheReaderWhereTheCountIsZero) {
    int probed = 0;
    for (const Expected& e : readExpected()) {
        auto board = newBoard(e.fen);
        if (board->fenHalfmoveClock != 0) continue;
        EXPECT_EQ(wdlName(probeWdl(board.get())), e.wdl) << e.fen;
        probed++;
    }
    EXPECT_GE(probed, 200);
}

TEST_F(TablebaseTest, ProbesFailOutsideTheTables) {
    RootTablebase root;
    // Five pieces, castling rights: not the tables' business.
    for (const char* fen :
         {"4k3/8/8/8/8/8/3PP3/4K1N1 w - - 0 1", "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1"}) {
        auto board = newBoard(fen);
        EXPECT_EQ(probeWdl(board.get()), WDL_FAILED) << fen;
        EXPECT_FALSE(probeRoot(board.get(), 0, &root)) << fen;
    }
    auto board = newBoard("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(probeWdl(board.get()), WDL_WIN);
    freeTablebases();
    EXPECT_EQ(tablebasePieces(), 0);
    EXPECT_EQ(probeWdl(board.get()), WDL_FAILED);
    EXPECT_FALSE(probeRoot(board.get(), 0, &root));
    EXPECT_TRUE(root.moves.empty());
}

TEST_F(TablebaseTest, AnEnPassantSquareNobodyCanUseChangesNothing) {
    // The board keeps the square after every double step, capturer or not.
    for (const char* fen :
         {"4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1"}) {
        auto board = newBoard(fen);
        EXPECT_EQ(probeWdl(board.get()), WDL_DRAW) << fen;
        RootTablebase root;
        ASSERT_TRUE(probeRoot(board.get(), 0, &root)) << fen;
        EXPECT_EQ(root.wdl, WDL_DRAW);
        EXPECT_EQ(root.moves.size(), 5u);
    }
    auto board = newBoard("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    EXPECT_EQ(board->epSquare, sq("e3"));
}

TEST_F(TablebaseTest, MateAndStalemateNeedNoMoveList) {
    RootTablebase root;
    auto mated = newBoard("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    ASSERT_TRUE(probeRoot(mated.get(), 0, &root));
    EXPECT_EQ(root.wdl, WDL_LOSS);
    EXPECT_TRUE(root.moves.empty());
    EXPECT_TRUE(rankRootMoves(root, true).moves.empty());
    auto stalemate = newBoard("k7/8/1Q6/8/8/8/8/1K6 b - - 0 1");
    ASSERT_TRUE(probeRoot(stalemate.get(), 0, &root));
    EXPECT_EQ(root.wdl, WDL_DRAW);
    EXPECT_TRUE(root.moves.empty());
    EXPECT_EQ(rankRootMoves(root, true).score, 0);
}

TEST_F(TablebaseTest, AWinIsKeptAndConvertedWithinTheFiftyMoveRule) {
    // Every won position of the set with the count raised until its quickest
    // win just holds: only the moves that still win inside the rule are
    // kept, the quickest first. One half-move more and every win is cursed:
    // a draw with the rule, still a win without it.
    int positions = 0, dropped = 0;
    for (const Expected& e : readExpected()) {
        auto board = newBoard(e.fen);
        if (e.wdl != "Win" || board->fenHalfmoveClock != 0) continue;
        RootTablebase root;
        ASSERT_TRUE(probeRoot(board.get(), 0, &root)) << e.fen;
        int best = 1000;
        for (const TablebaseMove& m : root.moves)
            if (m.wdl == WDL_WIN) best = std::min(best, m.dtz);
        ASSERT_LE(best, 100) << e.fen;
        const u32 count = static_cast<u32>(100 - best);
        ASSERT_TRUE(probeRoot(board.get(), count, &root)) << e.fen;
        const RootChoice choice = rankRootMoves(root, true);
        std::vector<std::string> quickest;
        for (const TablebaseMove& m : root.moves) {
            EXPECT_EQ(m.wdl == WDL_WIN, m.dtz == best) << e.fen << " " << text(m.move);
            if (m.dtz == best) quickest.push_back(text(m.move));
        }
        std::vector<std::string> kept;
        for (const Move& m : choice.moves) kept.push_back(text(m));
        EXPECT_EQ(kept, quickest) << e.fen;
        EXPECT_EQ(choice.score, TABLEBASE_WIN_SCORE - best);
        dropped += static_cast<int>(root.moves.size() - quickest.size());

        ASSERT_TRUE(probeRoot(board.get(), count + 1, &root)) << e.fen;
        for (const TablebaseMove& m : root.moves) EXPECT_NE(m.wdl, WDL_WIN) << e.fen;
        const RootChoice drawn = rankRootMoves(root, true);
        EXPECT_EQ(drawn.score, 0) << e.fen;
        ASSERT_FALSE(drawn.moves.empty()) << e.fen;
        EXPECT_EQ(text(drawn.moves[0]), quickest[0]) << e.fen;
        const RootChoice anyway = rankRootMoves(root, false);
        EXPECT_EQ(anyway.score, TABLEBASE_WIN_SCORE - best) << e.fen;
        EXPECT_EQ(anyway.moves.size(), drawn.moves.size()) << e.fen;
        positions++;
    }
    EXPECT_GE(positions, 50);
    EXPECT_GT(dropped, 0);
}

TEST(TablebaseRank, KeepsTheResultAndRanksByDistance) {
    // Made-up results: the choice reads nothing but them.
    auto board = newBoard("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    MoveList list;
    const u32 n = generateMoves(board.get(), &list, 1);
    ASSERT_GE(n, 8u);
    const auto root = [&](TbWdl wdl, std::vector<std::pair<TbWdl, int>> moves) {
        RootTablebase r;
        r.wdl = wdl;
        for (size_t i = 0; i < moves.size(); i++)
            r.moves.push_back({list.moves[i], moves[i].first, moves[i].second});
        return r;
    };
    const auto order = [&](const RootChoice& c) {
        std::vector<int> at;
        for (const Move& m : c.moves)
            for (u32 i = 0; i < n; i++)
                if (sameMove(m, list.moves[i])) at.push_back(static_cast<int>(i));
        return at;
    };
    const RootTablebase win = root(WDL_WIN, {{WDL_WIN, 5},
                                             {WDL_DRAW, 0},
                                             {WDL_WIN, 3},
                                             {WDL_CURSED_WIN, 105},
                                             {WDL_LOSS, -4},
                                             {WDL_WIN, 3}});
    EXPECT_EQ(order(rankRootMoves(win, true)), (std::vector<int>{2, 5, 0}));
    EXPECT_EQ(rankRootMoves(win, true).score, TABLEBASE_WIN_SCORE - 3);
    EXPECT_EQ(order(rankRootMoves(win, false)), (std::vector<int>{2, 5, 0, 3}));

    const RootTablebase loss = root(WDL_LOSS, {{WDL_LOSS, -2}, {WDL_LOSS, -10}, {WDL_LOSS, -6}});
    EXPECT_EQ(order(rankRootMoves(loss, true)), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(rankRootMoves(loss, true).score, -(TABLEBASE_WIN_SCORE - 10));

    // A cursed win: with the rule a draw that keeps its chances, without it a win.
    const RootTablebase cursed = root(
        WDL_CURSED_WIN,
        {{WDL_DRAW, 0}, {WDL_CURSED_WIN, 120}, {WDL_BLESSED_LOSS, -110}, {WDL_CURSED_WIN, 104}});
    EXPECT_EQ(order(rankRootMoves(cursed, true)), (std::vector<int>{3, 1}));
    EXPECT_EQ(rankRootMoves(cursed, true).score, 0);
    EXPECT_EQ(order(rankRootMoves(cursed, false)), (std::vector<int>{3, 1}));
    EXPECT_EQ(rankRootMoves(cursed, false).score, TABLEBASE_WIN_SCORE - 104);

    // A blessed loss: without the rule a loss, resisted longest.
    const RootTablebase blessed =
        root(WDL_BLESSED_LOSS, {{WDL_LOSS, -30}, {WDL_BLESSED_LOSS, -105}, {WDL_LOSS, -80}});
    EXPECT_EQ(order(rankRootMoves(blessed, true)), (std::vector<int>{1}));
    EXPECT_EQ(rankRootMoves(blessed, true).score, 0);
    EXPECT_EQ(order(rankRootMoves(blessed, false)), (std::vector<int>{1, 2, 0}));
    EXPECT_LT(rankRootMoves(blessed, false).score, 0);

    const RootTablebase draw = root(WDL_DRAW, {{WDL_LOSS, -3}, {WDL_DRAW, 0}, {WDL_DRAW, 0}});
    EXPECT_EQ(order(rankRootMoves(draw, true)), (std::vector<int>{1, 2}));
    EXPECT_EQ(rankRootMoves(draw, false).score, 0);

    // Wins near the end of the count: with a half-move to spare when some
    // move has it (a table's distance can be one short), else the quickest.
    RootTablebase late = root(WDL_WIN, {{WDL_WIN, 9}, {WDL_WIN, 11}, {WDL_WIN, 10}, {WDL_DRAW, 0}});
    late.fiftyCount = 89;
    EXPECT_EQ(order(rankRootMoves(late, true)), (std::vector<int>{0, 2}));
    late.fiftyCount = 90;
    EXPECT_EQ(order(rankRootMoves(late, true)), (std::vector<int>{0}));
    EXPECT_EQ(rankRootMoves(late, true).score, TABLEBASE_WIN_SCORE - 9);
    // Without the rule every win stays.
    EXPECT_EQ(order(rankRootMoves(late, false)), (std::vector<int>{0, 2, 1}));
    // A root seen before: the quickest alone, with the rule or without.
    late.fiftyCount = 0;
    EXPECT_EQ(order(rankRootMoves(late, true)), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(order(rankRootMoves(late, true, true)), (std::vector<int>{0}));
    EXPECT_EQ(order(rankRootMoves(win, false, true)), (std::vector<int>{2, 5}));
    // A repeated draw or loss keeps what it kept.
    EXPECT_EQ(order(rankRootMoves(draw, true, true)), (std::vector<int>{1, 2}));
    EXPECT_EQ(order(rankRootMoves(loss, true, true)), (std::vector<int>{1, 2, 0}));

    EXPECT_EQ(tablebaseScore(WDL_CURSED_WIN, true), 0);
    EXPECT_EQ(tablebaseScore(WDL_CURSED_WIN, false), TABLEBASE_WIN_SCORE);
    EXPECT_EQ(tablebaseScore(WDL_BLESSED_LOSS, false), -TABLEBASE_WIN_SCORE);
    EXPECT_EQ(tablebaseScore(WDL_FAILED, false), 0);
    // Below every mate score, above the hash table's mate range never.
    EXPECT_LT(TABLEBASE_WIN_SCORE, MATE_SCORE - MAX_PLY);
}

// ---------------------------------------------------------------------------
// Loading, reloading, several folders

TEST_F(TablebaseTest, ReloadsSwitchesOffAndTakesSeveralFolders) {
    const TableFolder one;
    one.copy("KQvK.rtbw");
    TablebaseFiles found = initTablebases(one.path);
    EXPECT_EQ(found.wdlTables, 1);
    EXPECT_EQ(found.dtzTables, 0);
    EXPECT_EQ(found.largest, 3);
    auto board = newBoard("8/8/8/8/4k3/8/1Q6/K7 b - - 0 1");
    EXPECT_EQ(probeWdl(board.get()), WDL_LOSS);
    RootTablebase root;
    EXPECT_FALSE(probeRoot(board.get(), 0, &root));   // no DTZ table

    // The first folder first; the second fills in the rest.
    const TableFolder empty;
    found = initTablebases(one.path + TABLEBASE_PATH_SEPARATOR + empty.path +
                           TABLEBASE_PATH_SEPARATOR + tableFolder);
    EXPECT_EQ(found.wdlTables, 35);
    EXPECT_EQ(found.dtzTables, 35);
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0], empty.path + ": no tables");
    EXPECT_TRUE(probeRoot(board.get(), 0, &root));

    found = initTablebases("");
    EXPECT_EQ(found.largest, 0);
    EXPECT_EQ(tablebasePieces(), 0);
    EXPECT_EQ(probeWdl(board.get()), WDL_FAILED);
    freeTablebases();
    freeTablebases();
    found = initTablebases(tableFolder);
    EXPECT_EQ(found.largest, 4);
    EXPECT_EQ(probeWdl(board.get()), WDL_LOSS);
}

TEST_F(TablebaseTest, ProbesFromSeveralThreadsAtOnceAgree) {
    // Freshly loaded: every table is opened by whichever thread comes first.
    initTablebases(tableFolder);
    std::vector<Expected> cases;
    for (const Expected& e : readExpected())
        if (newBoard(e.fen)->fenHalfmoveClock == 0) cases.push_back(e);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            auto board = std::make_unique<Board>();
            for (size_t i = 0; i < cases.size(); i++) {
                const Expected& e = cases[(i * 7 + static_cast<size_t>(t) * 13) % cases.size()];
                setupFen(board.get(), e.fen.c_str());
                wrong[static_cast<size_t>(t)] += wdlName(probeWdl(board.get())) != e.wdl;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// ---------------------------------------------------------------------------
// Damaged tables

TEST(TablebaseFiles, EveryFileOfTheTestSetPassesTheCheck) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(tableFolder)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".rtbw" && ext != ".rtbz") continue;
        std::string why;
        EXPECT_TRUE(checkTableFile(entry.path().string(), &why)) << entry.path() << ": " << why;
        checked++;
    }
    EXPECT_EQ(checked, 70);
}

TEST(TablebaseFiles, DamagedFilesAreRefusedWithTheReason) {
    const TableFolder f;
    const auto refused = [&](const std::string& name, const std::string& reason) {
        std::string why;
        const bool sound = checkTableFile(f.file(name), &why);
        EXPECT_FALSE(sound) << name;
        EXPECT_NE(why.find(reason), std::string::npos) << name << ": " << why;
    };
    const std::string krvk = readWholeFile(tableFolder + "/KRvK.rtbw");
    const std::string kqvkr = readWholeFile(tableFolder + "/KQvKR.rtbw");
    const std::string kppvk = readWholeFile(tableFolder + "/KPPvK.rtbz");

    refused("KQvK.rtbw", "no such file");
    f.write("KQvK.rtbw", "");
    refused("KQvK.rtbw", "empty");
    f.write("KQvK.rtbw", std::string(100, '\0'));
    refused("KQvK.rtbw", "incomplete");
    // Truncated where the size still looks whole: half the file, and just
    // its last 64 bytes (the tables read past the end either way).
    f.write("KQvKR.rtbw", kqvkr.substr(0, 8208));
    refused("KQvKR.rtbw", "truncated");
    f.write("KQvKR.rtbw", kqvkr.substr(0, kqvkr.size() - 64));
    refused("KQvKR.rtbw", "truncated");
    f.write("KPPvK.rtbz", kppvk.substr(0, kppvk.size() / 128 * 64 + 16));
    refused("KPPvK.rtbz", "truncated");
    f.write("KRvK.rtbw", krvk.substr(0, 16 + 64 * 0));
    refused("KRvK.rtbw", "truncated");

    // Random bytes, with and without the right magic bytes in front.
    std::mt19937 random(3);
    std::string noise(kqvkr.size(), '\0');
    for (char& c : noise) c = static_cast<char>(random());
    f.write("KQvKR.rtbw", noise);
    refused("KQvKR.rtbw", "wrong magic bytes");
    f.write("KQvKR.rtbw", kqvkr.substr(0, 5) + noise.substr(5));
    refused("KQvKR.rtbw", "");
    f.write("KQvKR.rtbz", kqvkr);   // a WDL table under a DTZ name
    refused("KQvKR.rtbz", "not a DTZ table");

    // A header that names other pieces: a queen where the king should be.
    std::string header = krvk;
    header[7] = static_cast<char>(0xe5);
    f.write("KRvK.rtbw", header);
    refused("KRvK.rtbw", "does not describe");
    // A rook table under a queen's name.
    f.write("KQvK.rtbw", krvk);
    refused("KQvK.rtbw", "does not describe");
    // Symbols of the compressed table that refer to themselves or beyond.
    std::string symbols = krvk;
    symbols[0x24] = symbols[0x25] = symbols[0x26] = 0;
    f.write("KRvK.rtbw", symbols);
    refused("KRvK.rtbw", "symbols are broken");
    symbols = krvk;
    symbols[0x24] = static_cast<char>(0xab);
    f.write("KRvK.rtbw", symbols);
    refused("KRvK.rtbw", "symbols are broken");

    fs::create_directory(f.file("KNvK.rtbw"));
    refused("KNvK.rtbw", "not a regular file");
    f.write("KRvK.rtbm", krvk);
    refused("KRvK.rtbm", "DTM tables are not used");
    f.write("KRvK.txt", krvk);
    refused("KRvK.txt", "not named like a table");
    f.write("KRvKvK.rtbw", krvk);
    refused("KRvKvK.rtbw", "not named like a table");

    // Without read permission: refused, except for a user that reads anyway.
    f.write("KRvK.rtbz", readWholeFile(tableFolder + "/KRvK.rtbz"));
    fs::permissions(f.file("KRvK.rtbz"), fs::perms::none);
    std::string why;
    const bool sound = checkTableFile(f.file("KRvK.rtbz"), &why);
    if (geteuid() == 0) {
        EXPECT_TRUE(sound) << why;
    } else {
        EXPECT_EQ(why, "cannot be read");
    }
}

TEST(TablebaseFiles, AFolderWithDamagedFilesServesItsGoodOnes) {
    if (!haveTablebases()) GTEST_SKIP() << "no tablebase support in this build";
    const TableFolder f;
    f.copyAll();
    // KQvKR cut short, KRvKP random bytes behind the right magic bytes,
    // KBvK an empty file, KRvK.rtbz a folder. Handed to the prober as they
    // are, the first two can end the program when probed (a bus error past
    // the end of the mapping, a read at random offsets) and the prober
    // reports the other two on standard output.
    const std::string kqvkr = f.read("KQvKR.rtbw");
    f.write("KQvKR.rtbw", kqvkr.substr(0, 8208));
    std::string noise = f.read("KRvKP.rtbw");
    std::mt19937 random(5);
    for (size_t i = 5; i < noise.size(); i++) noise[i] = static_cast<char>(random());
    f.write("KRvKP.rtbw", noise);
    f.write("KBvK.rtbw", "");
    fs::remove(f.file("KRvK.rtbz"));
    fs::create_directory(f.file("KRvK.rtbz"));

    CapturedStdout out;
    out.start();
    const TablebaseFiles found = initTablebases(f.path);
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(found.problems.size(), 4u);
    EXPECT_EQ(found.wdlTables, 32);
    EXPECT_EQ(found.dtzTables, 31);
    EXPECT_EQ(found.largest, 4);

    // The damaged endgames are not in the tables: a probe fails, unless a
    // capture decides it from the smaller tables.
    const std::vector<std::string> fens = queenAgainstRook(300);
    std::vector<TbWdl> damaged;
    damaged.reserve(fens.size());
    for (const std::string& fen : fens) damaged.push_back(probeWdl(newBoard(fen).get()));
    auto board = newBoard("8/8/8/8/4k3/8/1Q6/K7 b - - 0 1");
    EXPECT_EQ(probeWdl(board.get()), WDL_LOSS);
    RootTablebase root;
    EXPECT_TRUE(probeRoot(board.get(), 0, &root));
    board = newBoard("8/8/8/8/4k3/8/1R6/K7 b - - 0 1");
    EXPECT_EQ(probeWdl(board.get()), WDL_LOSS);
    EXPECT_FALSE(probeRoot(board.get(), 0, &root));   // its DTZ file is the folder

    initTablebases(tableFolder);
    int failed = 0;
    for (size_t i = 0; i < fens.size(); i++) {
        if (damaged[i] == WDL_FAILED) failed++;
        else EXPECT_EQ(damaged[i], probeWdl(newBoard(fens[i]).get())) << fens[i];
    }
    EXPECT_GE(failed, 150);
    freeTablebases();
}

TEST(TablebaseFiles, NoFolderOrNoTablesIsSaidAndNothingIsLoaded) {
    const TableFolder f;
    f.write("README", "no tables here\n");
    for (const std::string& path : {std::string("/nonexistent/tables"), f.path}) {
        const TablebaseFiles found = initTablebases(path);
        EXPECT_EQ(found.largest, 0);
        EXPECT_EQ(tablebasePieces(), 0);
        ASSERT_EQ(found.problems.size(), 1u);
        const std::string why = path == f.path ? ": no tables" : ": no such folder";
        EXPECT_EQ(found.problems[0],
                  tablebaseSupport() ? path + why : "no tablebase support in this build");
    }
}

// ---------------------------------------------------------------------------
// The tool and the configuration line

TEST(TablebaseTool, PrintsTheResultTheMovesByResultAndWhatIsKept) {
    if (!haveTablebases()) GTEST_SKIP() << "no tablebase support in this build";
    const TempDir tmp;
    EngineRun run = runEngine(
        {"tb", "probe", "8/8/8/8/4k3/8/1Q6/K7", "b", "-", "-", "0", "1", "--path", tableFolder}, "",
        tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = outputLines(run.out);
    ASSERT_GE(lines.size(), 15u) << run.out;
    EXPECT_EQ(lines[0], "tables: 35 WDL, 35 DTZ, up to 4 pieces");
    EXPECT_EQ(lines[1], "fifty-move count: 0");
    EXPECT_EQ(lines[2], "WDL: Loss");
    EXPECT_EQ(lines[3], "DTZ: -20");
    EXPECT_EQ(lines[4], "winning: (none)");
    EXPECT_EQ(lines[5], "drawing: (none)");
    EXPECT_EQ(lines[6], "losing: Kd3 Ke3 Kf3 Kf4 Kd5 Kf5");
    EXPECT_EQ(lines[12], "  Kf5     Loss        dtz -20");
    // The longest resistance first.
    EXPECT_EQ(lines[13].rfind("kept: Kf5 ", 0), 0u) << lines[13];

    // The FEN's clock counts: 90 half-moves make this win of KRvK a cursed one.
    run = runEngine(
        {"tb", "probe", "8/8/8/8/8/2k5/8/K6R", "w", "-", "-", "90", "1", "--path", tableFolder}, "",
        tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("fifty-move count: 90\nWDL: CursedWin\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("winning: (none)\n"), std::string::npos);
}

TEST(TablebaseTool, BadArgumentsAndMissingTablesSayWhyInOneLine) {
    const TempDir tmp;
    const std::vector<std::vector<std::string>> bad = {
        {"tb"},
        {"tb", "read"},
        {"tb", "probe"},
        {"tb", "probe", "--path"},
        {"tb", "probe", "--path", tableFolder, "--depth"},
        {"tb", "probe", "8/8/8/8/8/8/8/8", "w", "--path", tableFolder},
        {"tb", "probe", "--path", "/nonexistent/tables"},
    };
    for (const auto& args : bad) {
        const EngineRun run = runEngine(args, "", tmp.path);
        EXPECT_EQ(run.status, 2) << args.back();
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
    if (!tablebaseSupport()) return;
    const EngineRun run = runEngine({"tb", "probe", "--path", tableFolder}, "", tmp.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("not in the tables\n"), std::string::npos);
}

TEST_F(TablebaseTest, BenchWithTheTablesPlaysAMoveTheyKeepWhereTheyKnowThePosition) {
    // The bench positions of at most four pieces, by their number.
    const std::pair<int, const char*> inTables[] = {
        {23, "8/8/8/3k4/8/8/3PK3/8 w - - 0 1"}, {24, "8/8/8/4k3/8/8/8/R3K3 w - - 0 1"},
        {27, "8/P7/8/8/8/8/6k1/4K3 w - - 0 1"}, {28, "3r4/4P3/8/8/8/8/6k1/K7 w - - 0 1"},
        {29, "5k2/8/8/8/8/8/2q5/K7 b - - 0 1"}, {30, "7k/5Q2/6K1/8/8/8/8/8 w - - 0 1"},
    };
    const TempDir tmp;
    const EngineRun run = runEngine({"bench", "4", "--syzygy", tableFolder}, "", tmp.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\nNodes searched: "), std::string::npos) << run.out;
    for (const auto& [number, fen] : inTables) {
        auto board = newBoard(fen);
        RootTablebase root;
        ASSERT_TRUE(probeRoot(board.get(), 0, &root)) << fen;
        std::set<std::string> kept;
        for (const Move& m : rankRootMoves(root, true).moves) kept.insert(text(m));
        char label[32];
        snprintf(label, sizeof label, "Position %2d: ", number);
        const size_t at = run.out.find(label);
        ASSERT_NE(at, std::string::npos) << run.out;
        const std::string line = run.out.substr(at, run.out.find('\n', at) - at);
        const std::string played = line.substr(line.rfind(' ') + 1);
        EXPECT_EQ(kept.count(played), 1u) << line;
    }
    // No tables there, or no folder named: one line, and no bench.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"bench", "4", "--syzygy", "/nonexistent/tables"},
          std::vector<std::string>{"bench", "4", "--syzygy"}}) {
        const EngineRun bad = runEngine(args, "", tmp.path);
        EXPECT_EQ(bad.status, 2) << args.back();
        EXPECT_EQ(bad.out, "");
        EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << bad.err;
    }
}

TEST(TablebaseStartup, TheSyzygyLineLoadsTheTablesAndSaysWhatItFound) {
    const TempDir tmp;
    const auto start = [&](const std::string& config) {
        std::ofstream(tmp.path + "/quillantor.rc") << config;
        return runEngine({}, "quit\n", tmp.path);
    };
    EngineRun run = start("hash 1024\nsyzygy  " + tableFolder + " \n");
    EXPECT_EQ(run.status, 0);
    const std::string echo = "\tSyzygy path\t= " + tableFolder + "\n";
    EXPECT_NE(run.out.find("\tHash entries\t= 1024\n" + echo), std::string::npos) << run.out;
    if (tablebaseSupport()) {
        EXPECT_NE(run.out.find(echo + "\tSyzygy tables\t= 35 WDL, 35 DTZ, up to 4 pieces\n"),
                  std::string::npos)
            << run.out;
    }

    run = start("hash 1024\nsyzygy /nonexistent/tables\n");
    EXPECT_EQ(run.status, 0);
    const std::string why = tablebaseSupport() ? "/nonexistent/tables: no such folder"
                                               : "no tablebase support in this build";
    EXPECT_NE(run.out.find("\tSyzygy tables\t= none: " + why + "\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Syzygy tables", run.out.find("none:") + 5), std::string::npos);
}

// ---------------------------------------------------------------------------
// The tables in the search

namespace {

// The chosen move of a search to depth with or without the tables, its
// reported score, and the probes it made.
struct TableSearch {
    Move move = noMove;
    i32 score = 0;
    i64 hits = 0;
};
i32 lastReported = 0;
void keepScore(int, i32 score, i32, const PvLine*, int) { lastReported = score; }

TableSearch searchWithTables(Board* board, int depth, bool tables, bool rule = true) {
    clearSearchTables();
    SearchReports reports;
    reports.iteration = keepScore;
    SearchLimits limits;
    limits.depth = depth;
    limits.reports = &reports;
    limits.useTables = tables;
    limits.table50MoveRule = rule;
    TableSearch result;
    think(board, &result.move, limits);
    waitForHelpers();
    result.score = lastReported;
    result.hits = sharedSearch()->tableHits.load();
    return result;
}

// The result a root move leads to, by the root probe.
TbWdl resultOf(Board* board, const Move& move) {
    RootTablebase root;
    if (!probeRoot(board, fiftyMoveCount(board), &root)) return WDL_FAILED;
    for (const TablebaseMove& m : root.moves)
        if (sameMove(m.move, move)) return m.wdl;
    return WDL_FAILED;
}

}   // namespace

TEST_F(TablebaseTest, ARootInTheTablesPlaysOnlyMovesThatKeepItsResult) {
    // A won, a drawn and a lost position where some moves change the
    // result (the rook or the queen can be given away, the pawn lost).
    const char* fens[] = {
        "8/8/8/3k4/8/8/1R6/K7 w - - 0 1",     // KRvK: every rook move that hangs it draws
        "8/8/8/8/4k3/8/1Q6/K7 w - - 0 1",     // KQvK
        "8/8/4k3/8/8/4P3/4K3/8 w - - 0 1",    // KPvK, the pawn a square ahead of its king
        "8/8/8/8/2k5/8/2r5/K1R5 w - - 0 1",   // KRvKR, a draw to hold
        "8/8/8/8/8/2k5/8/K6q w - - 0 1",      // KvKQ, lost: the longest resistance
    };
    for (const char* fen : fens) {
        auto board = newBoard(fen);
        RootTablebase root;
        ASSERT_TRUE(probeRoot(board.get(), 0, &root)) << fen;
        TbWdl best = WDL_LOSS;
        for (const TablebaseMove& m : root.moves) best = std::max(best, m.wdl);
        const TableSearch with = searchWithTables(board.get(), 6, true);
        ASSERT_NE(with.move.from, NO_SQUARE) << fen;
        EXPECT_EQ(resultOf(board.get(), with.move), best) << fen;
        EXPECT_GT(with.hits, 0) << fen;
        // The reported score is the table's: a win near TABLEBASE_WIN_SCORE,
        // a draw 0, a loss its negative; never a mate the tables do not know.
        if (best == WDL_WIN) {
            EXPECT_GT(with.score, TABLEBASE_WIN_SCORE - 200) << fen;
            EXPECT_LE(with.score, TABLEBASE_WIN_SCORE) << fen;
        } else if (best == WDL_DRAW) {
            EXPECT_EQ(with.score, 0) << fen;
        } else {
            EXPECT_LT(with.score, -(TABLEBASE_WIN_SCORE - 200)) << fen;
        }
    }
}

TEST_F(TablebaseTest, AWonPositionIsPlayedOnWithAMoveTheReaderCallsWinning) {
    // Two hundred won positions of the set: the move the engine plays is
    // one that the independent reader lists as winning.
    int positions = 0;
    for (const Expected& e : readExpected()) {
        auto board = newBoard(e.fen);
        if (e.wdl != "Win" || board->fenHalfmoveClock != 0) continue;
        const TableSearch s = searchWithTables(board.get(), 2, true);
        ASSERT_NE(s.move.from, NO_SQUARE) << e.fen;
        EXPECT_EQ(coordinates(board.get(), e.groups[0]).count(text(s.move)), 1u)
            << e.fen << " " << text(s.move);
        if (++positions == 200) break;
    }
    EXPECT_EQ(positions, 200);
}

TEST_F(TablebaseTest, AWonPawnEndingThatComesRoundAgainMovesOn) {
    // King and pawn against king, won, after the kings have walked round to
    // a position already seen: only the quickest way on is left to the
    // search, where every winning move was before (one of them repeats a
    // third time and draws).
    auto board = newBoard("4k3/8/4P3/8/8/4P3/8/1K6 w - - 0 1");
    for (const char* text : {"b1c2", "e8e7", "c2d3", "e7d6", "d3d4", "d6e6", "d4e4", "e6d6", "e4f4",
                             "d6e6", "f4e4", "e6d6"}) {
        Move move;
        ASSERT_TRUE(inputMoveLegal(board.get(), text, &move)) << text;
        ASSERT_TRUE(playGameMove(board.get(), &move)) << text;
    }
    RootTablebase root;
    ASSERT_TRUE(probeRoot(board.get(), fiftyMoveCount(board.get()), &root));
    int quickest = 1000, wins = 0;
    for (const TablebaseMove& m : root.moves)
        if (m.wdl == WDL_WIN) {
            quickest = std::min(quickest, m.dtz);
            wins++;
        }
    ASSERT_GT(wins, 1);
    const TableSearch s = searchWithTables(board.get(), 8, true);
    const MoveSet& kept = sharedSearch()->tableMoves;
    ASSERT_GT(kept.count, 0);
    for (int i = 0; i < kept.count; i++)
        for (const TablebaseMove& m : root.moves)
            if (sameMove(m.move, kept.moves[i])) {
                EXPECT_EQ(m.dtz, quickest) << text(m.move);
            }
    EXPECT_LT(kept.count, wins);
    for (const TablebaseMove& m : root.moves)
        if (sameMove(m.move, s.move)) {
            EXPECT_EQ(m.dtz, quickest) << text(s.move);
        }
}

TEST_F(TablebaseTest, TheSearchProbesAfterCapturesAndStoresWhatItLearns) {
    // Five pieces, not in the tables: every capture leads into them, and the
    // search finds the won four-piece endings it trades into.
    auto board = newBoard("8/8/4k3/8/3r4/8/3Q4/3K3R w - - 0 1");
    const TableSearch with = searchWithTables(board.get(), 6, true);
    EXPECT_GT(with.hits, 0);
    const TableSearch without = searchWithTables(board.get(), 6, false);
    EXPECT_EQ(without.hits, 0);
    EXPECT_NE(with.move.from, NO_SQUARE);
    // Nothing of the tables plays any part when they are not asked for.
    EXPECT_EQ(sharedSearch()->tablePieces, 0);
}

TEST_F(TablebaseTest, AWonEndingIsConvertedBeforeTheFiftyMoveRuleEndsIt) {
    // King and rook against king with 70 half-moves already played: the
    // engine, searching each move a few plies deep, mates (or at least
    // zeroes the count with a capture) before the count reaches 100.
    auto board = newBoard("8/8/8/4k3/8/8/8/R3K3 w - - 70 1");
    ASSERT_EQ(fiftyMoveCount(board.get()), 70u);
    bool mated = false;
    for (int ply = 0; ply < 60 && !mated; ply++) {
        const TableSearch s = searchWithTables(board.get(), 4, true);
        if (s.move.from == NO_SQUARE) {
            mated = sideToMoveInCheck(board.get());
            break;
        }
        Move move = s.move;
        ASSERT_TRUE(playGameMove(board.get(), &move));
        ASSERT_LT(fiftyMoveCount(board.get()), 100u) << "the fifty-move rule ends the game";
        mated = firstLegalMove(board.get()).from == NO_SQUARE && sideToMoveInCheck(board.get());
    }
    EXPECT_TRUE(mated);
}

TEST(TablebaseUci, OptionsLoadTheTablesReportHitsAndSayWhatIsWrong) {
    if (!haveTablebases()) GTEST_SKIP() << "no tablebase support in this build";
    const TempDir tmp;
    const std::string fen = "8/8/8/3k4/8/8/1R6/K7 w - - 0 1";
    const EngineRun run = runEngine({},
                                    "uci\n"
                                    "setoption name SyzygyPath value " +
                                        tableFolder +
                                        "\n"
                                        "setoption name SyzygyProbeDepth value 0\n"
                                        "setoption name SyzygyProbeLimit value 8\n"
                                        "setoption name Syzygy50MoveRule value perhaps\n"
                                        "position fen " +
                                        fen +
                                        "\ngo depth 6\n"
                                        "setoption name SyzygyPath value /no/such/folder\n"
                                        "position fen " +
                                        fen +
                                        "\ngo depth 2\n"
                                        "setoption name SyzygyPath value <empty>\n",
                                    tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("option name SyzygyPath type string default <empty>"),
              std::string::npos);
    EXPECT_NE(run.out.find("option name SyzygyProbeDepth type spin default 1 min 1 max 100"),
              std::string::npos);
    EXPECT_NE(run.out.find("option name Syzygy50MoveRule type check default true"),
              std::string::npos);
    EXPECT_NE(run.out.find("option name SyzygyProbeLimit type spin default 7 min 0 max 7"),
              std::string::npos);
    EXPECT_NE(run.out.find("info string SyzygyPath '" + tableFolder +
                           "': 35 WDL and 35 DTZ tables, up to 4 pieces"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("SyzygyProbeDepth must be a number from 1 to 100"), std::string::npos);
    EXPECT_NE(run.out.find("SyzygyProbeLimit must be a number from 0 to 7"), std::string::npos);
    EXPECT_NE(run.out.find("Syzygy50MoveRule takes true or false"), std::string::npos);
    // A folder that is not there: one line, which says so.
    const std::vector<std::string> missing = [&run] {
        std::vector<std::string> said;
        std::istringstream in(run.out);
        for (std::string l; std::getline(in, l);)
            if (l.find("/no/such/folder") != std::string::npos) said.push_back(l);
        return said;
    }();
    ASSERT_EQ(missing.size(), 1u) << run.out;
    EXPECT_EQ(missing[0].rfind("info string SyzygyPath '/no/such/folder': no tables found; ", 0),
              0u)
        << missing[0];
    EXPECT_NE(missing[0].find(": playing without tables"), std::string::npos);
    // With the tables: hits and a table score; without: neither.
    const size_t second = run.out.find("/no/such/folder");
    const std::string first = run.out.substr(0, second);
    EXPECT_NE(first.find(" tbhits "), std::string::npos);
    EXPECT_NE(first.find("score cp 18"), std::string::npos) << first;
    EXPECT_EQ(run.out.substr(second).find(" tbhits "), std::string::npos);
    EXPECT_NE(run.out.find("bestmove "), std::string::npos);
}

TEST(TablebaseXboard, TheSyzygyLineMakesTheEnginePlayTheTablesMoves) {
    if (!haveTablebases()) GTEST_SKIP() << "no tablebase support in this build";
    const TempDir tmp;
    std::ofstream(tmp.path + "/quillantor.rc") << "syzygy " << tableFolder << "\n";
    // King and rook against king: every rook move that hangs the rook draws;
    // with the tables each of the engine's moves keeps the win.
    const EngineRun run = runEngine(
        {}, "xboard\nsetboard 8/8/8/3k4/8/8/1R6/K7 w - - 0 1\ntime 100\ngo\nquit\n", tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    const size_t at = run.out.find("\nmove ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string move = run.out.substr(at + 6, 4);
    auto board = newBoard("8/8/8/3k4/8/8/1R6/K7 w - - 0 1");
    Move m;
    ASSERT_TRUE(inputMoveLegal(board.get(), move.c_str(), &m));
    ASSERT_TRUE(haveTablebases());
    initTablebases(tableFolder);
    EXPECT_EQ(resultOf(board.get(), m), WDL_WIN) << move;
    freeTablebases();
}
