#pragma once
// The registry's value types and the error codes its calls answer, shared by the calls
// (WinRegistry.h) and the user.reg file they read and write (RegFile.h).

#include "platform/WinTypes.h"

namespace win {

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_NO_UNICODE_TRANSLATION = 1113;

}  // namespace win
