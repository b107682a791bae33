// Polyglot books: the position key, the entries and their moves, telling a
// Polyglot file from a text book, the weighted choice, and the engine
// playing from one on both protocols.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "book.h"
#include "book_util.h"
#include "engine_process.h"
#include "polyglot.h"
#include "san.h"
#include "test_util.h"

namespace {

u64 keyOf(const char* fen) {
    auto board = newBoard(fen);
    return polyglotKey(board.get());
}

u64 startKey() { return keyOf(initialPosition); }

// bookBestMove set for the test's lifetime.
class BestMoveSetting {
public:
    explicit BestMoveSetting(bool best) : saved(bookBestMove) { bookBestMove = best; }
    ~BestMoveSetting() { bookBestMove = saved; }
    BestMoveSetting(const BestMoveSetting&) = delete;
    BestMoveSetting& operator=(const BestMoveSetting&) = delete;

private:
    bool saved;
};

std::string moveText(const Move& move) {
    char text[8];
    moveToText(&move, text);
    return text;
}

// The legal book moves of the position as "move:weight" texts, in book order.
std::vector<std::string> bookMoves(Board* board, const std::vector<PolyglotEntry>& entries) {
    BookMove moves[MAX_MOVES];
    const int n = polyglotBookMoves(board, entries, moves, MAX_MOVES);
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        texts.push_back(moveText(moves[i].move) + ":" + std::to_string(moves[i].weight));
    return texts;
}

using Texts = std::vector<std::string>;

}   // namespace

TEST(PolyglotKey, MatchesThePublishedKeys) {
    // The format description's test positions: the start, en passant that
    // counts (f6, c3) and that does not (e3, d6), castling rights lost by
    // king moves and by a rook move.
    const struct {
        const char* fen;
        u64 key;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9cull},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196ull},
        {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756b94461c50fb0ull},
        {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662fafb965db29d4ull},
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22a48b5a8e47ff78ull},
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3", 0x652a607ca3f242c1ull},
        {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4", 0x00fdd303c946bdd9ull},
        {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", 0x3c8123ea7b067637ull},
        {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5c3f9b829b279560ull},
    };
    for (const auto& c : cases) EXPECT_EQ(keyOf(c.fen), c.key) << c.fen;

    // The same positions reached by playing the moves: the board's own
    // en-passant square and castling rights give the same keys.
    const char* lines[][7] = {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2", "e8f7", nullptr},
                              {"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"}};
    const u64 keys[][7] = {
        {cases[1].key, cases[2].key, cases[3].key, cases[4].key, cases[5].key, cases[6].key, 0},
        {0, 0, 0, 0, cases[7].key, 0, cases[8].key}};
    for (int l = 0; l < 2; l++) {
        auto board = newBoard(initialPosition);
        for (int i = 0; i < 7 && lines[l][i] != nullptr; i++) {
            playTyped(board.get(), lines[l][i]);
            if (keys[l][i] != 0) {
                EXPECT_EQ(polyglotKey(board.get()), keys[l][i]) << lines[l][i];
            }
        }
    }
}

TEST(PolyglotKey, EnPassantCountsWhenAPawnStandsBesideEvenIfPinned) {
    // exd6 would leave the king on h5 to the rook: the file counts all the same.
    const u64 pinned = keyOf("4k3/8/8/r2pP2K/8/8/8/8 w - d6 0 2");
    EXPECT_EQ(pinned ^ keyOf("4k3/8/8/r2pP2K/8/8/8/8 w - - 0 2"),
              0x1C99DED33CB890A1ull);   // d-file
    // Nobody beside the pawn: no en-passant number.
    EXPECT_EQ(keyOf("4k3/8/8/r2p3K/8/8/8/8 w - d6 0 2"), keyOf("4k3/8/8/r2p3K/8/8/8/8 w - - 0 2"));
    // A pawn of the side that just moved does not count either.
    EXPECT_EQ(
        keyOf("4k3/8/8/r1ppP2K/8/8/8/8 w - d6 0 2") ^ keyOf("4k3/8/8/r1ppP2K/8/8/8/8 w - - 0 2"),
        0x1C99DED33CB890A1ull);
    EXPECT_EQ(keyOf("4k3/8/8/r1pp3K/8/8/8/8 w - d6 0 2"),
              keyOf("4k3/8/8/r1pp3K/8/8/8/8 w - - 0 2"));
}

TEST(PolyglotMove, CastlingIsTheKingTakingItsOwnRook) {
    auto board = newBoard("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1");
    char text[6];
    const struct {
        const char* from;
        const char* to;
        const char* text;
    } white[] = {{"e1", "h1", "e1g1"}, {"e1", "a1", "e1c1"}, {"e2", "e4", "e2e4"}};
    for (const auto& c : white) {
        ASSERT_TRUE(polyglotMoveText(board.get(), pgMove(std::string(c.from) + c.to), text));
        EXPECT_STREQ(text, c.text);
    }
    auto black = newBoard("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1");
    ASSERT_TRUE(polyglotMoveText(black.get(), pgMove("e8h8"), text));
    EXPECT_STREQ(text, "e8g8");
    ASSERT_TRUE(polyglotMoveText(black.get(), pgMove("e8a8"), text));
    EXPECT_STREQ(text, "e8c8");
    // No king on e1: a rook's move along the rank stays what it says.
    auto rook = newBoard("4k3/4p3/8/8/8/8/8/4R1K1 w - - 0 1");
    ASSERT_TRUE(polyglotMoveText(rook.get(), pgMove("e1a1"), text));
    EXPECT_STREQ(text, "e1a1");
}

TEST(PolyglotMove, PromotionsAndBrokenMoveFields) {
    auto board = newBoard("3q3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
    char text[6];
    for (const char* move : {"e7e8n", "e7e8b", "e7e8r", "e7e8q"}) {
        ASSERT_TRUE(polyglotMoveText(board.get(), pgMove(move), text));
        EXPECT_STREQ(text, move);
    }
    const u16 noSuchPiece = static_cast<u16>(pgMove("e7e8") | 5 << 12);
    EXPECT_FALSE(polyglotMoveText(board.get(), noSuchPiece, text));
    EXPECT_FALSE(polyglotMoveText(board.get(), 0, text));   // a1a1: no move
    EXPECT_STREQ(text, "");
    // The book offers the promotions it names, and the bare push (no piece) is no move.
    const u64 key = polyglotKey(board.get());
    const std::vector<PolyglotEntry> entries = {
        {key, pgMove("e7e8q"), 5, 0}, {key, pgMove("e7d8n"), 2, 0}, {key, pgMove("e7e8"), 9, 0}};
    EXPECT_EQ(bookMoves(board.get(), entries), (Texts{"e7e8q:5", "e7d8n:2"}));
}

TEST(PolyglotBook, ReadsBigEndianEntriesAndFindsKeysByBinarySearch) {
    const TempDir tmp;
    std::vector<PolyglotEntry> entries;
    // Keys spread over the whole range, with a run of three equal keys.
    for (u64 k = 1; k <= 40; k++)
        entries.push_back({k * 0x0400000000000001ull, static_cast<u16>(k),
                           static_cast<u16>(1000 + k), static_cast<u32>(k << 20)});
    const u64 shared = 21 * 0x0400000000000001ull;
    entries.push_back({shared, 0x1234, 7, 0});
    entries.push_back({shared, 0x4321, 8, 0});
    writeFile(tmp.path + "/b.bin", bookBytes(entries));
    FILE* file = fopen((tmp.path + "/b.bin").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<PolyglotEntry> read;
    std::string why;
    ASSERT_TRUE(readPolyglotBook(file, &read, &why)) << why;
    fclose(file);
    ASSERT_EQ(read.size(), 42u);
    size_t count = 0;
    const size_t first = findPolyglotEntries(read, shared, &count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(read[first].move, 21);
    EXPECT_EQ(read[first].weight, 1021);
    EXPECT_EQ(read[first].learn, 21u << 20);
    EXPECT_EQ(read[first + 1].move, 0x1234);
    EXPECT_EQ(read[first + 2].weight, 8);
    // The first key, the last, and keys that are not there (below, between, above).
    EXPECT_EQ(findPolyglotEntries(read, 0x0400000000000001ull, &count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(findPolyglotEntries(read, 40 * 0x0400000000000001ull, &count), 41u);
    EXPECT_EQ(count, 1u);
    for (u64 absent : {u64{0}, shared + 1, ~u64{0}}) {
        findPolyglotEntries(read, absent, &count);
        EXPECT_EQ(count, 0u) << absent;
    }
}

TEST(PolyglotBook, WhatIsNotABookIsRefusedWithItsReasonAndTheOldBookStays) {
    const TempDir tmp;
    const std::string good =
        bookBytes({{startKey(), pgMove("e2e4"), 1, 0}, {startKey() + 1, pgMove("d2d4"), 1, 0}});
    writeFile(tmp.path + "/good.bin", good);
    writeFile(tmp.path + "/truncated.bin", good.substr(0, good.size() - 5));
    writeFile(tmp.path + "/unsorted.bin", bookBytes({{5, 1, 1, 0}, {4, 1, 1, 0}}, false));
    writeFile(tmp.path + "/empty.bin", "");
    std::mt19937 generator(18);
    std::string noise;
    for (int i = 0; i < 1000; i++) noise += static_cast<char>(generator() & 0xff);
    writeFile(tmp.path + "/random.bin", noise);
    writeFile(tmp.path + "/random16.bin", noise.substr(0, 992));   // whole entries, in no order
    // A text book saved as UTF-16: NUL bytes make it no text, and it is no
    // Polyglot book either.
    std::string wide = "\xFF\xFE";
    for (const char c : std::string(" e2e4e7e5\n d2d4d7d5g1f3\n")) wide += c, wide += '\0';
    writeFile(tmp.path + "/wide.bk", wide);
    std::filesystem::create_directory(tmp.path + "/folder.bin");
    ASSERT_EQ(mkfifo((tmp.path + "/fifo.bin").c_str(), 0600), 0);

    const struct {
        const char* name;
        const char* reason;
    } refused[] = {{"truncated.bin", "not a whole number of 16-byte entries (truncated)"},
                   {"unsorted.bin", "the key of entry 1 is below the one before it (unsorted)"},
                   {"empty.bin", "it is empty"},
                   {"random.bin", "not a Polyglot book"},
                   {"random16.bin", "(unsorted)"},
                   {"wide.bk", "not a Polyglot book"},
                   {"folder.bin", "it is a directory"},
                   {"fifo.bin", "not a regular file"}};
    BookFileGuard book(tmp.path + "/good.bin");
    ASSERT_EQ(book.result, BOOK_OPENED) << book.why;
    FILE* handle = bookFile;
    for (const auto& r : refused) {
        std::string why;
        EXPECT_EQ(openBook((tmp.path + "/" + r.name).c_str(), &why), BOOK_REFUSED) << r.name;
        EXPECT_NE(why.find(r.reason), std::string::npos) << r.name << ": " << why;
        EXPECT_EQ(why.find('\n'), std::string::npos);
        // The book in use is untouched.
        EXPECT_EQ(bookFile, handle);
        EXPECT_TRUE(bookIsPolyglot());
        EXPECT_EQ(polyglotBookEntries().size(), 2u);
    }
    std::string why;
    EXPECT_EQ(openBook((tmp.path + "/no-such.bin").c_str(), &why), BOOK_MISSING);
    EXPECT_EQ(bookFile, handle);
}

TEST(PolyglotBook, TheContentNotTheNameTellsTheKind) {
    const unsigned char text[] = " e2e4e7e5\r\n\t\v\f\x1a caf\xc3\xa9 \xe9\n";
    EXPECT_TRUE(looksLikeText(text, sizeof text - 1));
    for (const unsigned char binary : {0x00, 0x01, 0x08, 0x0e, 0x1b, 0x1f, 0x7f}) {
        const unsigned char bytes[] = {' ', 'e', '2', binary, '\n'};
        EXPECT_FALSE(looksLikeText(bytes, sizeof bytes)) << static_cast<int>(binary);
    }
    const TempDir tmp;
    writeFile(tmp.path + "/text.bin", " e2e4e7e5\n d2d4\n");
    writeFile(tmp.path + "/polyglot.bk", bookBytes({{startKey(), pgMove("c2c4"), 3, 0}}));
    auto board = newBoard(initialPosition);
    Move move;
    {
        BookFileGuard book(tmp.path + "/text.bin");
        ASSERT_EQ(book.result, BOOK_OPENED);
        EXPECT_FALSE(bookIsPolyglot());
        EXPECT_TRUE(polyglotBookEntries().empty());
        BookMove moves[MAX_MOVES];
        ASSERT_EQ(listBookMoves(board.get(), moves, MAX_MOVES), 2);
        EXPECT_EQ(moveText(moves[0].move) + moveText(moves[1].move), "e2e4d2d4");
    }
    BookFileGuard book(tmp.path + "/polyglot.bk");
    ASSERT_EQ(book.result, BOOK_OPENED);
    EXPECT_TRUE(bookIsPolyglot());
    ASSERT_TRUE(chooseBookMove(board.get(), &move, randomBits()));
    EXPECT_EQ(moveText(move), "c2c4");
}

TEST(PolyglotBook, OnlyLegalMovesOfSomeWeightArePlayed) {
    const TempDir tmp;
    const u64 key = startKey();
    writeFile(tmp.path + "/b.bin", bookBytes({{key, pgMove("e2e5"), 900, 0},   // not legal
                                              {key, pgMove("e1h1"), 800, 0},   // castling, blocked
                                              {key, 0, 700, 0},                // no move
                                              {key, pgMove("d2d4"), 0, 0},     // never to be played
                                              {key, pgMove("g1f3"), 2, 0}}));
    BookFileGuard book(tmp.path + "/b.bin");
    ASSERT_EQ(book.result, BOOK_OPENED);
    auto board = newBoard(initialPosition);
    EXPECT_EQ(bookMoves(board.get(), polyglotBookEntries()), (Texts{"d2d4:0", "g1f3:2"}));
    for (bool best : {false, true}) {
        BestMoveSetting setting(best);
        for (u64 random = 0; random < 20; random++) {
            Move move;
            ASSERT_TRUE(chooseBookMove(board.get(), &move, random * 0x9E3779B97F4A7C15ull));
            EXPECT_EQ(moveText(move), "g1f3");
        }
    }
    // A position the book does not know, and one whose only move weighs 0.
    playTyped(board.get(), "g1f3");
    Move move;
    EXPECT_FALSE(chooseBookMove(board.get(), &move, randomBits()));
    const u64 other = keyOf("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    writeFile(tmp.path + "/zero.bin", bookBytes({{other, pgMove("h1h8"), 0, 0}}));
    BookFileGuard zero(tmp.path + "/zero.bin");
    auto endgame = newBoard("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_FALSE(chooseBookMove(endgame.get(), &move, randomBits()));
}

TEST(PolyglotBook, RandomMoveFieldsYieldOnlyLegalMoves) {
    std::mt19937 generator(781);
    for (const char* fen : {initialPosition, "r3k2r/pP4pp/8/3pP3/8/8/6PP/R3K2R w KQkq d6 0 1",
                            "r3k2r/pp4Pp/8/8/3pP3/8/PP6/R3K2R b KQkq e3 0 1"}) {
        auto board = newBoard(fen);
        const u64 key = polyglotKey(board.get());
        std::vector<PolyglotEntry> entries;
        entries.reserve(20000);
        for (int i = 0; i < 20000; i++)
            entries.push_back(
                {key, static_cast<u16>(generator()), static_cast<u16>(generator()), 0});
        std::vector<BookMove> moves(MAX_MOVES);
        const int n = polyglotBookMoves(board.get(), entries, moves.data(), MAX_MOVES);
        EXPECT_GT(n, 0) << fen;
        for (int i = 0; i < n; i++) {
            Move legal;
            EXPECT_TRUE(inputMoveLegal(board.get(), moveText(moves[i].move).c_str(), &legal));
            EXPECT_TRUE(sameMove(legal, moves[i].move)) << moveText(moves[i].move);
        }
    }
}

TEST(BookPick, WeightsGiveTheChancesAndTheBestIsTheHeaviest) {
    BookMove moves[4] = {{Move{}, 3}, {Move{}, 0}, {Move{}, 1}, {Move{}, 3}};
    EXPECT_EQ(pickWeighted(moves, 4, 0), 0);
    EXPECT_EQ(pickWeighted(moves, 4, 2), 0);
    EXPECT_EQ(pickWeighted(moves, 4, 3), 2);   // weight 0 is never picked
    EXPECT_EQ(pickWeighted(moves, 4, 4), 3);
    EXPECT_EQ(pickWeighted(moves, 4, 6), 3);
    EXPECT_EQ(pickWeighted(moves, 4, 7), -1);
    EXPECT_EQ(pickBestWeighted(moves, 4), 0);   // the first of the heaviest
    moves[2].weight = 5;
    EXPECT_EQ(pickBestWeighted(moves, 4), 2);
    for (BookMove& m : moves) m.weight = 0;
    EXPECT_EQ(pickBestWeighted(moves, 4), -1);

    // Drawn from the engine's own generator: e2e4 weighs three times d2d4.
    const TempDir tmp;
    writeFile(tmp.path + "/b.bin",
              bookBytes({{startKey(), pgMove("e2e4"), 3, 0}, {startKey(), pgMove("d2d4"), 1, 0}}));
    BookFileGuard book(tmp.path + "/b.bin");
    auto board = newBoard(initialPosition);
    int e4 = 0;
    const int draws = 4000;
    for (int i = 0; i < draws; i++) {
        Move move;
        ASSERT_TRUE(chooseBookMove(board.get(), &move, randomBits()));
        if (moveText(move) == "e2e4") e4++;
    }
    // 75 % expected; the bounds are about ten standard deviations wide.
    EXPECT_GT(e4, draws * 68 / 100);
    EXPECT_LT(e4, draws * 82 / 100);
}

TEST(BookPick, BestBookMoveOfATextBookIsTheMoveOfMostLines) {
    const TempDir tmp;
    writeFile(tmp.path + "/b.bk", " d2d4\n e2e4e7e5\n c2c4\n e2e4c7c5\n e2e4\n d2d4d7d5\n");
    BookFileGuard book(tmp.path + "/b.bk");
    BestMoveSetting setting(true);
    auto board = newBoard(initialPosition);
    Move move;
    ASSERT_TRUE(chooseBookMove(board.get(), &move, randomBits()));
    EXPECT_EQ(moveText(move), "e2e4");
    playTyped(board.get(), "e2e4");
    ASSERT_TRUE(chooseBookMove(board.get(), &move, randomBits()));   // a tie: the first line's move
    EXPECT_EQ(moveText(move), "e7e5");
}

namespace {

const char* gnuchessBook = "/usr/share/games/gnuchess/book.bin";

std::string findPolyglotProgram() {
    for (const char* path : {"/usr/games/polyglot", "/usr/bin/polyglot", "/usr/local/bin/polyglot"})
        if (access(path, X_OK) == 0) return path;
    return "";
}

// One dumped line: its moves (SAN), and for the moves of the dumped colour
// the share of the weight the dump gives in per cent (-1 for the others).
struct DumpLine {
    std::vector<std::string> moves;
    std::vector<int> percent;
};

// "12: 1. e4{39%} a6 2. d4{100%} b5 {trans: line=3, ply=7}" (or {cycle: ...})
DumpLine parseDumpLine(const std::string& text) {
    DumpLine line;
    std::istringstream words(text);
    std::string word;
    words >> word;   // the line's number
    while (words >> word) {
        if (word[0] == '{') break;   // {trans: ...} or {cycle: ...} ends the line
        if (isdigit(static_cast<unsigned char>(word[0])) && word.back() == '.') continue;
        const size_t brace = word.find('{');
        line.moves.push_back(word.substr(0, brace));
        line.percent.push_back(brace == std::string::npos ? -1 : atoi(word.c_str() + brace + 1));
    }
    return line;
}

// The book's moves of the position as coordinate texts with their share of
// the legal weight in whole per cent, rounded as printf's "%.0f" rounds
// (a half to the even neighbour: 72.5 % is 72), as the dump prints them.
std::map<std::string, int> ourShares(Board* board, const std::vector<PolyglotEntry>& entries) {
    BookMove moves[MAX_MOVES];
    const int n = polyglotBookMoves(board, entries, moves, MAX_MOVES);
    u64 total = 0;
    for (int i = 0; i < n; i++) total += moves[i].weight;
    std::map<std::string, int> shares;
    for (int i = 0; i < n; i++) {
        char percent[16];
        snprintf(percent, sizeof percent, "%.0f",
                 100.0 * moves[i].weight / static_cast<double>(total));
        shares[moveText(moves[i].move)] = atoi(percent);
    }
    return shares;
}

// Compares the first maxLines lines of a dump with the book as this engine
// reads it: every dumped move of the colour is one of the book's moves with
// the same share, and where the dump has shown all continuations of a
// position (every group of lines but the last one read, as the dump is
// depth first) they are exactly the book's moves. Returns the number of
// moves and the number of whole positions compared.
std::pair<int, int> compareWithDump(const std::vector<std::string>& dump, size_t maxLines,
                                    const std::vector<PolyglotEntry>& entries) {
    std::map<std::string, std::set<std::string>> dumped, ours;
    std::set<std::string> open;   // prefixes of the last line read
    int compared = 0, positions = 0;
    for (size_t l = 1; l < dump.size() && l <= maxLines; l++) {
        const DumpLine line = parseDumpLine(dump[l]);
        auto board = newBoard(initialPosition);
        std::string prefix;
        open.clear();
        for (size_t i = 0; i < line.moves.size(); i++) {
            Move move;
            if (!parseSan(board.get(), line.moves[i].c_str(), &move)) {
                ADD_FAILURE() << "line " << l << ": " << line.moves[i] << " not legal";
                return {compared, positions};
            }
            const std::string text = moveText(move);
            if (line.percent[i] >= 0) {
                const std::map<std::string, int> shares = ourShares(board.get(), entries);
                const auto found = shares.find(text);
                if (found == shares.end()) {
                    ADD_FAILURE() << dump[l] << ": " << text << " not in the book";
                } else {
                    EXPECT_EQ(found->second, line.percent[i]) << dump[l] << ": " << text;
                }
                dumped[prefix].insert(text);
                if (ours.count(prefix) == 0)
                    for (const auto& share : shares) ours[prefix].insert(share.first);
                open.insert(prefix);
                compared++;
            }
            playTyped(board.get(), text.c_str());
            prefix += text;
        }
    }
    for (const auto& [prefix, moves] : dumped)
        if (open.count(prefix) == 0) {
            EXPECT_EQ(moves, ours[prefix]) << "after " << prefix;
            positions++;
        }
    return {compared, positions};
}

}   // namespace

TEST(PolyglotOracle, GnuchessBookReadsAsPolyglotDumpsIt) {
    const std::string polyglot = findPolyglotProgram();
    if (polyglot.empty()) GTEST_SKIP() << "polyglot is not installed (Debian package polyglot)";
    if (access(gnuchessBook, R_OK) != 0)
        GTEST_SKIP() << gnuchessBook << " is missing (Debian package gnuchess-book)";
    const TempDir tmp;
    BookFileGuard book(gnuchessBook);
    ASSERT_EQ(book.result, BOOK_OPENED) << book.why;
    ASSERT_TRUE(bookIsPolyglot());
    EXPECT_EQ(polyglotBookEntries().size(), 180358u);
    for (const char* colour : {"white", "black"}) {
        const std::string out = tmp.path + "/" + colour + ".txt";
        std::string command = polyglot + " dump-book -bin " + gnuchessBook;
        command.append(" -color ").append(colour).append(" -out ").append(out);
        command.append(" >/dev/null 2>&1");
        ASSERT_EQ(system(command.c_str()), 0) << command;
        const std::vector<std::string> dump = outputLines(readWholeFile(out));
        ASSERT_GT(dump.size(), 1000u) << colour;
        const auto [moves, positions] = compareWithDump(dump, 1500, polyglotBookEntries());
        EXPECT_GT(moves, 5000) << colour;
        EXPECT_GT(positions, 1000) << colour;
        printf("%s: %d dumped moves and %d whole positions agree\n", colour, moves, positions);
        if (std::string(colour) == "white") {
            // All the first moves White's dump shows, over the whole dump.
            std::set<std::string> first;
            for (size_t l = 1; l < dump.size(); l++) {
                const DumpLine line = parseDumpLine(dump[l]);
                Move move;
                auto board = newBoard(initialPosition);
                if (!line.moves.empty() && parseSan(board.get(), line.moves[0].c_str(), &move))
                    first.insert(moveText(move));
            }
            auto board = newBoard(initialPosition);
            std::set<std::string> ours;
            for (const auto& share : ourShares(board.get(), polyglotBookEntries()))
                ours.insert(share.first);
            EXPECT_EQ(first, ours);
            EXPECT_EQ(ours.size(), 13u);
        }
    }
}

// ---------------------------------------------------------------------------
// The engine with a Polyglot book

namespace {

// The start position's book: e2e4 light, d2d4 heavy; after e2e4, c7c5.
std::string smallBook() {
    auto afterE4 = newBoard("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    return bookBytes({{startKey(), pgMove("e2e4"), 1, 0},
                      {startKey(), pgMove("d2d4"), 1000, 0},
                      {polyglotKey(afterE4.get()), pgMove("c7c5"), 5, 0}});
}

}   // namespace

TEST(PolyglotEngine, XBoardAnnouncesAPolyglotMoveAsABookMove) {
    const TempDir tmp;
    writeFile(tmp.path + "/quillantor.rc", "hash 1024\nbook my.bin\nbestbook 1\n");
    writeFile(tmp.path + "/my.bin", smallBook());
    EngineRun run = runEngine({}, "new\ngo\nquit\n", tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\tBook file\t= my.bin\n\tBest book move\t= 1\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n0 0 0 0 d2d4 (Book)\nmove d2d4\n"), std::string::npos) << run.out;
    // The user plays e2e4: the book answers for Black.
    run = runEngine({}, "new\ne2e4\nquit\n", tmp.path, 60);
    EXPECT_NE(run.out.find("\n0 0 0 0 c7c5 (Book)\nmove c7c5\n"), std::string::npos) << run.out;

    // A broken book is named once at start-up and the engine searches.
    writeFile(tmp.path + "/my.bin", smallBook().substr(0, 40));
    run = runEngine({}, "st 0\ngo\nquit\n", tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\nBook file my.bin not used: not a Polyglot book: 40 bytes is not a "
                           "whole number of 16-byte entries (truncated)\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("(Book)"), std::string::npos);
    EXPECT_NE(run.out.find("\nmove "), std::string::npos);
}

TEST(PolyglotEngine, UciTakesPolyglotBooksBestMovesAndPositionsFromAFen) {
    const TempDir tmp;
    writeFile(tmp.path + "/my.bin", smallBook());
    writeFile(tmp.path + "/bad.bin", smallBook().substr(16) + smallBook().substr(0, 16));
    EngineSession engine({}, tmp.path);
    ASSERT_TRUE(engine.started());
    std::vector<std::string> seen;
    std::string line;
    engine.send("uci\n");
    ASSERT_TRUE(engine.readUntil("uciok", &line, &seen));
    EXPECT_NE(
        std::find(seen.begin(), seen.end(), "option name BestBookMove type check default false"),
        seen.end());
    engine.send("setoption name BookFile value my.bin\nsetoption name BestBookMove value true\n");
    engine.send("setoption name BookFile value bad.bin\nisready\n");
    seen.clear();
    ASSERT_TRUE(engine.readUntil("readyok", &line, &seen));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0],
              "info string BookFile 'bad.bin' not used (not a Polyglot book: the key of "
              "entry 2 is below the one before it (unsorted)): keeping my.bin");
    engine.send("position startpos\ngo movetime 5000\n");
    seen.clear();
    ASSERT_TRUE(engine.readUntil("bestmove", &line, &seen, 3000));
    EXPECT_EQ(seen, (Texts{"info string book move d2d4", "bestmove d2d4"}));
    // A Polyglot book knows positions, however the GUI sets them up.
    engine.send("position fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1\n");
    engine.send("go movetime 5000\n");
    seen.clear();
    ASSERT_TRUE(engine.readUntil("bestmove", &line, &seen, 3000));
    EXPECT_EQ(seen, (Texts{"info string book move c7c5", "bestmove c7c5"}));
    engine.send("quit\n");
    EXPECT_EQ(engine.finish(), 0);
}
