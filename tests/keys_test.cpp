// Zobrist keys: full computation, incremental update, round trips of every
// board field along random games.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "attack.h"
#include "legality.h"
#include "debug.h"
#include "test_util.h"

namespace {

// Copy of everything a make/unmake pair must give back (the capture memory,
// check flag and scratch storage are documented as not restored).
struct PositionFields {
    u32 ply, gamePly, castlingStatus;
    u8 sideToMove, epSquare, wKing, bKing, nWhite, nBlack, nWE, nBE;
    u8 squares[128];
    PieceEntry white[MAX_PIECE_ENTRIES], black[MAX_PIECE_ENTRIES];
    i32 material;
    u64 key, key2;

    explicit PositionFields(const Board* b)
        : ply(b->ply),
          gamePly(b->gamePly),
          castlingStatus(b->castlingStatus),
          sideToMove(b->sideToMove),
          epSquare(b->epSquare),
          wKing(b->wKingSquare),
          bKing(b->bKingSquare),
          nWhite(b->nWhite),
          nBlack(b->nBlack),
          nWE(b->nWhiteEntries),
          nBE(b->nBlackEntries),
          material(b->materialBalance),
          key(b->hashKey),
          key2(b->hashKey2) {
        memcpy(squares, b->squares, sizeof squares);
        memcpy(white, b->whitePieces, sizeof white);
        memcpy(black, b->blackPieces, sizeof black);
    }
    bool operator==(const PositionFields& o) const {
        // Dead entries keep stale squares that unmake never touches; compare all bytes.
        return ply == o.ply && gamePly == o.gamePly && castlingStatus == o.castlingStatus &&
               sideToMove == o.sideToMove && epSquare == o.epSquare && wKing == o.wKing &&
               bKing == o.bKing && nWhite == o.nWhite && nBlack == o.nBlack && nWE == o.nWE &&
               nBE == o.nBE && material == o.material && key == o.key && key2 == o.key2 &&
               memcmp(squares, o.squares, sizeof squares) == 0 &&
               memcmp(white, o.white, sizeof white) == 0 &&
               memcmp(black, o.black, sizeof black) == 0;
    }
};

// Plays up to maxPlies random legal moves (and the odd null move) with the
// key protocol of the search, checking keys and invariants at every step,
// then unmakes everything and checks each field came back. Returns the flags
// of all moves played, OR-ed, so callers can see what was covered.
u8 randomWalk(Board* b, std::mt19937& rng, int maxPlies, int* castles, int* nulls) {
    Move line[64];
    bool isNull[64];
    std::vector<PositionFields> before;
    u8 seen = 0;
    int played = 0;
    for (; played < maxPlies && played < 64; played++) {
        MoveList list;
        const u32 n = generateMoves(b, &list, 1);
        if (n == 0) break;
        before.push_back(PositionFields(b));
        isNull[played] = !b->inCheck && rng() % 16 == 0;
        if (isNull[played]) {
            makeNullmove(b, &line[played]);
            (*nulls)++;
        } else {
            // Prefer special moves when there are any, so they are covered often.
            u32 pick = rng() % n;
            for (u32 i = 0; i < n; i++)
                if ((list.moves[i].flags & (MF_CASTLE | MF_PROMOTION | MF_ENPASSANT)) && rng() % 2)
                    pick = i;
            line[played] = list.moves[pick];
            b->inCheck = static_cast<u8>(moveChecks(b, &line[played]));
            makeMove(b, &line[played]);
            updateHashKey(b, &line[played]);
            seen |= line[played].flags;
            if (line[played].flags & MF_CASTLE)
                castles[line[played].to == 6     ? 0
                        : line[played].to == 2   ? 1
                        : line[played].to == 118 ? 2
                                                 : 3]++;
        }
        EXPECT_TRUE(keysAreConsistent(b));
        EXPECT_TRUE(boardIsConsistent(b));
        EXPECT_EQ(b->hashHistory[b->gamePly], b->hashKey);
        if (!isNull[played]) {
            // The check flag computed before the move agrees with a scan after it.
            const u8 king = b->sideToMove == WHITE ? b->wKingSquare : b->bKingSquare;
            EXPECT_EQ(b->inCheck, isAttackedSimple(b, king, b->sideToMove ^ 1));
        }
    }
    while (played-- > 0) {
        if (isNull[played]) {
            unmakeNullmove(b, &line[played]);
        } else {
            updateHashKey(b, &line[played]);
            unmakeMove(b, &line[played]);
        }
        EXPECT_TRUE(before[played] == PositionFields(b));
    }
    return seen;
}

}   // namespace

TEST(Keys, FullComputationProperties) {
    auto w = newBoard("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    auto bl = newBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(w->hashKey ^ bl->hashKey, CHASH);
    EXPECT_EQ(w->hashKey2 ^ bl->hashKey2, CHASH);
    EXPECT_EQ(CHASH, randomTable[127][0]);
    // No castling rights still carries the entry of status 0.
    u64 expected = randomTable[4][WKING] ^ randomTable[116][BKING] ^ randomTable[126][0];
    EXPECT_EQ(w->hashKey, expected);
    // Keys are the unseeded rand() sequence: the first entries are fixed.
    srand(1);
    const u64 first = rand64();
    EXPECT_EQ(randomTable[0][0], first);
}

TEST(Keys, LosingARightWithoutKingMoveChangesKeysThroughCastlingEntry) {
    auto b = newBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Move m = findMove(b.get(), "h1h2");
    makeMove(b.get(), &m);
    updateHashKey(b.get(), &m);
    EXPECT_TRUE(keysAreConsistent(b.get()));
    EXPECT_EQ(b->castlingStatus, 14u);
    updateHashKey(b.get(), &m);
    unmakeMove(b.get(), &m);
    EXPECT_TRUE(keysAreConsistent(b.get()));
}

TEST(Keys, KingMoveToG1WithoutCastlingFlagMovesNoRook) {
    auto b = newBoard("4k3/8/8/8/8/8/8/5K1R w - - 0 1");
    Move m = findMove(b.get(), "f1g1");
    EXPECT_FALSE(m.flags & MF_CASTLE);
    makeMove(b.get(), &m);
    updateHashKey(b.get(), &m);
    EXPECT_EQ(b->squares[7], WROOK);
    EXPECT_TRUE(keysAreConsistent(b.get()));
}

TEST(Keys, RandomGamesKeepKeysAndFieldsInStep) {
    const char* starts[] = {
        initialPosition,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    };
    std::mt19937 rng(20261207);
    u8 seen = 0;
    int castles[4] = {0, 0, 0, 0}, nulls = 0;
    for (int game = 0; game < 300; game++) {
        auto b = newBoard(starts[game % 7]);
        seen |= randomWalk(b.get(), rng, 40, castles, &nulls);
    }
    EXPECT_TRUE(seen & MF_CAPTURE);
    EXPECT_TRUE(seen & MF_ENPASSANT);
    EXPECT_TRUE(seen & MF_PROMOTION);
    for (int corner = 0; corner < 4; corner++) EXPECT_GT(castles[corner], 0) << corner;
    EXPECT_GT(nulls, 0);
}
