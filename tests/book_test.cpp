// Opening book: matching lines against the game, the candidate list, the
// guarded game string and the announced book move.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "book.h"
#include "hash.h"
#include "interface.h"
#include "test_util.h"

namespace {

// Continues the knight shuffle g1f3 g8f6 f3g1 f6g8, begun at the start
// position, for n half-moves; returns the moves played as book text.
std::string playShuffle(Board* board, int n) {
    const char* moves[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::string text;
    for (int i = 0; i < n; i++) {
        const char* move = moves[board->gamePly % 4];
        playTyped(board, move);
        text += move;
    }
    return text;
}

// Installs a book made of the given text as bookFile for the test's
// lifetime and restores the engine's own afterwards.
class BookFile {
public:
    explicit BookFile(const std::string& text) : saved(bookFile) {
        file = tmpfile();
        fwrite(text.data(), 1, text.size(), file);
        bookFile = file;
    }
    ~BookFile() {
        bookFile = saved;
        fclose(file);
    }
    BookFile(const BookFile&) = delete;
    BookFile& operator=(const BookFile&) = delete;

private:
    FILE* file;
    FILE* saved;
};

std::vector<std::string> candidateTexts(Board* board, int capacity = BOOK_CANDIDATES) {
    std::vector<Move> moves(BOOK_CANDIDATES);
    const int n = findBookMoves(board, moves.data(), capacity);
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(n > 0 ? n : 0));
    for (int i = 0; i < n; i++)
        texts.push_back(std::string(sqString[moves[i].from]) + sqString[moves[i].to]);
    return texts;
}

using Texts = std::vector<std::string>;

}   // namespace

TEST(Book, StringMatchWantsTheWholePatternAtTheStart) {
    EXPECT_EQ(stringMatch("", "anything"), 1);
    EXPECT_EQ(stringMatch("", ""), 1);
    EXPECT_EQ(stringMatch(" e2e4", " e2e4e7e5"), 1);
    EXPECT_EQ(stringMatch(" e2e4e7e5", " e2e4e7e5"), 1);
    EXPECT_EQ(stringMatch(" e2e4e7e5", " e2e4e7"), 0);   // text ends earlier
    EXPECT_EQ(stringMatch(" e2e4", "e2e4"), 0);
    EXPECT_EQ(stringMatch(" e2e4e7e5", " e2e4c7c5g1f3"), 0);
    EXPECT_EQ(stringMatch("x", ""), 0);
}

TEST(Book, GameStringListsTheMovesSinceSetUp) {
    char text[GAME_STRING_SIZE];
    auto board = newBoard(initialPosition);
    ASSERT_EQ(buildGameString(board.get(), text, sizeof text), 1);
    EXPECT_STREQ(text, " ");
    playTyped(board.get(), "e2e4");
    playTyped(board.get(), "e7e5");
    ASSERT_EQ(buildGameString(board.get(), text, sizeof text), 1);
    EXPECT_STREQ(text, " e2e4e7e5");
    // Castling is the king's move; a promotion loses its letter.
    auto other = newBoard("4k3/1P6/8/8/8/8/8/4K2R w K - 0 1");
    playTyped(other.get(), "e1g1");
    playTyped(other.get(), "e8d7");
    playTyped(other.get(), "b7b8n");
    ASSERT_EQ(buildGameString(other.get(), text, sizeof text), 1);
    EXPECT_STREQ(text, " e1g1e8d7b7b8");
}

TEST(Book, GameStringNeverOverrunsItsBuffer) {
    auto board = newBoard(initialPosition);
    playShuffle(board.get(), 255);
    std::vector<char> buffer(GAME_STRING_SIZE + 16, '#');
    ASSERT_EQ(buildGameString(board.get(), buffer.data(), GAME_STRING_SIZE), 1);
    EXPECT_EQ(strlen(buffer.data()), 1u + 4 * 255);

    // One move more does not fit: no string, nothing written past the end.
    playShuffle(board.get(), 1);
    std::fill(buffer.begin(), buffer.end(), '#');
    EXPECT_EQ(buildGameString(board.get(), buffer.data(), GAME_STRING_SIZE), 0);
    EXPECT_STREQ(buffer.data(), "");
    for (size_t i = GAME_STRING_SIZE; i < buffer.size(); i++) EXPECT_EQ(buffer[i], '#');

    // The same boundary on a small buffer: two moves need 10 bytes.
    auto shortGame = newBoard(initialPosition);
    playShuffle(shortGame.get(), 2);
    char small[12];
    memset(small, '#', sizeof small);
    EXPECT_EQ(buildGameString(shortGame.get(), small, 10), 1);
    EXPECT_STREQ(small, " g1f3g8f6");
    playShuffle(shortGame.get(), 1);
    memset(small, '#', sizeof small);
    EXPECT_EQ(buildGameString(shortGame.get(), small, 10), 0);
    EXPECT_EQ(small[10], '#');
    EXPECT_EQ(small[11], '#');
}

TEST(Book, CandidatesAreTheNextMovesOfMatchingLines) {
    BookFile book(
        " e2e4e7e5g1f3b8c6\n"
        " e2e4e7e5f1c4\n"
        " e2e4c7c5g1f3\n"   // another game
        " e2e4e7e5\n"       // ends where the game stands
        " e2e4e7e5g1f3\n"
        "e2e4e7e5d2d4\n"      // no leading blank
        " e2e4e7e5g1f4\n"     // not a legal move
        " e2e4e7e5G1F3\n");   // capitals
    auto board = newBoard(initialPosition);
    playTyped(board.get(), "e2e4");
    playTyped(board.get(), "e7e5");
    // g1f3 is offered by two of the three useful lines.
    EXPECT_EQ(candidateTexts(board.get()), (Texts{"g1f3", "f1c4", "g1f3"}));
    // Lines beyond the capacity are ignored.
    EXPECT_EQ(candidateTexts(board.get(), 2), (Texts{"g1f3", "f1c4"}));
}

TEST(Book, StartPositionSurvivesMessyLines) {
    std::string text = "\n";                       // blank line
    text += " " + std::string(3000, 'x') + "\n";   // longer than a line buffer
    text += std::string(1023, ' ') + "\n";         // a piece that starts with blanks
    text += " d2d4\r\n";                           // carriage return after the move
    text += " e9e4\n e2\n \xff\xfe\x80\x81\n";
    text += std::string(" g1f3\0junk\n", 11);   // NUL byte after the move
    text += " e2e4e7e5";                        // last line without line feed
    BookFile book(text);
    auto board = newBoard(initialPosition);
    EXPECT_EQ(candidateTexts(board.get()), (Texts{"d2d4", "g1f3", "e2e4"}));
}

TEST(Book, AByteOrderMarkDoesNotHideTheFirstLine) {
    BookFile book("\xEF\xBB\xBF e2e4e7e5\n d2d4d7d5\n");
    auto board = newBoard(initialPosition);
    EXPECT_EQ(candidateTexts(board.get()), (Texts{"e2e4", "d2d4"}));
}

TEST(Book, TheCallersRandomNumberDrawsTheLine) {
    // Three matching lines, two of them g1f3: the number drawn picks the
    // line, so a move more lines offer comes more often, and the same number
    // picks the same line whatever the time.
    BookFile book(" e2e4e7e5g1f3\n e2e4e7e5f1c4\n e2e4e7e5g1f3\n");
    auto board = newBoard(initialPosition);
    playTyped(board.get(), "e2e4");
    playTyped(board.get(), "e7e5");
    const char* expected[] = {"g1f3", "f1c4", "g1f3"};
    for (u64 random = 0; random < 9; random++) {
        Move move;
        ASSERT_TRUE(chooseBookMove(board.get(), &move, random));
        char text[8];
        moveToText(&move, text);
        EXPECT_STREQ(text, expected[random % 3]) << random;
    }
    playTyped(board.get(), "g1f3");
    Move move;
    EXPECT_FALSE(chooseBookMove(board.get(), &move, 0)) << "no line goes on";
}

TEST(Book, PromotionLinesNeverOfferAMove) {
    BookFile book(" e7e8q\n e7e8\n e7d8n\n e1f1\n");
    auto board = newBoard("3q3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(candidateTexts(board.get()), (Texts{"e1f1"}));
}

TEST(Book, NoBookNoMove) {
    CapturedStdout capture;
    FILE* saved = bookFile;
    bookFile = nullptr;
    auto board = newBoard(initialPosition);
    Move move{};
    capture.start();
    EXPECT_EQ(getBookMove(board.get(), &move), 0);
    EXPECT_EQ(findBookMoves(board.get(), &move, 1), 0);
    EXPECT_EQ(capture.take(), "");
    bookFile = saved;
}

TEST(Book, ChosenMoveIsAnnouncedAndReadyToPlay) {
    CapturedStdout capture;
    BookFile book(" e2e4e7e5\n");
    auto board = newBoard(initialPosition);
    Move move{};
    capture.start();
    ASSERT_EQ(getBookMove(board.get(), &move), 1);
    EXPECT_EQ(capture.take(), "0 0 0 0 e2e4 (Book)\n");
    Move generated;
    ASSERT_EQ(inputMoveLegal(board.get(), "e2e4", &generated), 1);
    EXPECT_EQ(memcmp(&move, &generated, sizeof move), 0);

    // The next lookup reads the book again from its start.
    playTyped(board.get(), "e2e4");
    capture.start();
    ASSERT_EQ(getBookMove(board.get(), &move), 1);
    EXPECT_EQ(capture.take(), "0 0 0 0 e7e5 (Book)\n");
    playTyped(board.get(), "e7e5");
    capture.start();
    EXPECT_EQ(getBookMove(board.get(), &move), 0);
    EXPECT_EQ(capture.take(), "");
}

TEST(Book, LookupsWithinOneSecondChooseAlike) {
    CapturedStdout capture;
    std::string text;
    for (const char* m : {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3", "g2g3", "h2h3", "a2a4",
                          "b2b4", "c2c4", "d2d4", "e2e4", "f2f4", "g2g4", "h2h4"})
        text += std::string(" ") + m + "\n";
    BookFile book(text);
    auto board = newBoard(initialPosition);
    // Retry when the clock ticks over between the two lookups.
    for (int attempt = 0; attempt < 5; attempt++) {
        const time_t before = time(nullptr);
        Move first{}, second{};
        capture.start();
        ASSERT_EQ(getBookMove(board.get(), &first), 1);
        ASSERT_EQ(getBookMove(board.get(), &second), 1);
        const std::string out = capture.take();
        if (time(nullptr) != before) continue;
        EXPECT_TRUE(sameMove(first, second));
        const size_t half = out.size() / 2;
        EXPECT_EQ(out.substr(0, half), out.substr(half));
        return;
    }
    FAIL() << "the clock kept ticking over";
}

TEST(Book, LongGamesMatchUntilTheLineBufferIsFull) {
    CapturedStdout capture;
    // 254 moves: the line of 1 + 4 * 255 characters and its line feed fits
    // the book's 1024-character line buffer, so the next move is offered.
    auto board = newBoard(initialPosition);
    const std::string moves = playShuffle(board.get(), 254);
    {
        BookFile book(" " + moves + "f3g1\n");
        EXPECT_EQ(candidateTexts(board.get()), (Texts{"f3g1"}));
    }
    // 256 moves: no game string, so not even a line of a single blank matches.
    playShuffle(board.get(), 2);
    BookFile book(" \n");
    EXPECT_EQ(candidateTexts(board.get()), Texts{});
    Move move{};
    capture.start();
    EXPECT_EQ(getBookMove(board.get(), &move), 0);
    EXPECT_EQ(capture.take(), "");
}
