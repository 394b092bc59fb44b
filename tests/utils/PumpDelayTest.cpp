#include <gtest/gtest.h>

#include <cstdint>

#include "support/FakeClockPump.h"
#include "utils/mUtils.h"

namespace {

TEST(PumpDelayPause, EndsAtItsDeadlineWithoutSpinning) {
    FakeClockPump pump;
    pump.now = 5000;
    PumpDelay(1000, pump);
    EXPECT_EQ(pump.now, 6000u);
    // With no timer running the pause sleeps once instead of polling the clock.
    EXPECT_LE(pump.pumps, 2);
    EXPECT_LE(pump.waits, 1);
}

TEST(PumpDelayPause, ReturnsAtOnceForZeroAndForAWrappedDeadline) {
    struct Case {
        std::uint32_t start;
        std::uint32_t ms;
        std::uint32_t end;
    };
    const Case cases[] = {
        {5000, 0, 5000},                   // the test comes before the first pump
        {0xFFFFFF00u, 1000, 0xFFFFFF00u},  // deadline wrapped past 2^32
        {0xFFFFFC00u, 1000, 0xFFFFFFE8u},  // deadline just below the wrap: a full pause
    };
    for (const auto& c : cases) {
        FakeClockPump pump;
        pump.now = c.start;
        PumpDelay(c.ms, pump);
        EXPECT_EQ(pump.now, c.end) << c.start << " + " << c.ms;
        if (c.end == c.start) {
            EXPECT_EQ(pump.pumps, 0);
        }
    }
}

}  // namespace
