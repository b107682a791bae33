// Static evaluation: one pass over the piece lists finds each piece's
// mobility and attacks (on bitboards) and the pawn files; then the pawn
// files (their pawn-only part cached by the pawns' squares), the rook files,
// king safety (middlegame) or king activity (endgame) and material.
#pragma once

#include "defs.h"

// The score of a position split into its terms, all from White's point of
// view. The king term holds the rooks-on-the-seventh bonus, which only counts
// in the middlegame. A trivial draw (bare kings, a lone minor piece) scores 0
// and leaves every term 0.
struct EvalTerms {
    i32 material;        // materialBalance plus the piece-count imbalance bonus
    i32 pawnStructure;   // pawn mobility, passers, free pawns, doubled, isolated, backward
    i32 knightMobility;
    i32 bishopMobility;
    i32 rookTerms;   // rook mobility, open and half-open files
    i32 queenMobility;
    i32 pawnAdvancement;   // already doubled in the endgame
    i32 kingTerm;
    u8 endgame;       // 1 when the endgame rules were used
    u8 trivialDraw;   // 1 when the position is scored 0 without terms
};

// One side's pawn terms that depend on the pawns alone: the shape's score,
// the advancement bonus (before the endgame doubles it), and the front ranks
// of the advanced pawns (rank 5 or beyond, else 0) by file, in the side's own
// ranks.
struct PawnShape {
    i32 score;
    i32 advancement;
    u8 advancedFront[10];
};

// The pawn shapes of both sides, kept by the squares of all the pawns: the
// full pair of pawn sets is the key, so an entry is never taken for another
// position. A zeroed entry is the true one for a board without pawns. Each
// search thread has its own (search.h); the scores never depend on it.
struct PawnCacheEntry {
    u64 whitePawns, blackPawns;
    PawnShape shape[2];
};
inline constexpr int PAWN_CACHE_SIZE = 8192;   // a power of two
struct PawnCache {
    PawnCacheEntry entries[PAWN_CACHE_SIZE];
};

// Reads the board only. Returns the static score for the side to move
// (centipawns, tempo bonus of 10 included; exactly 0 for a trivial draw) and
// sets *flag to 0. Allocates nothing and generates no moves. The pawn shapes
// come from the cache and are kept there.
i32 eval(const Board* board, u8* flag, PawnCache* cache);

// The same score without a cache (the tools and the tests).
i32 eval(const Board* board, u8* flag);

// Reads the board only. Fills *terms and returns their sum, White's view,
// without the tempo bonus (0 for a trivial draw).
i32 evalTerms(const Board* board, EvalTerms* terms);

// Reads the board only. 1 when the king stands in its queen-side corner zone
// with its a-file corner rook gone from home, 2 likewise for the king side
// (h-file corner), else 0. Castling rights play no part.
int kingHasCastledWhite(const Board* board);
int kingHasCastledBlack(const Board* board);

// ---------------------------------------------------------------------------
// Not called by the engine itself: kept for the tests, the tools and
// whoever checks the faster paths against these plain ones.

// The plain mobility operations, one piece at a time (eval itself counts
// the same mobility on margin-padded arrays). Each reads the board, adds the
// piece on square's attacks to the attack map (a square counts when it is empty or holds an enemy piece; own pieces are
// never counted) and returns the piece's mobility: for pawns the captures
// available plus 1 when the square in front is empty, for the others the
// empty squares the piece reaches. Kings have no mobility score.
int evalMobPawnW(const Board* board, int square, u8* attacks);
int evalMobPawnB(const Board* board, int square, u8* attacks);
int evalMobKnightW(const Board* board, int square, u8* attacks);
int evalMobKnightB(const Board* board, int square, u8* attacks);
int evalMobBishopW(const Board* board, int square, u8* attacks);
int evalMobBishopB(const Board* board, int square, u8* attacks);
int evalMobRookW(const Board* board, int square, u8* attacks);
int evalMobRookB(const Board* board, int square, u8* attacks);
int evalMobQueenW(const Board* board, int square, u8* attacks);
int evalMobQueenB(const Board* board, int square, u8* attacks);
void evalMobKingW(const Board* board, int square, u8* attacks);
void evalMobKingB(const Board* board, int square, u8* attacks);

// Reads the board only. 1 for a white bishop on h7 with a black pawn on g6 or
// on a7 with a black pawn on b6 (Black: h2/g3, a2/b3), else 0. Not part of
// the score.
int bishopIsTrappedWhite(const Board* board, int square);
int bishopIsTrappedBlack(const Board* board, int square);

// The same as evalTerms, computed by the code built for any processor (eval
// itself takes the popcount instruction where the processor has one).
i32 evalTermsPortable(const Board* board, EvalTerms* terms);

// Forgets every cached pawn shape.
void clearPawnCache(PawnCache* cache);
