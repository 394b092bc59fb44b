#pragma once
// The window's message pump and clock for the install sequence's pauses: Qt's event queue
// and the Windows tick count.

#include "utils/mUtils.h"

class FormMessagePump : public MessagePump {
public:
    std::uint32_t TickCount() override;
    void PumpMessages() override;
    void WaitForMessages(std::uint32_t ms) override;
};
