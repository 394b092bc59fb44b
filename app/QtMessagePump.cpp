#include "app/QtMessagePump.h"

#include <QCoreApplication>
#include <QTimer>

#include "platform/WinTime.h"

QtMessagePump::QtMessagePump(unsigned speed)
    : speed_(speed == 0 ? 1 : speed), start_(win::GetTickCount()) {}

std::uint32_t QtMessagePump::TickCount() {
    if (speed_ == 1) return win::GetTickCount();
    const std::uint32_t elapsed = win::GetTickCount() - start_;
    return static_cast<std::uint32_t>(std::uint64_t{elapsed} * speed_);
}

void QtMessagePump::PumpMessages() {
    // Handles what is pending and returns; never waits. A quit request only marks the main
    // loop to end once control is back there.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessagePump::WaitForMessages(std::uint32_t ms) {
    const std::uint32_t realMs = (ms + speed_ - 1) / speed_;
    // The single-shot timer guarantees that the blocking wait ends by the deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(realMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
