#pragma once
// A picture of what a Linux desktop shows of an installation's freedesktop entries, drawn
// from the files themselves: the launchers in the desktop folder, and the cascade of menus
// that the menu merge files open down to their entries, with the names and icons the files
// give. For the README.

#include <QImage>
#include <filesystem>

struct EntryFolders {
    std::filesystem::path data;     // $XDG_DATA_HOME
    std::filesystem::path config;   // $XDG_CONFIG_HOME
    std::filesystem::path desktop;  // the desktop folder
};

QImage EntriesPicture(const EntryFolders& folders);
