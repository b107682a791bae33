#include "book.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "interface.h"

FILE* bookFile = nullptr;

// Only a regular file can be a book: opening a FIFO would wait for a writer
// for ever, and a device such as /dev/zero never reaches the end of a line
// or of the file.
static bool isRegularFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

void initBook() {
    bookFile = nullptr;
    if (!isRegularFile(bookFileName)) return;
    bookFile = fopen(bookFileName, "r");
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
    while (fgets(line, sizeof line, bookFile) != nullptr) {
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

u8 getBookMove(Board* board, Move* move) {
    if (bookFile == nullptr) return 0;
    srand(static_cast<unsigned>(time(nullptr)));
    static Move candidates[BOOK_CANDIDATES];
    const int n = findBookMoves(board, candidates, BOOK_CANDIDATES);
    if (n == 0) return 0;
    const Move& chosen = candidates[rand() % n];
    printf("0 0 0 0 %s%s (Book)\n", sqString[chosen.from], sqString[chosen.to]);
    fflush(stdout);
    *move = chosen;
    return 1;
}
