#pragma once
// The icon of a Windows program: the images of the first icon group resource (RT_GROUP_ICON)
// of a PE file, each with its icon resource (RT_ICON), as Windows shows them for the file.

#include <QImage>
#include <filesystem>
#include <vector>

namespace win {

// One image per size, the one with the most colours where the group holds several; empty
// when the file cannot be read, is not a PE file or holds no icon group. The file is read
// in small pieces where they lie: memory does not grow with the program's size, and a
// damaged file gives fewer images or none, never a read outside what it holds.
std::vector<QImage> ProgramIcons(const std::filesystem::path& file);

}  // namespace win
