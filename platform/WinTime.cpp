#include "platform/WinTime.h"

#include <ctime>

namespace win {

std::uint32_t GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // wraps at 2^32 like the Windows count
}

SYSTEMTIME GetLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return SYSTEMTIME{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                      local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string TimeSeparator() {
    // Windows keeps the separator as a user setting whose default is ":". Linux locales
    // have no such setting (their time formats are whole patterns such as "%H时%M分"),
    // so the default is the answer here.
    return ":";
}

}  // namespace win
