// Opening book: a text file of opening lines, each a blank followed by the
// moves from the starting position as concatenated four-letter squares
// (" e2e4e7e5g1f3"), or a Polyglot book (polyglot.h). The engine plays a
// random continuation of the lines that begin with the game played so far,
// or a move of the Polyglot entries of the position, at random in
// proportion to their weights.
//
// Which of the two a file is, its content says: a text book is text, so its
// first 4 KiB hold no NUL and no control character other than tab, line
// feed, vertical tab, form feed, carriage return and the DOS end-of-file
// mark (Ctrl-Z). Anything else is read as a Polyglot book, which must then
// be a whole number of 16-byte entries sorted by key. The name plays no part.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "defs.h"
#include "polyglot.h"

inline constexpr int BOOK_LINE_SIZE = 1024;     // longer lines are read in pieces
inline constexpr int GAME_STRING_SIZE = 1024;   // room for 255 moves
inline constexpr int BOOK_CANDIDATES = 32768;
inline constexpr int BOOK_TEXT_PROBE = 4096;   // bytes read to tell text from binary

extern FILE* bookFile;
// Play the best-weighted book move (the Polyglot entry of highest weight,
// the move of most text lines) instead of a random one.
extern bool bookBestMove;

// What became of a book file that was to be opened.
enum BookOpen : u8 {
    BOOK_OPENED = 0,    // the file is the book now
    BOOK_MISSING = 1,   // no such file, or it cannot be opened: nothing to say
    BOOK_REFUSED = 2    // it exists but is no book: the reason tells why
};

// Opens path as the book in place of the current one, as a text book or a
// Polyglot book by its content. On success the previous book's file is
// closed; otherwise the current book stays as it was and *why holds the
// reason in a few words ("it is a directory", "not a Polyglot book: ...").
BookOpen openBook(const char* path, std::string* why);

// Closes the book (its file, the Polyglot entries); bookFile is null after.
void closeBook();

// Opens the file at path as the book; bookFile is null when it cannot be opened
// or is not a book. A file that exists but is no book (a directory, a FIFO
// or device, an empty file, a broken Polyglot book) is named with the
// reason in one line on standard output.
void initBook(const char* path);

// True when the open book is a Polyglot book.
bool bookIsPolyglot();

// The open Polyglot book's entries; empty for a text book or none.
const std::vector<PolyglotEntry>& polyglotBookEntries();

// True when bytes[0..count-1] are text as a text book is (see above).
bool looksLikeText(const unsigned char* bytes, size_t count);

// 1 when text begins with the whole of pattern (an empty pattern matches
// everything), else 0.
u8 stringMatch(const char* pattern, const char* text);

// Writes the game string into out (size bytes): a blank, then from and to of
// gameMoves[0 .. gamePly-1]. Returns 0, with out holding an empty string,
// when the game does not fit; nothing is written past out[size-1].
int buildGameString(const Board* board, char* out, int size);

// Reads bookFile from its start and appends to candidates (at most capacity)
// the legal next move of every line that continues the game, one entry per
// line, in file order. Returns the number collected; 0 without a book.
int findBookMoves(Board* board, Move* candidates, int capacity);

// The book's moves for the game so far, each once with its weight: the
// Polyglot entry's weight, or for a text book the number of lines that
// offer it (in the order of their first line). Returns how many; 0 without
// a book. The board is left as it was.
int listBookMoves(Board* board, BookMove* out, int capacity);

// Index of the move a random number r below the sum of the weights picks,
// each move with a chance in proportion to its weight (weight 0: never).
int pickWeighted(const BookMove* moves, int count, u64 r);

// Index of the first move of highest weight, -1 when every weight is 0.
int pickBestWeighted(const BookMove* moves, int count);

// Chooses the book move for the game so far into *move by the random
// number given: from a text book the next move of line random % n (n the
// matching lines), from a Polyglot book an entry in proportion to the
// weights; with bookBestMove, the best-weighted move. False when there is
// no book or no book move (*move is not to be used then). Prints nothing.
// The caller owns the randomness: the UCI path draws from the process's
// one generator, seeded once; a test may pass what it likes.
bool chooseBookMove(Board* board, Move* move, u64 random);

// chooseBookMove as the XBoard path plays it, announced: a text book's line
// drawn by rand() after seeding it with the time in seconds (so lookups
// within one second choose alike), a Polyglot book's entry by the process's
// generator. Prints "0 0 0 0 e2e4 (Book)" and copies the
// move to *move. Returns 1 then, 0 when there is no book or no book move.
u8 getBookMove(Board* board, Move* move);
