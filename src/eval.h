// Static evaluation.
#pragma once

#include "defs.h"

// Command-line tool: "eval" reads FEN/EPD lines from standard input.
int evalTool(Board* board, int argc, char** argv);
