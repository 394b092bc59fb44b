#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/CodePage.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "support/ErrorText.h"
#include "support/ScratchDir.h"

namespace fs = std::filesystem;
using testing_support::ErrorOf;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

struct HostCase {
    std::string windows;
    std::string host;  // below the prefix unless it starts with "/"
};

TEST(Paths, WindowsPathsMapToHostPaths) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    fs::create_directories(scoped.prefix() / "drive_c/Program Files/Korvane");
    fs::create_directories(scoped.prefix() / "drive_c" / "中文" / "誠");
    const HostCase cases[] = {
        {"C:\\windows\\system32", "drive_c/windows/system32"},
        {"c:\\WINDOWS\\System32", "drive_c/windows/system32"},  // case matched on disk
        {"C:\\PROGRAM FILES\\korvane\\New.txt", "drive_c/Program Files/Korvane/New.txt"},
        {"C:\\Missing\\Deeper", "drive_c/Missing/Deeper"},        // kept as written
        {"\\Korvane.lnk", "drive_c/Korvane.lnk"},                 // the current drive
        {"C:\\windows\\\\system32", "drive_c/windows/system32"},  // doubled separators
        {"C:\\", "drive_c"},
        {"C:", "drive_c"},
        {"C:/windows/system32/", "drive_c/windows/system32"},
        {"C:\\a\\..\\windows\\.\\system32", "drive_c/windows/system32"},
        {"C:\\..\\..\\windows", "drive_c/windows"},  // never above the root
        {"C:\\中文\\誠\\x"_gbk, "drive_c/中文/誠/x"},
        {"C:\\誠abc"_gbk, "drive_c/誠abc"},  // 誠 ends in 0x5C, which is no separator
        {"Z:\\tmp", "/tmp"},
        {"z:\\", "/"},
    };
    for (const HostCase& c : cases) {
        const fs::path expected = c.host[0] == '/' ? fs::path(c.host) : scoped.prefix() / c.host;
        EXPECT_EQ(win::HostPath(c.windows), fs::weakly_canonical(expected)) << c.windows;
    }
}

TEST(Paths, UnreachablePathsAreErrorsNamingTheDrive) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    fs::create_symlink(scoped.scratch() / "nowhere", scoped.prefix() / "dosdevices/e:");
    const struct {
        std::string path;
        std::string named;
    } cases[] = {
        {"D:\\data", "D:"},
        {"e:\\data", "E:"},  // a dosdevices link that points nowhere
        {"relative\\path", "relative\\path"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"C:\\\xD6", "in the path C:\\\xD6"},  // a lead byte without its trail byte
    };
    for (const auto& c : cases) {
        const std::string message = ErrorOf([&] { win::HostPath(c.path); });
        EXPECT_NE(message.find(c.named), std::string::npos) << c.path << ": " << message;
    }
}

TEST(Paths, FileCallsNeedAPrefixButDoNotMakeOne) {
    ScopedPrefix scoped;
    EXPECT_NE(ErrorOf([] { win::HostPath("C:\\windows"); }).find("C:"), std::string::npos);
    EXPECT_FALSE(fs::exists(scoped.prefix()));
}

TEST(Paths, HostPathsMapBackThroughTheDriveThatHoldsThem) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    const fs::path data = scoped.scratch() / "data";
    fs::create_directories(data / "中文");
    fs::create_directory_symlink(data, scoped.prefix() / "dosdevices/d:");
    const HostCase cases[] = {
        {"C:\\windows\\system32", "drive_c/windows/system32"},
        {"C:\\", "drive_c"},
        {"C:\\Program Files\\Korvane", "drive_c/Program Files/Korvane"},  // not there yet
        {"D:\\中文"_gbk, data.string() + "/中文"},
        {"D:\\", data.string()},
        {"Z:\\usr\\lib", "/usr/lib"},
        {"Z:\\", "/"},
    };
    for (const HostCase& c : cases) {
        const fs::path host = c.host[0] == '/' ? fs::path(c.host) : scoped.prefix() / c.host;
        EXPECT_EQ(win::WindowsPath(host), c.windows) << host;
        EXPECT_EQ(win::WindowsPath(host / "x/../"), c.windows) << host;
    }
    // Through the prefix's own link as well as the folder it points to.
    EXPECT_EQ(win::WindowsPath(scoped.prefix() / "dosdevices/c:/windows"), "C:\\windows");
    // A name that code page 936 cannot write.
    const std::string message = ErrorOf([&] { win::WindowsPath(data / "\xF0\x9F\x98\x80"); });
    EXPECT_NE(message.find("data/\\xF0\\x9F\\x98\\x80"), std::string::npos) << message;
}

TEST(Paths, HostNamesThatCannotBeWindowsNamesAreRefusedAndShown) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    const fs::path driveC = scoped.prefix() / "drive_c";
    const struct {
        std::string name;   // one host folder below drive_c
        std::string shown;  // its Windows path as shown
    } cases[] = {
        {"a\\b", "C:\\a?b"},           // would read as two folders
        {"..\\..\\x", "C:\\..?..?x"},  // would climb out of drive_c
        {"\\", "C:\\?"},
        {"1\xF0\x9F\x98\x80", "C:\\1?"},  // no such character in code page 936
        {"bad\xFFutf8", "C:\\bad?utf8"},  // not even UTF-8
    };
    for (const auto& c : cases) {
        fs::create_directories(driveC / c.name);
        const std::string message = ErrorOf([&] { win::WindowsPath(driveC / c.name); });
        EXPECT_NE(message.find("in the path"), std::string::npos) << c.name << ": " << message;
        EXPECT_EQ(win::ShownWindowsPath(driveC / c.name), c.shown) << c.name;
    }
}

TEST(Paths, DottedHostNamesStayInTheFolderThatHoldsThem) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    const fs::path chosen = scoped.prefix() / "drive_c/chosen";
    for (const std::string name : {"...", "..x", ".x", "x..", "x.", ".誠"}) {
        fs::create_directories(chosen / name);
        const std::string windows = win::WindowsPath(chosen / name);
        EXPECT_EQ(windows, "C:\\chosen\\" + cp936::FromUtf8(name));
        EXPECT_EQ(win::ShownWindowsPath(chosen / name), windows);
        EXPECT_EQ(win::HostPath(windows), chosen / name) << name;
    }
}

}  // namespace
