#include "uci.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "attack.h"
#include "board.h"
#include "book.h"
#include "chess960.h"
#include "hash.h"
#include "interface.h"
#include "movegen.h"
#include "search.h"
#include "strength.h"
#include "threads.h"
#include "utils.h"

namespace {

// ---------------------------------------------------------------------------
// Output: the search thread prints "info" and "bestmove" while the command
// thread answers "readyok"; every line goes out whole under one lock.

std::mutex outputMutex;

void sendLine(const std::string& line) {
    const std::lock_guard<std::mutex> lock(outputMutex);
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void sendInfoString(const std::string& text) { sendLine("info string " + text); }

// ---------------------------------------------------------------------------
// Input: a reader thread turns standard input into lines, each stamped with
// the clock when it arrived, so the time a "go" waited counts against it.

struct InputLine {
    std::string text;
    i32 stamp = 0;
    size_t droppedChars = 0;   // characters beyond UCI_LINE_LIMIT, not kept
    bool endOfInput = false;
};

class InputQueue {
public:
    void push(InputLine line) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(std::move(line));
        }
        ready.notify_one();
    }
    InputLine pop() {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !lines.empty(); });
        InputLine line = std::move(lines.front());
        lines.pop_front();
        return line;
    }

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<InputLine> lines;
};

// Left to the end of the process on purpose: the reader may still be waiting
// for input when the session ends.
InputQueue* inputQueue = nullptr;

void readInput(InputQueue* queue) {
    InputLine line;
    char piece[4096];
    while (fgets(piece, sizeof piece, stdin) != nullptr) {
        size_t n = strlen(piece);
        const bool complete = n > 0 && piece[n - 1] == '\n';
        if (complete) n--;
        // A line without end would otherwise grow without bound: past the
        // limit its characters are only counted.
        const size_t room = UCI_LINE_LIMIT - line.text.size();
        line.text.append(piece, n < room ? n : room);
        if (n > room) line.droppedChars += n - room;
        if (!complete) continue;
        line.stamp = searchClock();
        queue->push(std::move(line));
        line = InputLine();
    }
    if (!line.text.empty()) {
        line.stamp = searchClock();
        queue->push(std::move(line));
    }
    InputLine end;
    end.endOfInput = true;
    end.stamp = searchClock();
    queue->push(std::move(end));
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// A whole decimal number (optional sign); saturates at the 32-bit range.
bool readNumber(const std::string& text, i32* value) {
    return readWholeNumber(text.c_str(), value);
}

std::string moveText(const Move& move) {
    char text[8];
    moveToTextAs(&move, chess960Notation, text);
    return text;
}

// ---------------------------------------------------------------------------
// Options

struct Options {
    bool ownBook = true;
    bool ponder = false;
    int multiPv = 1;
    bool limitStrength = false;
    int elo = STRENGTH_ELO_MAX;
};

// The shares of the clock that a hash bucket and a megabyte make.
constexpr u64 MEGABYTE = u64{1024} * 1024;

void sendIdentification() {
    sendLine("id name Quillantor 0.3");
    sendLine("id author the Quillantor developers");
    sendLine("option name Hash type spin default " + std::to_string(hashMegabytes(hashSize)) +
             " min 1 max " + std::to_string(UCI_HASH_MAX_MB));
    sendLine("option name Clear Hash type button");
    sendLine("option name OwnBook type check default true");
    sendLine(std::string("option name BookFile type string default ") + bookFileName);
    sendLine(std::string("option name BestBookMove type check default ") +
             (bookBestMove ? "true" : "false"));
    sendLine("option name Ponder type check default false");
    sendLine("option name Threads type spin default " + std::to_string(threadsWanted) +
             " min 1 max " + std::to_string(MAX_SEARCH_THREADS));
    sendLine("option name MultiPV type spin default 1 min 1 max " +
             std::to_string(UCI_MULTIPV_MAX));
    sendLine("option name UCI_LimitStrength type check default false");
    sendLine("option name UCI_Elo type spin default " + std::to_string(STRENGTH_ELO_MAX) + " min " +
             std::to_string(STRENGTH_ELO_MIN) + " max " + std::to_string(STRENGTH_ELO_MAX));
    sendLine("option name UCI_Chess960 type check default false");
    sendLine("uciok");
}

bool readCheck(const std::string& value, bool* result) {
    const std::string v = lowerCase(value);
    if (v == "true") *result = true;
    else if (v == "false") *result = false;
    else return false;
    return true;
}

// A spin option's value: a whole number from low to high, or a refusal that
// names the option and its range.
bool readSpinOption(const char* name, const std::string& value, i32 low, i32 high, i32* out) {
    if (readNumberInRange(value.c_str(), low, high, out)) return true;
    sendInfoString(std::string(name) + " must be a number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not '" + value + "': unchanged");
    return false;
}

void setHashOption(const std::string& value) {
    i32 megabytes = 0;
    if (!readNumber(value, &megabytes) || megabytes < 1 || megabytes > UCI_HASH_MAX_MB) {
        sendInfoString("Hash must be a number of megabytes from 1 to " +
                       std::to_string(UCI_HASH_MAX_MB) + ", not '" + value + "': unchanged");
        return;
    }
    const u64 buckets = static_cast<u64>(megabytes) * MEGABYTE / sizeof(HashBucket);
    const i32 count = buckets > static_cast<u64>(INT32_MAX) ? INT32_MAX : static_cast<i32>(buckets);
    // initHashtable keeps the old table when the new one cannot be had; the
    // old one is released only once the new one exists (both come from malloc).
    HashBucket* old = hashtable;
    if (count < 1 || !initHashtable(count)) {
        sendInfoString("Hash " + std::to_string(megabytes) + " MB cannot be had: keeping " +
                       std::to_string(hashMegabytes(hashSize)) + " MB");
        return;
    }
    free(old);
    hashSize = count;
    clearSearchTables();
}

void setThreadsOption(const std::string& value) {
    i32 count = 0;
    if (!readSpinOption("Threads", value, 1, MAX_SEARCH_THREADS, &count)) return;
    const int made = setSearchThreads(count);
    // The new helpers start from empty killers and history, as every search does.
    if (made < count)
        sendInfoString("only " + std::to_string(made) + " of " + std::to_string(count) +
                       " threads could be started");
}

void setBookFileOption(const std::string& value) {
    if (value.empty() || value.size() >= sizeof bookFileName) {
        sendInfoString("BookFile needs a path of 1 to " + std::to_string(sizeof bookFileName - 1) +
                       " characters: unchanged");
        return;
    }
    // A file that is no book leaves the current book in place.
    std::string why;
    const BookOpen result = openBook(value.c_str(), &why);
    if (result != BOOK_OPENED) {
        const std::string reason =
            result == BOOK_MISSING ? "cannot be read" : "not used (" + why + ")";
        sendInfoString("BookFile '" + value + "' " + reason + ": keeping " + bookFileName);
        return;
    }
    strcpy(bookFileName, value.c_str());
}

void setOption(const std::vector<std::string>& words, const std::string& rawLine,
               Options* options) {
    // setoption name NAME [value VALUE]: the name may have blanks, the value
    // is the rest of the line as typed (a path may have blanks too).
    size_t valueAt = words.size();
    for (size_t i = 2; i < words.size(); i++)
        if (words[i] == "value") {
            valueAt = i;
            break;
        }
    if (words.size() < 3 || words[1] != "name" || valueAt == 2) {
        sendInfoString("setoption needs 'name NAME [value VALUE]': ignored");
        return;
    }
    const std::string name = joinWords(words, 2, valueAt);
    std::string value;
    if (valueAt < words.size()) {
        size_t at = rawLine.find(" value");
        while (at != std::string::npos && at + 6 < rawLine.size() &&
               !isspace(static_cast<unsigned char>(rawLine[at + 6])))
            at = rawLine.find(" value", at + 1);
        value = at == std::string::npos ? "" : rawLine.substr(at + 6);
        const size_t first = value.find_first_not_of(" \t\r\n");
        const size_t last = value.find_last_not_of(" \t\r\n");
        value = first == std::string::npos ? "" : value.substr(first, last - first + 1);
    }
    const std::string key = lowerCase(name);
    bool flag = false;
    if (key == "hash") {
        setHashOption(value);
    } else if (key == "threads") {
        setThreadsOption(value);
    } else if (key == "multipv") {
        i32 lines = 0;
        if (!readSpinOption("MultiPV", value, 1, UCI_MULTIPV_MAX, &lines)) return;
        options->multiPv = lines;
    } else if (key == "clear hash") {
        clearSearchTables();
    } else if (key == "bookfile") {
        setBookFileOption(value);
    } else if (key == "ownbook" || key == "ponder" || key == "bestbookmove" ||
               key == "uci_limitstrength" || key == "uci_chess960") {
        if (!readCheck(value, &flag)) {
            sendInfoString(name + " takes true or false, not '" + value + "': unchanged");
            return;
        }
        if (key == "bestbookmove") bookBestMove = flag;
        else if (key == "uci_chess960") chess960Notation = flag;
        else if (key == "uci_limitstrength") options->limitStrength = flag;
        else (key == "ownbook" ? options->ownBook : options->ponder) = flag;
    } else if (key == "uci_elo") {
        i32 elo = 0;
        if (!readSpinOption("UCI_Elo", value, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX, &elo)) return;
        options->elo = elo;
    } else {
        sendInfoString("no option named '" + name + "': ignored");
    }
}

// ---------------------------------------------------------------------------
// The search thread and what the command thread tells it.

struct SearchControl {
    std::atomic<bool> stop{false};
    std::atomic<bool> ponderHit{false};
    // Set on ponderhit before ponderHit: the clock of the hit and the two
    // limits counted from it.
    std::atomic<i32> hitStamp{0};
    std::atomic<i32> hitBudget{0};
    std::atomic<i32> hitHardCap{0};
    // A search that ends on its own in "infinite" or "ponder" waits here for
    // "stop" (or "ponderhit"): the protocol gives its bestmove only then.
    std::mutex mutex;
    std::condition_variable wake;
};

SearchControl control;

// Polled with the clock in the nodes and after every iteration.
bool interruptSearch() {
    if (control.stop.load(std::memory_order_relaxed)) return true;
    if (control.ponderHit.load(std::memory_order_acquire) &&
        elapsedSince(control.hitStamp.load(std::memory_order_relaxed)) >
            control.hitHardCap.load(std::memory_order_relaxed))
        return true;
    return false;
}

// What the last info line of the running search showed: the GUI keeps
// those figures, so the search's end is reported again when it went on
// after them.
struct ShownIteration {
    bool any = false;
    int lineNumber = 0;   // 0: an ordinary search; else the line of a MultiPV search
    int depth = 0;
    i32 score = 0;
    i64 nodes = 0;
    PvLine line;
};
ShownIteration shown;

std::string infoLine(const ShownIteration& iteration, i32 elapsed, const PvLine& line) {
    const i64 nodes = searchNodes();
    const i64 nps = nodes * 1000 / (elapsed > 0 ? elapsed : 1);
    std::string text = "info";
    if (iteration.any) {
        text += " depth " + std::to_string(iteration.depth) + " seldepth " +
                std::to_string(searchThread(0)->selDepth);
        if (iteration.lineNumber > 0) text += " multipv " + std::to_string(iteration.lineNumber);
        text += " score " + uciScore(iteration.score);
    }
    text += " time " + std::to_string(elapsed) + " nodes " + std::to_string(nodes) + " nps " +
            std::to_string(nps) + " hashfull " + std::to_string(hashtableUsage()) + " pv";
    for (u32 i = 0; i < line.count; i++) {
        text += ' ';
        text += moveText(line.moves[i]);
    }
    return text;
}

void reportIteration(int depth, i32 score, i32 elapsed, const PvLine* line, int lineNumber) {
    // After a ponderhit the soft limit is kept here, between iterations: past
    // it the driver stops before starting the next one.
    if (control.ponderHit.load(std::memory_order_acquire) &&
        elapsedSince(control.hitStamp.load(std::memory_order_relaxed)) >
            control.hitBudget.load(std::memory_order_relaxed))
        control.stop.store(true);
    // An iteration without a line has nothing to show: the root has no legal
    // move (said once, after the search), or depth 1 was cut off at once.
    if (line->count == 0) return;
    ShownIteration now;
    now.any = true;
    now.lineNumber = lineNumber;
    now.depth = depth;
    now.score = score;
    // The best line is the one the search's end reports again.
    if (lineNumber <= 1) {
        shown = now;
        shown.nodes = searchNodes();
        shown.line = *line;
    }
    sendLine(infoLine(now, elapsed, *line));
}

// The figures of a search that ended inside an iteration, with the line of
// the move played: the last accepted iteration's depth, score and line when
// it begins with that move, the move alone otherwise. A line chosen among
// several (a chosen strength's) is shown with its own score and number
// whenever it is not the best one.
void reportSearchEnd(const Move& played, const PvLine* chosen, i32 chosenScore, int chosenNumber) {
    if (chosen != nullptr && chosenNumber > 1) {
        ShownIteration line = shown;
        line.lineNumber = chosenNumber;
        line.score = chosenScore;
        sendLine(infoLine(line, elapsedSince(timerSearchStart.load()), *chosen));
        return;
    }
    if (shown.any && shown.nodes == searchNodes()) return;
    PvLine line;
    line.count = 1;
    line.moves[0] = played;
    const bool sameStart = shown.any && shown.line.count > 0 &&
                           shown.line.moves[0].from == played.from &&
                           shown.line.moves[0].to == played.to;
    sendLine(infoLine(shown, elapsedSince(timerSearchStart.load()), sameStart ? shown.line : line));
}

// The second move of the line of the move played (the line the search left
// on its board, unless one is given), when it follows best and is legal
// after it, and does not end the game.
Move ponderMove(Board* board, const Move& best, const PvLine* line) {
    const Move* pv = line != nullptr ? line->moves : searchThread(0)->board.pv;
    if (line != nullptr && line->count < 2) return noMove;
    if (pv[0].from != best.from || pv[0].to != best.to || pv[1].from == NO_SQUARE) return noMove;
    Move played = best;
    makeMove(board, &played);
    updateHashKey(board, &played);
    Move reply = noMove;
    const std::string text = moveText(pv[1]);
    if (!inputMoveLegal(board, text.c_str(), &reply, chess960Notation)) {
        reply = noMove;
    } else {
        // A reply after which the engine has no move ends the game: nothing
        // to ponder on.
        Move answered = reply;
        makeMove(board, &answered);
        MoveList* list = &board->moveLists[board->ply];
        if (generateMoves(board, list, 1) == 0) reply = noMove;
        unmakeMove(board, &answered);
    }
    updateHashKey(board, &played);
    unmakeMove(board, &played);
    return reply;
}

struct SearchJob {
    GoLimits limits;
    SearchOptions root;     // MultiPV, the searchmoves and the node limit
    bool limited = false;   // UCI_LimitStrength: play the level's move
    StrengthLevel level{};
    TimeBudget time;
    bool useBook;
    bool waitForStop;   // infinite or ponder: bestmove only after stop or ponderhit
    bool showPonder;
    u8 side;   // the side to move, read before the search plays on the board
};

void runSearch(Board* board, SearchJob job) {
    // Nothing may generate legal moves on the board before the search: the
    // legality test leaves the capture memory of its last move behind, which
    // the root reads, and "go depth N" would no longer search the tree the
    // search tool searches from the same position.
    Move best = noMove;
    bool searched = false;
    const PvLine* played = nullptr;   // the line of the move played, when not the search's own
    // The book's legality tests may leave scratch in the check flag.
    const u8 rootInCheck = board->inCheck;
    if (job.useBook && chooseBookMove(board, &best)) {
        sendInfoString("book move " + moveText(best));
    } else {
        const int maxDepth = job.limits.depth > 0 ? job.limits.depth : MAX_ITERATIONS;
        shown.any = false;
        searchToDepth(board, &best, job.time.budget, maxDepth, job.time.hardCap, &job.root);
        searched = true;
        // A chosen strength plays one of the search's candidate lines.
        int chosen = -1;
        const SearchLines& lines = lastSearchLines();
        if (job.limited && best.from != NO_SQUARE) {
            chosen = pickLevelLine(lines, job.level, randomBits());
            if (chosen >= 0) {
                best = lines.lines[chosen].moves[0];
                played = &lines.lines[chosen];
            }
        }
        // The search gives no move only where there is none.
        if (best.from == NO_SQUARE)
            sendLine(rootInCheck ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
        else reportSearchEnd(best, played, chosen >= 0 ? lines.scores[chosen] : 0, chosen + 1);
    }
    if (job.waitForStop) {
        std::unique_lock<std::mutex> lock(control.mutex);
        control.wake.wait(lock, [&job] {
            return control.stop.load() || (job.limits.ponder && control.ponderHit.load());
        });
    }
    std::string line =
        "bestmove " + (best.from == NO_SQUARE ? std::string("0000") : moveText(best));
    if (searched && job.showPonder && best.from != NO_SQUARE) {
        const Move reply = ponderMove(board, best, played);
        if (reply.from != NO_SQUARE) line += " ponder " + moveText(reply);
    }
    sendLine(line);
    // The killers and history start empty for every search. The table keeps
    // what this search found for the next move of the game (aged a ply before
    // the next search); "ucinewgame" and "Clear Hash" empty it.
    clearSearchHeuristics();
}

// What the command thread hands the search thread it starts.
struct SearchStart {
    Board* board = nullptr;
    SearchJob job{};
};

void runSearchThread(void* argument) {
    const SearchStart* start = static_cast<const SearchStart*>(argument);
    runSearch(start->board, start->job);
}

// ---------------------------------------------------------------------------
// The command thread

class UciSession {
public:
    explicit UciSession(Board* b) : board(b) {}

    // Handles one line; false when the session ends.
    bool handle(const InputLine& input) {
        if (input.endOfInput) {
            // The end of input: a bounded search is allowed to finish (a
            // script's "go depth 8" gets its answer); an unbounded one is stopped.
            if (searching && unbounded()) stopSearch();
            finishSearch();
            return false;
        }
        if (input.droppedChars > 0) {
            sendInfoString("line of " + std::to_string(input.text.size() + input.droppedChars) +
                           " characters is too long: ignored");
            return true;
        }
        const std::vector<std::string> words = splitWords(input.text);
        if (words.empty()) return true;
        const std::string& command = words[0];
        if (command == "isready") {
            // The slow set-up waits for the first command the protocol
            // expects to take time; during a search the tables are in use.
            if (!searching) prepareTables();
            sendLine("readyok");
        } else if (command == "stop") {
            if (searching) stopSearch();
            finishSearch();
        } else if (command == "ponderhit") {
            ponderHit();
        } else if (command == "quit") {
            if (searching) stopSearch();
            finishSearch();
            return false;
        } else if (command == "uci") {
            sendIdentification();
        } else if (command == "debug" || command == "register") {
            // Nothing to switch on, nothing to register.
        } else if (command == "ucinewgame" || command == "position" || command == "go" ||
                   command == "setoption") {
            // These change the board or the tables, which a running search
            // uses: a bounded search is waited for, an unbounded one would
            // never end by itself, so the command is refused.
            if (searching && unbounded()) {
                sendInfoString("'" + command +
                               "' during an infinite or ponder search: ignored (send stop first)");
                return true;
            }
            finishSearch();
            if (command == "ucinewgame") {
                clearSearchTables();
                tablesReady = true;
            } else if (command == "position") {
                positionCommand(words);
            } else if (command == "go") {
                prepareTables();
                // Within a game the table is kept; every entry's draft is
                // lowered by one, so that an entry from two moves ago no
                // longer answers at its old depth.
                ageHashtable(hashSize);
                goCommand(words, input.stamp);
            } else {
                setOption(words, input.text, &options);
            }
        } else {
            sendInfoString("unknown command '" + command + "': ignored");
        }
        return true;
    }

private:
    Board* board;
    Options options;
    bool fromStart =
        true;   // the position was built from the start position (the book knows only those)
    ThreadHandle worker;
    bool searching = false;
    // The transposition table comes from start-up allocated but not yet
    // cleared: clearing a large table takes seconds, more than a GUI waits
    // for "uciok". Every search clears the tables after itself.
    bool tablesReady = false;

    void prepareTables() {
        if (tablesReady) return;
        clearSearchTables();
        tablesReady = true;
    }

    bool unbounded() const {
        return (job.limits.infinite || job.limits.ponder) && !control.ponderHit.load();
    }

    void stopSearch() {
        {
            const std::lock_guard<std::mutex> lock(control.mutex);
            control.stop.store(true);
        }
        control.wake.notify_all();
    }

    // Waits for the search thread, which has printed its bestmove then.
    void finishSearch() {
        joinThread(&worker);
        searching = false;
    }

    void ponderHit() {
        if (!searching || !job.limits.ponder || control.ponderHit.load()) return;
        // The clock of the move starts now: the limits a timed search would
        // have had, counted from here.
        GoLimits timed = job.limits;
        timed.ponder = false;
        const TimeBudget time = uciTimeBudget(timed, job.side, 0);
        control.hitStamp.store(searchClock(), std::memory_order_relaxed);
        control.hitBudget.store(time.budget, std::memory_order_relaxed);
        control.hitHardCap.store(time.hardCap, std::memory_order_relaxed);
        {
            const std::lock_guard<std::mutex> lock(control.mutex);
            control.ponderHit.store(true, std::memory_order_release);
        }
        control.wake.notify_all();
    }

    void positionCommand(const std::vector<std::string>& words) {
        std::vector<std::string> refusals;
        const std::vector<std::string> rest(words.begin() + 1, words.end());
        bool start = fromStart;
        setUciPosition(board, rest, &refusals, &start);
        fromStart = start;
        for (const std::string& r : refusals) sendInfoString(r);
    }

    void goCommand(const std::vector<std::string>& words, i32 stamp) {
        std::vector<std::string> refusals;
        const std::vector<std::string> rest(words.begin() + 1, words.end());
        job.limits = parseGoArguments(rest, &refusals);
        for (const std::string& r : refusals) sendInfoString(r);
        GoLimits& limits = job.limits;
        const bool clock = limits.moveTime >= 0 || limits.time[board->sideToMove] >= 0;
        // A bare "go" (no clock, depth or node count) analyses until "stop".
        if (!limits.ponder && !clock && limits.depth == 0 && limits.nodes == 0)
            limits.infinite = true;
        const bool open = limits.infinite || limits.ponder;
        job.time = open ? TimeBudget{INT32_MAX, NO_TIME_CAP}
                        : uciTimeBudget(limits, board->sideToMove, elapsedSince(stamp));
        job.root.multiPv = options.multiPv;
        job.root.nodes = limits.nodes;
        // A chosen strength: fewer nodes, and a few candidate lines to choose from.
        job.limited = options.limitStrength;
        if (job.limited) {
            job.level = strengthLevel(options.elo);
            if (job.root.multiPv < job.level.lines) job.root.multiPv = job.level.lines;
            if (job.root.nodes == 0 || job.root.nodes > job.level.nodes)
                job.root.nodes = job.level.nodes;
        }
        job.root.only.count = 0;
        if (!limits.searchMoves.empty()) {
            refusals.clear();
            job.root.only = rootMovesFromTexts(board, limits.searchMoves, &refusals);
            for (const std::string& r : refusals) sendInfoString(r);
            if (job.root.only.count == 0)
                sendInfoString("searchmoves: no legal move left: searching all moves");
        }
        // A Polyglot book knows positions, whatever game led to them. A
        // search restricted to some moves is not the book's to answer.
        job.useBook =
            options.ownBook && (fromStart || bookIsPolyglot()) && !open && job.root.only.count == 0;
        job.waitForStop = open;
        job.showPonder = options.ponder;
        job.side = board->sideToMove;
        control.stop.store(false);
        control.ponderHit.store(false);
        searching = true;
        searchStart = SearchStart{board, job};
        if (!startThread(&worker, runSearchThread, &searchStart)) {
            // No thread to be had: the search runs here, and the commands
            // wait for it.
            runSearch(board, job);
        }
    }

    SearchJob job{};
    SearchStart searchStart{};
};

}   // namespace

// ---------------------------------------------------------------------------

GoLimits parseGoArguments(const std::vector<std::string>& words,
                          std::vector<std::string>* refusals) {
    GoLimits limits;
    for (size_t i = 0; i < words.size(); i++) {
        const std::string& w = words[i];
        if (w == "infinite") {
            limits.infinite = true;
            continue;
        }
        if (w == "ponder") {
            limits.ponder = true;
            continue;
        }
        if (w == "searchmoves") {
            // The moves run up to the next word that is no move: a move is
            // four or five characters, a digit second.
            size_t j = i + 1;
            while (j < words.size() && (words[j].size() == 4 || words[j].size() == 5) &&
                   isdigit(static_cast<unsigned char>(words[j][1]))) {
                limits.searchMoves.push_back(words[j]);
                j++;
            }
            if (j == i + 1)
                refusals->push_back("go searchmoves without moves: searching all moves");
            i = j - 1;
            continue;
        }
        i32* target = nullptr;
        i32 depth = 0;
        if (w == "wtime") target = &limits.time[WHITE];
        else if (w == "btime") target = &limits.time[BLACK];
        else if (w == "winc") target = &limits.inc[WHITE];
        else if (w == "binc") target = &limits.inc[BLACK];
        else if (w == "movestogo") target = &limits.movesToGo;
        else if (w == "movetime") target = &limits.moveTime;
        else if (w == "nodes") target = &limits.nodes;
        else if (w == "depth" || w == "mate") target = &depth;
        else {
            refusals->push_back("go: unknown word '" + w + "' ignored");
            continue;
        }
        i32 value = 0;
        if (i + 1 >= words.size() || !readNumber(words[i + 1], &value)) {
            refusals->push_back("go " + w + " needs a number: ignored");
            continue;
        }
        i++;
        if (w == "mate" && value > 0) {
            // A mate search is an ordinary search here: deep enough to find
            // a mate in N moves when the tree allows.
            value = value < MAX_ITERATIONS / 2 ? 2 * value : MAX_ITERATIONS;
            refusals->push_back("go mate is searched as go depth " + std::to_string(value));
        }
        // Times and counts below zero (a GUI's clock that ran over) count as
        // nothing left; depth and node limits must be positive.
        if (target == &limits.nodes || target == &depth) {
            if (value < 1) {
                refusals->push_back("go " + w + " must be positive: ignored");
                continue;
            }
        } else if (value < 0) {
            value = 0;
        }
        *target = value;
        if (target == &depth) limits.depth = value > MAX_ITERATIONS ? MAX_ITERATIONS : value;
    }
    return limits;
}

TimeBudget uciTimeBudget(const GoLimits& limits, u8 side, i32 lagMs) {
    if (lagMs < 0) lagMs = 0;
    const auto less = [](i32 value, i32 minus) { return value > minus ? value - minus : 0; };
    if (limits.moveTime >= 0) {
        // As "st" on the XBoard path: the whole time is the budget, the cap
        // keeps the margin inside it.
        return {less(limits.moveTime, lagMs), less(clockHardCap(limits.moveTime), lagMs)};
    }
    const i32 remaining = limits.time[side];
    if (remaining < 0) return {INT32_MAX, NO_TIME_CAP};
    const i32 inc = limits.inc[side];
    const i32 movesLeft =
        limits.movesToGo > 0 ? (limits.movesToGo < 30 ? limits.movesToGo : 30) : 30;
    // The hard cap: never past the clock less its margin, nor past an eighth
    // of the clock (half of it for the last move before the time control)
    // plus half the increment, so one long move cannot start a slide into a
    // clock too short to search at all.
    i64 hard = less(clockHardCap(remaining), lagMs);
    const i32 shares = limits.movesToGo > 0 && limits.movesToGo < 8 ? limits.movesToGo + 1 : 8;
    const i64 share = static_cast<i64>(remaining) / shares + inc / 2;
    if (hard > share) hard = share;
    // The soft budget: this move's share of the clock plus most of the
    // increment, at most half the hard cap so an iteration begun near the
    // end of the budget still has room to finish.
    i64 budget = static_cast<i64>(remaining) / movesLeft + static_cast<i64>(inc) * 3 / 4 - lagMs;
    if (budget > hard / 2) budget = hard / 2;
    if (budget < 0) budget = 0;
    return {static_cast<i32>(budget), static_cast<i32>(hard)};
}

std::string uciScore(i32 score) {
    // A side mated at ply p scores p - MATE_SCORE; p plies are (p + 1) / 2 moves.
    if (score >= MATE_SCORE - MAX_PLY)
        return "mate " + std::to_string((MATE_SCORE - score + 1) / 2);
    if (score <= MAX_PLY - MATE_SCORE) return "mate -" + std::to_string((MATE_SCORE + score) / 2);
    return "cp " + std::to_string(score);
}

MoveSet rootMovesFromTexts(Board* board, const std::vector<std::string>& texts,
                           std::vector<std::string>* refusals) {
    MoveSet moves;
    const BoardScratchKeeper keep(board);
    for (const std::string& text : texts) {
        Move move;
        const bool legal = inputMoveLegal(board, text.c_str(), &move, chess960Notation) &&
                           (text.size() == 4 || (move.flags & MF_PROMOTION));
        if (legal) moves.add(move);
        else refusals->push_back("searchmoves: '" + text + "' is not a legal move here: left out");
    }
    return moves;
}

bool setUciPosition(Board* board, const std::vector<std::string>& words,
                    std::vector<std::string>* refusals, bool* fromStart) {
    size_t movesAt = words.size();
    for (size_t i = 0; i < words.size(); i++)
        if (words[i] == "moves") {
            movesAt = i;
            break;
        }
    const bool startpos = !words.empty() && words[0] == "startpos";
    if (words.empty() || (!startpos && words[0] != "fen") ||
        (startpos && words.size() > 1 && movesAt != 1)) {
        refusals->push_back(
            "position needs 'startpos' or 'fen FEN', then optionally 'moves ...': position unchanged");
        return false;
    }
    if (words[0] == "startpos") {
        setupFen(board, initialPosition);
        *fromStart = true;
    } else {
        const std::string fen = joinWords(words, 1, movesAt);
        std::string why;
        if (fen.empty() || !setupFen(board, fen.c_str(), &why)) {
            refusals->push_back("invalid FEN '" + fen + "'" + (why.empty() ? "" : ": " + why) +
                                ": position unchanged");
            return false;
        }
        *fromStart = false;
    }
    getHashkey(board);
    for (size_t i = movesAt + 1; i < words.size(); i++) {
        const std::string& text = words[i];
        Move move;
        // Exactly four or five letters; a fifth only on a promotion.
        const bool legal = (text.size() == 4 || text.size() == 5) &&
                           inputMoveLegal(board, text.c_str(), &move, chess960Notation) &&
                           (text.size() == 4 || (move.flags & MF_PROMOTION));
        if (!legal) {
            refusals->push_back("illegal move '" + text + "' (move " + std::to_string(i - movesAt) +
                                " of the list): the moves from there on are ignored");
            break;
        }
        if (!playGameMove(board, &move)) {
            refusals->push_back("the game history is full after " + std::to_string(board->gamePly) +
                                " half-moves: the moves from '" + text + "' on are ignored");
            break;
        }
    }
    // The search reads the side to move's check flag at the root, as the
    // XBoard loop leaves it after every game move.
    board->inCheck = sideToMoveInCheck(board) ? 1 : 0;
    return true;
}

i32 hashMegabytes(i32 buckets) {
    const u64 bytes = static_cast<u64>(buckets > 0 ? buckets : 0) * sizeof(HashBucket);
    const u64 megabytes = (bytes + MEGABYTE / 2) / MEGABYTE;
    return megabytes < 1 ? 1 : static_cast<i32>(megabytes);
}

bool isUciGreeting(const char* line) {
    const std::vector<std::string> words = splitWords(line);
    return words.size() == 1 && words[0] == "uci";
}

int uciMain(Board* board) {
    searchInterrupt = interruptSearch;
    iterationReport = reportIteration;
    sendIdentification();

    inputQueue = new InputQueue;
    std::thread(readInput, inputQueue).detach();
    auto session = std::make_unique<UciSession>(board);
    while (session->handle(inputQueue->pop())) {}
    fflush(stdout);
    return 0;
}
