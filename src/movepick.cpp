#include "movepick.h"

#include "see.h"
#include "utils.h"

int assignScoreMovelist(Board* board, const MoveHistory* history, const Move& pvMove,
                        MoveList* list, i64* hashMoves) {
    i32 best = -INFINITE_SCORE;
    int bestIndex = 0;
    for (int i = 0; i < list->count; i++) {
        Move* m = &list->moves[i];
        list->picked[i] = 0;
        i32 score;
        if (m->flags & MF_CAPTURE) {
            // Captures that do not lose material go first, biggest victim and
            // then cheapest attacker; losing ones come after every quiet move.
            const i32 s = see(board, m);
            list->seeScores[i] = s;
            score =
                s < 0 ? s : SCORE_GOOD_CAPTURE + absValue(m->captured) - absValue(m->piece) / 50;
            if (m->flags & MF_PROMOTION) score += absValue(m->promotion);
        } else {
            list->seeScores[i] = 0;
            score = static_cast<i32>(getHistoryBonus(history, m));
            if (m->flags & MF_CASTLE) score += SCORE_CASTLING;
            if (m->flags & MF_PROMOTION) score += SCORE_QUIET_PROMOTION + absValue(m->promotion);
            const KillerEntry* killers = history->killerMove[colourOf(m->piece)][board->ply];
            if (killerMatches(killers[0].move, *m)) score = SCORE_KILLER_1;
            if (killerMatches(killers[1].move, *m)) score = SCORE_KILLER_2;
        }
        if (pvMove.from != NO_SQUARE && sameMove(*m, pvMove)) {
            score = SCORE_PV;
            (*hashMoves)++;
        }
        list->scores[i] = score;
        if (score > best) {
            best = score;
            bestIndex = i;
        }
    }
    return bestIndex;
}

void assignScoreRootMovelist(const i64* nodeCounts, const Move& pvMove, MoveList* list,
                             i64* hashMoves) {
    for (int i = 0; i < list->count; i++) {
        list->picked[i] = 0;
        // An iteration of a long analysis may spend billions of nodes on one
        // move: the count saturates below the score of the line's own move.
        const i64 nodes = nodeCounts[i];
        list->scores[i] = static_cast<i32>(nodes < SCORE_PV_ROOT ? nodes : SCORE_PV_ROOT - 1);
        if (pvMove.from != NO_SQUARE && sameMove(list->moves[i], pvMove)) {
            list->scores[i] = SCORE_PV_ROOT;
            (*hashMoves)++;
        }
    }
}

int assignQScoreMovelist(Board* board, MoveList* list) {
    i32 best = -INFINITE_SCORE - 1;
    int bestIndex = -1;
    for (int i = 0; i < list->count; i++) {
        list->picked[i] = 0;
        const i32 s = see(board, &list->moves[i]);
        list->scores[i] = s;
        list->seeScores[i] = s;
        if (s > best) {
            best = s;
            bestIndex = i;
        }
    }
    return bestIndex;
}
