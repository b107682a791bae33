#include "book.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "movegen.h"
#include "utils.h"

FILE* bookFile = nullptr;
bool bookBestMove = false;

// The Polyglot book's entries and the handle they were read from. The book
// is a Polyglot book exactly while bookFile is that handle, so whatever
// installs another handle in bookFile has a text book.
static std::vector<PolyglotEntry> polyglotEntries;
static FILE* polyglotFile = nullptr;

// The text book's candidates, one per matching line; shared by the lookups,
// which never run at the same time.
static Move bookCandidates[BOOK_CANDIDATES];

bool bookIsPolyglot() { return bookFile != nullptr && bookFile == polyglotFile; }

const std::vector<PolyglotEntry>& polyglotBookEntries() {
    static const std::vector<PolyglotEntry> none;
    return bookIsPolyglot() ? polyglotEntries : none;
}

bool looksLikeText(const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; i++) {
        const unsigned char c = bytes[i];
        if ((c >= 0x20 && c != 0x7f) || (c >= '\t' && c <= '\r') || c == 0x1a) continue;
        return false;
    }
    return true;
}

void closeBook() {
    if (bookFile != nullptr) fclose(bookFile);
    bookFile = nullptr;
    polyglotFile = nullptr;
    std::vector<PolyglotEntry>().swap(polyglotEntries);
}

BookOpen openBook(const char* path, std::string* why) {
    why->clear();
    // Only a regular file can be a book: opening a FIFO would wait for a
    // writer for ever, and a device such as /dev/zero never reaches the end
    // of a line or of the file.
    struct stat info;
    if (stat(path, &info) != 0) return BOOK_MISSING;
    if (S_ISDIR(info.st_mode)) {
        *why = "it is a directory";
        return BOOK_REFUSED;
    }
    if (!S_ISREG(info.st_mode)) {
        *why = "it is not a regular file (a FIFO or a device)";
        return BOOK_REFUSED;
    }
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return BOOK_MISSING;
    unsigned char head[BOOK_TEXT_PROBE];
    const size_t got = fread(head, 1, sizeof head, file);
    if (got == 0) {
        *why = ferror(file) ? "cannot be read" : "it is empty";
        fclose(file);
        return BOOK_REFUSED;
    }
    if (looksLikeText(head, got)) {
        fclose(file);
        // Text mode, in which the lines have always been read.
        FILE* text = fopen(path, "r");
        if (text == nullptr) return BOOK_MISSING;
        closeBook();
        bookFile = text;
        return BOOK_OPENED;
    }
    rewind(file);
    std::vector<PolyglotEntry> entries;
    if (!readPolyglotBook(file, &entries, why)) {
        fclose(file);
        return BOOK_REFUSED;
    }
    closeBook();
    polyglotEntries.swap(entries);
    bookFile = file;
    polyglotFile = file;
    return BOOK_OPENED;
}

void initBook(const char* path) {
    closeBook();
    std::string why;
    if (openBook(path, &why) == BOOK_REFUSED)
        printf("Book file %s not used: %s\n", path, why.c_str());
}

u8 stringMatch(const char* pattern, const char* text) {
    for (int i = 0; pattern[i] != '\0'; i++)
        if (text[i] != pattern[i]) return 0;   // also stops at the end of text
    return 1;
}

int buildGameString(const Board* board, char* out, int size) {
    const i64 needed = 1 + 4 * static_cast<i64>(board->gamePly) + 1;
    // A game too long for the buffer can match no book line anyway: it gets
    // no string, and so no book move.
    if (size <= 0) return 0;
    out[0] = '\0';
    if (needed > size || board->gamePly > static_cast<u32>(MAX_GAME_MOVES)) return 0;
    char* p = out;
    *p++ = ' ';
    for (u32 i = 0; i < board->gamePly; i++) {
        const Move& m = board->gameMoves[i];
        const char* from = sqString[m.from & 127];
        const char* to = sqString[m.to & 127];
        *p++ = from[0];
        *p++ = from[1];
        *p++ = to[0];
        *p++ = to[1];
    }
    *p = '\0';
    return 1;
}

int findBookMoves(Board* board, Move* candidates, int capacity) {
    if (bookFile == nullptr) return 0;
    char gameString[GAME_STRING_SIZE];
    if (!buildGameString(board, gameString, sizeof gameString)) return 0;
    const size_t skip = strlen(gameString);

    rewind(bookFile);
    int count = 0;
    char line[BOOK_LINE_SIZE];
    bool first = true;
    while (fgets(line, sizeof line, bookFile) != nullptr) {
        // An editor's byte-order mark would hide the first line.
        if (first) dropByteOrderMark(line);
        first = false;
        if (!stringMatch(gameString, line)) continue;
        if (count >= capacity) continue;
        // The four characters after the game string; a line that ends
        // sooner yields a shorter text, which names no move.
        char moveText[5] = {0, 0, 0, 0, 0};
        for (int i = 0; i < 4 && line[skip + i] != '\0'; i++) moveText[i] = line[skip + i];
        if (inputMoveLegal(board, moveText, &candidates[count])) count++;
    }
    return count;
}

// The distinct moves of the text book's candidates with the number of lines
// offering each, in the order of their first line.
static int countLines(const Move* candidates, int n, BookMove* out, int capacity) {
    int distinct = 0;
    for (int i = 0; i < n; i++) {
        int j = 0;
        while (j < distinct && !sameMove(out[j].move, candidates[i])) j++;
        if (j < distinct) out[j].weight++;
        else if (distinct < capacity) out[distinct++] = BookMove{candidates[i], 1};
    }
    return distinct;
}

int listBookMoves(Board* board, BookMove* out, int capacity) {
    if (bookFile == nullptr) return 0;
    if (bookIsPolyglot()) return polyglotBookMoves(board, polyglotEntries, out, capacity);
    const int n = findBookMoves(board, bookCandidates, BOOK_CANDIDATES);
    return countLines(bookCandidates, n, out, capacity);
}

int pickWeighted(const BookMove* moves, int count, u64 r) {
    for (int i = 0; i < count; i++) {
        if (r < moves[i].weight) return i;
        r -= moves[i].weight;
    }
    return -1;
}

int pickBestWeighted(const BookMove* moves, int count) {
    int best = -1;
    for (int i = 0; i < count; i++)
        if (moves[i].weight > 0 && (best < 0 || moves[i].weight > moves[best].weight)) best = i;
    return best;
}

static bool choosePolyglotMove(Board* board, Move* move, u64 random) {
    BookMove moves[MAX_MOVES];
    const int n = polyglotBookMoves(board, polyglotEntries, moves, MAX_MOVES);
    u64 total = 0;
    for (int i = 0; i < n; i++) total += moves[i].weight;
    if (total == 0) return false;   // no entry, or only moves never to be played
    const int pick =
        bookBestMove ? pickBestWeighted(moves, n) : pickWeighted(moves, n, random % total);
    *move = moves[pick].move;
    return true;
}

bool chooseBookMove(Board* board, Move* move, u64 random) {
    if (bookFile == nullptr) return false;
    if (bookIsPolyglot()) return choosePolyglotMove(board, move, random);
    const int n = findBookMoves(board, bookCandidates, BOOK_CANDIDATES);
    if (n == 0) return false;
    if (bookBestMove) {
        BookMove counted[MAX_MOVES];
        const int distinct = countLines(bookCandidates, n, counted, MAX_MOVES);
        *move = counted[pickBestWeighted(counted, distinct)].move;
        return true;
    }
    *move = bookCandidates[random % static_cast<u64>(n)];
    return true;
}

u8 getBookMove(Board* board, Move* move) {
    u64 random;
    if (bookIsPolyglot()) {
        random = randomBits();
    } else {
        srand(static_cast<unsigned>(time(nullptr)));
        random = static_cast<u64>(rand());
    }
    Move chosen;
    if (!chooseBookMove(board, &chosen, random)) return 0;
    printf("0 0 0 0 %s%s (Book)\n", sqString[chosen.from], sqString[chosen.to]);
    fflush(stdout);
    *move = chosen;
    return 1;
}
