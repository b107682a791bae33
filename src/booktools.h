// The book tools of the command line: what a book offers in a position,
// and text books made from PGN games or from a Polyglot book.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "defs.h"
#include "polyglot.h"

// Games through each opening line: the line's moves as book text
// ("e2e4e7e5", no leading blank; "" is the start position) -> games.
using OpeningCounts = std::map<std::string, int>;

// Adds the games of a PGN text to *counts: each good game's first plies
// (at most `plies`, and only up to its first promotion, which a text book
// cannot write) from the start position. A game with a broken tag, comment
// or variation, a move that is not legal, or a set-up position (a FEN tag)
// is skipped, with one line in *reports that names source, line and
// reason. Returns the number of games added. The board is scratch.
int addPgnGames(Board* board, const std::string& source, const std::string& pgnText, int plies,
                OpeningCounts* counts, std::vector<std::string>* reports);

// The lines of a text book (each a blank and the moves) from the counts:
// a line runs as long as at least minGames games follow it, and only lines
// that no longer kept line continues are written, in sorted order.
std::vector<std::string> openingLines(const OpeningCounts& counts, int minGames);

// Walks a Polyglot book from the start position, depth first, along the
// legal moves of weight at least minWeight (and at least 1), best weight
// first, and hands each line that ends (after `plies` half-moves, where the
// book has no such move, or before a promotion) to write, once, as a text
// book line. Returns the number of lines. The board is scratch.
int polyglotLines(Board* board, const std::vector<PolyglotEntry>& entries, int plies, int minWeight,
                  const std::function<void(const std::string&)>& write);

// "book probe|make|convert ..." (argv[2] names the tool). Returns the exit
// status: 0, or 2 for bad arguments or a file that cannot be used, each
// said in one line on standard error.
int bookTool(Board* board, int argc, char** argv);
