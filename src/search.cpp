#include "search.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "attack.h"
#include "legality.h"
#include "board.h"
#include "debug.h"
#include "eval.h"
#include "hash.h"
#include "movegen.h"
#include "movepick.h"
#include "see.h"
#include "tablebase.h"
#include "threads.h"
#include "utils.h"

// ---------------------------------------------------------------------------
// Repetition

int checkDraw(const Board* board) {
    const u32 n = board->gamePly;
    if (n < 2) return 0;
    const u64 key = board->hashHistory[n];
    // A single earlier occurrence counts: the search cannot tell a third
    // repetition from a second one it could force anyway.
    // Four keys per test: one branch for four compares, the same answer.
    const u64* h = board->hashHistory;
    u32 i = n - 1;
    for (; i >= 4; i -= 4)
        if ((h[i] == key) | (h[i - 1] == key) | (h[i - 2] == key) | (h[i - 3] == key)) return 1;
    for (; i >= 1; i--)
        if (h[i] == key) return 1;
    return 0;
}

int moveIsInteresting() { return 0; }

// ---------------------------------------------------------------------------
// Clock, limits and counters

bool searchOutput = true;
const SearchReports noSearchReports;

SharedSearch* sharedSearch() {
    // Made on first use and never destroyed: the workers' records point to it.
    static SharedSearch* const shared = new SharedSearch;
    return shared;
}

i64 nodeCountStart = 0;

// ---------------------------------------------------------------------------
// The search threads' records

// By index, the main thread's first. Made on first use and never destroyed,
// as the workers that read them live as long as the process.
static std::vector<SearchThread*>& searchRecords() {
    static std::vector<SearchThread*>* const records = [] {
        auto* r = new std::vector<SearchThread*>;
        SearchThread* main = new SearchThread();
        main->index = 0;
        clearHistoryHeuristic(&main->heuristics);
        clearKillerMove(&main->heuristics);
        r->push_back(main);
        return r;
    }();
    return *records;
}

SearchThread* searchThread(int index) { return searchRecords()[static_cast<size_t>(index)]; }

int searchThreadCount() { return static_cast<int>(searchRecords().size()); }

int setSearchThreads(int count) {
    if (count < 1) count = 1;
    if (count > MAX_SEARCH_THREADS) count = MAX_SEARCH_THREADS;
    std::vector<SearchThread*>& records = searchRecords();
    const int made = setWorkers(count - 1) + 1;
    // Fewer: the surplus workers are gone, their records with them.
    while (static_cast<int>(records.size()) > made) {
        delete records.back();
        records.pop_back();
    }
    // More: a record each, zeroed, with empty killers and history.
    while (static_cast<int>(records.size()) < made) {
        SearchThread* helper = new SearchThread();
        helper->index = static_cast<int>(records.size());
        helper->pollInterval = HELPER_POLL_INTERVAL;
        clearHistoryHeuristic(&helper->heuristics);
        clearKillerMove(&helper->heuristics);
        records.push_back(helper);
    }
    return made;
}

// A worker's job: the helper search of its record.
static void helperJob(int worker, void*) {
    helperSearch(searchRecords()[static_cast<size_t>(worker)]);
}

void startHelpers(const Board* root, const MoveSet* only) {
    std::vector<SearchThread*>& records = searchRecords();
    if (records.size() < 2) return;
    for (size_t i = 1; i < records.size(); i++) {
        prepareSearchThread(records[i], root);
        restrictRootMoves(records[i], only);
    }
    runOnWorkers(helperJob, nullptr);
}

void stopHelpers() { sharedSearch()->clock->stopSignal.store(true); }

void waitForHelpers() { waitForWorkers(); }

i64 searchNodes() {
    i64 nodes = searchThread(0)->globalNodes;
    const int searching = sharedSearch()->threads;
    const int count = searching < searchThreadCount() ? searching : searchThreadCount();
    for (int i = 1; i < count; i++)
        nodes += searchThread(i)->sharedNodes.load(std::memory_order_relaxed);
    return nodes;
}

SearchCounters searchCountersTotal() {
    waitForHelpers();
    SearchCounters sum;
    const int searching = sharedSearch()->threads;
    const int count = searching < searchThreadCount() ? searching : searchThreadCount();
    for (int i = 0; i < count; i++) {
        const SearchCounters& c = searchThread(i)->counters;
        sum.betaCut += c.betaCut;
        sum.betaCutOnFirst += c.betaCutOnFirst;
        sum.nullCut += c.nullCut;
        sum.nullTried += c.nullTried;
        sum.extCheck += c.extCheck;
        sum.extRecap += c.extRecap;
        sum.extPawn += c.extPawn;
        if (c.maxQNodes > sum.maxQNodes) sum.maxQNodes = c.maxQNodes;
        sum.hash.hashStores += c.hash.hashStores;
        sum.hash.hashCuts += c.hash.hashCuts;
        sum.hash.hashHits1 += c.hash.hashHits1;
        sum.hash.hashHits2 += c.hash.hashHits2;
        sum.hash.hashMoves += c.hash.hashMoves;
    }
    return sum;
}

// The poll's rare part: the clock, or the stop signal, once an interval has
// passed. Out of line, so that the common part below inlines into the nodes.
[[gnu::noinline]] static bool pollAfterInterval(SearchThread* thread) {
    thread->abortNodes = 0;
    bool stop;
    SharedSearch* shared = thread->shared;
    MoveClock* clock = shared->clock;
    if (thread->index == 0) {
        const SearchReports* reports = shared->reports;
        const i32 elapsed = elapsedSince(clock->timerSearchStart.load(std::memory_order_relaxed));
        stop = elapsed > clock->maxTimeAllowed.load(std::memory_order_relaxed) ||
               clock->stopSignal.load(std::memory_order_relaxed) ||
               (shared->nodeLimit > 0 && searchNodes() >= shared->nodeLimit) ||
               (reports->interrupt != nullptr && reports->interrupt());
        if (reports->progress != nullptr && elapsed - shared->lastProgress >= PROGRESS_INTERVAL) {
            shared->lastProgress = elapsed;
            reports->progress(elapsed);
        }
    } else {
        thread->sharedNodes.store(thread->globalNodes, std::memory_order_relaxed);
        stop = clock->stopSignal.load(std::memory_order_relaxed);
    }
    if (stop) thread->searchAborted = 1;
    return thread->searchAborted == 1;
}

// Between its clock readings the main thread looks at the stop signal as
// often as a helper does (it is raised by the watch at the hard limit and
// by a front end's stop): a main thread that gets little of the processor
// still stops within a few hundred nodes.
static constexpr i32 STOP_LOOK_MASK = HELPER_POLL_INTERVAL;

static inline bool pollNode(SearchThread* thread) {
    if (thread->abortNodes > thread->pollInterval) return pollAfterInterval(thread);
    thread->abortNodes++;
    if ((thread->abortNodes & STOP_LOOK_MASK) == 0 && thread->watchesStop &&
        thread->shared->clock->stopSignal.load(std::memory_order_relaxed))
        thread->searchAborted = 1;
    return thread->searchAborted == 1;
}

bool pollClock(SearchThread* thread) { return pollNode(thread); }

// ---------------------------------------------------------------------------
// Evaluation cache

// The static score is a function of the position alone, and the search
// scores the same positions again and again: every iteration revisits the
// previous one's leaves. A small table per thread remembers the last score
// per slot (EvalCacheEntry); it lives in the thread's record, so nothing is
// allocated in a search.
static inline i32 cachedEval(SearchThread* thread, u8* flag) {
    const Board* board = &thread->board;
    EvalCacheEntry& e = thread->evalCache[board->hashKey2 & (EVAL_CACHE_SIZE - 1)];
    const u32 check = static_cast<u32>(board->hashKey2 >> 32) | 1u;
    if (e.check == check && e.key == board->hashKey) {
        *flag = 0;
        return e.score;
    }
    const i32 score = eval(board, flag, &thread->pawnCache);
    e.key = board->hashKey;
    e.check = check;
    e.score = score;
    return score;
}

// ---------------------------------------------------------------------------
// Quiescence search

// Steps 9 and 10 of the quiescence search: its quiet-check phase, at the
// first level and not in check, after the captures left alpha and best as
// given. Returns the node's score.
static i32 quietCheckStep(SearchThread* thread, MoveList* list, i32 alpha, i32 beta, i32 best) {
    Board* board = &thread->board;
    // Step 9. Quiet-check phase: quiet moves that give check or promote and
    // lose nothing by exchange, in generation order.
    const u32 n = generateQuietChecks(board, list);
    list->count = static_cast<u8>(n);
    if (n == 0) return best;
    const KingContext king = kingContext(board);
    // A plain quiet move (no castling, no promotion) that gives no check is
    // refused before its legality test: the check test of such a move reads
    // the board only. The last legal quiet move's verdict still decides the
    // in-check flag this node leaves behind, which the caller may read: the
    // moves refused unseen are caught up after the loop.
    int lastLegalTested = -1;
    for (u32 i = 0; i < n; i++) {
        Move* move = &list->moves[i];
        if (move->flags & MF_CAPTURE) continue;
        if (move->flags & (MF_CASTLE | MF_PROMOTION)) {
            if (!isLegalInContext(board, move, &king)) continue;
            board->inCheck = static_cast<u8>(moveChecks(board, move));
        } else {
            if (!moveChecks(board, move)) continue;
            if (!isLegalInContext(board, move, &king)) continue;
            board->inCheck = 1;
        }
        lastLegalTested = static_cast<int>(i);
        if (!((board->inCheck || (move->flags & MF_PROMOTION)) && see(board, move) >= 0)) continue;

        thread->movesMade++;
        makeMove(board, move);
        updateHashKey(board, move);
        const i32 v = -qSearch(thread, -beta, -alpha, QS_FIRST_LEVEL - QS_CHECK_STEP);
        updateHashKey(board, move);
        unmakeMove(board, move);

        if (v > best) {
            if (v >= beta) return v;
            if (v > alpha) alpha = v;
            best = v;
        }
    }

    // Step 10. The traces of the quiet moves refused unseen: unless the last
    // quiet move was searched or scored, the phase ends on its legality test
    // (an empty capture memory), and a legal quiet move without check after
    // the last legal one tested leaves the in-check flag at 0.
    int last = static_cast<int>(n) - 1;
    while (last >= 0 && (list->moves[last].flags & MF_CAPTURE)) last--;
    if (last > lastLegalTested) {
        for (int i = last; i > lastLegalTested; i--) {
            Move* move = &list->moves[i];
            // Captures are not quiet; the others were tested in the loop
            // and, this late, refused.
            if (move->flags & (MF_CAPTURE | MF_CASTLE | MF_PROMOTION)) continue;
            if (moveChecks(board, move)) continue;
            if (isLegalInContext(board, move, &king)) {
                board->inCheck = 0;
                break;
            }
        }
        board->lastCaptureSquare = NO_SQUARE;
        board->lastCapturedPiece = EMPTY;
    }
    return best;
}

i32 qSearch(SearchThread* thread, i32 alpha, i32 beta, i32 level) {
    Board* board = &thread->board;
    // Step 1. Repetition: a position seen before on the game or search path
    // is a draw. Tested before the clock so cycles cost nothing.
    if (board->ply > 0 && checkDraw(board)) return 0;

    // Step 2. Clock poll.
    if (pollNode(thread)) return 0;

    // Step 3. Count the node.
    thread->globalQNodes++;
    thread->globalNodes++;
    if (board->ply > thread->selDepth) thread->selDepth = board->ply;

    const u32 ply = board->ply;
    const u8 inCheck = board->inCheck;
    MoveList* list = &thread->moveLists[ply];
    u8 flag = 0;

    // Step 4a. Ply guard: the per-ply lists end here, stand pat.
    if (ply >= static_cast<u32>(MAX_QSEARCH_PLY)) return cachedEval(thread, &flag);

    // Step 4b. First-phase moves. In check every evasion is searched and
    // there is no stand pat; otherwise the side may stand pat on the static
    // score and only captures can improve on it.
    i32 standPat = 0, best;
    u32 n;
    if (inCheck) {
        thread->pvMove = noMove;
        n = generateMoves(board, list, 1);
        best = -INFINITE_SCORE;
    } else {
        standPat = cachedEval(thread, &flag);
        if (standPat >= beta) return standPat;
        if (standPat > alpha) alpha = standPat;
        thread->pvMove = noMove;
        n = generateCaptures(board, list, 1);
        best = standPat;
    }

    // Step 5. Nothing to try: mate in check, the stand pat otherwise (a node
    // without captures never tries quiet checks).
    list->count = static_cast<u8>(n);
    if (n == 0) return inCheck ? static_cast<i32>(ply) - MATE_SCORE : best;

    // Step 6. Order by exchange value.
    const int first = assignQScoreMovelist(board, list);

    // Step 7. Capture phase (all evasions when in check).
    for (u32 k = 0; k < n; k++) {
        Move move;
        const int index = k == 0 ? getMove(list, &move, first) : getNextBestMove(list, &move);
        const bool promotion = (move.flags & MF_PROMOTION) != 0;

        // Step 7.1. Captures that lose material by exchange are not worth a node.
        if (!inCheck && list->seeScores[index] < 0 && !promotion) continue;

        // Step 7.2. The child's in-check flag, tested before the move is made.
        board->inCheck = static_cast<u8>(moveChecks(board, &move));

        i32 childLevel;
        if (inCheck || board->inCheck) {
            // Step 7.3. Evasions and checks are searched one level down and
            // bypass delta pruning.
            childLevel = level - QS_CHECK_STEP;
        } else {
            // Step 7.4. Delta pruning in a null window: when even the exchange
            // gain plus a margin leaves the score below alpha, take that
            // optimistic bound and skip the move.
            if (!promotion && beta - alpha == 1) {
                const i32 t = list->seeScores[index] + standPat + DELTA_MARGIN;
                if (t < alpha) {
                    if (t > best) best = t;
                    continue;
                }
            }
            childLevel = level - QS_CAPTURE_STEP;
        }

        // Step 7.5. Search the child.
        thread->movesMade++;
        const u64 key = board->hashKey, key2 = board->hashKey2;
        makeMove(board, &move);
        updateHashKey(board, &move);
        assert(keysAreConsistent(board));
        const i32 v = -qSearch(thread, -beta, -alpha, childLevel);
        restoreHashKeys(board, key, key2);
        unmakeMove(board, &move);
        assert(keysAreConsistent(board));

        // Step 7.6. Fail-soft bookkeeping.
        if (v > best) {
            if (v >= beta) return v;
            if (v > alpha) alpha = v;
            best = v;
        }
    }

    // Step 8. Quiet checks only at the first quiescence level and not in check.
    if (level != QS_FIRST_LEVEL || inCheck) return best;

    // Steps 9 and 10. Quiet checks.
    return quietCheckStep(thread, list, alpha, beta, best);
}

// ---------------------------------------------------------------------------
// Alpha-beta search

// Search constants, in tenths of a ply where marked.
static constexpr i32 NULL_REDUCTION_DEPTH = 4;   // null move searched at depth - 4
static constexpr i32 NULL_VERIFY_ABOVE = 5;      // verification above this depth, at depth - 5
static constexpr i32 NULL_MATERIAL_MARGIN = 100;
static constexpr i32 RAZOR_DEPTH = 2;
static constexpr i32 RAZOR_MARGIN = 300;
static constexpr i32 IID_ABOVE = 4;
static constexpr u8 EXT_RECAPTURE = 10;         // tenths, PV nodes only
static constexpr u8 EXT_PAWN_PUSH = 5;          // tenths
static constexpr u8 EXT_SINGLE_REPLY_PV = 10;   // tenths
static constexpr u8 EXT_SINGLE_REPLY = 5;       // tenths
static constexpr i32 PRUNE_DEPTH = 5;
static constexpr i32 FUTILITY_MARGIN_2 = 300;
static constexpr i32 FUTILITY_MARGIN_1 = 100;
static constexpr u32 LMR_LEGAL_PV = 6;
static constexpr u32 LMR_LEGAL = 3;

// A root move the thread's search may play (SearchThread::rootFiltered).
static inline bool rootMoveAllowed(const SearchThread* thread, const Move& move) {
    if (thread->only.count > 0 && !thread->only.contains(move)) return false;
    return !thread->skip.contains(move);
}

// The score a line is reported with: at a root in the endgame tables, the
// table result of its first move, unless the search found a mate.
static i32 tableScore(const SharedSearch* shared, const PvLine* line, i32 score) {
    if (!shared->rootInTables || line->count == 0) return score;
    if (score >= MATE_SCORE - MAX_PLY || score <= MAX_PLY - MATE_SCORE) return score;
    for (int i = 0; i < shared->tableMoves.count; i++)
        if (sameMove(shared->tableMoves.moves[i], line->moves[0])) return shared->tableScores[i];
    return score;
}

// A root move that beat the first one inside an iteration: the XBoard
// path's fail-high line, or the front end's report of a lower bound.
[[gnu::noinline]] static void reportNewBest(const SharedSearch* shared, int depth, i32 score,
                                            const PvLine* line) {
    const i32 elapsed =
        elapsedSince(shared->clock->timerSearchStart.load(std::memory_order_relaxed));
    const SearchReports* reports = shared->reports;
    score = tableScore(shared, line, score);
    if (reports->iteration != nullptr) {
        if (reports->bound != nullptr && elapsed >= REPORT_AFTER)
            reports->bound(depth, score, elapsed, line);
        return;
    }
    if (!searchOutput) return;
    printf("%d %d %d %lld %s%s!\n", depth, score, elapsed / 10,
           static_cast<long long>(searchNodes()), sqString[line->moves[0].from],
           sqString[line->moves[0].to]);
    fflush(stdout);
}

// A root move about to be searched, named once the search has run for a while.
[[gnu::noinline]] static void reportRootMove(const SharedSearch* shared, int depth,
                                             const Move& move, u32 number) {
    const i32 elapsed =
        elapsedSince(shared->clock->timerSearchStart.load(std::memory_order_relaxed));
    if (elapsed >= REPORT_AFTER)
        shared->reports->currentMove(depth, &move, static_cast<int>(number));
}

// The facts of one alpha-beta node that its steps share: where it stands,
// what it was asked, and the entry state (Step 3) that every later test
// reads instead of the board's fields, which legality and exchange tests
// overwrite. The static score is taken at most once, by whichever step
// needs it first.
struct Node {
    SearchThread* thread;
    Board* board;
    u32 ply;
    i32 depth;
    bool pvNode;
    u8 inCheck;
    u8 lastCaptureSquare;
    u8 lastCapturedPiece;
    u8 fractalEntry;   // the fractional extensions gathered above this node
    i32 material;      // the side to move's material balance
    i32 staticEval = 0;
    bool evalKnown = false;
    u8 evalFlag = 0;
};

// Step 6. Hash probe. Only null-window nodes may end on it: a PV node wants
// its line, and takes just the hash move and the null verdict. True, with
// the score in *score, when the node ends here.
[[gnu::always_inline]] static inline bool probeStep(Node& node, i32* alpha, i32* beta,
                                                    u8* permission, Move* hashMove, i32* score) {
    SearchThread* thread = node.thread;
    const i32 v = probeHashtable(node.board, alpha, beta, permission, node.depth, hashMove,
                                 &thread->counters.hash);
    if (node.pvNode || v == NO_HASH_SCORE) return false;
    thread->counters.hash.hashCuts++;
    *score = v;
    return true;
}

// Step 7. Horizon: resolve captures and checks, store the result as an
// exact draft-0 entry.
[[gnu::always_inline]] static inline i32 horizonStep(Node& node, i32 alpha, i32 beta) {
    SearchThread* thread = node.thread;
    const i64 qBefore = thread->globalQNodes;
    const i32 v = qSearch(thread, alpha, beta, QS_FIRST_LEVEL);
    if (thread->globalQNodes - qBefore > thread->counters.maxQNodes)
        thread->counters.maxQNodes = thread->globalQNodes - qBefore;
    recordHashtable(node.board, 0, v, BOUND_EXACT, &noMove, &thread->counters.hash);
    return v;
}

// Step 8. Null move: give the opponent a free move; if a reduced search
// still reaches beta, the node would fail high anyway. Not in check, not in
// a PV node, not at the root, not twice in a row, and only with enough
// material that zugzwang is unlikely. Deep nodes verify the cut with a
// reduced normal search, which guards against zugzwang. *tried tells
// whether it was tried; true when the node fails high on it.
[[gnu::always_inline]] static inline bool nullMoveStep(Node& node, i32 alpha, i32 beta,
                                                       u8 permission, PvLine* childLine,
                                                       bool* tried) {
    *tried = false;
    if (permission != 1 || node.inCheck || node.pvNode || node.ply == 0 ||
        node.material < beta - NULL_MATERIAL_MARGIN)
        return false;
    SearchThread* thread = node.thread;
    *tried = true;
    thread->counters.nullTried++;
    Move nullMove = noMove;
    makeNullmove(node.board, &nullMove);
    const i32 v =
        -alphaBeta(thread, -beta, 1 - beta, node.depth - NULL_REDUCTION_DEPTH, childLine, 0);
    unmakeNullmove(node.board, &nullMove);
    if (v < beta) return false;
    bool cut = node.depth <= NULL_VERIFY_ABOVE;
    if (!cut)
        cut = alphaBeta(thread, alpha, beta, node.depth - NULL_VERIFY_ABOVE, childLine, 0) >= beta;
    if (!cut) return false;
    thread->counters.betaCut++;
    thread->counters.betaCutOnFirst++;
    thread->counters.nullCut++;
    return true;
}

// Step 9. Razoring: near the horizon, far below alpha on material and
// evaluation, let quiescence decide whether anything is left. True, with
// the quiescence score in *score, when the node ends here.
[[gnu::always_inline]] static inline bool razorStep(Node& node, i32 alpha, i32 beta, bool nullTried,
                                                    i32* score) {
    if (nullTried || node.pvNode || node.depth > RAZOR_DEPTH ||
        node.material > alpha - RAZOR_MARGIN)
        return false;
    node.staticEval = cachedEval(node.thread, &node.evalFlag);
    node.evalKnown = true;
    if (node.staticEval > alpha - RAZOR_MARGIN || node.evalFlag != 0) return false;
    const i32 q = qSearch(node.thread, alpha, beta, QS_FIRST_LEVEL);
    if (q > alpha) return false;
    *score = q;
    return true;
}

// Step 11. Move to try first: the previous iteration's line while the
// search walks down it, the hash move otherwise.
[[gnu::always_inline]] static inline void firstMoveStep(Node& node, const Move& hashMove) {
    SearchThread* thread = node.thread;
    const u32 ply = node.ply;
    if (thread->followPV) {
        if (thread->pv[ply].from != NO_SQUARE) thread->pvMove = thread->pv[ply];
        if (thread->pv[ply + 1].from == NO_SQUARE) thread->followPV = 0;
    } else {
        thread->pvMove = hashMove;
    }
}

// Step 13. Ordering. The root orders by the nodes each move took in the
// previous iteration. A PV node without a move to try first finds one by a
// shallower search of the same node (internal iterative deepening), which
// regenerates the same list in the same slot. Returns the index of the move
// to hand out first below the root.
[[gnu::always_inline]] static inline int orderStep(Node& node, MoveList* list, i32 alpha, i32 beta,
                                                   PvLine* childLine) {
    SearchThread* thread = node.thread;
    i64* hashMoves = &thread->counters.hash.hashMoves;
    if (node.ply == 0) {
        if (node.depth == 1)
            assignScoreMovelist(node.board, &thread->heuristics, thread->pvMove, list, hashMoves);
        else assignScoreRootMovelist(thread->rootNodeCount, thread->pvMove, list, hashMoves);
        return 0;
    }
    if (node.pvNode && thread->pvMove.from == NO_SQUARE && node.depth > IID_ABOVE) {
        alphaBeta(thread, alpha, beta, node.depth - 2, childLine, 0);
        if (thread->bestMove.from != NO_SQUARE) thread->pvMove = thread->bestMove;
    }
    return assignScoreMovelist(node.board, &thread->heuristics, thread->pvMove, list, hashMoves);
}

// What the extensions of a move decide: a whole ply more or not, whether
// it may be reduced or pruned, and whether it checks.
struct MoveExtension {
    i32 plies;
    bool reducible;
    bool givesCheck;
};

// Steps 14.3 to 14.8: the extensions of a legal move, with the node count
// between them (Step 14.5) and the child's in-check flag set on the board.
[[gnu::always_inline]] static inline MoveExtension extensionStep(Node& node, Move* move,
                                                                 u32 moveCount) {
    SearchThread* thread = node.thread;
    Board* board = node.board;
    MoveExtension e = {0, true, false};

    // Step 14.3. Recapture extension: taking back a piece of the same value
    // on the square of the last capture keeps the exchange whole.
    if ((move->flags & MF_CAPTURE) && move->to == node.lastCaptureSquare &&
        absValue(move->captured) == absValue(node.lastCapturedPiece)) {
        thread->counters.extRecap++;
        if (node.pvNode) thread->fractalExtensions += EXT_RECAPTURE;
    }

    // Step 14.4. Pawn-push extension: a safe push to the seventh rank is one
    // step from promotion.
    if (((move->piece == WPAWN && rank(move->to) == 7) ||
         (move->piece == BPAWN && rank(move->to) == 2)) &&
        see(board, move) >= 0) {
        thread->counters.extPawn++;
        thread->fractalExtensions += EXT_PAWN_PUSH;
        e.reducible = false;
    }

    // Step 14.5. Count the node.
    if (node.ply > 0) thread->globalNodes++;

    // Step 14.6. Check extension; the flag is the child's in-check flag.
    board->inCheck = static_cast<u8>(moveChecks(board, move));
    e.givesCheck = board->inCheck != 0;
    if (e.givesCheck) {
        thread->counters.extCheck++;
        e.plies = 1;
        e.reducible = false;
    }

    // Step 14.7. Single-reply extension: a forced reply costs no depth.
    if (node.inCheck && moveCount == 1)
        thread->fractalExtensions += node.pvNode ? EXT_SINGLE_REPLY_PV : EXT_SINGLE_REPLY;

    // Step 14.8. Fractional extensions add up along the path to a whole ply.
    if (thread->fractalExtensions > 9) {
        thread->fractalExtensions %= 10;
        e.plies = 1;
        e.reducible = false;
    }
    return e;
}

// Step 14.9. Pruning of quiet moves near the horizon in null-window nodes,
// never for the first legal move. True when the move is left out (the
// fractional extensions gathered for it are given back); futility pruning
// raises *best to the optimistic bound it assumed.
[[gnu::always_inline]] static inline bool pruneStep(Node& node, const Move& move,
                                                    const MoveExtension& e, bool quiet,
                                                    u32 legalCount, u32 lateThreshold, i32 beta,
                                                    i32* best) {
    if (node.depth > PRUNE_DEPTH || node.ply == 0 || node.pvNode || e.plies != 0 || !e.reducible ||
        node.inCheck || !quiet)
        return false;
    SearchThread* thread = node.thread;
    const i32 depth = node.depth;
    const int hi = historyIndex(&move);
    // History pruning: late quiet moves that failed here far more often
    // than they cut off.
    if (legalCount >= lateThreshold &&
        thread->heuristics.badHistoryHeuristic[hi] >
            2u * static_cast<u32>(depth) * thread->heuristics.successHistoryHeuristic[hi]) {
        thread->fractalExtensions = node.fractalEntry;
        return true;
    }
    // Futility pruning: a quiet move cannot lift a score this far below
    // beta; keep the optimistic bound as the node's best.
    if (depth <= 2 && node.material < beta) {
        if (!node.evalKnown) {
            node.staticEval = cachedEval(thread, &node.evalFlag);
            node.evalKnown = true;
        }
        const i32 margin = depth == 2 ? FUTILITY_MARGIN_2 : FUTILITY_MARGIN_1;
        if (node.evalFlag == 0 && node.staticEval + margin < beta && legalCount > 1) {
            if (node.staticEval + margin > *best) *best = node.staticEval + margin;
            thread->fractalExtensions = node.fractalEntry;
            return true;
        }
    }
    return false;
}

// Step 14.11. Principal variation search of a made move: the first legal
// move with the full window, the others with a null window (late quiet
// moves first at reduced depth), re-searched when they beat alpha.
[[gnu::always_inline]] static inline i32 childStep(Node& node, const Move& move,
                                                   const MoveExtension& e, bool quiet,
                                                   u32 legalCount, i32 alpha, i32 beta,
                                                   PvLine* childLine) {
    SearchThread* thread = node.thread;
    const i32 depth = node.depth;
    const u32 ply = node.ply;
    // Children may try a null move again (Step 10).
    const u8 childPermission = 1;
    const i32 d = depth - 1 + e.plies;
    if (legalCount == 1)
        return -alphaBeta(thread, -beta, ply == 0 ? INFINITE_SCORE : -alpha, d, childLine,
                          childPermission);
    thread->followPV = 0;
    i32 v = 0;
    bool fullDepth = true;
    if (ply > 0 && depth != 1 && e.reducible && e.plies == 0 && !e.givesCheck && !node.inCheck &&
        quiet && legalCount > (node.pvNode ? LMR_LEGAL_PV : LMR_LEGAL)) {
        const int hi = historyIndex(&move);
        if (4u * thread->heuristics.badHistoryHeuristic[hi] >=
            thread->heuristics.successHistoryHeuristic[hi]) {
            v = -alphaBeta(thread, -alpha - 1, -alpha, depth - 2, childLine, childPermission);
            fullDepth = v > alpha;
        }
    }
    if (fullDepth) {
        v = -alphaBeta(thread, -alpha - 1, -alpha, d, childLine, childPermission);
        if (node.pvNode && v > alpha && (ply == 0 || v < beta))
            v = -alphaBeta(thread, -beta, -alpha, d, childLine, childPermission);
    }
    return v;
}

// Step 14.14, the cut-off: store a lower bound and teach the killers and
// history which quiet move refuted this position, and which quiet moves
// tried before it did not.
[[gnu::always_inline]] static inline void cutoffStep(Node& node, const Move& move,
                                                     const MoveList* list, bool quiet,
                                                     u32 legalCount, i32 best) {
    SearchThread* thread = node.thread;
    const u32 ply = node.ply;
    if (ply > 0)
        recordHashtable(node.board, node.depth, best, BOUND_LOWER, &move, &thread->counters.hash);
    if (ply > 0 && !node.inCheck) {
        updateKillerMove(&thread->heuristics, ply, &move);
        updateHistoryHeuristic(&thread->heuristics, &move, node.depth);
    }
    thread->counters.betaCut++;
    if (legalCount == 1) {
        thread->counters.betaCutOnFirst++;
    } else if (quiet && ply > 0 && !node.inCheck) {
        for (u32 i = 0; i < list->count; i++) {
            const Move& tried = list->moves[i];
            if (list->picked[i] && (tried.from != move.from || tried.to != move.to))
                updateBadHistoryHeuristic(&thread->heuristics, &tried);
        }
    }
    thread->bestMove = move;
}

// Step 6b. Endgame tables: right after a capture or a pawn move (where the
// fifty-move count is 0, as the tables assume), a position of few enough
// pieces without castling rights is looked up at a depth of the probe depth
// or more. A win scores a little less the further it lies from the root, so
// that the search goes for the nearer one; it is a lower bound, a loss an
// upper bound, a draw exact. A result that decides the node ends it and is
// stored in the table as that bound. True, with the score, when it does.
[[gnu::noinline]] static bool tableStep(Node& node, i32 alpha, i32 beta, i32* score) {
    SharedSearch* shared = node.thread->shared;
    const Board* board = node.board;
    if (board->castlingStatus != 0 || __builtin_popcountll(board->occupied) > shared->tablePieces ||
        node.depth < shared->limits->tableDepth)
        return false;
    const TbWdl wdl = probeWdl(board);
    if (wdl == WDL_FAILED) return false;
    shared->tableHits.fetch_add(1, std::memory_order_relaxed);
    const i32 result = tablebaseScore(wdl, shared->limits->table50MoveRule);
    const i32 ply = static_cast<i32>(node.ply);
    const i32 value = result > 0 ? result - ply : result < 0 ? result + ply : 0;
    const u8 bound = result > 0 ? BOUND_LOWER : result < 0 ? BOUND_UPPER : BOUND_EXACT;
    if (bound == BOUND_LOWER && value < beta) return false;
    if (bound == BOUND_UPPER && value > alpha) return false;
    recordHashtable(board, node.depth, value, bound, &noMove, &node.thread->counters.hash);
    *score = value;
    return true;
}

i32 alphaBeta(SearchThread* thread, i32 alpha, i32 beta, i32 depth, PvLine* line, u8 permission) {
    Board* board = &thread->board;
    // Every exit that does not raise alpha leaves the caller's line empty,
    // so no stale continuation can reach a printed line.
    line->count = 0;

    // Step 1. Clock poll.
    if (pollNode(thread)) return 0;

    const u32 ply = board->ply;
    assert(alpha < beta);
    if (ply > thread->selDepth) thread->selDepth = ply;

    // Step 2. Grandchildren start with empty killers.
    clearKillersDepth(&thread->heuristics, ply);

    // Step 3. Entry state: the caller stored the check flag before making the
    // move that led here; the capture memory is the last makeMove's.
    Node node{thread,
              board,
              ply,
              depth,
              beta - alpha > 1,
              board->inCheck,
              board->lastCaptureSquare,
              board->lastCapturedPiece,
              thread->fractalExtensions,
              0};

    // Step 4. Beyond the deepest alpha-beta ply only quiescence remains.
    if (ply > static_cast<u32>(MAX_SEARCH_PLY)) return qSearch(thread, alpha, beta, QS_FIRST_LEVEL);

    // Step 5. Repetition below the root is a draw; the root itself is searched.
    if (ply > 0 && checkDraw(board)) return 0;

    // Step 6. Hash probe.
    Move hashMove = noMove;
    i32 score;
    if (probeStep(node, &alpha, &beta, &permission, &hashMove, &score)) return score;
    const bool tables = thread->shared->tablePieces > 0;
    if (tables && ply > 0 && thread->zeroing[ply] && tableStep(node, alpha, beta, &score))
        return score;

    // Step 7. Horizon.
    if (depth <= 0) return horizonStep(node, alpha, beta);

    node.material = board->sideToMove == WHITE ? board->materialBalance : -board->materialBalance;
    // One line for every search this node starts: each child empties it on
    // entry and fills it before the node reads it, so the null move, its
    // verification and the internal deepening can share it with the move
    // loop. A frame of one PvLine instead of two halves the stack per ply.
    PvLine childLine;
    childLine.count = 0;

    // Steps 8 and 9. Null move, then razoring.
    bool nullTried;
    if (nullMoveStep(node, alpha, beta, permission, &childLine, &nullTried)) return beta;
    if (razorStep(node, alpha, beta, nullTried, &score)) return score;

    // Step 11 (Step 10, the children's null-move permission, is childStep's).
    firstMoveStep(node, hashMove);

    // Step 12. Generate: legal moves only in check and at the root, pseudo-legal
    // moves elsewhere (tested one by one in the loop).
    MoveList* list = &thread->moveLists[ply];
    const u32 n = generateMoves(board, list, (node.inCheck || ply == 0) ? 1 : 0);
    list->count = static_cast<u8>(n);
    if (n == 0) return node.inCheck ? static_cast<i32>(ply) - MATE_SCORE : 0;

    // Step 13. Ordering.
    const int firstIndex = orderStep(node, list, alpha, beta, &childLine);

    // Step 14. Move loop.
    childLine.count = 0;
    i32 best = -INFINITE_SCORE;
    u8 boundType = BOUND_UPPER;
    u32 legalCount = 0, searchedCount = 0;
    const u32 lateThreshold = static_cast<u32>(2 * depth + 2);
    Move nodeBest = noMove;

    // The king's state is the same before every move of the loop (each is
    // unmade before the next), so the legality shortcut needs it once.
    const KingContext king = kingContext(board);
    for (u32 k = 0; k < n; k++) {
        // Step 14.1. Select.
        const i64 nodesBefore = thread->globalNodes;
        Move move;
        const int index =
            (ply > 0 && k == 0) ? getMove(list, &move, firstIndex) : getNextBestMove(list, &move);
        // The child probes the table first thing: ask for its bucket now,
        // while the legality, check and pruning tests run.
        prefetchHashtableKey(key2After(board, &move));

        // Step 14.2. Legality of the pseudo-legal moves; at the root, only the
        // moves this search may play.
        if (ply == 0 && thread->rootFiltered && !rootMoveAllowed(thread, move)) continue;
        if (!node.inCheck && !isLegalInContext(board, &move, &king)) continue;
        legalCount++;
        if (ply == 0 && thread->index == 0 && thread->shared->reports->currentMove != nullptr)
            reportRootMove(thread->shared, depth, move, legalCount);

        // Steps 14.3 to 14.9. Extensions, then pruning.
        const bool quiet = isQuiet(&move);
        const MoveExtension extension = extensionStep(node, &move, n);
        if (pruneStep(node, move, extension, quiet, legalCount, lateThreshold, beta, &best))
            continue;

        // Step 14.10. Make the move (noting for the endgame tables whether it
        // zeroes the fifty-move count).
        if (tables)
            thread->zeroing[ply + 1] =
                (move.flags & MF_CAPTURE) || move.piece == WPAWN || move.piece == BPAWN;
        thread->movesMade++;
        const u64 key = board->hashKey, key2 = board->hashKey2;
        makeMove(board, &move);
        updateHashKey(board, &move);
        assert(keysAreConsistent(board));

        // Step 14.11. Search it.
        const i32 v = childStep(node, move, extension, quiet, legalCount, alpha, beta, &childLine);

        // Step 14.12. Root move ordering for the next iteration.
        if (ply == 0) thread->rootNodeCount[index] = thread->globalNodes - nodesBefore;

        // Step 14.13. Take the move back.
        searchedCount++;
        thread->fractalExtensions = node.fractalEntry;
        restoreHashKeys(board, key, key2);
        unmakeMove(board, &move);
        assert(keysAreConsistent(board));

        // Step 14.14. Bookkeeping: a cut-off ends the node; a move inside
        // the window becomes the node's line.
        if (v > best) best = v;
        if (best > alpha) {
            if (best >= beta) {
                cutoffStep(node, move, list, quiet, legalCount, best);
                return best;
            }
            line->moves[0] = move;
            const u32 childCount = childLine.count < MAX_PLY - 1 ? childLine.count : MAX_PLY - 1;
            memcpy(&line->moves[1], childLine.moves, childCount * sizeof(Move));
            line->count = childCount + 1;
            if (ply == 0 && searchedCount > 1 && thread->index == 0 && thread->skip.count == 0)
                reportNewBest(thread->shared, depth, best, line);
            alpha = best;
            nodeBest = move;
            boundType = BOUND_EXACT;
        }
    }

    // Step 15. After the last move: no legal move without check is stalemate;
    // store the node's bound with its best move (none when alpha never rose).
    thread->bestMove = nodeBest;
    if (legalCount == 0) return 0;
    if (ply > 0) {
        recordHashtable(board, depth, best, boundType, &nodeBest, &thread->counters.hash);
        return best;
    }
    return alpha;
}

// ---------------------------------------------------------------------------
// Iterative deepening driver

static void printThinking(const SharedSearch* shared, int depth, i32 score, i32 elapsed,
                          const PvLine* line, int lineNumber) {
    score = tableScore(shared, line, score);
    if (shared->reports->iteration != nullptr) {
        shared->reports->iteration(depth, score, elapsed, line, lineNumber);
        return;
    }
    if (!searchOutput) return;
    printf("%d %d %d %lld ", depth, score, elapsed / 10, static_cast<long long>(searchNodes()));
    for (u32 i = 0; i < line->count; i++)
        printf("%s%s ", sqString[line->moves[i].from], sqString[line->moves[i].to]);
    printf("\n");
    fflush(stdout);
}

static inline i32 capTime(i32 limit, i32 cap) { return limit < cap ? limit : cap; }

bool nextIteration(IterationControl* control, int depth, int maxDepth, i32 score, i32 elapsed,
                   bool rootMoveChanged) {
    // Step 1. Count changes of mind from iteration 5 on.
    if (depth > 4 && rootMoveChanged) control->changes++;

    // Step 2. An unstable root move gets more time, once; a single change
    // to a clearly winning move with half the budget spent ends the search.
    if (control->changes >= 3) {
        if (!control->extended) {
            setHardLimit(capTime(scaleTime(moveClock.maxTimeAllowed.load(), 2), control->hardCap));
            control->budget = scaleTime(control->budget, 2);
            control->extended = true;
        }
    } else if (!control->extended && control->changes == 1 && elapsed > control->budget / 2 &&
               score > 300) {
        return false;
    }

    // Step 3. The depth limit, then the soft limit: an
    // iteration already started runs on, a new one starts only in time.
    if (depth >= maxDepth) return false;
    return elapsed <= control->budget;
}

void prepareSearchThread(SearchThread* thread, const Board* root) {
    copyBoard(&thread->board, root);
    thread->board.ply = 0;
    // No line to follow and no counts from an earlier search.
    for (Move& m : thread->pv) m.from = NO_SQUARE;
    for (i64& count : thread->rootNodeCount) count = 0;
    thread->abortNodes = 0;
    thread->globalNodes = nodeCountStart;
    thread->globalQNodes = 0;
    thread->sharedNodes.store(nodeCountStart, std::memory_order_relaxed);
    thread->movesMade = 0;
    thread->counters = SearchCounters{};
    thread->followPV = 0;
    thread->fractalExtensions = 0;
    thread->selDepth = 0;
    thread->searchAborted = 0;
    thread->watchesStop = 0;
    thread->completedDepth = 0;
    thread->completedScore = 0;
    thread->completedLine.count = 0;
    thread->rootFiltered = false;
    thread->only.count = 0;
    thread->skip.count = 0;
}

void restrictRootMoves(SearchThread* thread, const MoveSet* only) {
    thread->only.count = 0;
    if (only != nullptr)
        for (int i = 0; i < only->count; i++) thread->only.add(only->moves[i]);
    thread->rootFiltered = thread->only.count > 0;
}

// An iteration's line becomes the one the next iteration follows first, and
// the thread's completed result.
static void followLine(SearchThread* thread, const PvLine& line) {
    for (u32 i = 0; i < line.count; i++) thread->pv[i] = line.moves[i];
    thread->pv[line.count].from = NO_SQUARE;
    thread->followPV = 1;
}

static void acceptIteration(SearchThread* thread, int depth, i32 score, const PvLine& line) {
    followLine(thread, line);
    thread->completedDepth = depth;
    thread->completedScore = score;
    thread->completedLine.count = line.count;
    for (u32 i = 0; i < line.count; i++) thread->completedLine.moves[i] = line.moves[i];
    thread->watchesStop = 1;
}

// The depths helper n (1, 2, ...) leaves out, in blocks of `size` depths
// shifted by `phase`: helper 1 searches the even depths, helper 2 the odd
// ones, the next four blocks of two, and so on, so that the threads spread
// over the neighbouring depths instead of all searching the same tree.
static constexpr int HELPER_PATTERNS = 20;
static constexpr int skipSize[HELPER_PATTERNS] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                  3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
static constexpr int skipPhase[HELPER_PATTERNS] = {0, 1, 0, 1, 2, 3, 0, 1, 2, 3,
                                                   4, 5, 0, 1, 2, 3, 4, 5, 6, 7};

void helperSearch(SearchThread* thread) {
    const int pattern = (thread->index - 1) % HELPER_PATTERNS;
    PvLine line;
    line.count = 0;
    for (int depth = 1; depth <= MAX_ITERATIONS; depth++) {
        if (((depth + skipPhase[pattern]) / skipSize[pattern]) % 2 != 0) continue;
        thread->searchAborted = 0;
        const i32 score = alphaBeta(thread, -INFINITE_SCORE, INFINITE_SCORE, depth, &line, 0);
        if (thread->searchAborted == 1) break;
        acceptIteration(thread, depth, score, line);
    }
    thread->sharedNodes.store(thread->globalNodes, std::memory_order_relaxed);
}

const SearchLines& lastSearchLines() { return sharedSearch()->completedLines; }

// The legal root moves a search restricted to `only` (when it lists any)
// may play. The legality tests leave their traces in the board's capture
// memory and check flag, which the root reads: they are put back.
static int playableRootMoves(SearchThread* thread) {
    if (thread->only.count > 0) return thread->only.count;
    Board* board = &thread->board;
    const BoardScratchKeeper keep(board);
    return static_cast<int>(generateMoves(board, &thread->moveLists[board->ply], 1));
}

// Sorts the lines best first; equal scores keep their order.
static void sortLines(SearchLines* lines) {
    for (int i = 1; i < lines->count; i++) {
        for (int j = i; j > 0 && lines->scores[j] > lines->scores[j - 1]; j--) {
            std::swap(lines->scores[j], lines->scores[j - 1]);
            std::swap(lines->depths[j], lines->depths[j - 1]);
            std::swap(lines->lines[j], lines->lines[j - 1]);
        }
    }
}

// The lines of a depth cut short after some of its passes: those it found,
// then the lines of the depth before whose first moves they do not repeat,
// with their own figures, up to the number wanted. A GUI shows every line
// by its number: none of them may be left over from an earlier depth.
static void keepEarlierLines(SearchLines* found, const SearchLines& earlier, int wanted) {
    for (int i = 0; i < earlier.count && found->count < wanted; i++) {
        const Move& first = earlier.lines[i].moves[0];
        bool repeated = false;
        for (int j = 0; j < found->count && !repeated; j++)
            repeated = sameMove(found->lines[j].moves[0], first);
        if (repeated) continue;
        found->scores[found->count] = earlier.scores[i];
        found->depths[found->count] = earlier.depths[i];
        found->lines[found->count] = earlier.lines[i];
        found->count++;
    }
}

// True when the score is a mate the side to move gives in at most `moves`
// moves (a mate in n moves scores MATE_SCORE - (2n - 1)).
static bool mateWithin(i32 score, int moves) {
    return moves > 0 && score >= MATE_SCORE - MAX_PLY && MATE_SCORE - score <= 2 * moves - 1;
}

// The endgame tables of a search: how many pieces its nodes probe, and a
// root in the tables searches only the moves that keep its result (within
// the moves the caller allowed; none of those keeps it: the caller's
// stand), each reported with its table score.
static void useTables(SearchThread* main, const SearchLimits& limits, SharedSearch* shared) {
    shared->tableHits.store(0);
    shared->rootInTables = false;
    shared->tablePieces = 0;
    if (!limits.useTables || tablebasePieces() == 0) return;
    shared->tablePieces =
        limits.tableLimit < tablebasePieces() ? limits.tableLimit : tablebasePieces();
    Board* board = &main->board;
    if (board->castlingStatus != 0 || __builtin_popcountll(board->occupied) > shared->tablePieces)
        return;
    RootTablebase root;
    {
        const BoardScratchKeeper keep(board);
        if (!probeRoot(board, fiftyMoveCount(board), &root)) return;
    }
    shared->tableHits.fetch_add(1);
    const RootChoice choice = rankRootMoves(root, limits.table50MoveRule, checkDraw(board) != 0);
    MoveSet kept;
    for (const Move& m : choice.moves)
        if (main->only.count == 0 || main->only.contains(m)) kept.add(m);
    if (kept.count == 0) return;
    restrictRootMoves(main, &kept);
    shared->rootInTables = true;
    shared->tableMoves = kept;
    for (int i = 0; i < kept.count; i++) {
        shared->tableScores[i] = choice.score;
        for (const TablebaseMove& m : root.moves) {
            if (!sameMove(m.move, kept.moves[i])) continue;
            const i32 sign = tablebaseScore(m.wdl, limits.table50MoveRule);
            const i32 distance = m.dtz < 0 ? -m.dtz : m.dtz;
            shared->tableScores[i] = sign > 0   ? TABLEBASE_WIN_SCORE - std::min(distance, 1000)
                                     : sign < 0 ? -(TABLEBASE_WIN_SCORE - std::min(distance, 1000))
                                                : 0;
        }
    }
}

void think(const Board* board, Move* result, const SearchLimits& limits) {
    // Step 1. The helpers of the last search may still be finishing: they
    // are waited for before anything they read is touched. Then the root in
    // the main thread's board, fresh counters; the moves it may play, and
    // how many lines it looks for (no more than those moves).
    waitForHelpers();
    SearchThread* main = searchThread(0);
    SharedSearch& shared = *main->shared;
    MoveClock& clock = *shared.clock;
    shared.limits = &limits;
    shared.reports = limits.reports != nullptr ? limits.reports : &noSearchReports;
    prepareSearchThread(main, board);
    restrictRootMoves(main, &limits.only);
    useTables(main, limits, &shared);
    // A node limit is looked at as often as a sixty-fourth of it, between
    // every 64 and every CLOCK_POLL_INTERVAL + 1 nodes.
    shared.nodeLimit = limits.nodes > 0 ? limits.nodes : 0;
    const i64 nodeLimit = shared.nodeLimit;
    main->pollInterval = CLOCK_POLL_INTERVAL;
    if (nodeLimit > 0 && nodeLimit / 64 < CLOCK_POLL_INTERVAL)
        main->pollInterval = static_cast<i32>(nodeLimit / 64 > 63 ? nodeLimit / 64 : 63);
    int wanted = limits.multiPv > 1 ? limits.multiPv : 1;
    if (wanted > 1) {
        const int playable = playableRootMoves(main);
        if (wanted > playable) wanted = playable > 0 ? playable : 1;
    }
    int maxDepth = limits.depth;
    if (maxDepth < 1) maxDepth = 1;
    if (maxDepth > MAX_ITERATIONS) maxDepth = MAX_ITERATIONS;
    const int mate = limits.mate;

    // Step 2. Limits: a negative budget (from "time" or "st") counts as 0.
    // The budget is the soft limit, checked between iterations; five times
    // it is the hard limit that the nodes poll, but never more than the
    // GUI's clock allows: past that the game is lost on time. A caller that
    // ponders has started the clock itself, with the limits of its move
    // held back until the hit.
    const i32 budget = limits.budget < 0 ? 0 : limits.budget;
    const i32 hardCap = limits.hardCap < 0 ? 0 : limits.hardCap;
    const bool clockStarted = limits.clockStarted;
    if (!clockStarted) startSearchClock(searchClock(), hardLimitFor(budget, hardCap));
    bool pondering = clockStarted && searchPondering();

    // Step 3. The clock runs; the table learns that a new search has begun;
    // then the helpers on the same root (none for a search on the main
    // thread alone).
    const i32 start = clock.timerSearchStart.load();
    shared.lastProgress = 0;
    newHashGeneration();
    shared.threads = limits.oneThread ? 1 : searchThreadCount();
    if (shared.threads > 1) startHelpers(board, &main->only);

    // Step 4. Deepen one ply per iteration.
    PvLine current, previous;
    current.count = previous.count = 0;
    for (int i = 0; i < MAX_PLY; i++) current.moves[i] = previous.moves[i] = noMove;
    *result = noMove;
    bool accepted = false;
    shared.completedLines.count = 0;
    IterationControl control = {budget, 0, false, hardCap};
    for (int depth = 1;; depth++) {
        // Step 4.1. One pass per line: the best move, then the best of the
        // others, and so on, each pass leaving out the moves found before it.
        shared.currentLines.count = 0;
        main->skip.count = 0;
        i32 score = 0;
        bool cutShort = false;
        for (int pass = 0; pass < wanted; pass++) {
            if (pass > 0) {
                main->skip.add(shared.currentLines.lines[pass - 1].moves[0]);
                main->rootFiltered = true;
                // The previous depth's line of the same rank is followed first.
                if (pass < shared.completedLines.count)
                    followLine(main, shared.completedLines.lines[pass]);
                else main->followPV = 0;
            }
            main->searchAborted = 0;
            score = alphaBeta(main, -INFINITE_SCORE, INFINITE_SCORE, depth, &current, 0);
            // A later pass cut short by the clock adds no line: the lines
            // found before it stand.
            if (pass > 0 && main->searchAborted == 1) {
                cutShort = true;
                break;
            }
            shared.currentLines.scores[pass] = score;
            shared.currentLines.depths[pass] = depth;
            shared.currentLines.lines[pass] = current;
            shared.currentLines.count = pass + 1;
            if (main->searchAborted == 1) break;
        }

        // Step 4.3. An iteration cut short by the hard limit after real work
        // is discarded: the previous iteration's move stands. Under a node
        // limit, which small searches reach in a few thousand nodes, any
        // iteration after the first is real work.
        if (!cutShort && main->searchAborted == 1 &&
            (main->globalNodes > 5000 || (nodeLimit > 0 && accepted)))
            break;

        // Step 4.4. Accept the iteration: its line is followed first next
        // time. Of several lines, a depth cut short keeps the earlier
        // depth's lines for the moves it did not reach.
        if (wanted > 1) {
            sortLines(&shared.currentLines);
            score = shared.currentLines.scores[0];
            current = shared.currentLines.lines[0];
            if (cutShort) keepEarlierLines(&shared.currentLines, shared.completedLines, wanted);
        }
        acceptIteration(main, depth, score, current);
        accepted = true;
        shared.completedLines.count = shared.currentLines.count;
        shared.completedLines.depth = depth;
        for (int i = 0; i < shared.currentLines.count; i++) {
            shared.completedLines.scores[i] = shared.currentLines.scores[i];
            shared.completedLines.depths[i] = shared.currentLines.depths[i];
            shared.completedLines.lines[i] = shared.currentLines.lines[i];
        }

        // Steps 4.5 and 4.6. Thinking line, or one per line found.
        const i32 elapsed = elapsedSince(start);
        if (wanted == 1) {
            printThinking(&shared, depth, score, elapsed, &current, 0);
        } else {
            for (int i = 0; i < shared.completedLines.count; i++)
                printThinking(&shared, shared.completedLines.depths[i],
                              shared.completedLines.scores[i], elapsed,
                              &shared.completedLines.lines[i], i + 1);
        }

        // Step 4.7. The time decisions (nextIteration). A search that
        // pondered takes on its move's budget once the hit has come.
        const bool rootMoveChanged = current.moves[0].from != previous.moves[0].from ||
                                     current.moves[0].to != previous.moves[0].to;
        previous = current;
        if (cutShort) break;
        if (pondering && !searchPondering()) {
            pondering = false;
            const TimeBudget moveLimits = ponderLimits();
            control.budget = moveLimits.budget;
            control.hardCap = moveLimits.hardCap;
        }
        // A front end's stop, the watch, the node limit or a mate found
        // as short as asked end the search between iterations too.
        if (shared.reports->interrupt != nullptr && shared.reports->interrupt()) break;
        if (clock.stopSignal.load()) break;
        if (nodeLimit > 0 && searchNodes() >= nodeLimit) break;
        if (mateWithin(score, mate)) break;
        if (!nextIteration(&control, depth, maxDepth, score, elapsed, rootMoveChanged)) break;
    }
    // The helpers are told to stop, not waited for: the move is known, and a
    // helper that the system has not given the processor for a while must
    // not hold it up. The next search, or whatever reads their records or
    // clears the tables, waits for them.
    stopSearchClock();
    stopHelpers();
    shared.nodeLimit = 0;

    // Step 5. The first move of the last accepted line. When no iteration was
    // accepted (depth 1 abandoned) or its line is empty, the first move the
    // search may play is played so that the engine always answers while it
    // has a move.
    if (accepted) *result = previous.moves[0];
    if (result->from == NO_SQUARE)
        *result = main->only.count > 0 ? main->only.moves[0] : firstLegalMove(&main->board);
    main->board.ply = 0;
}

void searchToDepth(const Board* board, Move* result, i32 budget, int maxDepth, i32 hardCap,
                   const SearchLimits* root) {
    SearchLimits limits = root != nullptr ? *root : SearchLimits{};
    limits.budget = budget;
    limits.hardCap = hardCap;
    limits.depth = maxDepth;
    think(board, result, limits);
}

void search(const Board* board, Move* result, i32 budget, i32 hardCap) {
    searchToDepth(board, result, budget, MAX_ITERATIONS, hardCap);
}
