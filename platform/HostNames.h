#pragma once
// Host file names in messages. A host name is UTF-8 and may hold bytes that code page 936
// cannot show; a message must still name the file, so those bytes are written as \xNN.

#include <filesystem>
#include <string>

namespace win {

// The host path as code page 936 text for a message.
std::string HostNameText(const std::filesystem::path& hostPath);

// The text of errno for a message, in ASCII whatever the locale ("Permission denied").
std::string ErrnoText(int error);

}  // namespace win
