// Test entry: the process-wide tables are filled once, in start-up order,
// before any test runs, so every key comes from the same rand() sequence as
// in the engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "debug.h"
#include "interface.h"
#include "threads.h"
#include "uci.h"

namespace {
class EngineTables : public ::testing::Environment {
public:
    void SetUp() override {
        initEngineTables();
        // A Debug build checks the board after every make and unmake.
        installBoardCheck();
    }
};
}   // namespace

// "--uci-with-threads N": this program becomes the engine in its UCI mode,
// with only N new threads to be had (0: neither the input reader nor a
// search thread; 1: the reader alone), so that a test can talk to an
// engine that cannot start its search thread.
static int engineWithFewThreads(int allowed) {
    threadsAllowed = allowed;
    auto board = std::make_unique<Board>();
    if (!startEngine(board.get())) return 1;
    char line[INPUT_LINE_SIZE];
    if (fgets(line, sizeof line, stdin) == nullptr || !isUciGreeting(line)) return 2;
    return uciMain(board.get());
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--uci-with-threads") == 0)
        return engineWithFewThreads(atoi(argv[2]));
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineTables);
    return RUN_ALL_TESTS();
}
