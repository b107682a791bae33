// The move's clock: the monotonic millisecond clock, the UCI budget with the
// move overhead, a "go" without the mover's clock, pondering and the watch
// that ends a search on time.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "test_util.h"
#include "timecontrol.h"
#include "utils.h"

namespace {

i32 fakeNow = 0;
i32 fakeClock() { return fakeNow; }

// The search's clock set to fakeClock for one test, put back afterwards.
class TimeControlFakeClock : public ::testing::Test {
protected:
    void SetUp() override {
        fakeNow = 0;
        searchClock = fakeClock;
    }
    void TearDown() override {
        stopSearchClock();
        moveClock.stopSignal = false;
        searchClock = timer;
    }
};

i64 steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}   // namespace

TEST(TimeControl, TheMillisecondClockIsTheMonotonicOne) {
    // The time of day may be stepped by the system; the steady clock never
    // is. timer() reads the steady clock, modulo 2^32, and never goes back.
    for (int round = 0; round < 5; round++) {
        const i64 before = steadyMilliseconds();
        const u32 now = static_cast<u32>(timer());
        const i64 after = steadyMilliseconds();
        // Compared as differences, which stay right across the wrap.
        EXPECT_GE(static_cast<i32>(now - static_cast<u32>(static_cast<u64>(before))), 0);
        EXPECT_GE(static_cast<i32>(static_cast<u32>(static_cast<u64>(after)) - now), 0);
    }
    i32 last = timer();
    for (int i = 0; i < 200000; i++) {
        const i32 now = timer();
        ASSERT_GE(static_cast<i32>(static_cast<u32>(now) - static_cast<u32>(last)), 0);
        last = now;
    }
}

TEST(TimeControl, MoveOverheadComesOffTheClockFirst) {
    GoLimits g;
    g.time[WHITE] = 10000;
    g.inc[WHITE] = 100;
    GoLimits less = g;
    less.time[WHITE] = 9000;
    const TimeBudget with = uciTimeBudget(g, WHITE, 0, 1000);
    const TimeBudget without = uciTimeBudget(less, WHITE, 0, 0);
    EXPECT_EQ(with.budget, without.budget);
    EXPECT_EQ(with.hardCap, without.hardCap);
    EXPECT_LT(with.hardCap, uciTimeBudget(g, WHITE, 0, 0).hardCap);
    // movetime: the overhead shortens the move as it shortens a clock.
    GoLimits m;
    m.moveTime = 1000;
    EXPECT_EQ(uciTimeBudget(m, WHITE, 0, 100).budget, 900);
    EXPECT_EQ(uciTimeBudget(m, WHITE, 0, 100).hardCap, clockHardCap(900));
    // An overhead as large as the clock leaves nothing, never a negative time.
    g.time[WHITE] = 50;
    EXPECT_EQ(uciTimeBudget(g, WHITE, 0, 5000).hardCap, 0);
    EXPECT_EQ(uciTimeBudget(g, WHITE, 0, 5000).budget, 0);
    EXPECT_EQ(uciTimeBudget(m, WHITE, 0, 5000).budget, 0);
}

TEST(TimeControl, AGoThatNamesOnlyTheOpponentsClockIsCaught) {
    GoLimits g;
    EXPECT_FALSE(goLacksMoversClock(g, WHITE)) << "no clock at all: analysis";
    g.time[WHITE] = 1000;
    g.clockWords = true;
    EXPECT_FALSE(goLacksMoversClock(g, WHITE));
    EXPECT_TRUE(goLacksMoversClock(g, BLACK));
    g.moveTime = 500;
    EXPECT_FALSE(goLacksMoversClock(g, BLACK)) << "movetime bounds the move";
    GoLimits inc;
    inc.inc[BLACK] = 100;
    inc.clockWords = true;
    EXPECT_TRUE(goLacksMoversClock(inc, BLACK));
    EXPECT_EQ(hardLimitFor(NO_CLOCK_MOVE_TIME, clockHardCap(NO_CLOCK_MOVE_TIME)),
              clockHardCap(NO_CLOCK_MOVE_TIME));
}

TEST(TimeControl, HardLimitIsFiveBudgetsUnderTheCap) {
    EXPECT_EQ(hardLimitFor(100, NO_TIME_CAP), 500);
    EXPECT_EQ(hardLimitFor(100, 300), 300);
    EXPECT_EQ(hardLimitFor(-5, 300), 0);
    EXPECT_EQ(hardLimitFor(100, -1), 0);
    EXPECT_EQ(hardLimitFor(INT32_MAX, NO_TIME_CAP), NO_TIME_CAP);
}

TEST_F(TimeControlFakeClock, PonderingTimeCountsTowardsTheMove) {
    // Pondered for 500 ms with a budget of 300: the hit ends the search at
    // once, under the move's own hard limit.
    fakeNow = 1000;
    startSearchClock(500, NO_TIME_CAP, true, 300, 10000);
    EXPECT_TRUE(searchPondering());
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), NO_TIME_CAP) << "no limit while pondering";
    EXPECT_FALSE(moveClock.stopSignal.load());
    ponderHit();
    EXPECT_FALSE(searchPondering());
    EXPECT_TRUE(moveClock.stopSignal.load()) << "the budget was spent while pondering";
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 1500);
    EXPECT_EQ(ponderLimits().budget, 300);
    EXPECT_EQ(ponderLimits().hardCap, 10000);
    // Pondered for 100 ms of a budget of 300: the search goes on, with the
    // limits counted from the start of pondering.
    startSearchClock(900, NO_TIME_CAP, true, 300, 1200);
    EXPECT_FALSE(moveClock.stopSignal.load()) << "a new search lowers the signal";
    ponderHit();
    EXPECT_FALSE(moveClock.stopSignal.load());
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 1200);
    EXPECT_EQ(moveClock.timerSearchStart.load(), 900);
    // A hit with no search pondering changes nothing.
    ponderHit();
    EXPECT_EQ(moveClock.maxTimeAllowed.load(), 1200);
    EXPECT_FALSE(moveClock.stopSignal.load());
}

TEST(TimeControlTimed, TheWatchStopsTheSearchWhenTheHardLimitPasses) {
    // No node has to read the clock: the watch raises the stop signal on
    // its own, never before the limit.
    const auto started = std::chrono::steady_clock::now();
    startSearchClock(timer(), 60);
    while (!moveClock.stopSignal.load() &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
    ASSERT_TRUE(moveClock.stopSignal.load());
    EXPECT_GE(waited, 59);
    std::printf("the watch raised the stop signal %lld ms after the start (limit 60 ms)\n",
                static_cast<long long>(waited));
    // An extension moves the deadline; the end of the search disarms it.
    startSearchClock(timer(), 100);
    setHardLimit(NO_TIME_CAP);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_FALSE(moveClock.stopSignal.load()) << "no limit left to watch";
    startSearchClock(timer(), 100);
    stopSearchClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_FALSE(moveClock.stopSignal.load()) << "a search that has ended is not stopped";
    // A pondering search is not watched until the hit.
    startSearchClock(timer(), NO_TIME_CAP, true, 30, 80);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(moveClock.stopSignal.load());
    ponderHit();
    EXPECT_TRUE(moveClock.stopSignal.load()) << "pondered past the budget";
    stopSearchClock();
    moveClock.stopSignal = false;
}
