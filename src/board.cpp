#include "board.h"

#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "attack.h"
#include "debug.h"
#include "hash.h"
#include "utils.h"

void clearBoard(Board* board) {
    board->ply = 0;
    board->gamePly = 0;
    board->castlingStatus = 0;
    board->sideToMove = WHITE;
    board->wKingSquare = 0;
    board->bKingSquare = 0;
    board->lastCaptureSquare = NO_SQUARE;
    board->lastCapturedPiece = EMPTY;
    board->epSquare = NO_SQUARE;
    board->nWhite = 0;
    board->nBlack = 0;
    board->materialBalance = 0;
    board->inCheck = 0;
    for (int sq = 0; sq < 128; sq++) board->squares[sq] = onBoard(sq) ? EMPTY : OFFBOARD;
    board->occupied = 0;
    for (u64& bits : board->pieceBits) bits = 0;
    board->colourBits[WHITE] = board->colourBits[BLACK] = 0;
    board->fenHalfmoveClock = 0;
    for (int i = 0; i < MAX_PLY; i++) board->pv[i].from = NO_SQUARE;
    for (int i = 0; i < MAX_MOVES; i++) board->rootNodeCount[i] = 0;
}

void copyBoard(Board* to, const Board* from) {
    if (to == from) return;
    // The fields ahead of the histories in one block.
    static_assert(offsetof(Board, hashHistory) < offsetof(Board, rootNodeCount));
    memcpy(static_cast<void*>(to), from, offsetof(Board, hashHistory));
    const u32 played =
        from->gamePly < static_cast<u32>(MAX_GAME_MOVES) ? from->gamePly : MAX_GAME_MOVES - 1;
    memcpy(to->hashHistory, from->hashHistory, (played + 2) * sizeof(u64));
    memcpy(to->rootNodeCount, from->rootNodeCount, sizeof from->rootNodeCount);
    to->pvMove = from->pvMove;
    memcpy(to->pv, from->pv, sizeof from->pv);
    memcpy(to->gameMoves, from->gameMoves, played * sizeof(Move));
}

static int pieceCode(char c) {
    switch (c) {
    case 'P': return WPAWN;
    case 'N': return WKNIGHT;
    case 'B': return WBISHOP;
    case 'R': return WROOK;
    case 'Q': return WQUEEN;
    case 'K': return WKING;
    case 'p': return BPAWN;
    case 'n': return BKNIGHT;
    case 'b': return BBISHOP;
    case 'r': return BROOK;
    case 'q': return BQUEEN;
    case 'k': return BKING;
    default: return 0;
    }
}

// Checks a FEN text before anything on the board is touched. A text that is
// not a sound position (ranks not filling 8 files, not 8 ranks, kings missing
// or doubled, more pieces than a piece list holds, pawns on the back ranks,
// no side field, the side not to move in check) is refused so that the board
// never holds a broken position.
static bool fenIsSound(const char* fen) {
    u8 cells[128];
    for (int s = 0; s < 128; s++) cells[s] = onBoard(s) ? EMPTY : OFFBOARD;
    int rankIndex = 0, filesInRank = 0;
    int kings[2] = {0, 0}, others[2] = {0, 0}, kingSquare[2] = {0, 0};
    int i = 0;
    bool lastWasDigit = false;
    for (; fen[i] != '\0' && fen[i] != ' '; i++) {
        char c = fen[i];
        if (c >= '1' && c <= '8') {
            // Two digits in a row would be read as one number.
            if (lastWasDigit) return false;
            filesInRank += c - '0';
            lastWasDigit = true;
            if (filesInRank > 8) return false;
            continue;
        }
        lastWasDigit = false;
        if (c == '/') {
            if (filesInRank != 8) return false;
            rankIndex++;
            filesInRank = 0;
            if (rankIndex > 7) return false;
            continue;
        }
        int code = pieceCode(c);
        if (code == 0) return false;
        if (filesInRank >= 8) return false;
        int colour = colourOf(static_cast<u8>(code));
        int type = pieceType(static_cast<u8>(code));
        // Ranks are read from 8 down to 1: index 0 is rank 8, index 7 rank 1.
        const int square = (7 - rankIndex) * 16 + filesInRank;
        cells[square] = static_cast<u8>(code);
        if (type == WKING) {
            kings[colour]++;
            kingSquare[colour] = square;
        } else {
            others[colour]++;
        }
        if (type == WPAWN && (rankIndex == 0 || rankIndex == 7)) return false;
        filesInRank++;
    }
    if (rankIndex != 7 || filesInRank != 8) return false;
    if (kings[0] != 1 || kings[1] != 1) return false;
    if (others[0] > MAX_PIECE_ENTRIES - 1 || others[1] > MAX_PIECE_ENTRIES - 1) return false;
    if (fen[i] != ' ') return false;
    char side = fen[i + 1];
    if (side == '\0' || side == ' ' || side == '\n' || side == '\r' || side == '\t') return false;
    // The side that just moved cannot have left its king attacked; from such
    // a position the generator would offer a king capture.
    const int toMove = side == 'w' ? WHITE : BLACK;
    if (isAttackedOnSquares(cells, kingSquare[toMove ^ 1], toMove)) return false;
    return true;
}

// Reads the en passant field that follows the castling field. The square is
// kept only when a pawn that has just made its double step stands in front
// of it and the square itself is empty; anything else counts as absent.
static u8 readEpSquare(const Board* board, const char* fen, int castlingStart) {
    int i = castlingStart;
    while (fen[i] != '\0' && fen[i] != ' ') i++;
    while (fen[i] == ' ') i++;
    char f = fen[i];
    if (f < 'a' || f > 'h' || fen[i + 1] == '\0') return NO_SQUARE;
    char r = fen[i + 1];
    int sq;
    if (board->sideToMove == WHITE) {
        if (r != '6') return NO_SQUARE;
        sq = 5 * 16 + (f - 'a');
        if (board->squares[sq - 16] != BPAWN) return NO_SQUARE;
    } else {
        if (r != '3') return NO_SQUARE;
        sq = 2 * 16 + (f - 'a');
        if (board->squares[sq + 16] != WPAWN) return NO_SQUARE;
    }
    if (board->squares[sq] != EMPTY) return NO_SQUARE;
    return static_cast<u8>(sq);
}

// The FEN's fifth field, the halfmove clock. The clocks never decided
// whether a FEN is taken: a missing field or anything but plain digits
// (a sign, a letter, more than six digits) reads as 0.
static u32 readHalfmoveClock(const char* fen) {
    int i = 0;
    for (int field = 0; field < 4; field++) {
        while (fen[i] == ' ') i++;
        if (fen[i] == '\0') return 0;
        while (fen[i] != '\0' && fen[i] != ' ') i++;
    }
    while (fen[i] == ' ') i++;
    u32 clock = 0;
    int digits = 0;
    for (; fen[i] >= '0' && fen[i] <= '9'; i++, digits++) clock = clock * 10 + (fen[i] - '0');
    const bool ends = fen[i] == '\0' || fen[i] == ' ' || fen[i] == '\n' || fen[i] == '\r';
    return digits > 0 && digits <= 6 && ends ? clock : 0;
}

u32 fiftyMoveCount(const Board* board) {
    const u32 last =
        board->gamePly < static_cast<u32>(MAX_GAME_MOVES) ? board->gamePly : MAX_GAME_MOVES;
    u32 count = board->fenHalfmoveClock;
    for (u32 i = 0; i < last; i++) {
        const Move& m = board->gameMoves[i];
        const bool zeroing = (m.flags & MF_CAPTURE) || m.piece == WPAWN || m.piece == BPAWN;
        count = zeroing ? 0 : count + 1;
    }
    return count;
}

int setupFen(Board* board, const char* fen) {
    if (fen == nullptr || !fenIsSound(fen)) return 0;

    clearBoard(board);

    int cursor = 111;
    int whiteCount = 0, blackCount = 0;
    int i = 0;
    for (; fen[i] != '\0'; i++) {
        int skip = atoi(fen + i);
        if (skip != 0) {
            cursor += skip;
            continue;
        }
        char c = fen[i];
        if (c == ' ') break;
        if (c == '/') {
            cursor = cursor - file(cursor) - 16;
            continue;
        }
        int code = pieceCode(c);
        if (code == 0) continue;
        cursor++;
        board->squares[cursor] = static_cast<u8>(code);
        if (code == WKING) {
            board->nWhite++;
            board->wKingSquare = static_cast<u8>(cursor);
            board->whitePieces[0] = {WKING, static_cast<u8>(cursor), 1};
            board->pieceIndex[cursor] = 0;
        } else if (code == BKING) {
            board->nBlack++;
            board->bKingSquare = static_cast<u8>(cursor);
            board->blackPieces[0] = {BKING, static_cast<u8>(cursor), 1};
            board->pieceIndex[cursor] = 0;
        } else if (code < EMPTY) {
            board->nWhite++;
            whiteCount++;
            board->whitePieces[whiteCount] = {static_cast<u8>(code), static_cast<u8>(cursor), 1};
            board->pieceIndex[cursor] = static_cast<u8>(whiteCount);
        } else {
            board->nBlack++;
            blackCount++;
            board->blackPieces[blackCount] = {static_cast<u8>(code), static_cast<u8>(cursor), 1};
            board->pieceIndex[cursor] = static_cast<u8>(blackCount);
        }
    }
    board->nWhiteEntries = static_cast<u8>(whiteCount + 1);
    board->nBlackEntries = static_cast<u8>(blackCount + 1);

    board->sideToMove = fen[i + 1] == 'w' ? WHITE : BLACK;

    // The four castling positions are examined one by one, never past the end.
    board->castlingStatus = 0;
    int castlingStart = i + 2;
    if (fen[i + 2] != '\0') {
        for (int k = 3; k <= 6; k++) {
            char c = fen[i + k];
            if (c == 'K') board->castlingStatus |= CASTLE_WK;
            else if (c == 'Q') board->castlingStatus |= CASTLE_WQ;
            else if (c == 'k') board->castlingStatus |= CASTLE_BK;
            else if (c == 'q') board->castlingStatus |= CASTLE_BQ;
            if (c == '\0') break;
        }
        castlingStart = i + 3;
    }
    // A right whose king and rook are not at home would let the generator
    // move a rook that is not there: drop it.
    const u8* sq = board->squares;
    if (sq[SQ_E1] != WKING || sq[SQ_H1] != WROOK) board->castlingStatus &= ~CASTLE_WK;
    if (sq[SQ_E1] != WKING || sq[SQ_A1] != WROOK) board->castlingStatus &= ~CASTLE_WQ;
    if (sq[SQ_E8] != BKING || sq[SQ_H8] != BROOK) board->castlingStatus &= ~CASTLE_BK;
    if (sq[SQ_E8] != BKING || sq[SQ_A8] != BROOK) board->castlingStatus &= ~CASTLE_BQ;

    if (fen[i + 2] != '\0') board->epSquare = readEpSquare(board, fen, castlingStart);

    for (int s = 0; s < 128; s++) {
        board->materialBalance += pieceValues[board->squares[s]];
        if (onBoard(s) && board->squares[s] != EMPTY) {
            const u8 code = board->squares[s];
            board->occupied |= squareBit(s);
            board->pieceBits[code] |= squareBit(s);
            board->colourBits[colourOf(code)] |= squareBit(s);
        }
    }

    board->fenHalfmoveClock = readHalfmoveClock(fen);

    board->inCheck = sideToMoveInCheck(board) ? 1 : 0;
    return 1;
}

// The castling rook's step for the king's target square, and its code;
// from is NO_SQUARE for a square no castling king lands on.
struct RookStep {
    int from, to;
    u8 code;
};
static inline RookStep castlingRook(int kingTo) {
    switch (kingTo) {
    case SQ_G1: return {SQ_H1, SQ_F1, WROOK};
    case SQ_C1: return {SQ_A1, SQ_D1, WROOK};
    case SQ_G8: return {SQ_H8, SQ_F8, BROOK};
    case SQ_C8: return {SQ_A8, SQ_D8, BROOK};
    default: return {NO_SQUARE, NO_SQUARE, EMPTY};
    }
}

// The occupancy bits a move flips, the same for making and unmaking it: the
// origin, the destination unless a piece is taken there, the square of a
// pawn taken en passant, the castling rook's two squares.
static inline u64 occupancyChange(const Move* move) {
    const int from = move->from, to = move->to;
    u64 change = squareBit(from);
    if ((move->flags & (MF_CAPTURE | MF_ENPASSANT)) != MF_CAPTURE) change ^= squareBit(to);
    if (move->flags & MF_ENPASSANT)
        change ^= squareBit(move->captured <= EMPTY ? to + 16 : to - 16);
    if (move->flags & MF_CASTLE) {
        switch (to) {
        case 6: change ^= squareBit(7) | squareBit(5); break;
        case 2: change ^= squareBit(0) | squareBit(3); break;
        case 118: change ^= squareBit(119) | squareBit(117); break;
        case 114: change ^= squareBit(112) | squareBit(115); break;
        default: break;
        }
    }
    return change;
}

// The piece and colour bits a move flips, the same for making and unmaking
// it. piece is the code of the mover before the move (the pawn for a
// promotion).
static inline void togglePieceBits(Board* board, const Move* move, u8 piece) {
    const int from = move->from, to = move->to;
    const int side = colourOf(piece);
    const u64 fromBit = squareBit(from), toBit = squareBit(to);
    const u8 arriving = (move->flags & MF_PROMOTION) ? move->promotion : piece;
    board->pieceBits[piece] ^= fromBit;
    board->pieceBits[arriving] ^= toBit;
    board->colourBits[side] ^= fromBit | toBit;
    if (move->flags & MF_CAPTURE) {
        const u64 takenBit = (move->flags & MF_ENPASSANT)
                                 ? squareBit(move->captured <= EMPTY ? to + 16 : to - 16)
                                 : toBit;
        board->pieceBits[move->captured] ^= takenBit;
        board->colourBits[side ^ 1] ^= takenBit;
    }
    if (move->flags & MF_CASTLE) {
        const RookStep r = castlingRook(to);
        const u64 rook = r.from == NO_SQUARE ? 0 : squareBit(r.from) | squareBit(r.to);
        board->pieceBits[side == WHITE ? WROOK : BROOK] ^= rook;
        board->colourBits[side] ^= rook;
    }
}

// The mover's code before the move, read from the board after it.
static inline u8 moverBefore(const Board* board, const Move* move) {
    if (move->flags & MF_PROMOTION) return move->promotion > EMPTY ? BPAWN : WPAWN;
    return board->squares[move->to];
}

// Moves the castling rook on the array and keeps its list entry in step.
static inline void moveRook(Board* board, int from, int to, u8 code, PieceEntry* list) {
    board->squares[to] = code;
    board->squares[from] = EMPTY;
    board->pieceIndex[to] = board->pieceIndex[from];
    list[board->pieceIndex[to]].square = static_cast<u8>(to);
}

void makeMove(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    u8* squares = board->squares;
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, squares[from]);

    board->ply++;
    board->gamePly++;
    move->oldCastling = static_cast<u8>(board->castlingStatus);
    move->oldEpSquare = board->epSquare;
    board->epSquare = NO_SQUARE;

    switch (squares[from]) {
    case WPAWN:
        if (rank(to) == 4 && rank(from) == 2) board->epSquare = static_cast<u8>(from + 16);
        break;
    case BPAWN:
        if (rank(to) == 5 && rank(from) == 7) board->epSquare = static_cast<u8>(from - 16);
        break;
    case WKING:
        board->wKingSquare = static_cast<u8>(to);
        board->castlingStatus &= ~(CASTLE_WK | CASTLE_WQ);
        if (move->flags & MF_CASTLE) {
            if (to == SQ_G1) moveRook(board, SQ_H1, SQ_F1, WROOK, board->whitePieces);
            else if (to == SQ_C1) moveRook(board, SQ_A1, SQ_D1, WROOK, board->whitePieces);
        }
        break;
    case BKING:
        board->bKingSquare = static_cast<u8>(to);
        board->castlingStatus &= ~(CASTLE_BK | CASTLE_BQ);
        if (move->flags & MF_CASTLE) {
            if (to == SQ_G8) moveRook(board, SQ_H8, SQ_F8, BROOK, board->blackPieces);
            else if (to == SQ_C8) moveRook(board, SQ_A8, SQ_D8, BROOK, board->blackPieces);
        }
        break;
    default: break;
    }

    if (from == SQ_H1) board->castlingStatus &= ~CASTLE_WK;
    else if (from == SQ_A1) board->castlingStatus &= ~CASTLE_WQ;
    else if (from == SQ_H8) board->castlingStatus &= ~CASTLE_BK;
    else if (from == SQ_A8) board->castlingStatus &= ~CASTLE_BQ;

    squares[to] = squares[from];
    squares[from] = EMPTY;

    if (move->flags & MF_PROMOTION) {
        board->materialBalance += pieceValues[move->promotion] - pieceValues[squares[to]];
        squares[to] = move->promotion;
        PieceEntry* list = move->promotion > EMPTY ? board->blackPieces : board->whitePieces;
        list[board->pieceIndex[from]].piece = move->promotion;
    }

    if (move->flags & MF_ENPASSANT) {
        if (move->captured <= EMPTY) squares[to + 16] = EMPTY;
        else squares[to - 16] = EMPTY;
    }

    board->lastCaptureSquare = NO_SQUARE;
    board->lastCapturedPiece = EMPTY;

    if (move->flags & MF_CAPTURE) {
        board->lastCaptureSquare = static_cast<u8>(to);
        board->lastCapturedPiece = move->captured;
        if (to == SQ_H8) board->castlingStatus &= ~CASTLE_BK;
        else if (to == SQ_A8) board->castlingStatus &= ~CASTLE_BQ;
        else if (to == SQ_H1) board->castlingStatus &= ~CASTLE_WK;
        else if (to == SQ_A1) board->castlingStatus &= ~CASTLE_WQ;
        board->materialBalance -= pieceValues[move->captured];
        if (move->captured <= EMPTY) {
            board->nWhite--;
            u8 index = board->pieceIndex[(move->flags & MF_ENPASSANT) ? to + 16 : to];
            board->whitePieces[index].alive = 0;
            move->capturedIndex = index;
        } else {
            board->nBlack--;
            u8 index = board->pieceIndex[(move->flags & MF_ENPASSANT) ? to - 16 : to];
            board->blackPieces[index].alive = 0;
            move->capturedIndex = index;
        }
    }

    board->pieceIndex[to] = board->pieceIndex[from];
    PieceEntry* moverList = squares[to] <= WKING ? board->whitePieces : board->blackPieces;
    moverList[board->pieceIndex[to]].square = static_cast<u8>(to);

    board->sideToMove ^= 1;
    board->hashHistory[board->gamePly] = board->hashKey;

    assert(boardIsConsistent(board));
}

void unmakeMove(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    u8* squares = board->squares;
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, moverBefore(board, move));

    board->ply--;
    board->gamePly--;

    if (squares[to] == WKING) board->wKingSquare = static_cast<u8>(from);
    else if (squares[to] == BKING) board->bKingSquare = static_cast<u8>(from);

    squares[from] = squares[to];
    squares[to] = move->captured;

    board->pieceIndex[from] = board->pieceIndex[to];
    PieceEntry* moverList = squares[from] <= WKING ? board->whitePieces : board->blackPieces;
    moverList[board->pieceIndex[from]].square = static_cast<u8>(from);

    if (move->flags & MF_PROMOTION) {
        board->materialBalance -= pieceValues[move->promotion];
        u8 pawn = move->promotion > EMPTY ? BPAWN : WPAWN;
        squares[from] = pawn;
        moverList[board->pieceIndex[from]].piece = pawn;
        board->materialBalance += pieceValues[pawn];
    }

    if (move->flags & MF_CASTLE) {
        const RookStep r = castlingRook(to);
        if (r.from != NO_SQUARE)
            moveRook(board, r.to, r.from, r.code,
                     r.code == WROOK ? board->whitePieces : board->blackPieces);
    }

    int capturedSquare = to;
    if (move->flags & MF_ENPASSANT) {
        capturedSquare = move->captured <= EMPTY ? to + 16 : to - 16;
        squares[capturedSquare] = move->captured;
        squares[to] = EMPTY;
    }

    if (move->flags & MF_CAPTURE) {
        board->materialBalance += pieceValues[move->captured];
        if (move->captured <= EMPTY) {
            board->whitePieces[move->capturedIndex].alive = 1;
            board->nWhite++;
        } else {
            board->blackPieces[move->capturedIndex].alive = 1;
            board->nBlack++;
        }
        board->pieceIndex[capturedSquare] = move->capturedIndex;
    }

    board->epSquare = move->oldEpSquare;
    board->castlingStatus = move->oldCastling;
    board->sideToMove ^= 1;

    assert(boardIsConsistent(board));
}

void makeNullmove(Board* board, Move* move) {
    board->ply++;
    board->gamePly++;
    board->lastCaptureSquare = NO_SQUARE;
    board->lastCapturedPiece = EMPTY;
    move->oldEpSquare = board->epSquare;
    board->epSquare = NO_SQUARE;
    board->sideToMove ^= 1;
    board->hashKey ^= CHASH;
    board->hashKey2 ^= CHASH;
    if (move->oldEpSquare != NO_SQUARE) {
        board->hashKey ^= randomTable[move->oldEpSquare][15];
        board->hashKey2 ^= randomTable2[move->oldEpSquare][15];
    }
    board->hashHistory[board->gamePly] = board->hashKey;
}

void unmakeNullmove(Board* board, Move* move) {
    board->ply--;
    board->gamePly--;
    board->sideToMove ^= 1;
    board->hashKey ^= CHASH;
    board->hashKey2 ^= CHASH;
    if (move->oldEpSquare != NO_SQUARE) {
        board->hashKey ^= randomTable[move->oldEpSquare][15];
        board->hashKey2 ^= randomTable2[move->oldEpSquare][15];
    }
    board->epSquare = move->oldEpSquare;
}

void makeMoveSimple(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    u8* squares = board->squares;
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, squares[from]);
    move->oldCastling = static_cast<u8>(board->castlingStatus);
    move->oldEpSquare = board->epSquare;
    if (squares[from] == WKING) board->wKingSquare = static_cast<u8>(to);
    else if (squares[from] == BKING) board->bKingSquare = static_cast<u8>(to);
    if (move->flags & MF_CASTLE) {
        const RookStep r = castlingRook(to);
        if (r.from != NO_SQUARE) {
            squares[r.to] = r.code;
            squares[r.from] = EMPTY;
        }
    }
    squares[to] = squares[from];
    squares[from] = EMPTY;
    if (move->flags & MF_PROMOTION) squares[to] = move->promotion;
    if (move->flags & MF_ENPASSANT) {
        if (move->captured <= EMPTY) squares[to + 16] = EMPTY;
        else squares[to - 16] = EMPTY;
    }
    board->sideToMove ^= 1;
}

void unmakeMoveSimple(Board* board, Move* move) {
    const int from = move->from, to = move->to;
    u8* squares = board->squares;
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, moverBefore(board, move));
    if (squares[to] == WKING) board->wKingSquare = static_cast<u8>(from);
    else if (squares[to] == BKING) board->bKingSquare = static_cast<u8>(from);
    squares[from] = squares[to];
    squares[to] = move->captured;
    if (move->flags & MF_PROMOTION) squares[from] = move->promotion > EMPTY ? BPAWN : WPAWN;
    if (move->flags & MF_CASTLE) {
        const RookStep r = castlingRook(to);
        if (r.from != NO_SQUARE) {
            squares[r.from] = r.code;
            squares[r.to] = EMPTY;
        }
    }
    if (move->flags & MF_ENPASSANT) {
        squares[move->captured <= EMPTY ? to + 16 : to - 16] = move->captured;
        squares[to] = EMPTY;
    }
    board->epSquare = move->oldEpSquare;
    board->castlingStatus = move->oldCastling;
    board->sideToMove ^= 1;
}
