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
#include "tablebase.h"
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
    std::string text;   // may hold NUL bytes: the line is then refused
    i32 stamp = 0;
    size_t droppedChars = 0;   // characters beyond UCI_LINE_LIMIT, not kept
    bool endOfInput = false;
};

// The next line of standard input, read a byte at a time so that a NUL
// byte is a character like any other (a GUI that writes UTF-16 or garbage
// gets its lines refused, never merged with the next one). False at the
// end of input with nothing read.
bool readInputLine(InputLine* line) {
    *line = InputLine();
    int c;
    bool any = false;
    while ((c = getc(stdin)) != EOF) {
        any = true;
        if (c == '\n') break;
        // A line without end would otherwise grow without bound: past the
        // limit its characters are only counted.
        if (line->text.size() < UCI_LINE_LIMIT) line->text.push_back(static_cast<char>(c));
        else line->droppedChars++;
    }
    line->stamp = searchClock();
    return any;
}

class InputQueue {
public:
    void push(InputLine line) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(std::move(line));
        }
        ready.notify_one();
    }
    // The next line: from the reader thread, or read here when there is none.
    InputLine pop() {
        if (!reading) {
            InputLine line;
            if (!readInputLine(&line)) line.endOfInput = true;
            return line;
        }
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !lines.empty(); });
        InputLine line = std::move(lines.front());
        lines.pop_front();
        return line;
    }
    // For a search that runs on the command thread: answers the "isready"
    // lines waiting at the front of the queue, hands a "ponderhit" there to
    // the clock, and tells whether a "stop", a "quit" or the end of input
    // is waiting (left in the queue, to be handled after the search).
    bool stopWaiting();

    bool reading = false;   // a reader thread fills the queue

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<InputLine> lines;
};

// Left to the end of the process on purpose: the reader may still be waiting
// for input when the session ends (its thread is detached: nobody joins it).
InputQueue* inputQueue = nullptr;

void readInput(void* argument) {
    InputQueue* queue = static_cast<InputQueue*>(argument);
    InputLine line;
    while (readInputLine(&line)) queue->push(std::move(line));
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
    i32 moveOverhead = UCI_MOVE_OVERHEAD_DEFAULT;
    bool analyseMode = false;   // accepted and kept; the search is the same either way
    int tableDepth = 1;         // SyzygyProbeDepth
    int tableLimit = 7;         // SyzygyProbeLimit
    bool table50MoveRule = true;
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
    sendLine("option name Move Overhead type spin default " +
             std::to_string(UCI_MOVE_OVERHEAD_DEFAULT) + " min 0 max " +
             std::to_string(UCI_MOVE_OVERHEAD_MAX));
    sendLine("option name UCI_AnalyseMode type check default false");
    sendLine("option name SyzygyPath type string default " +
             (syzygyPath.empty() ? std::string("<empty>") : syzygyPath));
    sendLine("option name SyzygyProbeDepth type spin default 1 min 1 max " +
             std::to_string(MAX_ITERATIONS));
    sendLine("option name Syzygy50MoveRule type check default true");
    sendLine("option name SyzygyProbeLimit type spin default 7 min 0 max 7");
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
    // No helper of the last search may still store into the old table.
    waitForHelpers();
    if (count < 1 || !resizeHashtable(count)) {
        sendInfoString("Hash " + std::to_string(megabytes) + " MB cannot be had: keeping " +
                       std::to_string(hashMegabytes(hashSize)) + " MB");
        return;
    }
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

// Loads the endgame tables of the folders named (none: "" or "<empty>") and
// says what was found: one line for the tables, one for each folder or file
// left out, or one line when there are none.
void setSyzygyPath(const std::string& value) {
    // Helpers of the last search may still probe the tables being replaced.
    waitForHelpers();
    const std::string path = value == "<empty>" ? "" : value;
    if (path.empty()) {
        initTablebases("");
        return;
    }
    if (!tablebaseSupport()) {
        sendInfoString("SyzygyPath: no tablebase support in this build: playing without tables");
        return;
    }
    const TablebaseFiles files = initTablebases(path);
    if (files.largest == 0) {
        // One line says it all: what is wrong with each folder.
        std::string why;
        for (const std::string& problem : files.problems) why += "; " + problem;
        sendInfoString("SyzygyPath '" + path + "': no tables found" + why +
                       ": playing without tables");
        return;
    }
    for (const std::string& problem : files.problems) sendInfoString("SyzygyPath: " + problem);
    sendInfoString("SyzygyPath '" + path + "': " + std::to_string(files.wdlTables) + " WDL and " +
                   std::to_string(files.dtzTables) + " DTZ tables, up to " +
                   std::to_string(files.largest) + " pieces");
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
               key == "uci_limitstrength" || key == "uci_analysemode" || key == "uci_chess960") {
        if (!readCheck(value, &flag)) {
            sendInfoString(name + " takes true or false, not '" + value + "': unchanged");
            return;
        }
        if (key == "bestbookmove") bookBestMove = flag;
        else if (key == "uci_chess960") chess960Notation = flag;
        else if (key == "uci_limitstrength") options->limitStrength = flag;
        else if (key == "uci_analysemode") options->analyseMode = flag;
        else (key == "ownbook" ? options->ownBook : options->ponder) = flag;
    } else if (key == "syzygypath") {
        setSyzygyPath(value);
    } else if (key == "syzygyprobedepth" || key == "syzygyprobelimit") {
        const bool depth = key == "syzygyprobedepth";
        i32 number = 0;
        if (!readSpinOption(depth ? "SyzygyProbeDepth" : "SyzygyProbeLimit", value, depth ? 1 : 0,
                            depth ? MAX_ITERATIONS : 7, &number))
            return;
        (depth ? options->tableDepth : options->tableLimit) = number;
    } else if (key == "syzygy50moverule") {
        if (!readCheck(value, &flag)) {
            sendInfoString(name + " takes true or false, not '" + value + "': unchanged");
            return;
        }
        options->table50MoveRule = flag;
    } else if (key == "move overhead") {
        i32 overhead = 0;
        if (!readSpinOption("Move Overhead", value, 0, UCI_MOVE_OVERHEAD_MAX, &overhead)) return;
        options->moveOverhead = overhead;
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
    // "stop" (or "quit", or the end of input) has come: the search ends, and
    // one that waits for it gives its bestmove.
    std::atomic<bool> stop{false};
    // "ponderhit" has come for the running ponder search.
    std::atomic<bool> ponderHit{false};
    // A search that ends on its own in "infinite" or "ponder" waits here for
    // "stop" (or "ponderhit"): the protocol gives its bestmove only then.
    std::mutex mutex;
    std::condition_variable wake;
    // The search runs on the command thread (no thread of its own could be
    // had): it looks into the input queue for what would stop it.
    bool inline_ = false;
};

SearchControl control;

// Polled with the clock in the nodes and after every iteration.
bool interruptSearch() {
    if (control.inline_ && inputQueue->stopWaiting()) control.stop.store(true);
    return control.stop.load(std::memory_order_relaxed);
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

// The figures every info line of a search carries: time, nodes, speed and
// how full the table is.
std::string searchFigures(i32 elapsed) {
    const i64 nodes = searchNodes();
    const i64 nps = nodes * 1000 / (elapsed > 0 ? elapsed : 1);
    std::string figures = " time " + std::to_string(elapsed) + " nodes " + std::to_string(nodes) +
                          " nps " + std::to_string(nps) + " hashfull " +
                          std::to_string(hashtableUsage());
    const SharedSearch* shared = sharedSearch();
    if (shared->tablePieces > 0)
        figures += " tbhits " + std::to_string(shared->tableHits.load(std::memory_order_relaxed));
    return figures;
}

std::string infoLine(const ShownIteration& iteration, i32 elapsed, const PvLine& line,
                     const char* bound = "") {
    std::string text = "info";
    if (iteration.any) {
        text += " depth " + std::to_string(iteration.depth) + " seldepth " +
                std::to_string(searchThread(0)->selDepth);
        if (iteration.lineNumber > 0) text += " multipv " + std::to_string(iteration.lineNumber);
        text += " score " + uciScore(iteration.score) + bound;
    }
    text += searchFigures(elapsed) + " pv";
    for (u32 i = 0; i < line.count; i++) {
        text += ' ';
        text += moveText(line.moves[i]);
    }
    return text;
}

void reportIteration(int depth, i32 score, i32 elapsed, const PvLine* line, int lineNumber) {
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

// A root move that beat the first one inside an iteration: its score is a
// lower bound of what the iteration will find.
void reportBound(int depth, i32 score, i32 elapsed, const PvLine* line) {
    ShownIteration now;
    now.any = true;
    now.depth = depth;
    now.score = score;
    sendLine(infoLine(now, elapsed, *line, " lowerbound"));
}

void reportCurrentMove(int /*depth*/, const Move* move, int number) {
    sendLine("info currmove " + moveText(*move) + " currmovenumber " + std::to_string(number));
}

// A long search says every so often how far it has come, between the lines
// of its iterations.
void reportProgress(i32 elapsed) { sendLine("info" + searchFigures(elapsed)); }

// What the search tells the GUI, and asks it, while it runs.
const SearchReports uciReports = {interruptSearch, reportIteration, reportBound, reportCurrentMove,
                                  reportProgress};

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
        sendLine(infoLine(line, elapsedSince(moveClock.timerSearchStart.load()), *chosen));
        return;
    }
    if (shown.any && shown.nodes == searchNodes()) return;
    PvLine line;
    line.count = 1;
    line.moves[0] = played;
    const bool sameStart = shown.any && shown.line.count > 0 &&
                           shown.line.moves[0].from == played.from &&
                           shown.line.moves[0].to == played.to;
    sendLine(infoLine(shown, elapsedSince(moveClock.timerSearchStart.load()),
                      sameStart ? shown.line : line));
}

// The second move of the line of the move played (the line the search left
// on its board, unless one is given), when it follows best and is legal
// after it, and does not end the game.
Move ponderMove(Board* board, const Move& best, const PvLine* line) {
    const Move* pv = line != nullptr ? line->moves : searchThread(0)->pv;
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
        if (firstLegalMove(board).from == NO_SQUARE) reply = noMove;
        unmakeMove(board, &answered);
    }
    updateHashKey(board, &played);
    unmakeMove(board, &played);
    return reply;
}

struct SearchJob {
    GoLimits limits;
    SearchLimits root;      // MultiPV, the searchmoves, the node limit, a mate to find, the hooks
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
    if (job.useBook && chooseBookMove(board, &best, randomBits())) {
        stopSearchClock();
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
        if (control.inline_) {
            // On the command thread nothing else reads the input: wait for
            // the line that ends the wait here.
            while (!control.stop.load() && !(job.limits.ponder && control.ponderHit.load())) {
                if (inputQueue->stopWaiting()) control.stop.store(true);
                else std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } else {
            std::unique_lock<std::mutex> lock(control.mutex);
            control.wake.wait(lock, [&job] {
                return control.stop.load() || (job.limits.ponder && control.ponderHit.load());
            });
        }
    }
    std::string line =
        "bestmove " + (best.from == NO_SQUARE ? std::string("0000") : moveText(best));
    if (searched && job.showPonder && best.from != NO_SQUARE) {
        const Move reply = ponderMove(board, best, played);
        if (reply.from != NO_SQUARE) line += " ponder " + moveText(reply);
    }
    sendLine(line);
    // The killers and history start empty for every search. The table keeps
    // what this search found for the next move of the game (replaced first
    // by the next search); "ucinewgame" and "Clear Hash" empty it.
    clearSearchHeuristics();
}

bool InputQueue::stopWaiting() {
    const std::lock_guard<std::mutex> lock(mutex);
    while (!lines.empty()) {
        const InputLine& line = lines.front();
        if (line.endOfInput) return true;
        const std::vector<std::string> words = splitWords(line.text);
        const std::string command = words.empty() ? "" : words[0];
        if (command == "stop" || command == "quit") return true;
        if (command == "isready") {
            sendLine("readyok");
        } else if (command == "ponderhit") {
            control.ponderHit.store(true);
            ponderHit();
        } else {
            // Anything else waits for the search, as it would with a thread.
            return false;
        }
        lines.pop_front();
    }
    return false;
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
        // A NUL byte is no part of any command: a GUI writing UTF-16 or a
        // broken pipe's garbage is refused line by line.
        if (input.text.find('\0') != std::string::npos) {
            sendInfoString("line with a NUL byte: ignored");
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
            ponderHitCommand();
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
        // The search sees the signal within a few hundred nodes.
        moveClock.stopSignal.store(true);
        control.wake.notify_all();
    }

    // Waits for the search thread, which has printed its bestmove then.
    void finishSearch() {
        joinThread(&worker);
        searching = false;
    }

    void ponderHitCommand() {
        if (!searching || !job.limits.ponder || control.ponderHit.load()) return;
        // The move's own clock applies from now on, counted from the "go":
        // the time spent pondering counts towards the move.
        ponderHit();
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
        const u8 side = board->sideToMove;
        // A clock without the mover's own time would never end the search.
        if (goLacksMoversClock(limits, side) && !limits.infinite) {
            limits.moveTime = NO_CLOCK_MOVE_TIME;
            sendInfoString("go gives no time for the side to move: searching " +
                           std::to_string(NO_CLOCK_MOVE_TIME) + " ms");
        }
        const bool clock = limits.moveTime >= 0 || limits.time[side] >= 0;
        // A bare "go" (no clock, depth, node count or mate) analyses until "stop".
        if (!limits.ponder && !clock && limits.depth == 0 && limits.nodes == 0)
            limits.infinite = true;
        const bool open = limits.infinite || limits.ponder;
        const i32 lag = elapsedSince(stamp);
        const TimeBudget timed = uciTimeBudget(limits, side, lag, options.moveOverhead);
        job.time = open ? TimeBudget{INT32_MAX, NO_TIME_CAP} : timed;
        job.root = SearchLimits{};
        job.root.reports = &uciReports;
        job.root.multiPv = options.multiPv;
        job.root.nodes = limits.nodes;
        job.root.mate = limits.mate;
        job.root.useTables = tablebasePieces() > 0 && options.tableLimit > 0;
        job.root.tableDepth = options.tableDepth;
        job.root.tableLimit = options.tableLimit;
        job.root.table50MoveRule = options.table50MoveRule;
        // A chosen strength: fewer nodes, and a few candidate lines to choose
        // from, searched on the main thread alone so that the level plays
        // the same whatever the number of threads.
        job.limited = options.limitStrength;
        job.root.oneThread = job.limited;
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
        job.side = side;
        control.stop.store(false);
        control.ponderHit.store(false);
        control.inline_ = false;
        // The clock starts here, on the command thread, from the arrival of
        // "go": a "stop" or "ponderhit" read from now on finds the search's
        // clock in place, however late the search thread starts. A ponder
        // search keeps its move's limits for the hit.
        waitForHelpers();
        startSearchClock(stamp, hardLimitFor(job.time.budget, job.time.hardCap), limits.ponder,
                         timed.budget, timed.hardCap);
        job.root.clockStarted = true;
        searching = true;
        searchStart = SearchStart{board, job};
        if (startThread(&worker, runSearchThread, &searchStart)) return;
        // No thread to be had. The search runs here and looks for "stop" in
        // what the reader queues; without a reader, nothing could stop an
        // unbounded search, which is refused.
        if (open && !inputQueue->reading) {
            stopSearchClock();
            const Move first = firstLegalMove(board);
            sendInfoString(
                "no thread for the search: an infinite or ponder search cannot "
                "be stopped here, playing the first legal move");
            sendLine("bestmove " +
                     (first.from == NO_SQUARE ? std::string("0000") : moveText(first)));
            searching = false;
            return;
        }
        control.inline_ = true;
        runSearch(board, job);
        control.inline_ = false;
        searching = false;
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
        else if (w == "depth" || w == "mate" || w == "nodes") target = &depth;
        else {
            refusals->push_back("go: unknown word '" + w + "' ignored");
            continue;
        }
        // Node counts go past 32 bits (an overnight analysis); the rest
        // saturate there.
        i64 number = 0;
        const char* end = nullptr;
        if (i + 1 >= words.size() || !readDecimal(words[i + 1].c_str(), &number, &end) ||
            *end != '\0') {
            refusals->push_back("go " + w + " needs a number: ignored");
            continue;
        }
        i++;
        i32 value = clampToI32(number);
        // Times and counts below zero (a GUI's clock that ran over) count as
        // nothing left; depth, mate and node limits must be positive.
        if (target == &depth) {
            if (number < 1) {
                refusals->push_back("go " + w + " must be positive: ignored");
                continue;
            }
        } else if (value < 0) {
            value = 0;
        }
        if (w == "nodes") {
            limits.nodes = number;
            continue;
        }
        if (w == "mate") {
            // The search ends once it proves a mate in N moves or fewer, and
            // goes no deeper than such a mate needs when the tree allows.
            limits.mate = value;
            value = value < MAX_ITERATIONS / 2 ? 2 * value : MAX_ITERATIONS;
        }
        if (target != &depth) limits.clockWords = limits.clockWords || target != &limits.moveTime;
        *target = value;
        if (target == &depth) limits.depth = value > MAX_ITERATIONS ? MAX_ITERATIONS : value;
    }
    return limits;
}

std::string uciScore(i32 score) {
    // A side mated at ply p scores p - MATE_SCORE; p plies are (p + 1) / 2 moves.
    if (score >= MATE_SCORE - MAX_PLY)
        return "mate " + std::to_string((MATE_SCORE - score + 1) / 2);
    if (score <= MAX_PLY - MATE_SCORE) return "mate -" + std::to_string((MATE_SCORE + score) / 2);
    return "cp " + std::to_string(score);
}

bool uciMoveLegal(Board* board, const std::string& text, Move* move) {
    return (text.size() == 4 || text.size() == 5) &&
           inputMoveLegal(board, text.c_str(), move, chess960Notation) &&
           (text.size() == 4 || (move->flags & MF_PROMOTION));
}

MoveSet rootMovesFromTexts(Board* board, const std::vector<std::string>& texts,
                           std::vector<std::string>* refusals) {
    MoveSet moves;
    const BoardScratchKeeper keep(board);
    for (const std::string& text : texts) {
        Move move;
        if (uciMoveLegal(board, text, &move)) moves.add(move);
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
        if (!uciMoveLegal(board, text, &move)) {
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
    sendIdentification();

    inputQueue = new InputQueue;
    // The reader lives as long as the process (it may wait for input when
    // the session ends). Without it the session reads its lines itself.
    ThreadHandle reader;
    inputQueue->reading = startThread(&reader, readInput, inputQueue);
    detachThread(&reader);
    auto session = std::make_unique<UciSession>(board);
    while (session->handle(inputQueue->pop())) {}
    fflush(stdout);
    return 0;
}
