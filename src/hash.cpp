#include "hash.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "interface.h"
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
    key ^= randomTable[126][board->castlingStatus];
    key2 ^= randomTable2[126][board->castlingStatus];
    if (board->sideToMove == BLACK) {
        key ^= CHASH;
        key2 ^= CHASH;
    }
    board->hashKey = key;
    board->hashKey2 = key2;
}

void updateHashKey(Board* board, const Move* move) {
    u64 key = board->hashKey, key2 = board->hashKey2;
    auto toggle = [&key, &key2](int sq, int code) {
        key ^= randomTable[sq][code];
        key2 ^= randomTable2[sq][code];
    };
    const int p = move->piece, from = move->from, to = move->to;

    toggle(from, p);
    toggle(to, p);
    if (move->flags & MF_CAPTURE) {
        if (move->flags & MF_ENPASSANT) {
            if (p <= WKING) toggle(to - 16, BPAWN);
            else toggle(to + 16, WPAWN);
        } else {
            toggle(to, move->captured);
        }
    }
    if (move->flags & MF_PROMOTION) {
        toggle(to, p);
        toggle(to, move->promotion);
    }
    if (move->flags & MF_CASTLE) {
        switch (to) {
        case SQ_G1:
            toggle(SQ_H1, WROOK);
            toggle(SQ_F1, WROOK);
            break;
        case SQ_C1:
            toggle(SQ_A1, WROOK);
            toggle(SQ_D1, WROOK);
            break;
        case SQ_G8:
            toggle(SQ_H8, BROOK);
            toggle(SQ_F8, BROOK);
            break;
        case SQ_C8:
            toggle(SQ_A8, BROOK);
            toggle(SQ_D8, BROOK);
            break;
        default: break;
        }
    }
    if (board->castlingStatus != move->oldCastling) {
        toggle(126, move->oldCastling);
        toggle(126, static_cast<int>(board->castlingStatus));
    }
    if (move->oldEpSquare != NO_SQUARE) toggle(move->oldEpSquare, 15);
    if (board->epSquare != NO_SQUARE) toggle(board->epSquare, 15);
    key ^= CHASH;
    key2 ^= CHASH;

    board->hashKey = key;
    board->hashKey2 = key2;
    board->hashHistory[board->gamePly] = key;
}

u64 key2After(const Board* board, const Move* move) {
    u64 key = board->hashKey2;
    const int p = move->piece, from = move->from, to = move->to;
    key ^= randomTable2[from][p] ^ randomTable2[to][p];
    if (move->flags & MF_CAPTURE) {
        if (move->flags & MF_ENPASSANT)
            key ^= p <= WKING ? randomTable2[to - 16][BPAWN] : randomTable2[to + 16][WPAWN];
        else key ^= randomTable2[to][move->captured];
    }
    if (move->flags & MF_PROMOTION) key ^= randomTable2[to][p] ^ randomTable2[to][move->promotion];
    if (move->flags & MF_CASTLE) {
        switch (to) {
        case 6: key ^= randomTable2[7][WROOK] ^ randomTable2[5][WROOK]; break;
        case 2: key ^= randomTable2[0][WROOK] ^ randomTable2[3][WROOK]; break;
        case 118: key ^= randomTable2[119][BROOK] ^ randomTable2[117][BROOK]; break;
        case 114: key ^= randomTable2[112][BROOK] ^ randomTable2[115][BROOK]; break;
        default: break;
        }
    }
    // The rights and the en passant square as makeMove leaves them.
    u32 castling = board->castlingStatus;
    int ep = NO_SQUARE;
    switch (board->squares[from]) {
    case WPAWN:
        if (rank(to) == 4 && rank(from) == 2) ep = from + 16;
        break;
    case BPAWN:
        if (rank(to) == 5 && rank(from) == 7) ep = from - 16;
        break;
    case WKING: castling &= ~(CASTLE_WK | CASTLE_WQ); break;
    case BKING: castling &= ~(CASTLE_BK | CASTLE_BQ); break;
    default: break;
    }
    if (from == 7) castling &= ~CASTLE_WK;
    else if (from == 0) castling &= ~CASTLE_WQ;
    else if (from == 119) castling &= ~CASTLE_BK;
    else if (from == 112) castling &= ~CASTLE_BQ;
    if (move->flags & MF_CAPTURE) {
        if (to == 119) castling &= ~CASTLE_BK;
        else if (to == 112) castling &= ~CASTLE_BQ;
        else if (to == 7) castling &= ~CASTLE_WK;
        else if (to == 0) castling &= ~CASTLE_WQ;
    }
    if (castling != board->castlingStatus)
        key ^= randomTable2[126][board->castlingStatus] ^ randomTable2[126][castling];
    if (board->epSquare != NO_SQUARE) key ^= randomTable2[board->epSquare][15];
    if (ep != NO_SQUARE) key ^= randomTable2[ep][15];
    return key ^ CHASH;
}

// The probes land all over the table: on Linux it asks for 2 MB pages, so
// that a probe rarely misses the address translation cache as well as the
// data cache. The block is rounded up to whole pages; elsewhere, or when
// the aligned block cannot be had, plain malloc.
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
    return malloc(bytes);
}

HashBucket* hashtable = nullptr;
// Buckets behind hashtable: the index below never reaches past them, whatever
// hashSize says.
static i32 allocatedBuckets = 0;

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
    void* memory = allocateTable(static_cast<size_t>(bytes));
    if (memory == nullptr) return 0;
    hashtable = static_cast<HashBucket*>(memory);
    allocatedBuckets = count;
    return 1;
}

void clearHashtable(i32 count) {
    if (hashtable == nullptr) return;
    for (i32 b = 0; b < count; b++) {
        HashBucket& bucket = hashtable[b];
        for (int i = 0; i < 4; i++) {
            bucket.lock[i] = 0;
            bucket.score[i] = NO_HASH_SCORE;
            bucket.depth[i] = -1;
            bucket.move[i].from = NO_SQUARE;
        }
    }
}

void ageHashtable(i32 count) {
    if (hashtable == nullptr) return;
    if (count > allocatedBuckets) count = allocatedBuckets;
    for (i32 b = 0; b < count; b++)
        for (int i = 0; i < 4; i++)
            if (hashtable[b].depth[i] >= 0) hashtable[b].depth[i]--;
}

i32 hashStores = 0, hashCuts = 0, hashHits1 = 0, hashHits2 = 0, hashMoves = 0;

// Scores beyond this are mates, kept relative to the node that stores them.
static constexpr i32 MATE_BOUND = 20000;

// The position's bucket, or null while no table of hashSize buckets exists
// (a size that is not positive or larger than the allocation: nothing is
// stored and every probe misses).
static inline HashBucket* bucketOfKey(u64 key2) {
    if (hashtable == nullptr || hashSize <= 0 || hashSize > allocatedBuckets) return nullptr;
    // A power-of-two size (the default) takes the index by mask: the same
    // bucket as the remainder, without a 64-bit division on every probe.
    const u64 size = static_cast<u64>(hashSize);
    const u64 index = (size & (size - 1)) == 0 ? key2 & (size - 1) : key2 % size;
    return &hashtable[index];
}

static inline HashBucket* bucketOf(const Board* board) { return bucketOfKey(board->hashKey2); }

void prefetchHashtable(const Board* board) { prefetchHashtableKey(board->hashKey2); }

void prefetchHashtableKey(u64 key2) {
    const HashBucket* bucket = bucketOfKey(key2);
    if (bucket == nullptr) return;
    // A bucket of 104 bytes spans two or three cache lines; the locks sit in
    // the last.
    __builtin_prefetch(bucket);
    __builtin_prefetch(reinterpret_cast<const char*>(bucket) + 64);
    __builtin_prefetch(reinterpret_cast<const char*>(bucket) + sizeof(HashBucket) - 1);
}

void recordHashtable(const Board* board, i32 depth, i32 score, u8 type, const Move* move) {
    hashStores++;
    HashBucket* bucket = bucketOf(board);
    if (bucket == nullptr) return;
    const u64 key = board->hashKey;
    const i32 ply = static_cast<i32>(board->ply);
    if (score < -MATE_BOUND) score -= ply;
    else if (score > MATE_BOUND) score += ply;

    // Replacement: the position's own slot when this draft is at least as
    // deep, otherwise the shallowest slot (the later of equals), so an empty
    // bucket fills from slot 3 down.
    i32 shallowest = 256;
    int chosen = -1;
    for (int i = 0; i < 4; i++) {
        if (bucket->lock[i] == key && depth >= bucket->depth[i]) {
            chosen = i;
            break;
        }
        if (bucket->depth[i] <= shallowest) {
            shallowest = bucket->depth[i];
            chosen = i;
        }
    }
    if (chosen < 0) return;
    bucket->lock[chosen] = key;
    bucket->move[chosen] = *move;
    bucket->score[chosen] = score;
    bucket->type[chosen] = type;
    bucket->depth[chosen] = depth;
}

i32 probeHashtable(const Board* board, const i32* alpha, const i32* beta, u8* permission, i32 depth,
                   Move* hashMove) {
    const HashBucket* bucket = bucketOf(board);
    if (bucket == nullptr) return NO_HASH_SCORE;
    const u64 key = board->hashKey;
    const i32 ply = static_cast<i32>(board->ply);
    i32 taken = 0;
    for (int i = 0; i < 4; i++) {
        if (bucket->lock[i] != key) continue;
        hashHits1++;
        // An upper bound below beta: a null move from here would not reach beta.
        if (*permission == 1 && bucket->type[i] == BOUND_UPPER && bucket->score[i] < *beta)
            *permission = 0;
        if (bucket->depth[i] >= taken && bucket->move[i].from != NO_SQUARE) {
            *hashMove = bucket->move[i];
            taken = bucket->depth[i];
        }
        if (bucket->depth[i] >= depth) {
            i32 v = bucket->score[i];
            if (v < -MATE_BOUND) v += ply;
            else if (v > MATE_BOUND) v -= ply;
            if (bucket->type[i] == BOUND_EXACT) return v;
            if (bucket->type[i] == BOUND_LOWER && v >= *beta) return v;
            if (bucket->type[i] == BOUND_UPPER && v <= *alpha) return v;
        }
    }
    return NO_HASH_SCORE;
}
