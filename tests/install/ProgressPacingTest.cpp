#include <gtest/gtest.h>

#include "install/ProgressPacing.h"
#include "tests/install/FakeInstallWindow.h"

namespace {

class Pacing : public ::testing::Test {
protected:
    Pacing() {
        window.pump.onTick = [this] { pacing.Timer1Timer(); };
    }

    // A pacing point of the install sequence: target, pause, one pump.
    void PacingPoint(int target, std::uint32_t ms) {
        pacing.SetProgressTarget(target);
        PumpDelay(ms, window.pump);
        window.pump.PumpMessages();
    }

    FakeInstallWindow window;
    ProgressPacing pacing{window};
};

TEST_F(Pacing, FirstTargetJumpsToOneThenClimbsOneStepPerTick) {
    EXPECT_FALSE(window.pump.timerEnabled);
    pacing.SetProgressTarget(10);
    EXPECT_EQ(window.gauge, 1);
    EXPECT_TRUE(window.pump.timerEnabled);
    PumpDelay(1000, window.pump);
    EXPECT_EQ(window.gaugeHistory, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(window.pump.now, 1000u);
    // The first tick that finds the gauge at the target stops the timer.
    window.pump.now += 100;
    window.pump.PumpMessages();
    EXPECT_FALSE(window.pump.timerEnabled);
}

TEST_F(Pacing, FollowsTheInstallScheduleWithItsJumps) {
    struct Point {
        int target;
        std::uint32_t pause;
        bool pumpAfter;           // 93 is followed by its pause alone
        std::uint32_t barePause;  // a pause without a new target after the point
        int gaugeBefore;          // when the target is set
        int gaugeAfter;           // after its pause and pump
    };
    // The climb to 80 cannot finish in its second: setting 85 completes it with a jump.
    const Point schedule[] = {
        {10, 1000, true, 0, 0, 10},     {20, 1000, true, 0, 10, 20}, {50, 3000, true, 0, 20, 50},
        {58, 2000, true, 1000, 50, 58}, {68, 3000, true, 0, 58, 68}, {80, 1000, true, 0, 68, 78},
        {85, 1000, true, 1000, 78, 85}, {85, 3000, true, 0, 85, 85}, {93, 1000, false, 0, 85, 93},
        {98, 1000, true, 0, 93, 98},
    };
    for (const auto& p : schedule) {
        EXPECT_EQ(window.gauge, p.gaugeBefore) << "before target " << p.target;
        pacing.SetProgressTarget(p.target);
        PumpDelay(p.pause, window.pump);
        if (p.pumpAfter) window.pump.PumpMessages();
        PumpDelay(p.barePause, window.pump);
        EXPECT_EQ(window.gauge, p.gaugeAfter) << "after target " << p.target;
    }
    const std::vector<int> jumpTo80{78, 80, 81};
    EXPECT_NE(std::search(window.gaugeHistory.begin(), window.gaugeHistory.end(), jumpTo80.begin(),
                          jumpTo80.end()),
              window.gaugeHistory.end());
}

TEST_F(Pacing, SameTargetTwiceHoldsStillAndStopsTheTimer) {
    PacingPoint(85, 10000);
    const auto moves = window.gaugeHistory.size();
    pacing.SetProgressTarget(85);
    EXPECT_TRUE(window.pump.timerEnabled);
    PumpDelay(3000, window.pump);
    EXPECT_EQ(window.gauge, 85);
    EXPECT_EQ(window.gaugeHistory.size(), moves);
    EXPECT_FALSE(window.pump.timerEnabled);
}

TEST_F(Pacing, TargetBelowTheGaugeMovesNothingBack) {
    PacingPoint(50, 10000);
    pacing.SetProgressTarget(30);
    PumpDelay(500, window.pump);
    EXPECT_EQ(window.gauge, 50);
    EXPECT_FALSE(window.pump.timerEnabled);
}

TEST_F(Pacing, LastTargetIsReachedByTicksAfterTheSequenceReturns) {
    PacingPoint(98, 10000);
    pacing.SetProgressTarget(100);
    EXPECT_EQ(window.gauge, 98);
    // The main loop handles the remaining ticks.
    for (int i = 0; i < 5; ++i) {
        window.pump.now += 100;
        window.pump.PumpMessages();
    }
    EXPECT_EQ(window.gauge, 100);
    EXPECT_FALSE(window.pump.timerEnabled);
}

TEST_F(Pacing, ATickNestedInTheJumpLeavesTheTimerRunning) {
    pacing.SetProgressTarget(10);
    window.pump.now += 100;  // the gauge lags at 1; a tick falls due inside the jump's pump
    pacing.SetProgressTarget(20);
    EXPECT_EQ(window.gauge, 10);
    EXPECT_TRUE(window.pump.timerEnabled);
}

}  // namespace
