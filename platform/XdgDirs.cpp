#include "platform/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SetupError.h"

namespace fs = std::filesystem;

namespace xdg {
namespace {

// An absolute path in the variable name, or nothing.
std::optional<fs::path> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return fs::path(value);
}

// The text between the quotes of a user-dirs.dirs value, with its backslash escapes undone;
// nothing when the value is not quoted.
std::optional<std::string> QuotedValue(std::string_view value) {
    if (value.size() < 2 || value.front() != '"') return std::nullopt;
    std::string text;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') return text;
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        text += value[i];
    }
    return std::nullopt;
}

// The desktop folder a line of user-dirs.dirs names: "$HOME/..." or an absolute path.
std::optional<fs::path> DesktopLine(std::string_view line) {
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line.substr(start, kKey.size()) != kKey) {
        return std::nullopt;
    }
    const std::optional<std::string> value = QuotedValue(line.substr(start + kKey.size()));
    if (!value) return std::nullopt;
    constexpr std::string_view kHome = "$HOME";
    if (value->starts_with(kHome) &&
        (value->size() == kHome.size() || (*value)[kHome.size()] == '/')) {
        return HomeDir() / fs::path(value->substr(kHome.size())).relative_path();
    }
    if (value->starts_with('/')) return fs::path(*value);
    return std::nullopt;
}

}  // namespace

fs::path HomeDir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir) {
        return entry->pw_dir;
    }
    throw SetupError("No home folder: neither HOME nor the user database names one");
}

fs::path DataHome() {
    if (auto data = AbsoluteVariable("XDG_DATA_HOME")) return *data;
    return HomeDir() / ".local/share";
}

fs::path ConfigHome() {
    if (auto config = AbsoluteVariable("XDG_CONFIG_HOME")) return *config;
    return HomeDir() / ".config";
}

fs::path DesktopDir() {
    std::ifstream dirs(ConfigHome() / "user-dirs.dirs");
    std::optional<fs::path> desktop;
    for (std::string line; std::getline(dirs, line);) {
        if (auto named = DesktopLine(line)) desktop = named;  // the last one counts, as in a shell
    }
    return desktop ? *desktop : HomeDir() / "Desktop";
}

}  // namespace xdg
