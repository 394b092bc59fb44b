#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <stdexcept>

#include "platform/CodePage.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

// Every test works in C:\work of a fresh prefix; host() gives the file behind a name there.
class WinFiles : public ::testing::Test {
protected:
    void SetUp() override {
        win::EnsurePrefix();
        fs::create_directories(host(""));
    }
    fs::path host(const std::string& name) const {
        return scoped_.prefix() / "drive_c/work" / name;
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(host("")))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScopedPrefix scoped_;
};

TEST_F(WinFiles, CreateDirectoryMakesOneLevel) {
    EXPECT_TRUE(win::CreateDirectoryA("C:\\work\\a"));
    EXPECT_TRUE(fs::is_directory(host("a")));
    EXPECT_FALSE(win::CreateDirectoryA("C:\\work\\a"));     // exists
    EXPECT_FALSE(win::CreateDirectoryA("C:\\work\\b\\c"));  // parent missing
    EXPECT_FALSE(win::CreateDirectoryA("Q:\\work"));        // no such drive
    const std::string chinese = "C:\\work\\软件誠"_gbk;     // 誠 ends in a trail byte 0x5C
    EXPECT_TRUE(win::CreateDirectoryA(chinese));
    EXPECT_TRUE(fs::is_directory(host("软件誠")));
}

TEST_F(WinFiles, AttributesAndExistence) {
    test_files::Write(host("file.txt"), "x");
    const struct {
        std::string path;
        win::DWORD attributes;
        bool exists;
    } cases[] = {
        {"C:\\work", win::FILE_ATTRIBUTE_DIRECTORY, false},
        {"C:\\WORK\\FILE.TXT", win::FILE_ATTRIBUTE_NORMAL, true},
        {"C:\\work\\missing", win::INVALID_FILE_ATTRIBUTES, false},
        {"C:\\work\\file.txt\\below", win::INVALID_FILE_ATTRIBUTES, false},
        {"Q:\\work", win::INVALID_FILE_ATTRIBUTES, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win::GetFileAttributesA(c.path), c.attributes) << c.path;
        EXPECT_EQ(win::FileExists(c.path), c.exists) << c.path;
    }
}

TEST_F(WinFiles, ReadOnlyMarkIsTheOwnerWriteBit) {
    test_files::Write(host("file.txt"), "x");
    EXPECT_TRUE(win::SetFileAttributesA("C:\\work\\file.txt", win::FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fs::status(host("file.txt")).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(win::GetFileAttributesA("C:\\work\\file.txt"), win::FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(win::DeleteFileA("C:\\work\\file.txt"));  // Windows refuses: access denied
    EXPECT_TRUE(win::SetFileAttributesA("C:\\work\\file.txt", win::FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(win::GetFileAttributesA("C:\\work\\file.txt"), win::FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(win::DeleteFileA("C:\\work\\file.txt"));
    EXPECT_FALSE(win::SetFileAttributesA("C:\\work\\file.txt", win::FILE_ATTRIBUTE_NORMAL));
}

TEST_F(WinFiles, DeleteTakesFilesOnly) {
    fs::create_directory(host("folder"));
    EXPECT_FALSE(win::DeleteFileA("C:\\work\\folder"));
    EXPECT_FALSE(win::DeleteFileA("C:\\work\\missing"));
    EXPECT_TRUE(fs::is_directory(host("folder")));
}

// A file of hundreds of megabytes goes in steps, with the hook between them; a file the
// delete must refuse is refused before anything of it is touched.
TEST_F(WinFiles, DeleteShrinksALargeFileInStepsWithTheHook) {
    const auto makeLarge = [&](const char* name) {
        std::ofstream(host(name)) << "x";
        fs::resize_file(host(name), std::uintmax_t{300} << 20);  // sparse: quick to make
    };
    makeLarge("large");
    int hooks = 0;
    EXPECT_TRUE(win::DeleteFileA("C:\\work\\large", [&] { ++hooks; }));
    EXPECT_GE(hooks, 4);
    EXPECT_TRUE(Listing().empty());  // no hidden remainder either

    makeLarge("kept");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\work\\kept", win::FILE_ATTRIBUTE_READONLY));
    hooks = 0;
    EXPECT_FALSE(win::DeleteFileA("C:\\work\\kept", [&] { ++hooks; }));
    EXPECT_EQ(hooks, 0);
    EXPECT_EQ(fs::file_size(host("kept")), std::uintmax_t{300} << 20);
    EXPECT_EQ(Listing(), std::vector<std::string>{"kept"});
}

TEST_F(WinFiles, MoveNeverReplaces) {
    test_files::Write(host("a"), "A");
    test_files::Write(host("b"), "B");
    EXPECT_FALSE(win::MoveFileA("C:\\work\\a", "C:\\work\\b"));
    EXPECT_EQ(test_files::Read(host("a")), "A");
    EXPECT_EQ(test_files::Read(host("b")), "B");
    EXPECT_TRUE(win::MoveFileA("C:\\work\\a", "C:\\work\\c"));
    EXPECT_FALSE(fs::exists(host("a")));
    EXPECT_EQ(test_files::Read(host("c")), "A");
    EXPECT_FALSE(win::MoveFileA("C:\\work\\missing", "C:\\work\\d"));
}

TEST_F(WinFiles, CopyReplacesOnlyWhenAllowed) {
    test_files::Write(host("source"), "new");
    test_files::Write(host("target"), "old");
    EXPECT_FALSE(win::CopyFileA("C:\\work\\source", "C:\\work\\target", true));
    EXPECT_EQ(test_files::Read(host("target")), "old");
    EXPECT_TRUE(win::CopyFileA("C:\\work\\source", "C:\\work\\target", false));
    EXPECT_EQ(test_files::Read(host("target")), "new");
    EXPECT_TRUE(win::CopyFileA("C:\\work\\source", "C:\\work\\fresh", true));
    EXPECT_EQ(test_files::Read(host("fresh")), "new");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"fresh", "source", "target"}));  // no leftovers
}

TEST_F(WinFiles, CopyRefusesWhatWindowsRefuses) {
    test_files::Write(host("source"), "new");
    test_files::Write(host("locked"), "old");
    fs::permissions(host("locked"), fs::perms::owner_write, fs::perm_options::remove);
    fs::create_directory(host("folder"));
    const struct {
        const char* from;
        const char* to;
    } cases[] = {
        {"C:\\work\\source", "C:\\work\\locked"},  // read-only target
        {"C:\\work\\source", "C:\\work\\folder"},  // a folder as target
        {"C:\\work\\folder", "C:\\work\\copy"},    // a folder as source
        {"C:\\work\\missing", "C:\\work\\copy"},
        {"C:\\work\\source", "C:\\work\\source"},  // onto itself
        {"C:\\work\\source", "C:\\work\\no\\copy"},
        {"C:\\work\\source", "Q:\\copy"},
    };
    for (const auto& c : cases) EXPECT_FALSE(win::CopyFileA(c.from, c.to, false)) << c.to;
    EXPECT_EQ(test_files::Read(host("locked")), "old");
    EXPECT_EQ(test_files::Read(host("source")), "new");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "locked", "source"}));
}

TEST_F(WinFiles, CopyKeepsTheReadOnlyMarkAndTheTime) {
    test_files::Write(host("source"), "data");
    fs::last_write_time(host("source"), fs::file_time_type{} + std::chrono::hours(400000));
    win::SetFileAttributesA("C:\\work\\source", win::FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(win::CopyFileA("C:\\work\\source", "C:\\work\\copy", false));
    EXPECT_EQ(win::GetFileAttributesA("C:\\work\\copy"), win::FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(fs::last_write_time(host("copy")), fs::last_write_time(host("source")));
}

TEST_F(WinFiles, LargeCopyGoesInChunksCallingTheHook) {
    std::string content(5 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 5);
    test_files::Write(host("big"), content);
    int calls = 0;
    EXPECT_TRUE(win::CopyFileA("C:\\work\\big", "C:\\work\\copy", false, [&] { ++calls; }));
    EXPECT_GT(calls, 1);
    EXPECT_TRUE(test_files::Read(host("copy")) == content);
}

// A /proc file tells a size of 0 and the kernel will not copy it: its bytes are read.
TEST_F(WinFiles, CopyReadsAFileWhoseSizeTheSystemDoesNotTell) {
    ASSERT_EQ(fs::file_size("/proc/version"), 0u);
    EXPECT_TRUE(win::CopyFileA("Z:\\proc\\version", "C:\\work\\version", false));
    const std::string copy = test_files::Read(host("version"));
    EXPECT_FALSE(copy.empty());
    EXPECT_EQ(copy, test_files::Read("/proc/version"));
}

TEST_F(WinFiles, CopyStoppedByTheHookLeavesTheTargetAsItWas) {
    test_files::Write(host("big"), std::string(3 * 1024 * 1024, 'n'));
    test_files::Write(host("copy"), "old");
    EXPECT_THROW(win::CopyFileA("C:\\work\\big", "C:\\work\\copy", false,
                                [] { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    EXPECT_EQ(test_files::Read(host("copy")), "old");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"big", "copy"}));
}

TEST(WinFilesFacts, SystemDirectoryModuleAndErrorMode) {
    ScopedPrefix scoped;
    win::EnsurePrefix();
    EXPECT_EQ(win::GetSystemDirectoryA(), "C:\\windows\\system32");
    const std::string self = win::GetModuleFileNameA();
    EXPECT_EQ(self.rfind("Z:\\", 0), 0u) << self;  // the test program lives outside the prefix
    EXPECT_EQ(win::HostPath(self), fs::read_symlink("/proc/self/exe"));
    // The program's folder, as the install takes it: everything before the last "\".
    const std::string folder = self.substr(0, cp936::LastDelimiter(self, "\\"));
    EXPECT_EQ(win::HostPath(folder), fs::read_symlink("/proc/self/exe").parent_path());

    const win::UINT before = win::SetErrorMode(win::SEM_FAILCRITICALERRORS);
    EXPECT_EQ(win::SetErrorMode(before), win::SEM_FAILCRITICALERRORS);
}

TEST(WinFilesFacts, CallsWithoutAPrefixFailAndMakeNone) {
    ScopedPrefix scoped;
    EXPECT_FALSE(win::CreateDirectoryA("C:\\Program Files"));
    EXPECT_EQ(win::GetFileAttributesA("C:\\windows"), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(fs::exists(scoped.prefix()));
}

}  // namespace
