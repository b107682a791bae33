// The command-line tools through the engine binary: perft, show, eval,
// search, the bench signatures and the EPD runner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine_process.h"
#include "test_util.h"
#include "tools.h"

namespace {

TEST(SearchTool, PrintsIterationsThenTheMoveWithItsPromotionLetter) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run =
        runEngine({"search", "3", "8/P7/8/8/8/8/6k1/4K3", "w", "-", "-", "0", "1"}, "", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    auto rows = outputLines(run.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back(), "bestmove a7a8q");
    auto lines = thinkingLines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].depth, static_cast<int>(i) + 1);
    // Every iteration line ends in a blank before the line feed.
    for (const std::string& row : rows) {
        if (row.back() != '!' && row.rfind("bestmove", 0) != 0) {
            EXPECT_EQ(row.back(), ' ') << row;
        }
    }

    run = runEngine({"search", "0"}, "", dir);
    EXPECT_EQ(run.status, 2);
    run = runEngine({"search", "2", "not", "a", "fen"}, "", dir);
    EXPECT_EQ(run.status, 2);
}

// Reference signatures of tests/bench.ref: its "DEPTH NODES" lines (tag
// ""), or its "TAG DEPTH NODES" lines (the long-game bench: "history").
std::vector<std::pair<int, long long>> benchReferences(const std::string& tag = "") {
    std::vector<std::pair<int, long long>> refs;
    std::istringstream in(readWholeFile(QL_DATA_DIR "/../bench.ref"));
    std::string row;
    while (std::getline(in, row)) {
        if (row.empty() || row[0] == '#') continue;
        std::istringstream fields(row);
        std::string first;
        fields >> first;
        if (!tag.empty()) {
            if (first != tag) continue;
            fields >> first;
        }
        int depth;
        long long nodes;
        std::istringstream rest(first);
        if (rest >> depth && rest.eof() && fields >> nodes) refs.emplace_back(depth, nodes);
    }
    return refs;
}

long long benchNodes(const std::string& out) {
    const std::string key = "Nodes searched: ";
    const size_t at = out.rfind(key);
    if (at == std::string::npos) return -1;
    return atoll(out.c_str() + at + key.size());
}

// The node total of the bench is the build's signature: depth is the
// reference's depth, or 0 for a plain "quillantor bench".
void checkBenchSignature(size_t reference, bool plain) {
    auto refs = benchReferences();
    ASSERT_GT(refs.size(), reference)
        << "tests/bench.ref needs the default and the shallow signature";
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run = plain
                        ? runEngine({"bench"}, "", dir, 300)
                        : runEngine({"bench", std::to_string(refs[reference].first)}, "", dir, 300);
    ASSERT_EQ(run.status, 0) << run.err;
    auto rows = outputLines(run.out);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows.back().rfind("Nodes searched: ", 0), 0u) << "the signature is the last line";
    EXPECT_EQ(benchNodes(run.out), refs[reference].second)
        << "bench depth " << refs[reference].first;
}

TEST(Bench, bench_signature) { checkBenchSignature(1, false); }

// The long-game bench: the same positions behind a 200-half-move key
// history, signed by its own "history DEPTH NODES" lines.
void checkHistoryBenchSignature(bool plain) {
    const auto refs = benchReferences("history");
    ASSERT_EQ(refs.size(), 2u)
        << "tests/bench.ref needs the default and the shallow history signature";
    const auto& ref = plain ? refs[0] : refs[1];
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run =
        plain ? runEngine({"bench", "--history"}, "", dir, 300)
              : runEngine({"bench", "--history", std::to_string(ref.first)}, "", dir, 300);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(benchNodes(run.out), ref.second) << "bench --history depth " << ref.first;
}

TEST(Bench, history_bench_signature) { checkHistoryBenchSignature(false); }

TEST(BenchSlow, history_bench_signature) { checkHistoryBenchSignature(true); }

TEST(BenchSlow, bench_signature) { checkBenchSignature(0, true); }

}   // namespace

TEST(Tools, PerftDividesAndTotals) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run = runEngine({"perft", "2"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("a2a4: 20\na2a3: 20\n", 0), 0u);
    EXPECT_NE(run.out.find("\nNodes: 400\n"), std::string::npos);
    run = runEngine({"perft", "1", "8/P6k/8/8/8/8/8/K7", "w", "-", "-", "0", "1"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("a7a8q: 1\na7a8r: 1\na7a8b: 1\na7a8n: 1\n"), std::string::npos);
    EXPECT_NE(run.out.find("Nodes: 7\n"), std::string::npos);
}

TEST(Tools, EveryToolTakesTheStartPositionWithoutAFenAndWhatSetboardTakes) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    // The start position's own text has no en passant field; setboard takes it.
    const std::vector<std::vector<std::string>> runs = {
        {"perft", "1"},
        {"show"},
        {"eval", "--terms"},
        {"search", "1"},
        {"eval", "--terms", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "w", "KQkq", "0", "1"}};
    for (const auto& args : runs) {
        const EngineRun run = runEngine(args, "", dir);
        EXPECT_EQ(run.status, 0) << args[0] << " " << run.err;
        EXPECT_EQ(run.err, "") << args[0];
    }
    const EngineRun terms = runEngine({"eval", "--terms"}, "", dir);
    EXPECT_NE(terms.out.find("total: 0\neval: 10\n"), std::string::npos) << terms.out;
    // help lists the tools on standard output, status 0.
    for (const char* help : {"help", "--help"}) {
        const EngineRun run = runEngine({help}, "", dir);
        EXPECT_EQ(run.status, 0);
        for (const char* tool : {"perft", "show", "eval", "bench", "search", "epd"})
            EXPECT_NE(run.out.find(std::string("  ") + tool + " "), std::string::npos) << tool;
    }
}

TEST(Tools, BadArgumentsGiveStatusTwoAndOneLine) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    const std::vector<std::vector<std::string>> bad = {
        {"perft"},
        {"perft", "x"},
        {"perft", "0"},
        {"perft", "3abc"},
        {"perft", "2", "not a fen"},
        {"show", "8/8/8/8/8/8/8/8 w - - 0 1"},
        {"frobnicate"},
    };
    for (const auto& args : bad) {
        EngineRun run = runEngine(args, "", dir);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
}

TEST(Tools, ShowColoursTheDiagramOnATerminalOnly) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    // To a file: plain text.
    EngineRun run = runEngine({"show"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("[Ply 0: White to move.]"), std::string::npos);
    EXPECT_NE(run.out.find("[Material balance = 0, nWhite = 16, nBlack = 16]."), std::string::npos);
    EXPECT_NE(run.out.find("[Castling status: 15, wKing on e1, bKing on e8]"), std::string::npos);
    EXPECT_NE(run.out.find("1  |  R  |  N  |"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    // On a terminal: a1 holds a white rook, red on black; h1 red on white.
    const std::string shown = runEngineOnTerminal({"show"}, dir);
    EXPECT_NE(shown.find("1  \x1b[1;37;40m|\x1b[1;31;40m  R  "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\x1b[1;31;47m  R  \x1b[1;37;40m|"), std::string::npos);
}

TEST(EvalTool, PrintsOneLinePerInputLineAndErrorForNonPositions) {
    const std::string input =
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"
        "not a position\n"
        "\n"
        "7k/8/8/8/3K4/8/8/1N4N1 w - - bm Nc3; id \"knights\";\n"
        "7k/8/8/8/3K4/8/8/1N4N1 b - - 0 1\r\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KX - 0 1\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e5 0 1\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1\n"
        "  8/8/8/4k3/8/8/8/1N2K3   b  -  -  \n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -";
    const EngineRun run = runEngine({"eval"}, input, TempDir().path);
    EXPECT_EQ(run.status, 0);
    // Lines that are not EPD but that setboard takes (an odd side letter is
    // Black, a broken castling or en passant field keeps what it can, the
    // clocks may be missing) are positions too.
    EXPECT_EQ(run.out, "10\nerror\nerror\n896\n-876\n10\n10\n10\n10\nerror\n0\n10\n");
}

TEST(EvalTool, ByteOrderMarksNulBytesAndStrangeBytesGetALineEach) {
    const std::string fen = "7k/8/8/8/3K4/8/8/1N4N1 b - - 0 1";
    const std::string input =
        "\xEF\xBB\xBF" + fen + "\n" + literalBytes("7k/8/8\0/8/3K4/8/8/1N4N1 b\n") +
        literalBytes("\xFF\xFE\x37\x00k\x00\n") + "\xC3\xA9\xE2\x82\xAC\n" + fen + "\n";
    const EngineRun run = runEngine({"eval"}, input, TempDir().path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "-876\nerror\nerror\nerror\n-876\n");
}

TEST(EvalTool, TermsShowsWhitesViewOfEachTerm) {
    const EngineRun run = runEngine(
        {"eval", "--terms", "4k3/8/7p/8/2P1P3/8/3P4/R3K2R", "b", "KQ", "-"}, "", TempDir().path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "material: 1360\npawn structure: 90\nknight mobility: 0\nbishop mobility: 0\n"
              "rook terms: 33\nqueen mobility: 0\npawn advancement: 18\nking term: 3\n"
              "endgame: 1\ntrivial draw: 0\ntotal: 1504\neval: -1494\n");
    EXPECT_EQ(runEngine({"eval", "--terms", "8/8/8/8 w - -"}, "", TempDir().path).status, 2);
    EXPECT_EQ(runEngine({"eval", "--nonsense"}, "", TempDir().path).status, 2);
}

TEST(EvalTool, BenchEvaluatesEveryPositionTheGivenNumberOfTimes) {
    const EngineRun one = runEngine({"eval", "--bench", "1"}, "", TempDir().path);
    const EngineRun two = runEngine({"eval", "--bench", "2"}, "", TempDir().path);
    ASSERT_EQ(one.status, 0);
    ASSERT_EQ(two.status, 0);
    auto field = [](const std::string& out, const std::string& name) {
        const size_t at = out.find(name + ": ");
        return at == std::string::npos ? -1LL : std::stoll(out.substr(at + name.size() + 2));
    };
    const long long positions = field(one.out, "Positions");
    EXPECT_GT(positions, 100);
    EXPECT_EQ(field(one.out, "Evaluations"), positions);
    EXPECT_EQ(field(two.out, "Evaluations"), 2 * positions);
    // The checksum is the sum of the scores, however often each is taken.
    EXPECT_EQ(field(one.out, "Checksum"), field(two.out, "Checksum"));
    EXPECT_EQ(runEngine({"eval", "--bench", "0"}, "", TempDir().path).status, 2);
}

TEST(Epd, ReadsPositionIdAndMoveLists) {
    EpdRecord record;
    std::string error;
    ASSERT_TRUE(parseEpdLine(
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";", &record,
        &error));
    EXPECT_EQ(record.fen, "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -");
    EXPECT_EQ(record.id, "WAC.001");
    EXPECT_EQ(record.bestMoves, std::vector<std::string>{"Qg6"});

    ASSERT_TRUE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - am Kc2 Kd1; bm Kb1 Kb2; id \"a; b\";\r",
                             &record, &error));
    EXPECT_EQ(record.avoidMoves, (std::vector<std::string>{"Kc2", "Kd1"}));
    EXPECT_EQ(record.bestMoves, (std::vector<std::string>{"Kb1", "Kb2"}));
    EXPECT_EQ(record.id, "a; b");

    EXPECT_FALSE(parseEpdLine("8/8/8/8 w", &record, &error));
    EXPECT_EQ(error, "fewer than four position fields");
    EXPECT_FALSE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - id \"x\";", &record, &error));
    EXPECT_EQ(error, "no bm or am operation");
    EXPECT_FALSE(parseEpdLine("8/8/8/8/8/8/8/K1k5 b - - bm Kb1; id \"x;", &record, &error));
    EXPECT_EQ(error, "unterminated string");
}

TEST(Epd, SuitesInUtf16OrWithAByteOrderMarkReadAsAnyOtherAndNulLinesAreSkipped) {
    const TempDir tmp;
    const std::string suite = "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"mate\";\n";
    std::string wide = "\xFF\xFE";
    for (const char c : suite) wide += c, wide += '\0';
    std::ofstream(tmp.path + "/wide.epd", std::ios::binary) << wide;
    std::ofstream(tmp.path + "/marked.epd", std::ios::binary) << "\xEF\xBB\xBF" + suite;
    std::ofstream(tmp.path + "/nul.epd", std::ios::binary)
        << literalBytes("6k1/5ppp/8\0/8/8/8/8/R5K1 w - - bm Ra8#;\n") + suite;
    for (const char* name : {"wide.epd", "marked.epd"}) {
        const EngineRun run = runEngine({"epd", name, "--time", "100"}, "", tmp.path, 60);
        EXPECT_EQ(run.status, 0) << name << run.err;
        EXPECT_NE(run.out.find("mate SOLVED Ra8#"), std::string::npos) << name << run.out;
        EXPECT_NE(run.out.find("\nsolved 1 / 1\n"), std::string::npos) << name << run.out;
    }
    const EngineRun run = runEngine({"epd", "nul.epd", "--time", "100"}, "", tmp.path, 60);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("line 1 skipped"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nsolved 1 / 1\n"), std::string::npos) << run.out;
}

TEST(Epd, SolvesEasyPositionsAndReportsBadLines) {
    const TempDir tmp;
    {
        std::ofstream suite(tmp.path + "/easy.epd");
        suite << "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"mate\";\n"
              << "\n"
              << "8/8/8 w\n"
              << "4k3/8/8/8/8/8/8/4K3 w - - bm Qd1; id \"no queen\";\n"
              << "3qk3/8/8/8/8/8/8/3RK3 w - - bm Rxd8+; id \"queen\";\n"
              << "4k3/8/8/8/8/8/3q4/4K3 w - - am Kf1; id \"one move left\";\n"
              << "4k3/8/8/8/8/8/8/R3K3 w - - bm Kd2; id \"left out\";\n";
    }
    EngineRun run =
        runEngine({"epd", tmp.path + "/easy.epd", "--time", "100", "--first", "3"}, "", tmp.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("mate SOLVED Ra8# (bm Ra8#) depth "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("line 3 skipped: fewer than four position fields\n"), std::string::npos);
    EXPECT_NE(run.out.find("line 4 skipped: Qd1 is not a legal move\n"), std::string::npos);
    EXPECT_NE(run.out.find("queen SOLVED Rxd8+ (bm Rxd8+)"), std::string::npos);
    // Kxd2 and Kf1 are the king's only moves: an avoided move alone.
    EXPECT_NE(run.out.find("one move left SOLVED Kxd2 (am Kf1)"), std::string::npos);
    EXPECT_EQ(run.out.find("left out"), std::string::npos);   // --first 3
    EXPECT_NE(run.out.find("\nsolved 3 / 3\n"), std::string::npos);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"epd"},
                                                 {"epd", tmp.path + "/missing.epd"},
                                                 {"epd", tmp.path + "/easy.epd", "--time"},
                                                 {"epd", tmp.path + "/easy.epd", "--time", "0"},
                                                 {"epd", tmp.path + "/easy.epd", "--depth", "3"}}) {
        run = runEngine(args, "", tmp.path);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.err.empty());
    }
}
