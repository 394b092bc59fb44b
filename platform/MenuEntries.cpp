#include "platform/MenuEntries.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/DesktopEntry.h"
#include "platform/HostLocale.h"
#include "platform/HostNames.h"
#include "platform/PathMapping.h"
#include "platform/PrefixRoot.h"
#include "platform/ProgramIcons.h"
#include "platform/SetupError.h"
#include "platform/ShellFolders.h"
#include "platform/XdgDirs.h"

namespace fs = std::filesystem;

// The resource's initialiser lives in the global namespace.
static void InitProductIconResource() { Q_INIT_RESOURCE(icon); }

namespace win {
namespace {

// ---- Where the link lies ----

enum class Tree { None, Programs, Desktop };

struct LinkPlace {
    Tree tree = Tree::None;
    std::vector<std::string> groups;  // the folders from the Programs folder down to the link
    std::string name;                 // the link's file name without ".lnk"
    fs::path folder;                  // the folder that holds the link, links resolved
    std::string fileName;             // the link's file name in that folder
};

// Symbolic links resolved: a prefix made by Wine links the user's Desktop folder to the
// person's own, and the link's path and the shell folder must name the same files.
fs::path Comparable(const fs::path& path) {
    std::error_code ignored;
    fs::path canonical = fs::weakly_canonical(path, ignored);
    return canonical.empty() ? path.lexically_normal() : canonical;
}

// The host folder a "Shell Folders" value names; nothing when it is missing or on no drive.
std::optional<fs::path> ShellFolderHost(const char* valueName) {
    const std::string folder = RegisteredShellFolder(valueName);
    if (folder.empty()) return std::nullopt;
    try {
        return Comparable(HostPath(folder));
    } catch (const SetupError&) {
        return std::nullopt;
    }
}

// The names of path's components below folder; nothing when path does not lie below it.
std::optional<std::vector<std::string>> Below(const fs::path& folder, const fs::path& path) {
    std::vector<std::string> outer, inner;
    for (const auto& part : folder) {
        if (!part.empty()) outer.push_back(part.string());
    }
    for (const auto& part : path) {
        if (!part.empty()) inner.push_back(part.string());
    }
    if (inner.size() <= outer.size() || !std::equal(outer.begin(), outer.end(), inner.begin())) {
        return std::nullopt;
    }
    return std::vector<std::string>(inner.begin() + static_cast<long>(outer.size()), inner.end());
}

LinkPlace PlaceOf(std::string_view linkPath) {
    const fs::path host = HostPath(linkPath);
    const fs::path link = Comparable(host);
    const std::string name = link.stem().string();
    if (const auto programs = ShellFolderHost("Programs")) {
        if (auto below = Below(*programs, link)) {
            below->pop_back();
            return {Tree::Programs, *below, name, link.parent_path(), host.filename().string()};
        }
    }
    if (const auto desktop = ShellFolderHost("Desktop")) {
        if (const auto below = Below(*desktop, link); below && below->size() == 1) {
            return {Tree::Desktop, {}, name, *desktop, host.filename().string()};
        }
    }
    return {};
}

// ---- The target ----

struct Target {
    std::string windowsPath;  // UTF-8
    std::string fileName;     // UTF-8
    std::string extension;    // lower case ASCII, with its ".", or empty
};

Target TargetOf(std::string_view target) {
    const auto last = cp936::LastDelimiter(target, "\\:");
    Target made{cp936::ToUtf8(target),
                cp936::ToUtf8(last == std::string_view::npos ? target : target.substr(last + 1)),
                {}};
    if (const auto dot = made.fileName.rfind('.'); dot != std::string::npos) {
        made.extension = made.fileName.substr(dot);
        for (char& c : made.extension) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return made;
}

bool IsProgram(const Target& target) {
    return target.extension == ".exe" || target.extension == ".com";
}

// The prefix as an absolute path without a trailing "/".
std::string AbsolutePrefix() {
    std::string prefix = fs::absolute(PrefixRoot()).lexically_normal().string();
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

// Told once per process, so that an installation says it once for all its shortcuts.
void TellNoCp936Locale() {
    static bool told = false;
    if (told) return;
    told = true;
    std::fputs(
        "Menu entries start the program in the desktop's own locale, where its Chinese texts "
        "read right only on a Chinese desktop: no UTF-8 locale of code page 936 is installed. "
        "To install one, as root: add the line \"zh_CN.UTF-8 UTF-8\" to /etc/locale.gen, "
        "then run locale-gen.\n",
        stderr);
}

// Wine's code page follows LC_ALL's locale name, so an installed UTF-8 locale of code page 936
// has the program read its texts right whatever the desktop's locale. A locale glibc cannot
// load would leave Wine reading arguments and file names as ASCII, and a target with Chinese
// characters in its path would not be found: without one the desktop's own locale stays.
std::vector<std::string> WineEnvironment() {
    std::vector<std::string> assignments = {"WINEPREFIX=" +
                                            xdg::ExecArgument(AbsolutePrefix(), true)};
    if (const auto locale = Cp936Utf8Locale()) {
        assignments.push_back(xdg::ExecArgument("LC_ALL=" + *locale));
    } else {
        TellNoCp936Locale();
    }
    return assignments;
}

// A program starts by its Windows path; a document opens through "start /unix" by its host
// path, which names it in UTF-8 whatever Wine's code page.
std::string ExecOf(std::string_view target, const Target& made) {
    std::vector<std::string> arguments = {"env"};
    for (std::string& assignment : WineEnvironment()) arguments.push_back(std::move(assignment));
    arguments.push_back("wine");
    if (IsProgram(made)) {
        arguments.push_back(xdg::ExecArgument(made.windowsPath));
    } else {
        arguments.push_back("start");
        arguments.push_back("/unix");
        arguments.push_back(xdg::ExecArgument(HostPath(target).string()));
    }
    return xdg::ExecValue(arguments);
}

// ---- Files ----

// The menu folders' files and a program's icons are the same for every link saved: a file
// that already holds the bytes with the mode is left alone instead of being written and
// synced once more.
bool AlreadyHolds(const fs::path& file, std::string_view bytes, mode_t mode) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || (info.st_mode & 07777) != mode) return false;
    int error = 0;
    const auto old = ReadWholeFile(file, error);
    return old && *old == bytes;
}

void WriteWhole(const fs::path& file, std::string_view bytes, mode_t mode = 0644) {
    if (AlreadyHolds(file, bytes, mode)) return;
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) {
        throw SetupError("Cannot create folder " + HostNameText(file.parent_path()) + ": " +
                         ErrnoText(error.value()));
    }
    if (const int failed = ReplaceFile(file, bytes, mode)) {
        throw SetupError("Cannot write file " + HostNameText(file) + ": " + ErrnoText(failed));
    }
}

// ---- Icons ----

// The standard icon names of the documents' types; other types show a generic document.
std::string DocumentIcon(const Target& target) {
    if (target.extension == ".pdf") return "application-pdf";
    if (target.extension == ".htm" || target.extension == ".html") return "text-html";
    if (target.extension == ".doc" || target.extension == ".rtf") return "x-office-document";
    return "text-x-generic";
}

// The product icon at the sizes a menu asks for most, and at its own.
std::vector<QImage> ProductIcons() {
    InitProductIconResource();
    const QImage icon(QStringLiteral(":/product/icon.png"));
    std::vector<QImage> images;
    for (const int size : {16, 32, 48}) {
        if (size < icon.width()) {
            images.push_back(
                icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        }
    }
    images.push_back(icon);
    return images;
}

std::string PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// As Wine names a program's icon: a checksum of the path (programs of the same name in other
// folders keep their own icons), the file's stem and the icon's index.
std::string ProgramIconName(const Target& target) {
    const QByteArray path = QByteArray::fromStdString(target.windowsPath);
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(qChecksum(path)));
    const std::string stem =
        target.fileName.substr(0, target.fileName.size() - target.extension.size());
    return checksum + ("_" + stem) + ".0";
}

std::string InstallProgramIcon(std::string_view target, const Target& made) {
    std::vector<QImage> images = ProgramIcons(HostPath(target));
    if (images.empty()) images = ProductIcons();
    const std::string name = ProgramIconName(made);
    const fs::path theme = xdg::DataHome() / "icons" / "hicolor";
    for (const QImage& image : images) {
        const std::string size =
            std::to_string(image.width()) + "x" + std::to_string(image.height());
        WriteWhole(theme / size / "apps" / (name + ".png"), PngBytes(image));
    }
    return name;
}

// ---- The entries ----

xdg::DesktopEntry EntryOf(const LinkPlace& place, std::string_view target) {
    const Target made = TargetOf(target);
    return {place.name, ExecOf(target, made),
            IsProgram(made) ? InstallProgramIcon(target, made) : DocumentIcon(made),
            QString::fromStdString(made.fileName).toLower().toStdString()};
}

void WriteProgramsEntries(const LinkPlace& place, const xdg::DesktopEntry& entry) {
    fs::path folder = xdg::DataHome() / "applications" / "wine" / "Programs";
    for (const std::string& group : place.groups) folder /= group;
    WriteWhole(folder / (place.name + ".desktop"), xdg::ApplicationEntryText(entry));

    const fs::path directories = xdg::DataHome() / "desktop-directories";
    WriteWhole(directories / "wine-wine.directory", xdg::DirectoryEntryText("Wine", "wine"));
    WriteWhole(directories / "wine-Programs.directory",
               xdg::DirectoryEntryText("Programs", "folder"));
    std::vector<std::string> menus = {"wine-wine", "wine-Programs"};
    for (const std::string& group : place.groups) {
        menus.push_back(menus.back() + "-" + group);
        WriteWhole(directories / (menus.back() + ".directory"),
                   xdg::DirectoryEntryText(group, "folder"));
    }
    // The menu comes last: it names the entry and the folders, which are there by then.
    const std::string id = menus.back() + "-" + place.name;
    WriteWhole(xdg::ConfigHome() / "menus" / "applications-merged" / (id + ".menu"),
               xdg::MenuMergeText(menus, id + ".desktop"));
}

// Whether text holds name as one of its lines.
bool ListsName(std::string_view text, std::string_view name) {
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (text.substr(start, end - start) == name) return true;
        start = end + 1;
    }
    return false;
}

// Adds name to the folder's ".hidden" (one name a line, read by GNOME Files, Nemo, Caja and
// PCManFM), keeping every line the person's file held.
void HideInFolder(const fs::path& folder, const std::string& name) {
    const fs::path file = folder / ".hidden";
    int error = 0;
    std::string text = ReadWholeFile(file, error).value_or("");
    if (error != 0 && error != ENOENT) {
        throw SetupError("Cannot read file " + HostNameText(file) + ": " + ErrnoText(error));
    }
    if (ListsName(text, name)) return;
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += name + '\n';
    if (const int failed = ReplaceFile(file, text, 0644, true)) {
        throw SetupError("Cannot write file " + HostNameText(file) + ": " + ErrnoText(failed));
    }
}

void WriteDesktopEntry(const LinkPlace& place, const xdg::DesktopEntry& entry) {
    const fs::path desktop = xdg::DesktopDir();
    // Desktops start only launchers that may be executed.
    WriteWhole(desktop / (place.name + ".desktop"), xdg::ApplicationEntryText(entry), 0755);
    // A prefix made by Wine links its Desktop folder to the person's own, so the link lies on
    // the Linux desktop beside the launcher, where a file manager would show it as a second,
    // blank icon. Hidden from the file managers only once the launcher is there; Windows
    // programs still see it.
    if (Comparable(desktop) == place.folder) HideInFolder(place.folder, place.fileName);
}

}  // namespace

void WriteMenuEntries(std::string_view linkPath, std::string_view target) {
    const LinkPlace place = PlaceOf(linkPath);
    if (place.tree == Tree::None) return;
    const xdg::DesktopEntry entry = EntryOf(place, target);
    if (place.tree == Tree::Programs)
        WriteProgramsEntries(place, entry);
    else
        WriteDesktopEntry(place, entry);
}

}  // namespace win
