// Developer tools reached from the command line.
#pragma once

#include <string>
#include <vector>

#include "defs.h"

// One position of a test suite in EPD: the position (four FEN fields) and
// the operations the runner reads.
struct EpdRecord {
    std::string fen;
    std::string id;
    std::vector<std::string> bestMoves;    // "bm": SAN, any one of them solves
    std::vector<std::string> avoidMoves;   // "am": SAN, none of them may be chosen
};

// Reads one EPD line; false with *error set when it cannot be used (fewer
// than four fields, no "bm" or "am", an unterminated string).
bool parseEpdLine(const std::string& line, EpdRecord* record, std::string* error);

// The command line "quillantor TOOL ARGS...": perft, show, eval, bench,
// search or epd. Returns the process exit status (2 for bad arguments, each
// reported in one line on standard error).
int runTool(Board* board, int argc, char** argv);

// "epd FILE [--time MS] [--first N]": searches each position of the file
// for MS milliseconds (default 1000) from cleared tables and compares the
// move with its bm and am operations; one line per position, then the total.
int epdTool(Board* board, int argc, char** argv);
