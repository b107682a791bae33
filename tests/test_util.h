// Small helpers shared by the engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "defs.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "search.h"
#include "utils.h"

// Every test file that needs a table allocates this size, whichever runs first.
inline constexpr i32 TEST_BUCKETS = 16384;

// A small table, allocated once for the whole test run (the engine never
// frees its table either) and emptied for each test, and a bare board.
class SmallTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (hashtable == nullptr) {
            ASSERT_EQ(initHashtable(TEST_BUCKETS), 1);
        }
        hashSize = TEST_BUCKETS;
        clearHashtable(hashSize);
        board = std::make_unique<Board>();
        board->ply = 0;
    }
    void TearDown() override { hashSize = TEST_BUCKETS; }

    std::unique_ptr<Board> board;
    HashCounters counters;
};

// The key a table slot answers: its lock opened by its word.
inline u64 slotKey(const HashBucket& bucket, int slot) {
    return bucket.lock[slot] ^ bucket.slots.word[slot];
}

// Scratch move lists for the tests that generate outside a search (the
// search's lists are its thread's): which = 0..3, four distinct lists.
inline MoveList* testList(int which) {
    static MoveList lists[4];
    return &lists[which];
}

// The board is over a megabyte: tests keep it on the heap.
inline std::unique_ptr<Board> newBoard(const char* fen = initialPosition) {
    auto board = std::make_unique<Board>();
    if (!setupFen(board.get(), fen)) ADD_FAILURE() << "FEN refused: " << fen;
    getHashkey(board.get());
    return board;
}

inline std::unique_ptr<Board> newBoard(const std::string& fen) { return newBoard(fen.c_str()); }

// A search thread's own record (about 3 MB, on the heap): zeroed, with empty
// killers and history, its board set up from the FEN with keys, at ply 0.
// Its index is 0: its clock poll reads the clock, as the main thread's does.
inline std::unique_ptr<SearchThread> newSearchThread(const char* fen = initialPosition) {
    auto thread = std::make_unique<SearchThread>();
    clearHistoryHeuristic(&thread->heuristics);
    clearKillerMove(&thread->heuristics);
    if (!setupFen(&thread->board, fen)) ADD_FAILURE() << "FEN refused: " << fen;
    getHashkey(&thread->board);
    return thread;
}

inline int sq(const char* name) { return (name[1] - '1') * 16 + (name[0] - 'a'); }

// Coordinate texts of the legal (or pseudo-legal) moves in generation order,
// blank separated.
inline std::string moveTexts(Board* board, u8 legal = 1) {
    MoveList list;
    const u32 n = generateMoves(board, &list, legal);
    std::string out;
    char text[8];
    for (u32 i = 0; i < n; i++) {
        moveToText(&list.moves[i], text);
        if (!out.empty()) out += ' ';
        out += text;
    }
    return out;
}

// The legal move with this coordinate text; fails the test when there is none.
inline Move findMove(Board* board, const char* text) {
    MoveList list;
    const u32 n = generateMoves(board, &list, 1);
    char buf[8];
    for (u32 i = 0; i < n; i++) {
        moveToText(&list.moves[i], buf);
        if (std::string(buf) == text) return list.moves[i];
    }
    ADD_FAILURE() << "no legal move " << text;
    Move none{};
    none.from = NO_SQUARE;
    return none;
}

// One position of a perft data file with its leaf counts by depth.
struct PerftCase {
    std::string fen;
    std::vector<std::pair<int, u64>> depths;
};

// The positions of a perft data file in tests/data, lines "FEN ;D1 n ;D2 n
// ..." (Ethereal's EPD style); lines starting with '#' are comments.
inline std::vector<PerftCase> loadPerftSuite(const std::string& name) {
    std::vector<PerftCase> cases;
    std::ifstream in(std::string(QL_DATA_DIR) + "/" + name);
    std::string line;
    while (std::getline(in, line)) {
        const size_t cut = line.find(" ;");
        if (line.empty() || line[0] == '#' || cut == std::string::npos) continue;
        PerftCase c;
        c.fen = line.substr(0, cut);
        std::stringstream rest(line.substr(cut));
        std::string token;
        while (std::getline(rest, token, ';')) {
            int depth = 0;
            unsigned long long count = 0;
            if (sscanf(token.c_str(), " D%d %llu", &depth, &count) == 2)
                c.depths.push_back({depth, static_cast<u64>(count)});
        }
        cases.push_back(c);
    }
    return cases;
}

// Plays a game move typed as text through the command loop's own path; fails
// the test when it is refused.
inline void playTyped(Board* board, const char* text) {
    Move move;
    ASSERT_EQ(inputMoveLegal(board, text, &move), 1) << text;
    ASSERT_EQ(playGameMove(board, &move), 1) << text;
}

// Captures standard output between start() and take(); a test that stops
// early at a failed ASSERT still releases the capture.
class CapturedStdout {
public:
    CapturedStdout() = default;
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;
    ~CapturedStdout() {
        if (active) testing::internal::GetCapturedStdout();
    }
    void start() {
        testing::internal::CaptureStdout();
        active = true;
    }
    std::string take() {
        active = false;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool active = false;
};

// The lines of a tool's or a session's output.
inline std::vector<std::string> outputLines(const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream in(out);
    std::string row;
    while (std::getline(in, row)) rows.push_back(row);
    return rows;
}

// The bytes of a string literal, NUL bytes inside it included.
template <size_t N>
inline std::string literalBytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// One thinking line: depth, score, time in centiseconds, nodes, the line.
struct ThinkingLine {
    int depth;
    i32 score;
    i32 centiseconds;
    i64 nodes;
    std::vector<std::string> moves;
};

// The iteration lines of the output (fail-high lines end in '!').
inline std::vector<ThinkingLine> thinkingLines(const std::string& out) {
    std::vector<ThinkingLine> lines;
    std::istringstream in(out);
    std::string row;
    while (std::getline(in, row)) {
        if (row.empty() || row.back() == '!') continue;
        std::istringstream fields(row);
        ThinkingLine line;
        if (!(fields >> line.depth >> line.score >> line.centiseconds >> line.nodes)) continue;
        std::string move;
        while (fields >> move) line.moves.push_back(move);
        lines.push_back(line);
    }
    return lines;
}
