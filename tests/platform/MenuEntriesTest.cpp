#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/LinkSaving.h"
#include "platform/MenuEntries.h"
#include "platform/PathMapping.h"
#include "platform/PeFixture.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/ShellFolders.h"
#include "platform/XdgDirs.h"
#include "support/DesktopFiles.h"
#include "support/ScopedVariable.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

namespace fs = std::filesystem;
using link_saving::SaveLink;
using testing_support::ScopedVariable;

namespace {

// Every file below folder, as paths relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(
             folder, fs::directory_options::skip_permission_denied, ignored)) {
        if (!entry.is_directory()) files.insert(fs::relative(entry.path(), folder).string());
    }
    return files;
}

// A skeleton prefix and a scratch home with the XDG folders in it, no locale installed
// (LOCPATH names an empty folder, whatever the machine has); COM entered.
class EntriesScene {
public:
    explicit EntriesScene(testing_support::Reach reach = testing_support::Reach::Owner)
        : scoped_(reach),
          home_(scoped_.scratch() / "home"),
          homeVariable_("HOME", home_.string()),
          data_("XDG_DATA_HOME", (home_ / "data").string()),
          config_("XDG_CONFIG_HOME", (home_ / "config").string()),
          locales_("LOCPATH", (scoped_.scratch() / "no-locales").string()) {
        win::EnsurePrefix();
        win::CoInitialize(nullptr);
    }
    ~EntriesScene() { win::CoUninitialize(); }
    EntriesScene(const EntriesScene&) = delete;
    EntriesScene& operator=(const EntriesScene&) = delete;

    std::string Programs() const { return win::RegisteredShellFolder("Programs"); }
    std::string Desktop() const { return win::RegisteredShellFolder("Desktop"); }

    // Saves a link to target (UTF-8) at the Windows path linkPath (UTF-8), making its folder.
    void Save(const std::string& target, const std::string& linkPath) {
        fs::create_directories(win::HostPath(cp936::FromUtf8(linkPath)).parent_path());
        ASSERT_EQ(SaveLink(cp936::FromUtf8(target), cp936::FromUtf8(linkPath)), win::S_OK)
            << linkPath;
    }

    // The installed file a program target names: a placeholder unless bytes are given.
    fs::path Install(const std::string& target, const std::string& bytes = "Placeholder\n") {
        const fs::path file = win::HostPath(cp936::FromUtf8(target));
        fs::create_directories(file.parent_path());
        test_files::Write(file, bytes);
        return file;
    }

    // The arguments of file's Exec after "wine"; fails the test unless those before start Wine
    // in the scratch prefix, with LC_ALL set to locale or not set.
    std::vector<std::string> WineArguments(const fs::path& file,
                                           const std::optional<std::string>& locale = {}) {
        const auto entry = desktop_files::Read(file);
        auto arguments = desktop_files::SplitExec(entry.count("Exec") ? entry.at("Exec") : "");
        std::vector<std::string> start = {"env", "WINEPREFIX=" + scoped_.prefix().string()};
        if (locale) start.push_back("LC_ALL=" + *locale);
        start.push_back("wine");
        EXPECT_GT(arguments.size(), start.size()) << file;
        if (arguments.size() <= start.size()) return {};
        EXPECT_EQ(std::vector<std::string>(arguments.begin(),
                                           arguments.begin() + static_cast<long>(start.size())),
                  start)
            << file;
        return {arguments.begin() + static_cast<long>(start.size()), arguments.end()};
    }

    testing_support::ScopedPrefix scoped_;
    fs::path home_;
    ScopedVariable homeVariable_, data_, config_, locales_;
};

class MenuEntriesTest : public ::testing::Test, public EntriesScene {};

// For cases that act as another user, who must reach the scratch tree.
class MenuEntriesAsOthersTest : public ::testing::Test, public EntriesScene {
public:
    MenuEntriesAsOthersTest() : EntriesScene(testing_support::Reach::Others) {}
    void SetUp() override {
        const std::string reason = testing_support::UnreachableByOthers(scoped_.scratch());
        if (!reason.empty()) GTEST_SKIP() << reason;
    }
};

struct ProgramsCase {
    std::string group;                // below the Programs folder, "\" nests
    std::string name;                 // the link's name
    std::string target;               // Windows path
    std::vector<std::string> groups;  // the host folders the group makes
};

TEST_F(MenuEntriesTest, ProgramsLinksGetEntryDirectoriesAndMenu) {
    const ProgramsCase cases[] = {
        {"Korvane软件",
         "使用说明书",
         "C:\\Program Files\\Korvane\\使用说明书.pdf",
         {"Korvane软件"}},
        {"Korvane软件\\工具",
         "Korvane",
         "C:\\Program Files\\Korvane\\Korvane.exe",
         {"Korvane软件", "工具"}},
        {"誠软件", "誠", "C:\\誠\\誠.txt", {"誠软件"}},  // trail byte 0x5C
        {"A B", "我的 程序", "C:\\Program Files\\我的 软件 (x86)\\Run $1 100%.exe", {"A B"}},
        {"A B", "说明 (读我)", "C:\\Program Files\\我的 软件\\读 我.txt", {"A B"}},
    };
    for (const ProgramsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool program = c.target.ends_with(".exe");
        const fs::path installed =
            program ? Install(c.target) : win::HostPath(cp936::FromUtf8(c.target));
        Save(c.target, cp936::ToUtf8(Programs()) + "\\" + c.group + "\\" + c.name + ".lnk");

        fs::path entryFile = home_ / "data/applications/wine/Programs";
        std::string menu = "wine-Programs";
        for (const std::string& group : c.groups) {
            entryFile /= group;
            menu += "-" + group;
            const fs::path directory = home_ / "data/desktop-directories" / (menu + ".directory");
            const auto keys = desktop_files::Read(directory);
            EXPECT_EQ(keys, (std::map<std::string, std::string>{
                                {"Type", "Directory"}, {"Name", group}, {"Icon", "folder"}}))
                << directory;
            EXPECT_EQ(desktop_files::ValidationErrors(directory), "");
        }
        entryFile /= c.name + ".desktop";
        ASSERT_TRUE(fs::exists(entryFile)) << entryFile;
        EXPECT_EQ(desktop_files::ValidationErrors(entryFile), "");
        const auto keys = desktop_files::Read(entryFile);
        EXPECT_EQ(keys.at("Type"), "Application");
        EXPECT_EQ(keys.at("Name"), c.name);
        EXPECT_EQ(keys.at("StartupNotify"), "true");
        const std::string fileName = c.target.substr(c.target.rfind('\\') + 1);
        EXPECT_EQ(keys.at("StartupWMClass"),
                  QString::fromStdString(fileName).toLower().toStdString());

        const auto arguments = WineArguments(entryFile);
        if (program) {
            ASSERT_EQ(arguments.size(), 1u);
            EXPECT_EQ(arguments[0], c.target);
            EXPECT_TRUE(fs::equivalent(win::HostPath(cp936::FromUtf8(arguments[0])), installed));
        } else {
            EXPECT_EQ(arguments, (std::vector<std::string>{"start", "/unix", installed.string()}));
        }

        const std::string id = menu + "-" + c.name;
        const std::string merge =
            test_files::Read(home_ / "config/menus/applications-merged" / (id + ".menu"));
        EXPECT_NE(merge.find("<Filename>" + id + ".desktop</Filename>"), std::string::npos)
            << merge;
        for (const std::string& name :
             {std::string("wine-wine"), std::string("wine-Programs"), menu}) {
            EXPECT_NE(merge.find("<Name>" + name + "</Name>\n"), std::string::npos) << name;
            EXPECT_NE(merge.find("<Directory>" + name + ".directory</Directory>"),
                      std::string::npos);
        }
    }
    for (const char* top : {"wine-wine.directory", "wine-Programs.directory"}) {
        EXPECT_EQ(desktop_files::ValidationErrors(home_ / "data/desktop-directories" / top), "");
    }
}

TEST_F(MenuEntriesTest, MenuMergeFileNestsTheGroups) {
    Save("C:\\Program Files\\Korvane\\Korvane.exe",
         cp936::ToUtf8(Programs()) + "\\A\\B\\Korvane.lnk");
    EXPECT_EQ(
        test_files::Read(home_ / "config/menus/applications-merged/wine-Programs-A-B-Korvane.menu"),
        "<Menu>\n"
        "  <Name>Applications</Name>\n"
        "  <Menu>\n"
        "    <Name>wine-wine</Name>\n"
        "    <Directory>wine-wine.directory</Directory>\n"
        "    <Menu>\n"
        "      <Name>wine-Programs</Name>\n"
        "      <Directory>wine-Programs.directory</Directory>\n"
        "      <Menu>\n"
        "        <Name>wine-Programs-A</Name>\n"
        "        <Directory>wine-Programs-A.directory</Directory>\n"
        "        <Menu>\n"
        "          <Name>wine-Programs-A-B</Name>\n"
        "          <Directory>wine-Programs-A-B.directory</Directory>\n"
        "          <Include>\n"
        "            <Filename>wine-Programs-A-B-Korvane.desktop</Filename>\n"
        "          </Include>\n"
        "        </Menu>\n"
        "      </Menu>\n"
        "    </Menu>\n"
        "  </Menu>\n"
        "</Menu>\n");
}

struct DesktopCase {
    const char* description;
    std::optional<std::string> userDirs;  // the user-dirs.dirs text, {home} for the home folder
    std::string folder;                   // below the home folder unless it starts with "/"
};

TEST_F(MenuEntriesTest, DesktopLinksGoIntoTheDesktopFolder) {
    const std::string elsewhere = (scoped_.scratch() / "其他 桌面").string();
    const DesktopCase cases[] = {
        {"no user-dirs.dirs", std::nullopt, "Desktop"},
        {"a folder below $HOME", "# made by xdg-user-dirs\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n",
         "桌面"},
        {"an absolute folder",
         "XDG_DOWNLOAD_DIR=\"$HOME/x\"\n  XDG_DESKTOP_DIR=\"" + elsewhere + "\"\n", elsewhere},
        {"the home folder itself", "XDG_DESKTOP_DIR=\"$HOME/\"\n", ""},
        {"an unquoted value", "XDG_DESKTOP_DIR=$HOME/x\n", "Desktop"},
        {"a commented line", "#XDG_DESKTOP_DIR=\"$HOME/x\"\n", "Desktop"},
    };
    for (const DesktopCase& c : cases) {
        SCOPED_TRACE(c.description);
        fs::remove(home_ / "config/user-dirs.dirs");
        if (c.userDirs) {
            fs::create_directories(home_ / "config");
            test_files::Write(home_ / "config/user-dirs.dirs", *c.userDirs);
        }
        const fs::path folder = c.folder.starts_with('/') ? fs::path(c.folder) : home_ / c.folder;
        EXPECT_EQ(xdg::DesktopDir().lexically_normal(), folder.lexically_normal());

        const std::string target = "C:\\Program Files\\Korvane\\Korvane.exe";
        const fs::path installed = Install(target);
        Save(target, cp936::ToUtf8(Desktop()) + "\\Korvane机器设备管理系统 V3．50.lnk");
        const fs::path entry = folder / "Korvane机器设备管理系统 V3．50.desktop";
        ASSERT_TRUE(fs::exists(entry));
        EXPECT_EQ(fs::status(entry).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
        EXPECT_EQ(desktop_files::ValidationErrors(entry), "");
        EXPECT_EQ(desktop_files::Read(entry).at("Name"), "Korvane机器设备管理系统 V3．50");
        const auto arguments = WineArguments(entry);
        ASSERT_EQ(arguments.size(), 1u);
        EXPECT_TRUE(fs::equivalent(win::HostPath(cp936::FromUtf8(arguments[0])), installed));
        fs::remove(entry);
    }
}

TEST_F(MenuEntriesTest, ExecNamesARelativePrefixByItsAbsolutePath) {
    const ScopedVariable relative("WINEPREFIX",
                                  fs::relative(scoped_.prefix(), fs::current_path()).string());
    ASSERT_TRUE(fs::path(std::getenv("WINEPREFIX")).is_relative());
    Save("C:\\a.txt", cp936::ToUtf8(Programs()) + "\\G\\a.lnk");
    const auto arguments = WineArguments(home_ / "data/applications/wine/Programs/G/a.desktop");
    EXPECT_EQ(arguments, (std::vector<std::string>{"start", "/unix",
                                                   (scoped_.prefix() / "drive_c/a.txt").string()}));
}

// ---- The locale an entry starts Wine in ----

// Compiles glibc's zh_CN source with charmap into folder/name; empty once the locale is
// there, else what localedef said.
std::string CompileLocale(const fs::path& folder, const std::string& name, const char* charmap) {
    fs::create_directories(folder);
    const std::string command = std::string("localedef -i zh_CN -f ") + charmap + " '" +
                                (folder / name).string() + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return fs::exists(folder / name / "LC_CTYPE") ? std::string() : "localedef: " + output;
}

// zh_CN compiled with UTF-8 and with GB2312, once per test program: localedef takes seconds.
const fs::path& CompiledLocales() {
    static const testing_support::ScratchDir folder;
    static const bool compiled = [] {
        EXPECT_EQ(CompileLocale(folder.path(), "zh_CN.UTF-8", "UTF-8"), "");
        EXPECT_EQ(CompileLocale(folder.path(), "zh_CN", "GB2312"), "");
        return true;
    }();
    (void)compiled;
    return folder.path();
}

// Makes folder a LOCPATH in which glibc finds the locales named. glibc goes by a locale
// folder's name alone, so the one compiled UTF-8 locale serves every name with ".", and a
// name without one is the GB2312 locale.
void InstallLocales(const fs::path& folder, const std::vector<std::string>& names) {
    fs::create_directories(folder);
    for (const std::string& name : names) {
        const bool utf8 = name.find('.') != std::string::npos;
        fs::create_directory_symlink(CompiledLocales() / (utf8 ? "zh_CN.UTF-8" : "zh_CN"),
                                     folder / name);
    }
}

struct LocaleCase {
    const char* description;
    std::vector<std::string> installed;  // as InstallLocales names them
    std::optional<std::string> lcAll;    // the entries' LC_ALL; nothing: not set
};

TEST_F(MenuEntriesTest, EntriesStartWineInAnInstalledUtf8LocaleOfCodePage936) {
    const LocaleCase cases[] = {
        {"zh_CN", {"zh_CN.UTF-8"}, "zh_CN.UTF-8"},
        {"zh_CN in glibc's other spelling", {"zh_CN.utf8"}, "zh_CN.UTF-8"},
        {"zh_SG alone", {"zh_SG.utf8"}, "zh_SG.UTF-8"},
        {"zh_CN before zh_SG", {"zh_SG.UTF-8", "zh_CN.UTF-8"}, "zh_CN.UTF-8"},
        {"zh_CN only with GB2312", {"zh_CN"}, std::nullopt},
        {"zh_CN with GB2312, zh_SG with UTF-8", {"zh_CN", "zh_SG.UTF-8"}, "zh_SG.UTF-8"},
        {"Chinese locales of other code pages", {"zh_TW.UTF-8", "zh_HK.UTF-8"}, std::nullopt},
        {"no locale at all", {}, std::nullopt},
    };
    const std::string program = "C:\\Program Files\\Korvane\\Korvane.exe";
    const std::string manual = "C:\\Program Files\\Korvane\\使用说明书.pdf";
    Install(program);
    const fs::path group = home_ / "data/applications/wine/Programs/G";
    int round = 0;
    for (const LocaleCase& c : cases) {
        SCOPED_TRACE(c.description);
        // A folder of its own each time: glibc remembers what it found where.
        const fs::path folder = scoped_.scratch() / ("locales-" + std::to_string(++round));
        InstallLocales(folder, c.installed);
        const ScopedVariable locales("LOCPATH", folder.string());
        Save(program, cp936::ToUtf8(Programs()) + "\\G\\program.lnk");
        Save(manual, cp936::ToUtf8(Programs()) + "\\G\\manual.lnk");
        EXPECT_EQ(WineArguments(group / "program.desktop", c.lcAll),
                  std::vector<std::string>{program});
        EXPECT_EQ(WineArguments(group / "manual.desktop", c.lcAll),
                  (std::vector<std::string>{"start", "/unix",
                                            win::HostPath(cp936::FromUtf8(manual)).string()}));
    }
}

// Saves an installation's shortcuts without a locale of code page 936 and answers how often
// the error output told how to install one, passing on what it told.
int TimesToldToInstallALocale() {
    testing::internal::CaptureStderr();
    {
        EntriesScene scene;
        const std::string program = "C:\\Program Files\\Korvane\\Korvane.exe";
        scene.Install(program);
        const std::string programs = cp936::ToUtf8(scene.Programs()) + "\\Korvane软件\\";
        scene.Save(program, programs + "Korvane.lnk");
        scene.Save("C:\\Program Files\\Korvane\\软件使用必读.txt", programs + "软件使用必读.lnk");
        scene.Save(program, cp936::ToUtf8(scene.Desktop()) + "\\Korvane.lnk");
    }
    const std::string told = testing::internal::GetCapturedStderr();
    std::fputs(told.c_str(), stderr);
    int times = 0;
    for (size_t at = told.find("/etc/locale.gen"); at != std::string::npos;
         at = told.find("/etc/locale.gen", at + 1)) {
        ++times;
    }
    return times;
}

TEST(MenuEntriesWithoutLocale, TellOnceHowToInstallOne) {
    // A process of its own, in which nothing has been told yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(TimesToldToInstallALocale()), testing::ExitedWithCode(1),
                "\"zh_CN.UTF-8 UTF-8\" to /etc/locale.gen, then run locale-gen");
}

// A prefix made by Wine links the user's Desktop folder to the person's own desktop.
TEST_F(MenuEntriesTest, ADesktopFolderLinkedToThePersonsDesktop) {
    const fs::path desktop = win::HostPath(Desktop());
    fs::remove_all(desktop);
    fs::create_directories(home_ / "Desktop");
    fs::create_directory_symlink(home_ / "Desktop", desktop);
    Save("C:\\a.txt", cp936::ToUtf8(Desktop()) + "\\a.lnk");
    EXPECT_EQ(FilesBelow(home_ / "Desktop"),
              (std::set<std::string>{"a.lnk", "a.desktop", ".hidden"}));
}

// ---- The link on the person's own desktop ----

const std::string kDesktopLink = "Korvane机器设备管理系统 V3．50.lnk";

struct HiddenTextCase {
    const char* description;
    std::optional<std::string> before;  // the ".hidden" file; nothing: none
    std::string after;
};

TEST_F(MenuEntriesTest, TheHiddenFileListsTheLinkOnceAndKeepsItsLines) {
    const std::string& name = kDesktopLink;
    const HiddenTextCase cases[] = {
        {"no file yet", std::nullopt, name + "\n"},
        {"other names", "notes.txt\n 空格 名字 \n\n", "notes.txt\n 空格 名字 \n\n" + name + "\n"},
        {"no final newline", "notes.txt", "notes.txt\n" + name + "\n"},
        {"already listed", "a\n" + name + "\nb", "a\n" + name + "\nb"},
        {"inside a longer name", name + ".bak\n", name + ".bak\n" + name + "\n"},
    };
    const fs::path desktop = win::HostPath(Desktop());
    fs::remove_all(desktop);
    fs::create_directories(home_ / "Desktop");
    fs::create_directory_symlink(home_ / "Desktop", desktop);
    const fs::path hidden = home_ / "Desktop/.hidden";
    for (const HiddenTextCase& c : cases) {
        SCOPED_TRACE(c.description);
        fs::remove(hidden);
        if (c.before) test_files::Write(hidden, *c.before);
        Save("C:\\Program Files\\Korvane\\Korvane.exe", cp936::ToUtf8(Desktop()) + "\\" + name);
        EXPECT_EQ(test_files::Read(hidden), c.after);
        EXPECT_TRUE(fs::exists(home_ / "Desktop/Korvane机器设备管理系统 V3．50.desktop"));
    }
}

struct HiddenFolderCase {
    const char* description;
    std::optional<std::string> userDirs;         // the user-dirs.dirs text
    std::optional<std::string> homeDesktopLink;  // ~/Desktop a link to this, below the home
    std::optional<std::string> prefixLink;  // the prefix's Desktop a link to this; else a folder
    std::optional<std::string> hiddenIn;    // the folder below the home that lists the link
};

TEST_F(MenuEntriesTest, OnlyThePersonsOwnDesktopFolderGetsAHiddenFile) {
    const HiddenFolderCase cases[] = {
        {"linked to ~/Desktop", std::nullopt, std::nullopt, "Desktop", "Desktop"},
        {"linked to the folder of XDG_DESKTOP_DIR", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n",
         std::nullopt, "桌面", "桌面"},
        {"linked to the folder behind ~/Desktop", std::nullopt, "real", "real", "real"},
        {"linked to another folder", std::nullopt, std::nullopt, "other", std::nullopt},
        {"a folder of the prefix's own", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    const fs::path desktop = win::HostPath(Desktop());
    for (const HiddenFolderCase& c : cases) {
        SCOPED_TRACE(c.description);
        fs::remove_all(home_);
        fs::remove_all(desktop);
        if (c.userDirs) test_files::Write(home_ / "config/user-dirs.dirs", *c.userDirs);
        if (c.homeDesktopLink) {
            fs::create_directories(home_ / *c.homeDesktopLink);
            fs::create_directory_symlink(home_ / *c.homeDesktopLink, home_ / "Desktop");
        }
        if (c.prefixLink) {
            fs::create_directories(home_ / *c.prefixLink);
            fs::create_directory_symlink(home_ / *c.prefixLink, desktop);
        } else {
            fs::create_directories(desktop);
        }
        Save("C:\\Program Files\\Korvane\\Korvane.exe",
             cp936::ToUtf8(Desktop()) + "\\" + kDesktopLink);

        std::set<std::string> hidden;  // below the scratch folder, which holds home and prefix
        for (const std::string& file : FilesBelow(scoped_.scratch())) {
            if (fs::path(file).filename() == ".hidden") hidden.insert(file);
        }
        EXPECT_EQ(hidden, c.hiddenIn ? std::set<std::string>{"home/" + *c.hiddenIn + "/.hidden"}
                                     : std::set<std::string>{});
        if (c.hiddenIn) {
            EXPECT_EQ(test_files::Read(home_ / *c.hiddenIn / ".hidden"), kDesktopLink + "\n");
        }
    }
}

TEST_F(MenuEntriesTest, AHiddenFileThatCannotBeWrittenFailsTheEntriesNotTheSave) {
    const fs::path desktop = win::HostPath(Desktop());
    fs::remove_all(desktop);
    fs::create_directories(home_ / "Desktop/.hidden");
    fs::create_directory_symlink(home_ / "Desktop", desktop);
    const std::string link = cp936::ToUtf8(Desktop()) + "\\" + kDesktopLink;

    testing::internal::CaptureStderr();
    EXPECT_EQ(SaveLink("C:\\Program Files\\Korvane\\Korvane.exe", cp936::FromUtf8(link)),
              win::S_OK);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Menu entries of a shortcut not written: "), std::string::npos) << told;
    EXPECT_NE(told.find((home_ / "Desktop/.hidden").string()), std::string::npos) << told;
    EXPECT_TRUE(fs::exists(home_ / "Desktop" / kDesktopLink));
    EXPECT_TRUE(fs::exists(home_ / "Desktop/Korvane机器设备管理系统 V3．50.desktop"));
}

struct BaseCase {
    std::optional<std::string> data, config;  // the variables' values; nothing: unset
    std::string dataFolder, configFolder;     // below the home folder
};

TEST_F(MenuEntriesTest, BaseFoldersFollowTheXdgRules) {
    const BaseCase cases[] = {
        {std::nullopt, std::nullopt, ".local/share", ".config"},
        {"", "", ".local/share", ".config"},
        {"relative/data", "relative/config", ".local/share", ".config"},
        {(home_ / "mine/data").string(), (home_ / "mine/config").string(), "mine/data",
         "mine/config"},
    };
    for (const BaseCase& c : cases) {
        SCOPED_TRACE(c.data.value_or("unset"));
        const ScopedVariable data("XDG_DATA_HOME", c.data);
        const ScopedVariable config("XDG_CONFIG_HOME", c.config);
        EXPECT_EQ(xdg::DataHome(), home_ / c.dataFolder);
        EXPECT_EQ(xdg::ConfigHome(), home_ / c.configFolder);

        Save("C:\\a.txt", cp936::ToUtf8(Programs()) + "\\G\\a.lnk");
        EXPECT_TRUE(fs::exists(home_ / c.dataFolder / "applications/wine/Programs/G/a.desktop"));
        EXPECT_TRUE(
            fs::exists(home_ / c.dataFolder / "desktop-directories/wine-Programs-G.directory"));
        EXPECT_TRUE(fs::exists(home_ / c.configFolder /
                               "menus/applications-merged/wine-Programs-G-a.menu"));
        fs::remove_all(home_);
    }
}

TEST_F(MenuEntriesTest, LinksOutsideTheTwoTreesGetNoEntries) {
    const std::string startMenu =
        cp936::ToUtf8(Programs()).substr(0, cp936::ToUtf8(Programs()).rfind('\\'));
    for (const std::string& link : {std::string("C:\\a.lnk"), startMenu + "\\a.lnk",
                                    cp936::ToUtf8(Desktop()) + "\\sub\\a.lnk",
                                    std::string("C:\\users\\Public\\Desktop\\a.lnk")}) {
        Save("C:\\Program Files\\Korvane\\Korvane.exe", link);
        EXPECT_EQ(FilesBelow(home_), std::set<std::string>()) << link;
    }

    // Without its "Programs" value the shortcut routine puts the group in the drive's root.
    const fs::path userReg = scoped_.prefix() / "user.reg";
    std::string text = test_files::Read(userReg), kept;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.compare(start, 11, "\"Programs\"=") != 0)
            kept += text.substr(start, end - start + 1);
    }
    test_files::Write(userReg, kept);
    ASSERT_EQ(Programs(), "");
    Save("C:\\Program Files\\Korvane\\Korvane.exe", "\\Korvane软件\\Korvane.lnk");
    EXPECT_EQ(FilesBelow(home_), std::set<std::string>());
}

struct IconCase {
    const char* description;
    std::string target;
    std::optional<std::string> bytes;  // the program's file; nothing for a document
    std::string icon;                  // the theme name; "" for a program's own icon
    std::vector<int> sizes;            // of the PNGs written for a program
};

TEST_F(MenuEntriesTest, IconsOfProgramsAndDocuments) {
    const IconCase cases[] = {
        {"a program with an icon",
         "C:\\Program Files\\Korvane\\Tool.exe",
         pe_fixture::ProgramWithIcon(),
         "",
         {16, 32}},
        {"a placeholder program",
         "C:\\Program Files\\Korvane\\Korvane.exe",
         "Placeholder\n",
         "",
         {16, 32, 48, 64}},
        {"a manual",
         "C:\\Program Files\\Korvane\\使用说明书.pdf",
         std::nullopt,
         "application-pdf",
         {}},
        {"a read-me",
         "C:\\Program Files\\Korvane\\软件使用必读.TXT",
         std::nullopt,
         "text-x-generic",
         {}},
    };
    for (const IconCase& c : cases) {
        SCOPED_TRACE(c.description);
        if (c.bytes) Install(c.target, *c.bytes);
        Save(c.target, cp936::ToUtf8(Programs()) + "\\G\\" + c.description + ".lnk");
        const std::string icon = desktop_files::Read(home_ / "data/applications/wine/Programs/G" /
                                                     (std::string(c.description) + ".desktop"))
                                     .at("Icon");
        if (!c.icon.empty()) {
            EXPECT_EQ(icon, c.icon);
            continue;
        }
        const std::string stem =
            c.target.substr(c.target.rfind('\\') + 1, c.target.size() - c.target.rfind('\\') - 5);
        EXPECT_TRUE(icon.ends_with("_" + stem + ".0")) << icon;
        for (const int size : c.sizes) {
            const std::string dimension = std::to_string(size) + "x" + std::to_string(size);
            const QImage image(QString::fromStdString(
                (home_ / "data/icons/hicolor" / dimension / "apps" / (icon + ".png")).string()));
            EXPECT_EQ(image.size(), QSize(size, size)) << dimension;
        }
        std::set<std::string> written;
        for (const std::string& file : FilesBelow(home_ / "data/icons")) {
            if (file.find(icon) != std::string::npos) written.insert(file);
        }
        EXPECT_EQ(written.size(), c.sizes.size());
    }
    // The icon of a program with an icon is the program's own: red at 16 by 16.
    const QImage small(QString::fromStdString(
        (home_ / "data/icons/hicolor/16x16/apps").string() + "/" +
        desktop_files::Read(home_ /
                            "data/applications/wine/Programs/G/a program with an icon.desktop")
            .at("Icon") +
        ".png"));
    EXPECT_EQ(small.pixel(8, 8), 0xFFFF0000);
}

TEST_F(MenuEntriesTest, AnExistingEntryIsReplaced) {
    const fs::path entry = home_ / "data/applications/wine/Programs/G/a.desktop";
    fs::create_directories(entry.parent_path());
    test_files::Write(entry, "[Desktop Entry]\nName=old\nExec=old\nHidden=true\n");
    Save("C:\\a.txt", cp936::ToUtf8(Programs()) + "\\G\\a.lnk");
    const auto keys = desktop_files::Read(entry);
    EXPECT_EQ(keys.at("Name"), "a");
    EXPECT_EQ(keys.count("Hidden"), 0u);
    EXPECT_EQ(FilesBelow(entry.parent_path()), std::set<std::string>{"a.desktop"});
}

// A failure to write the entries is told but never fails the save: the link is there, and
// no entry is left half-written.
TEST_F(MenuEntriesAsOthersTest, AnUnwritableApplicationsFolderFailsTheEntriesNotTheSave) {
    const fs::path applications = home_ / "data/applications";
    const std::string link = cp936::ToUtf8(Programs()) + "\\G\\a.lnk";
    fs::create_directories(win::HostPath(cp936::FromUtf8(link)).parent_path());
    struct Blocker {
        const char* description;
        void (*make)(const fs::path&);
    };
    const Blocker blockers[] = {
        {"a read-only folder",
         [](const fs::path& folder) {
             fs::create_directories(folder);
             fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
         }},
        {"a file in its place", [](const fs::path& folder) { test_files::Write(folder, "x"); }},
    };
    for (const Blocker& blocker : blockers) {
        SCOPED_TRACE(blocker.description);
        fs::remove_all(home_);
        fs::create_directories(home_ / "data");
        blocker.make(applications);
        // Somebody other than root (in root's group still), so the folder's bits count: the
        // scratch tree is opened up to them.
        const auto openUp = fs::perms::group_all | fs::perms::others_all;
        for (const auto& entry : fs::recursive_directory_iterator(scoped_.scratch())) {
            if (entry.path() != applications && !entry.is_symlink()) {
                fs::permissions(entry.path(), openUp, fs::perm_options::add);
            }
        }
        fs::permissions(scoped_.scratch(), openUp, fs::perm_options::add);
        testing_support::Unprivileged asSomebodyElse;
        const std::set<std::string> before = FilesBelow(home_ / "data");

        testing::internal::CaptureStderr();
        EXPECT_EQ(SaveLink("C:\\a.txt", cp936::FromUtf8(link)), win::S_OK);
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_NE(told.find(applications.string()), std::string::npos) << told;
        EXPECT_TRUE(fs::exists(win::HostPath(cp936::FromUtf8(link))));
        EXPECT_EQ(FilesBelow(home_ / "data"), before) << "nothing written, nothing half-written";
        EXPECT_FALSE(fs::exists(home_ / "config"));
        try {
            win::WriteMenuEntries(cp936::FromUtf8(link), "C:\\a.txt");
            ADD_FAILURE() << "no error";
        } catch (const SetupError& error) {
            EXPECT_NE(error.Message().find(applications.string()), std::string::npos)
                << error.Message();
        }
    }
}

}  // namespace
