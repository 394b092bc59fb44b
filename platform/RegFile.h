#pragma once
// The prefix's user.reg as a file in Wine's text format: read and parsed whole, and written
// back atomically (a temporary file beside it, then a rename) with a new key appended and
// every other line byte for byte as it was. The quoting of names and data is RegText's.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegCodes.h"
#include "platform/WinTypes.h"

namespace win::regfile {

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;  // text types as UTF-16LE with their NUL, as Windows keeps them
};

struct Key {
    std::u16string path;
    std::vector<Value> values;
};

struct UserReg {
    std::string text;  // the file as read, byte for byte
    std::vector<Key> keys;
};

// The prefix's user.reg: nullopt with ERROR_FILE_NOT_FOUND when there is none, ERROR_ACCESS_DENIED
// when it cannot be read (so that it is never taken for missing and replaced), ERROR_BADDB when it
// cannot be parsed.
std::optional<UserReg> Load(LONG& error);

// A user.reg as a new one starts: the header and no key.
UserReg NewFile();

// Writes reg's text back with the two lines that open the key path (components separated
// by single backslashes) appended; the file keeps its permissions. ERROR_SUCCESS, or
// ERROR_ACCESS_DENIED or ERROR_CANTWRITE with the file unchanged.
LONG AppendKey(const UserReg& reg, std::u16string_view path);

}  // namespace win::regfile
