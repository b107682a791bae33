// Zobrist keys and the transposition table.
#pragma once

#include "defs.h"

// [square][code]: pieces on codes 1..6 and 8..13, the en passant square on
// code 15, castling rights on row 126 (code = castlingStatus) and, for a
// right whose rook is not in its corner (Chess960), that rook's square on
// code 14; side on [127][0].
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

// What the second updateHashKey call leaves, from the keys the caller saved
// before the move: both keys back, and the history entry at gamePly set to
// the first of them. Call right before unmakeMove, as that call.
inline void restoreHashKeys(Board* board, u64 key, u64 key2) {
    board->hashKey = key;
    board->hashKey2 = key2;
    board->hashHistory[board->gamePly] = key;
}

// ---------------------------------------------------------------------------
// Transposition table: hashSize buckets of four slots, shared by every
// search thread without a lock. Slots are read and written a word at a time
// (relaxed atomic loads and stores); a slot torn by two threads writing it
// at once fails its lock test (see HashBucket), and a move taken from the
// table is only ever used by matching it against the moves generated in the
// position, so a wrong one is never played.

extern HashBucket* hashtable;

// The buckets in use: set by a successful initHashtable or resizeHashtable
// (and by the configuration reader to the size it asks for, before the
// first allocation). Every probe and store reads it; an index never
// reaches past what is allocated, whatever it says.
extern i32 hashSize;

// Allocates count buckets, aligned to the cache line (contents undefined until
// the first clear), and sets hashSize to count. Returns 1 on success, 0 when
// count is not positive or the memory cannot be had (hashtable and hashSize
// stay as they were). Not while a search runs. The block it replaces, if
// any, is the caller's to release (resizeHashtable does both).
int initHashtable(i32 count);

// A table of count buckets in place of the one in use, which is released
// once the new one exists: returns 1 with hashSize = count, or 0 with the
// old table and size kept when the new one cannot be had. The new table is
// empty. Not while a search runs.
int resizeHashtable(i32 count);

// Empties every slot of the first count buckets; nothing for count <= 0.
// Only the buckets stored into since they were last emptied are visited.
// Not while a search runs.
void clearHashtable(i32 count);

// Bound types of a table slot.
enum : u8 {
    BOUND_EXACT = 0,   // the score is the node's value
    BOUND_UPPER = 1,   // the node failed low: its value is at most the score
    BOUND_LOWER = 2    // the node failed high: its value is at least the score
};

// The table's diagnostics, one set per search thread, reset by the search
// driver at every search.
struct HashCounters {
    i64 hashStores = 0;   // calls of recordHashtable
    i64 hashCuts = 0;     // probes that ended a node
    i64 hashHits1 = 0;    // slots whose lock matched in a probe
    i64 hashHits2 = 0;    // kept for symmetry; nothing counts into it
    i64 hashMoves = 0;    // moves recognised as the move to try first
};

// Stores a search result for the board's position: mate scores are made
// relative to this node (ply), the slot is the position's own when the new
// draft is at least as deep or an earlier search stored it, else the
// shallowest slot (the later one on ties), where an empty slot counts as
// the shallowest of all and a slot of an earlier search as shallower than
// any of this search. Nothing is stored while no usable table is allocated.
// Counts the call in counters->hashStores.
void recordHashtable(const Board* board, i32 depth, i32 score, u8 type, const Move* move,
                     HashCounters* counters);

// Looks the board's position up. Returns a score the caller may return at
// once, or NO_HASH_SCORE. alpha and beta are only read; *permission may be
// cleared (a stored upper bound below beta: a null move would fail) and the
// from, to, flags and promotion of *hashMove may be overwritten with those of
// the deepest stored move seen (its other fields are left as they were).
// Counts the matching slots in counters->hashHits1.
i32 probeHashtable(const Board* board, const i32* alpha, const i32* beta, u8* permission, i32 depth,
                   Move* hashMove, HashCounters* counters);

// Asks the memory system for the board's bucket ahead of the probe; no effect
// on what is stored or found.
void prefetchHashtable(const Board* board);
// The same for the bucket of a second key.
void prefetchHashtableKey(u64 key2);

// The hashKey2 the board will have once the move is made and updateHashKey
// applied, read from the board before the move.
u64 key2After(const Board* board, const Move* move);

// Share of the slots in use (of this search or an earlier one: every slot
// that is not empty), per mille, from the first buckets (at most 250): the
// GUI's "hashfull". Safe while a search runs.
int hashtableUsage();

// A new search begins: what the table holds from the searches before stays
// and still answers probes, but is replaced first. Nothing in the table is
// visited (a table of many gigabytes costs nothing here). Not while a
// search runs.
void newHashGeneration();

// The generation stores are marked with now (0..63).
int hashGeneration();
