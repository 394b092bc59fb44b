#pragma once
// The freedesktop entries of a saved shell link, laid out as Wine's menu builder lays them
// out, so a link in the Start menu's Programs tree appears in the person's Linux menu and a
// link on the desktop on their desktop. Whether a link lies in one of the two trees is
// decided by the prefix's "Shell Folders" values "Programs" and "Desktop".
//
// A link \Programs\<group>\<name>.lnk gets
//   $XDG_DATA_HOME/applications/wine/Programs/<group>/<name>.desktop,
//   the directory files wine-wine, wine-Programs and wine-Programs-<group> in
//   $XDG_DATA_HOME/desktop-directories, and the menu merge file
//   $XDG_CONFIG_HOME/menus/applications-merged/wine-Programs-<group>-<name>.menu
// (a group of nested folders nests its menus the same way); a link on the desktop gets
// <name>.desktop in the person's desktop folder; when the link itself lies there too (the
// prefix's Desktop folder links to it), its name goes into that folder's ".hidden", so a file
// manager shows the launcher alone. An entry starts the target through Wine in this prefix,
// naming it in UTF-8, so it reads right under any locale (Wine reads a link's target in its
// own locale's code page): a program by its Windows path, a document through
// "wine start /unix" by its host path. It sets LC_ALL to an installed UTF-8 locale of code
// page 936, so the program runs in that code page whatever the desktop's locale; without
// such a locale the entry keeps the desktop's, and the process's first entry says so on the
// error output, with the fix. A program's icon is its own icon group, else the product icon,
// written as PNGs into the hicolor theme; a document shows its type's icon.

#include <string_view>

namespace win {

// Writes the entries of the link saved at the Windows path linkPath whose target is target
// (both code page 936); a link outside the two trees gets none. A file of the same name is
// replaced; every file is written whole or not at all. Raises SetupError naming the file or
// folder that could not be written: files written before it stay, each one whole.
void WriteMenuEntries(std::string_view linkPath, std::string_view target);

}  // namespace win
