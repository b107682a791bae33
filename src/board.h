// Position set-up from FEN, making and unmaking moves.
#pragma once

#include <string>

#include "defs.h"

// Sets the board up from a FEN text (placement, side, castling, en passant,
// and the halfmove clock into fenHalfmoveClock; the move number is not
// read). The castling field may be standard, X-FEN or Shredder-FEN (see
// readCastlingField). Returns 1 on success. A malformed FEN is rejected
// with 0 and the board is left exactly as it was; a castling field that
// names a missing rook or puts a king outside its rooks also says why in
// *why (when given). Keys are not computed: the caller runs getHashkey
// right after a successful set-up.
int setupFen(Board* board, const char* fen, std::string* why = nullptr);

// Half-moves since the last capture or pawn move at the game's current
// position: the FEN's clock, then the game moves played since the set-up,
// gameMoves[0 .. gamePly - 1]. Right on the game's board and at the root of
// a search (inside the search the moves made are not in gameMoves). Reads
// the board only.
u32 fiftyMoveCount(const Board* board);

// The reset half of setupFen: an empty board, counters and flags cleared.
void clearBoard(Board* board);

// Copies the position of from into to: every field but the per-ply move
// lists, and of the game history only the half-moves played so far (the key
// history one entry further, where the exchange evaluator writes). The
// search starts from such a copy, so it never writes into the game's board.
void copyBoard(Board* to, const Board* from);

// The traces that move generation's legality tests leave on the board (the
// capture memory and the check flag, which the root and the search read),
// saved when made and put back when it goes out of scope.
class BoardScratchKeeper {
public:
    explicit BoardScratchKeeper(Board* board)
        : board_(board),
          square_(board->lastCaptureSquare),
          piece_(board->lastCapturedPiece),
          inCheck_(board->inCheck) {}
    ~BoardScratchKeeper() {
        board_->lastCaptureSquare = square_;
        board_->lastCapturedPiece = piece_;
        board_->inCheck = inCheck_;
    }
    BoardScratchKeeper(const BoardScratchKeeper&) = delete;
    BoardScratchKeeper& operator=(const BoardScratchKeeper&) = delete;

private:
    Board* board_;
    u8 square_, piece_, inCheck_;
};

// The invariant check that makeMove and unmakeMove run after their work in
// a Debug build: the tests and a Debug engine install debug.h's
// boardIsConsistent here; none is installed by default, and a Release
// build compiles the call away. The check sits above what it checks.
extern bool (*boardCheck)(const Board* board);

// Plays a generated move; writes oldCastling, oldEpSquare and, for a
// capture, capturedIndex into the record. Keys are not touched: the caller applies updateHashKey
// right after, and again right before unmakeMove.
void makeMove(Board* board, Move* move);

// Takes back the move made through the same record.
void unmakeMove(Board* board, Move* move);

// Pass the turn; these two do update both keys.
void makeNullmove(Board* board, Move* move);
void unmakeNullmove(Board* board, Move* move);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// Lighter variants that move pieces on the array only (no lists, counts,
// plies or history).
void makeMoveSimple(Board* board, Move* move);
void unmakeMoveSimple(Board* board, Move* move);
