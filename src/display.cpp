#include "display.h"

#include <cstdio>

#include "chess960.h"

void setColor(int attribute, int foreground, int background) {
    char sequence[32];
    snprintf(sequence, sizeof sequence, "%c[%d;%d;%dm", 27, attribute, foreground + 30,
             background + 40);
    printf("%s", sequence);
}

void displayBoard(const Board* board, bool colour) {
    // Without colour the same diagram, the escape sequences left out.
    auto setColor = [colour](int attribute, int foreground, int background) {
        if (colour) ::setColor(attribute, foreground, background);
    };
    setColor(1, 7, 0);
    printf("   -------------------------------------------------\n");
    for (int r = 7; r >= 0; r--) {
        setColor(1, 3, 0);
        printf("%i  ", r + 1);
        setColor(1, 7, 0);
        printf("|");
        for (int f = 0; f < 8; f++) {
            const u8 code = board->squares[16 * r + f];
            const int background = ((r + f) & 1) ? 7 : 0;
            setColor(1, code > EMPTY ? 4 : 1, background);
            printf("  %c  ", pcString[code]);
            setColor(1, 7, 0);
            printf("|");
        }
        printf("\n   -------------------------------------------------\n");
    }
    setColor(1, 3, 0);
    printf("      A     B     C     D     E     F     G     H\n");
    setColor(1, 2, 0);
    printf("\t\t[Ply %d: %s to move.]\n", static_cast<int>(board->ply),
           board->sideToMove == WHITE ? "White" : "Black");
    printf("\t[Material balance = %d, nWhite = %d, nBlack = %d].\n", board->materialBalance,
           board->nWhite, board->nBlack);
    printf("\t[Castling status: %d, wKing on %s, bKing on %s]\n",
           static_cast<int>(board->castlingStatus), sqString[board->wKingSquare & 127],
           sqString[board->bKingSquare & 127]);
    printf("\t[Hash key: %x]\n", static_cast<unsigned>(board->hashKey & 0xffffffffu));
    setColor(0, 7, 0);
}

std::string boardToFen(const Board* board) {
    std::string fen;
    for (int r = 7; r >= 0; r--) {
        int empty = 0;
        for (int f = 0; f < 8; f++) {
            const u8 code = board->squares[16 * r + f];
            if (code == EMPTY) {
                empty++;
                continue;
            }
            if (empty > 0) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += pcString[code];
        }
        if (empty > 0) fen += static_cast<char>('0' + empty);
        if (r > 0) fen += '/';
    }
    fen += board->sideToMove == WHITE ? " w " : " b ";
    fen += castlingFieldText(board);
    fen += ' ';
    fen += board->epSquare == NO_SQUARE ? "-" : sqString[board->epSquare & 127];
    return fen;
}
