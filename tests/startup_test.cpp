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

TEST(Startup, AConfigurationWithAByteOrderMarkNulBytesOrInUtf16StartsQuietly) {
    // An editor's byte-order mark does not hide the first line.
    EngineRun run = startWithConfig("\xEF\xBB\xBFhash 1000\nbook my.bk\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, banner + "\tHash entries\t= 1000\n\tBook file\t= my.bk\n");
    // A NUL byte ends what a line says; UTF-16 says nothing the reader
    // knows: the defaults, a line about the size, and a working engine.
    const TempDir tmp;
    std::ofstream(tmp.path + "/quillantor.rc", std::ios::binary)
        << std::string("hash 2000\0 junk\nbook a\0b.bk\n", 28);
    run = runEngine({}, "xboard\nquit\n", tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(banner + "\tHash entries\t= 2000\n\tBook file\t= a\n", 0), 0u)
        << run.out;
    std::string wide = "\xFF\xFE";
    for (const char c : std::string("hash 1000\nthreads 2\n")) wide += c, wide += '\0';
    std::ofstream(tmp.path + "/quillantor.rc", std::ios::binary) << wide;
    run = runEngine({}, "xboard\nnew\ntime 100\ngo\nquit\n", tmp.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("is not usable: using 524288"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nmove "), std::string::npos) << run.out;
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
