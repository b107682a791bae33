#include "history.h"

#include <cstdio>

void clearHistoryHeuristic(MoveHistory* history) {
    for (int i = 0; i < HISTORY_DIVISOR_CELL; i++) {
        history->historyHeuristic[i] = 0;
        history->successHistoryHeuristic[i] = 0;
        history->badHistoryHeuristic[i] = 0;
    }
    for (int i = HISTORY_DIVISOR_CELL; i < HISTORY_SIZE; i++) {
        history->historyHeuristic[i] = 1;
        history->successHistoryHeuristic[i] = 1;
        history->badHistoryHeuristic[i] = 1;
    }
}

static inline void emptyKillers(MoveHistory* history, int colour, u32 ply) {
    for (int k = 0; k < 3; k++) {
        history->killerMove[colour][ply][k].move.from = NO_SQUARE;
        history->killerMove[colour][ply][k].counter = 0;
    }
}

void clearKillerMove(MoveHistory* history) {
    for (int colour = 0; colour < 2; colour++)
        for (u32 ply = 0; ply < MAX_PLY; ply++) emptyKillers(history, colour, ply);
}

void clearKillersDepth(MoveHistory* history, u32 ply) {
    if (ply + 2 >= MAX_PLY) return;
    emptyKillers(history, 0, ply + 2);
    emptyKillers(history, 1, ply + 2);
}

void updateKillerMove(MoveHistory* history, u32 ply, const Move* move) {
    if (!isQuiet(move)) return;
    KillerEntry* k = history->killerMove[colourOf(move->piece)][ply];
    if (killerMatches(k[0].move, *move)) k[0].counter++;
    else if (killerMatches(k[1].move, *move)) k[1].counter++;
    else if (killerMatches(k[2].move, *move)) k[2].counter++;
    else {
        k[2].move = *move;
        k[2].counter = 1;
    }
    // One bubbling pass from the bottom: an entry can rise two places.
    if (k[2].counter > k[1].counter) {
        const KillerEntry t = k[1];
        k[1] = k[2];
        k[2] = t;
    }
    if (k[1].counter > k[0].counter) {
        const KillerEntry t = k[0];
        k[0] = k[1];
        k[1] = t;
    }
}

void updateHistoryHeuristic(MoveHistory* history, const Move* move, i32 depth) {
    if (!isQuiet(move)) return;
    u32* cells = history->historyHeuristic;
    const int index = historyIndex(move);
    history->successHistoryHeuristic[index]++;
    cells[index] += static_cast<u32>(depth) * static_cast<u32>(depth);
    if (cells[index] > HISTORY_LIMIT) {
        // Halve the whole colour so the old knowledge fades evenly.
        const int first = colourOf(move->piece) * HISTORY_COLOUR_CELLS;
        for (int i = first; i < first + HISTORY_COLOUR_CELLS; i++) cells[i] >>= 1;
    }
}

void updateBadHistoryHeuristic(MoveHistory* history, const Move* move) {
    if (!isQuiet(move)) return;
    history->badHistoryHeuristic[historyIndex(move)]++;
}

u32 getHistoryBonus(const MoveHistory* history, const Move* move) {
    return history->historyHeuristic[historyIndex(move)];
}

i32 getBadHistoryBonus(const MoveHistory* history, const Move* move) {
    const int colour = colourOf(move->piece);
    const double ratio =
        static_cast<double>(history->badHistoryHeuristic[historyIndex(move)]) /
        static_cast<double>(history->badHistoryHeuristic[HISTORY_DIVISOR_CELL + colour]);
    return static_cast<i32>(ratio * 1000.0);
}

void showKillers(const MoveHistory* history, u8 side, u32 ply) {
    const KillerEntry* k = history->killerMove[side][ply];
    for (int i = 0; i < 3; i++)
        printf("%d) f: %d  t: %d, counter = %d\n", i + 1, k[i].move.from, k[i].move.to,
               static_cast<int>(k[i].counter));
}
