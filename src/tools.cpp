// Developer tools reached from the command line: perft, show, eval, bench,
// search and the EPD test-suite runner, with the argument parsing they share.
// The engine's modules know nothing of them.
#include "tools.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "board.h"
#include "booktools.h"
#include "chess960.h"
#include "debug.h"
#include "display.h"
#include "eval.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "san.h"
#include "search.h"
#include "tablebase.h"
#include "tbtools.h"
#include "threads.h"
#include "toolargs.h"
#include "utils.h"

// ---------------------------------------------------------------------------
// Arguments, positions and tables

// Milliseconds on the monotonic clock since start, right across its wrap.
static i32 millisecondsSince(i32 start) {
    return static_cast<i32>(static_cast<u32>(timer()) - static_cast<u32>(start));
}

// Takes "OPTION N" out of argv (anywhere from index first on) into *value,
// which keeps its default without the option; false, with a message, for an
// N outside [low, high].
static bool takeNumberOption(int* argc, char** argv, int first, const char* option, int low,
                             int high, const char* usage, int* value) {
    for (int i = first; i < *argc; i++) {
        if (strcmp(argv[i], option) != 0) continue;
        if (i + 1 >= *argc || !readNumberInRange(argv[i + 1], low, high, value)) {
            fprintf(stderr, "%s (%s %d..%d)\n", usage, option, low, high);
            return false;
        }
        for (int j = i; j + 2 < *argc; j++) argv[j] = argv[j + 2];
        *argc -= 2;
        break;
    }
    return true;
}

// Takes "--threads N" out of argv and makes that many search threads; one
// without the option.
static bool takeThreadsOption(int* argc, char** argv, int first, const char* usage) {
    int threads = 1;
    if (!takeNumberOption(argc, argv, first, "--threads", 1, MAX_SEARCH_THREADS, usage, &threads))
        return false;
    if (setSearchThreads(threads) != threads) {
        fprintf(stderr, "cannot start %d search threads\n", threads);
        return false;
    }
    return true;
}

// Takes "--syzygy DIR" out of argv (from index first on) and loads the
// endgame tables of DIR for the searches that *limits starts, with the UCI
// options' defaults. False, saying why, when DIR holds no table.
static bool takeSyzygyOption(int* argc, char** argv, int first, const char* usage,
                             SearchLimits* limits) {
    for (int i = first; i < *argc; i++) {
        if (strcmp(argv[i], "--syzygy") != 0) continue;
        if (i + 1 >= *argc) {
            fprintf(stderr, "%s\n", usage);
            return false;
        }
        const TablebaseFiles files = initTablebases(argv[i + 1]);
        if (files.largest == 0) {
            std::string why;
            for (const std::string& problem : files.problems) why += "; " + problem;
            fprintf(stderr, "--syzygy %s: no tables found%s\n", argv[i + 1], why.c_str());
            return false;
        }
        limits->useTables = true;
        for (int j = i; j + 2 < *argc; j++) argv[j] = argv[j + 2];
        *argc -= 2;
        return true;
    }
    return true;
}

// Takes a flag out of argv (from index first on); true when it was there.
static bool takeFlag(int* argc, char** argv, int first, const char* flag) {
    for (int i = first; i < *argc; i++) {
        if (strcmp(argv[i], flag) != 0) continue;
        for (int j = i; j + 1 < *argc; j++) argv[j] = argv[j + 1];
        *argc -= 1;
        return true;
    }
    return false;
}

// The tools' budget: far beyond any run, so the clock is polled but never decides.
static constexpr i32 TOOL_BUDGET = INT32_MAX;

// The tables as start-up leaves them: the default-size hash table (the
// configuration file is not read), emptied, with empty history and killers.
// False when no table can be had.
static bool prepareToolTables() {
    if (hashtable == nullptr) {
        hashSize = DEFAULT_HASH_SIZE;
        if (!initHashtable(hashSize)) {
            fprintf(stderr, "cannot allocate the hash table\n");
            return false;
        }
    }
    clearSearchTables();
    return true;
}

// ---------------------------------------------------------------------------
// perft and show

static int perftTool(Board* board, int argc, char** argv) {
    int depth = 0;
    if (argc < 3 || !readNumberInRange(argv[2], 1, 64, &depth)) {
        fprintf(stderr, "usage: quillantor perft DEPTH [FEN] (DEPTH 1..64)\n");
        return 2;
    }
    if (!setupToolPosition(board, argc, argv, 3)) return 2;
    const i32 start = timer();
    auto rootMoves = std::make_unique<MoveList>();
    MoveList* list = rootMoves.get();
    list->count = static_cast<u8>(generateMoves(board, list, 1));
    u64 total = 0;
    char text[8];
    const bool kingTakesRook = chess960Position(board);
    for (u32 i = 0; i < list->count; i++) {
        Move* m = &list->moves[i];
        makeMove(board, m);
        const u64 n = perftLeaves(board, depth - 1);
        unmakeMove(board, m);
        moveToTextAs(m, kingTakesRook, text);
        printf("%s: %llu\n", text, static_cast<unsigned long long>(n));
        total += n;
    }
    const i32 elapsed = millisecondsSince(start);
    printf("Nodes: %llu\n", static_cast<unsigned long long>(total));
    printf("Time: %d ms\n", elapsed);
    printf("NPS: %llu\n",
           static_cast<unsigned long long>(elapsed > 0 ? total * 1000 / elapsed : total * 1000));
    return 0;
}

static int showTool(Board* board, int argc, char** argv) {
    if (!setupToolPosition(board, argc, argv, 2)) return 2;
    // Colour for a terminal; a file or a pipe gets plain text.
    displayBoard(board, outputIsTerminal());
    printf("FEN: %s\n", boardToFen(board).c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// eval

// Standard, X-FEN or Shredder-FEN: K, Q, k, q and file letters, each once.
static bool castlingFieldIsSound(const std::string& field) {
    if (field == "-") return true;
    if (field.empty() || field.size() > 4) return false;
    for (size_t i = 0; i < field.size(); i++) {
        if (std::string("KQkqABCDEFGHabcdefgh").find(field[i]) == std::string::npos) return false;
        if (field.find(field[i]) != i) return false;
    }
    return true;
}

static bool epFieldIsSound(const std::string& field) {
    if (field == "-") return true;
    return field.size() == 2 && field[0] >= 'a' && field[0] <= 'h' &&
           (field[1] == '3' || field[1] == '6');
}

// Sets the board up from the first four fields of a FEN or EPD line, with
// keys. A line with fewer than four fields, a side other than w or b, a
// castling or en passant field that is not FEN syntax, or a placement that
// setupFen refuses is not a position: false, board unchanged. Clocks, EPD
// operations and anything else after the fourth field are ignored.
static bool setupFromLine(Board* board, const std::string& line) {
    const std::vector<std::string> fields = splitWords(line);
    if (fields.size() < 4) return false;
    if (fields[1] != "w" && fields[1] != "b") return false;
    if (!castlingFieldIsSound(fields[2]) || !epFieldIsSound(fields[3])) return false;
    const std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
    if (!setupFen(board, fen.c_str())) return false;
    getHashkey(board);
    return true;
}

// A line is a position when it is an EPD or FEN line as above, or else when
// setboard would take it as it stands.
static bool setupFromAnyLine(Board* board, const std::string& line) {
    if (setupFromLine(board, line)) return true;
    std::string fen = line;
    while (!fen.empty() && (fen.back() == '\r' || fen.back() == '\n')) fen.pop_back();
    if (!setupFen(board, fen.c_str())) return false;
    getHashkey(board);
    return true;
}

static int evalLines(Board* board) {
    std::string line;
    u8 flag = 0;
    bool first = true;
    while (std::getline(std::cin, line)) {
        if (first) line = textFromBytes(line);   // a UTF-8 byte-order mark
        first = false;
        if (setupFromAnyLine(board, line)) printf("%d\n", eval(board, &flag));
        else printf("error\n");
        fflush(stdout);
    }
    return 0;
}

static int printTerms(Board* board, int argc, char** argv) {
    if (!setupToolPosition(board, argc, argv, 3)) return 2;
    EvalTerms t;
    const i32 white = evalTerms(board, &t);
    u8 flag = 0;
    printf("material: %d\n", t.material);
    printf("pawn structure: %d\n", t.pawnStructure);
    printf("knight mobility: %d\n", t.knightMobility);
    printf("bishop mobility: %d\n", t.bishopMobility);
    printf("rook terms: %d\n", t.rookTerms);
    printf("queen mobility: %d\n", t.queenMobility);
    printf("pawn advancement: %d\n", t.pawnAdvancement);
    printf("king term: %d\n", t.kingTerm);
    printf("endgame: %d\n", t.endgame);
    printf("trivial draw: %d\n", t.trivialDraw);
    printf("total: %d\n", white);
    printf("eval: %d\n", eval(board, &flag));
    return 0;
}

// Positions of the speed measurement: openings, middlegames with both kings
// castled or not, endgames with and without pieces, promotions.
static constexpr const char* evalBenchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/2NP1N2/PPP1QPPP/R4RK1 w - - 0 10",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "2kr3r/ppp2ppp/2n1b3/2b1p3/4P3/2N1BN2/PPP2PPP/2KR1B1R b - - 4 11",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/5pk1/6p1/8/3R4/6P1/5PK1/r7 w - - 0 40",
    "8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/6K1 w - - 0 1",
    "8/3k4/8/8/3PK3/8/8/8 w - - 0 1",
    "4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1",
    "3r2k1/1p3ppp/p1q5/8/8/1P3Q2/P4PPP/3R2K1 b - - 0 25",
    "8/1P6/8/8/8/8/k5p1/4K3 w - - 0 1",
    "r1b1k2r/ppq2ppp/2n1pn2/2bp4/8/2NBPN2/PPQ2PPP/R1B2RK1 w kq - 0 9",
};

// Evaluates every bench position and every position one legal move away,
// reps times each, and prints the rate. The calls go through a volatile
// function pointer so that none is inlined or hoisted out of the loop, as in
// the search, which calls eval from another module.
static int benchEval(Board* board, int argc, char** argv) {
    int reps = 1000;
    if (argc > 3 && !readNumberInRange(argv[3], 1, 1000000, &reps)) {
        fprintf(stderr, "usage: quillantor eval --bench [REPS] (REPS 1..1000000)\n");
        return 2;
    }
    i32 (*volatile evalFn)(const Board*, u8*) = eval;
    u64 positions = 0, evaluations = 0;
    i64 checksum = 0;
    u8 flag = 0;
    std::chrono::steady_clock::duration spent{};
    auto measure = [&]() {
        const auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < reps; r++) checksum += evalFn(board, &flag);
        spent += std::chrono::steady_clock::now() - start;
        positions++;
        evaluations += static_cast<u64>(reps);
    };
    for (const char* fen : evalBenchPositions) {
        if (!setupFen(board, fen)) {
            fprintf(stderr, "bench position refused: %s\n", fen);
            return 2;
        }
        getHashkey(board);
        measure();
        auto moves = std::make_unique<MoveList>();
        MoveList* list = moves.get();
        list->count = static_cast<u8>(generateMoves(board, list, 1));
        for (u32 i = 0; i < list->count; i++) {
            makeMove(board, &list->moves[i]);
            measure();
            unmakeMove(board, &list->moves[i]);
        }
    }
    // The checksum signs the scores: it changes exactly when an evaluation does.
    const double seconds = std::chrono::duration<double>(spent).count();
    printf("Positions: %llu\n", static_cast<unsigned long long>(positions));
    printf("Evaluations: %llu\n", static_cast<unsigned long long>(evaluations));
    printf("Checksum: %lld\n", static_cast<long long>(checksum / reps));
    printf("Time: %.0f ms\n", seconds * 1000.0);
    printf("Evals/sec: %.0f\n", seconds > 0 ? static_cast<double>(evaluations) / seconds : 0.0);
    return 0;
}

// "eval" reads FEN or EPD lines from standard input and prints one line per
// input line: the score for the side to move, or "error" when the line is not
// a position. "eval --terms [FEN]" prints White's view of each term;
// "eval --bench [REPS]" measures evaluations per second.
static int evalTool(Board* board, int argc, char** argv) {
    if (argc <= 2) return evalLines(board);
    const std::string option = argv[2];
    if (option == "--terms") return printTerms(board, argc, argv);
    if (option == "--bench") return benchEval(board, argc, argv);
    fprintf(
        stderr,
        "usage: quillantor eval [--terms [FEN] | --bench [REPS]] (FEN/EPD lines on standard input)\n");
    return 2;
}

// ---------------------------------------------------------------------------
// bench and search

// Positions of the bench: openings, middlegames, endgames, tactics,
// promotions, checks and mates.
static constexpr const char* benchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 0 4",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
    "2r3k1/pp3ppp/2n1b3/q2pP3/3P4/P1r2N2/1B3PPP/R2QR1K1 w - - 0 20",
    "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 15",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
    "r3r1k1/2p2ppp/p1p1bn2/8/1q2P3/2NPQN2/PPP3PP/R4RK1 b - - 2 15",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/R2Q1RK1 w - - 0 11",
    "r1bqk2r/pp1nbppp/2p1pn2/3p4/2PP4/2N1PN2/PPQ2PPP/R1B1KB1R w KQkq - 0 7",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "rnbqkbnr/ppp2ppp/8/1B1pp3/4P3/8/PPPP1PPP/RNBQK1NR b KQkq - 1 3",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10",
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "6k1/5p2/6p1/8/7p/8/6PP/6K1 b - - 0 1",
    "8/8/1p1k4/p1p1p3/P1P1P3/1P1K4/8/8 w - - 0 1",
    "8/8/8/3k4/8/8/3PK3/8 w - - 0 1",
    "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",
    "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
    "8/5k2/8/4PK2/8/8/r7/1R6 w - - 0 1",
    "8/P7/8/8/8/8/6k1/4K3 w - - 0 1",
    "3r4/4P3/8/8/8/8/6k1/K7 w - - 0 1",
    "5k2/8/8/8/8/8/2q5/K7 b - - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 w - - 0 1",
};
static constexpr int BENCH_DEFAULT_DEPTH = 10;

// The long-game variant plays this many half-moves of a fixed game from the
// start position and puts its key history in front of every bench
// position, as if the game had led there: per-node costs that grow with
// the game's length (the repetition scan) show in its time.
static constexpr u32 BENCH_HISTORY_HALF_MOVES = 200;
static u64 benchHistoryKeys[BENCH_HISTORY_HALF_MOVES + 1];

// The fixed game: at half-move i the legal move numbered (7 i + 3) modulo
// the number of moves, a walk that no key or rand() value steers. Returns
// the half-moves played (fewer only if the walk meets a mate or stalemate).
static u32 playBenchHistory(Board* board) {
    setupFen(board, initialPosition);
    getHashkey(board);
    board->hashHistory[0] = board->hashKey;
    u32 played = 0;
    auto moves = std::make_unique<MoveList>();
    for (; played < BENCH_HISTORY_HALF_MOVES; played++) {
        MoveList* list = moves.get();
        const u32 n = generateMoves(board, list, 1);
        if (n == 0) break;
        Move move = list->moves[(7 * played + 3) % n];
        makeMove(board, &move);
        updateHashKey(board, &move);
        board->ply = 0;
    }
    for (u32 i = 0; i <= played; i++) benchHistoryKeys[i] = board->hashHistory[i];
    return played;
}

// "bench [--history] [DEPTH]": the signature of the search.
static int benchTool(Board* board, int argc, char** argv) {
    static constexpr const char* usage =
        "usage: quillantor bench [--history] [DEPTH] [--threads N] [--syzygy DIR]";
    if (!takeThreadsOption(&argc, argv, 2, usage)) return 2;
    SearchLimits tables;
    if (!takeSyzygyOption(&argc, argv, 2, usage, &tables)) return 2;
    int depth = BENCH_DEFAULT_DEPTH;
    int first = 2;
    const bool history = argc > 2 && strcmp(argv[2], "--history") == 0;
    if (history) first = 3;
    if (argc > first + 1 ||
        (argc == first + 1 && !readNumberInRange(argv[first], 1, MAX_ITERATIONS, &depth))) {
        fprintf(stderr, "%s (DEPTH 1..%d)\n", usage, MAX_ITERATIONS);
        return 2;
    }
    if (!prepareToolTables()) return 2;
    searchOutput = false;
    const u32 historyLength = history ? playBenchHistory(board) : 0;
    u64 total = 0, made = 0;
    const i32 start = timer();
    int number = 0;
    for (const char* fen : benchPositions) {
        number++;
        if (!setupFen(board, fen)) {
            fprintf(stderr, "bench position %d rejected: %s\n", number, fen);
            return 2;
        }
        getHashkey(board);
        if (history) {
            // The game's keys up to its last half-move, which is this position.
            for (u32 i = 0; i < historyLength; i++) board->hashHistory[i] = benchHistoryKeys[i];
            board->gamePly = historyLength;
            board->hashHistory[historyLength] = board->hashKey;
        }
        prepareToolTables();
        Move move;
        const i32 searchStart = timer();
        searchToDepth(board, &move, TOOL_BUDGET, depth, NO_TIME_CAP, &tables);
        waitForHelpers();   // their counts are final once they have stopped
        const i32 searchTime = millisecondsSince(searchStart);
        char text[8];
        moveToText(&move, text);
        printf("Position %2d: %10lld nodes %7d ms  bestmove %s\n", number,
               static_cast<long long>(searchNodes()), searchTime,
               move.from == NO_SQUARE ? "(none)" : text);
        total += static_cast<u64>(searchNodes());
        for (int i = 0; i < searchThreadCount(); i++) made += searchThread(i)->movesMade;
    }
    const i32 elapsed = millisecondsSince(start);
    const u64 nps = total * 1000 / static_cast<u64>(elapsed > 0 ? elapsed : 1);
    const u64 mps = made * 1000 / static_cast<u64>(elapsed > 0 ? elapsed : 1);
    printf("Time: %d ms  Nodes/second: %llu  Moves made: %llu  Moves made/second: %llu\n", elapsed,
           static_cast<unsigned long long>(nps), static_cast<unsigned long long>(made),
           static_cast<unsigned long long>(mps));
    // With helpers the count depends on how the threads met in the table:
    // a measure of the work, not a signature of the search.
    printf("Nodes searched: %llu\n", static_cast<unsigned long long>(total));
    return 0;
}

// The search's diagnostic counters, summed over the search threads.
static void printSearchCounters() {
    const SearchCounters sum = searchCountersTotal();
    i64 nodes = 0, qNodes = 0;
    u64 made = 0;
    u32 selDepth = 0;
    for (int i = 0; i < searchThreadCount(); i++) {
        const SearchThread* t = searchThread(i);
        nodes += t->globalNodes;
        qNodes += t->globalQNodes;
        made += t->movesMade;
        if (t->selDepth > selDepth) selDepth = t->selDepth;
    }
    const auto line = [](const char* name, long long value) {
        printf("%-16s %lld\n", name, value);
    };
    printf("search counters over %d thread%s\n", searchThreadCount(),
           searchThreadCount() == 1 ? "" : "s");
    line("nodes", nodes);
    line("qnodes", qNodes);
    line("movesMade", static_cast<long long>(made));
    line("selDepth", selDepth);
    line("betaCut", sum.betaCut);
    line("betaCutOnFirst", sum.betaCutOnFirst);
    line("nullTried", sum.nullTried);
    line("nullCut", sum.nullCut);
    line("extCheck", sum.extCheck);
    line("extRecap", sum.extRecap);
    line("extPawn", sum.extPawn);
    line("maxQNodes", sum.maxQNodes);
    line("hashStores", sum.hash.hashStores);
    line("hashCuts", sum.hash.hashCuts);
    line("hashHits1", sum.hash.hashHits1);
    line("hashHits2", sum.hash.hashHits2);
    line("hashMoves", sum.hash.hashMoves);
}

// "search DEPTH [FEN] [--threads N] [--multipv K] [--stats]": one search
// with its thinking lines (with K lines, K thinking lines a depth, best
// first), then the move, and the counters when asked for.
static int searchTool(Board* board, int argc, char** argv) {
    static constexpr const char* usage =
        "usage: quillantor search DEPTH [FEN] [--threads N] [--multipv K] [--stats]";
    if (!takeThreadsOption(&argc, argv, 2, usage)) return 2;
    SearchLimits root;
    // The lines the search looks for: 1 without "--multipv K".
    if (!takeNumberOption(&argc, argv, 2, "--multipv", 1, MAX_MOVES, usage, &root.multiPv))
        return 2;
    const bool stats = takeFlag(&argc, argv, 2, "--stats");
    int depth = 0;
    if (argc < 3 || !readNumberInRange(argv[2], 1, MAX_ITERATIONS, &depth)) {
        fprintf(stderr, "%s (DEPTH 1..%d)\n", usage, MAX_ITERATIONS);
        return 2;
    }
    if (!setupToolPosition(board, argc, argv, 3)) return 2;
    if (!prepareToolTables()) return 2;
    Move move;
    const bool kingTakesRook = chess960Position(board);
    searchToDepth(board, &move, TOOL_BUDGET, depth, NO_TIME_CAP, &root);
    char text[8];
    moveToTextAs(&move, kingTakesRook, text);
    printf("bestmove %s\n", move.from == NO_SQUARE ? "(none)" : text);
    if (stats) printSearchCounters();
    return 0;
}

// ---------------------------------------------------------------------------
// epd

bool parseEpdLine(const std::string& line, EpdRecord* record, std::string* error) {
    *record = EpdRecord();
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();

    // The four position fields, then the operations.
    size_t cursor = 0;
    for (int field = 0; field < 4; field++) {
        while (cursor < text.size() && text[cursor] == ' ') cursor++;
        const size_t end = text.find(' ', cursor);
        if (cursor >= text.size() || end == std::string::npos) {
            *error = "fewer than four position fields";
            return false;
        }
        if (field > 0) record->fen += ' ';
        record->fen += text.substr(cursor, end - cursor);
        cursor = end;
    }

    // Operations end at ';' outside a quoted string.
    while (cursor < text.size()) {
        std::string operation;
        bool quoted = false;
        for (; cursor < text.size(); cursor++) {
            const char c = text[cursor];
            if (c == '"') quoted = !quoted;
            else if (c == ';' && !quoted) break;
            operation += c;
        }
        if (quoted) {
            *error = "unterminated string";
            return false;
        }
        cursor++;   // past the ';'
        const std::vector<std::string> words = splitWords(operation);
        if (words.empty()) continue;
        const std::vector<std::string> operands(words.begin() + 1, words.end());
        if (words[0] == "bm") record->bestMoves = operands;
        else if (words[0] == "am") record->avoidMoves = operands;
        else if (words[0] == "id") {
            const size_t open = operation.find('"');
            const size_t close = operation.rfind('"');
            record->id = open != std::string::npos && close > open
                             ? operation.substr(open + 1, close - open - 1)
                             : (operands.empty() ? "" : operands[0]);
        }
    }
    if (record->bestMoves.empty() && record->avoidMoves.empty()) {
        *error = "no bm or am operation";
        return false;
    }
    return true;
}

static bool readEpdOptions(int argc, char** argv, int* time, int* first) {
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        if (strcmp(argv[i], "--time") == 0) {
            if (!readNumberInRange(argv[i + 1], 1, 3600000, time)) return false;
        } else if (strcmp(argv[i], "--first") == 0) {
            if (!readNumberInRange(argv[i + 1], 1, 1000000, first)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// The SAN texts of a list as moves of the position; false when one of them
// is not a legal move there.
static bool readMoves(Board* board, const std::vector<std::string>& texts, std::vector<Move>* moves,
                      std::string* bad) {
    for (const std::string& text : texts) {
        Move move;
        if (!parseSan(board, text.c_str(), &move)) {
            *bad = text;
            return false;
        }
        moves->push_back(move);
    }
    return true;
}

static bool listed(const std::vector<Move>& moves, const Move& move) {
    for (const Move& m : moves)
        if (sameMove(m, move)) return true;
    return false;
}

// Depth and score of the last iteration the search accepted, taken from the
// search's own per-iteration report.
static int epdDepth = 0;
static i32 epdScore = 0;
static void recordIteration(int depth, i32 score, i32, const PvLine*, int) {
    epdDepth = depth;
    epdScore = score;
}

static std::string joined(const char* name, const std::vector<std::string>& texts) {
    std::string out;
    if (texts.empty()) return out;
    out = name;
    for (const std::string& t : texts) out += " " + t;
    return out;
}

int epdTool(Board* board, int argc, char** argv) {
    int time = 1000, first = 1000000;
    if (argc < 3 || !readEpdOptions(argc, argv, &time, &first)) {
        fprintf(stderr, "usage: quillantor epd FILE [--time MS] [--first N]\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    if (!file) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 2;
    }
    // A suite saved as UTF-16 or with a byte-order mark reads as any other.
    std::ostringstream bytes;
    bytes << file.rdbuf();
    std::istringstream in(textFromBytes(bytes.str()));
    if (!prepareToolTables()) return 2;
    searchOutput = false;

    int solved = 0, tried = 0, lineNumber = 0;
    std::string line;
    while (tried < first && std::getline(in, line)) {
        lineNumber++;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        EpdRecord record;
        std::string error;
        if (!parseEpdLine(line, &record, &error)) {
            printf("line %d skipped: %s\n", lineNumber, error.c_str());
            continue;
        }
        if (!setupFen(board, record.fen.c_str())) {
            printf("line %d skipped: illegal position\n", lineNumber);
            continue;
        }
        getHashkey(board);
        std::vector<Move> best, avoid;
        std::string bad;
        if (!readMoves(board, record.bestMoves, &best, &bad) ||
            !readMoves(board, record.avoidMoves, &avoid, &bad)) {
            printf("line %d skipped: %s is not a legal move\n", lineNumber, bad.c_str());
            continue;
        }

        // Every position starts from empty tables, as after "setboard".
        prepareToolTables();
        Move move;
        epdDepth = epdScore = 0;
        SearchReports reports;
        reports.iteration = recordIteration;
        SearchLimits limits;
        limits.reports = &reports;
        searchToDepth(board, &move, time, MAX_ITERATIONS, time, &limits);
        tried++;
        const bool ok =
            move.from != NO_SQUARE && (best.empty() || listed(best, move)) && !listed(avoid, move);
        if (ok) solved++;
        char san[SAN_TEXT_SIZE] = "(none)";
        if (move.from != NO_SQUARE) moveToSan(board, &move, san);
        const std::string id = record.id.empty() ? "line " + std::to_string(lineNumber) : record.id;
        std::string expected = joined("bm", record.bestMoves);
        const std::string avoided = joined("am", record.avoidMoves);
        if (!avoided.empty()) expected += (expected.empty() ? "" : " ") + avoided;
        printf("%s %s %s (%s) depth %d score %d\n", id.c_str(), ok ? "SOLVED" : "FAILED", san,
               expected.c_str(), epdDepth, epdScore);
        fflush(stdout);
    }
    printf("solved %d / %d\n", solved, tried);
    return 0;
}

// ---------------------------------------------------------------------------
// The dispatcher

static constexpr const char* toolUsage =
    "usage: quillantor [TOOL ARGS...]\n"
    "Without arguments the engine starts and speaks the XBoard protocol on standard input\n"
    "and output (or UCI when the first line is \"uci\"); leave it with \"quit\" or end of input.\n"
    "\n"
    "tools:\n"
    "  perft DEPTH [FEN]                  move-path count per root move, then the total\n"
    "  show [FEN]                         diagram of the position (coloured on a terminal)\n"
    "  eval                               static score of each FEN or EPD line on standard input\n"
    "  eval --terms [FEN]                 each evaluation term, White's view\n"
    "  eval --bench [REPS]                evaluations per second\n"
    "  bench [--history] [DEPTH] [--threads N] [--syzygy DIR]\n"
    "                                     fixed-depth search of 30 positions; last line the signature\n"
    "  search DEPTH [FEN] [--threads N] [--multipv K] [--stats]\n"
    "                                     one search with its thinking lines, then bestmove\n"
    "  epd FILE [--time MS] [--first N]   test suite: each position's move against bm and am\n"
    "  book probe [FEN] [--moves M...] [--book FILE] [--time]\n"
    "                                     a position's book moves with their weights or line counts\n"
    "  book make FILE.pgn... [--plies N] [--min-games K]\n"
    "                                     a text book from PGN games, on standard output\n"
    "  book convert FILE.bin [--plies N] [--min-weight W]\n"
    "                                     a text book from a Polyglot book, on standard output\n"
    "  tb probe [FEN] --path DIR          WDL, DTZ and the moves by result from the tables in DIR\n"
    "  help                               this text\n"
    "Without a FEN the start position is used.\n";

int runTool(Board* board, int argc, char** argv) {
    const std::string tool = argv[1];
    if (tool == "help" || tool == "--help" || tool == "-h") {
        fputs(toolUsage, stdout);
        return 0;
    }
    initEngineTables();
    int status;
    if (tool == "perft") status = perftTool(board, argc, argv);
    else if (tool == "show") status = showTool(board, argc, argv);
    else if (tool == "eval") status = evalTool(board, argc, argv);
    else if (tool == "bench") status = benchTool(board, argc, argv);
    else if (tool == "search") status = searchTool(board, argc, argv);
    else if (tool == "epd") status = epdTool(board, argc, argv);
    else if (tool == "book") status = bookTool(board, argc, argv);
    else if (tool == "tb") status = tablebaseTool(board, argc, argv);
    else {
        fprintf(
            stderr,
            "unknown tool '%s': use perft, show, eval, bench, search, epd, book or tb (see quillantor help)\n",
            argv[1]);
        status = 2;
    }
    fflush(stdout);
    return status;
}
