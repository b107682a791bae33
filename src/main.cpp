// Entry: start-up in its fixed order, then the command loop. With a
// command-line argument the program runs one of its developer tools instead.
// The banner and the configuration messages come first, so a user at a
// terminal sees them at once; then the first line read chooses the protocol:
// "uci" starts the UCI mode, anything else is the XBoard loop's first line.
#include <cstdio>

#include "debug.h"
#include "interface.h"
#include "tools.h"
#include "uci.h"
#include "utils.h"

int main(int argc, char** argv) {
#ifndef NDEBUG
    // A Debug engine checks its board after every make and unmake.
    installBoardCheck();
#endif
    Board board;
    if (argc > 1) return runTool(&board, argc, argv);
    if (!startEngine(&board)) return 1;
    char line[INPUT_LINE_SIZE];
    const bool haveLine = fgets(line, sizeof line, stdin) != nullptr;
    if (haveLine) dropByteOrderMark(line);
    if (haveLine && isUciGreeting(line)) return uciMain(&board);
    clearSearchTables();
    xboardLoop(&board, haveLine ? line : nullptr);
    return 0;
}
