// Analysis and levels: several lines at once, a root restricted to some
// moves, and the choice a chosen strength makes among the lines.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "board.h"
#include "hash.h"
#include "interface.h"
#include "search.h"
#include "strength.h"
#include "test_util.h"
#include "threads.h"
#include "uci.h"

namespace {

std::string text(const Move& m) {
    char buffer[8];
    moveToText(&m, buffer);
    return buffer;
}

class MultiPv : public SmallTableTest {
protected:
    void SetUp() override {
        SmallTableTest::SetUp();
        searchOutput = false;
    }
    void TearDown() override {
        SmallTableTest::TearDown();
        searchOutput = true;
        setSearchThreads(1);
    }

    // A search of the FEN to depth from empty tables; the move it plays.
    Move searchWith(const char* fen, int depth, const SearchLimits& options) {
        clearSearchTables();
        board = newBoard(fen);
        Move m;
        searchToDepth(board.get(), &m, INT32_MAX, depth, NO_TIME_CAP, &options);
        waitForHelpers();   // their records are read once they have stopped
        return m;
    }
};

TEST_F(MultiPv, EachLineIsTheBestOfTheMovesTheEarlierLinesLeave) {
    // Line i, searched alone among the moves lines 1..i-1 did not take,
    // gives the same move and score from empty tables. At a small depth:
    // deeper, what the earlier passes left in the table, the killers and the
    // history orders and prunes the later passes' trees differently.
    for (const char* fen : {"r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", initialPosition}) {
        SearchLimits several;
        several.multiPv = 4;
        const Move first = searchWith(fen, 2, several);
        const SearchLines lines = lastSearchLines();
        ASSERT_EQ(lines.count, 4) << fen;
        EXPECT_EQ(lines.depth, 2);
        EXPECT_TRUE(sameMove(first, lines.lines[0].moves[0])) << "line 1 is the move played";
        auto all = newBoard(fen);
        MoveList legal;
        const u32 n = generateMoves(all.get(), &legal, 1);
        for (int i = 0; i < lines.count; i++) {
            SearchLimits alone;
            for (u32 k = 0; k < n; k++) {
                bool taken = false;
                for (int j = 0; j < i; j++)
                    taken |= sameMove(legal.moves[k], lines.lines[j].moves[0]);
                if (!taken) alone.only.add(legal.moves[k]);
            }
            const Move m = searchWith(fen, 2, alone);
            EXPECT_EQ(text(m), text(lines.lines[i].moves[0])) << fen << " line " << i + 1;
            EXPECT_EQ(searchThread(0)->completedScore, lines.scores[i]) << fen << " line " << i + 1;
        }
    }
}

TEST_F(MultiPv, LinesComeBestFirstOnePerMoveAndNoMoreThanTheMoves) {
    SearchLimits options;
    options.multiPv = 5;
    // Three legal moves: three lines.
    searchWith("7k/8/8/8/8/8/6q1/5K2 w - - 0 1", 5, options);
    SearchLines lines = lastSearchLines();
    EXPECT_EQ(lines.count, 2) << "Kxg2 and Ke1 only";
    options.multiPv = 8;
    searchWith("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5, options);
    lines = lastSearchLines();
    ASSERT_EQ(lines.count, 8);
    for (int i = 0; i < lines.count; i++) {
        ASSERT_GT(lines.lines[i].count, 0u);
        if (i > 0) {
            EXPECT_LE(lines.scores[i], lines.scores[i - 1]) << "line " << i + 1;
        }
        for (int j = 0; j < i; j++)
            EXPECT_FALSE(sameMove(lines.lines[i].moves[0], lines.lines[j].moves[0]));
    }
    // With helpers the lines are the main thread's, just as many.
    ASSERT_EQ(setSearchThreads(3), 3);
    searchWith(initialPosition, 6, options);
    EXPECT_EQ(lastSearchLines().count, 8);
}

TEST_F(MultiPv, ARestrictedRootPlaysOnlyItsMovesWithEveryThread) {
    auto start = newBoard();
    SearchLimits options;
    options.only.add(findMove(start.get(), "a2a3"));
    options.only.add(findMove(start.get(), "h2h4"));
    options.multiPv = 5;
    for (int threads : {1, 3}) {
        ASSERT_EQ(setSearchThreads(threads), threads);
        const std::string m = text(searchWith(initialPosition, 6, options));
        EXPECT_TRUE(m == "a2a3" || m == "h2h4") << m;
        EXPECT_EQ(lastSearchLines().count, 2) << "no more lines than moves allowed";
        for (int i = 1; i < threads; i++) {
            const SearchThread* helper = searchThread(i);
            if (helper->completedLine.count == 0) continue;
            const std::string h = text(helper->completedLine.moves[0]);
            EXPECT_TRUE(h == "a2a3" || h == "h2h4") << "helper " << i << ": " << h;
        }
    }
}

// What the driver reports, line by line.
struct Report {
    int depth;
    int number;
    std::string first;
    i64 nodes;
};
std::vector<Report> reports;
void recordReport(int depth, i32, i32, const PvLine* line, int number) {
    reports.push_back({depth, number, line->count > 0 ? text(line->moves[0]) : "", searchNodes()});
}

TEST_F(MultiPv, ADepthCutShortShowsEveryLineWithTheFiguresEachHas) {
    // A node limit ends the search at points all over depth 6. Whenever it
    // stops after some of the depth's passes, the lines found stand and the
    // others keep depth 5's figures: every update shows all four lines, so
    // that a GUI never keeps a line of an older depth beside new ones.
    const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    SearchLimits options;
    options.multiPv = 4;
    SearchReports recorder;
    recorder.iteration = recordReport;
    options.reports = &recorder;
    reports.clear();
    searchWith(fen, 6, options);
    i64 end5 = 0, end6 = 0;
    for (const Report& r : reports) (r.depth == 5 ? end5 : end6) = r.depth >= 5 ? r.nodes : 0;
    ASSERT_GT(end6, end5);
    int mixed = 0;
    for (int step = 1; step < 24; step++) {
        options.nodes = end5 + (end6 - end5) * step / 24;
        reports.clear();
        searchWith(fen, 6, options);
        size_t batch = reports.size();
        while (batch > 0 && reports[batch - 1].number != 1) batch--;
        ASSERT_GT(batch, 0u);
        batch--;   // the last update starts at its line 1
        ASSERT_EQ(reports.size() - batch, 4u) << "step " << step;
        std::vector<std::string> firsts;
        for (size_t i = batch; i < reports.size(); i++) {
            EXPECT_EQ(reports[i].number, static_cast<int>(i - batch) + 1);
            if (i > batch) {
                EXPECT_LE(reports[i].depth, reports[i - 1].depth) << "step " << step;
            }
            EXPECT_TRUE(reports[i].depth == 5 || reports[i].depth == 6) << reports[i].depth;
            for (const std::string& f : firsts) EXPECT_NE(f, reports[i].first);
            firsts.push_back(reports[i].first);
        }
        mixed += reports[batch].depth == 6 && reports.back().depth == 5;
        EXPECT_TRUE(
            sameMove(lastSearchLines().lines[0].moves[0], searchThread(0)->completedLine.moves[0]));
    }
    EXPECT_GT(mixed, 0) << "no limit fell between two passes of depth 6";
}

TEST_F(MultiPv, ALevelOnTheMainThreadAloneSearchesTheSameWhateverTheThreads) {
    // A chosen strength's node budget counts the main thread's nodes only:
    // with helpers beside it the level would see a fraction of its tree.
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    SearchLimits level;
    level.multiPv = 4;
    level.nodes = 30000;
    level.oneThread = true;
    ASSERT_EQ(setSearchThreads(1), 1);
    const Move alone = searchWith(fen, MAX_ITERATIONS, level);
    const SearchLines one = lastSearchLines();
    const i64 nodesAlone = searchNodes();
    ASSERT_EQ(setSearchThreads(4), 4);
    const Move beside = searchWith(fen, MAX_ITERATIONS, level);
    const SearchLines four = lastSearchLines();
    EXPECT_EQ(searchNodes(), nodesAlone);
    EXPECT_TRUE(sameMove(alone, beside));
    ASSERT_EQ(four.count, one.count);
    EXPECT_EQ(four.depth, one.depth);
    for (int i = 0; i < one.count; i++) {
        EXPECT_EQ(four.scores[i], one.scores[i]);
        ASSERT_EQ(four.lines[i].count, one.lines[i].count);
        for (u32 k = 0; k < one.lines[i].count; k++)
            EXPECT_TRUE(sameMove(four.lines[i].moves[k], one.lines[i].moves[k]));
    }
}

TEST(SearchMoves, IllegalTextsAreRefusedAndRepeatsCountOnce) {
    auto board = newBoard("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    std::vector<std::string> refusals;
    const MoveSet moves = rootMovesFromTexts(
        board.get(), {"e1d1", "a7a8q", "e1d1", "a7a8", "e2e4", "zz99", "a7a8n"}, &refusals);
    ASSERT_EQ(moves.count, 3);
    EXPECT_EQ(text(moves.moves[0]), "e1d1");
    EXPECT_EQ(text(moves.moves[1]), "a7a8q");
    EXPECT_EQ(text(moves.moves[2]), "a7a8n");
    ASSERT_EQ(refusals.size(), 3u) << "a promotion without its piece, e2e4, zz99";
    EXPECT_NE(refusals[0].find("'a7a8'"), std::string::npos) << refusals[0];
    // The words after searchmoves run to the next keyword.
    const GoLimits limits =
        parseGoArguments({"searchmoves", "e2e4", "d2d4", "wtime", "1000", "depth", "3"}, &refusals);
    EXPECT_EQ(limits.searchMoves, (std::vector<std::string>{"e2e4", "d2d4"}));
    EXPECT_EQ(limits.time[WHITE], 1000);
    EXPECT_EQ(limits.depth, 3);
}

// ---------------------------------------------------------------------------
// The levels

SearchLines linesWithScores(const std::vector<i32>& scores) {
    SearchLines lines;
    lines.count = static_cast<int>(scores.size());
    lines.depth = 5;
    for (int i = 0; i < lines.count; i++) {
        lines.scores[i] = scores[i];
        lines.lines[i].count = 1;
        lines.lines[i].moves[0] =
            Move{static_cast<u8>(i), 40, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, WKNIGHT};
    }
    return lines;
}

TEST(Strength, LowerLevelsSearchLessAndChooseMoreWidely) {
    const StrengthLevel low = strengthLevel(STRENGTH_ELO_MIN);
    const StrengthLevel middle = strengthLevel((STRENGTH_ELO_MIN + STRENGTH_ELO_MAX) / 2);
    const StrengthLevel high = strengthLevel(STRENGTH_ELO_MAX);
    EXPECT_LT(low.nodes, middle.nodes);
    EXPECT_LT(middle.nodes, high.nodes);
    EXPECT_GT(low.temperature, middle.temperature);
    EXPECT_GT(middle.temperature, high.temperature);
    EXPECT_GE(low.lines, 2);
    // Out of range: clamped.
    EXPECT_EQ(strengthLevel(0).nodes, low.nodes);
    EXPECT_EQ(strengthLevel(99999).nodes, high.nodes);
}

TEST(Strength, TheChoiceStaysWithinTheLevelsMarginAndFavoursBetterMoves) {
    const SearchLines lines = linesWithScores({50, 30, -20, -400});
    std::map<int, int> bestChosen;
    for (const int elo : {STRENGTH_ELO_MIN, 1400, 1700, STRENGTH_ELO_MAX}) {
        const StrengthLevel level = strengthLevel(elo);
        std::map<int, int> chosen;
        u64 random = 0x9E3779B97F4A7C15ull;
        for (int draw = 0; draw < 4000; draw++) {
            random = random * 6364136223846793005ull + 1442695040888963407ull;
            const int i = pickLevelLine(lines, level, random);
            ASSERT_GE(i, 0);
            ASSERT_LT(i, lines.count);
            EXPECT_LE(lines.scores[0] - lines.scores[i], level.maxLoss) << elo;
            chosen[i]++;
        }
        // Each line at least as often as any worse one.
        for (int i = 1; i < lines.count; i++) EXPECT_GE(chosen[i - 1], chosen[i]) << elo;
        if (elo == STRENGTH_ELO_MAX) {
            EXPECT_GT(chosen[0], 2000) << "the top level plays the best more often than not";
            EXPECT_EQ(chosen[3], 0) << "nor four pawns below it";
        }
        if (elo == STRENGTH_ELO_MIN) {
            EXPECT_GT(chosen[1] + chosen[2], 1000) << "the bottom often plays another";
        }
        bestChosen[elo] = chosen[0];
    }
    EXPECT_GT(bestChosen[STRENGTH_ELO_MAX], bestChosen[1400] + 200);
    EXPECT_GT(bestChosen[1400], bestChosen[STRENGTH_ELO_MIN]);
    // One line, or none.
    EXPECT_EQ(pickLevelLine(linesWithScores({10}), strengthLevel(1000), 12345), 0);
    EXPECT_EQ(pickLevelLine(linesWithScores({}), strengthLevel(1000), 12345), -1);
}

}   // namespace
