#pragma once
// HKEY_CURRENT_USER as the prefix's user.reg, in Wine's text format, behind the four registry
// calls the installer makes. Texts are code page 936; key and value names compare
// case-insensitively. Every call reads the file anew, so what Wine wrote is what is seen.
//
// A created key is appended to the file, which is written back atomically (a temporary file
// beside it, then a rename); every other line stays byte for byte as it was. A file that
// cannot be parsed is never written: the calls answer ERROR_BADDB and leave it alone.
//
// While a wineserver runs on the prefix it holds the registry in memory and rewrites
// user.reg when it exits: a key created here meanwhile can be lost then.

#include <cstddef>
#include <cstdint>

#include "platform/RegCodes.h"
#include "platform/WinTypes.h"

namespace win {

inline const HKEY HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001));

constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens subKey below key, creating it (empty) when missing. disposition may be null.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                     REGSAM access, const void* securityAttributes, HKEY* result,
                     DWORD* disposition);
// Opens an existing subKey below key; never creates one.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Type and data of a value (null or "" names the default value). With data null only the
// size is given; a dataSize too small gives ERROR_MORE_DATA and the size needed. Text data
// comes in code page 936 with its terminating NUL.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegCloseKey(HKEY key);

// How many keys are open: a caller that closes every key it opens leaves this unchanged.
std::size_t OpenKeyCount();

}  // namespace win
