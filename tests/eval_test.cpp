// Static evaluation: exact scores of small positions worked out by hand from
// the tables, the terms' special rules, colour symmetry over many positions
// reached in play, and the eval command-line tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board.h"
#include "engine_process.h"
#include "eval.h"
#include "test_util.h"
#include "hash.h"
#include "movegen.h"

namespace {

i32 evalOf(const std::string& fen) {
    auto board = newBoard(fen);
    u8 flag = 1;
    return eval(board.get(), &flag);
}

EvalTerms termsOf(const std::string& fen) {
    auto board = newBoard(fen);
    EvalTerms terms;
    evalTerms(board.get(), &terms);
    return terms;
}

// FEN of the position, or of its colour-reversed mirror: ranks flipped,
// colours, side to move and castling rights exchanged.
std::string fenOf(const Board* board, bool mirror) {
    std::string fen;
    for (int row = 8; row >= 1; row--) {
        const int r = mirror ? 9 - row : row;
        int empty = 0;
        for (int f = 1; f <= 8; f++) {
            u8 code = board->squares[(r - 1) * 16 + (f - 1)];
            if (code == EMPTY) {
                empty++;
                continue;
            }
            if (empty > 0) fen += static_cast<char>('0' + empty);
            empty = 0;
            if (mirror) code = static_cast<u8>(code < EMPTY ? code + 7 : code - 7);
            fen += pcString[code];
        }
        if (empty > 0) fen += static_cast<char>('0' + empty);
        if (row > 1) fen += '/';
    }
    fen += (board->sideToMove == WHITE) != mirror ? " w " : " b ";
    u32 rights = board->castlingStatus;
    if (mirror) rights = ((rights & 3) << 2) | ((rights >> 2) & 3);
    std::string castling;
    if (rights & CASTLE_WK) castling += 'K';
    if (rights & CASTLE_WQ) castling += 'Q';
    if (rights & CASTLE_BK) castling += 'k';
    if (rights & CASTLE_BQ) castling += 'q';
    fen += castling.empty() ? "-" : castling;
    if (board->epSquare == NO_SQUARE) {
        fen += " -";
    } else {
        const int r = (board->epSquare >> 4) + 1;
        fen += ' ';
        fen += static_cast<char>('a' + (board->epSquare & 7));
        fen += static_cast<char>('0' + (mirror ? 9 - r : r));
    }
    return fen + " 0 1";
}

}   // namespace

TEST(Eval, StartPositionScoresOnlyTheTempoForEitherSide) {
    EXPECT_EQ(evalOf(initialPosition), 10);
    EXPECT_EQ(evalOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), 10);
}

TEST(Eval, FlagComesBackZeroWhateverWasPassedIn) {
    auto board = newBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    for (u8 flag : {u8{0}, u8{1}, u8{0x80}, u8{0xFF}}) {
        eval(board.get(), &flag);
        EXPECT_EQ(flag, 0);
    }
    auto draw = newBoard("8/8/8/4k3/8/8/8/4K3 w - - 0 1");
    u8 flag = 7;
    eval(draw.get(), &flag);
    EXPECT_EQ(flag, 0);
}

TEST(Eval, TrivialDrawsScoreExactlyZeroWithoutTempo) {
    for (const char* placement :
         {"8/8/8/4k3/8/8/8/4K3", "8/8/8/4k3/8/8/8/1N2K3", "8/8/8/4k3/8/8/8/2B1K3",
          "1n6/8/8/4k3/8/8/8/4K3", "5b2/8/8/4k3/8/8/8/4K3"}) {
        for (const char* side : {" w - - 0 1", " b - - 0 1"}) {
            const std::string fen = std::string(placement) + side;
            EXPECT_EQ(evalOf(fen), 0) << fen;
            EXPECT_EQ(termsOf(fen).trivialDraw, 1) << fen;
        }
    }
    // A pawn, a rook or a second minor piece is not a trivial draw.
    EXPECT_NE(evalOf("8/8/8/4k3/8/8/4P3/4K3 w - - 0 1"), 0);
    EXPECT_NE(evalOf("8/8/8/4k3/8/8/8/R3K3 b - - 0 1"), 0);
    EXPECT_EQ(termsOf("8/8/8/4k3/8/8/8/1N2K1N1 w - - 0 1").trivialDraw, 0);
}

// Each expectation below is summed by hand from the tables; the comment on
// each number names the entry it comes from.

TEST(Eval, KnightsAgainstBareKingAreScoredNormally) {
    // Nb1, Ng1 and Kd4 against Kh8. Knights: b1 reaches a3 c3 d2, g1 reaches
    // e2 f3 h3. Endgame (no queens, White has no pawns).
    const std::string fen = "7k/8/8/8/3K4/8/8/1N4N1 w - - 0 1";
    const EvalTerms t = termsOf(fen);
    EXPECT_EQ(t.endgame, 1);
    EXPECT_EQ(t.material, 660 + 80);      // two knights + imbalance[2]
    EXPECT_EQ(t.knightMobility, 0 + 0);   // bonusKnightMob[3] twice
    EXPECT_EQ(t.pawnStructure, 0);        // - pawnBonusEndgame[0]
    // 9 * (centre d4 4 - h8 0) - 25 * (border d4 0 - h8 3), then the side
    // with pieces gains - malusKingKing[dist 4] = 35.
    EXPECT_EQ(t.kingTerm, 9 * 4 + 25 * 3 + 35);
    EXPECT_EQ(evalOf(fen), 740 + 146 + 10);
    EXPECT_EQ(evalOf("7k/8/8/8/3K4/8/8/1N4N1 b - - 0 1"), 10 - (740 + 146));
}

TEST(Eval, CastledKingShelterPressureAndQueenMobility) {
    // White Kg1 Qa1 Pf2 g2 h2, Black Ke8 Qa8: middlegame (both queens).
    const std::string fen = "q3k3/8/8/8/8/8/5PPP/Q5K1 w - - 0 1";
    const EvalTerms t = termsOf(fen);
    EXPECT_EQ(t.endgame, 0);
    EXPECT_EQ(t.material, 300);
    // f2 and g2 passed (+5 each), g2 connected to f2 at rank distance 0
    // (+24); h2 on the edge is never passed; no isolated or backward pawn.
    EXPECT_EQ(t.pawnStructure, 5 + 5 + 24);
    // Qa1 sees b1-f1, a2-a7, b2-h8: 18 -> 34. Qa8 sees b8-d8, a7-a2, b7-f3:
    // 14 -> 18.
    EXPECT_EQ(t.queenMobility, 34 - 18);
    // Castled king side +40; Black not castled +33. Black attacks g2 (ring
    // 1: bonusKingPres1[1] = 6) and f3 (ring 2: bonusKingPres2[1] = 1).
    // White attacks nothing next to e8 (3) and f6, g7 at distance 2 (3).
    // Shelter: g2 3 + f2 2 + h2 2 + rank 1 1 = 8 -> 15.
    EXPECT_EQ(t.kingTerm, 40 + 33 - 6 - 1 + 3 + 3 + 15);
    EXPECT_EQ(evalOf(fen), 300 + 34 + 16 + 87 + 10);
}

TEST(Eval, KingWithItsCornerRookAtHomeIsNotCastledAndGetsNoShelter) {
    // The same with a white rook still on h1: g1 is in the zone, but the
    // rook is home, so -33 and no shelter; the rook (no moves, own pawn on
    // its file) scores bonusRookMob[0] = -20.
    const EvalTerms t = termsOf("q3k3/8/8/8/8/8/5PPP/Q5KR w - - 0 1");
    EXPECT_EQ(t.kingTerm, -33 + 33 - 6 - 1 + 3 + 3);
    EXPECT_EQ(t.rookTerms, -20);
    EXPECT_EQ(t.material, 300 + 540 + 60);
}

TEST(Eval, RookOnTheSeventhCountsInsideTheKingTerm) {
    // Rb7 added: 14 squares (24) on an open file (13). It cuts the black
    // queen's diagonal (now 9 squares: 8), so no black attack reaches the
    // white king's rings (3 and 0). White now attacks d7 e7 f7 next to the
    // black king (3 -> 14) and c7, f6 and g7 twice at distance 2 (4 -> 8).
    const std::string fen = "q3k3/1R6/8/8/8/8/5PPP/Q5K1 w - - 0 1";
    const EvalTerms t = termsOf(fen);
    EXPECT_EQ(t.rookTerms, 24 + 13);
    EXPECT_EQ(t.queenMobility, 34 - 8);
    EXPECT_EQ(t.material, 300 + 540 + 60);
    EXPECT_EQ(t.kingTerm, 47 + 40 + 33 - 3 - 0 + 14 + 8 + 15);
    EXPECT_EQ(evalOf(fen), 900 + 34 + 37 + 26 + 154 + 10);
}

TEST(Eval, QueenlessSideGetsAThirdOfAPositiveKingTerm) {
    // White Kg1 Ra1 Rb1 Pf2 g2 h2 without a queen, Black Ke8 Qa8 Pa7 b7.
    // Middlegame: Black's queen against two white rooks. Nobody attacks the
    // other king's rings: K = 40 + 33 - 3 + 3 + 15 = 88, divided by 3 toward
    // zero.
    EXPECT_EQ(termsOf("q3k3/pp6/8/8/8/8/5PPP/RR4K1 w - - 0 1").kingTerm, 29);
    // The mirror: K = -88 for a Black without a queen gives -29.
    EXPECT_EQ(termsOf("rr4k1/5ppp/8/8/8/8/PP6/Q3K3 b - - 0 1").kingTerm, -29);
    // With the queen K stays whole: 87 in the castled test above, and -87
    // in its mirror, where Black has the queen.
    EXPECT_EQ(termsOf("q3k3/8/8/8/8/8/5PPP/Q5K1 w - - 0 1").kingTerm, 87);
    EXPECT_EQ(termsOf("q5k1/5ppp/8/8/8/8/8/Q3K3 b - - 0 1").kingTerm, -87);
}

TEST(Eval, RooksFilesBackwardPawnAndConnectedPassers) {
    // White Ke1 Ra1 Rh1 Pc4 Pd2 Pe4, Black Ke8 Ph6. Endgame.
    const std::string fen = "4k3/8/7p/8/2P1P3/8/3P4/R3K2R w KQ - 0 1";
    const EvalTerms t = termsOf(fen);
    EXPECT_EQ(t.endgame, 1);
    EXPECT_EQ(t.material, 1280 + 80);
    // Ra1: b1-d1 and a2-a8, 10 -> 9, open a-file 13. Rh1: f1 g1 and h2-h5,
    // 6 -> 2, half-open h-file 9.
    EXPECT_EQ(t.rookTerms, 9 + 13 + 2 + 9);
    EXPECT_EQ(t.pawnStructure,
              66           // pawnBonusEndgame[3 - 1]
                  + 10     // c4 passed, bonusPassedPawn[4]
                  + 5      // d2 passed, bonusPassedPawn[2]
                  + 6      // d2 connected to c4, bonusConnPassers[|2 - 4|]
                  - 24     // d2 backward: 3 + 3 + 4 (no black pawn on d) = 10
                  + 10     // e4 passed
                  + 6      // e4 connected to d2
                  + 11);   // h6 isolated, - malusIsolatedPawn[8]
    // 0 + 6 + 6 for White, - bonusAdvPawn[9 - 6] for h6; doubled in the endgame.
    EXPECT_EQ(t.pawnAdvancement, 2 * (12 - 3));
    EXPECT_EQ(t.kingTerm, 3);   // e1/e8 cancel; - malusKingKing[7]
    EXPECT_EQ(evalOf(fen), 1360 + 90 + 33 + 18 + 3 + 10);
}

TEST(Eval, BlackPawnOnA2AndBishopMobility) {
    // The a2 pawn's left capture square lies off the board below a1. Its
    // path a1 is empty and not attacked by White (the b3 bishop stops at
    // a2): a free pawn for Black.
    const std::string fen = "4k3/8/8/8/8/1B6/p7/4K3 b - - 0 1";
    const EvalTerms t = termsOf(fen);
    EXPECT_EQ(t.endgame, 1);
    EXPECT_EQ(t.material, 230 + 60);
    EXPECT_EQ(t.bishopMobility, 72);             // a4, c4-g8, c2 d1: 8 squares
    EXPECT_EQ(t.pawnStructure, -42 + 11 - 52);   // free, isolated, pawnBonusEndgame[1]
    EXPECT_EQ(t.pawnAdvancement, -2 * 79);
    EXPECT_EQ(evalOf(fen), 10 - (290 - 83 + 72 - 158 + 3));
}

TEST(Eval, PassedPawnNeedsBothNeighbourFiles) {
    // Lone pawn, no black pawns, endgame. Common parts: the pawn's mobility
    // 1 (0), isolated, free path not attacked (42), backwardness 2 (0) and
    // pawnBonusEndgame[1] = 52.
    EXPECT_EQ(termsOf("4k3/8/6P1/8/8/8/8/4K3 w - - 0 1").pawnStructure, 24 + 42 - 19 + 52);
    EXPECT_EQ(termsOf("4k3/8/7P/8/8/8/8/4K3 w - - 0 1").pawnStructure, 42 - 11 + 52);
    EXPECT_EQ(termsOf("4k3/8/P7/8/8/8/8/4K3 w - - 0 1").pawnStructure, 42 - 11 + 52);
    // A black pawn on f5, below g6, does not stop it, and is itself passed
    // (- bonusPassedPawn[4]) and isolated on the f-file (+21); pawn counts
    // are equal.
    EXPECT_EQ(termsOf("4k3/8/6P1/5p2/8/8/8/4K3 w - - 0 1").pawnStructure, 24 + 42 - 19 - 10 + 21);
    // One on h7 stops it. g6 can take h7 and step to g7 (bonusPawnMob[2] = 1),
    // h7 can take g6 and step to h6 (- 1); h7 is isolated (+11) and on the
    // edge; g7 and g8 are still free of black control (42).
    EXPECT_EQ(termsOf("4k3/7p/6P1/8/8/8/8/4K3 w - - 0 1").pawnStructure, 42 + 1 - 19 + 11 - 1);
}

TEST(Eval, FreePawnWalkCountsEnemyControlAndStopsWhenBlocked) {
    // e6 passed (24), isolated on e (-23), pawnBonusEndgame[1] 52, with the
    // black king far away on a4.
    EXPECT_EQ(termsOf("8/8/4P3/8/k7/8/8/4K3 w - - 0 1").pawnStructure, 24 + 42 - 23 + 52);
    // e7 occupied: blocked path, bonusFreePawn[8] = 0; the pawn cannot move
    // (bonusPawnMob[0] = -8).
    EXPECT_EQ(termsOf("8/4n3/4P3/8/k7/8/8/4K3 w - - 0 1").pawnStructure, 24 + 0 - 23 - 8 + 52);
    EXPECT_EQ(termsOf("8/4N3/4P3/8/k7/8/8/4K3 w - - 0 1").pawnStructure, 24 + 0 - 23 - 8 + 52);
    // A black rook on h7 controls e7 (one square more for Black): 11. The
    // rook also controls f7, a capture square of e6, which stays empty.
    EXPECT_EQ(termsOf("8/7r/4P3/8/k7/8/8/4K3 w - - 0 1").pawnStructure, 24 + 11 - 23 + 52);
    // With a white rook on e1 behind it nothing changes: its ray stops at e6.
    EXPECT_EQ(termsOf("8/7r/4P3/8/k7/8/8/4R1K1 w - - 0 1").pawnStructure, 24 + 11 - 23 + 52);
}

TEST(Eval, ConnectedPassersMeasureBetweenFrontPawns) {
    // c3 c5 d5 against a bare king on e8, endgame.
    EXPECT_EQ(termsOf("4k3/8/8/2PP4/8/2P5/8/4K3 w - - 0 1").pawnStructure,
              15           // c5 passed, bonusPassedPawn[5]
                  + 42     // c6 c7 c8 free of black control
                  - 25     // c doubled
                  - 21     // c3 backward: 1 (no b pawn) + 3 (d rear two ahead) + 4 = 8
                  + 15     // d5 passed
                  + 24     // connected at |5 - 5|, front to front (rears would give 2)
                  + 4      // d7 and d8 held by the black king only: bonusFreePawn[2]
                  + 78);   // pawnBonusEndgame[3]
}

TEST(Eval, DoubledAndIsolatedPawnsCountOncePerFile) {
    // c2 c3: passed front pawn on rank 3 (7), doubled -25 and isolated -21
    // once each, backwardness 2 costs nothing, c2 cannot move (-8),
    // pawnBonusEndgame[2] 66.
    EXPECT_EQ(termsOf("4k3/8/8/8/8/2P5/2P5/4K3 w - - 0 1").pawnStructure, 7 - 25 - 21 - 8 + 66);
    // c2 c3 c4: malusDoublePawn[3] once, two blocked pawns.
    EXPECT_EQ(termsOf("4k3/8/8/8/2P5/2P5/2P5/4K3 w - - 0 1").pawnStructure,
              10 - 64 - 21 - 8 - 8 + 78);
}

TEST(Eval, EndgameFlagFollowsThePiecesLeft) {
    struct Case {
        const char* fen;
        int endgame;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/8/8/RNBQK3 w - - 0 1", 0},   // four pieces, queen and rook
        {"4k3/8/8/8/8/8/8/NNBBK3 w - - 0 1", 1},   // four minor pieces
        {"rnbqk3/8/8/8/8/8/8/4K3 w - - 0 1", 0},   // Black has four
        {"3rk3/8/8/8/8/8/8/3QK3 w - - 0 1", 1},    // queen against one rook
        {"r2rk3/8/8/8/8/8/8/3QK3 w - - 0 1", 0},   // queen against two rooks
        {"3qk3/8/8/8/8/8/8/3QK3 w - - 0 1", 0},    // both queens
        {"3qk3/8/8/8/8/8/8/R3K3 w - - 0 1", 1},    // Black queen, one white rook
        {"3qk3/8/8/8/8/8/8/R3K2R w - - 0 1", 0},   // Black queen, two white rooks
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1", 0},
        {"r3k2r/pppppppp/8/8/8/8/PPPPP3/R3K2R w - - 0 1", 1},    // White has 5 pawns
        {"r3k3/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1", 1},   // Black has one rook
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(termsOf(c.fen).endgame, c.endgame) << c.fen;
}

TEST(Eval, SetUpPositionsBeyondGameCountsStayInsideTheTables) {
    // Sixteen knights against a bare king: the imbalance of 16 reads the
    // last entry, 180.
    EXPECT_EQ(termsOf("k7/8/8/NNNNNNNN/NNNNNNNN/8/8/K7 w - - 0 1").material, 16 * 330 + 180);
    // Sixteen pawns: every file doubled (-25), b-g passed on rank 3 (7 each),
    // c-g connected (24 each), rank-2 pawns blocked (-8 each), and the pawn
    // difference of 16 reads pawnBonusEndgame[8] = 88.
    const EvalTerms t = termsOf("k7/8/8/8/8/PPPPPPPP/PPPPPPPP/K7 w - - 0 1");
    EXPECT_EQ(t.pawnStructure, 8 * -25 + 6 * 7 + 5 * 24 + 8 * -8 + 88);
    EXPECT_EQ(t.pawnAdvancement, 2 * 8 * 3);
}

TEST(Eval, KingPressureSumsAboveSixtyThreeReadTheLastEntry) {
    // White's attack counts summed over the two rings around a black king on
    // e5, built with the mobility operations: the precondition that a
    // position really drives a sum past the tables.
    auto ringSums = [](const Board* board, int* ring1, int* ring2) {
        u8 attacks[128] = {};
        for (int i = 1; i < board->nWhiteEntries; i++) {
            const PieceEntry& e = board->whitePieces[i];
            if (e.piece == WQUEEN) evalMobQueenW(board, e.square, attacks);
            if (e.piece == WKNIGHT) evalMobKnightW(board, e.square, attacks);
        }
        *ring1 = *ring2 = 0;
        for (int sq = 0; sq < 128; sq++) {
            if (!onBoard(sq) || sq == 68) continue;
            const int d = std::max(std::abs((sq >> 4) - 4), std::abs((sq & 7) - 4));
            if (d == 1) *ring1 += attacks[sq];
            if (d == 2) *ring2 += attacks[sq];
        }
    };
    // 23 queens on the squares at distance 3 from e5 (all but h8): the outer
    // ring sum passes 63. Queens and knights packed closer: the inner one.
    const char* outer = "1QQQQQQ1/1Q5Q/1Q5Q/1Q2k2Q/1Q5Q/1Q5Q/1QQQQQQQ/K7 b - - 0 1";
    const char* inner = "1QQQN3/1Q2QQN1/1Q4Q1/1N2k1QN/1Q4Q1/1QNQQQN1/3NN3/K7 b - - 0 1";
    int ring1 = 0, ring2 = 0;
    ringSums(newBoard(outer).get(), &ring1, &ring2);
    EXPECT_GT(ring2, 63);
    EXPECT_GE(ring1, 30);   // bonusKingPres1 is 380 from 30 on
    ringSums(newBoard(inner).get(), &ring1, &ring2);
    EXPECT_GT(ring1, 63);
    EXPECT_GE(ring2, 31);   // bonusKingPres2 is 280 from 31 on
    // White king castled on a1 (+25) with shelter count 1 for the back rank
    // (-130), Black not castled (+33), no black attack near a1 (-3), then
    // 380 and 280; White has queens, so no division.
    for (const char* fen : {outer, inner})
        EXPECT_EQ(termsOf(fen).kingTerm, 25 - 130 + 33 - 3 + 380 + 280) << fen;
    // The piece-count differences of 23 read entry 15 of the imbalance table.
    EXPECT_EQ(termsOf(outer).material, 23 * 1050 + 180);
    EXPECT_EQ(termsOf(inner).material, 15 * 1050 + 8 * 330 + 180);
}

TEST(Eval, MobilityCountsEmptySquaresAndAttacksEnemiesButNeverOwnPieces) {
    // Ra1 with an own pawn on a3 and a black knight on c1.
    auto board = newBoard("4k3/8/8/8/8/P7/8/R1n1K3 w - - 0 1");
    u8 attacks[128] = {};
    EXPECT_EQ(evalMobRookW(board.get(), 0, attacks), 2);   // b1, a2
    EXPECT_EQ(attacks[1], 1);                              // b1
    EXPECT_EQ(attacks[2], 1);                              // c1, the enemy knight
    EXPECT_EQ(attacks[16], 1);                             // a2
    EXPECT_EQ(attacks[32], 0);                             // a3, own pawn
    EXPECT_EQ(attacks[3], 0);                              // d1, behind the knight
    // The knight on c1: a2 b3 d3 e2 are empty, e1 (the king) is an enemy.
    u8 black[128] = {};
    EXPECT_EQ(evalMobKnightB(board.get(), 2, black), 4);   // a2 b3 d3 e2
    EXPECT_EQ(black[16] + black[33] + black[35] + black[20], 4);
    // A black pawn on a2 with a white knight on b1: a capture plus a free
    // a1; only b1 enters the map.
    auto pawn = newBoard("4k3/8/8/8/8/8/p7/1N2K3 b - - 0 1");
    u8 pawnAttacks[128] = {};
    EXPECT_EQ(evalMobPawnB(pawn.get(), 16, pawnAttacks), 2);
    EXPECT_EQ(pawnAttacks[1], 1);
    EXPECT_EQ(pawnAttacks[0], 0);
}

TEST(Eval, CastledTestReadsKingSquareAndCornerRookOnly) {
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/8/6K1 w - - 0 1").get()), 2);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/7K/8 w - - 0 1").get()), 2);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/8/6KR w - - 0 1").get()), 0);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/8/2K5 w - - 0 1").get()), 1);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/8/R1K5 w - - 0 1").get()), 0);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/2K5/8 w - - 0 1").get()), 0);
    EXPECT_EQ(kingHasCastledWhite(newBoard("4k3/8/8/8/8/8/8/4K3 w - - 0 1").get()), 0);
    EXPECT_EQ(kingHasCastledBlack(newBoard("6k1/8/8/8/8/8/8/4K3 w - - 0 1").get()), 2);
    EXPECT_EQ(kingHasCastledBlack(newBoard("6kr/8/8/8/8/8/8/4K3 w - - 0 1").get()), 0);
    EXPECT_EQ(kingHasCastledBlack(newBoard("8/1k6/8/8/8/8/8/4K3 w - - 0 1").get()), 1);
    EXPECT_EQ(kingHasCastledBlack(newBoard("r7/1k6/8/8/8/8/8/4K3 w - - 0 1").get()), 0);
    // A white rook in Black's corner does not stop Black from counting as castled.
    EXPECT_EQ(kingHasCastledBlack(newBoard("6kR/8/8/8/8/8/8/4K3 b - - 0 1").get()), 2);
}

TEST(Eval, TrappedBishopNeedsTheBishopAndTheBlockingPawn) {
    auto board = newBoard("4k3/B6B/1p4p1/8/8/1P4P1/b6b/4K3 w - - 0 1");
    EXPECT_EQ(bishopIsTrappedWhite(board.get(), 103), 1);   // h7, g6
    EXPECT_EQ(bishopIsTrappedWhite(board.get(), 96), 1);    // a7, b6
    EXPECT_EQ(bishopIsTrappedBlack(board.get(), 23), 1);    // h2, g3
    EXPECT_EQ(bishopIsTrappedBlack(board.get(), 16), 1);    // a2, b3
    EXPECT_EQ(bishopIsTrappedWhite(board.get(), 23), 0);    // a black bishop's square
    auto free = newBoard("4k3/B6B/8/8/8/8/b6b/4K3 w - - 0 1");
    EXPECT_EQ(bishopIsTrappedWhite(free.get(), 103), 0);
    EXPECT_EQ(bishopIsTrappedBlack(free.get(), 16), 0);
}

namespace {

struct MirrorCheck {
    int positions = 0;
    int mismatches = 0;
    std::string firstMismatch;
};

void checkMirror(Board* board, Board* mirror, MirrorCheck* check) {
    const std::string fen = fenOf(board, true);
    ASSERT_EQ(setupFen(mirror, fen.c_str()), 1) << fen;
    u8 flag = 1;
    EvalTerms a, b;
    const i32 white = evalTerms(board, &a);
    const i32 reversed = evalTerms(mirror, &b);
    const bool same = eval(board, &flag) == eval(mirror, &flag) && white == -reversed &&
                      a.material == -b.material && a.pawnStructure == -b.pawnStructure &&
                      a.knightMobility == -b.knightMobility &&
                      a.bishopMobility == -b.bishopMobility && a.rookTerms == -b.rookTerms &&
                      a.queenMobility == -b.queenMobility &&
                      a.pawnAdvancement == -b.pawnAdvancement && a.kingTerm == -b.kingTerm &&
                      a.endgame == b.endgame && a.trivialDraw == b.trivialDraw;
    check->positions++;
    if (!same && check->mismatches++ == 0) check->firstMismatch = fenOf(board, false);
}

// Visits every position of six random games from each perft start and from
// endgames where passers, free pawns, lone pieces and promotions decide.
template <typename Visit>
void forEachPlayedPosition(Visit visit) {
    std::vector<std::string> starts;
    std::ifstream epd(std::string(QL_DATA_DIR) + "/perft.epd");
    for (std::string line; std::getline(epd, line);)
        if (!line.empty()) starts.push_back(line.substr(0, line.find(';')));
    ASSERT_GE(starts.size(), 10u);
    for (const char* fen :
         {"8/PPPk4/8/8/8/8/4Kppp/8 w - - 0 1", "8/8/3k4/3p4/3P4/3K4/8/8 w - - 0 1",
          "8/8/2bk4/8/8/3NK3/8/8 w - - 0 1", "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
          "8/5pk1/6p1/8/3R4/6P1/5PK1/r7 w - - 0 1", "6k1/5ppp/8/8/8/8/5PPP/6K1 w - - 0 1",
          "3qk3/8/8/8/8/8/8/R3K2R w K - 0 1", "2r3k1/pp3ppp/8/8/8/8/PP3PPP/2R3K1 b - - 0 1",
          "4k3/2p5/8/1P6/8/8/8/4K3 b - - 0 1", "k7/8/8/8/8/8/8/KNB5 w - - 0 1"})
        starts.push_back(fen);

    std::mt19937 rng(20261207u);
    for (const std::string& start : starts) {
        for (int game = 0; game < 6; game++) {
            auto board = newBoard(start);
            visit(board.get());
            for (int ply = 0; ply < 80; ply++) {
                MoveList* list = testList(0);
                list->count = static_cast<u8>(generateMoves(board.get(), list, 1));
                if (list->count == 0) break;
                makeMove(board.get(), &list->moves[rng() % list->count]);
                visit(board.get());
            }
        }
    }
}

bool sameTerms(const EvalTerms& a, const EvalTerms& b) {
    return a.material == b.material && a.pawnStructure == b.pawnStructure &&
           a.knightMobility == b.knightMobility && a.bishopMobility == b.bishopMobility &&
           a.rookTerms == b.rookTerms && a.queenMobility == b.queenMobility &&
           a.pawnAdvancement == b.pawnAdvancement && a.kingTerm == b.kingTerm &&
           a.endgame == b.endgame && a.trivialDraw == b.trivialDraw;
}

}   // namespace

TEST(Eval, ColourMirrorGivesTheSameScoreAlongRandomGames) {
    auto mirror = std::make_unique<Board>();
    MirrorCheck check;
    forEachPlayedPosition([&](Board* board) { checkMirror(board, mirror.get(), &check); });
    EXPECT_GE(check.positions, 5000);
    EXPECT_EQ(check.mismatches, 0) << "first: " << check.firstMismatch;
}

// The evaluation built for any processor, the one that uses the popcount
// instruction, and the one that finds the pawn shapes cached or must work
// them out again all give the same terms.
TEST(Eval, EveryBuildOfTheEvaluationAndThePawnCacheAgree) {
    int positions = 0, mismatches = 0;
    std::string first;
    auto cache = std::make_unique<PawnCache>();
    forEachPlayedPosition([&](Board* board) {
        EvalTerms popcount, portable;
        const i32 a = evalTerms(board, &popcount);
        const i32 b = evalTermsPortable(board, &portable);
        u8 flag = 1;
        const i32 plain = eval(board, &flag);
        const i32 warm = eval(board, &flag, cache.get());
        clearPawnCache(cache.get());
        const i32 cold = eval(board, &flag, cache.get());
        const i32 again = eval(board, &flag, cache.get());
        positions++;
        if ((a != b || !sameTerms(popcount, portable) || warm != plain || cold != plain ||
             again != plain || flag != 0) &&
            mismatches++ == 0)
            first = fenOf(board, false);
    });
    EXPECT_GE(positions, 5000);
    EXPECT_EQ(mismatches, 0) << "first: " << first;
}
