#pragma once
// Where the person's desktop and Start-menu folders are: the "Shell Folders" key of
// HKEY_CURRENT_USER names them as Windows paths.

#include <string>

namespace win {

// The text value valueName of the "Shell Folders" key (code page 936), unexpanded, up to its
// first NUL; the empty text when the key or a text value of that name is missing.
std::string RegisteredShellFolder(const char* valueName);

}  // namespace win
