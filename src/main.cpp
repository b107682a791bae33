// Entry: start-up in its fixed order, then the command loop. With a
// command-line argument the program runs one of its developer tools instead.
#include <cstdio>

#include "debug.h"
#include "interface.h"

int main(int argc, char** argv) {
    Board board;
    if (argc > 1) return runTool(&board, argc, argv);
    if (!startEngine(&board)) return 1;
    xboardLoop(&board);
    return 0;
}
