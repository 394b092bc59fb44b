#include "install/ProgressPacing.h"

#include "install/InstallWindow.h"
#include "utils/mUtils.h"

void ProgressPacing::SetProgressTarget(std::int32_t target) {
    if (window_.GaugeProgress() < FProgressTarget) {
        window_.SetGaugeProgress(FProgressTarget);
        // A tick handled here finds the gauge at the old target and stops the timer; the
        // timer is started again below, so the outcome is the same as without it.
        window_.Pump().PumpMessages();
    }
    FProgressTarget = target;
    window_.SetTimerEnabled(true);
}

void ProgressPacing::Timer1Timer() {
    if (window_.GaugeProgress() >= FProgressTarget) {
        window_.SetTimerEnabled(false);
        return;
    }
    window_.SetGaugeProgress(window_.GaugeProgress() + 1);
    window_.Pump().PumpMessages();
}
