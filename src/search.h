// Search: iterative deepening, alpha-beta, quiescence, heuristics, clock.
#pragma once

#include "defs.h"

// Command-line tools: "bench [DEPTH]" and "search DEPTH [FEN]".
int benchTool(Board* board, int argc, char** argv);
int searchTool(Board* board, int argc, char** argv);
