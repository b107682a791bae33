// Configuration file, the command loop, move input and the end of the game.
#pragma once

#include <cstdio>

#include "defs.h"
#include "hash.h"

inline constexpr i32 DEFAULT_HASH_SIZE = 524288;
inline constexpr i32 DEFAULT_MOVE_TIME = 5000;   // ms per engine move until "time" or "st"
inline constexpr int INPUT_LINE_SIZE = 256;      // longer input lines arrive in pieces

extern char bookFileName[256];
extern int threadsWanted;   // search threads asked for by a "threads N" line (1 without)

// Reads "./quillantor.rc" ("hash N", "book PATH", "bestbook 0|1", "threads N",
// "syzygy DIR" into syzygyPath) and prints what it takes.
void parseInitFile();

// The same from an open stream; the file-name message is printed by the caller.
void parseInitStream(FILE* file);

// Reads commands from standard input until end of input or "quit". A first
// line the caller has already read (a piece of at most 255 characters) is
// handled before anything else is read.
void xboardLoop(Board* board, const char* firstLine = nullptr);

// The process-wide tables, in start-up order: the attack deltas, then the
// Zobrist keys from the first rand() values. Start-up, the tools and the
// test run all fill them here, so every key comes from the same sequence.
void initEngineTables();

// Start-up up to the first input line: banner, configuration file, tables,
// the transposition table's memory (not yet cleared: that takes long for a
// large table, and the UCI mode must answer "uci" at once), book, the
// endgame tables of a "syzygy" line, start position. Prints and flushes what the user sees at start. Returns 0 when
// no transposition table could be allocated at all.
int startEngine(Board* board);

// Empties the transposition table, the history tables and the killers.
void clearSearchTables();

// Empties the history tables and the killers of every search thread.
void clearSearchHeuristics();

// ---------------------------------------------------------------------------
// Move input and the end of the game

// 1 when the key at gamePly occurs exactly for the third time among the
// entries 1..gamePly of hashHistory (entry 0 is never compared), else 0.
u8 checkGameDraw(const Board* board);

// The test run after every game move: sets inCheck, prints the result line
// (repetition, mate or stalemate) and flushes. Returns 1 when the game is
// over. list is scratch space for the legal-move count.
int checkGameEnd(Board* board, MoveList* list);

// Plays a move as a game move: stores it in gameMoves, makes it and updates
// the keys (which records the new key in hashHistory). Returns 0 and leaves
// the board alone when the game history is full.
int playGameMove(Board* board, const Move* move);

// Takes back the last game move, keys first; does nothing at gamePly 0.
// inCheck is left as it was.
void takeBackGameMove(Board* board);

// The "time" and "st" arithmetic: the budget in milliseconds for the next
// engine move. moveTime is the current budget, kept (and for "time" still
// scaled) when the line carries no number. Numbers beyond 32 bits saturate.
i32 readTimeCommand(const char* line, i32 moveTime);
i32 readStCommand(const char* line, i32 moveTime);

// What the GUI's clock allows for the next engine move, in milliseconds:
// all of the remaining clock after "time N" (centiseconds), N seconds after
// "st N". previous is kept when the line carries no number; saturates.
i32 readAllowedTime(const char* line, i32 previous);

// State the command loop keeps across lines.
struct LoopState {
    i32 moveTime;        // budget for each engine move, milliseconds
    i32 allowedTime;     // what the GUI's clock allows for a move (NO_TIME_CAP: unknown)
    i32 lineTime;        // searchClock() when the current line was taken up
    i32 forceMode;       // 1: make user moves without answering them
    Move lastMove;       // last move read from input or chosen by the engine
    u8 useBook;          // consult the book before searching
    MoveList moveList;   // scratch for the game-end test
};

// Sets the state a fresh loop starts with (the book flag from bookFile).
void initLoopState(LoopState* state);

// Handles one input line (a piece of at most 255 characters and its
// terminator): a user move first, then the commands in their fixed order.
// Returns 0 on "quit", else 1.
int handleInputLine(Board* board, LoopState* state, const char* line);
