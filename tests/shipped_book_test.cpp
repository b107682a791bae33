// The book the engine ships with: where "make run" finds it, what it holds,
// and that it is what the README's command makes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "book.h"
#include "book_util.h"
#include "engine_process.h"
#include "test_util.h"

namespace {

using Texts = std::vector<std::string>;

const std::string shippedBook = std::string(QL_DATA_DIR) + "/../../quillantor.bk";
const char* gnuchessBook = "/usr/share/games/gnuchess/book.bin";

}   // namespace

TEST(ShippedBook, IsASmallTextBookOfLegalLinesWithSeveralFirstMoves) {
    struct stat info;
    ASSERT_EQ(stat(shippedBook.c_str(), &info), 0) << shippedBook;
    EXPECT_LE(info.st_size, 2 * 1024 * 1024);
    BookFileGuard guard;
    ASSERT_EQ(guard.open(shippedBook), BOOK_OPENED);
    EXPECT_FALSE(bookIsPolyglot());
    auto board = newBoard(initialPosition);
    BookMove moves[MAX_MOVES];
    EXPECT_GE(listBookMoves(board.get(), moves, MAX_MOVES), 4);
    // Every 50th line, replayed: moves of four letters, legal, 16 plies at most.
    const Texts lines = outputLines(readWholeFile(shippedBook));
    EXPECT_GT(lines.size(), 10000u);
    for (size_t l = 0; l < lines.size(); l += 50) {
        const std::string& line = lines[l];
        ASSERT_EQ(line[0], ' ') << l;
        ASSERT_EQ((line.size() - 1) % 4, 0u) << line;
        EXPECT_LE(line.size(), 1u + 4 * 16) << line;
        auto game = newBoard(initialPosition);
        for (size_t at = 1; at < line.size(); at += 4)
            playTyped(game.get(), line.substr(at, 4).c_str());
    }
}

TEST(ShippedBook, IsWhatTheReadmesCommandMakesFromTheGnuchessBook) {
    if (access(gnuchessBook, R_OK) != 0)
        GTEST_SKIP() << gnuchessBook << " is missing (Debian package gnuchess-book)";
    const TempDir tmp;
    const EngineRun run = runEngine(
        {"book", "convert", gnuchessBook, "--plies", "16", "--min-weight", "40"}, "", tmp.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == readWholeFile(shippedBook))
        << "quillantor.bk differs from the tool's output";
}
