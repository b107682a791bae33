#include "interface.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "attack.h"
#include "board.h"
#include "book.h"
#include "chess960.h"
#include "hash.h"
#include "movegen.h"
#include "search.h"
#include "tablebase.h"
#include "threads.h"
#include "utils.h"

char bookFileName[256] = "./quillantor.bk";
int threadsWanted = 1;

// Every search starts from empty tables: at start-up, on "new" and after each
// engine move that does not end the game. Each search thread has its own
// killers and history. Helpers of the last search may still be finishing
// their stretch of work: they are waited for first.
void clearSearchTables() {
    waitForHelpers();
    clearHashtable(hashSize);
    clearSearchHeuristics();
}

void clearSearchHeuristics() {
    waitForHelpers();
    for (int i = 0; i < searchThreadCount(); i++) {
        clearHistoryHeuristic(&searchThread(i)->heuristics);
        clearKillerMove(&searchThread(i)->heuristics);
    }
}

// The number of the last "hash" line as it was read: a number too large
// for the table's size is echoed and refused in the reader's own digits.
static char hashSizeText[256] = "";

// The number after "hash" as "%d" reads it (white space, an optional sign,
// digits) but without wrapping: false when there is none; *fits is false for
// a number outside 32 bits, whose digits are copied to text.
static bool readHashNumber(const char* line, i32* value, bool* fits, char* text, size_t size) {
    if (strncmp(line, "hash", 4) != 0) return false;
    const char* p = line + 4;
    while (isspace(static_cast<unsigned char>(*p))) p++;
    const char* start = p;
    if (*p == '+' || *p == '-') p++;
    if (!isdigit(static_cast<unsigned char>(*p))) return false;
    while (isdigit(static_cast<unsigned char>(*p))) p++;
    const size_t length =
        static_cast<size_t>(p - start) < size - 1 ? static_cast<size_t>(p - start) : size - 1;
    memcpy(text, start, length);
    text[length] = '\0';
    i64 n = 0;
    readDecimal(start, &n);
    *fits = n >= INT32_MIN && n <= INT32_MAX;
    *value = *fits ? static_cast<i32>(n) : 0;
    return true;
}

void parseInitStream(FILE* file) {
    char line[256];
    bool first = true;
    while (fgets(line, sizeof line, file) != nullptr) {
        // An editor's byte-order mark would hide the first line's word.
        if (first) dropByteOrderMark(line);
        first = false;
        i32 value;
        bool fits;
        char text[sizeof line];
        if (readHashNumber(line, &value, &fits, text, sizeof text)) {
            hashSize = value;   // 0, refused at allocation, when it does not fit
            if (fits) snprintf(hashSizeText, sizeof hashSizeText, "%d", hashSize);
            else snprintf(hashSizeText, sizeof hashSizeText, "%s", text);
            printf("\tHash entries\t= %s\n", hashSizeText);
        }
        char word[256];
        if (sscanf(line, "book %255s", word) == 1) {
            strcpy(bookFileName, word);
            printf("\tBook file\t= %s\n", bookFileName);
        }
        // A line the first versions ignored: the default stays one thread.
        int threads;
        if (sscanf(line, "threads %d", &threads) == 1) {
            threadsWanted = threads;
            printf("\tThreads\t\t= %d\n", threadsWanted);
        }
        // "syzygy DIR": the rest of the line, so that a folder's name may
        // hold blanks; several folders as SyzygyPath separates them.
        if (strncmp(line, "syzygy", 6) == 0 && isspace(static_cast<unsigned char>(line[6]))) {
            std::string path = line + 7;
            while (!path.empty() && isspace(static_cast<unsigned char>(path.front())))
                path.erase(0, 1);
            while (!path.empty() && isspace(static_cast<unsigned char>(path.back())))
                path.pop_back();
            if (!path.empty()) {
                syzygyPath = path;
                printf("\tSyzygy path\t= %s\n", syzygyPath.c_str());
            }
        }
        int best;
        if (sscanf(line, "bestbook %d", &best) == 1) {
            bookBestMove = best != 0;
            printf("\tBest book move\t= %d\n", bookBestMove ? 1 : 0);
        }
    }
}

void parseInitFile() {
    hashSize = 0;
    threadsWanted = 1;
    snprintf(hashSizeText, sizeof hashSizeText, "%d", hashSize);
    strcpy(bookFileName, "./quillantor.bk");
    syzygyPath.clear();
    printf("Parsing quillantor.rc...\n ");
    FILE* file = fopen("./quillantor.rc", "r");
    if (file == nullptr) {
        hashSize = DEFAULT_HASH_SIZE;
        printf("Using default values:\n\tHash entries\t= %d (* 4)\n\tBook file\t= %s\n", hashSize,
               bookFileName);
        return;
    }
    parseInitStream(file);
    fclose(file);
}

// ---------------------------------------------------------------------------
// Move input and the end of the game

u8 checkGameDraw(const Board* board) {
    const u32 n = board->gamePly;
    if (n <= 1) return 0;
    const u64 key = board->hashHistory[n];
    int count = 1;
    for (u32 i = n - 1; i >= 1; i--)
        if (board->hashHistory[i] == key) count++;
    // Only the third occurrence ends the game; a fourth is not reported again.
    return count == 3 ? 1 : 0;
}

static void printResult(const char* line) {
    printf("%s\n", line);
    fflush(stdout);
}

int checkGameEnd(Board* board, MoveList* list) {
    board->inCheck = sideToMoveInCheck(board) ? 1 : 0;

    if (checkGameDraw(board)) {
        printResult("1/2-1/2 {Draw by repetition}");
        return 1;
    }
    if (generateMoves(board, list, 1) != 0) return 0;
    if (board->inCheck != 1) printResult("1/2-1/2 {Stalemate}");
    else if (board->sideToMove == BLACK) printResult("1-0 {White mates}");
    else printResult("0-1 {Black mates}");
    return 1;
}

int playGameMove(Board* board, const Move* move) {
    // A game that has filled gameMoves takes no further move: the move is
    // refused like an illegal one. One slot stays free so that gamePly
    // itself remains a valid index of gameMoves.
    if (board->gamePly >= static_cast<u32>(MAX_GAME_MOVES - 1)) return 0;
    Move* stored = &board->gameMoves[board->gamePly];
    *stored = *move;
    makeMove(board, stored);
    updateHashKey(board, stored);
    return 1;
}

void takeBackGameMove(Board* board) {
    if (board->gamePly == 0) return;
    // The record that made the move is the one in gameMoves, so it carries
    // the undo information unmakeMove needs.
    Move* last = &board->gameMoves[board->gamePly - 1];
    updateHashKey(board, last);
    unmakeMove(board, last);
}

// The number after the command word, as "%d" would read it (leading blanks,
// optional sign). Values beyond 32 bits saturate instead of overflowing.
static bool readCommandNumber(const char* text, i32* value) {
    i64 n = 0;
    if (!readDecimal(text, &n)) return false;
    *value = clampToI32(n);
    return true;
}

i32 readTimeCommand(const char* line, i32 moveTime) {
    // "time N": centiseconds left on the engine's clock, shared over 40 moves.
    i32 centiseconds = moveTime;
    if (strncmp(line, "time", 4) == 0) readCommandNumber(line + 4, &centiseconds);
    return xboardClockBudget(centiseconds);
}

i32 readStCommand(const char* line, i32 moveTime) {
    // "st N": N seconds per move.
    i32 seconds;
    if (strncmp(line, "st", 2) != 0 || !readCommandNumber(line + 2, &seconds)) return moveTime;
    return clampToI32(static_cast<i64>(seconds) * 1000);
}

i32 readAllowedTime(const char* line, i32 previous) {
    i32 n;
    i64 ms;
    if (strncmp(line, "time", 4) == 0 && readCommandNumber(line + 4, &n))
        ms = static_cast<i64>(n) * 10;
    else if (strncmp(line, "st", 2) == 0 && readCommandNumber(line + 2, &n))
        ms = static_cast<i64>(n) * 1000;
    else return previous;
    // INT32_MAX itself means "no limit known": a real clock stays below it.
    if (ms >= INT32_MAX) return INT32_MAX - 1;
    if (ms < INT32_MIN) return INT32_MIN;
    return static_cast<i32>(ms);
}

// ---------------------------------------------------------------------------
// The command loop

// Tells the GUI, which shows it to the user, why a move cannot be played; a
// GUI waiting for the engine's move would otherwise wait for ever.
static void reportFullHistory() {
    printf("tellusererror Game too long: no room for more moves\n");
    fflush(stdout);
}

// The search for the engine's move: the budget of "time" or "st", the most
// the GUI's clock allows, and the endgame tables when the configuration
// named some.
static void thinkForMove(Board* board, LoopState* state) {
    SearchLimits limits;
    limits.budget = state->moveTime;
    limits.hardCap = hardCapSince(state->allowedTime, state->lineTime);
    limits.useTables = tablebasePieces() > 0;
    think(board, &state->lastMove, limits);
}

// The engine's own move: the book while it answers, then the search. Plays
// the move as a game move, announces it and runs the game-end test; the
// tables are cleared for the next search unless the game ended. Returns 1
// when the game is over.
static int engineMove(Board* board, LoopState* state) {
    MoveList* list = &state->moveList;
    // A full game history takes no engine move either; asking the book or
    // the search first would announce a move that cannot be played.
    if (board->gamePly >= static_cast<u32>(MAX_GAME_MOVES - 1)) {
        reportFullHistory();
        return 0;
    }
    // "go" where the side to move has no legal move: the result line, no search.
    list->count = static_cast<u8>(generateMoves(board, list, 1));
    if (list->count == 0) return checkGameEnd(board, list);
    if (state->useBook == 1) state->useBook = getBookMove(board, &state->lastMove);
    if (state->useBook == 0) thinkForMove(board, state);

    playGameMove(board, &state->lastMove);
    char text[6];
    moveToText(&state->lastMove, text);
    printf("move %s\n", text);
    fflush(stdout);

    if (checkGameEnd(board, list)) return 1;
    clearSearchTables();
    return 0;
}

void initLoopState(LoopState* state) {
    state->moveTime = DEFAULT_MOVE_TIME;
    state->allowedTime = NO_TIME_CAP;
    state->lineTime = searchClock();
    state->forceMode = 0;
    state->lastMove = noMove;
    state->useBook = bookFile != nullptr ? 1 : 0;
}

static void setBoardCommand(Board* board, LoopState* state, const char* line) {
    // The position text starts after "setboard" and one separator; a line
    // that ends before that gives an empty text.
    char text[INPUT_LINE_SIZE] = "";
    if (strlen(line) > 9) {
        strncpy(text, line + 9, sizeof text - 1);
        text[sizeof text - 1] = '\0';
    }
    // A position the set-up refuses (among them one where the side that just
    // moved is in check) leaves the game as it was (position, history, book
    // flag) and is reported to the GUI the protocol's way.
    if (!setupFen(board, text)) {
        printf("tellusererror Illegal position\n");
        fflush(stdout);
        return;
    }
    getHashkey(board);
    state->useBook = 0;
}

int handleInputLine(Board* board, LoopState* state, const char* line) {
    // The engine's time for a move it makes on this line runs from here.
    state->lineTime = searchClock();

    // Stage 1: the first five characters may be a move.
    char moveText[6];
    strncpy(moveText, line, 5);
    moveText[5] = '\0';
    if (inputMoveLegal(board, moveText, &state->lastMove)) {
        if (!playGameMove(board, &state->lastMove)) {
            reportFullHistory();
        } else {
            // Stage 2: the user's move is on the board.
            if (checkGameEnd(board, &state->moveList)) return 1;
            if (state->forceMode == 0 && engineMove(board, state)) return 1;
        }
    }

    // Stage 3: every command is compared, in this order.
    if (strcmp(line, "new\n") == 0) {
        setupFen(board, initialPosition);
        getHashkey(board);
        clearSearchTables();
        state->useBook = 1;
        state->forceMode = 0;
    }
    if (strcmp(line, "force\n") == 0) state->forceMode = 1;
    if (strncmp(line, "time ", 5) == 0) {
        state->moveTime = readTimeCommand(line, state->moveTime);
        state->allowedTime = readAllowedTime(line, state->allowedTime);
    }
    if (strcmp(line, "xboard\n") == 0) {
        signal(SIGINT, SIG_IGN);
        printf("\nfeature done=0\n");
        fflush(stdout);
        printf("feature setboard=1 time=1 analyze=0 myname=\"Quillantor 0.3\"\n");
        printf("feature done=1\n");
        fflush(stdout);
    }
    if (strcmp(line, "quit\n") == 0) return 0;
    if (strncmp(line, "setboard", 8) == 0) setBoardCommand(board, state, line);
    if (strcmp(line, "undo\n") == 0) takeBackGameMove(board);
    // The GUI's retract: the user's last move and the engine's answer to it
    // go back together, so the user is on move in the position before them.
    if (strcmp(line, "remove\n") == 0) {
        takeBackGameMove(board);
        takeBackGameMove(board);
    }
    if (strcmp(line, "go\n") == 0) {
        const int over = engineMove(board, state);
        state->forceMode = 0;
        if (over) return 1;
    }
    if (strncmp(line, "st ", 3) == 0) {
        state->moveTime = readStCommand(line, state->moveTime);
        state->allowedTime = readAllowedTime(line, state->allowedTime);
    }
    return 1;
}

void xboardLoop(Board* board, const char* firstLine) {
    // The state lives as long as the loop; the move list inside makes it too
    // big for comfort on the stack next to the board.
    auto state = std::make_unique<LoopState>();
    initLoopState(state.get());
    // A GUI interrupts the engine with SIGINT; the engine keeps running.
    signal(SIGINT, SIG_IGN);
    if (firstLine != nullptr && !handleInputLine(board, state.get(), firstLine)) return;
    char line[INPUT_LINE_SIZE];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        if (!handleInputLine(board, state.get(), line)) return;
    }
}

// Allocates the configured table; a size that is not positive or cannot be
// had falls back to the default size with a one-line message. Allocation
// only reserves the memory: the first clearing is what touches it.
static int allocateHashtable() {
    if (initHashtable(hashSize)) return 1;
    // A size of 0 may stand for a number too large to hold: show its digits.
    if (hashSize == 0 && hashSizeText[0] != '\0')
        printf("\tHash entries\t= %s is not usable: using %d (* 4)\n", hashSizeText,
               DEFAULT_HASH_SIZE);
    else
        printf("\tHash entries\t= %d is not usable: using %d (* 4)\n", hashSize, DEFAULT_HASH_SIZE);
    hashSize = DEFAULT_HASH_SIZE;
    if (initHashtable(hashSize)) return 1;
    printf("Cannot allocate the hash table: stopping.\n");
    fflush(stdout);
    return 0;
}

// The tables of the configuration's syzygy line, with one line that says
// what was found: the count, or why there is nothing to probe. Each file
// left out of a folder that has good ones gets a line of its own.
static void loadSyzygyPath() {
    const TablebaseFiles files = initTablebases(syzygyPath);
    if (files.largest == 0) {
        std::string why;
        for (const std::string& problem : files.problems)
            why += (why.empty() ? "" : "; ") + problem;
        printf("\tSyzygy tables\t= none: %s\n", why.empty() ? "no tables" : why.c_str());
        return;
    }
    for (const std::string& problem : files.problems)
        printf("\tSyzygy tables\t= %s\n", problem.c_str());
    printf("\tSyzygy tables\t= %d WDL, %d DTZ, up to %d pieces\n", files.wdlTables, files.dtzTables,
           files.largest);
}

void initEngineTables() {
    initAttackDeltaTable();
    initZobrist();
}

int startEngine(Board* board) {
    printf("     Q u i l l a n t o r    0 . 3\n");
    printf("A chess playing program by the Quillantor developers\n\n");
    parseInitFile();
    initEngineTables();
    if (!allocateHashtable()) return 0;
    const int threads = setSearchThreads(threadsWanted);
    if (threads != threadsWanted) {
        printf("\tThreads\t\t= %d is not usable: using %d\n", threadsWanted, threads);
        threadsWanted = threads;
    }
    initBook(bookFileName);
    if (!syzygyPath.empty()) loadSyzygyPath();
    setupFen(board, initialPosition);
    getHashkey(board);
    // Seen at once on a terminal, before the first line is typed.
    fflush(stdout);
    return 1;
}
