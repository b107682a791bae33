// Move scoring and selection: the class scores and the hand-out order.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "board.h"
#include "hash.h"
#include "movegen.h"
#include "movepick.h"
#include "search.h"
#include "test_util.h"
#include "utils.h"

namespace {

class MovePick : public ::testing::Test {
protected:
    // Sets the position up in a search thread (empty killers and history)
    // and generates its legal moves into the root list.
    void load(const char* fen) {
        thread = newSearchThread(fen);
        board = &thread->board;
        thread->pvMove.from = NO_SQUARE;
        list = &thread->moveLists[0];
        list->count = static_cast<u8>(generateMoves(board, list, 1));
    }

    int indexOf(const char* text) {
        char buffer[8];
        for (int i = 0; i < list->count; i++) {
            moveToText(&list->moves[i], buffer);
            if (strcmp(buffer, text) == 0) return i;
        }
        ADD_FAILURE() << "no move " << text;
        return 0;
    }

    i32 scoreOf(const char* text) { return list->scores[indexOf(text)]; }

    // The picker over the thread's board, killers, history and line.
    int scoreList() {
        return assignScoreMovelist(board, &thread->heuristics, thread->pvMove, list,
                                   &thread->counters.hash.hashMoves);
    }
    void scoreRootList() {
        assignScoreRootMovelist(thread->rootNodeCount, thread->pvMove, list,
                                &thread->counters.hash.hashMoves);
    }

    std::unique_ptr<SearchThread> thread;
    Board* board = nullptr;
    MoveList* list = nullptr;
};

TEST_F(MovePick, SafeCaptureComesBeforeEveryKillerAndLosingOneAfterEveryQuietMove) {
    // e4xd5 loses nothing; Qd2xh6 loses the queen to g7xh6.
    load("4k3/6p1/2p4p/3p4/4P3/8/3Q4/4K3 w - - 0 1");
    scoreList();
    EXPECT_EQ(scoreOf("e4d5"), 15000000 + 100 - 2);
    EXPECT_GT(scoreOf("e4d5"), SCORE_KILLER_1);
    EXPECT_EQ(scoreOf("d2h6"), 100 - 1050);
    EXPECT_EQ(list->seeScores[indexOf("d2h6")], 100 - 1050);
    EXPECT_EQ(scoreOf("d2d3"), 0) << "quiet move without history";
    EXPECT_EQ(list->seeScores[indexOf("d2d3")], 0);
}

TEST_F(MovePick, CheaperAttackerOfTheSameVictimGoesFirst) {
    // The queen on d5 is defended once (d8 rook): QxQ is even, c4xd5 wins.
    load("3rk3/8/8/3q4/2P5/8/3Q4/4K3 w - - 0 1");
    const int first = scoreList();
    EXPECT_EQ(scoreOf("d2d5"), 15000000 + 1050 - 21);
    EXPECT_EQ(scoreOf("c4d5"), 15000000 + 1050 - 2);
    EXPECT_EQ(first, indexOf("c4d5"));
    Move m;
    EXPECT_EQ(getMove(list, &m, first), first);
    EXPECT_EQ(getNextBestMove(list, &m), indexOf("d2d5"));
}

TEST_F(MovePick, KillersReplaceTheQuietScore) {
    load("r3k2r/8/8/8/8/8/P7/R3K2R w KQkq - 0 1");
    const int a3 = indexOf("a2a3"), castle = indexOf("e1g1");
    // A big history for a2a3 does not matter once it is the first killer.
    for (int i = 0; i < 4; i++) updateHistoryHeuristic(&thread->heuristics, &list->moves[a3], 100);
    thread->heuristics.killerMove[WHITE][0][0].move = list->moves[a3];
    thread->heuristics.killerMove[WHITE][0][1].move = list->moves[castle];
    scoreList();
    EXPECT_EQ(scoreOf("a2a3"), SCORE_KILLER_1);
    EXPECT_EQ(scoreOf("e1g1"), SCORE_KILLER_2) << "castling that is the second killer";
    EXPECT_EQ(scoreOf("e1c1"), SCORE_CASTLING) << "castling without history";
    EXPECT_EQ(scoreOf("a2a4"), 0);
    // Killers of the other colour or another ply play no part.
    thread->heuristics.killerMove[WHITE][0][0].move.from = NO_SQUARE;
    thread->heuristics.killerMove[BLACK][0][0].move = list->moves[a3];
    thread->heuristics.killerMove[WHITE][1][0].move = list->moves[a3];
    scoreList();
    EXPECT_EQ(scoreOf("a2a3"), 40000);
}

TEST_F(MovePick, QuietPromotionsRankByThePieceAndLosingOnesKeepTheirExchange) {
    load("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    scoreList();
    EXPECT_EQ(scoreOf("a7a8q"), 100000 + 1050);
    EXPECT_EQ(scoreOf("a7a8n"), 100000 + 330);
    // a7xb8=Q wins a knight: a good capture plus the new piece's value.
    EXPECT_EQ(scoreOf("a7b8q"), 15000000 + 330 - 2 + 1050);

    // A capturing promotion that loses material by exchange: the exchange
    // value plus the promoted piece. Rxb8 follows a7xb8=Q here.
    load("rn2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    scoreList();
    EXPECT_EQ(list->seeScores[indexOf("a7b8q")], 330 - 1050);
    EXPECT_EQ(scoreOf("a7b8q"), 330 - 1050 + 1050);
}

TEST_F(MovePick, MoveToTryFirstNeedsTheSameFlags) {
    load("4k3/8/8/8/8/8/P7/4K3 w - - 0 1");
    const int a3 = indexOf("a2a3");
    scoreList();
    EXPECT_EQ(thread->counters.hash.hashMoves, 0) << "no move to try first";

    thread->pvMove = list->moves[a3];
    thread->pvMove.flags |= MF_CAPTURE;
    scoreList();
    EXPECT_EQ(scoreOf("a2a3"), 0);
    EXPECT_EQ(thread->counters.hash.hashMoves, 0);

    thread->pvMove = list->moves[a3];
    EXPECT_EQ(scoreList(), a3);
    EXPECT_EQ(scoreOf("a2a3"), SCORE_PV);
    EXPECT_EQ(thread->counters.hash.hashMoves, 1);
}

TEST_F(MovePick, RootMovesFollowLastIterationsNodeCounts) {
    load("4k3/8/8/8/8/8/PP6/4K3 w - - 0 1");
    for (int i = 0; i < list->count; i++) thread->rootNodeCount[i] = 10;
    const int b4 = indexOf("b2b4"), a3 = indexOf("a2a3");
    thread->rootNodeCount[b4] = 500;
    thread->pvMove = list->moves[a3];
    scoreRootList();
    EXPECT_EQ(list->scores[a3], SCORE_PV_ROOT);
    EXPECT_EQ(list->scores[b4], 500);

    Move m;
    EXPECT_EQ(getNextBestMove(list, &m), a3);
    EXPECT_EQ(getNextBestMove(list, &m), b4);
    // The rest tie at 10 and come in list order.
    int previous = -1;
    for (int k = 2; k < list->count; k++) {
        const int i = getNextBestMove(list, &m);
        EXPECT_GT(i, previous);
        previous = i;
    }
}

TEST_F(MovePick, RootCountsOfALongAnalysisKeepTheirOrderBelowTheLinesMove) {
    // An iteration of an overnight analysis spends billions of nodes on a
    // move: its count neither wraps negative nor outranks the line's move.
    load("4k3/8/8/8/8/8/PP6/4K3 w - - 0 1");
    for (int i = 0; i < list->count; i++) thread->rootNodeCount[i] = 10;
    const int b4 = indexOf("b2b4"), b3 = indexOf("b2b3"), a3 = indexOf("a2a3"),
              a4 = indexOf("a2a4");
    thread->rootNodeCount[b4] = INT64_C(3) << 31;   // past 2^32 in its low bits' reading
    thread->rootNodeCount[b3] = (INT64_C(1) << 31) + 5;
    thread->rootNodeCount[a4] = 700000000;
    thread->pvMove = list->moves[a3];
    scoreRootList();
    EXPECT_EQ(list->scores[a3], SCORE_PV_ROOT);
    EXPECT_LT(list->scores[b4], SCORE_PV_ROOT);
    EXPECT_LT(list->scores[b3], SCORE_PV_ROOT);
    EXPECT_GT(list->scores[b3], list->scores[a4]);
    EXPECT_GE(list->scores[b4], list->scores[b3]);
    Move m;
    EXPECT_EQ(getNextBestMove(list, &m), a3);
    const int second = getNextBestMove(list, &m);
    EXPECT_TRUE(second == b4 || second == b3);
    EXPECT_NE(getNextBestMove(list, &m), a4) << "the billions come before the millions";
}

TEST_F(MovePick, SelectionFallsBackToTheFirstMoveWhenNothingIsLeft) {
    load("4k3/8/8/8/8/8/PP6/4K3 w - - 0 1");
    const int n = list->count;
    for (int i = 0; i < n; i++) {
        list->scores[i] = 7;
        list->picked[i] = 0;
    }
    list->scores[2] = -32000;
    Move m;
    for (int k = 0; k < n - 1; k++) EXPECT_NE(getNextBestMove(list, &m), 2);
    // Only a move scoring -32000 is left: index 0 again, picked or not.
    EXPECT_EQ(getNextBestMove(list, &m), 0);
    EXPECT_EQ(list->picked[2], 0);
    list->picked[2] = 1;
    EXPECT_EQ(getNextBestMove(list, &m), 0);
    EXPECT_EQ(std::memcmp(&m, &list->moves[0], sizeof m), 0);
}

TEST_F(MovePick, QuiescenceScoresAreExchangeValues) {
    load("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1");
    const int best = assignQScoreMovelist(board, list);
    for (int i = 0; i < list->count; i++) EXPECT_EQ(list->scores[i], list->seeScores[i]);
    EXPECT_EQ(list->scores[indexOf("d2d5")], -950);
    // The first of the moves with the highest value (0 for every safe move).
    EXPECT_EQ(list->scores[best], 0);
    for (int i = 0; i < best; i++) EXPECT_LT(list->scores[i], 0);

    list->count = 0;
    EXPECT_EQ(assignQScoreMovelist(board, list), -1);
}

}   // namespace
