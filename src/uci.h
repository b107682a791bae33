// The UCI mode: the protocol of today's GUIs and testers, chosen when the
// first line the engine reads is "uci". It drives the same search, book and
// tables as the XBoard loop, with the search in a thread of its own so that
// "stop", "isready", "ponderhit" and "quit" are read while it thinks.
#pragma once

#include <string>
#include <vector>

#include "defs.h"
#include "search.h"
#include "timecontrol.h"

inline constexpr i32 UCI_HASH_MAX_MB = 65536;
inline constexpr int UCI_MULTIPV_MAX = 256;
inline constexpr size_t UCI_LINE_LIMIT = 1 << 20;      // characters of one input line kept
inline constexpr i32 UCI_MOVE_OVERHEAD_DEFAULT = 10;   // ms
inline constexpr i32 UCI_MOVE_OVERHEAD_MAX = 5000;

// Reads the words after "go". Unknown words and missing or malformed
// numbers are skipped, each with a reason appended to *refusals.
GoLimits parseGoArguments(const std::vector<std::string>& words,
                          std::vector<std::string>* refusals);

// A search score as UCI shows it: "cp X", or "mate N" in moves (negative
// when the side to move is mated).
std::string uciScore(i32 score);

// A move as UCI writes it: exactly four or five characters, a legal move
// of the side to move, a fifth letter only on a promotion (which needs
// it). The move goes to *move; false for anything else. The board is left
// as inputMoveLegal leaves it.
bool uciMoveLegal(Board* board, const std::string& text, Move* move);

// The legal moves among the texts (coordinate notation), each once, in the
// order given: the moves a "go searchmoves" restricts the root to. Each text
// that is no legal move adds a refusal. The board is left as it was, the
// scratch of the legality tests included.
MoveSet rootMovesFromTexts(Board* board, const std::vector<std::string>& texts,
                           std::vector<std::string>* refusals);

// Sets the board from the words after "position": "startpos" or "fen ..."
// then optionally "moves ...". A refused position (bad FEN, no such form)
// leaves the board as it was; an illegal move, or one that does not fit the
// game history, ends the list there. Each refusal is appended to *refusals.
// Returns true when the position is now built from the start position.
bool setUciPosition(Board* board, const std::vector<std::string>& words,
                    std::vector<std::string>* refusals, bool* fromStart);

// The hash size in megabytes that count buckets make, at least 1.
i32 hashMegabytes(i32 buckets);

// True when the line, white space around it aside, is "uci".
bool isUciGreeting(const char* line);

// Runs the UCI session after the first "uci" line: start-up without the
// banner, the identification, then commands until "quit" or end of input.
// Returns the process exit status.
int uciMain(Board* board);
