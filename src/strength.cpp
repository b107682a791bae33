#include "strength.h"

#include <cmath>

StrengthLevel strengthLevel(int elo) {
    if (elo < STRENGTH_ELO_MIN) elo = STRENGTH_ELO_MIN;
    if (elo > STRENGTH_ELO_MAX) elo = STRENGTH_ELO_MAX;
    StrengthLevel level;
    // Every 100 points double the nodes: 512 at the bottom of the range.
    level.nodes = static_cast<i64>(512.0 * std::pow(2.0, (elo - STRENGTH_ELO_MIN) / 100.0));
    level.lines = 4;
    // The lower the level, the more often a move some way below the best.
    level.temperature = (STRENGTH_ELO_MAX - elo) / 5 > 5 ? (STRENGTH_ELO_MAX - elo) / 5 : 5;
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
