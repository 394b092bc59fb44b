#pragma once
// The window system's message pump: Qt's event queue and the Windows tick count.

#include "utils/mUtils.h"

class QtMessagePump : public MessagePump {
public:
    // speed > 1 runs the clock that many times faster than real time; tests use it to walk a
    // whole installation, with its 19 seconds of pauses, in a second or two.
    explicit QtMessagePump(unsigned speed = 1);

    std::uint32_t TickCount() override;
    void PumpMessages() override;
    void WaitForMessages(std::uint32_t ms) override;

private:
    unsigned speed_;
    // A fast clock counts from 0 at this reading, so no test meets its wrap.
    std::uint32_t start_;
};
