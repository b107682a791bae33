#include "chess960.h"

#include <cctype>

#include "utils.h"

bool chess960Notation = false;

namespace {

// A square's name for the messages.
std::string squareName(int sq) { return sqString[sq & 127]; }

const char* colourName(int colour) { return colour == WHITE ? "white" : "black"; }

// The file (0..7) of the king of colour on its first rank, -1 when it is
// not there.
int kingFileOnHomeRank(const u8* cells, int colour) {
    const int home = colour == WHITE ? 0 : 112;
    const u8 king = colour == WHITE ? WKING : BKING;
    for (int f = 0; f < 8; f++)
        if (cells[home + f] == king) return f;
    return -1;
}

// The file of the rook of colour farthest from the king on the side of
// the right (short: towards h, long: towards a), -1 when there is none.
int outermostRookFile(const u8* cells, int colour, int kingFile, bool shortSide) {
    const int home = colour == WHITE ? 0 : 112;
    const u8 rook = colour == WHITE ? WROOK : BROOK;
    if (shortSide) {
        for (int f = 7; f > kingFile; f--)
            if (cells[home + f] == rook) return f;
    } else {
        for (int f = 0; f < kingFile; f++)
            if (cells[home + f] == rook) return f;
    }
    return -1;
}

}   // namespace

bool readCastlingField(const u8* cells, const char* field, CastlingSetup* setup, std::string* why) {
    *setup = CastlingSetup();
    size_t length = 0;
    while (field[length] != '\0' && !isspace(static_cast<unsigned char>(field[length]))) length++;
    const std::string text(field, length);
    bool letters = false, standard = false;
    for (const char c : text) {
        int colour, rookFile;
        bool shortSide;
        if (c == 'K' || c == 'Q' || c == 'k' || c == 'q') {
            standard = true;
            colour = c == 'K' || c == 'Q' ? WHITE : BLACK;
            shortSide = c == 'K' || c == 'k';
            const int kingFile = kingFileOnHomeRank(cells, colour);
            if (kingFile < 0) continue;
            rookFile = outermostRookFile(cells, colour, kingFile, shortSide);
            if (rookFile < 0) continue;
        } else if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h')) {
            letters = true;
            colour = c <= 'H' ? WHITE : BLACK;
            rookFile = c - (colour == WHITE ? 'A' : 'a');
            const int kingFile = kingFileOnHomeRank(cells, colour);
            const int home = colour == WHITE ? 0 : 112;
            if (kingFile < 0) {
                *why = "castling field '" + text + "': the " + colourName(colour) +
                       " king is not on its first rank";
                return false;
            }
            if (cells[home + rookFile] != (colour == WHITE ? WROOK : BROOK)) {
                *why = "castling field '" + text + "' names no " + colourName(colour) +
                       " rook on " + squareName(home + rookFile);
                return false;
            }
            shortSide = rookFile > kingFile;
        } else {
            continue;
        }
        const int right = 2 * colour + (shortSide ? 0 : 1);
        const u8 rook = static_cast<u8>((colour == WHITE ? 0 : 112) + rookFile);
        if ((setup->rights & (1u << right)) && setup->rooks[right] != rook) {
            const int king = (colour == WHITE ? 0 : 112) + kingFileOnHomeRank(cells, colour);
            *why = "castling field '" + text + "': the " + colourName(colour) + " king on " +
                   squareName(king) + " is not between its castling rooks " +
                   squareName(setup->rooks[right]) + " and " + squareName(rook);
            return false;
        }
        setup->rights |= 1u << right;
        setup->rooks[right] = rook;
    }
    setup->byFile = letters && !standard;
    return true;
}

void castlingPath(int right, int king, int rook, u64* empty, u64* safe) {
    const int kingTo = (king & 0x70) + (right % 2 == 0 ? 6 : 2);
    const int rookTo = castlingRookTarget(kingTo);
    int low = king, high = king;
    for (const int s : {rook, kingTo, rookTo}) {
        if (s < low) low = s;
        if (s > high) high = s;
    }
    *empty = 0;
    *safe = 0;
    for (int s = low; s <= high; s++)
        if (s != king && s != rook) *empty |= squareBit(s);
    const int first = king < kingTo ? king : kingTo, last = king < kingTo ? kingTo : king;
    for (int s = first; s <= last; s++) *safe |= squareBit(s);
}

void setCastlingTables(Board* board, const CastlingSetup& setup) {
    board->castlingStatus = setup.rights;
    board->castlingByFile = setup.byFile ? 1 : 0;
    for (u8& keep : board->castlingKeep) keep = 15;
    for (int right = 0; right < 4; right++) {
        board->castlingRooks[right] = NO_SQUARE;
        board->castlingEmpty[right] = 0;
        board->castlingSafe[right] = 0;
        if ((setup.rights & (1u << right)) == 0) continue;
        const int king = right < 2 ? board->wKingSquare : board->bKingSquare;
        const int rook = setup.rooks[right];
        board->castlingRooks[right] = static_cast<u8>(rook);
        castlingPath(right, king, rook, &board->castlingEmpty[right], &board->castlingSafe[right]);
        board->castlingKeep[king] &=
            static_cast<u8>(right < 2 ? ~(CASTLE_WK | CASTLE_WQ) : ~(CASTLE_BK | CASTLE_BQ));
        board->castlingKeep[rook] &= static_cast<u8>(~(1u << right));
    }
}

std::string castlingFieldText(const Board* board) {
    std::string text;
    for (int right = 0; right < 4; right++) {
        if ((board->castlingStatus & (1u << right)) == 0) continue;
        const int rook = board->castlingRooks[right];
        const bool white = right < 2;
        char letter = static_cast<char>((white ? 'A' : 'a') + (rook & 7));
        if (!board->castlingByFile) {
            // X-FEN: the outermost rook of its side goes by K, Q, k or q.
            const u8 own = white ? WROOK : BROOK;
            bool outermost = true;
            const int corner = castlingCorners[right];
            const int step = corner > rook ? 1 : -1;
            for (int s = rook + step; s != corner + step; s += step)
                if (board->squares[s] == own) outermost = false;
            if (outermost) letter = "KQkq"[right];
        }
        text += letter;
    }
    return text.empty() ? "-" : text;
}

bool chess960Position(const Board* board) {
    if (board->castlingByFile) return true;
    for (int right = 0; right < 4; right++) {
        if ((board->castlingStatus & (1u << right)) == 0) continue;
        const int king = right < 2 ? board->wKingSquare : board->bKingSquare;
        if ((king & 7) != 4 || board->castlingRooks[right] != castlingCorners[right]) return true;
    }
    return false;
}

int textDestination(const Move* move, bool kingTakesRook) {
    return kingTakesRook && (move->flags & MF_CASTLE) ? move->capturedIndex : move->to;
}

void moveToTextAs(const Move* move, bool kingTakesRook, char* out) {
    moveToText(move, out);
    const char* to = sqString[textDestination(move, kingTakesRook) & 127];
    out[2] = to[0];
    out[3] = to[1];
}
