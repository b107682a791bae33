// Standard algebraic notation on top of the legal move generator.
#include "san.h"

#include <cstring>

#include "attack.h"
#include "board.h"
#include "movegen.h"
#include "utils.h"

// Piece type of a SAN piece letter (N, B, R, Q, K: a pawn has none), 0 for
// anything else.
static int typeOfLetter(char c) { return c != 'P' && c < 'a' ? pieceFromLetter(c) : 0; }

static inline bool isFileChar(char c) { return c >= 'a' && c <= 'h'; }
static inline bool isRankChar(char c) { return c >= '1' && c <= '8'; }

// What a SAN text asks for, before it is matched against the legal moves.
struct SanRequest {
    bool castle = false;
    int castleFile = 0;   // destination file of the king, 'g' or 'c'
    int type = WPAWN;
    int fromFile = 0;   // 'a'..'h', 0 when not given
    int fromRank = 0;   // '1'..'8', 0 when not given
    int to = NO_SQUARE;
    int promotion = 0;   // piece type, 0 when none
    bool capture = false;
};

// Splits the text into its parts; false when it is not a SAN move at all.
static bool readSan(const char* text, SanRequest* request) {
    char buf[SAN_TEXT_SIZE * 2];
    size_t length = strlen(text);
    if (length == 0 || length >= sizeof buf) return false;
    memcpy(buf, text, length + 1);
    // Check and mate marks and annotation signs at the end carry no move.
    while (length > 0 && strchr("+#!?", buf[length - 1]) != nullptr) buf[--length] = '\0';
    if (length == 0) return false;

    if (strcmp(buf, "O-O") == 0 || strcmp(buf, "0-0") == 0) {
        request->castle = true;
        request->castleFile = 'g';
        return true;
    }
    if (strcmp(buf, "O-O-O") == 0 || strcmp(buf, "0-0-0") == 0) {
        request->castle = true;
        request->castleFile = 'c';
        return true;
    }

    const char* p = buf;
    const char* end = buf + length;
    if (typeOfLetter(*p) != 0) request->type = typeOfLetter(*p++);

    // A promotion ends the text: "=Q" or a bare piece letter after the rank.
    if (end - p >= 2 && typeOfLetter(end[-1]) != 0 && typeOfLetter(end[-1]) != WKING) {
        request->promotion = typeOfLetter(end[-1]);
        end--;
        if (end[-1] == '=') end--;
    }
    // The destination is the last square of what remains.
    if (end - p < 2 || !isFileChar(end[-2]) || !isRankChar(end[-1])) return false;
    request->to = (end[-1] - '1') * 16 + (end[-2] - 'a');
    end -= 2;

    // Between the piece and the destination: origin file, rank or square,
    // then an optional capture mark.
    if (p < end && end[-1] == 'x') {
        request->capture = true;
        end--;
    }
    if (p < end && isFileChar(*p)) request->fromFile = static_cast<unsigned char>(*p++);
    if (p < end && isRankChar(*p)) request->fromRank = static_cast<unsigned char>(*p++);
    if (p != end) return false;
    if (request->promotion != 0 && request->type != WPAWN) return false;
    return true;
}

static bool fits(const SanRequest& request, const Move& move) {
    if (request.castle)
        return (move.flags & MF_CASTLE) && file(move.to) == request.castleFile - 'a' + 1;
    if (move.flags & MF_CASTLE) return false;
    if (pieceType(move.piece) != request.type || move.to != request.to) return false;
    if (request.fromFile != 0 && file(move.from) != request.fromFile - 'a' + 1) return false;
    if (request.fromRank != 0 && rank(move.from) != request.fromRank - '1' + 1) return false;
    // A pawn leaves its file only by capturing, and SAN then names the file.
    if (request.type == WPAWN && request.fromFile == 0 && file(move.from) != file(move.to))
        return false;
    if (request.capture && !(move.flags & MF_CAPTURE)) return false;
    const int promotion = (move.flags & MF_PROMOTION) ? pieceType(move.promotion) : 0;
    return promotion == request.promotion;
}

bool parseSan(Board* board, const char* text, Move* move) {
    SanRequest request;
    if (!readSan(text, &request)) return false;
    MoveList list;
    const u32 n = generateMoves(board, &list, 1);
    int found = -1;
    for (u32 i = 0; i < n; i++) {
        if (!fits(request, list.moves[i])) continue;
        if (found >= 0) return false;   // ambiguous
        found = static_cast<int>(i);
    }
    if (found < 0) return false;
    *move = list.moves[found];
    return true;
}

void moveToSan(Board* board, const Move* move, char* out) {
    char* p = out;
    if (move->flags & MF_CASTLE) {
        strcpy(p, file(move->to) == 7 ? "O-O" : "O-O-O");
        p += strlen(p);
    } else {
        const int type = pieceType(move->piece);
        MoveList list;
        const u32 n = generateMoves(board, &list, 1);
        if (type != WPAWN) {
            *p++ = pcString[type];
            // Other pieces of the same kind that reach the same square.
            bool rival = false, sameFile = false, sameRank = false;
            for (u32 i = 0; i < n; i++) {
                const Move& other = list.moves[i];
                if (other.piece != move->piece || other.to != move->to || other.from == move->from)
                    continue;
                rival = true;
                sameFile |= file(other.from) == file(move->from);
                sameRank |= rank(other.from) == rank(move->from);
            }
            if (rival && (!sameFile || sameRank))
                *p++ = static_cast<char>('a' + file(move->from) - 1);
            if (rival && sameFile) *p++ = static_cast<char>('1' + rank(move->from) - 1);
        } else if (move->flags & MF_CAPTURE) {
            *p++ = static_cast<char>('a' + file(move->from) - 1);
        }
        if (move->flags & MF_CAPTURE) *p++ = 'x';
        *p++ = sqString[move->to][0];
        *p++ = sqString[move->to][1];
        if (move->flags & MF_PROMOTION) {
            *p++ = '=';
            *p++ = pcString[pieceType(move->promotion)];
        }
    }
    // Check and mate: the move is made on a copy of its record and taken back.
    Move made = *move;
    makeMove(board, &made);
    if (sideToMoveInCheck(board)) {
        MoveList replies;
        *p++ = generateMoves(board, &replies, 1) == 0 ? '#' : '+';
    }
    unmakeMove(board, &made);
    *p = '\0';
}
