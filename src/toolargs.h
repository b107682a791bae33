// What the command-line tools share: the position they are given, read as
// setboard reads it, and their words joined back into a FEN.
#pragma once

#include <string>

#include "defs.h"

// Sets the board up from a FEN (as setboard takes it) with its keys; false,
// with "invalid FEN: ..." on standard error, when it is refused.
bool setupToolFen(Board* board, const std::string& fen);

// argv[first..] joined with blanks: a FEN given unquoted arrives as words.
std::string joinArgs(int argc, char** argv, int first);

// The position of argv[first..], the start position when there are no
// more words; false, with the message of setupToolFen, when refused.
bool setupToolPosition(Board* board, int argc, char** argv, int first);
