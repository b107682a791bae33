// The tablebase tool reached from the command line.
#pragma once

#include "defs.h"

// "tb probe [FEN] --path DIR" (argv[2] names the tool): the position's WDL
// and DTZ from the tables in DIR, its legal moves grouped by result, and
// the root moves the engine keeps. Returns the exit status: 0, 1 when the
// position is not in the tables, 2 for bad arguments or a path without
// tables, each said in one line on standard error.
int tablebaseTool(Board* board, int argc, char** argv);
