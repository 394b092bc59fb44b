#pragma once
// The gauge climbs one percent per timer tick toward the target the install sequence sets;
// the sequence never moves the gauge itself. A target set while the gauge still lags first
// completes the old climb in one jump.

#include <cstdint>

class InstallWindow;

class ProgressPacing {
public:
    explicit ProgressPacing(InstallWindow& window) : window_(window) {}

    void SetProgressTarget(std::int32_t target);
    // Timer1's tick.
    void Timer1Timer();

    std::int32_t ProgressTarget() const { return FProgressTarget; }

private:
    InstallWindow& window_;
    // 1 while the gauge stands at 0, so the first target makes the gauge jump to 1 at once.
    std::int32_t FProgressTarget = 1;
};
