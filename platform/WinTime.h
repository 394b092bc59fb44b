#pragma once
// The clock calls of the Windows world: the millisecond tick count and the local time.

#include <cstdint>
#include <string>

namespace win {

// Milliseconds of a monotonic clock, wrapping at 2^32 as Windows' GetTickCount does.
std::uint32_t GetTickCount();

struct SYSTEMTIME {
    int wYear = 0;
    int wMonth = 0;
    int wDay = 0;
    int wHour = 0;
    int wMinute = 0;
    int wSecond = 0;
};

// The local date and time, read once.
SYSTEMTIME GetLocalTime();

// The user's time separator (Windows' locale setting), ":" by default.
std::string TimeSeparator();

}  // namespace win
