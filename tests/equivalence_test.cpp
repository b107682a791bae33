// The fast hot paths against their reference versions over random games:
// same answers, same moves, and the same fields left on the board.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "attack.h"
#include "legality.h"
#include "board.h"
#include "debug.h"
#include "hash.h"
#include "movegen.h"
#include "reference.h"
#include "search.h"
#include "see.h"
#include "test_util.h"

namespace {

// Everything a later step of the search may read: the position fields, the
// capture memory and the key slots up to gamePly plus beyond (a test call
// fills the slot one past gamePly; the slots deeper down and the move lists
// are scratch that a real move overwrites before anything reads them).
::testing::AssertionResult sameBoards(const Board& a, const Board& b, u32 beyond = 1) {
    auto fail = [](const char* what) { return ::testing::AssertionFailure() << what << " differ"; };
    if (a.ply != b.ply || a.gamePly != b.gamePly) return fail("plies");
    if (a.castlingStatus != b.castlingStatus || a.sideToMove != b.sideToMove)
        return fail("rights or side");
    if (memcmp(a.squares, b.squares, sizeof a.squares) != 0) return fail("squares");
    // The index of an empty square is stale: makeMove reads it only once a
    // piece stands there, and then writes it first.
    for (int s = 0; s < 128; s++)
        if (onBoard(s) && a.squares[s] != EMPTY && a.pieceIndex[s] != b.pieceIndex[s])
            return fail("piece indices");
    if (a.nWhiteEntries != b.nWhiteEntries || a.nBlackEntries != b.nBlackEntries)
        return fail("entry counts");
    for (int i = 0; i < MAX_PIECE_ENTRIES; i++) {
        const PieceEntry &x = a.whitePieces[i], &y = b.whitePieces[i], &u = a.blackPieces[i],
                         &v = b.blackPieces[i];
        if (x.piece != y.piece || x.square != y.square || x.alive != y.alive)
            return fail("white pieces");
        if (u.piece != v.piece || u.square != v.square || u.alive != v.alive)
            return fail("black pieces");
    }
    if (a.wKingSquare != b.wKingSquare || a.bKingSquare != b.bKingSquare)
        return fail("king squares");
    if (a.epSquare != b.epSquare) return fail("en passant squares");
    if (a.lastCaptureSquare != b.lastCaptureSquare || a.lastCapturedPiece != b.lastCapturedPiece)
        return fail("capture memories");
    if (a.nWhite != b.nWhite || a.nBlack != b.nBlack || a.inCheck != b.inCheck)
        return fail("counts");
    if (a.hashKey != b.hashKey || a.hashKey2 != b.hashKey2) return fail("keys");
    if (a.materialBalance != b.materialBalance) return fail("material");
    for (u32 i = 0; i <= a.gamePly + beyond && i < HASH_HISTORY_SIZE; i++)
        if (a.hashHistory[i] != b.hashHistory[i]) return fail("key histories");
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameMoveRecords(const Move& a, const Move& b) {
    if (memcmp(&a, &b, sizeof a) == 0) return ::testing::AssertionSuccess();
    char text[8];
    moveToText(&a, text);
    return ::testing::AssertionFailure() << "move records of " << text << " differ";
}

// Start positions of the random games: the opening, a crowded middlegame
// with every special move at hand, promotions, and a few odd set-ups.
constexpr const char* starts[] = {
    initialPosition,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1",
    "1k6/8/8/3qr3/8/3QR3/8/1K6 w - - 0 1",
};

// Walks random games from every start, calling visit on each position
// reached (the same steps on both boards).
template <class Visit>
void randomGames(int gamesPerStart, int length, Visit visit) {
    std::mt19937 random(20261207);
    for (const char* fen : starts) {
        for (int g = 0; g < gamesPerStart; g++) {
            auto fast = newBoard(fen);
            auto reference = newBoard(fen);
            for (int step = 0; step < length; step++) {
                visit(fast.get(), reference.get());
                if (::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure())
                    return;
                MoveList* list = testList(0);
                const u32 n = generateMoves(fast.get(), list, 1);
                if (n == 0) break;
                Move move = list->moves[random() % n];
                Move same = move;
                for (Board* b : {fast.get(), reference.get()}) {
                    Move* m = b == fast.get() ? &move : &same;
                    b->inCheck = static_cast<u8>(moveChecks(b, m));
                    makeMove(b, m);
                    updateHashKey(b, m);
                }
                ASSERT_TRUE(sameBoards(*fast, *reference, 0));
            }
        }
    }
}

TEST(Equivalence, ExchangeValuesAndTracesMatchTheMakeUnmakeVersion) {
    u64 compared = 0;
    randomGames(40, 80, [&](Board* fast, Board* reference) {
        MoveList* list = testList(0);
        const u32 n = generateMoves(fast, list, 0);
        for (u32 i = 0; i < n; i++) {
            Move a = list->moves[i], b = list->moves[i];
            const i32 x = see(fast, &a);
            const i32 y = referenceSee(reference, &b);
            ASSERT_EQ(x, y);
            ASSERT_TRUE(sameMoveRecords(a, b));
            ASSERT_TRUE(sameBoards(*fast, *reference));
            compared++;
        }
    });
    EXPECT_GT(compared, 50000u);
}

// The key the search prefetches by is the key the child will have: every
// kind of move, castling rights and en passant squares included.
TEST(Equivalence, PredictedChildKeysMatchTheKeysAfterTheMove) {
    u64 compared = 0, special = 0;
    randomGames(20, 80, [&](Board* fast, Board*) {
        MoveList* list = testList(0);
        const u32 n = generateMoves(fast, list, 0);
        for (u32 i = 0; i < n; i++) {
            Move m = list->moves[i];
            const u64 predicted = key2After(fast, &m);
            makeMove(fast, &m);
            updateHashKey(fast, &m);
            ASSERT_EQ(predicted, fast->hashKey2);
            updateHashKey(fast, &m);
            unmakeMove(fast, &m);
            if (m.flags & (MF_CASTLE | MF_ENPASSANT | MF_PROMOTION)) special++;
            compared++;
        }
    });
    EXPECT_GT(compared, 50000u);
    EXPECT_GT(special, 500u);
}

// The move picker on lists of every length, with ties, picked moves and
// scores at and below -INFINITE_SCORE: the same move at every pick until
// the list is used up, and one pick beyond.
TEST(Equivalence, MovePickerMatchesTheOnePassVersion) {
    std::mt19937 random(99);
    auto a = std::make_unique<MoveList>(), b = std::make_unique<MoveList>();
    const i32 values[] = {
        -INFINITE_SCORE - 5, -INFINITE_SCORE, -INFINITE_SCORE + 1, -3, 0, 0, 7, 7, 1000};
    u64 picks = 0;
    for (int round = 0; round < 4000; round++) {
        const int n = static_cast<int>(random() % 256);
        a->count = static_cast<u8>(n);
        for (int i = 0; i < MAX_MOVES; i++) {
            a->moves[i] = Move{static_cast<u8>(i & 0x77),
                               static_cast<u8>(i >> 1),
                               1,
                               EMPTY,
                               0,
                               EMPTY,
                               0,
                               0,
                               WPAWN};
            a->scores[i] =
                random() % 3 == 0 ? values[random() % 9] : static_cast<i32>(random() % 200) - 100;
            a->picked[i] = random() % 4 == 0 ? 1 : 0;
        }
        *b = *a;
        for (int k = 0; k <= n; k++) {
            Move x, y;
            ASSERT_EQ(getNextBestMove(a.get(), &x), referenceNextBestMove(b.get(), &y))
                << round << " " << k;
            ASSERT_TRUE(sameMoveRecords(x, y));
            ASSERT_EQ(memcmp(a->picked, b->picked, sizeof a->picked), 0);
            picks++;
        }
    }
    EXPECT_GT(picks, 100000u);
}

TEST(Equivalence, LegalityVerdictsAndTracesMatchMakeAndTest) {
    u64 compared = 0, inCheck = 0;
    randomGames(40, 80, [&](Board* fast, Board* reference) {
        MoveList* list = testList(0);
        const u32 n = generateMoves(fast, list, 0);
        const KingContext king = kingContext(fast);
        if (king.attacked) inCheck++;
        for (u32 i = 0; i < n; i++) {
            Move a = list->moves[i], b = list->moves[i];
            ASSERT_EQ(isLegalInContext(fast, &a, &king), referenceIsLegal(reference, &b));
            ASSERT_TRUE(sameMoveRecords(a, b));
            ASSERT_TRUE(sameBoards(*fast, *reference));
            compared++;
        }
        // The legal generator keeps exactly the moves the reference accepts.
        MoveList* legal = testList(1);
        const u32 kept = generateMoves(fast, legal, 1);
        u32 expected = 0;
        for (u32 i = 0; i < n; i++) {
            Move b = list->moves[i];
            if (!referenceIsLegal(reference, &b)) continue;
            ASSERT_LT(expected, kept);
            ASSERT_TRUE(sameMove(legal->moves[expected], b));
            expected++;
        }
        ASSERT_EQ(expected, kept);
    });
    EXPECT_GT(compared, 50000u);
    EXPECT_GT(inCheck, 100u);
}

// The attack queries by the piece and colour bits against the walks they
// replaced: the delta query against the piece-list walk on every square for
// both sides (the king's own square and any other), the plain query against
// the walk on the bare array, and the check test of every pseudo-legal move
// against the list-walking version, with the board left alike.
TEST(Equivalence, AttackQueriesAndCheckTestsMatchTheWalks) {
    u64 squares = 0, moves = 0, checks = 0;
    randomGames(30, 80, [&](Board* fast, Board* reference) {
        for (int s = 0; s < 128; s++) {
            if (!onBoard(s)) continue;
            ASSERT_EQ(isAttackedDeltaSquareBlack(fast, s), referenceIsAttackedDelta(fast, s, BLACK))
                << sqString[s];
            ASSERT_EQ(isAttackedDeltaSquareWhite(fast, s), referenceIsAttackedDelta(fast, s, WHITE))
                << sqString[s];
            ASSERT_EQ(isAttackedSimple(fast, s, BLACK),
                      isAttackedOnSquares(fast->squares, s, BLACK))
                << sqString[s];
            ASSERT_EQ(isAttackedSimple(fast, s, WHITE),
                      isAttackedOnSquares(fast->squares, s, WHITE))
                << sqString[s];
            squares++;
        }
        MoveList* list = testList(0);
        const u32 n = generateMoves(fast, list, 0);
        for (u32 i = 0; i < n; i++) {
            Move a = list->moves[i], b = list->moves[i];
            const int x = moveChecks(fast, &a);
            ASSERT_EQ(x, referenceMoveChecks(reference, &b));
            ASSERT_TRUE(sameMoveRecords(a, b));
            ASSERT_TRUE(sameBoards(*fast, *reference));
            if (x) checks++;
            moves++;
        }
    });
    EXPECT_GT(squares, 500000u);
    EXPECT_GT(moves, 50000u);
    EXPECT_GT(checks, 1000u);
}

// The light legality test decides most moves without making them: the
// verdict and the traces on the board and the move are those of make, test
// and unmake, for every pseudo-legal move, in check or not.
TEST(Equivalence, LightLegalityTestMatchesMakeAndTest) {
    u64 compared = 0, illegal = 0;
    randomGames(30, 80, [&](Board* fast, Board* reference) {
        MoveList* list = testList(0);
        const u32 n = generateMoves(fast, list, 0);
        for (u32 i = 0; i < n; i++) {
            Move a = list->moves[i], b = list->moves[i];
            const int x = isLegalSimple(fast, &a);
            ASSERT_EQ(x, referenceIsLegal(reference, &b));
            ASSERT_TRUE(sameMoveRecords(a, b));
            ASSERT_TRUE(sameBoards(*fast, *reference));
            if (!x) illegal++;
            compared++;
        }
    });
    EXPECT_GT(compared, 50000u);
    EXPECT_GT(illegal, 1000u);
}

// The capture generator finds the first piece on each line by the bits and
// passes over pieces with nothing to take: its list is the captures of the
// full list, in the same order, pseudo-legal and legal.
TEST(Equivalence, CaptureGeneratorKeepsTheCapturesOfTheFullListInOrder) {
    u64 positions = 0, captures = 0;
    randomGames(30, 80, [&](Board* fast, Board* reference) {
        for (u8 legal = 0; legal <= 1; legal++) {
            MoveList* caps = testList(0);
            const u32 n = generateCaptures(fast, caps, legal);
            MoveList* full = testList(1);
            const u32 all = generateMoves(reference, full, legal);
            u32 k = 0;
            for (u32 i = 0; i < all; i++) {
                const Move& m = full->moves[i];
                if (!(m.flags & MF_CAPTURE)) continue;
                ASSERT_LT(k, n);
                const Move& c = caps->moves[k];
                ASSERT_TRUE(sameMove(c, m) && c.piece == m.piece && c.captured == m.captured);
                k++;
            }
            ASSERT_EQ(k, n);
            captures += n;
        }
        positions++;
    });
    EXPECT_GT(positions, 10000u);
    EXPECT_GT(captures, 20000u);
}

// The quiet-check generator against the full pseudo-legal list: exactly the
// quiet moves the phase acts on, in list order (castlings, quiet promotions,
// checks, the last quiet move and the last legal quiet one without check),
// with the board untouched.
TEST(Equivalence, QuietCheckGeneratorKeepsThePhasesMovesOfTheFullList) {
    u64 positions = 0, kept = 0, checks = 0;
    randomGames(30, 80, [&](Board* fast, Board* reference) {
        MoveList* quiet = testList(0);
        const u32 q = generateQuietChecks(fast, quiet);
        ASSERT_TRUE(sameBoards(*fast, *reference));
        MoveList* full = testList(1);
        const u32 n = generateMoves(reference, full, 0);
        int last = -1, lastQuiet = -1;
        for (u32 i = 0; i < n; i++) {
            Move m = full->moves[i];
            if (m.flags & MF_CAPTURE) continue;
            last = static_cast<int>(i);
            if (m.flags & (MF_CASTLE | MF_PROMOTION)) continue;
            if (!referenceMoveChecks(reference, &m) && referenceIsLegal(reference, &m))
                lastQuiet = static_cast<int>(i);
        }
        u32 expected = 0;
        for (u32 i = 0; i < n; i++) {
            Move m = full->moves[i];
            if (m.flags & MF_CAPTURE) continue;
            const bool check = referenceMoveChecks(reference, &m) != 0;
            if (!((m.flags & (MF_CASTLE | MF_PROMOTION)) || check || static_cast<int>(i) == last ||
                  static_cast<int>(i) == lastQuiet))
                continue;
            ASSERT_LT(expected, q);
            const Move& g = quiet->moves[expected];
            ASSERT_TRUE(sameMove(g, m) && g.piece == m.piece && g.captured == m.captured) << i;
            if (check) checks++;
            expected++;
        }
        ASSERT_EQ(expected, q);
        kept += q;
        positions++;
    });
    EXPECT_GT(positions, 10000u);
    EXPECT_GT(kept, 20000u);
    EXPECT_GT(checks, 5000u);
}

// The quiescence search with its quiet-check phase against the version
// that tests every quiet move: score, nodes and the fields left behind,
// the in-check flag and the capture memory among them.
TEST(Equivalence, QuiescenceMatchesTheFullQuietCheckPhase) {
    moveClock.maxTimeAllowed = INT32_MAX;
    moveClock.timerSearchStart = searchClock();
    u64 compared = 0;
    std::mt19937 windows(7);
    auto fastThread = newSearchThread(), referenceThread = newSearchThread();
    randomGames(12, 60, [&](Board* fast, Board* reference) {
        for (int w = 0; w < 3; w++) {
            i32 alpha = -INFINITE_SCORE, beta = INFINITE_SCORE;
            if (w > 0) {
                alpha = static_cast<i32>(windows() % 600) - 300;
                beta = w == 1 ? alpha + 1 : alpha + 200;
            }
            // Both at the game's ply, as the games left them.
            for (SearchThread* t : {fastThread.get(), referenceThread.get()}) {
                copyBoard(&t->board, t == fastThread.get() ? fast : reference);
                t->searchAborted = 0;
                t->abortNodes = 0;
                t->globalNodes = 0;
            }
            const i32 x = qSearch(fastThread.get(), alpha, beta, 0);
            const i32 y = referenceQSearch(referenceThread.get(), alpha, beta, 0);
            ASSERT_EQ(x, y);
            ASSERT_EQ(fastThread->globalNodes, referenceThread->globalNodes);
            // The slot one past gamePly holds a child's key or the node's
            // own, whichever was written last: scratch for the next move.
            ASSERT_TRUE(sameBoards(fastThread->board, referenceThread->board, 0));
            compared++;
        }
    });
    EXPECT_GT(compared, 2000u);
}

}   // namespace
