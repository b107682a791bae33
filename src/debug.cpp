#include "debug.h"

#include <cstdio>
#include <cstdlib>

#include "board.h"
#include "chess960.h"
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

// The castling record against the board: each right held has its king and
// its rook on their first rank, the king between the rook and the other
// right's rook, the right's tables as its two squares give them, and only
// those two squares clear it in castlingKeep.
static const char* castlingInconsistency(const Board* board) {
    if (board->castlingByFile > 1) return "castling field form";
    for (int right = 0; right < 4; right++) {
        if ((board->castlingStatus & (1u << right)) == 0) continue;
        const bool white = right < 2;
        const int king = white ? board->wKingSquare : board->bKingSquare;
        const int rook = board->castlingRooks[right];
        const int home = white ? 0 : 112;
        if ((king & 0x70) != home || rook == NO_SQUARE || (rook & 0x70) != home ||
            board->squares[rook] != (white ? WROOK : BROOK) || (right % 2 == 0) != (rook > king))
            return "castling king or rook";
        u64 empty, safe;
        castlingPath(right, king, rook, &empty, &safe);
        if (empty != board->castlingEmpty[right] || safe != board->castlingSafe[right])
            return "castling paths";
        for (int sq = 0; sq < 128; sq++) {
            const bool clears = (board->castlingKeep[sq] & (1u << right)) == 0;
            if (clears != (sq == king || sq == rook)) return "castling keep table";
        }
    }
    return nullptr;
}

// The first check the board fails, or nullptr when it passes them all.
static const char* firstInconsistency(const Board* board) {
    if (board->nWhiteEntries < 1 || board->nWhiteEntries > MAX_PIECE_ENTRIES)
        return "white entry count";
    if (board->nBlackEntries < 1 || board->nBlackEntries > MAX_PIECE_ENTRIES)
        return "black entry count";
    const PieceEntry& wk = board->whitePieces[0];
    const PieceEntry& bk = board->blackPieces[0];
    if (wk.alive != 1 || wk.piece != WKING || wk.square != board->wKingSquare)
        return "white king entry";
    if (bk.alive != 1 || bk.piece != BKING || bk.square != board->bKingSquare)
        return "black king entry";
    if (!listIsConsistent(board, board->whitePieces, board->nWhiteEntries, true, board->nWhite))
        return "white piece list";
    if (!listIsConsistent(board, board->blackPieces, board->nBlackEntries, false, board->nBlack))
        return "black piece list";

    // Every piece on the board is counted once: the alive entries above each
    // point at a distinct square, so matching totals close the loop.
    int white = 0, black = 0;
    i32 material = 0;
    u64 occupied = 0;
    u64 pieceBits[14] = {};
    u64 colourBits[2] = {};
    for (int sq = 0; sq < 128; sq++) {
        const u8 code = board->squares[sq];
        if (!onBoard(sq)) {
            if (code != OFFBOARD) return "off-board cells";
            continue;
        }
        if (code == OFFBOARD || code > BKING) return "piece codes";
        if (code != EMPTY) {
            occupied |= squareBit(sq);
            pieceBits[code] |= squareBit(sq);
            colourBits[colourOf(code)] |= squareBit(sq);
        }
        if (code >= WPAWN && code <= WKING) white++;
        if (code >= BPAWN) black++;
        material += pieceValues[code];
    }
    if (white != board->nWhite || black != board->nBlack) return "piece counts";
    if (material != board->materialBalance) return "material balance";
    if (occupied != board->occupied) return "occupancy bits";
    for (int code = 0; code < 14; code++)
        if (pieceBits[code] != board->pieceBits[code]) return "piece bits";
    if (colourBits[WHITE] != board->colourBits[WHITE] ||
        colourBits[BLACK] != board->colourBits[BLACK])
        return "colour bits";
    if (board->castlingStatus > 15 || board->sideToMove > 1) return "castling rights or side";
    if (const char* what = castlingInconsistency(board)) return what;
    if (board->epSquare != NO_SQUARE && rank(board->epSquare) != 3 && rank(board->epSquare) != 6)
        return "en passant square";
    return nullptr;
}

bool boardIsConsistent(const Board* board, const char** failed) {
    const char* what = firstInconsistency(board);
    if (failed != nullptr) *failed = what;
    // Inside an assert the reason goes to standard error before the abort.
    else if (what != nullptr) fprintf(stderr, "board inconsistent: %s\n", what);
    return what == nullptr;
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
    // Each ply's list on the stack: 4.6 KB a ply, 64 plies at the most.
    MoveList moves;
    MoveList* list = &moves;
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

void installBoardCheck() {
    boardCheck = [](const Board* board) { return boardIsConsistent(board); };
}
