// Entry: start-up in its fixed order, then the command loop. With a
// command-line argument the program runs one of its developer tools instead.
// The first line read chooses the protocol: "uci" starts the UCI mode, which
// prints no banner; anything else is the XBoard loop's first line.
#include <cstdio>

#include "tools.h"
#include "interface.h"
#include "uci.h"

int main(int argc, char** argv) {
    Board board;
    if (argc > 1) return runTool(&board, argc, argv);
    char line[INPUT_LINE_SIZE];
    const bool haveLine = fgets(line, sizeof line, stdin) != nullptr;
    if (haveLine && isUciGreeting(line)) return uciMain(&board);
    if (!startEngine(&board)) return 1;
    xboardLoop(&board, haveLine ? line : nullptr);
    return 0;
}
