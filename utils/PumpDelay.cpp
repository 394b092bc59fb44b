#include "utils/mUtils.h"

void PumpDelay(std::uint32_t ms, MessagePump& pump) {
    // Unsigned 32-bit arithmetic throughout: a deadline that wraps past 2^32 is smaller than
    // the reading and the pause ends at once; one that does not wrap is reached before the
    // counter wraps, so a wrap during the pause cannot prolong it.
    const std::uint32_t deadline = pump.TickCount() + ms;
    std::uint32_t now = pump.TickCount();
    while (deadline > now) {
        pump.PumpMessages();
        now = pump.TickCount();
        // Between polls the thread sleeps until the next message or the deadline, so a pause
        // costs no processor time.
        if (deadline > now) pump.WaitForMessages(deadline - now);
        now = pump.TickCount();
    }
}
