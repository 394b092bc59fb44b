#include "platform/PrefixSkeleton.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/HostNames.h"
#include "platform/PathMapping.h"
#include "platform/PrefixRoot.h"
#include "platform/RegText.h"
#include "platform/SetupError.h"
#include "platform/ShellFolders.h"

namespace fs = std::filesystem;

namespace win {
namespace {

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
    key += regtext::KeyHeader(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\" +
                              std::u16string(name));
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

}  // namespace

void EnsurePrefix() {
    const fs::path prefix = PrefixRoot();
    struct stat info {};
    std::error_code error;
    if (stat(prefix.c_str(), &info) != 0 ||
        (S_ISDIR(info.st_mode) && fs::is_empty(prefix, error))) {
        CreateSkeleton(prefix);
    } else if (!S_ISDIR(info.st_mode)) {
        throw SetupError("The prefix is not a folder: " + HostNameText(prefix));
    } else {
        // Only looked at: a prefix without a usable drive C: is said so before the wizard
        // starts. Nothing of an existing prefix is changed here.
        HostPath("C:\\");
    }
}

void EnsureStandardFolders() {
    MakeFoldersIfPossible(kProgramFiles);
    MakeFoldersIfPossible(kSystemDirectory);
    for (const std::string& folder : LinkFolders()) MakeFoldersIfPossible(folder);
}

}  // namespace win
