#include "app/FormMessagePump.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

#include "platform/WinTime.h"

std::uint32_t FormMessagePump::TickCount() { return win::GetTickCount(); }

void FormMessagePump::PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void FormMessagePump::WaitForMessages(std::uint32_t ms) {
    // The single-shot timer is the message that ends the wait when no other comes first.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
