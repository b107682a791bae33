// Playing strength a person can choose. A level on the Elo scale becomes a
// smaller search (a node budget per move) and a choice among the few best
// root moves, each with a chance that falls with how much worse than the
// best it scores, so that a weaker level plays the moves a weaker player
// would think of rather than a strong player's moves with random blunders.
#pragma once

#include "defs.h"
#include "search.h"

// The range of levels, on the scale of the Elo levels of Debian's stockfish
// (UCI_Elo), measured against it where that scale reaches (1350 and up);
// the levels below are extrapolated.
inline constexpr int STRENGTH_ELO_MIN = 1000;
inline constexpr int STRENGTH_ELO_MAX = 1800;

// What a level plays with.
struct StrengthLevel {
    i64 nodes;         // node budget of a move
    int lines;         // root moves searched as candidates (MultiPV)
    i32 temperature;   // centipawns that lower a move's chance by a factor e
    i32 maxLoss;       // moves further below the best are never chosen
};

// The level for an Elo number, clamped to the range.
StrengthLevel strengthLevel(int elo);

// The line whose first move the level plays, given the search's lines (best
// first) and a random number: a line scoring at most maxLoss below the best,
// with a chance in proportion to exp(-(best - score) / temperature). Returns
// 0 (the best) when there is a single line; -1 when there is none.
int pickLevelLine(const SearchLines& lines, const StrengthLevel& level, u64 random);
