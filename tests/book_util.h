// Helpers of the book tests: Polyglot books built in memory, and the
// engine's book swapped for the length of a test.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "book.h"
#include "polyglot.h"
#include "test_util.h"

// A move as the Polyglot format writes it, from its coordinate text: the
// squares, and a promotion letter (n, b, r, q) or none. Castling is written
// as the format writes it, e1h1.
inline u16 pgMove(const std::string& text) {
    const int promotion =
        text.size() > 4 ? static_cast<int>(std::string(" nbrq").find(text[4])) : 0;
    return static_cast<u16>(promotion << 12 | (text[1] - '1') << 9 | (text[0] - 'a') << 6 |
                            (text[3] - '1') << 3 | (text[2] - 'a'));
}

inline void sortByKey(std::vector<PolyglotEntry>* entries) {
    std::stable_sort(entries->begin(), entries->end(),
                     [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.key < b.key; });
}

// The bytes of a book of these entries, highest byte first, sorted by key
// as a book must be unless told not to.
inline std::string bookBytes(std::vector<PolyglotEntry> entries, bool sort = true) {
    if (sort) sortByKey(&entries);
    std::string bytes;
    auto put = [&bytes](u64 value, int size) {
        for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
            bytes += static_cast<char>(value >> shift);
    };
    for (const PolyglotEntry& e : entries) {
        put(e.key, 8);
        put(e.move, 2);
        put(e.weight, 2);
        put(e.learn, 4);
    }
    return bytes;
}

// Entries that offer each move of a line, from the start position, in the
// position before it (Polyglot spelling), all of one weight.
inline std::vector<PolyglotEntry> entriesAlong(const std::vector<std::string>& moves, u16 weight) {
    auto board = newBoard(initialPosition);
    std::vector<PolyglotEntry> entries;
    for (const std::string& m : moves) {
        entries.push_back({polyglotKey(board.get()), pgMove(m), weight, 0});
        char text[6];
        polyglotMoveText(board.get(), pgMove(m), text);
        playTyped(board.get(), text);
    }
    return entries;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The engine's book for the test's lifetime: a file opened as the engine
// opens one, or a text installed as a text book. The handle that was there
// before is put back after.
class BookFileGuard {
public:
    BookFileGuard() : saved(bookFile) { bookFile = nullptr; }
    explicit BookFileGuard(const std::string& path) : BookFileGuard() { result = open(path); }
    ~BookFileGuard() {
        closeBook();
        bookFile = saved;
    }
    BookFileGuard(const BookFileGuard&) = delete;
    BookFileGuard& operator=(const BookFileGuard&) = delete;

    BookOpen open(const std::string& path) { return openBook(path.c_str(), &why); }
    void install(const std::string& text) {
        closeBook();
        bookFile = tmpfile();
        fwrite(text.data(), 1, text.size(), bookFile);
    }

    BookOpen result = BOOK_MISSING;
    std::string why;

private:
    FILE* saved;
};
