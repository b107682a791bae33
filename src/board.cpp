#include "board.h"

#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "attack.h"
#include "chess960.h"
#include "hash.h"
#include "utils.h"

bool (*boardCheck)(const Board* board) = nullptr;

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
    setCastlingTables(board, CastlingSetup());
    for (int sq = 0; sq < 128; sq++) board->squares[sq] = onBoard(sq) ? EMPTY : OFFBOARD;
    board->occupied = 0;
    for (u64& bits : board->pieceBits) bits = 0;
    board->colourBits[WHITE] = board->colourBits[BLACK] = 0;
    board->fenHalfmoveClock = 0;
}

void copyBoard(Board* to, const Board* from) {
    if (to == from) return;
    // The fields ahead of the histories in one block.
    static_assert(offsetof(Board, hashHistory) < offsetof(Board, gameMoves));
    memcpy(static_cast<void*>(to), from, offsetof(Board, hashHistory));
    const u32 played =
        from->gamePly < static_cast<u32>(MAX_GAME_MOVES) ? from->gamePly : MAX_GAME_MOVES - 1;
    memcpy(to->hashHistory, from->hashHistory, (played + 2) * sizeof(u64));
    memcpy(to->gameMoves, from->gameMoves, played * sizeof(Move));
}

// Checks a FEN text before anything on the board is touched. A text that is
// not a sound position (ranks not filling 8 files, not 8 ranks, kings missing
// or doubled, more pieces than a piece list holds, pawns on the back ranks,
// no side field, the side not to move in check) is refused so that the board
// never holds a broken position. The placement read is left in cells.
static bool fenIsSound(const char* fen, u8* cells) {
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
        int code = pieceFromLetter(c);
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

// The castling field: the word after the side letter, "" when the FEN ends
// there.
static const char* castlingField(const char* fen) {
    const char* side = strchr(fen, ' ') + 1;
    if (side[1] == '\0') return side + 1;
    const char* field = side + 2;
    while (*field == ' ') field++;
    return field;
}

int setupFen(Board* board, const char* fen, std::string* why) {
    u8 cells[128];
    if (fen == nullptr || !fenIsSound(fen, cells)) return 0;
    // A castling field that names a rook that is not there, or a king that
    // is not between its rooks, refuses the whole FEN, the board untouched.
    CastlingSetup castling;
    std::string reason;
    if (!readCastlingField(cells, castlingField(fen), &castling, &reason)) {
        if (why != nullptr) *why = reason;
        return 0;
    }

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
        int code = pieceFromLetter(c);
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

    setCastlingTables(board, castling);
    const char* field = castlingField(fen);
    if (*field != '\0') board->epSquare = readEpSquare(board, field, 0);

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

// ---------------------------------------------------------------------------
// Castling: the king goes from move->from to move->to and its rook from
// move->capturedIndex to the square beside the king's destination. In
// Chess960 these squares may overlap (the king already on its destination,
// the rook on the king's destination, the king on the rook's), so both
// pieces leave their squares before either arrives, and the bit sets flip
// square by square: a square left and entered again flips twice.

namespace {

struct CastlingSquares {
    int kingFrom, kingTo, rookFrom, rookTo;
    u8 king, rook;
};

inline CastlingSquares castlingSquares(const Move* move) {
    const u8 king = move->piece;
    return {move->from,
            move->to,
            move->capturedIndex,
            castlingRookTarget(move->to),
            king,
            static_cast<u8>(king == WKING ? WROOK : BROOK)};
}

// The occupancy, piece and colour bits of a castling, the same for making
// and unmaking it.
inline void toggleCastlingBits(Board* board, const CastlingSquares& c) {
    const u64 king = squareBit(c.kingFrom) ^ squareBit(c.kingTo);
    const u64 rook = squareBit(c.rookFrom) ^ squareBit(c.rookTo);
    board->occupied ^= king ^ rook;
    board->pieceBits[c.king] ^= king;
    board->pieceBits[c.rook] ^= rook;
    board->colourBits[colourOf(c.king)] ^= king ^ rook;
}

// Both pieces off their squares, then onto their new ones.
inline void placeCastlingPieces(u8* squares, int kingFrom, int rookFrom, int kingTo, int rookTo,
                                u8 king, u8 rook) {
    squares[kingFrom] = EMPTY;
    squares[rookFrom] = EMPTY;
    squares[kingTo] = king;
    squares[rookTo] = rook;
}

// The castling king and rook from one pair of squares to the other (make:
// from the start squares, unmake: back to them) on the board, in the piece
// list and in the king's square.
inline void shiftCastlingPieces(Board* board, const CastlingSquares& c, int kingFrom, int rookFrom,
                                int kingTo, int rookTo) {
    const u8 kingIndex = board->pieceIndex[kingFrom];
    const u8 rookIndex = board->pieceIndex[rookFrom];
    placeCastlingPieces(board->squares, kingFrom, rookFrom, kingTo, rookTo, c.king, c.rook);
    board->pieceIndex[kingTo] = kingIndex;
    board->pieceIndex[rookTo] = rookIndex;
    PieceEntry* list = c.king == WKING ? board->whitePieces : board->blackPieces;
    list[kingIndex].square = static_cast<u8>(kingTo);
    list[rookIndex].square = static_cast<u8>(rookTo);
    (c.king == WKING ? board->wKingSquare : board->bKingSquare) = static_cast<u8>(kingTo);
}

// makeMove for castling: the same fields, traces included (the piece
// indices left on the destinations when it is taken back).
[[gnu::noinline]] void makeCastling(Board* board, Move* move) {
    const CastlingSquares c = castlingSquares(move);
    toggleCastlingBits(board, c);
    board->ply++;
    board->gamePly++;
    move->oldCastling = static_cast<u8>(board->castlingStatus);
    move->oldEpSquare = board->epSquare;
    board->epSquare = NO_SQUARE;
    shiftCastlingPieces(board, c, c.kingFrom, c.rookFrom, c.kingTo, c.rookTo);
    board->castlingStatus &= c.king == WKING ? ~(CASTLE_WK | CASTLE_WQ) : ~(CASTLE_BK | CASTLE_BQ);
    board->lastCaptureSquare = NO_SQUARE;
    board->lastCapturedPiece = EMPTY;
    board->sideToMove ^= 1;
    board->hashHistory[board->gamePly] = board->hashKey;
    assert(boardCheck == nullptr || boardCheck(board));
}

[[gnu::noinline]] void unmakeCastling(Board* board, Move* move) {
    const CastlingSquares c = castlingSquares(move);
    toggleCastlingBits(board, c);
    board->ply--;
    board->gamePly--;
    shiftCastlingPieces(board, c, c.kingTo, c.rookTo, c.kingFrom, c.rookFrom);
    board->epSquare = move->oldEpSquare;
    board->castlingStatus = move->oldCastling;
    board->sideToMove ^= 1;
    assert(boardCheck == nullptr || boardCheck(board));
}

}   // namespace

// ---------------------------------------------------------------------------
// Every other move

// The occupancy bits a move other than castling flips, the same for making
// and unmaking it: the origin, the destination unless a piece is taken
// there, the square of a pawn taken en passant.
static inline u64 occupancyChange(const Move* move) {
    const int from = move->from, to = move->to;
    u64 change = squareBit(from);
    if ((move->flags & (MF_CAPTURE | MF_ENPASSANT)) != MF_CAPTURE) change ^= squareBit(to);
    if (move->flags & MF_ENPASSANT)
        change ^= squareBit(move->captured <= EMPTY ? to + 16 : to - 16);
    return change;
}

// The piece and colour bits a move other than castling flips, the same for
// making and unmaking it. piece is the code of the mover before the move
// (the pawn for a promotion).
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
}

// The mover's code before the move, read from the board after it.
static inline u8 moverBefore(const Board* board, const Move* move) {
    if (move->flags & MF_PROMOTION) return move->promotion > EMPTY ? BPAWN : WPAWN;
    return board->squares[move->to];
}

void makeMove(Board* board, Move* move) {
    if (move->flags & MF_CASTLE) {
        makeCastling(board, move);
        return;
    }
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
    case WKING: board->wKingSquare = static_cast<u8>(to); break;
    case BKING: board->bKingSquare = static_cast<u8>(to); break;
    default: break;
    }

    // A right ends when its king or rook moves, or its rook is taken. (A
    // move onto a castling square without a capture cannot happen: the
    // piece of the right stands there.)
    board->castlingStatus &= board->castlingKeep[from] & board->castlingKeep[to];

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

    assert(boardCheck == nullptr || boardCheck(board));
}

void unmakeMove(Board* board, Move* move) {
    if (move->flags & MF_CASTLE) {
        unmakeCastling(board, move);
        return;
    }
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

    assert(boardCheck == nullptr || boardCheck(board));
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
    move->oldCastling = static_cast<u8>(board->castlingStatus);
    move->oldEpSquare = board->epSquare;
    if (move->flags & MF_CASTLE) {
        const CastlingSquares c = castlingSquares(move);
        toggleCastlingBits(board, c);
        placeCastlingPieces(squares, c.kingFrom, c.rookFrom, c.kingTo, c.rookTo, c.king, c.rook);
        if (c.king == WKING) board->wKingSquare = static_cast<u8>(to);
        else board->bKingSquare = static_cast<u8>(to);
        board->sideToMove ^= 1;
        return;
    }
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, squares[from]);
    if (squares[from] == WKING) board->wKingSquare = static_cast<u8>(to);
    else if (squares[from] == BKING) board->bKingSquare = static_cast<u8>(to);
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
    if (move->flags & MF_CASTLE) {
        const CastlingSquares c = castlingSquares(move);
        toggleCastlingBits(board, c);
        placeCastlingPieces(squares, c.kingTo, c.rookTo, c.kingFrom, c.rookFrom, c.king, c.rook);
        if (c.king == WKING) board->wKingSquare = static_cast<u8>(from);
        else board->bKingSquare = static_cast<u8>(from);
        board->epSquare = move->oldEpSquare;
        board->castlingStatus = move->oldCastling;
        board->sideToMove ^= 1;
        return;
    }
    board->occupied ^= occupancyChange(move);
    togglePieceBits(board, move, moverBefore(board, move));
    if (squares[to] == WKING) board->wKingSquare = static_cast<u8>(from);
    else if (squares[to] == BKING) board->bKingSquare = static_cast<u8>(from);
    squares[from] = squares[to];
    squares[to] = move->captured;
    if (move->flags & MF_PROMOTION) squares[from] = move->promotion > EMPTY ? BPAWN : WPAWN;
    if (move->flags & MF_ENPASSANT) {
        squares[move->captured <= EMPTY ? to + 16 : to - 16] = move->captured;
        squares[to] = EMPTY;
    }
    board->epSquare = move->oldEpSquare;
    board->castlingStatus = move->oldCastling;
    board->sideToMove ^= 1;
}
