// Search: heuristics, repetition, clock, quiescence, alpha-beta and the
// iterative-deepening driver with its time decisions.
#include <gtest/gtest.h>

#include <algorithm>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "engine_process.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "search.h"
#include "threads.h"
#include "utils.h"
#include "test_util.h"

namespace {

// Plays a move as the command loop does: stored, made, keys updated; the
// search ply stays 0 between game moves.
void playTextMove(Board* board, const char* text) {
    Move m = findMove(board, text);
    board->gameMoves[board->gamePly] = m;
    makeMove(board, &m);
    updateHashKey(board, &m);
    board->ply = 0;
}

std::string text(const Move& m) {
    if (m.from == NO_SQUARE) return "(none)";
    char buffer[8];
    moveToText(&m, buffer);
    return buffer;
}

// Empties the tables as start-up does, on a table shared by the test run.
void freshTables() {
    if (hashtable == nullptr) {
        ASSERT_EQ(initHashtable(TEST_BUCKETS), 1);
    }
    hashSize = TEST_BUCKETS;
    clearSearchTables();
}

// ---------------------------------------------------------------------------
// Killers, history and the repetition test

class Heuristics : public ::testing::Test {
protected:
    void SetUp() override {
        thread = newSearchThread();
        board = &thread->board;
        board->ply = 4;
    }

    static Move quiet(u8 from, u8 to, u8 piece) {
        return Move{from, to, MF_NORMAL, EMPTY, 0, EMPTY, 0, NO_SQUARE, piece};
    }

    void setCounters(u32 first, u32 second, u32 third) {
        const u32 counters[3] = {first, second, third};
        for (int k = 0; k < 3; k++) {
            thread->heuristics.killerMove[WHITE][4][k].move = quiet(static_cast<u8>(k), 40, WROOK);
            thread->heuristics.killerMove[WHITE][4][k].counter = counters[k];
        }
    }

    int slotOf(const Move& m) {
        for (int k = 0; k < 3; k++) {
            const Move& e = thread->heuristics.killerMove[WHITE][4][k].move;
            if (e.from == m.from && e.to == m.to && e.piece == m.piece) return k;
        }
        return -1;
    }

    std::unique_ptr<SearchThread> thread;
    Board* board = nullptr;
};

TEST_F(Heuristics, NewKillerEntersThirdAndBubblesByHits) {
    const Move m = quiet(20, 36, WPAWN);
    setCounters(5, 3, 2);
    updateKillerMove(&thread->heuristics, thread->board.ply, &m);
    EXPECT_EQ(slotOf(m), 2);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][4][2].counter, 1u);

    setCounters(5, 0, 0);
    updateKillerMove(&thread->heuristics, thread->board.ply, &m);
    EXPECT_EQ(slotOf(m), 1);

    setCounters(0, 0, 0);
    updateKillerMove(&thread->heuristics, thread->board.ply, &m);
    EXPECT_EQ(slotOf(m), 0) << "an entry can rise two places in one update";

    // A known killer gains a hit in its own slot, then bubbles past equals' losers.
    setCounters(2, 2, 0);
    const Move second = thread->heuristics.killerMove[WHITE][4][1].move;
    updateKillerMove(&thread->heuristics, thread->board.ply, &second);
    EXPECT_EQ(slotOf(second), 0);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][4][0].counter, 3u);

    // Killers belong to the mover's colour and the board's ply.
    const Move black = quiet(100, 84, BPAWN);
    updateKillerMove(&thread->heuristics, thread->board.ply, &black);
    EXPECT_EQ(thread->heuristics.killerMove[BLACK][4][0].move.from, 100);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][4][0].move.from, second.from);
}

TEST_F(Heuristics, CapturesAndPromotionsTeachNothing) {
    Move capture = quiet(20, 37, WPAWN);
    capture.flags |= MF_CAPTURE;
    capture.captured = BKNIGHT;
    Move promotion = quiet(100, 116, WPAWN);
    promotion.flags |= MF_PROMOTION;
    promotion.promotion = WQUEEN;
    for (const Move* m : {&capture, &promotion}) {
        updateKillerMove(&thread->heuristics, thread->board.ply, m);
        updateHistoryHeuristic(&thread->heuristics, m, 10);
        updateBadHistoryHeuristic(&thread->heuristics, m);
        EXPECT_EQ(getHistoryBonus(&thread->heuristics, m), 0u);
        EXPECT_EQ(thread->heuristics.successHistoryHeuristic[historyIndex(m)], 0u);
        EXPECT_EQ(thread->heuristics.badHistoryHeuristic[historyIndex(m)], 0u);
    }
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(thread->heuristics.killerMove[WHITE][4][k].move.from, NO_SQUARE);
}

TEST_F(Heuristics, HistoryIsHalvedColourWideOncePast50000) {
    const Move knight = quiet(1, 34, WKNIGHT);
    const Move other = quiet(6, 21, WKNIGHT);
    const Move blackKnight = quiet(113, 34, BKNIGHT);
    EXPECT_EQ(historyIndex(&knight), 2 * 128 + 34);
    EXPECT_EQ(historyIndex(&blackKnight), 25 * 128 + 34) << "same square, another row";

    updateHistoryHeuristic(&thread->heuristics, &other, 10);         // 100
    updateHistoryHeuristic(&thread->heuristics, &blackKnight, 10);   // 100, the other colour
    for (int i = 0; i < 5; i++) updateHistoryHeuristic(&thread->heuristics, &knight, 100);
    EXPECT_EQ(getHistoryBonus(&thread->heuristics, &knight), 50000u)
        << "exactly 50000 is not halved";
    updateHistoryHeuristic(&thread->heuristics, &knight, 100);
    EXPECT_EQ(getHistoryBonus(&thread->heuristics, &knight), 30000u);
    EXPECT_EQ(getHistoryBonus(&thread->heuristics, &other), 50u);
    EXPECT_EQ(getHistoryBonus(&thread->heuristics, &blackKnight), 100u);
    EXPECT_EQ(thread->heuristics.successHistoryHeuristic[historyIndex(&knight)], 6u)
        << "success counts are never halved";
}

TEST_F(Heuristics, BadHistoryBonusIsPerThousandOfTheColourCell) {
    const Move m = quiet(1, 34, WKNIGHT);
    EXPECT_EQ(getBadHistoryBonus(&thread->heuristics, &m), 0);
    updateBadHistoryHeuristic(&thread->heuristics, &m);
    updateBadHistoryHeuristic(&thread->heuristics, &m);
    EXPECT_EQ(getBadHistoryBonus(&thread->heuristics, &m), 2000);
    EXPECT_EQ(thread->heuristics.badHistoryHeuristic[4096], 1u);
    EXPECT_EQ(thread->heuristics.badHistoryHeuristic[4097], 1u);
}

TEST_F(Heuristics, ClearingKillersTwoPliesAheadLeavesOtherPlies) {
    const Move m = quiet(20, 36, WPAWN);
    for (u32 ply : {4u, 6u}) {
        board->ply = ply;
        updateKillerMove(&thread->heuristics, thread->board.ply, &m);
    }
    clearKillersDepth(&thread->heuristics, 4);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][6][0].move.from, NO_SQUARE);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][6][0].counter, 0u);
    EXPECT_EQ(thread->heuristics.killerMove[WHITE][4][0].move.from, 20);
    clearKillersDepth(&thread->heuristics, MAX_PLY - 1);   // no slot beyond the table
}

TEST_F(Heuristics, RepetitionLooksBackToHalfMoveOne) {
    board->gamePly = 1;
    board->hashHistory[1] = 77;
    EXPECT_EQ(checkDraw(board), 0);

    board->gamePly = 2;
    board->hashHistory[0] = 88;
    board->hashHistory[2] = 88;
    EXPECT_EQ(checkDraw(board), 0) << "index 0 is never compared";

    board->gamePly = 3;
    board->hashHistory[3] = 77;
    EXPECT_EQ(checkDraw(board), 1);
    board->hashHistory[3] = 99;
    EXPECT_EQ(checkDraw(board), 0);
}

// ---------------------------------------------------------------------------
// Clock

i32 fakeNow = 0;
i32 fakeStep = 0;
i32 fakeClock() {
    const i32 now = fakeNow;
    fakeNow = static_cast<i32>(static_cast<u32>(fakeNow) + static_cast<u32>(fakeStep));
    return now;
}

// Jumps a long way ahead once the search has counted this many nodes.
i64 jumpAtNodes = 0;
i32 jumpingClock() { return searchThread(0)->globalNodes > jumpAtNodes ? 1000000 : 0; }

class SearchClock : public ::testing::Test {
protected:
    void SetUp() override {
        freshTables();
        searchOutput = true;
        fakeNow = 0;
        fakeStep = 0;
        searchClock = fakeClock;
        // A search that ended leaves the signal raised for its helpers;
        // the polls here run outside any search.
        moveClock.stopSignal = false;
    }
    void TearDown() override {
        searchClock = timer;
        nodeCountStart = 0;
    }
};

TEST(SearchStack, APreparedThreadFollowsNoLineAndCountsNoRootNodes) {
    // The stack of the search lives in the thread's record: a new search
    // starts from an empty line and empty root counts, whatever the last
    // one left there.
    auto thread = newSearchThread();
    thread->pv[3].from = 12;
    thread->rootNodeCount[5] = 77;
    thread->followPV = 1;
    const auto root = newBoard("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    prepareSearchThread(thread.get(), root.get());
    for (const Move& m : thread->pv) ASSERT_EQ(m.from, NO_SQUARE);
    for (const i64 count : thread->rootNodeCount) ASSERT_EQ(count, 0);
    EXPECT_EQ(thread->followPV, 0);
    EXPECT_EQ(thread->board.ply, 0u);
    EXPECT_EQ(thread->board.hashKey, root->hashKey);
    EXPECT_LT(sizeof(Board), sizeof(MoveList) * 64) << "the per-ply lists are the thread's";
}

TEST_F(SearchClock, ClockIsReadOnceEvery8193Entries) {
    auto thread = newSearchThread();
    moveClock.timerSearchStart = 0;
    moveClock.maxTimeAllowed = 0;
    fakeNow = 1000;
    for (int i = 0; i < 8192; i++) ASSERT_FALSE(pollClock(thread.get())) << i;
    EXPECT_TRUE(pollClock(thread.get()));
    EXPECT_EQ(thread->searchAborted, 1);
    EXPECT_EQ(thread->abortNodes, 0);
    EXPECT_TRUE(pollClock(thread.get())) << "stays abandoned";
}

TEST_F(SearchClock, HelperLooksAtTheStopSignalNotTheClock) {
    // A helper never reads the clock: past every limit it goes on until the
    // stop signal, which it sees within its own short interval.
    auto helper = newSearchThread();
    helper->index = 1;
    helper->pollInterval = HELPER_POLL_INTERVAL;
    moveClock.timerSearchStart = 0;
    moveClock.maxTimeAllowed = 0;
    fakeNow = 1000000;
    for (int i = 0; i < 10 * HELPER_POLL_INTERVAL; i++) ASSERT_FALSE(pollClock(helper.get())) << i;
    moveClock.stopSignal = true;
    int polls = 0;
    while (!pollClock(helper.get())) polls++;
    moveClock.stopSignal = false;
    EXPECT_LE(polls, HELPER_POLL_INTERVAL + 1);
    EXPECT_EQ(helper->searchAborted, 1);
}

TEST_F(SearchClock, ElapsedTimeSurvivesTheClockWrapping) {
    auto thread = newSearchThread();
    moveClock.timerSearchStart = INT32_MAX - 5;
    fakeNow = INT32_MIN + 4;   // 10 ms later
    moveClock.maxTimeAllowed = 10;
    thread->abortNodes = CLOCK_POLL_INTERVAL + 1;
    EXPECT_FALSE(pollClock(thread.get()));
    moveClock.maxTimeAllowed = 9;
    thread->abortNodes = CLOCK_POLL_INTERVAL + 1;
    EXPECT_TRUE(pollClock(thread.get()));
}

TEST_F(SearchClock, AbandonedSearchReturnsZeroWithoutCountingNodes) {
    auto thread = newSearchThread("4k3/8/8/3q4/8/2N5/8/4K3 w - - 0 1");
    thread->searchAborted = 1;
    PvLine line;
    line.count = 3;
    EXPECT_EQ(alphaBeta(thread.get(), -100, 100, 3, &line, 1), 0);
    EXPECT_EQ(line.count, 0u);
    EXPECT_EQ(qSearch(thread.get(), -100, 100, 0), 0);
    EXPECT_EQ(thread->globalNodes, 0);
    EXPECT_EQ(thread->globalQNodes, 0);
}

TEST(IterationControl, ThirdChangeOfMindDoublesBothLimitsOnce) {
    IterationControl control = {1000, 0, false};
    moveClock.maxTimeAllowed = 5000;
    EXPECT_TRUE(nextIteration(&control, 4, 100, 0, 10, true)) << "changes count from depth 5";
    EXPECT_EQ(control.changes, 0);
    EXPECT_TRUE(nextIteration(&control, 5, 100, 0, 10, true));
    EXPECT_TRUE(nextIteration(&control, 6, 100, 0, 10, true));
    EXPECT_EQ(control.budget, 1000);
    EXPECT_TRUE(nextIteration(&control, 7, 100, 0, 10, true));
    EXPECT_EQ(control.changes, 3);
    EXPECT_EQ(control.budget, 2000);
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 10000);
    EXPECT_TRUE(nextIteration(&control, 8, 100, 0, 10, true));
    EXPECT_EQ(control.budget, 2000);
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 10000);
    // The doubled budget is the soft limit from now on.
    EXPECT_TRUE(nextIteration(&control, 9, 100, 0, 2000, false));
    EXPECT_FALSE(nextIteration(&control, 10, 100, 0, 2001, false));
}

TEST(IterationControl, DoubledHardLimitStaysUnderTheClockCap) {
    // "time 4000": 40 s left, a budget of 1 s; ten times it would be 10 s,
    // within the 38 s the cap leaves. At 4 s left it is capped at 3.8 s.
    IterationControl control = {1000, 0, false, clockHardCap(40000)};
    moveClock.maxTimeAllowed = 5000;
    for (int depth = 5; depth <= 7; depth++) nextIteration(&control, depth, 100, 0, 10, true);
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 10000);
    control = {1000, 0, false, 3800};
    moveClock.maxTimeAllowed = 3800;
    for (int depth = 5; depth <= 7; depth++) nextIteration(&control, depth, 100, 0, 10, true);
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 3800);
    EXPECT_EQ(control.budget, 2000) << "the soft limit doubles as before";
}

TEST(IterationControl, ClockCapLeavesAMarginForThePollAndTheOutput) {
    EXPECT_EQ(clockHardCap(1000), 950);
    EXPECT_EQ(clockHardCap(5000), 4750);
    EXPECT_EQ(clockHardCap(400), 370) << "at least 30 ms";
    EXPECT_EQ(clockHardCap(30), 0);
    EXPECT_EQ(clockHardCap(0), 0);
    EXPECT_EQ(clockHardCap(-5000), 0);
    EXPECT_EQ(clockHardCap(NO_TIME_CAP), NO_TIME_CAP);
}

TEST(IterationControl, OneChangeToAWinningMoveStopsPastHalfTheBudget) {
    IterationControl control = {1000, 0, false};
    EXPECT_FALSE(nextIteration(&control, 5, 100, 301, 501, true));
    control = {1000, 0, false};
    EXPECT_TRUE(nextIteration(&control, 5, 100, 300, 501, true))
        << "a score of exactly 300 goes on";
    control = {1000, 0, false};
    EXPECT_TRUE(nextIteration(&control, 5, 100, 301, 500, true))
        << "exactly half the budget goes on";
    control = {1000, 0, false};
    EXPECT_TRUE(nextIteration(&control, 5, 100, 301, 900, false)) << "no change of mind goes on";
    control = {1000, 2, false};
    EXPECT_TRUE(nextIteration(&control, 8, 100, 301, 900, false)) << "two changes go on";
}

TEST(IterationControl, SoftLimitAndLastDepth) {
    IterationControl control = {0, 0, false};
    EXPECT_TRUE(nextIteration(&control, 1, 100, 0, 0, false)) << "a 0 ms iteration fits a 0 budget";
    EXPECT_FALSE(nextIteration(&control, 2, 100, 0, 1, false));
    control = {INT32_MAX, 0, false};
    EXPECT_FALSE(nextIteration(&control, 100, 100, 0, 0, false)) << "depth 100 is the last";
    EXPECT_FALSE(nextIteration(&control, 3, 3, 0, 0, false));
}

// Runs the driver with output captured; returns the chosen move.
Move runSearch(Board* board, i32 budget, int maxDepth, std::string* out) {
    testing::internal::CaptureStdout();
    Move m;
    searchToDepth(board, &m, budget, maxDepth);
    *out = testing::internal::GetCapturedStdout();
    return m;
}

TEST_F(SearchClock, BudgetZeroStillSearchesDepthOne) {
    auto board = newBoard(initialPosition);
    std::string out;
    fakeStep = 1;   // every reading is a millisecond later
    Move m = runSearch(board.get(), 0, 100, &out);
    auto lines = thinkingLines(out);
    ASSERT_EQ(lines.size(), 1u) << out;
    EXPECT_EQ(lines[0].depth, 1);
    EXPECT_EQ(text(m), lines[0].moves[0]);

    // A clock that does not move lets every iteration start.
    freshTables();
    fakeStep = 0;
    runSearch(board.get(), 0, 3, &out);
    EXPECT_EQ(thinkingLines(out).size(), 3u) << out;

    // A negative budget counts as 0.
    freshTables();
    fakeStep = 1;
    m = runSearch(board.get(), -500, 100, &out);
    EXPECT_EQ(thinkingLines(out).size(), 1u) << out;
    EXPECT_NE(m.from, NO_SQUARE);
}

TEST_F(SearchClock, IterationAbandonedAfterRealWorkIsDiscarded) {
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    // First with the clock frozen, to learn how many nodes each iteration
    // ends at; the same search with the same empty tables repeats them.
    auto board = newBoard(fen);
    std::string out;
    runSearch(board.get(), 1000, 10, &out);
    auto frozen = thinkingLines(out);
    ASSERT_EQ(frozen.size(), 10u);
    // The clock jumps early in the first iteration that has plenty of polls left.
    size_t target = 1;
    while (target < frozen.size() && frozen[target].nodes - frozen[target - 1].nodes < 30000)
        target++;
    ASSERT_LT(target, frozen.size()) << out;

    freshTables();
    board = newBoard(fen);
    searchClock = jumpingClock;
    jumpAtNodes = frozen[target - 1].nodes + 1;
    const Move m = runSearch(board.get(), 1000, 100, &out);
    EXPECT_EQ(searchThread(0)->searchAborted, 1);
    auto lines = thinkingLines(out);
    // Only the iterations finished before the jump were printed; the move is
    // the last printed line's first move.
    ASSERT_EQ(lines.size(), target) << out;
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(lines[i].nodes, frozen[i].nodes);
        EXPECT_EQ(lines[i].moves, frozen[i].moves);
    }
    EXPECT_GT(searchThread(0)->globalNodes, 5000);
    EXPECT_EQ(text(m), lines.back().moves[0]);
}

TEST_F(SearchClock, CountsPastThirtyTwoBitsStillDiscardAnIterationCutShort) {
    // A few million nodes a second pass 2^31 in a quarter of an hour. The
    // counts printed go on from where they are, and an iteration the clock
    // cuts short after real work is still discarded: the move played is
    // the last printed line's first move, never a half-searched one.
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    auto board = newBoard(fen);
    std::string out;
    runSearch(board.get(), 1000, 8, &out);
    const auto frozen = thinkingLines(out);
    ASSERT_EQ(frozen.size(), 8u);
    size_t target = 1;
    while (target < frozen.size() && frozen[target].nodes - frozen[target - 1].nodes < 30000)
        target++;
    ASSERT_LT(target, frozen.size()) << out;
    for (const i64 start : {(INT64_C(1) << 31) - 20000, (INT64_C(1) << 32) - 20000}) {
        nodeCountStart = start;
        freshTables();
        board = newBoard(fen);
        searchClock = jumpingClock;
        jumpAtNodes = start + frozen[target - 1].nodes + 1;
        const Move m = runSearch(board.get(), 1000, 100, &out);
        const auto lines = thinkingLines(out);
        ASSERT_EQ(lines.size(), target) << out;
        for (size_t i = 0; i < lines.size(); i++) {
            EXPECT_EQ(lines[i].nodes, start + frozen[i].nodes) << start;
            EXPECT_EQ(lines[i].moves, frozen[i].moves) << start;
        }
        EXPECT_EQ(text(m), lines.back().moves[0]) << start;
        EXPECT_GT(searchNodes(), start + frozen[target - 1].nodes);
    }
}

// What a front end hears from the driver in a long search.
struct Heard {
    std::vector<ThinkingLine> iterations, bounds;
    std::vector<std::pair<int, std::string>> current;   // depth, move
    std::vector<int> numbers;
};
Heard heard;
ThinkingLine heardLine(int depth, i32 score, const PvLine* line) {
    ThinkingLine l{depth, score, 0, searchNodes(), {}};
    for (u32 i = 0; i < line->count; i++) l.moves.push_back(text(line->moves[i]));
    return l;
}
void hearIteration(int depth, i32 score, i32, const PvLine* line, int) {
    heard.iterations.push_back(heardLine(depth, score, line));
}
void hearBound(int depth, i32 score, i32, const PvLine* line) {
    heard.bounds.push_back(heardLine(depth, score, line));
}
void hearMove(int depth, const Move* move, int number) {
    heard.current.emplace_back(depth, text(*move));
    heard.numbers.push_back(number);
}

TEST_F(SearchClock, ALongSearchNamesItsRootMovesAndTheBoundsItFindsOnTheWay) {
    // The clock reads a second and more from the start: every root move is
    // named with its number, and every root move that beats the first
    // inside an iteration is reported as a bound, the last of them being
    // the iteration's own result.
    fakeNow = 5000;
    fakeStep = REPORT_AFTER;   // each reading a second after the one before
    SearchReports hear;
    hear.iteration = hearIteration;
    hear.bound = hearBound;
    hear.currentMove = hearMove;
    SearchLimits limits;
    limits.reports = &hear;
    heard = Heard();
    auto board = newBoard("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8");
    Move m;
    searchToDepth(board.get(), &m, INT32_MAX, 7, NO_TIME_CAP, &limits);
    ASSERT_EQ(heard.iterations.size(), 7u);
    EXPECT_FALSE(heard.bounds.empty()) << "no root move ever beat the first";
    for (const ThinkingLine& it : heard.iterations) {
        std::vector<const ThinkingLine*> at;
        for (const ThinkingLine& b : heard.bounds)
            if (b.depth == it.depth) at.push_back(&b);
        for (const ThinkingLine* b : at) EXPECT_LE(b->score, it.score) << "depth " << it.depth;
        if (!at.empty()) {
            EXPECT_EQ(at.back()->score, it.score) << "depth " << it.depth;
            EXPECT_EQ(at.back()->moves, it.moves) << "depth " << it.depth;
        }
        // Each depth names every legal root move once, numbered from 1.
        std::vector<std::string> named;
        for (size_t i = 0; i < heard.current.size(); i++) {
            if (heard.current[i].first != it.depth) continue;
            EXPECT_EQ(heard.numbers[i], static_cast<int>(named.size()) + 1);
            named.push_back(heard.current[i].second);
        }
        std::sort(named.begin(), named.end());
        std::vector<std::string> legal = splitWords(moveTexts(board.get()));
        std::sort(legal.begin(), legal.end());
        EXPECT_EQ(named, legal) << "depth " << it.depth;
    }
    // A short search (the clock short of a second) names nothing.
    heard = Heard();
    fakeNow = 0;
    fakeStep = 0;
    searchToDepth(board.get(), &m, INT32_MAX, 5, NO_TIME_CAP, &limits);
    EXPECT_EQ(heard.iterations.size(), 5u);
    EXPECT_TRUE(heard.bounds.empty());
    EXPECT_TRUE(heard.current.empty());
}

TEST_F(SearchClock, HardCapEndsTheSearchBeforeFiveTimesTheBudget) {
    // "st 1": the hard limit is the cap, not 5 s, and the search is
    // abandoned when the clock passes it.
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    auto board = newBoard(fen);
    fakeStep = 0;
    std::string out;
    testing::internal::CaptureStdout();
    Move m;
    // After these nodes the clock reads 2 s: past the cap, inside 5 s.
    jumpAtNodes = 200000;
    searchClock = [] { return searchThread(0)->globalNodes > jumpAtNodes ? 2000 : 0; };
    searchToDepth(board.get(), &m, 1000, 100, 950);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 950);
    EXPECT_EQ(searchThread(0)->searchAborted, 1);
    EXPECT_LT(searchThread(0)->globalNodes, 200000 + 2 * (CLOCK_POLL_INTERVAL + 1))
        << "the next poll stops it";
    EXPECT_NE(m.from, NO_SQUARE);
    // A negative cap counts as nothing left.
    freshTables();
    board = newBoard(fen);
    searchClock = fakeClock;
    fakeStep = 0;
    testing::internal::CaptureStdout();
    searchToDepth(board.get(), &m, 1000, 1, -20);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 0);
}

TEST_F(SearchClock, ThinkingTimeIsTruncatedCentiseconds) {
    // A single legal reply (Kxg2), so no fail-high line reads the clock.
    auto board = newBoard("7k/8/8/8/8/8/6q1/7K w - - 0 1");
    fakeStep = 1999;   // the reading after the iteration is 1999 ms after the start
    std::string out;
    runSearch(board.get(), 100000, 1, &out);
    auto lines = thinkingLines(out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].centiseconds, 199);
}

// ---------------------------------------------------------------------------
// Search behaviour, clock out of the way

class Search : public ::testing::Test {
protected:
    void SetUp() override {
        freshTables();
        searchOutput = true;
        searchClock = timer;
    }

    // Searches the position to depth; returns the chosen move's text and
    // leaves the iteration lines in lines.
    std::string searchFen(const char* fen, int depth) {
        board = newBoard(fen);
        return searchBoard(depth);
    }

    std::string searchBoard(int depth) {
        const Move m = runSearch(board.get(), INT32_MAX, depth, &out);
        lines = thinkingLines(out);
        EXPECT_EQ(static_cast<int>(lines.size()), depth) << out;
        EXPECT_EQ(board->ply, 0u);
        return text(m);
    }

    std::unique_ptr<Board> board;
    std::vector<ThinkingLine> lines;
    std::string out;
};

TEST_F(Search, MatesAreFoundWithExactDistances) {
    EXPECT_EQ(searchFen("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 3), "d1d8");
    EXPECT_EQ(lines.back().score, 32000 - 1);

    EXPECT_EQ(searchFen("r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10", 4),
              "d5f6");
    EXPECT_EQ(lines.back().score, 32000 - 3);
    EXPECT_EQ(lines.back().moves, (std::vector<std::string>{"d5f6", "g7f6", "c4f7"}));
    // Found at depth 1 after other root moves: announced by a fail-high line
    // that counts the move itself among those searched.
    EXPECT_EQ(out.rfind("1 31997 ", 0), 0u) << out;
    EXPECT_NE(out.find(" d5f6!\n"), std::string::npos) << out;

    // Two rooks: Rb6+, Ra7+, Rb8#.
    EXPECT_EQ(searchFen("8/8/6k1/R7/8/8/8/1R5K w - - 0 1", 6), "b1b6");
    EXPECT_EQ(lines.back().score, 32000 - 5);
    EXPECT_EQ(lines.back().moves.size(), 5u);

    // The side being mated sees the mirror score: mated in two of its plies.
    EXPECT_NE(searchFen("6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - - 0 1", 4), "(none)");
    EXPECT_GT(lines.back().score, -32000 + 100) << "black to move escapes with h6 or similar";
}

TEST_F(Search, MatedOrStalematedRootHasNoMove) {
    EXPECT_EQ(searchFen("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1", 2), "(none)");
    EXPECT_EQ(lines.back().score, -32000);
    EXPECT_TRUE(lines.back().moves.empty());
    EXPECT_EQ(searchFen("k7/7R/1QK5/8/8/8/8/8 b - - 0 1", 2), "(none)");
    EXPECT_EQ(lines.back().score, 0);
}

TEST_F(Search, HangingQueenIsTaken) {
    EXPECT_EQ(searchFen("4k3/4p3/8/3q4/8/2N5/4P3/4K3 w - - 0 1", 5), "c3d5");
    EXPECT_GT(lines.back().score, 200) << "a knight up instead of a queen down";
    EXPECT_EQ(searchFen("4k3/4p3/8/3Q4/8/2n5/4P3/4K3 b - - 0 1", 5), "c3d5");
    EXPECT_GT(lines.back().score, 200);
}

TEST_F(Search, StalemateIsAvoidedForTheMate) {
    // Rxh7 wins a pawn and stalemates; Qb7 mates.
    const std::string move = searchFen("k7/7p/1QK5/8/8/8/8/7R w - - 0 1", 4);
    EXPECT_NE(move, "h1h7");
    EXPECT_EQ(lines.back().score, 32000 - 1);
}

TEST_F(Search, RepetitionBelowTheRootScoresZero) {
    // 1.Nf3 Nf6 2.Ng1 Ng8: Nf3 now repeats the position after move 1. At
    // depth 1 every other move scores the same as in the start position.
    board = newBoard(initialPosition);
    const std::string fresh = searchBoard(1);
    const i32 freshScore = lines.back().score;
    ASSERT_NE(freshScore, 0) << "the test needs a non-zero score for an ordinary move";

    freshTables();
    board = newBoard(initialPosition);
    for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) playTextMove(board.get(), m);
    if (freshScore < 0) {
        EXPECT_EQ(searchBoard(1), "g1f3");
        EXPECT_EQ(lines.back().score, 0);
    } else {
        EXPECT_NE(searchBoard(1), "g1f3");
        EXPECT_EQ(lines.back().score, freshScore);
    }

    // The root itself may be a repetition: it is searched all the same.
    freshTables();
    playTextMove(board.get(), "g1f3");
    EXPECT_NE(searchBoard(2), "(none)");
    EXPECT_FALSE(lines.back().moves.empty());
    EXPECT_EQ(board->gamePly, 5u);
}

TEST_F(Search, PrincipalVariationIsPlayableFromTheRoot) {
    searchFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5);
    for (const ThinkingLine& line : lines) {
        auto replay =
            newBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
        for (const std::string& mv : line.moves) {
            // Promotion letters are not shown: the queen is the one to find.
            MoveList* list = testList(0);
            list->count = static_cast<u8>(generateMoves(replay.get(), list, 1));
            bool found = false;
            char buffer[8];
            for (int i = 0; i < list->count && !found; i++) {
                moveToText(&list->moves[i], buffer);
                if (mv == std::string(buffer).substr(0, 4)) {
                    Move m = list->moves[i];
                    makeMove(replay.get(), &m);
                    replay->ply = 0;
                    found = true;
                }
            }
            ASSERT_TRUE(found) << "depth " << line.depth << ": " << mv << " is not legal there";
        }
    }
}

// ---------------------------------------------------------------------------
// Quiescence and alpha-beta nodes

class Nodes : public ::testing::Test {
protected:
    void SetUp() override {
        freshTables();
        searchClock = timer;
        moveClock.timerSearchStart = timer();
        moveClock.maxTimeAllowed = INT32_MAX;
    }

    // A search thread on the position, counters at 0.
    void useFen(const char* fen) {
        thread = newSearchThread(fen);
        board = &thread->board;
    }

    // The static score of the position: a stand pat at or above beta is
    // returned as it is.
    i32 standPat() { return qSearch(thread.get(), -32000, -31999, 0); }

    std::unique_ptr<SearchThread> thread;
    Board* board = nullptr;
};

TEST_F(Nodes, QuiescenceStandsPatWithoutCapturesOrQuietMoves) {
    // A quiet check is available (Ra8+), but without captures no quiet move is tried.
    useFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    const i32 e = standPat();
    thread->globalQNodes = 0;
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, 0), e);
    EXPECT_EQ(thread->globalQNodes, 1);
    thread->globalQNodes = 0;
    EXPECT_EQ(qSearch(thread.get(), e - 50, e, 0), e) << "a stand pat of exactly beta";
    EXPECT_EQ(thread->globalQNodes, 1);
}

TEST_F(Nodes, QuiescenceInCheckWithoutEvasionsIsMate) {
    useFen("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, 0), -32000);
    board->ply = 3;
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, 0), 3 - 32000);
}

TEST_F(Nodes, QuiescenceSkipsCapturesThatLoseMaterial) {
    // Below level 0, so that no quiet check (Qe2+) is tried either.
    useFen("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1");
    const i32 e = standPat();
    thread->globalQNodes = 0;
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, -8), e);
    EXPECT_EQ(thread->globalQNodes, 1) << "Qxd5 loses the queen and is not searched";
}

TEST_F(Nodes, DeltaPruningTakesTheOptimisticBoundInANullWindow) {
    useFen("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
    const i32 e = standPat();
    thread->globalQNodes = 0;
    EXPECT_EQ(qSearch(thread.get(), e + 300, e + 301, 0), e + 100 + 150);
    EXPECT_EQ(thread->globalQNodes, 1);
    thread->globalQNodes = 0;
    const i32 wide = qSearch(thread.get(), e + 300, e + 400, 0);
    EXPECT_EQ(thread->globalQNodes, 2) << "in a wider window exd5 is searched";
    EXPECT_LT(wide, e + 300);
}

TEST_F(Nodes, QuietChecksOnlyAtTheFirstLevelAndOnlySafeOnes) {
    // Nc7+ forks king and rook: found only through the quiet-check phase,
    // which a node reaches only when it has captures (gxh3 here).
    useFen("r3k3/8/8/1N6/8/7p/6P1/6K1 w - - 0 1");
    const i32 level0 = qSearch(thread.get(), -32000, 32000, 0);
    thread->globalQNodes = 0;
    const i32 deeper = qSearch(thread.get(), -32000, 32000, -1);
    EXPECT_EQ(thread->globalQNodes, 2) << "below level 0 only gxh3";
    EXPECT_GT(level0, deeper) << "the fork wins the rook";

    // With c7 and d6 covered by the bishop the checks hang the knight: not tried.
    useFen("rb2k3/8/8/1N6/8/7p/6P1/6K1 w - - 0 1");
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, 0), qSearch(thread.get(), -32000, 32000, -1));

    // Without any capture no quiet check is tried either.
    useFen("r3k3/8/8/1N6/8/8/8/6K1 w - - 0 1");
    EXPECT_EQ(qSearch(thread.get(), -32000, 32000, 0), standPat());
}

// The bucket slot holding the board's position, or null.
const HashBucket* slotOf(const Board* board, i32 depth, int* slot) {
    const HashBucket* bucket = &hashtable[board->hashKey2 % static_cast<u64>(hashSize)];
    for (int i = 0; i < 4; i++)
        if ((bucket->lock[i] ^ bucket->slots.word[i]) == board->hashKey &&
            bucket->depth[i] == depth) {
            *slot = i;
            return bucket;
        }
    return nullptr;
}

TEST_F(Nodes, NodeStoresItsBoundWithTheRightMove) {
    // White, a queen up, one ply below the root.
    useFen("4k3/8/8/8/8/8/8/Q3K3 w - - 0 1");
    board->ply = 1;
    board->gamePly = 1;
    board->hashHistory[1] = board->hashKey;
    PvLine line;
    int slot = -1;

    const i32 high = alphaBeta(thread.get(), -100, -99, 2, &line, 0);
    EXPECT_GE(high, -99);
    const HashBucket* bucket = slotOf(board, 2, &slot);
    ASSERT_NE(bucket, nullptr);
    EXPECT_EQ(bucket->type[slot], 2);
    EXPECT_NE(bucket->move[slot].from, NO_SQUARE);
    EXPECT_EQ(line.count, 0u);

    // Depth 3: at depth 2 razoring would answer this window without a store.
    clearHashtable(hashSize);
    const i32 low = alphaBeta(thread.get(), 5000, 5001, 3, &line, 0);
    EXPECT_LE(low, 5000);
    bucket = slotOf(board, 3, &slot);
    ASSERT_NE(bucket, nullptr);
    EXPECT_EQ(bucket->type[slot], 1);
    EXPECT_EQ(bucket->move[slot].from, NO_SQUARE);
    EXPECT_EQ(line.count, 0u);

    clearHashtable(hashSize);
    const i32 exact = alphaBeta(thread.get(), -32000, 32000, 2, &line, 0);
    bucket = slotOf(board, 2, &slot);
    ASSERT_NE(bucket, nullptr);
    EXPECT_EQ(bucket->type[slot], 0);
    EXPECT_EQ(bucket->score[slot], exact);
    ASSERT_GE(line.count, 1u);
    EXPECT_EQ(bucket->move[slot].from, line.moves[0].from);
    EXPECT_EQ(bucket->move[slot].to, line.moves[0].to);
}

TEST_F(Nodes, RepeatedPositionBelowTheRootReturnsZeroAtOnce) {
    useFen("4k3/8/8/8/8/8/8/Q3K3 w - - 0 1");
    board->ply = 1;
    board->gamePly = 3;
    board->hashHistory[1] = board->hashKey;
    board->hashHistory[3] = board->hashKey;
    PvLine line;
    line.count = 5;
    thread->counters.hash.hashHits1 = 0;
    HashCounters counters;
    recordHashtable(board, 10, 777, 0, &thread->pvMove, &counters);
    EXPECT_EQ(alphaBeta(thread.get(), -32000, 32000, 4, &line, 1), 0);
    EXPECT_EQ(line.count, 0u);
    EXPECT_EQ(thread->counters.hash.hashHits1, 0) << "the table is not probed";
    board->ply = 0;
    EXPECT_GT(alphaBeta(thread.get(), -32000, 32000, 2, &line, 0), 900) << "the root is searched";
}

// ---------------------------------------------------------------------------
// Whole games through the protocol

// "go" for each side in turn, a short budget: every "move" line must be a
// legal move of the position the transcript has reached, and the game ends
// with a result line or at the move cap.
TEST(SelfPlay, GameThroughTheProtocolHasOnlyLegalMoves) {
    constexpr int cap = 160;
    std::string input = "xboard\nnew\nst 0\n";
    for (int i = 0; i < cap; i++) input += "go\n";
    input += "quit\n";
    const TempDir tmp;
    const std::string& dir = tmp.path;
    const EngineRun run = runEngine({}, input, dir, 300);
    ASSERT_EQ(run.status, 0) << run.err;

    auto board = newBoard(initialPosition);
    int moves = 0;
    bool ended = false;
    for (const std::string& row : outputLines(run.out)) {
        if (row.rfind("move ", 0) == 0) {
            Move m;
            ASSERT_EQ(inputMoveLegal(board.get(), row.c_str() + 5, &m), 1)
                << "illegal engine move at half-move " << moves + 1 << ": " << row;
            ASSERT_EQ(playGameMove(board.get(), &m), 1);
            moves++;
        } else if (row.rfind("1-0 ", 0) == 0 || row.rfind("0-1 ", 0) == 0 ||
                   row.rfind("1/2-1/2 ", 0) == 0) {
            ended = true;
            break;
        }
    }
    EXPECT_TRUE(ended || moves == cap) << moves << " moves\n" << run.out.substr(0, 2000);
    EXPECT_GT(moves, 0);
}

// "go" where the side to move has no move prints the result, not a move.
TEST(SelfPlay, GoWithoutALegalMovePrintsTheResult) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    const EngineRun run = runEngine({},
                                    "setboard k7/1Q6/1K6/8/8/8/8/8 b - - 0 1\ngo\n"
                                    "setboard k7/7R/1QK5/8/8/8/8/8 b - - 0 1\ngo\n",
                                    dir, 60);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("1-0 {White mates}\n1/2-1/2 {Stalemate}\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("move "), std::string::npos);
}

}   // namespace
