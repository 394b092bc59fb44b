#pragma once
// The person's folders as the freedesktop rules name them: the base folders for data and
// configuration (XDG Base Directory rules) and the desktop folder (xdg-user-dirs). Every
// call reads the environment anew.

#include <filesystem>

namespace xdg {

// $HOME, else the home folder of the user database. Raises SetupError when neither is known.
std::filesystem::path HomeDir();

// $XDG_DATA_HOME when it is an absolute path; else ~/.local/share (unset, empty or relative
// values are ignored, as the rules say).
std::filesystem::path DataHome();

// $XDG_CONFIG_HOME when it is an absolute path; else ~/.config.
std::filesystem::path ConfigHome();

// XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs when the file names one; else ~/Desktop.
std::filesystem::path DesktopDir();

}  // namespace xdg
