// Configuration file and the command loop.
#pragma once

#include <cstdio>

#include "defs.h"

inline constexpr i32 DEFAULT_HASH_SIZE = 524288;

extern i32 hashSize;            // buckets of the transposition table
extern char bookFileName[256];

// Reads "./quillantor.rc" ("hash N", "book PATH") and prints what it takes.
void parseInitFile();

// The same from an open stream; the file-name message is printed by the caller.
void parseInitStream(FILE* file);

// Reads commands from standard input until end of input or "quit".
void xboardLoop(Board* board);

// Start-up: banner, configuration file, tables, book, start position.
// Returns 0 when no transposition table could be allocated at all.
int startEngine(Board* board);
