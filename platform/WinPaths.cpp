#include "platform/WinPaths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/HostNames.h"
#include "platform/RegText.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "platform/WinRegistry.h"

namespace fs = std::filesystem;

namespace win {
namespace {

// ---- The prefix skeleton ----

std::string LoginName() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name) {
        return entry->pw_name;
    }
    const char* user = std::getenv("USER");
    return user && *user ? user : "user";
}

// The user's folders below drive_c, as the skeleton lays them out (host names, UTF-8).
struct ShellFolder {
    const char* valueName;  // in "Shell Folders"
    const char* relative;   // below drive_c/users/<login>
};

constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

constexpr ShellFolder kShellFolders[] = {
    {"Desktop", "Desktop"},
    {"Programs", "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"},
    {"SendTo", "AppData/Roaming/Microsoft/Windows/SendTo"},
    {"Start Menu", "AppData/Roaming/Microsoft/Windows/Start Menu"},
};

std::string WindowsText(std::string_view utf8) {
    std::string text(utf8);
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// One key of the skeleton's user.reg in Wine's text format; expand writes REG_EXPAND_SZ.
std::string SkeletonKey(std::u16string_view name, const std::string& login, bool expand) {
    std::string key = "\n";
    key += regtext::KeyHeader(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\" + std::u16string(name));
    const std::u16string home = cp936::ToUtf16(cp936::FromUtf8("C:\\users\\" + login + "\\"));
    for (const ShellFolder& folder : kShellFolders) {
        const std::u16string path = home + cp936::ToUtf16(WindowsText(folder.relative));
        key += std::string("\"") + folder.valueName + "\"=" + (expand ? "str(2):" : "") + "\"" +
               regtext::Escape(path, "\"") + "\"\n";
    }
    return key;
}

std::string SkeletonUserReg(const std::string& login) {
    return regtext::FileHeader() + SkeletonKey(u"Shell Folders", login, false) +
           SkeletonKey(u"User Shell Folders", login, true);
}

[[noreturn]] void FailOn(const char* what, const fs::path& path, int error) {
    throw SetupError(std::string(what) + " " + HostNameText(path) + ": " + ErrnoText(error));
}

void MakeFolders(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) FailOn("Cannot create folder", folder, error.value());
}

void MakeLink(const fs::path& link, const char* target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) return;  // a link that is there is used as it stands
    if (symlink(target, link.c_str()) != 0) FailOn("Cannot create drive link", link, errno);
}

// Every Windows system has it, and the default install folder lies one level below it:
// the install creates its folders one level at a time.
constexpr char kProgramFiles[] = "C:\\Program Files";

void CreateSkeleton(const fs::path& prefix) {
    MakeFolders(prefix / "dosdevices");
    MakeLink(prefix / "dosdevices" / "c:", "../drive_c");
    MakeLink(prefix / "dosdevices" / "z:", "/");
    MakeFolders(prefix / "drive_c" / "windows" / "system32");
    MakeFolders(prefix / "drive_c" / "Program Files");
    const std::string login = LoginName();
    for (const ShellFolder& folder : kShellFolders) {
        MakeFolders(prefix / "drive_c" / "users" / login / folder.relative);
    }
    const fs::path userReg = prefix / "user.reg";
    if (const int error = ReplaceFile(userReg, SkeletonUserReg(login), 0644)) {
        FailOn("Cannot write file", userReg, error);
    }
}

// The folders the installation's links go into, as the prefix's registry names them.
std::vector<std::string> LinkFolders() {
    std::vector<std::string> folders;
    for (const char* valueName : {"Desktop", "Programs"}) {
        if (std::string folder = RegisteredShellFolder(valueName); !folder.empty()) {
            folders.push_back(std::move(folder));
        }
    }
    return folders;
}

// Made with the folders above it when missing; one that cannot be made is left to the step
// that writes into it, which names it in its own error.
void MakeFoldersIfPossible(std::string_view windowsPath) {
    try {
        MakeFolders(HostPath(windowsPath));
    } catch (const SetupError&) {
    }
}

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
        throw SetupError("Drive " + DriveName(drive) + " does not exist (no " +
                         HostNameText(link) + ")");
    }
    std::error_code error;
    fs::path root = fs::canonical(link, error);
    if (error || !fs::is_directory(root, error)) {
        throw SetupError("Drive " + DriveName(drive) + " points nowhere: " + HostNameText(link));
    }
    return root;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
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

// ---- Shared with the other units of this folder ----

std::string HostNameText(const fs::path& hostPath) {
    const std::string utf8 = hostPath.string();
    try {
        return cp936::FromUtf8(utf8);
    } catch (const SetupError&) {
    }
    std::string text;
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x80) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text;
}

std::string ErrnoText(int error) {
    // Qt sets the process locale from the user's settings, so strerror would answer in the
    // user's language and encoding (UTF-8 Chinese, which is not code page 936). Messages
    // take the C locale's ASCII text.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c ? strerror_l(error, c) : "error " + std::to_string(error);
}

// ---- The interface ----

fs::path PrefixRoot() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".wine";
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return fs::path(entry->pw_dir) / ".wine";
    }
    throw SetupError("No prefix: neither WINEPREFIX nor a home folder is known");
}

std::string RegisteredShellFolder(const char* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    std::string folder;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS) {
            folder = data.c_str();
        }
    }
    RegCloseKey(key);
    return folder;
}

void EnsurePrefix() {
    const fs::path prefix = PrefixRoot();
    struct stat info {};
    std::error_code error;
    if (stat(prefix.c_str(), &info) != 0 || (S_ISDIR(info.st_mode) && fs::is_empty(prefix, error))) {
        CreateSkeleton(prefix);
    } else if (!S_ISDIR(info.st_mode)) {
        throw SetupError("The prefix is not a folder: " + HostNameText(prefix));
    } else {
        // Only looked at: a prefix without a usable drive C: is said so before the wizard
        // starts. Nothing of an existing prefix is changed here.
        DriveRoot('c');
    }
}

void EnsureStandardFolders() {
    MakeFoldersIfPossible(kProgramFiles);
    MakeFoldersIfPossible(GetSystemDirectoryA());
    for (const std::string& folder : LinkFolders()) MakeFoldersIfPossible(folder);
}

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
