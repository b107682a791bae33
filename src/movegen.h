// Move generators (all moves, captures only, board-scanning variant).
#pragma once

#include "defs.h"

// Every generator writes moves into list->moves from index 0 and returns how
// many it wrote; the caller stores that into list->count. With legal set,
// moves that leave the mover's king attacked are dropped.
u32 generateMoves(Board* board, MoveList* list, u8 legal);
u32 generateMovesWhite(Board* board, MoveList* list, u8 legal);
u32 generateMovesBlack(Board* board, MoveList* list, u8 legal);

u32 generateCaptures(Board* board, MoveList* list, u8 legal);
u32 generateCapturesWhite(Board* board, MoveList* list, u8 legal);
u32 generateCapturesBlack(Board* board, MoveList* list, u8 legal);

// For the quiescence search's quiet-check phase: the quiet moves of the
// pseudo-legal list that the phase acts on, in their order there, so that it
// tests, searches and leaves on the board exactly what it would over the full
// list: every castling and quiet promotion, every other quiet move that
// gives check, the last quiet move of the full list and its last legal quiet
// move that neither checks nor castles nor promotes. Nothing on the board is
// changed; the moves carry no traces.
u32 generateQuietChecks(Board* board, MoveList* list);
u32 generateQuietChecksWhite(Board* board, MoveList* list);
u32 generateQuietChecksBlack(Board* board, MoveList* list);

// Writes the move from -> to at list->moves[*count] with its flags, captured
// piece and promotion; a promotion fans out into queen, rook, bishop, knight.
// Advances *count by 1 (4 for a promotion), or not at all for a move refused
// by the legality test. The result carries no meaning.
int addMoveSimple(Board* board, MoveList* list, u32* count, int from, int to, u8 legal);

// The side to move's king as one node sees it: its square, whether it
// stands attacked (the exact delta query) and, when it does, how many enemy
// pieces give the check (counted up to 2), the first checker's square and,
// for a checking slider, the step from the king towards it (0 otherwise).
struct KingContext {
    int square;
    bool attacked;
    u8 checkers;
    u8 checkerSquare;
    int checkerStep;
};
KingContext kingContext(const Board* board);

// The verdict of isLegalSimple, with the same traces on the board and the
// move, for a position whose king context was taken before any move of the
// node was made. Most moves are decided without being made.
int isLegalInContext(Board* board, Move* move, const KingContext* king);

// ---------------------------------------------------------------------------
// Selection: a scored list's moves are handed out best first by a linear
// scan per move, never by a full sort. (The scores come from the move
// picker, movepick.h, and from the exchange evaluator, which hands out its
// captures the same way.)

// Copies the move at index into *out, marks it picked and returns index.
int getMove(MoveList* list, Move* out, int index);

// Copies the best-scored unpicked move into *out (the lower index on ties),
// marks it picked and returns its index. When no unpicked move scores above
// -32000, index 0 is handed out again.
int getNextBestMove(MoveList* list, Move* out);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// Same moves as generateMoves, pieces found by scanning the board.
u32 generateMovesSimple(Board* board, MoveList* list, u8 legal);
u32 generateMovesWhiteSimple(Board* board, MoveList* list, u8 legal);
u32 generateMovesBlackSimple(Board* board, MoveList* list, u8 legal);

// ---------------------------------------------------------------------------
// Moves by their text

// The move among the first n of the list that the coordinate text names
// (origin, destination, a promotion letter in either case; the text may
// end earlier at its terminator; a letter after a move that promotes
// nothing is not looked at), the first such in list order; null for none.
// side is the side whose moves the list holds. Castling is written as the
// king's move (e1g1), or as the king taking its own rook (e1h1) when
// kingTakesRook; written as the king's move, a castling that reads like
// another move (a Chess960 king step) gives way to that move.
const Move* findMoveByText(const MoveList* list, u32 n, const char* text, u8 side,
                           bool kingTakesRook = false);

// Reads text[0..4] as findMoveByText does. Returns 1 and copies the
// generated move into *move when it is a legal move of the side to move,
// else 0 with *move untouched. The board is left as it was.
u8 inputMoveLegal(Board* board, const char* text, Move* move, bool kingTakesRook = false);

// The first legal move of the side to move in generation order (noMove when
// there is none). The board is left as it was, the legality tests' scratch
// included.
Move firstLegalMove(Board* board);
