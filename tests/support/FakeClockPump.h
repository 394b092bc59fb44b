#pragma once
// A message pump on a clock that only moves when the code under test waits.
//
// The timer behaves like a Windows timer: at most one tick is pending at a time, a tick is
// handled only while messages are pumped, and enabling a running timer keeps its period.

#include <cstdint>
#include <functional>

#include "utils/mUtils.h"

class FakeClockPump : public MessagePump {
public:
    std::uint32_t now = 0;
    bool timerEnabled = false;
    std::uint32_t nextTick = 0;
    std::function<void()> onTick;
    std::function<void()> onPump;
    int pumps = 0;
    int waits = 0;

    std::uint32_t TickCount() override { return now; }

    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
        if (timerEnabled && static_cast<std::int32_t>(now - nextTick) >= 0) {
            nextTick = now + 100;
            if (onTick) onTick();
        }
    }

    void WaitForMessages(std::uint32_t ms) override {
        ++waits;
        std::uint32_t step = ms;
        if (timerEnabled && nextTick - now < step) step = nextTick - now;
        now += step;
    }

    void SetTimerEnabled(bool enabled) {
        if (enabled && !timerEnabled) nextTick = now + 100;
        timerEnabled = enabled;
    }
};
