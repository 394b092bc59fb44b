#pragma once
// The texts of the freedesktop files that put a link into the person's menu and on the
// desktop: the desktop entry of an application, the directory entry of a menu folder and the
// menu merge file that nests the entry in the menus. Texts are UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace xdg {

// What a desktop entry says of an application.
struct DesktopEntry {
    std::string name;
    std::string exec;  // an ExecValue
    std::string icon;
    std::string wmClass;
};

// One argument of an Exec value: between double quotes when it holds a reserved character
// or quote is true (with "\", "\"", "`" and "$" escaped inside), every "%" doubled.
std::string ExecArgument(std::string_view argument, bool quote = false);

// The Exec value of arguments made by ExecArgument, escaped as a string value.
std::string ExecValue(const std::vector<std::string>& arguments);

// The "[Desktop Entry]" text of an application.
std::string ApplicationEntryText(const DesktopEntry& entry);

// The "[Desktop Entry]" text of a menu folder shown as name with the theme icon icon.
std::string DirectoryEntryText(std::string_view name, std::string_view icon);

// The menu merge file that puts the desktop file desktopId into the menus named by menus,
// each one inside the one before, below the Applications menu. Each menu's directory file is
// its name + ".directory".
std::string MenuMergeText(const std::vector<std::string>& menus, std::string_view desktopId);

}  // namespace xdg
