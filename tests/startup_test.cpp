// Start-up output with and without a configuration file, and the
// command-line tools' handling of their arguments.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine_process.h"

namespace {

const std::string banner =
    "     Q u i l l a n t o r    0 . 3\n"
    "A chess playing program by the Quillantor developers\n\n"
    "Parsing quillantor.rc...\n ";

EngineRun startWithConfig(const char* config) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    if (config != nullptr) {
        std::ofstream rc(dir + "/quillantor.rc");
        rc << config;
    }
    return runEngine({}, "quit\n", dir);
}

}   // namespace

TEST(Startup, DefaultsWithoutConfigurationFile) {
    EngineRun run = startWithConfig(nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner +
                           "Using default values:\n\tHash entries\t= 524288 (* 4)\n"
                           "\tBook file\t= ./quillantor.bk\n");
}

TEST(Startup, EchoesHashAndBookLines) {
    EngineRun run = startWithConfig("hash 1000\nbook my.bk\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner + "\tHash entries\t= 1000\n\tBook file\t= my.bk\n");
}

TEST(Startup, LastHashLineWinsAndOddLinesAreIgnored) {
    EngineRun run = startWithConfig("hash 1000\n hash 10\nHASH 10\nhash\t2000\nbook\n# hash 5\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner + "\tHash entries\t= 1000\n\tHash entries\t= 2000\n");
}

TEST(Startup, MissingOrUnusableHashFallsBackToDefault) {
    EngineRun run = startWithConfig("book x.bk\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner +
                           "\tBook file\t= x.bk\n"
                           "\tHash entries\t= 0 is not usable: using 524288 (* 4)\n");
    run = startWithConfig("hash -5\n");
    EXPECT_EQ(run.out, banner +
                           "\tHash entries\t= -5\n"
                           "\tHash entries\t= -5 is not usable: using 524288 (* 4)\n");
    // A size the machine cannot hold is refused the same way, not allocated.
    run = startWithConfig("hash 2147483647\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("= 2147483647 is not usable: using 524288 (* 4)\n"), std::string::npos);
}

TEST(Startup, HashNumbersBeyond32BitsAreEchoedAsReadAndRefused) {
    // Read as "%d" would read it, the number would wrap to 1215752191.
    EngineRun run = startWithConfig("hash 99999999999\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner +
                           "\tHash entries\t= 99999999999\n"
                           "\tHash entries\t= 99999999999 is not usable: using 524288 (* 4)\n");
    run = startWithConfig("hash\t-99999999999999999999999 trailing\n");
    EXPECT_EQ(run.out, banner +
                           "\tHash entries\t= -99999999999999999999999\n"
                           "\tHash entries\t= -99999999999999999999999 is not usable: using "
                           "524288 (* 4)\n");
    // The last line wins, also over an oversized one; +0042 reads as 42.
    run = startWithConfig("hash 99999999999\nhash+0042\n");
    EXPECT_EQ(run.out, banner + "\tHash entries\t= 99999999999\n\tHash entries\t= 42\n");
}

TEST(Startup, OnlyARegularFileIsOpenedAsTheBook) {
    // A FIFO would block the opening for ever, a device would feed the
    // lookup for ever, a directory reads as nothing: each is no book at all,
    // so the engine searches its first move at once.
    const TempDir tmp;
    const std::string& dir = tmp.path;
    ASSERT_EQ(mkfifo((dir + "/fifo.bk").c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "/folder.bk");
    for (const char* book : {"fifo.bk", "/dev/zero", "/dev/urandom", "folder.bk"}) {
        {
            std::ofstream rc(dir + "/quillantor.rc");
            rc << "hash 1024\nbook " << book << "\n";
        }
        const EngineRun run = runEngine({}, "st 0\ngo\nquit\n", dir, 20);
        EXPECT_EQ(run.status, 0) << book << " hung or crashed";
        EXPECT_EQ(run.out.find("(Book)"), std::string::npos) << book;
        EXPECT_NE(run.out.find("\nmove "), std::string::npos) << book << ": " << run.out;
    }
}

TEST(Startup, EndsAtEndOfInputWithStatusZero) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run = runEngine({}, "hello\nquit \n", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

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

TEST(Tools, ShowPrintsTheColouredDiagram) {
    const TempDir tmp;
    const std::string& dir = tmp.path;
    EngineRun run = runEngine({"show"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("[Ply 0: White to move.]"), std::string::npos);
    EXPECT_NE(run.out.find("[Material balance = 0, nWhite = 16, nBlack = 16]."), std::string::npos);
    EXPECT_NE(run.out.find("[Castling status: 15, wKing on e1, bKing on e8]"), std::string::npos);
    // a1: white rook, red on black; h1: red on white.
    EXPECT_NE(run.out.find("1  \x1b[1;37;40m|\x1b[1;31;40m  R  "), std::string::npos);
    EXPECT_NE(run.out.find("\x1b[1;31;47m  R  \x1b[1;37;40m|\n"), std::string::npos);
}
