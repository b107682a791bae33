// Developer tools: the EPD test-suite runner.
#include "tools.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "board.h"
#include "debug.h"
#include "hash.h"
#include "san.h"
#include "search.h"

static std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) i++;
        size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t') j++;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

bool parseEpdLine(const std::string& line, EpdRecord* record, std::string* error) {
    *record = EpdRecord();
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();

    // The four position fields, then the operations.
    size_t cursor = 0;
    for (int field = 0; field < 4; field++) {
        while (cursor < text.size() && text[cursor] == ' ') cursor++;
        const size_t end = text.find(' ', cursor);
        if (cursor >= text.size() || end == std::string::npos) {
            *error = "fewer than four position fields";
            return false;
        }
        if (field > 0) record->fen += ' ';
        record->fen += text.substr(cursor, end - cursor);
        cursor = end;
    }

    // Operations end at ';' outside a quoted string.
    while (cursor < text.size()) {
        std::string operation;
        bool quoted = false;
        for (; cursor < text.size(); cursor++) {
            const char c = text[cursor];
            if (c == '"') quoted = !quoted;
            else if (c == ';' && !quoted) break;
            operation += c;
        }
        if (quoted) {
            *error = "unterminated string";
            return false;
        }
        cursor++;   // past the ';'
        const std::vector<std::string> words = splitWords(operation);
        if (words.empty()) continue;
        const std::vector<std::string> operands(words.begin() + 1, words.end());
        if (words[0] == "bm") record->bestMoves = operands;
        else if (words[0] == "am") record->avoidMoves = operands;
        else if (words[0] == "id") {
            const size_t open = operation.find('"');
            const size_t close = operation.rfind('"');
            record->id = open != std::string::npos && close > open
                             ? operation.substr(open + 1, close - open - 1)
                             : (operands.empty() ? "" : operands[0]);
        }
    }
    if (record->bestMoves.empty() && record->avoidMoves.empty()) {
        *error = "no bm or am operation";
        return false;
    }
    return true;
}

static bool readEpdOptions(int argc, char** argv, int* time, int* first) {
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        if (strcmp(argv[i], "--time") == 0) {
            if (!parseNumber(argv[i + 1], 1, 3600000, time)) return false;
        } else if (strcmp(argv[i], "--first") == 0) {
            if (!parseNumber(argv[i + 1], 1, 1000000, first)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// The SAN texts of a list as moves of the position; false when one of them
// is not a legal move there.
static bool readMoves(Board* board, const std::vector<std::string>& texts, std::vector<Move>* moves,
                      std::string* bad) {
    for (const std::string& text : texts) {
        Move move;
        if (!parseSan(board, text.c_str(), &move)) {
            *bad = text;
            return false;
        }
        moves->push_back(move);
    }
    return true;
}

static bool listed(const std::vector<Move>& moves, const Move& move) {
    for (const Move& m : moves)
        if (sameMove(m, move)) return true;
    return false;
}

static std::string joined(const char* name, const std::vector<std::string>& texts) {
    std::string out;
    if (texts.empty()) return out;
    out = name;
    for (const std::string& t : texts) out += " " + t;
    return out;
}

int epdTool(Board* board, int argc, char** argv) {
    int time = 1000, first = 1000000;
    if (argc < 3 || !readEpdOptions(argc, argv, &time, &first)) {
        fprintf(stderr, "usage: quillantor epd FILE [--time MS] [--first N]\n");
        return 2;
    }
    std::ifstream in(argv[2]);
    if (!in) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 2;
    }
    if (!prepareToolTables()) return 2;
    searchOutput = false;

    int solved = 0, tried = 0, lineNumber = 0;
    std::string line;
    while (tried < first && std::getline(in, line)) {
        lineNumber++;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        EpdRecord record;
        std::string error;
        if (!parseEpdLine(line, &record, &error)) {
            printf("line %d skipped: %s\n", lineNumber, error.c_str());
            continue;
        }
        if (!setupFen(board, record.fen.c_str())) {
            printf("line %d skipped: illegal position\n", lineNumber);
            continue;
        }
        getHashkey(board);
        std::vector<Move> best, avoid;
        std::string bad;
        if (!readMoves(board, record.bestMoves, &best, &bad) ||
            !readMoves(board, record.avoidMoves, &avoid, &bad)) {
            printf("line %d skipped: %s is not a legal move\n", lineNumber, bad.c_str());
            continue;
        }

        // Every position starts from empty tables, as after "setboard".
        prepareToolTables();
        Move move;
        searchToDepth(board, &move, time, MAX_ITERATIONS, time);
        tried++;
        const bool ok =
            move.from != NO_SQUARE && (best.empty() || listed(best, move)) && !listed(avoid, move);
        if (ok) solved++;
        char san[SAN_TEXT_SIZE] = "(none)";
        if (move.from != NO_SQUARE) moveToSan(board, &move, san);
        const std::string id = record.id.empty() ? "line " + std::to_string(lineNumber) : record.id;
        std::string expected = joined("bm", record.bestMoves);
        const std::string avoided = joined("am", record.avoidMoves);
        if (!avoided.empty()) expected += (expected.empty() ? "" : " ") + avoided;
        printf("%s %s %s (%s) depth %d score %d\n", id.c_str(), ok ? "SOLVED" : "FAILED", san,
               expected.c_str(), lastIteration.depth, lastIteration.score);
        fflush(stdout);
    }
    printf("solved %d / %d\n", solved, tried);
    return 0;
}
