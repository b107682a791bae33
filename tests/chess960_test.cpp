// Chess960: castling fields read and written, the castlings engines get
// wrong made and taken back, keys, move text in both notations, leaf counts
// against stockfish's (tests/data/chess960_perft.py), the UCI option and
// the tools.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "attack.h"
#include "chess960.h"
#include "debug.h"
#include "display.h"
#include "engine_process.h"
#include "legality.h"
#include "polyglot.h"
#include "test_util.h"
#include "uci.h"

namespace {

// Everything of the position that a make/unmake pair must give back: the
// squares, piece lists and counts, the bits, the rights with the castling
// tables, both keys, and the piece index of every occupied square (the
// index of an empty square is scratch).
struct Snapshot {
    std::vector<u8> bytes;
    explicit Snapshot(const Board* b) {
        auto add = [this](const void* p, size_t n) {
            const u8* c = static_cast<const u8*>(p);
            bytes.insert(bytes.end(), c, c + n);
        };
        add(b->squares, sizeof b->squares);
        add(b->whitePieces, sizeof b->whitePieces);
        add(b->blackPieces, sizeof b->blackPieces);
        for (int sq = 0; sq < 128; sq++)
            if (onBoard(sq) && b->squares[sq] != EMPTY) add(&b->pieceIndex[sq], 1);
        add(&b->nWhiteEntries, 1);
        add(&b->nBlackEntries, 1);
        add(&b->wKingSquare, 1);
        add(&b->bKingSquare, 1);
        add(&b->nWhite, 1);
        add(&b->nBlack, 1);
        add(&b->epSquare, 1);
        add(&b->sideToMove, 1);
        add(&b->castlingStatus, sizeof b->castlingStatus);
        add(b->castlingRooks, sizeof b->castlingRooks);
        add(&b->castlingByFile, 1);
        add(b->castlingEmpty, sizeof b->castlingEmpty);
        add(b->castlingSafe, sizeof b->castlingSafe);
        add(b->castlingKeep, sizeof b->castlingKeep);
        add(&b->ply, sizeof b->ply);
        add(&b->gamePly, sizeof b->gamePly);
        add(&b->materialBalance, sizeof b->materialBalance);
        add(&b->occupied, sizeof b->occupied);
        add(b->pieceBits, sizeof b->pieceBits);
        add(b->colourBits, sizeof b->colourBits);
        add(&b->hashKey, sizeof b->hashKey);
        add(&b->hashKey2, sizeof b->hashKey2);
    }
    bool operator==(const Snapshot& o) const { return bytes == o.bytes; }
};

// The legal move of the text, castling written as the king taking its rook.
Move castlingText(Board* board, const char* text) {
    Move m = noMove;
    EXPECT_EQ(inputMoveLegal(board, text, &m, true), 1) << text;
    return m;
}

bool isLegalText(const char* fen, const char* text, bool kingTakesRook = true) {
    auto board = newBoard(fen);
    Move m;
    return inputMoveLegal(board.get(), text, &m, kingTakesRook) == 1;
}

// Makes the castling written as the king taking its rook with the search's
// key protocol, checks where king and rook land, the keys against a
// recount and the prediction of the child's key, then takes it back and
// checks that everything came back.
void checkCastling(const char* fen, const char* text, const char* kingTo, const char* rookTo) {
    SCOPED_TRACE(std::string(fen) + " " + text);
    auto b = newBoard(fen);
    Move m = castlingText(b.get(), text);
    ASSERT_TRUE(m.flags & MF_CASTLE);
    const Snapshot before(b.get());
    const int kingFrom = m.from, rookFrom = m.capturedIndex;
    const bool white = b->sideToMove == WHITE;
    const u64 predicted = key2After(b.get(), &m);
    makeMove(b.get(), &m);
    updateHashKey(b.get(), &m);
    EXPECT_EQ(b->squares[sq(kingTo)], white ? WKING : BKING);
    EXPECT_EQ(b->squares[sq(rookTo)], white ? WROOK : BROOK);
    for (const int left : {kingFrom, rookFrom}) {
        if (left != sq(kingTo) && left != sq(rookTo)) {
            EXPECT_EQ(b->squares[left], EMPTY);
        }
    }
    EXPECT_EQ(white ? b->wKingSquare : b->bKingSquare, sq(kingTo));
    EXPECT_EQ(b->castlingStatus & (white ? 3u : 12u), 0u);
    EXPECT_TRUE(boardIsConsistent(b.get()));
    EXPECT_TRUE(keysAreConsistent(b.get()));
    EXPECT_EQ(predicted, b->hashKey2);
    updateHashKey(b.get(), &m);
    unmakeMove(b.get(), &m);
    EXPECT_TRUE(Snapshot(b.get()) == before);
    // The lighter make and unmake move the same two pieces on the array.
    makeMoveSimple(b.get(), &m);
    EXPECT_EQ(b->squares[sq(kingTo)], white ? WKING : BKING);
    EXPECT_EQ(b->squares[sq(rookTo)], white ? WROOK : BROOK);
    unmakeMoveSimple(b.get(), &m);
    EXPECT_TRUE(Snapshot(b.get()) == before);
}

// The default run: every start position to depth 3 (2 in Debug builds),
// the other positions up to a few million leaves.
#ifdef NDEBUG
constexpr u64 quickLimit = 3000000;
constexpr int quickStartDepth = 3;
#else
constexpr u64 quickLimit = 60000;
constexpr int quickStartDepth = 2;
#endif

// Leaf counts of the data file that wanted picks (by depth and count)
// against the engine's; each position's keys, invariants and FEN are as
// before every walk. Returns how many were compared.
template <typename Wanted>
int checkPerftFile(const char* name, size_t expectedCases, Wanted wanted) {
    const std::vector<PerftCase> cases = loadPerftSuite(name);
    EXPECT_EQ(cases.size(), expectedCases);
    auto board = std::make_unique<Board>(), again = std::make_unique<Board>();
    int checked = 0;
    for (const PerftCase& c : cases) {
        if (!setupFen(board.get(), c.fen.c_str())) {
            ADD_FAILURE() << "FEN refused: " << c.fen;
            continue;
        }
        getHashkey(board.get());
        // Written back (rights in the order KQkq), it reads as the same position.
        const std::string fen = boardToFen(board.get());
        EXPECT_TRUE(setupFen(again.get(), fen.c_str())) << fen;
        getHashkey(again.get());
        EXPECT_EQ(again->hashKey, board->hashKey) << c.fen << " written as " << fen;
        for (auto [depth, expected] : c.depths) {
            if (!wanted(depth, expected)) continue;
            const u64 key = board->hashKey;
            EXPECT_EQ(perftLeaves(board.get(), depth), expected) << c.fen << " depth " << depth;
            EXPECT_EQ(board->hashKey, key);
            EXPECT_EQ(boardToFen(board.get()), fen);
            EXPECT_TRUE(boardIsConsistent(board.get()));
            checked++;
        }
    }
    return checked;
}

const char* const sideBySide = "1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w GBgb - 0 1";
const char* const kingOnG1 = "r5kr/pp1bppbp/2np1np1/q7/4P3/2N1BN2/PPPQBPPP/R5KR w HAha - 0 1";

}   // namespace

// ---------------------------------------------------------------------------
// FEN

TEST(Chess960Fen, CastlingFieldsNameTheirRooks) {
    // Shredder-FEN: the files.
    auto b = newBoard(sideBySide);
    EXPECT_EQ(b->castlingStatus, 15u);
    EXPECT_EQ(b->castlingRooks[0], sq("g1"));
    EXPECT_EQ(b->castlingRooks[1], sq("b1"));
    EXPECT_EQ(b->castlingRooks[2], sq("g8"));
    EXPECT_EQ(b->castlingRooks[3], sq("b8"));
    // X-FEN: the outermost rook on each side of the king.
    ASSERT_TRUE(
        setupFen(b.get(), "2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq -"));
    EXPECT_EQ(b->castlingStatus, 15u);
    EXPECT_EQ(b->castlingRooks[0], sq("f1"));
    EXPECT_EQ(b->castlingRooks[1], sq("c1"));
    EXPECT_EQ(b->castlingRooks[3], sq("c8"));
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4KRR1 w K - 0 1"));
    EXPECT_EQ(b->castlingRooks[0], sq("g1"));
    // A file letter names an inner rook, and the same rook twice is one right.
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4KRR1 w F - 0 1"));
    EXPECT_EQ(b->castlingRooks[0], sq("f1"));
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4KRR1 w GK - 0 1"));
    EXPECT_EQ(b->castlingStatus, static_cast<u32>(CASTLE_WK));
    // Rights no longer held leave no rook behind.
    ASSERT_TRUE(setupFen(b.get(), "4k3/8/8/8/8/8/8/4KRR1 w - - 0 1"));
    EXPECT_EQ(b->castlingRooks[0], NO_SQUARE);
    EXPECT_TRUE(boardIsConsistent(b.get()));
}

TEST(Chess960Fen, WrittenBackInTheFormRead) {
    const char* same[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -",
        "1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 b GBgb -",
        "2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq -",
        "r3k2r/8/8/8/8/8/8/R3KRR1 w FQkq -",   // X-FEN: f1 is not the outermost rook
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
        "4k3/8/8/8/8/8/8/4K3 b - -",
    };
    for (const char* fen : same) {
        auto b = newBoard(fen);
        EXPECT_EQ(boardToFen(b.get()), fen);
        // What is written reads back as the same position.
        auto again = newBoard(boardToFen(b.get()));
        EXPECT_EQ(again->hashKey, b->hashKey) << fen;
    }
    // X-FEN names the outermost rook by its side: G on the outermost g1 reads
    // back as K. Rights that end are no longer written.
    auto b = newBoard("4k3/8/8/8/8/8/8/R3K1R1 w GQ - 0 1");
    EXPECT_EQ(boardToFen(b.get()), "4k3/8/8/8/8/8/8/R3K1R1 w KQ -");
    playTyped(b.get(), "g1g2");
    EXPECT_EQ(boardToFen(b.get()), "4k3/8/8/8/8/8/6R1/R3K3 b Q -");
    auto shredder = newBoard(sideBySide);
    playTyped(shredder.get(), "b1a1");
    EXPECT_NE(boardToFen(shredder.get()).find("/R4KR1 b Ggb -"), std::string::npos);
}

TEST(Chess960Fen, FieldNamingNoRookOrAKingOutsideItsRooksIsRefused) {
    auto b = newBoard(sideBySide);
    const std::string fenBefore = boardToFen(b.get());
    const u64 keyBefore = b->hashKey;
    const struct {
        const char* fen;
        const char* reason;
    } bad[] = {
        {"1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w HBgb - 0 1", "no white rook on h1"},
        {"1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w GBgf - 0 1", "no black rook on f8"},
        {"1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w GBgc - 0 1", "no black rook on c8"},
        {"4k3/8/8/8/8/8/4K3/R6R w HA - 0 1", "white king is not on its first rank"},
        {"4k3/8/8/8/8/8/8/4K1RR w GH - 0 1", "king on e1 is not between its castling rooks"},
        {"4k3/8/8/8/8/8/8/4K1RR w KG - 0 1", "not between its castling rooks h1 and g1"},
        {"kr5r/8/8/8/8/8/8/4K3 b hb - 0 1", "black king on a8 is not between"},
    };
    for (const auto& c : bad) {
        std::string why;
        EXPECT_EQ(setupFen(b.get(), c.fen, &why), 0) << c.fen;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(boardToFen(b.get()), fenBefore);
        EXPECT_EQ(b->hashKey, keyBefore);
        EXPECT_TRUE(boardIsConsistent(b.get()));
    }
}

// ---------------------------------------------------------------------------
// Castling made and taken back

TEST(Chess960Castling, OverlappingSquaresMakeAndUnmakeExactly) {
    // King and rook side by side: the short castling swaps them, the long
    // one takes the king across d1 and e1.
    checkCastling(sideBySide, "f1g1", "g1", "f1");
    checkCastling(sideBySide, "f1b1", "c1", "d1");
    checkCastling("1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 b GBgb - 0 1", "f8g8", "g8",
                  "f8");
    // The king already on its destination: only the rook moves (from == to).
    checkCastling(kingOnG1, "g1h1", "g1", "f1");
    checkCastling(kingOnG1, "g1a1", "c1", "d1");
    checkCastling("r1k4r/ppp1qppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP1QPPP/1RK4R w HBha - 0 1", "c1b1",
                  "c1", "d1");
    // The rook on the king's destination.
    checkCastling("2r1k1r1/pp1nbppp/2p1pn2/q7/3P4/2N1BN2/PPPQ1PPP/RK4R1 w GAgc - 0 1", "b1g1", "g1",
                  "f1");
    checkCastling("2r1k1r1/pp1nbppp/2p1pn2/q7/3P4/2N1BN2/PPPQ1PPP/RK4R1 b GAgc - 0 1", "e8c8", "c8",
                  "d8");
    // The rook already on its destination: only the king moves.
    checkCastling("2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq - 0 1", "e1f1",
                  "g1", "f1");
    // A rook on b1 with a bishop on a1: a1 is not on the way.
    checkCastling("1r2k1r1/pp3ppp/2n1bn2/2qpp3/8/1PNPBN2/P1PQPPPP/BR2K1R1 w GBgb - 0 1", "e1b1",
                  "c1", "d1");
    // Standard castling takes the same path.
    checkCastling("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1h1", "g1", "f1");
    checkCastling("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8a8", "c8", "d8");
}

TEST(Chess960Castling, OnlyLegalCastlingsAreGenerated) {
    const struct {
        const char* fen;
        const char* move;
        bool legal;
    } cases[] = {
        // An enemy queen on a1 behind the castling rook on b1: once the rook
        // has gone to d1, the king on c1 would stand in check.
        {"r3k2r/1pp1qppp/p1n2n2/2bpp3/4P1b1/2NP1N2/PPP1BPPP/qRK4R w HBkq - 0 1", "c1b1", false},
        {"r3k2r/1pp1qppp/p1n2n2/2bpp3/4P1b1/2NP1N2/PPP1BPPP/qRK4R w HBkq - 0 1", "c1h1", true},
        {"Rr1k2r1/pp2ppbp/2np1np1/8/8/2NP1NP1/PP2PPBP/R1K4R b HAgb - 0 1", "d8b8", false},
        {"Rr1k2r1/pp2ppbp/2np1np1/8/8/2NP1NP1/PP2PPBP/R1K4R b HAgb - 0 1", "d8g8", true},
        // The same with the rook and king swapping squares.
        {"7k/8/8/8/8/8/8/r1RKR3 w EC - 0 1", "d1c1", false},
        {"7k/8/8/8/8/8/8/r1RKR3 w EC - 0 1", "d1e1", true},
        // A bishop on a6 guards f1, a square the king crosses.
        {"1rkr4/pppp1ppp/b7/8/8/8/PPPP1PPP/1RKR4 w Dd - 0 1", "c1d1", false},
        {"1rkr4/pppp1ppp/b7/8/8/8/PPPP1PPP/1RKR4 b Dd - 0 1", "c8d8", true},
        // The square the castling rook leaves is one the king crosses: an
        // enemy rook that guards it through the castling rook forbids it.
        {"1rkr4/ppp2ppp/8/8/8/8/PPP2PPP/1RKR4 w Dd - 0 1", "c1d1", false},
        // Out of check never.
        {"2r1kr2/8/8/8/8/8/3q4/2R1KR2 w CF - 0 1", "e1c1", false},
        {"2r1kr2/8/8/8/8/8/3q4/2R1KR2 w CF - 0 1", "e1f1", false},
        // A knight on g1 stands where the king would land; the long castling
        // passes the king with the rook.
        {"nrk2rnb/pp1ppppp/2p5/8/8/2P5/PP1PPPPP/NRK2RNB w FBfb - 0 1", "c1f1", false},
        {"nrk2rnb/pp1ppppp/2p5/8/8/2P5/PP1PPPPP/NRK2RNB w FBfb - 0 1", "c1b1", true},
        // The rook's path may be attacked, the king's not: a bishop on d4
        // guards g1 (the king's square) and a1's rook.
        {"r3k2r/8/8/8/3b4/8/8/R3K2R w KQkq - 0 1", "e1h1", false},
        {"r3k2r/8/8/8/3b4/8/8/R3K2R w KQkq - 0 1", "e1a1", true},
        // A piece on the rook's destination blocks, as one on the king's.
        {"rbbkq1rn/pppppppp/8/8/8/8/PPPPPPPP/RBBKQ1RN w GAga - 0 1", "d1g1", false},
        {"rbbkq1rn/pppppppp/8/8/8/8/PPPPPPPP/RBBKQ1RN w GAga - 0 1", "d1a1", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isLegalText(c.fen, c.move), c.legal) << c.fen << " " << c.move;
        // The search's pseudo-legal lists refuse the same castlings.
        auto b = newBoard(c.fen);
        MoveList list;
        const u32 n = generateMoves(b.get(), &list, 0);
        bool found = false;
        char text[8];
        for (u32 i = 0; i < n; i++) {
            moveToTextAs(&list.moves[i], true, text);
            if ((list.moves[i].flags & MF_CASTLE) && strcmp(text, c.move) == 0) found = true;
        }
        EXPECT_EQ(found, c.legal) << c.fen << " " << c.move;
    }
}

TEST(Chess960Castling, CastlingThatGivesCheck) {
    auto b = newBoard("r2k3r/pp4pp/8/8/8/8/PP4PP/1R3K1R w HBha - 0 1");
    Move longCastle = castlingText(b.get(), "f1b1");
    Move shortCastle = castlingText(b.get(), "f1h1");
    EXPECT_EQ(moveChecks(b.get(), &longCastle), 1);
    EXPECT_EQ(moveChecks(b.get(), &shortCastle), 0);
    ASSERT_TRUE(playGameMove(b.get(), &longCastle));
    EXPECT_EQ(sideToMoveInCheck(b.get()), 1);
    EXPECT_EQ(b->squares[sq("d1")], WROOK);
    EXPECT_EQ(boardToFen(b.get()), "r2k3r/pp4pp/8/8/8/8/PP4PP/2KR3R b ha -");
}

TEST(Chess960Castling, RightsEndWithTheirOwnKingOrRook) {
    const char* fen = "1r2kr2/8/8/8/8/8/8/RR2KR2 w FBfb - 0 1";
    auto rights = [fen](const char* move) {
        auto b = newBoard(fen);
        playTyped(b.get(), move);
        EXPECT_TRUE(keysAreConsistent(b.get()));
        return castlingFieldText(b.get());
    };
    EXPECT_EQ(rights("a1a5"), "FBfb");   // not a castling rook
    EXPECT_EQ(rights("b1b5"), "Ffb");
    EXPECT_EQ(rights("f1f5"), "Bfb");
    EXPECT_EQ(rights("e1d2"), "fb");
    EXPECT_EQ(rights("f1f8"), "Bb");   // takes Black's castling rook
    EXPECT_EQ(rights("b1b8"), "Ff");
    // Promotions that take a castling rook.
    auto b = newBoard("r3k1r1/P6P/8/8/8/8/p6p/R3K1R1 w GAga - 0 1");
    playTyped(b.get(), "h7g8q");
    EXPECT_EQ(castlingFieldText(b.get()), "GAa");
    EXPECT_TRUE(keysAreConsistent(b.get()));
    b = newBoard("r3k1r1/P6P/8/8/8/8/p6p/R3K1R1 b GAga - 0 1");
    playTyped(b.get(), "h2g1n");
    EXPECT_EQ(castlingFieldText(b.get()), "Aga");
    EXPECT_TRUE(keysAreConsistent(b.get()));
}

TEST(Chess960Castling, ConsistencyCheckNamesABrokenCastlingRecord) {
    auto b = newBoard(sideBySide);
    const char* failed = nullptr;
    ASSERT_TRUE(boardIsConsistent(b.get(), &failed));
    b->castlingRooks[1] = static_cast<u8>(sq("a1"));   // no rook there
    EXPECT_FALSE(boardIsConsistent(b.get(), &failed));
    EXPECT_STREQ(failed, "castling king or rook");
    b = newBoard(sideBySide);
    b->castlingKeep[sq("h1")] &= ~CASTLE_WK;
    EXPECT_FALSE(boardIsConsistent(b.get(), &failed));
    EXPECT_STREQ(failed, "castling keep table");
    b = newBoard(sideBySide);
    b->castlingEmpty[1] = 0;   // c1, d1 and e1 no longer checked
    EXPECT_FALSE(boardIsConsistent(b.get(), &failed));
    EXPECT_STREQ(failed, "castling paths");
    // A right no longer held is not checked: its tables stay as set up.
    b = newBoard(sideBySide);
    playTyped(b.get(), "g1h1");
    b->castlingRooks[0] = static_cast<u8>(sq("a1"));
    EXPECT_TRUE(boardIsConsistent(b.get(), &failed));
}

// ---------------------------------------------------------------------------
// Keys

TEST(Chess960Keys, RightsWithOtherRooksAreOtherPositions) {
    auto g = newBoard("4k3/8/8/8/8/8/8/4K1RR w G - 0 1");
    auto h = newBoard("4k3/8/8/8/8/8/8/4K1RR w H - 0 1");
    auto none = newBoard("4k3/8/8/8/8/8/8/4K1RR w - - 0 1");
    EXPECT_NE(g->hashKey, h->hashKey);
    EXPECT_NE(g->hashKey2, h->hashKey2);
    EXPECT_NE(g->hashKey, none->hashKey);
    EXPECT_NE(h->hashKey, none->hashKey);
    // The same rook by either name is the same position.
    EXPECT_EQ(newBoard("4k3/8/8/8/8/8/8/4K1RR w K - 0 1")->hashKey, h->hashKey);
    // Corner rooks keep the keys standard chess always had.
    auto standard = newBoard("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1");
    u64 expected = randomTable[126][15];
    for (int s = 0; s < 128; s++)
        if (onBoard(s) && standard->squares[s] != EMPTY)
            expected ^= randomTable[s][standard->squares[s]];
    EXPECT_EQ(standard->hashKey, expected);
    EXPECT_EQ(newBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1")->hashKey, expected);
}

TEST(Chess960Keys, PolyglotKeysCountEachRightOnce) {
    EXPECT_EQ(
        polyglotKey(newBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1").get()),
        0x463b96181691fc9cull);
    // The four rights add the same four numbers wherever the rooks stand.
    const u64 standard = polyglotKey(newBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1").get()) ^
                         polyglotKey(newBoard("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1").get());
    const u64 shuffled = polyglotKey(newBoard("1r2kr2/8/8/8/8/8/8/1R2KR2 w FBfb - 0 1").get()) ^
                         polyglotKey(newBoard("1r2kr2/8/8/8/8/8/8/1R2KR2 w - - 0 1").get());
    EXPECT_EQ(standard, shuffled);
    const u64 whiteShort = polyglotKey(newBoard("1r2kr2/8/8/8/8/8/8/1R2KR2 w F - 0 1").get()) ^
                           polyglotKey(newBoard("1r2kr2/8/8/8/8/8/8/1R2KR2 w - - 0 1").get());
    EXPECT_EQ(whiteShort, polyglotKey(newBoard("r3k2r/8/8/8/8/8/8/R3K2R w K - 0 1").get()) ^
                              polyglotKey(newBoard("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1").get()));
}

// Random games from the tricky positions: at every node each legal move's
// predicted key equals the key after it, the keys equal a recount, and the
// walk taken back restores every field.
TEST(Chess960Keys, RandomGamesKeepKeysAndPredictionsInStep) {
    const std::vector<PerftCase> cases = loadPerftSuite("chess960_tricky.epd");
    ASSERT_FALSE(cases.empty());
    std::mt19937 rng(960);
    int castles = 0, kingStays = 0, compared = 0;
    for (int game = 0; game < 60; game++) {
        auto b = newBoard(cases[game % cases.size()].fen);
        std::vector<Move> line;
        std::vector<Snapshot> before;
        for (int ply = 0; ply < 30; ply++) {
            MoveList list;
            const u32 n = generateMoves(b.get(), &list, 1);
            if (n == 0) break;
            for (u32 i = 0; i < n; i++) {
                Move m = list.moves[i];
                const u64 predicted = key2After(b.get(), &m);
                makeMove(b.get(), &m);
                updateHashKey(b.get(), &m);
                EXPECT_EQ(predicted, b->hashKey2);
                EXPECT_TRUE(keysAreConsistent(b.get()));
                updateHashKey(b.get(), &m);
                unmakeMove(b.get(), &m);
                compared++;
            }
            u32 pick = rng() % n;
            for (u32 i = 0; i < n; i++)
                if ((list.moves[i].flags & MF_CASTLE) && rng() % 2) pick = i;
            before.emplace_back(b.get());
            line.push_back(list.moves[pick]);
            if (line.back().flags & MF_CASTLE) {
                castles++;
                if (line.back().from == line.back().to) kingStays++;
            }
            makeMove(b.get(), &line.back());
            updateHashKey(b.get(), &line.back());
        }
        while (!line.empty()) {
            updateHashKey(b.get(), &line.back());
            unmakeMove(b.get(), &line.back());
            line.pop_back();
            EXPECT_TRUE(Snapshot(b.get()) == before.back());
            before.pop_back();
        }
    }
    EXPECT_GT(compared, 20000);
    EXPECT_GT(castles, 40);
    EXPECT_GT(kingStays, 0);
}

// ---------------------------------------------------------------------------
// Leaf counts against stockfish's

TEST(Chess960Perft, StartPositionsAreNumberedAsUsual) {
    const std::vector<PerftCase> cases = loadPerftSuite("chess960_starts.epd");
    ASSERT_EQ(cases.size(), 960u);
    // Number 518 is the standard array; every other is another array.
    auto standard = newBoard(initialPosition);
    for (size_t n = 0; n < cases.size(); n++) {
        auto b = newBoard(cases[n].fen);
        EXPECT_EQ(b->castlingStatus, 15u);
        EXPECT_EQ(n == 518, b->hashKey == standard->hashKey) << n;
        EXPECT_EQ(chess960Position(b.get()), true);
    }
}

TEST(Chess960Perft, StartPositionsAtQuickDepths) {
    const int checked = checkPerftFile("chess960_starts.epd", 960,
                                       [](int depth, u64) { return depth <= quickStartDepth; });
    EXPECT_EQ(checked, 960 * quickStartDepth);
}

TEST(Chess960Perft, TrickyPositionsAtQuickDepths) {
    const int checked = checkPerftFile("chess960_tricky.epd", 28,
                                       [](int, u64 count) { return count <= quickLimit; });
    EXPECT_GE(checked, 28 * 3);
}

// Deeper levels: Release only (label slow).
TEST(Chess960PerftSlow, StartPositionsAtDepthFour) {
#ifndef NDEBUG
    GTEST_SKIP() << "deep perft runs in Release builds only";
#else
    const int checked =
        checkPerftFile("chess960_starts.epd", 960, [](int depth, u64) { return depth == 4; });
    EXPECT_EQ(checked, 960);
#endif
}

TEST(Chess960PerftSlow, TrickyPositionsAtDeepDepths) {
#ifndef NDEBUG
    GTEST_SKIP() << "deep perft runs in Release builds only";
#else
    const int checked = checkPerftFile("chess960_tricky.epd", 28,
                                       [](int, u64 count) { return count > quickLimit; });
    EXPECT_GT(checked, 28);
#endif
}

// ---------------------------------------------------------------------------
// Move text

TEST(Chess960Notation, CastlingReadAndWrittenEitherWay) {
    auto b = newBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK2R w KQkq - 0 1");
    Move m;
    ASSERT_EQ(inputMoveLegal(b.get(), "e1g1", &m), 1);
    ASSERT_TRUE(m.flags & MF_CASTLE);
    char text[8];
    moveToTextAs(&m, false, text);
    EXPECT_STREQ(text, "e1g1");
    moveToTextAs(&m, true, text);
    EXPECT_STREQ(text, "e1h1");
    Move read;
    EXPECT_EQ(inputMoveLegal(b.get(), "e1h1", &read, true), 1);
    EXPECT_TRUE(sameMove(read, m));
    EXPECT_EQ(inputMoveLegal(b.get(), "e1g1", &read, true), 0);
    EXPECT_EQ(inputMoveLegal(b.get(), "e1h1", &read, false), 0);
    // Moves other than castling read the same in both.
    EXPECT_EQ(inputMoveLegal(b.get(), "e1f1", &read, true), 1);
    EXPECT_FALSE(read.flags & MF_CASTLE);
    // The king on its destination already: g1g1 as the king's own move.
    auto g1 = newBoard(kingOnG1);
    m = castlingText(g1.get(), "g1h1");
    moveToTextAs(&m, false, text);
    EXPECT_STREQ(text, "g1g1");
    // As the king's move, a castling can read like a king step: the step.
    auto f1 = newBoard("4k3/8/8/8/8/8/8/5K1R w H - 0 1");
    ASSERT_EQ(inputMoveLegal(f1.get(), "f1g1", &read), 1);
    EXPECT_FALSE(read.flags & MF_CASTLE);
    ASSERT_EQ(inputMoveLegal(f1.get(), "f1g1", &read, true), 1);
    EXPECT_FALSE(read.flags & MF_CASTLE);
    ASSERT_EQ(inputMoveLegal(f1.get(), "f1h1", &read, true), 1);
    EXPECT_TRUE(read.flags & MF_CASTLE);
    EXPECT_EQ(read.to, sq("g1"));
}

TEST(Chess960Notation, UciPositionReadsTheKingTakingItsRook) {
    auto b = newBoard();
    std::vector<std::string> refusals;
    bool fromStart = false;
    chess960Notation = true;
    EXPECT_TRUE(setUciPosition(b.get(),
                               {"fen", "1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1", "w",
                                "GBgb", "-", "0", "1", "moves", "f1g1", "f8b8", "g1h1"},
                               &refusals, &fromStart));
    chess960Notation = false;
    EXPECT_TRUE(refusals.empty());
    EXPECT_EQ(boardToFen(b.get()), "2kr2r1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3R1K b - -");
    // A castling field that names no rook: refused with its reason.
    EXPECT_FALSE(setUciPosition(b.get(), {"fen", "4k3/8/8/8/8/8/8/4K2R", "w", "A", "-"}, &refusals,
                                &fromStart));
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("names no white rook on a1"), std::string::npos) << refusals[0];
}

// ---------------------------------------------------------------------------
// The UCI option and the tools, with the built engine

TEST(Chess960Uci, TheOptionSwitchesCastlingToTheKingTakingItsRook) {
    const TempDir tmp;
    const std::string fen = "position fen " + std::string(kingOnG1) + "\n";
    const EngineRun run = runEngine(
        {},
        "uci\nsetoption name UCI_Chess960 value true\n" + fen +
            "go depth 3 searchmoves g1h1\n"
            "position fen 1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w GBgb - 0 1 moves f1g1 "
            "f8b8\ngo depth 3 searchmoves g1h1\n"
            "setoption name UCI_Chess960 value false\n" +
            fen + "go depth 3 searchmoves g1g1\n",
        tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> best;
    for (const std::string& line : outputLines(run.out))
        if (line.rfind("bestmove", 0) == 0) best.push_back(line.substr(0, 13));
    EXPECT_EQ(best, (std::vector<std::string>{"bestmove g1h1", "bestmove g1h1", "bestmove g1g1"}))
        << run.out;
    EXPECT_EQ(run.out.find("illegal"), std::string::npos) << run.out;
}

TEST(Chess960Tools, PerftShowAndRefusalSpeakChess960) {
    const TempDir tmp;
    EngineRun run = runEngine({"perft", "2", sideBySide}, "", tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("f1g1: 26\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nf1b1: 26\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nNodes: 675\n"), std::string::npos);
    run = runEngine({"show", "2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq - 0 1"},
                    "", tmp.path);
    EXPECT_NE(run.out.find("FEN: 2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq -\n"),
              std::string::npos)
        << run.out;
    run = runEngine({"perft", "1", "4k3/8/8/8/8/8/8/4K1RR w GH - 0 1"}, "", tmp.path);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is not between its castling rooks"), std::string::npos) << run.err;
}
