#pragma once
// Windows paths inside the Wine-style prefix.
//
// The prefix is $WINEPREFIX, else ~/.wine. An existing prefix is used as it stands; a
// missing one is created as a minimal skeleton (drive links, system32, the user's shell
// folders and a user.reg naming them). The folders every Windows system has and an
// installation writes into are made by the installation, when it needs them. "X:\a\b" resolves through dosdevices/x:; a path
// that starts with "\" is on the current drive, C:. A component that is missing with its
// exact case is matched case-insensitively, as on Windows.

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

// The prefix folder ($WINEPREFIX or ~/.wine), read anew at each call.
std::filesystem::path PrefixRoot();

// Creates the minimal skeleton when the prefix is missing; an existing prefix is only
// checked for its drive C:. Raises SetupError naming the path on failure.
void EnsurePrefix();

// Makes what an existing prefix may lack but Windows always has, where an installation
// writes: "C:\Program Files", the system directory, and the desktop and Start-menu Programs
// folders that "Shell Folders" names. A folder that cannot be made is left as it is; the
// step that writes into it reports it.
void EnsureStandardFolders();

// The text value valueName of the "Shell Folders" key (code page 936), unexpanded, up to its
// first NUL; the empty text when the key or a text value of that name is missing.
std::string RegisteredShellFolder(const char* valueName);

// The host path of a Windows path (code page 936). Raises SetupError naming the drive when
// the drive does not exist, or the text when it cannot be converted.
std::filesystem::path HostPath(std::string_view windowsPath);

// The Windows path (code page 936) of a host path, through the drive that holds it (Z: at
// worst). Raises SetupError when a name cannot be one of a Windows path: a character code
// page 936 cannot write, or a "\" inside a name, which would read as a separator.
std::string WindowsPath(const std::filesystem::path& hostPath);

// The same path for showing to the person, never raising: each character that keeps a name
// from being a Windows name is shown as "?".
std::string ShownWindowsPath(const std::filesystem::path& hostPath);

}  // namespace win
