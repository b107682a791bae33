#include "debug.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "attack.h"
#include "display.h"
#include "eval.h"
#include "search.h"
#include "tools.h"

#include "board.h"
#include "hash.h"
#include "movegen.h"
#include "utils.h"

static bool listIsConsistent(const Board* board, const PieceEntry* list, int entries, bool white,
                             int expectedAlive) {
    int alive = 0;
    for (int i = 0; i < entries; i++) {
        const PieceEntry& e = list[i];
        if (e.alive == 0) continue;
        if (e.alive != 1 || !onBoard(e.square)) return false;
        if (board->squares[e.square] != e.piece || board->pieceIndex[e.square] != i) return false;
        if (white ? (e.piece < WPAWN || e.piece > WKING) : (e.piece < BPAWN || e.piece > BKING))
            return false;
        alive++;
    }
    return alive == expectedAlive;
}

bool boardIsConsistent(const Board* board) {
    if (board->nWhiteEntries < 1 || board->nWhiteEntries > MAX_PIECE_ENTRIES) return false;
    if (board->nBlackEntries < 1 || board->nBlackEntries > MAX_PIECE_ENTRIES) return false;
    const PieceEntry& wk = board->whitePieces[0];
    const PieceEntry& bk = board->blackPieces[0];
    if (wk.alive != 1 || wk.piece != WKING || wk.square != board->wKingSquare) return false;
    if (bk.alive != 1 || bk.piece != BKING || bk.square != board->bKingSquare) return false;
    if (!listIsConsistent(board, board->whitePieces, board->nWhiteEntries, true, board->nWhite))
        return false;
    if (!listIsConsistent(board, board->blackPieces, board->nBlackEntries, false, board->nBlack))
        return false;

    // Every piece on the board is counted once: the alive entries above each
    // point at a distinct square, so matching totals close the loop.
    int white = 0, black = 0;
    i32 material = 0;
    u64 occupied = 0;
    for (int sq = 0; sq < 128; sq++) {
        const u8 code = board->squares[sq];
        if (!onBoard(sq)) {
            if (code != OFFBOARD) return false;
            continue;
        }
        if (code == OFFBOARD || code > BKING) return false;
        if (code != EMPTY) occupied |= squareBit(sq);
        if (code >= WPAWN && code <= WKING) white++;
        if (code >= BPAWN) black++;
        material += pieceValues[code];
    }
    if (white != board->nWhite || black != board->nBlack) return false;
    if (material != board->materialBalance) return false;
    if (occupied != board->occupied) return false;
    if (board->castlingStatus > 15 || board->sideToMove > 1) return false;
    if (board->epSquare != NO_SQUARE && rank(board->epSquare) != 3 && rank(board->epSquare) != 6)
        return false;
    return true;
}

bool keysAreConsistent(Board* board) {
    const u64 key = board->hashKey, key2 = board->hashKey2;
    getHashkey(board);
    const bool same = key == board->hashKey && key2 == board->hashKey2;
    board->hashKey = key;
    board->hashKey2 = key2;
    return same;
}

void debugPerft(Board* board, u8 depth, u64* nodes) {
    MoveList* list = &board->moveLists[board->ply];
    const u8 n = static_cast<u8>(generateMoves(board, list, 1));
    list->count = n;
    if (depth == 0) {
        *nodes += n;
        return;
    }
    for (u32 i = 0; i < n; i++) {
        makeMove(board, &list->moves[i]);
        debugPerft(board, static_cast<u8>(depth - 1), nodes);
        unmakeMove(board, &list->moves[i]);
    }
}

u64 perftLeaves(Board* board, int depth) {
    if (depth <= 0) return 1;
    u64 nodes = 0;
    debugPerft(board, static_cast<u8>(depth - 1), &nodes);
    return nodes;
}

// Joins argv[first..] with blanks: a FEN given unquoted arrives as words.
static std::string joinArgs(int argc, char** argv, int first) {
    std::string text;
    for (int i = first; i < argc; i++) {
        if (i > first) text += ' ';
        text += argv[i];
    }
    return text;
}

// Parses a whole decimal number in [low, high]; false for anything else.
bool parseNumber(const char* text, int low, int high, int* value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

// Sets up the FEN in argv[first..] or the start position, with keys.
bool setupToolPosition(Board* board, int argc, char** argv, int first) {
    const std::string fen =
        argc > first ? joinArgs(argc, argv, first) : std::string(initialPosition);
    if (!setupFen(board, fen.c_str())) {
        fprintf(stderr, "invalid FEN: %s\n", fen.c_str());
        return false;
    }
    getHashkey(board);
    return true;
}

static int perftTool(Board* board, int argc, char** argv) {
    int depth = 0;
    if (argc < 3 || !parseNumber(argv[2], 1, 64, &depth)) {
        fprintf(stderr, "usage: quillantor perft DEPTH [FEN] (DEPTH 1..64)\n");
        return 2;
    }
    if (!setupToolPosition(board, argc, argv, 3)) return 2;
    const i32 start = timer();
    MoveList* list = &board->moveLists[0];
    list->count = static_cast<u8>(generateMoves(board, list, 1));
    u64 total = 0;
    char text[8];
    for (u32 i = 0; i < list->count; i++) {
        Move* m = &list->moves[i];
        makeMove(board, m);
        const u64 n = perftLeaves(board, depth - 1);
        unmakeMove(board, m);
        moveToText(m, text);
        printf("%s: %llu\n", text, static_cast<unsigned long long>(n));
        total += n;
    }
    const i32 elapsed = timer() - start;
    printf("Nodes: %llu\n", static_cast<unsigned long long>(total));
    printf("Time: %d ms\n", elapsed);
    printf("NPS: %llu\n",
           static_cast<unsigned long long>(elapsed > 0 ? total * 1000 / elapsed : total * 1000));
    return 0;
}

static int showTool(Board* board, int argc, char** argv) {
    if (!setupToolPosition(board, argc, argv, 2)) return 2;
    displayBoard(board);
    return 0;
}

int runTool(Board* board, int argc, char** argv) {
    initAttackDeltaTable();
    initZobrist();
    const std::string tool = argv[1];
    int status;
    if (tool == "perft") status = perftTool(board, argc, argv);
    else if (tool == "show") status = showTool(board, argc, argv);
    else if (tool == "eval") status = evalTool(board, argc, argv);
    else if (tool == "bench") status = benchTool(board, argc, argv);
    else if (tool == "search") status = searchTool(board, argc, argv);
    else if (tool == "epd") status = epdTool(board, argc, argv);
    else {
        fprintf(stderr, "unknown tool '%s': use perft, show, eval, bench, search or epd\n",
                argv[1]);
        status = 2;
    }
    fflush(stdout);
    return status;
}
