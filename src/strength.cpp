#include "strength.h"

#include <algorithm>
#include <cmath>

// The mapping measured against stockfish's levels: 512 nodes at 1000, twice
// as many every 100 points; the temperature falls by a centipawn every five
// points and would reach nothing at 2000 (it stops at 5).
constexpr int NODES_AT_1000 = 512;
constexpr int ELO_PER_DOUBLING = 100;
constexpr int ELO_OF_NO_TEMPERATURE = 2000;
constexpr int ELO_PER_CENTIPAWN = 5;
constexpr i32 MIN_TEMPERATURE = 5;

StrengthLevel strengthLevel(int elo) {
    if (elo < STRENGTH_ELO_MIN) elo = STRENGTH_ELO_MIN;
    if (elo > STRENGTH_ELO_MAX) elo = STRENGTH_ELO_MAX;
    StrengthLevel level;
    level.nodes = static_cast<i64>(
        NODES_AT_1000 * std::pow(2.0, static_cast<double>(elo - 1000) / ELO_PER_DOUBLING));
    level.lines = 4;
    // The lower the level, the more often a move some way below the best.
    level.temperature =
        std::max((ELO_OF_NO_TEMPERATURE - elo) / ELO_PER_CENTIPAWN, MIN_TEMPERATURE);
    level.maxLoss = 3 * level.temperature;
    return level;
}

int pickLevelLine(const SearchLines& lines, const StrengthLevel& level, u64 random) {
    if (lines.count <= 0) return -1;
    if (lines.count == 1) return 0;
    const i32 best = lines.scores[0];
    double weights[MAX_MOVES];
    double total = 0;
    for (int i = 0; i < lines.count; i++) {
        const i32 loss = best - lines.scores[i];
        weights[i] = loss <= level.maxLoss && lines.lines[i].count > 0
                         ? std::exp(-static_cast<double>(loss) / level.temperature)
                         : 0.0;
        total += weights[i];
    }
    if (total <= 0) return 0;
    // A number in [0, total) from the top 53 bits of the random number.
    double r = static_cast<double>(random >> 11) * (1.0 / 9007199254740992.0) * total;
    for (int i = 0; i < lines.count; i++) {
        if (r < weights[i]) return i;
        r -= weights[i];
    }
    return 0;
}
