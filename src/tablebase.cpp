// Syzygy endgame tables. The probing itself is the prober library's (the
// only file that includes its header is this one); the engine's part is to
// check every table file before the prober maps it, to hand it the engine's
// position and to read its moves back as the engine's own, and to choose
// the root moves that keep a tablebase result.
#include "tablebase.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>

#include "attack.h"
#include "board.h"
#include "movegen.h"
#include "utils.h"

#ifdef QUILLANTOR_TABLEBASES
#include <tbprobe.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string syzygyPath;

// ---------------------------------------------------------------------------
// Endgames by name

// The pieces of an endgame as its file name gives them: "KRPvKQ" is White's
// king, rook and pawn against Black's king and queen. count[colour][type],
// type WPAWN .. WKING.
struct Material {
    int count[2][7] = {};
    int pieces = 0;
};

// The white piece type of an upper-case letter of an endgame name, 0 for
// any other character.
static int typeOfLetter(char c) { return c < 'a' ? pieceFromLetter(c) : 0; }

// Reads an endgame name: two sides separated by one 'v', each a king first
// and then any of QRBNP, 3 to 7 pieces in all. Windows finds files whatever
// the case of their names, so there the letters are read in either case.
static bool readMaterial(const std::string& name, Material* material) {
    *material = Material();
    int side = WHITE;
    bool kingNext = true;
    for (char c : name) {
#ifdef _WIN32
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == 'V') c = 'v';
#endif
        if (c == 'v') {
            if (side == BLACK || kingNext) return false;
            side = BLACK;
            kingNext = true;
            continue;
        }
        const int type = typeOfLetter(c);
        if (type == 0 || (type == WKING) != kingNext) return false;
        kingNext = false;
        material->count[side][type]++;
        material->pieces++;
    }
    return side == BLACK && !kingNext && material->pieces >= 3 && material->pieces <= 7;
}

// The kinds of table file and the magic number each starts with.
enum TableKind { WDL_FILE, DTZ_FILE, DTM_FILE, NOT_A_TABLE };

static TableKind tableKind(const std::string& suffix) {
#ifdef _WIN32
    std::string s = suffix;
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#else
    const std::string& s = suffix;
#endif
    if (s == ".rtbw") return WDL_FILE;
    if (s == ".rtbz") return DTZ_FILE;
    if (s == ".rtbm") return DTM_FILE;
    return NOT_A_TABLE;
}

// ---------------------------------------------------------------------------
// Checking a table file

namespace {

// Reads a table file's bytes on demand: the header walk needs its first few
// kilobytes, never the whole of a file that may be gigabytes long.
class TableReader {
public:
    bool open(const std::string& file) {
        in_.open(file, std::ios::binary);
        if (!in_) return false;
        in_.seekg(0, std::ios::end);
        const std::streamoff end = in_.tellg();
        if (end < 0) return false;
        size_ = static_cast<u64>(end);
        in_.seekg(0);
        return true;
    }
    u64 size() const { return size_; }
    // True when the bytes [0, end) are in the file and read.
    bool has(u64 end) {
        if (end <= bytes_.size()) return true;
        if (end > size_) return false;
        const u64 want = std::min(size_, std::max<u64>(end, 2 * bytes_.size() + 65536));
        const u64 old = bytes_.size();
        bytes_.resize(static_cast<size_t>(want));
        in_.seekg(static_cast<std::streamoff>(old));
        in_.read(reinterpret_cast<char*>(bytes_.data() + old),
                 static_cast<std::streamsize>(want - old));
        if (!in_) {
            bytes_.resize(static_cast<size_t>(old));
            size_ = old;   // what cannot be read is not there
            return false;
        }
        return true;
    }
    u8 at(u64 offset) const { return bytes_[static_cast<size_t>(offset)]; }
    u32 le16(u64 offset) const { return at(offset) | static_cast<u32>(at(offset + 1)) << 8; }
    u32 le32(u64 offset) const { return le16(offset) | le16(offset + 2) << 16; }

private:
    std::ifstream in_;
    u64 size_ = 0;
    std::vector<u8> bytes_;
};

// One compressed table's parts, as its pairs header describes them.
struct PartSizes {
    u64 index = 0;    // 6 bytes for every 2^idxBits positions
    u64 blocks = 0;   // 2 bytes for every block
    u64 data = 0;     // the compressed blocks themselves
    u8 flags = 0;
};

// The facts of an endgame the table layout depends on.
struct Layout {
    bool pawns = false;
    int leadPawns = 0;           // pawns of the side whose pawns lead the encoding
    int otherPawns = 0;          // the other side's pawns
    bool twoKingsOnly = false;   // no piece but the kings is alone of its kind
    int tables = 1;              // pawnful endgames: one table for each file a-d
};

Layout layoutOf(const Material& m) {
    Layout l;
    int white = m.count[WHITE][WPAWN], black = m.count[BLACK][WPAWN];
    l.pawns = white + black > 0;
    if (black > 0 && (white == 0 || white > black)) std::swap(white, black);
    l.leadPawns = white;
    l.otherPawns = black;
    int unique = 0;
    for (int side = 0; side < 2; side++)
        for (int type = WPAWN; type <= WKING; type++) unique += m.count[side][type] == 1;
    l.twoKingsOnly = unique == 2;
    l.tables = l.pawns ? 4 : 1;
    return l;
}

// Ways to place k like pieces on n squares.
u64 placements(int k, int n) {
    u64 f = 1;
    for (int i = 0; i < k; i++) f = f * static_cast<u64>(n - i) / static_cast<u64>(i + 1);
    return f;
}

// Reads one piece header (the nibbles at shift of the header bytes at
// offset) and the number of positions its table indexes. *exact is false
// where only a lower bound is known: the placements of two or more leading
// pawns depend on an ordering of the pawn squares that only the prober
// holds, so they count as one. False when the header does not describe the
// endgame of the name: codes that are no pieces, other pieces, like pieces
// apart (the prober would write past its square list), an order of the
// piece groups that leaves one of them out.
bool readPieceHeader(TableReader& r, u64 offset, int shift, const Material& m, const Layout& l,
                     u64* positions, bool* exact) {
    const int extra = l.otherPawns > 0 ? 1 : 0;
    int codes[8];
    int seen[2][7] = {};
    for (int i = 0; i < m.pieces; i++) {
        const int code = (r.at(offset + 1 + extra + static_cast<u64>(i)) >> shift) & 15;
        const int type = code & 7, colour = code >> 3;
        if (type == 0 || type == 7) return false;
        // Like pieces side by side: a code met before must continue its run.
        for (int j = 0; j + 1 < i; j++)
            if (codes[j] == code && codes[i - 1] != code) return false;
        codes[i] = code;
        seen[colour][type]++;
    }
    bool same = true, flipped = true;
    for (int type = WPAWN; type <= WKING; type++) {
        same = same && seen[WHITE][type] == m.count[WHITE][type] &&
               seen[BLACK][type] == m.count[BLACK][type];
        flipped = flipped && seen[WHITE][type] == m.count[BLACK][type] &&
                  seen[BLACK][type] == m.count[WHITE][type];
    }
    if (!same && !flipped) return false;

    int k = l.pawns ? l.leadPawns : (l.twoKingsOnly ? 2 : 3);
    if (l.pawns) {
        // The leading pawns first, then the other side's pawns.
        for (int i = 0; i < l.leadPawns + l.otherPawns; i++) {
            const int want = i < l.leadPawns ? codes[0] : codes[l.leadPawns];
            if ((codes[i] & 7) != WPAWN || codes[i] != want) return false;
        }
        if (l.otherPawns > 0 && codes[0] == codes[l.leadPawns]) return false;
    }
    k += l.otherPawns;
    int groups = 1 + extra;
    u64 f = l.pawns ? (l.leadPawns == 1 ? 6 : 1) : (l.twoKingsOnly ? 462 : 31332);
    *exact = !l.pawns || l.leadPawns == 1;
    if (extra) f *= placements(l.otherPawns, 48 - l.leadPawns);
    int free = 64 - k;
    for (int i = k; i < m.pieces;) {
        int run = 1;
        while (i + run < m.pieces && codes[i + run] == codes[i]) run++;
        f *= placements(run, free);
        free -= run;
        i += run;
        groups++;
    }
    const int order = (r.at(offset) >> shift) & 15;
    const int order2 = extra ? (r.at(offset + 1) >> shift) & 15 : 15;
    if (order >= groups) return false;
    if (extra && (order2 >= groups || order2 == order)) return false;
    *positions = f;
    return true;
}

// The symbols of a pairs header: each is a leaf or a pair of two symbols of
// the same table, and following the pairs must end at leaves (the prober
// follows them by recursion and trusts that they do).
bool symbolsAreSound(TableReader& r, u64 offset, u32 symbols) {
    std::vector<u8> state(symbols, 0);   // 0 unvisited, 1 on the path, 2 done
    auto children = [&](u32 s, u32* left, u32* right) {
        const u64 w = offset + 3 * static_cast<u64>(s);
        *right = static_cast<u32>(r.at(w + 2)) << 4 | r.at(w + 1) >> 4;
        *left = static_cast<u32>(r.at(w + 1) & 15) << 8 | r.at(w);
        return *right != 0xfff;
    };
    for (u32 start = 0; start < symbols; start++) {
        if (state[start] != 0) continue;
        std::vector<std::pair<u32, int>> path{{start, 0}};
        state[start] = 1;
        while (!path.empty()) {
            auto& [s, next] = path.back();
            u32 left, right;
            if (!children(s, &left, &right) || next == 2) {
                state[s] = 2;
                path.pop_back();
                continue;
            }
            const u32 child = next++ == 0 ? left : right;
            if (child >= symbols || state[child] == 1) return false;
            if (state[child] == 0) {
                state[child] = 1;
                path.push_back({child, 0});
            }
        }
    }
    return true;
}

// Reads the pairs header at *offset for a table of `positions` positions
// and moves *offset past it. False when it does not fit the file or holds
// values the prober cannot use.
bool readPairs(TableReader& r, u64* offset, u64 positions, PartSizes* part, std::string* why) {
    const u64 o = *offset;
    if (!r.has(o + 2)) return false;
    part->flags = r.at(o);
    if (part->flags & 0x80) {   // one value for the whole table
        *offset = o + 2;
        return true;
    }
    if (!r.has(o + 10)) return false;
    const int blockSize = r.at(o + 1), idxBits = r.at(o + 2);
    const u64 realBlocks = r.le32(o + 4);
    const u64 blocks = realBlocks + r.at(o + 3);
    const int maxLen = r.at(o + 8), minLen = r.at(o + 9);
    if (minLen < 1 || maxLen < minLen || maxLen > 64 || idxBits < 1 || idxBits > 31 ||
        blockSize > 31 || blocks > 0xffffffffu) {
        *why = "a compressed table's header holds impossible values";
        return false;
    }
    const u64 lengths = static_cast<u64>(maxLen) - static_cast<u64>(minLen) + 1;
    if (!r.has(o + 12 + 2 * lengths)) return false;
    const u32 symbols = r.le16(o + 10 + 2 * lengths);
    const u64 symbolStart = o + 12 + 2 * lengths;
    if (!r.has(symbolStart + 3 * static_cast<u64>(symbols))) return false;
    if (symbols == 0 || symbols >= 4096 || !symbolsAreSound(r, symbolStart, symbols)) {
        *why = "a compressed table's symbols are broken";
        return false;
    }
    *offset = symbolStart + 3 * static_cast<u64>(symbols) + (symbols & 1);
    const u64 indexEntries = (positions + (u64{1} << idxBits) - 1) >> idxBits;
    part->index = 6 * indexEntries;
    part->blocks = 2 * blocks;
    part->data = realBlocks << blockSize;
    return true;
}

// The DTZ value maps of the tables whose flags say they have one.
bool readDtzMaps(TableReader& r, u64* offset, const std::vector<PartSizes>& parts) {
    u64 o = *offset;
    for (const PartSizes& part : parts) {
        if (!(part.flags & 2)) continue;
        if (part.flags & 16) o += o & 1;   // 16-bit entries
        for (int i = 0; i < 4; i++) {
            if (!r.has(o + 2)) return false;
            o += (part.flags & 16) ? 2 + 2 * static_cast<u64>(r.le16(o))
                                   : 1 + static_cast<u64>(r.at(o));
        }
    }
    *offset = o + (o & 1);
    return true;
}

}   // namespace

bool checkTableFile(const std::string& file, std::string* why) {
    std::error_code error;
    const fs::path path(file);
    if (!fs::is_regular_file(path, error)) {
        *why = fs::exists(path, error) ? "not a regular file" : "no such file";
        return false;
    }
    const TableKind kind = tableKind(path.extension().string());
    Material m;
    if (kind == NOT_A_TABLE || !readMaterial(path.stem().string(), &m)) {
        *why = "not named like a table (KRPvKQ.rtbw or .rtbz)";
        return false;
    }
    if (kind == DTM_FILE) {
        *why = "DTM tables are not used";
        return false;
    }
    TableReader r;
    if (!r.open(file)) {
        *why = "cannot be read";
        return false;
    }
    const u64 size = r.size();
    if (size % 64 != 16) {
        *why = size == 0 ? "empty" : "incomplete: its size is not 16 more than a multiple of 64";
        return false;
    }
    const bool dtz = kind == DTZ_FILE;
    if (!r.has(5)) {
        *why = "cannot be read";
        return false;
    }
    if (r.le32(0) != (dtz ? 0xa50c66d7u : 0x5d23e871u)) {
        *why = dtz ? "not a DTZ table: wrong magic bytes" : "not a WDL table: wrong magic bytes";
        return false;
    }
    const Layout l = layoutOf(m);
    const bool split = !dtz && (r.at(4) & 1);   // a table for each side to move
    const int halves = split ? 2 : 1;
    const u64 headerBytes = static_cast<u64>(m.pieces) + 1 + (l.otherPawns > 0 ? 1 : 0);
    const std::string shortFile = "truncated: the file ends inside its header";

    u64 o = 5;
    std::vector<u64> positions;
    bool exact = true;
    for (int t = 0; t < l.tables; t++) {
        if (!r.has(o + headerBytes)) {
            *why = shortFile;
            return false;
        }
        for (int half = 0; half < halves; half++) {
            u64 n = 0;
            bool known = true;
            if (!readPieceHeader(r, o, 4 * half, m, l, &n, &known)) {
                *why = "its header does not describe the endgame of its name";
                return false;
            }
            positions.push_back(n);
            exact = exact && known;
        }
        o += headerBytes;
    }
    o += o & 1;

    std::vector<PartSizes> parts(positions.size());
    for (size_t i = 0; i < parts.size(); i++) {
        std::string bad;
        if (!readPairs(r, &o, positions[i], &parts[i], &bad)) {
            *why = bad.empty() ? shortFile : bad;
            return false;
        }
    }
    if (dtz && !readDtzMaps(r, &o, parts)) {
        *why = shortFile;
        return false;
    }
    for (const PartSizes& part : parts) o += part.index;
    for (const PartSizes& part : parts) o += part.blocks;
    for (const PartSizes& part : parts) o = ((o + 63) & ~u64{63}) + part.data;
    // The file ends with 16 bytes of checksum after the last block.
    if (o + 16 > size) {
        *why = "truncated: its tables need " + std::to_string(o + 16) + " bytes" +
               (exact ? "" : " or more") + ", the file has " + std::to_string(size);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The position and its moves in the prober's terms

TablebasePosition tablebasePosition(const Board* board) {
    const u64* p = board->pieceBits;
    TablebasePosition pos;
    pos.white = board->colourBits[WHITE];
    pos.black = board->colourBits[BLACK];
    pos.kings = p[WKING] | p[BKING];
    pos.queens = p[WQUEEN] | p[BQUEEN];
    pos.rooks = p[WROOK] | p[BROOK];
    pos.bishops = p[WBISHOP] | p[BBISHOP];
    pos.knights = p[WKNIGHT] | p[BKNIGHT];
    pos.pawns = p[WPAWN] | p[BPAWN];
    pos.ep = board->epSquare == NO_SQUARE ? 0 : static_cast<unsigned>(index64(board->epSquare));
    pos.whiteToMove = board->sideToMove == WHITE;
    pos.castling = board->castlingStatus;
    return pos;
}

bool tablebaseMove(Board* board, unsigned from64, unsigned to64, unsigned promotes, Move* move) {
    static constexpr u8 promotedType[5] = {EMPTY, WQUEEN, WROOK, WBISHOP, WKNIGHT};
    if (from64 > 63 || to64 > 63 || promotes > 4) return false;
    const int from = square88(static_cast<int>(from64)), to = square88(static_cast<int>(to64));
    BoardScratchKeeper keeper(board);
    auto list = std::make_unique<MoveList>();
    const u32 n = generateMoves(board, list.get(), 1);
    for (u32 i = 0; i < n; i++) {
        const Move& m = list->moves[i];
        if (m.from != from || m.to != to) continue;
        if ((m.flags & MF_PROMOTION) ? pieceType(m.promotion) != promotedType[promotes]
                                     : promotes != 0)
            continue;
        *move = m;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Loading and probing

static std::atomic<int> loadedPieces{0};
// The prober opens a table on its first probe and, as Debian builds it,
// takes no lock while it does: two threads must not probe at once.
[[maybe_unused]] static std::mutex probeLock;   // unused in a build without the prober
// Where the good files of a folder that also holds bad ones are linked for
// the prober ("" while there is none).
static fs::path linkFolder;

static void removeLinkFolder() {
    if (linkFolder.empty()) return;
    std::error_code error;
    fs::remove_all(linkFolder, error);
    linkFolder.clear();
}

int tablebasePieces() { return loadedPieces.load(std::memory_order_relaxed); }

const char* wdlName(TbWdl wdl) {
    switch (wdl) {
    case WDL_LOSS: return "Loss";
    case WDL_BLESSED_LOSS: return "BlessedLoss";
    case WDL_DRAW: return "Draw";
    case WDL_CURSED_WIN: return "CursedWin";
    case WDL_WIN: return "Win";
    default: return "Failed";
    }
}

i32 tablebaseScore(TbWdl wdl, bool fiftyMoveRule) {
    switch (wdl) {
    case WDL_WIN: return TABLEBASE_WIN_SCORE;
    case WDL_CURSED_WIN: return fiftyMoveRule ? 0 : TABLEBASE_WIN_SCORE;
    case WDL_BLESSED_LOSS: return fiftyMoveRule ? 0 : -TABLEBASE_WIN_SCORE;
    case WDL_LOSS: return -TABLEBASE_WIN_SCORE;
    default: return 0;
    }
}

// The three outcomes a result stands for under the rule: 1 win, 0 draw, -1 loss.
static int outcome(TbWdl wdl, bool fiftyMoveRule) {
    const i32 score = tablebaseScore(wdl, fiftyMoveRule);
    return score > 0 ? 1 : score < 0 ? -1 : 0;
}

RootChoice rankRootMoves(const RootTablebase& root, bool fiftyMoveRule, bool repeated) {
    RootChoice choice;
    // The root's result is its best move's. The prober's distance for the
    // root itself can be shorter than its best move's by a few half-moves,
    // and near the fifty-move limit it then calls a win what no move keeps.
    TbWdl best = WDL_LOSS;
    for (const TablebaseMove& m : root.moves) best = std::max(best, m.wdl);
    const int want = outcome(best, fiftyMoveRule);
    std::vector<TablebaseMove> kept;
    for (const TablebaseMove& m : root.moves) {
        // With the rule a cursed win is only a draw, but the moves that keep
        // it keep the chance the rule is not claimed: a cursed-win root keeps
        // them alone, and likewise a blessed loss gives up no more.
        const bool keeps = fiftyMoveRule ? m.wdl == best : outcome(m.wdl, false) == want;
        if (keeps) kept.push_back(m);
    }
    // A win that the search could still fritter away: the moves inside the
    // rule with a half-move to spare when there are any (else the quickest),
    // the quickest alone once the root has come round again.
    if (want > 0 && !kept.empty()) {
        i32 quickest = INT32_MAX;
        bool spare = false;
        for (const TablebaseMove& m : kept) {
            quickest = std::min(quickest, m.dtz);
            spare = spare || static_cast<i64>(m.dtz) + root.fiftyCount <= 99;
        }
        std::vector<TablebaseMove> sure;
        for (const TablebaseMove& m : kept) {
            const bool inTime = static_cast<i64>(m.dtz) + root.fiftyCount <= 99;
            if (m.dtz == quickest || (!repeated && (!fiftyMoveRule || (spare && inTime))))
                sure.push_back(m);
        }
        kept.swap(sure);
    }
    // A win sooner, a loss later; among draws the cursed wins first, the
    // blessed losses last. Ties keep the generation order.
    std::stable_sort(kept.begin(), kept.end(), [](const TablebaseMove& a, const TablebaseMove& b) {
        const bool aWins = a.dtz > 0, bWins = b.dtz > 0;
        if (aWins != bWins) return aWins;
        if (aWins) return a.dtz < b.dtz;
        if ((a.dtz == 0) != (b.dtz == 0)) return a.dtz == 0;
        return a.dtz < b.dtz;   // both losing: the longer resistance first
    });
    for (const TablebaseMove& m : kept) choice.moves.push_back(m.move);
    if (!kept.empty() && want != 0) {
        const i32 distance = kept[0].dtz < 0 ? -kept[0].dtz : kept[0].dtz;
        choice.score = want * (TABLEBASE_WIN_SCORE - std::min(distance, 1000));
    }
    return choice;
}

#ifdef QUILLANTOR_TABLEBASES

static_assert(WDL_LOSS == TB_LOSS && WDL_BLESSED_LOSS == TB_BLESSED_LOSS && WDL_DRAW == TB_DRAW &&
              WDL_CURSED_WIN == TB_CURSED_WIN && WDL_WIN == TB_WIN);

bool tablebaseSupport() { return true; }

// The prober reports each unmapped table on standard error even when the
// unmapping succeeded (its test is reversed): while it loads and frees
// tables, what it writes there is dropped. Standard output is not touched.
class QuietStderr {
public:
    QuietStderr() {
#ifndef _WIN32
        fflush(stderr);
        saved_ = dup(2);
        const int sink = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && sink >= 0) dup2(sink, 2);
        if (sink >= 0) close(sink);
#endif
    }
    ~QuietStderr() {
#ifndef _WIN32
        fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
        }
#endif
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

// The prober reads 6- and 7-piece tables only where the address space can
// hold them.
static constexpr int proberPieceLimit = sizeof(size_t) < 8 ? 5 : 7;

void freeTablebases() {
    {
        std::lock_guard<std::mutex> lock(probeLock);
        QuietStderr quiet;
        tb_init("");
    }
    loadedPieces.store(0, std::memory_order_relaxed);
    removeLinkFolder();
}

// A folder of its own for the links to the good files of folders that also
// hold bad ones; removed at the next initialisation and at exit.
static bool makeLinkFolder(std::string* why) {
#ifdef _WIN32
    *why = "a folder with a damaged table is left out on Windows";
    return false;
#else
    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        std::atexit(removeLinkFolder);
        cleanupRegistered = true;
    }
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    for (int attempt = 0; attempt < 100 && !error; attempt++) {
        const fs::path candidate = base / ("quillantor-tables-" + std::to_string(getpid()) + "-" +
                                           std::to_string(attempt));
        if (fs::create_directory(candidate, error)) {
            linkFolder = candidate;
            return true;
        }
    }
    *why = "no room for the links to its good files";
    return false;
#endif
}

TablebaseFiles initTablebases(const std::string& path) {
    freeTablebases();
    TablebaseFiles found;
    std::string handed;
    // The endgames whose files the prober will open, first folder first,
    // as it looks them up.
    std::set<std::string> wdl, dtz;
    size_t start = 0;
    int folderNumber = 0;
    while (start <= path.size()) {
        size_t end = path.find(TABLEBASE_PATH_SEPARATOR, start);
        if (end == std::string::npos) end = path.size();
        const std::string folder = path.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        folderNumber++;
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            found.problems.push_back(folder + ": no such folder");
            continue;
        }
        std::map<std::string, bool> files;   // name -> sound
        for (fs::directory_iterator it(folder, error), last; !error && it != last;
             it.increment(error)) {
            const fs::path file = it->path();
            Material m;
            if (tableKind(file.extension().string()) == NOT_A_TABLE ||
                !readMaterial(file.stem().string(), &m))
                continue;
            std::string why;
            const bool sound = checkTableFile(file.string(), &why);
            if (!sound) found.problems.push_back(file.string() + ": " + why + ": not used");
            files[file.filename().string()] = sound;
        }
        if (files.empty()) {
            found.problems.push_back(folder + ": no tables");
            continue;
        }
        bool allSound = true;
        for (const auto& [name, sound] : files) allSound = allSound && sound;
        std::string given = folder;
        if (!allSound) {
            std::string why;
            if (linkFolder.empty() && !makeLinkFolder(&why)) {
                found.problems.push_back(std::string(folder).append(": ").append(why));
                continue;
            }
            const fs::path links = linkFolder / std::to_string(folderNumber);
            fs::create_directory(links, error);
            for (const auto& [name, sound] : files) {
                if (!sound) continue;
                fs::create_symlink(fs::absolute(fs::path(folder) / name, error), links / name,
                                   error);
                if (error)
                    found.problems.push_back(
                        std::string(folder).append("/").append(name).append(": cannot be linked"));
            }
            given = links.string();
        }
        for (const auto& [name, sound] : files) {
            Material m;
            const fs::path file(name);
            if (!sound || !readMaterial(file.stem().string(), &m) || m.pieces > proberPieceLimit)
                continue;
            (tableKind(file.extension().string()) == WDL_FILE ? wdl : dtz)
                .insert(file.stem().string());
        }
        if (!handed.empty()) handed += TABLEBASE_PATH_SEPARATOR;
        handed += given;
    }
    if (handed.empty()) return found;
    {
        std::lock_guard<std::mutex> lock(probeLock);
        QuietStderr quiet;
        tb_init(handed.c_str());
    }
    for (const std::string& name : wdl) {
        Material m;
        readMaterial(name, &m);
        found.wdlTables++;
        found.dtzTables += dtz.count(name) > 0 ? 1 : 0;
        found.largest = std::max(found.largest, m.pieces);
    }
    // The prober's own count decides what can be probed.
    found.largest = std::min(found.largest, static_cast<int>(TB_LARGEST));
    if (found.largest == 0) found.wdlTables = found.dtzTables = 0;
    loadedPieces.store(found.largest, std::memory_order_relaxed);
    return found;
}

TbWdl probeWdl(const Board* board) {
    const int limit = tablebasePieces();
    if (limit == 0 || board->castlingStatus != 0 || std::popcount(board->occupied) > limit)
        return WDL_FAILED;
    const TablebasePosition p = tablebasePosition(board);
    unsigned result;
    {
        std::lock_guard<std::mutex> lock(probeLock);
        result = tb_probe_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
                              p.pawns, 0, 0, p.ep, p.whiteToMove);
    }
    return result == TB_RESULT_FAILED ? WDL_FAILED : static_cast<TbWdl>(result);
}

// The distance with the sign of the result it leads to.
static i32 signedDistance(TbWdl wdl, unsigned distance) {
    const i32 d = static_cast<i32>(distance);
    return wdl >= WDL_CURSED_WIN ? d : wdl <= WDL_BLESSED_LOSS ? -d : 0;
}

bool probeRoot(Board* board, u32 fiftyCount, RootTablebase* root) {
    const int limit = tablebasePieces();
    if (limit == 0 || board->castlingStatus != 0 || std::popcount(board->occupied) > limit)
        return false;
    auto list = std::make_unique<MoveList>();
    u32 n;
    bool inCheck;
    {
        BoardScratchKeeper keeper(board);
        n = generateMoves(board, list.get(), 1);
        inCheck = sideToMoveInCheck(board);
    }
    const TablebasePosition p = tablebasePosition(board);
    RootTablebase probed;
    probed.fiftyCount = fiftyCount;
    if (n == 0) {
        // Mate and stalemate are the rules' business, not the tables'.
        probed.wdl = inCheck ? WDL_LOSS : WDL_DRAW;
        *root = probed;
        return true;
    }
    // The prober keeps the count in a byte; past 100 every result is the same.
    const unsigned count = fiftyCount < 100 ? fiftyCount : 100;
    std::vector<unsigned> results(TB_MAX_MOVES + 1, TB_RESULT_FAILED);
    unsigned result;
    {
        std::lock_guard<std::mutex> lock(probeLock);
        result = tb_probe_root(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
                               p.pawns, count, 0, p.ep, p.whiteToMove, results.data());
    }
    if (result == TB_RESULT_FAILED || result == TB_RESULT_CHECKMATE ||
        result == TB_RESULT_STALEMATE)
        return false;
    probed.wdl = static_cast<TbWdl>(TB_GET_WDL(result));
    probed.dtz = signedDistance(probed.wdl, TB_GET_DTZ(result));
    for (size_t i = 0; i < results.size() && results[i] != TB_RESULT_FAILED; i++) {
        const unsigned r = results[i];
        TablebaseMove m;
        if (!tablebaseMove(board, TB_GET_FROM(r), TB_GET_TO(r), TB_GET_PROMOTES(r), &m.move))
            return false;
        m.wdl = static_cast<TbWdl>(TB_GET_WDL(r));
        m.dtz = signedDistance(m.wdl, TB_GET_DTZ(r));
        probed.moves.push_back(m);
    }
    // Every legal move, each once.
    if (probed.moves.size() != n) return false;
    *root = probed;
    return true;
}

#else   // a build without the prober

bool tablebaseSupport() { return false; }

void freeTablebases() {
    loadedPieces.store(0, std::memory_order_relaxed);
    removeLinkFolder();
}

TablebaseFiles initTablebases(const std::string& path) {
    TablebaseFiles found;
    if (!path.empty()) found.problems.push_back("no tablebase support in this build");
    return found;
}

TbWdl probeWdl(const Board*) { return WDL_FAILED; }

bool probeRoot(Board*, u32, RootTablebase*) { return false; }

#endif
