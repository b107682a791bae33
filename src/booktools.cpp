#include "booktools.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "board.h"
#include "book.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "pgn.h"
#include "san.h"
#include "toolargs.h"
#include "utils.h"

// A move as a text book writes it: origin and destination, four letters.
static std::string bookText(const Move& move) {
    return std::string(sqString[move.from & 127]) + sqString[move.to & 127];
}

static void startPosition(Board* board) {
    setupFen(board, initialPosition);
    getHashkey(board);
}

// ---------------------------------------------------------------------------
// Text books from PGN games

// "12. Nf3" or "12... Nf6": the move of a ply as a game score numbers it.
static std::string numberedMove(int ply, const std::string& san) {
    return std::to_string(ply / 2 + 1) + (ply % 2 == 0 ? ". " : "... ") + san;
}

int addPgnGames(Board* board, const std::string& source, const std::string& pgnText, int plies,
                OpeningCounts* counts, std::vector<std::string>* reports) {
    PgnReader reader(pgnText);
    PgnGame game;
    int added = 0;
    for (int number = 1; reader.next(&game); number++) {
        const std::string where =
            source + ":" + std::to_string(game.line) + ": game " + std::to_string(number) + " ";
        if (!game.error.empty()) {
            reports->push_back(where + "skipped: " + game.error);
            continue;
        }
        // The book's lines start from the start position; a game from a
        // set-up position shares no line with them.
        if (!pgnTag(game, "FEN").empty()) {
            reports->push_back(where + "skipped: it starts from a set-up position (FEN tag)");
            continue;
        }
        startPosition(board);
        std::string line;
        std::string bad;
        const int last = std::min(plies, static_cast<int>(game.moves.size()));
        for (int ply = 0; ply < last; ply++) {
            Move move;
            if (!parseSan(board, game.moves[ply].c_str(), &move)) {
                bad = numberedMove(ply, game.moves[ply]);
                break;
            }
            if (move.flags & MF_PROMOTION) break;   // a text line cannot write it
            playGameMove(board, &move);
            line += bookText(move);
        }
        if (!bad.empty()) {
            reports->push_back(where + "skipped: " + bad.append(" is not a legal move there"));
            continue;
        }
        (*counts)[""]++;
        for (size_t length = 4; length <= line.size(); length += 4)
            (*counts)[line.substr(0, length)]++;
        added++;
    }
    return added;
}

std::vector<std::string> openingLines(const OpeningCounts& counts, int minGames) {
    std::set<std::string> continued;
    for (const auto& [line, games] : counts)
        if (games >= minGames && !line.empty()) continued.insert(line.substr(0, line.size() - 4));
    std::vector<std::string> lines;
    for (const auto& [line, games] : counts)
        if (games >= minGames && !line.empty() && continued.count(line) == 0)
            lines.push_back(" " + line);
    return lines;
}

// ---------------------------------------------------------------------------
// Text books from a Polyglot book

static void walkBook(Board* board, const std::vector<PolyglotEntry>& entries, int pliesLeft,
                     u32 minWeight, std::string* line,
                     const std::function<void(const std::string&)>& write, int* lines) {
    std::vector<BookMove> moves(MAX_MOVES);
    const int n = pliesLeft > 0 ? polyglotBookMoves(board, entries, moves.data(), MAX_MOVES) : 0;
    moves.resize(static_cast<size_t>(n));
    std::stable_sort(moves.begin(), moves.end(),
                     [](const BookMove& a, const BookMove& b) { return a.weight > b.weight; });
    bool continued = false;
    for (size_t i = 0; i < moves.size(); i++) {
        const Move& move = moves[i].move;
        if (moves[i].weight < minWeight || (move.flags & MF_PROMOTION)) continue;
        // A book may hold the same move twice; its lines are written once.
        bool seen = false;
        for (size_t j = 0; j < i; j++) seen = seen || sameMove(moves[j].move, move);
        if (seen || !playGameMove(board, &move)) continue;
        line->append(bookText(move));
        walkBook(board, entries, pliesLeft - 1, minWeight, line, write, lines);
        line->resize(line->size() - 4);
        takeBackGameMove(board);
        continued = true;
    }
    if (!continued && !line->empty()) {
        write(" " + *line);
        (*lines)++;
    }
}

int polyglotLines(Board* board, const std::vector<PolyglotEntry>& entries, int plies, int minWeight,
                  const std::function<void(const std::string&)>& write) {
    startPosition(board);
    std::string line;
    int lines = 0;
    walkBook(board, entries, plies, static_cast<u32>(std::max(minWeight, 1)), &line, write, &lines);
    return lines;
}

// ---------------------------------------------------------------------------
// The tools

static int usage(const char* text) {
    fprintf(stderr, "usage: quillantor book %s\n", text);
    return 2;
}

// Opens path as the engine's book; false, said on standard error, when it is none.
static bool openToolBook(const std::string& path) {
    std::string why;
    const BookOpen result = openBook(path.c_str(), &why);
    if (result == BOOK_OPENED) return true;
    if (result == BOOK_MISSING) fprintf(stderr, "cannot open %s\n", path.c_str());
    else fprintf(stderr, "%s is no book: %s\n", path.c_str(), why.c_str());
    return false;
}

static const char* probeUsage = "probe [FEN] [--moves MOVE...] [--book FILE] [--time]";

// Prints the Polyglot entries of the position, legal ones with their share
// of the weight, the others marked.
static void printPolyglotEntries(Board* board) {
    const std::vector<PolyglotEntry>& entries = polyglotBookEntries();
    const u64 key = polyglotKey(board);
    printf("key %016llx\n", static_cast<unsigned long long>(key));
    size_t count = 0;
    const size_t first = findPolyglotEntries(entries, key, &count);
    std::vector<PolyglotEntry> found(entries.begin() + static_cast<std::ptrdiff_t>(first),
                                     entries.begin() + static_cast<std::ptrdiff_t>(first + count));
    std::stable_sort(
        found.begin(), found.end(),
        [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.weight > b.weight; });
    u64 total = 0;
    std::vector<bool> legal;
    for (const PolyglotEntry& e : found) {
        char text[6];
        Move move;
        legal.push_back(polyglotMoveText(board, e.move, text) &&
                        inputMoveLegal(board, text, &move));
        if (legal.back()) total += e.weight;
    }
    for (size_t i = 0; i < found.size(); i++) {
        char text[6];
        if (!polyglotMoveText(board, found[i].move, text))
            snprintf(text, sizeof text, "%04x", found[i].move);
        if (legal[i])
            printf("%-5s weight %5u  %5.1f%%\n", text, found[i].weight,
                   total > 0 ? 100.0 * found[i].weight / static_cast<double>(total) : 0.0);
        else printf("%-5s weight %5u  not legal here: never played\n", text, found[i].weight);
    }
    if (found.empty()) printf("no book move\n");
}

static void printTextBookMoves(Board* board) {
    std::vector<BookMove> moves(MAX_MOVES);
    moves.resize(static_cast<size_t>(listBookMoves(board, moves.data(), MAX_MOVES)));
    std::stable_sort(moves.begin(), moves.end(),
                     [](const BookMove& a, const BookMove& b) { return a.weight > b.weight; });
    u64 total = 0;
    for (const BookMove& m : moves) total += m.weight;
    for (const BookMove& m : moves)
        printf("%s  lines %6u  %5.1f%%\n", bookText(m.move).c_str(), m.weight,
               100.0 * m.weight / static_cast<double>(total));
    if (moves.empty()) printf("no book move\n");
}

// Repeats the whole lookup (for a text book the scan of the file, for a
// Polyglot book the key, the search and the legality of the moves) for
// half a second and prints the mean time of one.
static void timeLookups(Board* board) {
    BookMove scratch[MAX_MOVES];
    const auto start = std::chrono::steady_clock::now();
    long lookups = 0;
    double seconds = 0;
    do {
        listBookMoves(board, scratch, MAX_MOVES);
        lookups++;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (seconds < 0.5 && lookups < 10000000);
    printf("lookup: %.2f us each (%ld lookups in %.0f ms)\n",
           seconds * 1e6 / static_cast<double>(lookups), lookups, seconds * 1000);
}

static int probeTool(Board* board, int argc, char** argv) {
    std::string fen, path = bookFileName;
    std::vector<std::string> moves;
    bool timed = false;
    for (int i = 3; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--book") {
            if (++i >= argc) return usage(probeUsage);
            path = argv[i];
        } else if (arg == "--time") {
            timed = true;
        } else if (arg == "--moves") {
            while (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) moves.push_back(argv[++i]);
        } else if (arg.rfind("--", 0) == 0) {
            return usage(probeUsage);
        } else {
            fen += (fen.empty() ? "" : " ") + arg;
        }
    }
    if (!setupToolFen(board, fen.empty() ? std::string(initialPosition) : fen)) return 2;
    for (const std::string& text : moves) {
        Move move;
        if (!inputMoveLegal(board, text.c_str(), &move) || !playGameMove(board, &move)) {
            fprintf(stderr, "%s is not a legal move there\n", text.c_str());
            return 2;
        }
    }
    if (!openToolBook(path)) return 2;
    if (bookIsPolyglot()) {
        printf("book %s: Polyglot, %zu entries\n", path.c_str(), polyglotBookEntries().size());
        printPolyglotEntries(board);
    } else {
        printf("book %s: text\n", path.c_str());
        printTextBookMoves(board);
    }
    if (timed) timeLookups(board);
    return 0;
}

// The whole of a regular file; false, with the reason, for anything else.
static bool readWholeFile(const char* path, std::string* text, std::string* why) {
    struct stat info;
    if (stat(path, &info) != 0) *why = "cannot open";
    else if (!S_ISREG(info.st_mode)) *why = "not a regular file";
    else {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        if (in) all << in.rdbuf();
        if (in && !in.bad()) {
            *text = all.str();
            return true;
        }
        *why = "cannot be read";
    }
    return false;
}

static const char* makeUsage = "make FILE.pgn... [--plies N] [--min-games K] > out.bk";

static int makeTool(Board* board, int argc, char** argv) {
    int plies = 16, minGames = 1;
    std::vector<const char*> files;
    for (int i = 3; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--plies") {
            if (++i >= argc || !readNumberInRange(argv[i], 1, 255, &plies)) return usage(makeUsage);
        } else if (arg == "--min-games") {
            if (++i >= argc || !readNumberInRange(argv[i], 1, 1 << 30, &minGames))
                return usage(makeUsage);
        } else if (arg.rfind("--", 0) == 0) {
            return usage(makeUsage);
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) return usage(makeUsage);
    OpeningCounts counts;
    int used = 0, skipped = 0;
    for (const char* file : files) {
        std::string text, why;
        if (!readWholeFile(file, &text, &why)) {
            fprintf(stderr, "%s: %s\n", file, why.c_str());
            return 2;
        }
        text = textFromBytes(text);
        std::vector<std::string> reports;
        used += addPgnGames(board, file, text, plies, &counts, &reports);
        skipped += static_cast<int>(reports.size());
        for (const std::string& report : reports) fprintf(stderr, "%s\n", report.c_str());
    }
    const std::vector<std::string> lines = openingLines(counts, minGames);
    for (const std::string& line : lines) printf("%s\n", line.c_str());
    fprintf(stderr, "book make: %d games used, %d skipped, %zu lines\n", used, skipped,
            lines.size());
    return 0;
}

static const char* convertUsage = "convert FILE.bin [--plies N] [--min-weight W] > out.bk";

static int convertTool(Board* board, int argc, char** argv) {
    int plies = 16, minWeight = 1;
    const char* file = nullptr;
    for (int i = 3; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--plies") {
            if (++i >= argc || !readNumberInRange(argv[i], 1, 255, &plies))
                return usage(convertUsage);
        } else if (arg == "--min-weight") {
            if (++i >= argc || !readNumberInRange(argv[i], 0, 65535, &minWeight))
                return usage(convertUsage);
        } else if (arg.rfind("--", 0) == 0 || file != nullptr) {
            return usage(convertUsage);
        } else {
            file = argv[i];
        }
    }
    if (file == nullptr) return usage(convertUsage);
    if (!openToolBook(file)) return 2;
    if (!bookIsPolyglot()) {
        fprintf(stderr, "%s is a text book, not a Polyglot book\n", file);
        return 2;
    }
    const int lines = polyglotLines(board, polyglotBookEntries(), plies, minWeight,
                                    [](const std::string& line) { printf("%s\n", line.c_str()); });
    fprintf(stderr, "book convert: %d lines of at most %d plies, weights of %d or more\n", lines,
            plies, std::max(minWeight, 1));
    return 0;
}

int bookTool(Board* board, int argc, char** argv) {
    const std::string tool = argc > 2 ? argv[2] : "";
    if (tool == "probe") return probeTool(board, argc, argv);
    if (tool == "make") return makeTool(board, argc, argv);
    if (tool == "convert") return convertTool(board, argc, argv);
    fprintf(stderr, "usage: quillantor book probe|make|convert ... (see quillantor help)\n");
    return 2;
}
