// Test entry: the process-wide tables are filled once, in start-up order,
// before any test runs, so every key comes from the same rand() sequence as
// in the engine.
#include <gtest/gtest.h>

#include "attack.h"
#include "hash.h"

namespace {
class EngineTables : public ::testing::Environment {
public:
    void SetUp() override {
        initAttackDeltaTable();
        initZobrist();
    }
};
}   // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineTables);
    return RUN_ALL_TESTS();
}
