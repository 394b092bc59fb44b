#include "platform/PathMapping.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/CodePage.h"
#include "platform/HostNames.h"
#include "platform/PrefixRoot.h"
#include "platform/SetupError.h"

namespace fs = std::filesystem;

namespace win {
namespace {

// ---- Windows paths to host paths ----

struct SplitPath {
    char drive;                           // lower case
    std::vector<std::string> components;  // code page 936, no empty ones
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

SplitPath Split(std::string_view windowsPath) {
    SplitPath split{'c', {}};
    std::string_view rest = windowsPath;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        split.drive = static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
        rest.remove_prefix(2);
    } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
        throw SetupError("Network paths are not supported: " + std::string(windowsPath));
    } else if (rest.empty() || !IsSeparator(rest[0])) {
        throw SetupError("Not a full path: " + std::string(windowsPath));
    }
    std::string component;
    auto flush = [&] {
        if (component == "..") {
            if (!split.components.empty()) split.components.pop_back();
        } else if (!component.empty() && component != ".") {
            split.components.push_back(component);
        }
        component.clear();
    };
    for (size_t i = 0; i < rest.size(); ++i) {
        if (cp936::IsLeadByte(static_cast<unsigned char>(rest[i])) && i + 1 < rest.size()) {
            component += rest.substr(i, 2);  // a trail byte 0x5C is not a separator
            ++i;
        } else if (IsSeparator(rest[i])) {
            flush();
        } else {
            component += rest[i];
        }
    }
    flush();
    return split;
}

fs::path DriveLink(char drive) { return PrefixRoot() / "dosdevices" / std::string{drive, ':'}; }

std::string DriveName(char drive) {
    return std::string{static_cast<char>(std::toupper(static_cast<unsigned char>(drive))), ':'};
}

fs::path DriveRoot(char drive) {
    const fs::path link = DriveLink(drive);
    struct stat info {};
    if (lstat(link.c_str(), &info) != 0) {
        throw SetupError("Drive " + DriveName(drive) + " does not exist (no " + HostNameText(link) +
                         ")");
    }
    std::error_code error;
    fs::path root = fs::canonical(link, error);
    if (error || !fs::is_directory(root, error)) {
        throw SetupError("Drive " + DriveName(drive) + " points nowhere: " + HostNameText(link));
    }
    return root;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The entry of folder whose name is component ignoring ASCII case, the exact name when it
// exists, the component itself when nothing matches (a name about to be created).
std::string MatchEntry(const fs::path& folder, const std::string& component) {
    struct stat info {};
    if (lstat((folder / component).c_str(), &info) == 0) return component;
    std::vector<std::string> matches;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (SameIgnoringCase(name, component)) matches.push_back(std::move(name));
    }
    if (matches.empty()) return component;
    return *std::min_element(matches.begin(), matches.end());  // the same choice every time
}

// ---- Host paths to Windows paths ----

struct DrivePath {
    char drive;
    fs::path full;      // absolute, symbolic links resolved where the path exists
    fs::path relative;  // below the drive's root
};

DrivePath OnDrive(const fs::path& hostPath) {
    std::error_code error;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(hostPath), error);
    DrivePath place{'z', error ? fs::absolute(hostPath).lexically_normal() : absolute, {}};
    // The drive whose root holds the path most closely; Z: (the host's root) at worst.
    fs::path root = "/";
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::error_code ignored;
        const fs::path candidate = fs::canonical(DriveLink(letter), ignored);
        if (ignored || !fs::is_directory(candidate, ignored)) continue;
        const auto [end, _] =
            std::mismatch(candidate.begin(), candidate.end(), place.full.begin(), place.full.end());
        if (end == candidate.end() && std::distance(candidate.begin(), candidate.end()) >
                                          std::distance(root.begin(), root.end())) {
            place.drive = letter;
            root = candidate;
        }
    }
    place.relative = place.full.lexically_relative(root);
    return place;
}

// A host name as one name of a Windows path. A "\" inside it would read as a separator, so
// that a folder named "..\..\x" would climb out of the folder that holds it.
std::string WindowsName(const std::string& utf8) {
    if (utf8.find('\\') != std::string::npos) {
        throw SetupError("The name " + HostNameText(utf8) + " holds \"\\\"");
    }
    return cp936::FromUtf8(utf8);
}

// Bytes of the UTF-8 character at offset at; a byte that starts none counts as one.
size_t CharLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (at + length > text.size()) return 1;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

std::string ShownName(const std::string& utf8) {
    std::string shown;
    for (size_t at = 0; at < utf8.size();) {
        const size_t length = CharLength(utf8, at);
        try {
            shown += WindowsName(utf8.substr(at, length));
        } catch (const SetupError&) {
            shown += '?';
        }
        at += length;
    }
    return shown;
}

template <typename NameOf>
std::string JoinNames(const DrivePath& place, NameOf nameOf) {
    std::string windows = DriveName(place.drive);
    for (const fs::path& component : place.relative) {
        if (component.empty() || component == ".") continue;
        windows += '\\';
        windows += nameOf(component.string());
    }
    if (windows.size() == 2) windows += "\\";
    return windows;
}

}  // namespace

fs::path HostPath(std::string_view windowsPath) {
    const SplitPath split = Split(windowsPath);
    fs::path host = DriveRoot(split.drive);
    for (const std::string& component : split.components) {
        try {
            host /= MatchEntry(host, cp936::ToUtf8(component));
        } catch (const SetupError& error) {
            throw SetupError(error.Message() + " in the path " + std::string(windowsPath));
        }
    }
    return host;
}

std::string WindowsPath(const fs::path& hostPath) {
    const DrivePath place = OnDrive(hostPath);
    return JoinNames(place, [&](const std::string& name) {
        try {
            return WindowsName(name);
        } catch (const SetupError& error) {
            throw SetupError(error.Message() + " in the path " + HostNameText(place.full));
        }
    });
}

std::string ShownWindowsPath(const fs::path& hostPath) {
    return JoinNames(OnDrive(hostPath), ShownName);
}

}  // namespace win
