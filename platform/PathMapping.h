#pragma once
// Windows paths and host paths inside the prefix. "X:\a\b" resolves through dosdevices/x:; a
// path that starts with "\" is on the current drive, C:. A component that is missing with its
// exact case is matched case-insensitively, as on Windows. A host path turns back into a
// Windows path through the drive that holds it.

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

// The system directory every Windows has, drive_c/windows/system32 in the prefix.
constexpr char kSystemDirectory[] = "C:\\windows\\system32";

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
