#pragma once
// Whole files read, and written so that a reader sees the old contents or the new, never a
// part: the bytes go to a temporary file in the same folder, then renamed over the target.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace win {

// The whole contents, or nullopt with error set to the errno of the failure.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, int& error);

// 0 on success, else the errno of the step that failed (the target is then unchanged and no
// temporary file is left). A symbolic link stays one: the file it names is replaced. The new
// file gets mode, or the old file's mode when keepMode is true and there is an old file.
int ReplaceFile(const std::filesystem::path& path, std::string_view bytes, mode_t mode,
                bool keepMode = false);

}  // namespace win
