#include "hash.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "chess960.h"
#include "utils.h"

u64 randomTable[128][16];
u64 randomTable2[128][16];
u64 CHASH;

void initZobrist() {
    for (int sq = 0; sq < 128; sq++) {
        for (int code = 0; code < 16; code++) {
            randomTable[sq][code] = rand64();
            randomTable2[sq][code] = rand64();
        }
    }
    CHASH = randomTable[127][0];
}

// The keys' part for the castling rights: the entry of the rights, and for
// each right whose rook is not in its corner (Chess960) the entry of that
// rook's square, so that the same rights with other rooks make another key.
// Standard positions keep the keys they always had.
static inline u64 castlingKey(const Board* board, u32 rights, const u64 (&table)[128][16]) {
    u64 key = table[126][rights];
    for (int right = 0; right < 4; right++) {
        const int rook = board->castlingRooks[right];
        if ((rights & (1u << right)) && rook != castlingCorners[right]) key ^= table[rook][14];
    }
    return key;
}

void getHashkey(Board* board) {
    u64 key = 0, key2 = 0;
    for (int sq = 0; sq < 128; sq++) {
        const u8 code = board->squares[sq];
        if (code != EMPTY && code != OFFBOARD) {
            key ^= randomTable[sq][code];
            key2 ^= randomTable2[sq][code];
        }
    }
    if (board->epSquare != NO_SQUARE) {
        key ^= randomTable[board->epSquare][15];
        key2 ^= randomTable2[board->epSquare][15];
    }
    key ^= castlingKey(board, board->castlingStatus, randomTable);
    key2 ^= castlingKey(board, board->castlingStatus, randomTable2);
    if (board->sideToMove == BLACK) {
        key ^= CHASH;
        key2 ^= CHASH;
    }
    board->hashKey = key;
    board->hashKey2 = key2;
}

// What a move changes in a key of the table given: the moving piece, a
// captured one (en passant's beside the destination), a promotion, the
// castling rook; the castling rights and the en passant square from the
// ones before the move to the ones after; the side to move. One function
// for the two keys of updateHashKey and for key2After, which reads the
// rights and the square after the move from the board before it.
template <const u64 (&table)[128][16]>
[[gnu::always_inline]] static inline u64 keyChange(const Board* board, const Move* move,
                                                   u32 rightsBefore, u32 rightsAfter, int epBefore,
                                                   int epAfter) {
    const int p = move->piece, from = move->from, to = move->to;
    u64 change = table[from][p] ^ table[to][p];
    if (move->flags & MF_CAPTURE) {
        if (move->flags & MF_ENPASSANT)
            change ^= p <= WKING ? table[to - 16][BPAWN] : table[to + 16][WPAWN];
        else change ^= table[to][move->captured];
    }
    if (move->flags & MF_PROMOTION) change ^= table[to][p] ^ table[to][move->promotion];
    // Castling: the king's squares above (the same square twice when the
    // king stays, which cancels), the rook's here.
    if (move->flags & MF_CASTLE) {
        const int rook = p == WKING ? WROOK : BROOK;
        change ^= table[move->capturedIndex][rook] ^ table[castlingRookTarget(to)][rook];
    }
    if (rightsBefore != rightsAfter)
        change ^= castlingKey(board, rightsBefore, table) ^ castlingKey(board, rightsAfter, table);
    if (epBefore != NO_SQUARE) change ^= table[epBefore][15];
    if (epAfter != NO_SQUARE) change ^= table[epAfter][15];
    return change ^ CHASH;
}

void updateHashKey(Board* board, const Move* move) {
    // The board after the move; the record keeps what was before it.
    const u32 before = move->oldCastling, after = board->castlingStatus;
    const int epBefore = move->oldEpSquare, epAfter = board->epSquare;
    board->hashKey ^= keyChange<randomTable>(board, move, before, after, epBefore, epAfter);
    board->hashKey2 ^= keyChange<randomTable2>(board, move, before, after, epBefore, epAfter);
    board->hashHistory[board->gamePly] = board->hashKey;
}

u64 key2After(const Board* board, const Move* move) {
    // The rights and the en passant square as makeMove leaves them (a
    // castling king leaves its square, which clears both rights).
    const int p = move->piece, from = move->from, to = move->to;
    const u32 castling =
        board->castlingStatus & board->castlingKeep[from] & board->castlingKeep[to];
    int ep = NO_SQUARE;
    if (p == WPAWN && rank(to) == 4 && rank(from) == 2) ep = from + 16;
    else if (p == BPAWN && rank(to) == 5 && rank(from) == 7) ep = from - 16;
    return board->hashKey2 ^ keyChange<randomTable2>(board, move, board->castlingStatus, castling,
                                                     board->epSquare, ep);
}

// The probes land all over the table: on Linux it asks for 2 MB pages, so
// that a probe rarely misses the address translation cache as well as the
// data cache. The block is rounded up to whole pages; elsewhere, or when
// the aligned block cannot be had, a block aligned to the cache line, so
// that a bucket is one line.
static void* allocateTable(size_t bytes) {
#ifdef __linux__
    constexpr size_t hugePage = 2u << 20;
    if (bytes >= hugePage && bytes <= SIZE_MAX - hugePage) {
        const size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        void* memory = aligned_alloc(hugePage, rounded);
        if (memory != nullptr) {
            madvise(memory, rounded, MADV_HUGEPAGE);
            return memory;
        }
    }
#endif
#ifdef _WIN32
    // The table is released by free(), which cannot take an aligned block
    // there: malloc's alignment, a bucket may then straddle two lines.
    return malloc(bytes);
#else
    constexpr size_t line = sizeof(HashBucket);
    if (bytes > SIZE_MAX - line) return nullptr;
    return aligned_alloc(line, (bytes + line - 1) / line * line);
#endif
}

HashBucket* hashtable = nullptr;
i32 hashSize = 0;
// Buckets behind hashtable: the index below never reaches past them, whatever
// hashSize says.
static i32 allocatedBuckets = 0;

// One bit per bucket, set by every store: a bucket whose bit is clear holds
// four empty slots, so emptying the table only visits the marked buckets.
static u64* writtenBuckets = nullptr;

// The table's words are read and written by several search threads at once:
// each access is a relaxed atomic load or store of the whole word, plain
// moves on a 64-bit processor.
static inline u64 loadWord(const u64& word) { return __atomic_load_n(&word, __ATOMIC_RELAXED); }
static inline void storeWord(u64& word, u64 value) {
    __atomic_store_n(&word, value, __ATOMIC_RELAXED);
}

// A bucket's mark is set once; a thread that finds it set writes nothing, so
// the atomic read-modify-write is paid once per bucket and search.
static inline void markWritten(u64 index) {
    u64& marks = writtenBuckets[index >> 6];
    const u64 bit = u64{1} << (index & 63);
    if ((loadWord(marks) & bit) == 0) __atomic_fetch_or(&marks, bit, __ATOMIC_RELAXED);
}

int initHashtable(i32 count) {
    if (count <= 0) return 0;
    // On a 32-bit build the byte count of a large table does not fit size_t:
    // the product would wrap and allocate a small block.
    if (static_cast<u64>(count) > SIZE_MAX / sizeof(HashBucket)) return 0;
    const u64 bytes = static_cast<u64>(count) * sizeof(HashBucket);
    // Lazy allocation would accept a table larger than the machine and the
    // first clearing would then be killed: refuse more than half the memory.
    const u64 memoryBytes = physicalMemoryBytes();
    if (memoryBytes > 0 && bytes > memoryBytes / 2) return 0;
    const size_t words = (static_cast<size_t>(count) + 63) / 64;
    u64* written = static_cast<u64*>(malloc(words * sizeof(u64)));
    if (written == nullptr) return 0;
    void* memory = allocateTable(static_cast<size_t>(bytes));
    if (memory == nullptr) {
        free(written);
        return 0;
    }
    // The new block's contents are undefined: every bucket counts as written.
    for (size_t w = 0; w < words; w++) written[w] = ~u64{0};
    free(writtenBuckets);
    writtenBuckets = written;
    hashtable = static_cast<HashBucket*>(memory);
    allocatedBuckets = count;
    hashSize = count;
    return 1;
}

int resizeHashtable(i32 count) {
    // Both blocks come from malloc; the old one goes only once the new one
    // exists, so a refused size keeps the table in use.
    HashBucket* old = hashtable;
    if (!initHashtable(count)) return 0;
    free(old);
    clearHashtable(hashSize);
    return 1;
}

// The slot word's fields (see HashBucket).
static constexpr int TO_SHIFT = 7, FLAGS_SHIFT = 14, PROMOTION_SHIFT = 22, TYPE_SHIFT = 26,
                     DEPTH_SHIFT = 28, GENERATION_SHIFT = 40, SCORE_SHIFT = 46;
static constexpr u64 FROM_BITS = 0x7f, DEPTH_BITS = u64{0xfff} << DEPTH_SHIFT,
                     GENERATION_BITS = u64{0x3f} << GENERATION_SHIFT,
                     SCORE_BITS = u64{0x3ffff} << SCORE_SHIFT;
static constexpr int GENERATIONS = 64;

// The search that stores now, modulo GENERATIONS.
static u64 generation = 0;

static inline u64 packSlot(const Move* move, u8 type, i32 depth, i32 score) {
    return static_cast<u64>(move->from) | static_cast<u64>(move->to) << TO_SHIFT |
           static_cast<u64>(move->flags) << FLAGS_SHIFT |
           static_cast<u64>(move->promotion) << PROMOTION_SHIFT |
           static_cast<u64>(type) << TYPE_SHIFT |
           (static_cast<u64>(static_cast<i64>(depth)) << DEPTH_SHIFT & DEPTH_BITS) |
           generation << GENERATION_SHIFT |
           static_cast<u64>(static_cast<i64>(score)) << SCORE_SHIFT;
}

// The fields of one slot word, as the views of HashBucket read them.
static inline u8 slotType(u64 word) { return static_cast<u8>((word >> TYPE_SHIFT) & 3); }
static inline i32 slotDepth(u64 word) {
    return static_cast<i32>(static_cast<i64>(word << 24) >> 52);
}
static inline i32 slotScore(u64 word) {
    return static_cast<i32>(static_cast<i64>(word) >> SCORE_SHIFT);
}
static inline u64 slotGeneration(u64 word) { return (word & GENERATION_BITS) >> GENERATION_SHIFT; }
// The search stores drafts of 0 and more: -1 is an empty slot and nothing else.
static inline bool slotEmpty(u64 word) { return slotDepth(word) < 0; }

// An empty slot: no move, draft -1, score NO_HASH_SCORE. The other fields
// keep what the slot held, as they always have. Its lock equals its word,
// so that it answers the key 0 alone, as a slot locked by 0 did.
static constexpr u64 EMPTY_FIELDS = FROM_BITS | DEPTH_BITS | SCORE_BITS;
static constexpr u64 EMPTY_SLOT =
    NO_SQUARE | DEPTH_BITS | static_cast<u64>(static_cast<i64>(NO_HASH_SCORE)) << SCORE_SHIFT;

// No search runs while the table is cleared: plain accesses.
static inline void emptyBucket(HashBucket& bucket) {
    for (int i = 0; i < 4; i++) {
        const u64 word = (bucket.slots.word[i] & ~EMPTY_FIELDS) | EMPTY_SLOT;
        bucket.slots.word[i] = word;
        bucket.lock[i] = word;
    }
}

// Visits the written buckets among the first count (the last word of
// marks may reach past count: those buckets are left alone), and unmarks
// them when asked. No search runs meanwhile: plain accesses.
template <typename Visit>
static void forEachWrittenBucket(i32 count, bool unmark, Visit visit) {
    if (hashtable == nullptr) return;
    if (count > allocatedBuckets) count = allocatedBuckets;
    for (i32 base = 0; base < count; base += 64) {
        u64& marks = writtenBuckets[base >> 6];
        u64 bits = marks;
        if (count - base < 64) bits &= (u64{1} << (count - base)) - 1;
        if (unmark) marks &= ~bits;
        for (; bits != 0; bits &= bits - 1) visit(hashtable[base + __builtin_ctzll(bits)]);
    }
}

void clearHashtable(i32 count) { forEachWrittenBucket(count, true, emptyBucket); }

void newHashGeneration() { generation = (generation + 1) % GENERATIONS; }

int hashGeneration() { return static_cast<int>(generation); }

// Scores beyond this are mates, kept relative to the node that stores them.
static constexpr i32 MATE_BOUND = 20000;

// The position's bucket index, or -1 while no table of hashSize buckets
// exists (a size that is not positive or larger than the allocation: nothing
// is stored and every probe misses).
static inline i64 indexOfKey(u64 key2) {
    if (hashtable == nullptr || hashSize <= 0 || hashSize > allocatedBuckets) return -1;
    // A power-of-two size (the default) takes the index by mask: the same
    // bucket as the remainder, without a 64-bit division on every probe.
    const u64 size = static_cast<u64>(hashSize);
    return static_cast<i64>((size & (size - 1)) == 0 ? key2 & (size - 1) : key2 % size);
}

void prefetchHashtable(const Board* board) { prefetchHashtableKey(board->hashKey2); }

void prefetchHashtableKey(u64 key2) {
    const i64 index = indexOfKey(key2);
    if (index >= 0) __builtin_prefetch(&hashtable[index]);
}

void recordHashtable(const Board* board, i32 depth, i32 score, u8 type, const Move* move,
                     HashCounters* counters) {
    counters->hashStores++;
    const i64 index = indexOfKey(board->hashKey2);
    if (index < 0) return;
    HashBucket* bucket = &hashtable[index];
    const u64 key = board->hashKey;
    const i32 ply = static_cast<i32>(board->ply);
    if (score < -MATE_BOUND) score -= ply;
    else if (score > MATE_BOUND) score += ply;
    // What the slot word can hold; the search stays far inside it.
    assert(depth >= 0 && depth < 2048);
    assert(score >= -(1 << 17) && score < (1 << 17));
    assert(type <= BOUND_LOWER && move->from <= NO_SQUARE && move->to <= NO_SQUARE &&
           move->promotion < 16);

    // Replacement: the position's own slot when this draft is at least as
    // deep or an earlier search stored it, otherwise the shallowest slot (the
    // later of equals), so an empty bucket fills from slot 3 down. An empty
    // slot ranks below everything; a slot of an earlier search ranks below
    // every slot of this one (and above the empty ones: what it knows is
    // kept while there is room). Within one search, and in a table cleared
    // between searches, that is the draft order alone.
    i32 shallowest = 256;
    int chosen = -1;
    for (int i = 0; i < 4; i++) {
        const u64 word = loadWord(bucket->slots.word[i]);
        const i32 stored = slotDepth(word);
        const bool old = slotGeneration(word) != generation;
        if ((loadWord(bucket->lock[i]) ^ word) == key && (depth >= stored || old)) {
            chosen = i;
            break;
        }
        const i32 rank = slotEmpty(word) ? -4096 : old ? stored - 2048 : stored;
        if (rank <= shallowest) {
            shallowest = rank;
            chosen = i;
        }
    }
    if (chosen < 0) return;
    markWritten(static_cast<u64>(index));
    const u64 word = packSlot(move, type, depth, score);
    storeWord(bucket->slots.word[chosen], word);
    storeWord(bucket->lock[chosen], key ^ word);
}

i32 probeHashtable(const Board* board, const i32* alpha, const i32* beta, u8* permission, i32 depth,
                   Move* hashMove, HashCounters* counters) {
    const i64 index = indexOfKey(board->hashKey2);
    if (index < 0) return NO_HASH_SCORE;
    const HashBucket* bucket = &hashtable[index];
    const u64 key = board->hashKey;
    const i32 ply = static_cast<i32>(board->ply);
    i32 taken = 0;
    for (int i = 0; i < 4; i++) {
        // One read of the word: every field below comes from the slot the
        // lock test opened.
        const u64 word = loadWord(bucket->slots.word[i]);
        if ((loadWord(bucket->lock[i]) ^ word) != key) continue;
        counters->hashHits1++;
        const u8 type = slotType(word);
        const i32 stored = slotDepth(word);
        i32 v = slotScore(word);
        // An upper bound below beta: a null move from here would not reach beta.
        if (*permission == 1 && type == BOUND_UPPER && v < *beta) *permission = 0;
        const u8 from = static_cast<u8>(word & FROM_BITS);
        if (stored >= taken && from != NO_SQUARE) {
            hashMove->from = from;
            hashMove->to = static_cast<u8>((word >> TO_SHIFT) & 0x7f);
            hashMove->flags = static_cast<u8>((word >> FLAGS_SHIFT) & 0xff);
            hashMove->promotion = static_cast<u8>((word >> PROMOTION_SHIFT) & 0xf);
            taken = stored;
        }
        if (stored >= depth) {
            if (v < -MATE_BOUND) v += ply;
            else if (v > MATE_BOUND) v -= ply;
            if (type == BOUND_EXACT) return v;
            if (type == BOUND_LOWER && v >= *beta) return v;
            if (type == BOUND_UPPER && v <= *alpha) return v;
        }
    }
    return NO_HASH_SCORE;
}

int hashtableUsage() {
    if (hashtable == nullptr || hashSize <= 0) return 0;
    const i32 buckets = hashSize < 250 ? hashSize : 250;
    int used = 0;
    for (i32 b = 0; b < buckets; b++)
        for (int i = 0; i < 4; i++)
            if (!slotEmpty(loadWord(hashtable[b].slots.word[i]))) used++;
    return used * 1000 / (buckets * 4);
}
