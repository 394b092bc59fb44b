#pragma once
// Windows paths inside the Wine-style prefix.
//
// The prefix is $WINEPREFIX, else ~/.wine. An existing prefix is used as it stands; a
// missing one is created as a minimal skeleton (drive links, system32, the user's shell
// folders and a user.reg naming them). "X:\a\b" resolves through dosdevices/x:; a path
// that starts with "\" is on the current drive, C:. A component that is missing with its
// exact case is matched case-insensitively, as on Windows.

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

// The prefix folder ($WINEPREFIX or ~/.wine), read anew at each call.
std::filesystem::path PrefixRoot();

// Creates the minimal skeleton when the prefix is missing; fills in a folder the install
// needs when an existing prefix lacks it. Raises SetupError naming the path on failure.
void EnsurePrefix();

// The text value valueName of the "Shell Folders" key (code page 936), unexpanded, up to its
// first NUL; the empty text when the key or a text value of that name is missing.
std::string RegisteredShellFolder(const char* valueName);

// The host path of a Windows path (code page 936). Raises SetupError naming the drive when
// the drive does not exist, or the text when it cannot be converted.
std::filesystem::path HostPath(std::string_view windowsPath);

// The Windows path (code page 936) of a host path, through the drive that holds it (Z: at
// worst). Raises SetupError when the name cannot be written in code page 936.
std::string WindowsPath(const std::filesystem::path& hostPath);

}  // namespace win
