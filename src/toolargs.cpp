#include "toolargs.h"

#include <cstdio>

#include "board.h"
#include "hash.h"

bool setupToolFen(Board* board, const std::string& fen) {
    std::string why;
    if (!setupFen(board, fen.c_str(), &why)) {
        if (why.empty()) fprintf(stderr, "invalid FEN: %s\n", fen.c_str());
        else fprintf(stderr, "invalid FEN: %s (%s)\n", fen.c_str(), why.c_str());
        return false;
    }
    getHashkey(board);
    return true;
}

std::string joinArgs(int argc, char** argv, int first) {
    std::string text;
    for (int i = first; i < argc; i++) {
        if (i > first) text += ' ';
        text += argv[i];
    }
    return text;
}

bool setupToolPosition(Board* board, int argc, char** argv, int first) {
    return setupToolFen(board,
                        argc > first ? joinArgs(argc, argv, first) : std::string(initialPosition));
}
