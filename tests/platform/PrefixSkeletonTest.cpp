#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/CodePage.h"
#include "platform/PathMapping.h"
#include "platform/PrefixRoot.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "support/ErrorText.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

namespace fs = std::filesystem;
using testing_support::ErrorOf;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

std::string Login() {
    // The skeleton is made for the user running the program.
    for (const auto& entry :
         fs::directory_iterator(fs::path(getenv("WINEPREFIX")) / "drive_c" / "users")) {
        return entry.path().filename().string();
    }
    return {};
}

TEST(Prefix, MissingPrefixGetsTheSkeleton) {
    ScopedPrefix scoped;
    const fs::path prefix = scoped.prefix();
    ASSERT_FALSE(fs::exists(prefix));
    win::EnsurePrefix();

    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices/c:"), "../drive_c");
    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices/z:"), "/");
    EXPECT_TRUE(fs::is_directory(prefix / "drive_c/windows/system32"));
    EXPECT_TRUE(fs::is_directory(prefix / "drive_c/Program Files"));
    const fs::path home = prefix / "drive_c/users" / Login();
    const fs::path roaming = home / "AppData/Roaming/Microsoft/Windows";
    for (const fs::path& folder :
         {home / "Desktop", roaming / "Start Menu/Programs", roaming / "SendTo"}) {
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    }

    const std::string reg = test_files::Read(prefix / "user.reg");
    const std::string users = "C:\\\\users\\\\" + Login() + "\\\\";
    EXPECT_EQ(reg.rfind("WINE REGISTRY Version 2\n", 0), 0u);
    for (const char* line :
         {"[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] ",
          "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell "
          "Folders] "}) {
        EXPECT_NE(reg.find(line), std::string::npos) << line;
    }
    for (const std::string& line :
         {"\"Desktop\"=\"" + users + "Desktop\"\n",
          "\"Programs\"=\"" + users +
              "AppData\\\\Roaming\\\\Microsoft\\\\Windows\\\\Start Menu\\\\Programs\"\n",
          "\"SendTo\"=\"" + users + "AppData\\\\Roaming\\\\Microsoft\\\\Windows\\\\SendTo\"\n",
          "\"Start Menu\"=\"" + users +
              "AppData\\\\Roaming\\\\Microsoft\\\\Windows\\\\Start Menu\"\n",
          "\"Desktop\"=str(2):\"" + users + "Desktop\"\n"}) {
        EXPECT_NE(reg.find(line), std::string::npos) << line;
    }
    std::vector<std::string> names;  // nothing else, no temporary file
    for (const auto& entry : fs::directory_iterator(prefix))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dosdevices", "drive_c", "user.reg"}));
}

// Every path below root, with the target of each symbolic link.
std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        std::string entry = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            entry += " -> " + fs::read_symlink(it->path()).string();
            it.disable_recursion_pending();
        }
        tree.push_back(entry);
    }
    std::sort(tree.begin(), tree.end());
    return tree;
}

// A person's prefix: no system32 or Program Files any more, no SendTo, the desktop moved
// outside the prefix in the registry, a line of its own in user.reg, an extra drive.
class PersonsPrefix : public ::testing::Test {
protected:
    void SetUp() override {
        win::EnsurePrefix();
        const fs::path home = prefix() / "drive_c/users" / Login();
        fs::remove_all(prefix() / "drive_c/windows/system32");
        fs::remove_all(prefix() / "drive_c/Program Files");
        fs::remove_all(home / "Desktop");
        fs::remove_all(home / "AppData/Roaming/Microsoft/Windows/SendTo");
        reg_ = test_files::Read(prefix() / "user.reg");
        const std::string desktop = "\"Desktop\"=\"C:\\\\users\\\\" + Login() + "\\\\Desktop\"";
        const std::string moved = "\"Desktop\"=\"Z:" + Escaped(desktop_.string()) + "\"";
        reg_.replace(reg_.find(desktop), desktop.size(), moved);
        reg_ += ";; mine\n";
        test_files::Write(prefix() / "user.reg", reg_);
        fs::create_directory_symlink(scoped_.scratch(), prefix() / "dosdevices/d:");
    }

    static std::string Escaped(const std::string& hostPath) {
        std::string escaped;
        for (const char c : hostPath) escaped += c == '/' ? std::string("\\\\") : std::string(1, c);
        return escaped;
    }
    fs::path prefix() const { return scoped_.prefix(); }

    ScopedPrefix scoped_;
    const fs::path desktop_ = scoped_.scratch() / "x" / "deep";
    std::string reg_;
};

TEST_F(PersonsPrefix, StartUpChangesNothingOfIt) {
    const std::vector<std::string> before = Tree(scoped_.scratch());
    win::EnsurePrefix();
    EXPECT_EQ(Tree(scoped_.scratch()), before);
    EXPECT_FALSE(fs::exists(scoped_.scratch() / "x"));
    EXPECT_EQ(test_files::Read(prefix() / "user.reg"), reg_);
}

TEST_F(PersonsPrefix, TheInstallationMakesTheFoldersItWritesInto) {
    win::EnsureStandardFolders();
    EXPECT_TRUE(fs::is_directory(prefix() / "drive_c/windows/system32"));
    EXPECT_TRUE(fs::is_directory(prefix() / "drive_c/Program Files"));
    EXPECT_TRUE(fs::is_directory(desktop_));
    const fs::path home = prefix() / "drive_c/users" / Login();
    EXPECT_TRUE(fs::is_directory(home / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"));
    // Only what the installation writes into: no links go to SendTo, nor to the old desktop.
    EXPECT_FALSE(fs::exists(home / "AppData/Roaming/Microsoft/Windows/SendTo"));
    EXPECT_FALSE(fs::exists(home / "Desktop"));
    EXPECT_EQ(test_files::Read(prefix() / "user.reg"), reg_);
    EXPECT_EQ(fs::read_symlink(prefix() / "dosdevices/d:"), scoped_.scratch());
}

TEST(Prefix, UnusableFoldersAreLeftToTheStepsThatWriteIntoThem) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    const fs::path desktop = scoped.prefix() / "drive_c/users" / Login() / "Desktop";
    const fs::path system32 = scoped.prefix() / "drive_c/windows/system32";
    fs::remove_all(desktop);
    fs::remove_all(system32);
    test_files::Write(desktop, "a file where the desktop folder should be");
    test_files::Write(system32, "a file where the system folder should be");
    EXPECT_NO_THROW(win::EnsureStandardFolders());
    EXPECT_TRUE(fs::is_regular_file(desktop));
    EXPECT_TRUE(fs::is_regular_file(system32));
    EXPECT_TRUE(fs::is_directory(scoped.prefix() / "drive_c/Program Files"));
}

TEST(Prefix, BadPrefixesGiveErrorsNamingThePath) {
    ScopedPrefix scoped;
    // A prefix that cannot be created: below a file system that takes no new folders.
    setenv("WINEPREFIX", "/proc/korvane-prefix", 1);
    EXPECT_NE(ErrorOf(win::EnsurePrefix).find("/proc/korvane-prefix"), std::string::npos);

    // A prefix that is a file.
    { std::ofstream(scoped.prefix()) << "x"; }
    setenv("WINEPREFIX", scoped.prefix().c_str(), 1);
    EXPECT_NE(ErrorOf(win::EnsurePrefix).find(scoped.prefix().string()), std::string::npos);
    fs::remove(scoped.prefix());

    // An existing prefix whose drive C: link points nowhere.
    win::EnsurePrefix();
    fs::remove(scoped.prefix() / "dosdevices/c:");
    fs::create_symlink("../gone", scoped.prefix() / "dosdevices/c:");
    const std::string message = ErrorOf(win::EnsurePrefix);
    EXPECT_NE(message.find("C:"), std::string::npos) << message;
    EXPECT_NE(message.find("dosdevices/c:"), std::string::npos) << message;
}

TEST(Prefix, ReadOnlyPrefixFolderIsReportedByName) {
    ScopedPrefix scoped(testing_support::Reach::Others);
    const std::string reason = testing_support::UnreachableByOthers(scoped.scratch());
    if (!reason.empty()) GTEST_SKIP() << reason;
    fs::create_directories(scoped.prefix());
    { std::ofstream(scoped.prefix() / "placeholder") << "x"; }
    fs::permissions(scoped.prefix(), fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(scoped.scratch(), fs::perms::others_exec, fs::perm_options::add);
    testing_support::Unprivileged asSomebodyElse;
    EXPECT_NE(ErrorOf(win::EnsurePrefix).find(scoped.prefix().string()), std::string::npos);
}

TEST(Prefix, RootIsWinePrefixElseHomeWine) {
    ScopedPrefix scoped;
    EXPECT_EQ(win::PrefixRoot(), scoped.prefix());
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("WINEPREFIX");
    setenv("HOME", "/home/somebody", 1);
    EXPECT_EQ(win::PrefixRoot(), fs::path("/home/somebody/.wine"));
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
