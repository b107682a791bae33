// Syzygy endgame tables: finding and checking the table files, the
// win/draw/loss probe for the search, the root probe with distance to
// zeroing, and the choice of root moves that keeps the tables' result.
#pragma once

#include <string>
#include <vector>

#include "defs.h"

// A probe's result for the side to move, in the tables' own order (a worse
// result is a smaller number). Cursed: a win the fifty-move rule turns into
// a draw; blessed: a loss it saves.
enum TbWdl : u8 {
    WDL_LOSS = 0,
    WDL_BLESSED_LOSS = 1,
    WDL_DRAW = 2,
    WDL_CURSED_WIN = 3,
    WDL_WIN = 4,
    WDL_FAILED = 5   // not in the tables, or the probe could not be made
};

// A table win: above any evaluation and below the hash table's mate range
// (20000), so a stored result is kept as it is, and far below the mate scores.
inline constexpr i32 TABLEBASE_WIN_SCORE = 19000;

#ifdef _WIN32
inline constexpr char TABLEBASE_PATH_SEPARATOR = ';';
#else
inline constexpr char TABLEBASE_PATH_SEPARATOR = ':';
#endif

// The folders of the "syzygy DIR" line of quillantor.rc ("" without one):
// what the XBoard path uses and what the SyzygyPath option starts from.
extern std::string syzygyPath;

// What initTablebases found.
struct TablebaseFiles {
    int wdlTables = 0;   // endgames the prober can take a WDL result from
    int dtzTables = 0;   // of those, the ones with their DTZ file
    int largest = 0;     // most pieces (kings included) of such an endgame, 0 for none
    std::vector<std::string> problems;   // one line for each folder or file left out, and why
};

// False in a build without the prober: every probe then fails.
bool tablebaseSupport();

// Hands the tables of path (folders separated by TABLEBASE_PATH_SEPARATOR;
// "" switches the tables off) to the prober, in place of any earlier ones.
// Every file named like a table is checked first (checkTableFile); a folder
// with a file that fails is passed on without that file (on Windows the
// folder is left out). Not while a probe may run: call it before a search.
// A missing folder or one without tables is reported in problems, nothing
// more; the result's largest is 0 when no table can be probed.
TablebaseFiles initTablebases(const std::string& path);

// Switches the tables off and frees what the prober held. Safe to repeat.
void freeTablebases();

// The most pieces a probe can take (kings included), 0 while no tables are
// loaded. The search probes only positions with at most this many pieces.
int tablebasePieces();

// Checks one table file before the prober may map it: a regular readable
// file named like an endgame of 3 to 7 pieces (KQRvKP.rtbw or .rtbz), its
// size 16 more than a multiple of 64, the magic bytes of its kind, a header
// that fits the endgame of its name, symbol tables that refer within
// themselves and no loop, and every part that the header describes (index,
// block sizes, compressed blocks) inside the file. False, with the reason,
// otherwise. The prober reads past the end of a short file (a signal where
// the mapping ends) and trusts every header byte: this is what stands
// between it and a damaged file. The contents of the compressed blocks are
// not checked.
bool checkTableFile(const std::string& file, std::string* why);

// The position as the prober takes it: bitboards with bit = rank * 8 +
// file (as Board::pieceBits), the en passant square in that numbering (0
// for none: a1 is never one), the side to move and the castling rights.
struct TablebasePosition {
    u64 white, black, kings, queens, rooks, bishops, knights, pawns;
    unsigned ep;
    bool whiteToMove;
    unsigned castling;
};
TablebasePosition tablebasePosition(const Board* board);

// The legal move of the board's side to move that goes from from64 to
// to64 (0..63, a1 = 0, h8 = 63), promoting to promotes (the prober's
// numbering: 0 none, 1 queen, 2 rook, 3 bishop, 4 knight). False when no
// legal move fits. The board is left as it was.
bool tablebaseMove(Board* board, unsigned from64, unsigned to64, unsigned promotes, Move* move);

// The WDL result of the position for the search: WDL_FAILED unless tables
// are loaded, the position has no castling rights and at most
// tablebasePieces() pieces, and the tables hold it. The caller probes right
// after a capture or a pawn move, where the fifty-move count is 0 (the
// prober assumes it). Safe from any number of search threads at once (the
// prober opens its files on first use and cannot do that twice at once:
// probes take turns).
TbWdl probeWdl(const Board* board);

// One root move with the result it leads to for the side that makes it, and
// the half-moves to the next capture or pawn move counting the move itself:
// dtz > 0 for a win or cursed win, < 0 for a loss or blessed loss, 0 for a
// draw.
struct TablebaseMove {
    Move move;
    TbWdl wdl;
    i32 dtz;
};

// The root's result (same signs) and its legal moves in generation order.
struct RootTablebase {
    TbWdl wdl = WDL_FAILED;
    i32 dtz = 0;
    u32 fiftyCount = 0;   // the count the results were probed with
    std::vector<TablebaseMove> moves;
};

// Probes the root with fiftyCount half-moves already played towards the
// fifty-move rule (fiftyMoveCount): the results of the root and of every
// legal move, as the rule decides them from that count. A mated side is a
// loss and a stalemate a draw, both with no moves and dtz 0. False, root
// untouched, when the root is not in the tables (castling rights, too many
// pieces, a table or its DTZ file missing). Not thread safe: one root probe
// at a time, before the search threads start. The board is left as it was.
bool probeRoot(Board* board, u32 fiftyCount, RootTablebase* root);

// The root moves to search, best first, and the score of the root's result.
struct RootChoice {
    std::vector<Move> moves;
    i32 score = 0;
};

// Keeps the moves that keep the root's result (its best move's, which the
// prober's own root result can overstate by a few half-moves of distance)
// and ranks them: a win by the
// fewest half-moves to the next capture or pawn move (the win is converted
// within the fifty-move rule), a loss by the most, a draw the cursed wins
// first and the blessed losses last. With fiftyMoveRule, the results stand
// as probeRoot gives them (a cursed win scores as a draw); without it, a
// cursed win counts as a win and a blessed loss as a loss. The score:
// TABLEBASE_WIN_SCORE less the best move's distance for a win, its negative
// for a loss, 0 for a draw. An empty root (mate, stalemate) gives no moves.
// A win must also be converted in practice: with the rule, when some moves
// reach the next capture or pawn move with a half-move to spare (a table's
// distance can be one half-move short), only those are kept, else only the
// quickest; and a root seen before in the game (repeated) keeps only the
// quickest, so that the game moves on instead of repeating itself.
RootChoice rankRootMoves(const RootTablebase& root, bool fiftyMoveRule, bool repeated = false);

// The search's score of a WDL result for the side to move: a win
// TABLEBASE_WIN_SCORE, a loss its negative, anything the rule makes a draw
// 0 (with fiftyMoveRule the cursed and blessed results are draws).
i32 tablebaseScore(TbWdl wdl, bool fiftyMoveRule);

// "Win", "CursedWin", "Draw", "BlessedLoss", "Loss" or "Failed".
const char* wdlName(TbWdl wdl);
