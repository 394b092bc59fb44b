#pragma once
// The Windows scalar types of the calls this folder provides, with their Windows sizes.

#include <cstdint>

namespace win {

using BOOL = int;
using BYTE = unsigned char;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using HRESULT = std::int32_t;
using REGSAM = DWORD;

// A registry key handle: opaque to the callers.
struct HKEY__;
using HKEY = HKEY__*;

}  // namespace win
