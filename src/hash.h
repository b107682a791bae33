// Zobrist keys and the transposition table.
#pragma once

#include "defs.h"

// [square][code]: pieces on codes 1..6 and 8..13, the en passant square on
// code 15, castling rights on row 126 (code = castlingStatus), side on [127][0].
extern u64 randomTable[128][16];
extern u64 randomTable2[128][16];
extern u64 CHASH;   // black to move; XORed into both keys

// Fills both tables from rand() in its unseeded sequence, entries alternating.
void initZobrist();

// Sets hashKey and hashKey2 from scratch; hashHistory is not written.
void getHashkey(Board* board);

// Applies one move to both keys and records the new hashKey at gamePly.
// Call right after makeMove and again right before unmakeMove: both calls see
// the after-move board, so the second undoes the first exactly.
void updateHashKey(Board* board, const Move* move);

// ---------------------------------------------------------------------------
// Transposition table: hashSize buckets of four slots.

extern HashBucket* hashtable;

// Allocates count buckets (contents undefined). Returns 1 on success, 0 when
// count is not positive or the memory cannot be had (hashtable stays as it was).
int initHashtable(i32 count);

// Empties every slot of the first count buckets; nothing for count <= 0.
void clearHashtable(i32 count);
