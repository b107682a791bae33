// The book tools: reading PGN games, text books made from them and from
// Polyglot books, the probe, and the book the engine ships with.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "book.h"
#include "book_util.h"
#include "booktools.h"
#include "engine_process.h"
#include "pgn.h"
#include "polyglot.h"
#include "test_util.h"
#include "utils.h"

namespace {

using Texts = std::vector<std::string>;

const std::string gamesFile = std::string(QL_DATA_DIR) + "/book_games.pgn";

std::vector<PgnGame> readGames(const std::string& text) {
    PgnReader reader(text);
    std::vector<PgnGame> games;
    PgnGame game;
    while (reader.next(&game)) games.push_back(game);
    return games;
}

// The text book "book make" writes for the games of a PGN text.
Texts makeLines(const std::string& text, int plies, int minGames, Texts* reports = nullptr) {
    auto board = std::make_unique<Board>();
    OpeningCounts counts;
    Texts ignored;
    addPgnGames(board.get(), "games.pgn", text, plies, &counts, reports ? reports : &ignored);
    return openingLines(counts, minGames);
}

Texts convertLines(std::vector<PolyglotEntry> entries, int plies, int minWeight) {
    sortByKey(&entries);
    auto board = std::make_unique<Board>();
    Texts lines;
    const int n = polyglotLines(board.get(), entries, plies, minWeight,
                                [&lines](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(n, static_cast<int>(lines.size()));
    return lines;
}

}   // namespace

TEST(Pgn, SkipsCommentsVariationsNagsAndNumbers) {
    const std::vector<PgnGame> games = readGames(
        "% an escape line\n"
        "[Event \"Say \\\"hi\\\"\"]\n[White \"A\"]\n\n"
        "1.e4 {a comment (with a bracket} e5 (1... c5 2. Nf3 (2. c3 {x} d5) d6 {1-0}) 2. Nf3 $1 "
        "Nc6!? 3. Bb5 ; to the end ) of the line\n3... a6 4. O-O 1/2-1/2\n"
        "[Event \"No result\"]\n1. d4 d5\n"
        "[Event \"Last\"]\n\n1. c4 *\n  { a comment after the last game }\n");
    ASSERT_EQ(games.size(), 3u);
    EXPECT_EQ(games[0].line, 2);
    EXPECT_EQ(pgnTag(games[0], "Event"), "Say \"hi\"");
    EXPECT_EQ(pgnTag(games[0], "White"), "A");
    EXPECT_EQ(pgnTag(games[0], "Black"), "");
    EXPECT_EQ(games[0].moves, (Texts{"e4", "e5", "Nf3", "Nc6!?", "Bb5", "a6", "O-O"}));
    EXPECT_EQ(games[0].error, "");
    // The next tag line ends a game that has no result.
    EXPECT_EQ(games[1].moves, (Texts{"d4", "d5"}));
    EXPECT_EQ(games[1].line, 7);
    EXPECT_EQ(games[2].moves, Texts{"c4"});
    EXPECT_EQ(readGames("").size(), 0u);
    EXPECT_EQ(readGames("\n  % only an escape\n").size(), 0u);
}

TEST(Pgn, BrokenGamesSayWhyAndTheReaderGoesOn) {
    const std::vector<PgnGame> games = readGames(
        "[Event \"open\n[Site \"x\"]\n1. e4 *\n"
        "[Event]\n1. e4 *\n"
        "1. e4 ) e5 *\n"
        "1. e4 (1. d4 *\n[Event \"next\"]\n1. c4 *\n"
        "1. e4 } e5 ] *\n"
        "1. Nf3 { left open\n");
    ASSERT_EQ(games.size(), 7u);
    EXPECT_EQ(games[0].error, "broken tag on line 1: [Event \"open");
    EXPECT_EQ(pgnTag(games[0], "Site"), "x");
    EXPECT_EQ(games[1].error, "broken tag on line 4: [Event]");
    EXPECT_EQ(games[2].error, "')' without '(' on line 6");
    EXPECT_EQ(games[3].error, "a variation is not closed");
    EXPECT_EQ(games[4].error, "");
    EXPECT_EQ(games[4].moves, Texts{"c4"});
    EXPECT_EQ(games[5].error, "'}' out of place on line 10");
    EXPECT_EQ(games[5].moves, (Texts{"e4", "e5"}));
    EXPECT_EQ(games[6].error, "the comment opened on line 11 is not closed");
}

TEST(Pgn, AnyTextEndsInFinitelyManyGames) {
    // Random texts of the characters that mean something in PGN. Every game
    // the reader returns consumes some of the text: a reader that stood
    // still on a character would hang here or return more games than
    // there are characters.
    const std::string alphabet = "[]{}();$%<>\"\\\n\t .0123456789-=+#!?/*abcdefghNBRQKOx";
    std::mt19937 generator(7);
    for (int round = 0; round < 3000; round++) {
        std::string text;
        const size_t length = generator() % 120;
        for (size_t i = 0; i < length; i++) text += alphabet[generator() % alphabet.size()];
        PgnReader reader(text);
        PgnGame game;
        size_t games = 0;
        while (games <= text.size() && reader.next(&game)) games++;
        ASSERT_LE(games, text.size()) << text;
    }
}

// The text in UTF-16, little or big end first, with its byte-order mark.
std::string asUtf16(const std::string& text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : text) {
        if (little) bytes += c, bytes += '\0';
        else bytes += '\0', bytes += c;
    }
    return bytes;
}

TEST(Pgn, NulBytesUtf16AndByteOrderMarksNeitherHangNorHideTheGames) {
    const std::string pgn = "[Event \"x\"]\n\n1. e4 e5 2. Nf3 Nc6 1-0\n\n1. d4 d5 *\n";
    const std::vector<PgnGame> plain = readGames(pgn);
    ASSERT_EQ(plain.size(), 2u);
    // A NUL byte separates like a blank: the reader moves on past it.
    const std::vector<PgnGame> nul = readGames(literalBytes("1. e4\0 e5 *\n\0\0[E \"\0\"]\n"));
    ASSERT_GE(nul.size(), 1u);
    EXPECT_EQ(nul[0].moves, (Texts{"e4", "e5"}));
    // UTF-16 and a byte-order mark come to the reader as the same text.
    for (const std::string& bytes :
         {asUtf16(pgn, true), asUtf16(pgn, false), "\xEF\xBB\xBF" + pgn}) {
        const std::vector<PgnGame> games = readGames(textFromBytes(bytes));
        ASSERT_EQ(games.size(), 2u);
        EXPECT_EQ(games[0].moves, plain[0].moves);
        EXPECT_EQ(games[1].moves, plain[1].moves);
        EXPECT_EQ(pgnTag(games[0], "Event"), "x");
    }
    // UTF-16 without its mark is NUL bytes between the letters: read to
    // the end, with games that say what is wrong, never a hang.
    std::string unmarked = asUtf16(pgn, true).substr(2);
    for (const std::vector<PgnGame>& games : {readGames(unmarked)})
        EXPECT_LE(games.size(), unmarked.size());
    // Beyond the first 128 characters: encoded as UTF-8, surrogate pairs
    // joined, a lone surrogate replaced.
    EXPECT_EQ(textFromBytes(std::string("\xFF\xFE\xE9\x00\x3D\xD8\x00\xDE\x00\xD8", 10)),
              "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(BookMake, LinesRunWhileEnoughGamesFollowThem) {
    const std::string text = readWholeFile(gamesFile);
    ASSERT_FALSE(text.empty()) << gamesFile;
    Texts reports;
    // Every game's first eight plies; the promoting game is still short of its promotion.
    EXPECT_EQ(makeLines(text, 8, 1, &reports),
              (Texts{" a2a4b7b5a4b5a7a6b5a6c8b7a6b7b8c6", " e2e4e7e5f2f4e5f4f1c4d8h4e1f1b7b5",
                     " e2e4e7e5g1f3b8c6f1b5a7a6b5a4g8f6", " e2e4e7e5g1f3b8c6f1c4f8c5b2b4c5b4",
                     " e2e4e7e5g1f3d7d6d2d4c8g4d4e5g4f3"}));
    EXPECT_EQ(reports,
              (Texts{"games.pgn:52: game 6 skipped: 3. Nf9 is not a legal move there",
                     "games.pgn:57: game 7 skipped: it starts from a set-up position (FEN tag)",
                     "games.pgn:64: game 8 skipped: broken tag on line 64: [Event \"A broken tag",
                     "games.pgn:69: game 9 skipped: the comment opened on line 72 is not "
                     "closed"}));
    // Four games open with e4 e5, three go on with Nf3, two of them with Nc6.
    EXPECT_EQ(makeLines(text, 8, 2), Texts{" e2e4e7e5g1f3b8c6"});
    EXPECT_EQ(makeLines(text, 8, 3), Texts{" e2e4e7e5g1f3"});
    EXPECT_EQ(makeLines(text, 8, 4), Texts{" e2e4e7e5"});
    EXPECT_EQ(makeLines(text, 8, 6), Texts{});
    // Twelve plies: the promotion on ply 9 ends its line before it, castling
    // is the king's move, and the annotated game ends where its moves end.
    const Texts twelve = makeLines(text, 12, 1);
    ASSERT_EQ(twelve.size(), 5u);
    EXPECT_EQ(twelve[0], " a2a4b7b5a4b5a7a6b5a6c8b7a6b7b8c6");
    EXPECT_EQ(twelve[2], " e2e4e7e5g1f3b8c6f1b5a7a6b5a4g8f6e1g1f8e7");
    EXPECT_EQ(twelve[4], " e2e4e7e5g1f3d7d6d2d4c8g4d4e5g4f3d1f3d6e5f1c4g8f6");
}

TEST(BookMake, TheBookItWritesIsPlayedAsItsGamesGo) {
    // Two games that share their first move: the made book offers each of
    // the two replies once, and nothing after the end of the lines.
    BookFileGuard guard;
    const Texts lines = makeLines("1. d4 d5 2. c4 *\n1. d4 Nf6 *\n", 16, 1);
    ASSERT_EQ(lines, (Texts{" d2d4d7d5c2c4", " d2d4g8f6"}));
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    guard.install(text);
    auto board = newBoard(initialPosition);
    BookMove moves[MAX_MOVES];
    ASSERT_EQ(listBookMoves(board.get(), moves, MAX_MOVES), 1);
    EXPECT_EQ(moves[0].weight, 2u);
    playTyped(board.get(), "d2d4");
    EXPECT_EQ(listBookMoves(board.get(), moves, MAX_MOVES), 2);
    playTyped(board.get(), "g8f6");
    EXPECT_EQ(listBookMoves(board.get(), moves, MAX_MOVES), 0);
}

TEST(BookConvert, WalksTheHeavyEnoughMovesDepthFirst) {
    std::vector<PolyglotEntry> entries = entriesAlong({"e2e4", "e7e5", "g1f3"}, 3);
    const std::vector<PolyglotEntry> sicilian = entriesAlong({"e2e4", "c7c5"}, 3);
    entries.push_back(sicilian[1]);
    entries.push_back(entriesAlong({"d2d4"}, 5)[0]);
    entries.push_back(entriesAlong({"g2g4"}, 1)[0]);
    entries[0].weight = 10;   // e2e4 heaviest
    // Best weight first; a tie keeps the book's order.
    EXPECT_EQ(convertLines(entries, 3, 2), (Texts{" e2e4e7e5g1f3", " e2e4c7c5", " d2d4"}));
    EXPECT_EQ(convertLines(entries, 2, 1), (Texts{" e2e4e7e5", " e2e4c7c5", " d2d4", " g2g4"}));
    EXPECT_EQ(convertLines(entries, 3, 4), (Texts{" e2e4", " d2d4"}));
    EXPECT_EQ(convertLines(entries, 3, 11), Texts{});
    // Weight 0 is never a book move, whatever the minimum.
    entries[0].weight = 0;
    EXPECT_EQ(convertLines(entries, 3, 0), (Texts{" d2d4", " g2g4"}));
}

TEST(BookConvert, CastlingIsWrittenAsTheKingsMoveAndPromotionsEndALine) {
    EXPECT_EQ(convertLines(
                  entriesAlong({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6", "e1h1", "f8c5"}, 1),
                  10, 1),
              Texts{" e2e4e7e5g1f3b8c6f1c4g8f6e1g1f8c5"});
    EXPECT_EQ(convertLines(entriesAlong({"a2a4", "b7b5", "a4b5", "a7a6", "b5a6", "c8b7", "a6b7",
                                         "b8c6", "b7a8q", "d8a8"},
                                        1),
                           12, 1),
              Texts{" a2a4b7b5a4b5a7a6b5a6c8b7a6b7b8c6"});
    // The same entry twice: one line.
    std::vector<PolyglotEntry> twice = entriesAlong({"e2e4"}, 1);
    twice.push_back(twice[0]);
    EXPECT_EQ(convertLines(twice, 4, 1), Texts{" e2e4"});
}

TEST(BookTools, ProbeShowsMovesWeightsAndTheKey) {
    const TempDir tmp;
    std::vector<PolyglotEntry> entries = entriesAlong({"e2e4"}, 1);
    entries.push_back(entriesAlong({"d2d4"}, 3)[0]);
    entries.push_back({entries[0].key, pgMove("e2e5"), 9, 0});   // not legal
    writeFile(tmp.path + "/p.bin", bookBytes(entries));
    writeFile(tmp.path + "/t.bk", " e2e4e7e5\n d2d4\n e2e4c7c5\n");
    EngineRun run = runEngine({"book", "probe", "--book", "p.bin"}, "", tmp.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "book p.bin: Polyglot, 3 entries\n"
              "key 463b96181691fc9c\n"
              "e2e5  weight     9  not legal here: never played\n"
              "d2d4  weight     3   75.0%\n"
              "e2e4  weight     1   25.0%\n");
    // Moves played from the FEN first; the text book counts its lines.
    run = runEngine({"book", "probe", "--moves", "e2e4", "--book", "t.bk"}, "", tmp.path);
    EXPECT_EQ(run.out, "book t.bk: text\ne7e5  lines      1   50.0%\nc7c5  lines      1   50.0%\n");
    run = runEngine({"book", "probe", "8/8/8/4k3/8/8/8/4K3", "w", "-", "-", "0", "1", "--book",
                     "p.bin", "--time"},
                    "", tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("no book move\nlookup: "), std::string::npos) << run.out;
}

TEST(BookTools, BadArgumentsAndFilesGiveOneLineAndStatusTwo) {
    const TempDir tmp;
    writeFile(tmp.path + "/t.bk", " e2e4\n");
    writeFile(tmp.path + "/short.bin", std::string(20, '\x01'));
    std::filesystem::create_directory(tmp.path + "/folder");
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"book"}, "usage: quillantor book probe|make|convert"},
        {{"book", "probe", "--book"}, "usage: quillantor book probe"},
        {{"book", "probe", "--frob"}, "usage: quillantor book probe"},
        {{"book", "probe", "--book", "nothing.bin"}, "cannot open nothing.bin"},
        {{"book", "probe", "--book", "folder"}, "folder is no book: it is a directory"},
        {{"book", "probe", "--book", "short.bin"},
         "short.bin is no book: not a Polyglot book: 20 bytes"},
        {{"book", "probe", "--moves", "e2e5", "--book", "t.bk"}, "e2e5 is not a legal move there"},
        {{"book", "probe", "not", "a", "fen"}, "invalid FEN"},
        {{"book", "make"}, "usage: quillantor book make"},
        {{"book", "make", "x.pgn", "--plies", "0"}, "usage: quillantor book make"},
        {{"book", "make", "x.pgn", "--min-games", "-1"}, "usage: quillantor book make"},
        {{"book", "make", "none.pgn"}, "none.pgn: cannot open"},
        {{"book", "make", "folder"}, "folder: not a regular file"},
        {{"book", "convert"}, "usage: quillantor book convert"},
        {{"book", "convert", "a.bin", "b.bin"}, "usage: quillantor book convert"},
        {{"book", "convert", "a.bin", "--min-weight", "70000"}, "usage: quillantor book convert"},
        {{"book", "convert", "t.bk"}, "t.bk is a text book, not a Polyglot book"},
        {{"book", "convert", "short.bin"}, "short.bin is no book"},
    };
    for (const auto& c : cases) {
        const EngineRun run = runEngine(c.args, "", tmp.path);
        const std::string where = c.args.size() > 1 ? c.args[1] : c.args[0];
        EXPECT_EQ(run.status, 2) << where << ": " << run.err;
        EXPECT_EQ(run.out, "") << where;
        EXPECT_EQ(run.err.rfind(c.error, 0), 0u) << where << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(BookTools, MakeReadsUtf16AndGamesWithNulBytesToTheEnd) {
    // Three lines with a NUL byte once kept the reader on the same spot
    // for ever; the run must end, with every game it could read.
    const TempDir tmp;
    const std::string pgn = "1. e4 e5 2. Nf3 Nc6 1-0\n1. e4 e5 2. Nf3 Nf6 1-0\n1. d4 d5 *\n";
    std::ofstream(tmp.path + "/nul.pgn", std::ios::binary)
        << literalBytes("1. e4 e5\0 2. Nf3 Nc6 1-0\n1. e4 e5 2. Nf3 Nf6 1-0\n1. d4 d5 *\n");
    std::ofstream(tmp.path + "/wide.pgn", std::ios::binary) << asUtf16(pgn, true);
    std::ofstream(tmp.path + "/plain.pgn", std::ios::binary) << pgn;
    const EngineRun nul = runEngine({"book", "make", "nul.pgn", "--plies", "4"}, "", tmp.path, 20);
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(nul.out, " d2d4d7d5\n e2e4e7e5g1f3b8c6\n e2e4e7e5g1f3g8f6\n");
    const EngineRun plain = runEngine({"book", "make", "plain.pgn"}, "", tmp.path, 20);
    const EngineRun wide = runEngine({"book", "make", "wide.pgn"}, "", tmp.path, 20);
    EXPECT_EQ(wide.status, 0) << wide.err;
    EXPECT_EQ(wide.out, plain.out);
}

TEST(BookTools, MakeWritesTheBookAndReportsSkippedGames) {
    const TempDir tmp;
    const EngineRun run =
        runEngine({"book", "make", gamesFile, "--plies", "8", "--min-games", "2"}, "", tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, " e2e4e7e5g1f3b8c6\n");
    const Texts errors = outputLines(run.err);
    ASSERT_EQ(errors.size(), 5u) << run.err;
    EXPECT_EQ(errors[0], gamesFile + ":52: game 6 skipped: 3. Nf9 is not a legal move there");
    EXPECT_EQ(errors[4], "book make: 5 games used, 4 skipped, 1 lines");
}
