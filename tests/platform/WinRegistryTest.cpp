#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "platform/CodePage.h"
#include "platform/RegText.h"
#include "platform/WinRegistry.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

namespace fs = std::filesystem;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

const std::string kKorvaneKey = "Software\\Wine\\Korvane\\软件"_gbk;

std::string Fixture() { return test_files::Read(fs::path(KORVANE_FIXTURES) / "user.reg"); }

// A prefix folder holding only user.reg with the given text.
class Registry : public ::testing::Test {
protected:
    explicit Registry(testing_support::Reach reach = testing_support::Reach::Owner)
        : scoped_(reach) {}
    void UseUserReg(const std::string& text) {
        fs::create_directories(scoped_.prefix());
        test_files::Write(userReg(), text);
    }
    fs::path userReg() const { return scoped_.prefix() / "user.reg"; }
    std::vector<std::string> PrefixListing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(scoped_.prefix()))
            names.push_back(entry.path().filename());
        return names;
    }

    ScopedPrefix scoped_;
};

// For cases that act as another user, who must reach the prefix.
class RegistryAsOthers : public Registry {
protected:
    RegistryAsOthers() : Registry(testing_support::Reach::Others) {}
    void SetUp() override {
        const std::string reason = testing_support::UnreachableByOthers(scoped_.scratch());
        if (!reason.empty()) GTEST_SKIP() << reason;
    }
};

// A text value as it is read: its bytes and the terminating NUL.
std::string Sz(const std::string& text) { return text + '\0'; }

struct ValueCase {
    const char* key;
    const char* name;
    win::DWORD type;
    std::string data;
};

TEST_F(Registry, ReadsValuesAsWineWritesThem) {
    UseUserReg(Fixture());
    const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    const std::string shell = explorer + "Shell Folders";
    const std::string user = explorer + "User Shell Folders";
    const std::string zh = "中文"_gbk;
    const std::string cheng = "誠"_gbk;
    const std::string songti = "宋体"_gbk;
    const ValueCase cases[] = {
        {shell.c_str(), "Desktop", win::REG_SZ, Sz("C:\\users\\wu\\Desktop")},
        {"SOFTWARE\\MICROSOFT\\windows\\currentversion\\explorer\\shell folders", "start menu",
         win::REG_SZ, Sz("C:\\users\\wu\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu")},
        {user.c_str(), "Desktop", win::REG_EXPAND_SZ, Sz("%USERPROFILE%\\Desktop")},
        {"Control Panel\\Desktop", "FontSmoothingGamma", win::REG_DWORD,
         std::string("\x78\x05\0\0", 4)},
        {"Control Panel\\Desktop", "UserPreferencesMask", win::REG_BINARY,
         std::string("\x10\0\x02\x80\x10\0\0\0", 8)},
        {"Control Panel\\International", "sCountry", win::REG_SZ, "中华人民共和国"_gbk + '\0'},
        {"Software\\Wine\\Fonts\\Replacements", songti.c_str(), win::REG_SZ, Sz("AR PL UMing CN")},
        {"AppEvents\\Schemes\\Apps\\.Default\\SystemAsterisk\\.Current", nullptr, win::REG_SZ,
         Sz("C:\\windows\\media\\chord.wav")},
        {kKorvaneKey.c_str(), "Escapes", win::REG_SZ,
         "tab\there \"quoted\" back\\slash " + zh + " " + cheng + "\\end" + '\0'},
        {kKorvaneKey.c_str(), "Octal", win::REG_SZ,
         std::string("ctrl\x01 x\x01"
                     "2 esc\x1B\0",
                     15)},
        {kKorvaneKey.c_str(), "Hex4", win::REG_SZ, "éa"_gbk + '\0'},
        {kKorvaneKey.c_str(), "Answer", win::REG_DWORD, std::string("\x2A\0\0\0", 4)},
        {kKorvaneKey.c_str(), "Expand", win::REG_EXPAND_SZ, Sz("%TEMP%")},
        {kKorvaneKey.c_str(), "Multi", win::REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
        {kKorvaneKey.c_str(), "Empty", win::REG_SZ, Sz("")},
        {kKorvaneKey.c_str(), "[Brackets]", win::REG_SZ, Sz("also a name")},
    };
    for (const ValueCase& c : cases) {
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, c.key, 0, win::KEY_READ, &key),
                  win::ERROR_SUCCESS)
            << c.key;
        win::DWORD type = 0;
        win::DWORD size = 0;
        ASSERT_EQ(win::RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size),
                  win::ERROR_SUCCESS)
            << (c.name ? c.name : "@");
        std::string data(size, '?');
        EXPECT_EQ(win::RegQueryValueExA(key, c.name, nullptr, &type,
                                        reinterpret_cast<win::BYTE*>(data.data()), &size),
                  win::ERROR_SUCCESS);
        EXPECT_EQ(type, c.type) << (c.name ? c.name : "@");
        EXPECT_EQ(data, c.data) << (c.name ? c.name : "@");
        EXPECT_EQ(win::RegCloseKey(key), win::ERROR_SUCCESS);
    }
    // All sixteen bytes of the blob, read over its continuation line.
    win::HKEY key = nullptr;
    ASSERT_EQ(
        win::RegOpenKeyExA(win::HKEY_CURRENT_USER, kKorvaneKey.c_str(), 0, win::KEY_READ, &key),
        win::ERROR_SUCCESS);
    win::DWORD size = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "Blob", nullptr, nullptr, nullptr, &size),
              win::ERROR_SUCCESS);
    EXPECT_EQ(size, 32u);
    win::RegCloseKey(key);
}

TEST_F(Registry, AnswersAsWindowsDoes) {
    UseUserReg(Fixture());
    win::HKEY key = nullptr;
    ASSERT_EQ(
        win::RegOpenKeyExA(win::HKEY_CURRENT_USER, kKorvaneKey.c_str(), 0, win::KEY_READ, &key),
        win::ERROR_SUCCESS);
    win::BYTE small[4];
    win::DWORD size = sizeof small;
    EXPECT_EQ(win::RegQueryValueExA(key, "Escapes", nullptr, nullptr, small, &size),
              win::ERROR_MORE_DATA);
    EXPECT_GT(size, 4u);
    EXPECT_EQ(win::RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
              win::ERROR_FILE_NOT_FOUND);
    // A character that code page 936 lacks: the size can be asked, the text cannot be read.
    EXPECT_EQ(win::RegQueryValueExA(key, "Smile", nullptr, nullptr, nullptr, &size),
              win::ERROR_SUCCESS);
    win::BYTE buffer[64];
    size = sizeof buffer;
    EXPECT_EQ(win::RegQueryValueExA(key, "Smile", nullptr, nullptr, buffer, &size),
              win::ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(win::RegCloseKey(key), win::ERROR_SUCCESS);
    EXPECT_EQ(win::RegCloseKey(key), win::ERROR_INVALID_HANDLE);
    EXPECT_EQ(win::RegQueryValueExA(key, "Escapes", nullptr, nullptr, nullptr, &size),
              win::ERROR_INVALID_HANDLE);

    // A key with subkeys but no values of its own has no line in the file, yet exists.
    EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "software\\wine", 0, win::KEY_READ, &key),
              win::ERROR_SUCCESS);
    win::HKEY child = nullptr;
    EXPECT_EQ(win::RegOpenKeyExA(key, "Drivers", 0, win::KEY_READ, &child), win::ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(win::RegQueryValueExA(child, "AUDIO", nullptr, nullptr, buffer, &size),
              win::ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), Sz("pulse"));
    win::RegCloseKey(child);
    win::RegCloseKey(key);
    EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "Software\\Win", 0, win::KEY_READ, &key),
              win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::OpenKeyCount(), 0u);
    EXPECT_EQ(test_files::Read(userReg()), Fixture());  // reading writes nothing
}

TEST_F(Registry, CreatedKeyIsAppendedAndEveryOtherLineKept) {
    UseUserReg(Fixture());
    win::HKEY key = nullptr;
    win::DWORD disposition = 0;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER,
                                   "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv", 0,
                                   nullptr, win::REG_OPTION_NON_VOLATILE, win::KEY_ALL_ACCESS,
                                   nullptr, &key, &disposition),
              win::ERROR_SUCCESS);
    EXPECT_EQ(disposition, win::REG_CREATED_NEW_KEY);
    win::RegCloseKey(key);

    const std::string written = test_files::Read(userReg());
    ASSERT_EQ(written.substr(0, Fixture().size()), Fixture());
    // The existing components keep the file's spelling ("Microsoft"), the new one its own.
    EXPECT_TRUE(std::regex_match(
        written.substr(Fixture().size()),
        std::regex("\n\\[Software\\\\\\\\Microsoft\\\\\\\\Windows\\\\\\\\CurrentVersion"
                   "\\\\\\\\GrpConv\\] [0-9]+\n#time=[0-9a-f]+\n")))
        << written.substr(Fixture().size());
    EXPECT_EQ(PrefixListing(), std::vector<std::string>{"user.reg"});  // no temporary file left

    // Read back by the same reader; a second create opens it and writes nothing.
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER,
                                 "software\\microsoft\\windows\\currentversion\\grpconv", 0,
                                 win::KEY_READ, &key),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER,
                                   "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv", 0,
                                   nullptr, 0, win::KEY_ALL_ACCESS, nullptr, &key, &disposition),
              win::ERROR_SUCCESS);
    EXPECT_EQ(disposition, win::REG_OPENED_EXISTING_KEY);
    win::RegCloseKey(key);
    EXPECT_EQ(test_files::Read(userReg()), written);

    // Keys that exist already, as a line or as the parent of one, are opened, not written.
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER,
                                   "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer", 0,
                                   nullptr, 0, win::KEY_ALL_ACCESS, nullptr, &key, &disposition),
              win::ERROR_SUCCESS);
    EXPECT_EQ(disposition, win::REG_OPENED_EXISTING_KEY);
    win::RegCloseKey(key);
    EXPECT_EQ(test_files::Read(userReg()), written);
}

TEST_F(Registry, SymbolicallyLinkedFileStaysALink) {
    // user.reg kept elsewhere (a shared or managed prefix) and linked in, directly, through
    // a relative link, or through a chain of links.
    const fs::path elsewhere = scoped_.scratch() / "elsewhere";
    const struct {
        const char* name;
        std::vector<std::pair<fs::path, fs::path>> links;  // link -> what it names
    } cases[] = {
        {"absolute", {{"user.reg", elsewhere / "user.reg"}}},
        {"relative", {{"user.reg", "../elsewhere/user.reg"}}},
        {"chain", {{"user.reg", "middle.reg"}, {"middle.reg", elsewhere / "user.reg"}}},
    };
    for (const auto& c : cases) {
        fs::remove_all(scoped_.prefix());
        fs::remove_all(elsewhere);
        fs::create_directories(scoped_.prefix());
        fs::create_directories(elsewhere);
        test_files::Write(elsewhere / "user.reg", Fixture());
        for (const auto& [link, target] : c.links)
            fs::create_symlink(target, scoped_.prefix() / link);

        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0,
                                       win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  win::ERROR_SUCCESS)
            << c.name;
        win::RegCloseKey(key);
        for (const auto& [link, target] : c.links) {
            EXPECT_TRUE(fs::is_symlink(scoped_.prefix() / link)) << c.name;
            EXPECT_EQ(fs::read_symlink(scoped_.prefix() / link), target) << c.name;
        }
        const std::string written = test_files::Read(elsewhere / "user.reg");
        EXPECT_NE(written.find("\n[Software\\\\New] "), std::string::npos) << c.name;
        EXPECT_EQ(written.rfind(Fixture(), 0), 0u) << c.name;
        std::vector<std::string> beside;  // no temporary file left there
        for (const auto& entry : fs::directory_iterator(elsewhere))
            beside.push_back(entry.path().filename());
        EXPECT_EQ(beside, std::vector<std::string>{"user.reg"}) << c.name;
    }
}

TEST_F(Registry, FileWithoutFinalLineFeedAndMissingFile) {
    UseUserReg("WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"1\"");
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "B", 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
    const std::string text = test_files::Read(userReg());
    EXPECT_EQ(text.rfind("WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"1\"\n\n[B] ", 0), 0u) << text;

    fs::remove(userReg());
    EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "B", 0, win::KEY_READ, &key),
              win::ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "B", 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
    EXPECT_EQ(test_files::Read(userReg()).rfind("WINE REGISTRY Version 2\n", 0), 0u);
    EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "b", 0, win::KEY_READ, &key),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
}

TEST_F(Registry, MalformedFileIsNeverWritten) {
    const std::string header = "WINE REGISTRY Version 2\n\n";
    const std::string cases[] = {
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n",
        header + "[Software\\\\Unclosed 1\n",
        header + "\"orphan\"=\"value before any key\"\n",
        header + "[A] 1\n\"bad\"=dword:12\n",
        header + "[A] 1\n\"bad\"=hex:1,2\n",
        header + "[A] 1\n\"bad\"=\"unterminated\n",
        header + "[A] 1\n\"bad\"=str(2)\"x\"\n",
        header + "[A] 1\n\"bad\"=float:1.5\n",
        header + "[A] 1\ngarbage\n",
        "",
    };
    for (const std::string& text : cases) {
        UseUserReg(text);
        win::HKEY key = nullptr;
        EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "A", 0, win::KEY_READ, &key),
                  win::ERROR_BADDB)
            << text;
        EXPECT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0,
                                       win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  win::ERROR_BADDB)
            << text;
        EXPECT_EQ(test_files::Read(userReg()), text);
        EXPECT_EQ(PrefixListing(), std::vector<std::string>{"user.reg"});
    }
}

TEST_F(Registry, UnreadableFileIsNotTakenForMissing) {
    fs::create_directories(userReg() / "inside");  // a folder where the file should be
    win::HKEY key = nullptr;
    EXPECT_NE(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0,
                                   win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
              win::ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_directory(userReg() / "inside"));
    EXPECT_EQ(PrefixListing(), std::vector<std::string>{"user.reg"});
}

TEST_F(RegistryAsOthers, UnwritablePrefixLeavesTheFileAndSaysAccessDenied) {
    UseUserReg(Fixture());
    fs::permissions(scoped_.prefix(), fs::perms::owner_read | fs::perms::owner_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(scoped_.scratch(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(userReg(), fs::perms::others_read, fs::perm_options::add);
    {
        testing_support::Unprivileged asSomebodyElse;
        win::HKEY key = nullptr;
        EXPECT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0,
                                       win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  win::ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(test_files::Read(userReg()), Fixture());
}

TEST(RegText, EscapesAsWineDoes) {
    const struct {
        std::u16string text;
        std::string escaped;
    } cases[] = {
        {u"C:\\a \"b\"", "C:\\\\a \\\"b\\\""},
        {u"\u4e2d\u6587", "\\x4e2d\\x6587"},
        {u"\u00e9a", "\\x00e9a"},  // a following hex digit forces four digits
        {u"\u00e9g", "\\xe9g"},
        {u"\t\n\x1b", "\\t\\n\\e"},
        {u"\x01"
         u"2",
         "\\0012"},  // likewise an octal digit three
        {u"\x01x", "\\1x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win::regtext::Escape(c.text, "\""), c.escaped);
        const std::string quoted = c.escaped + "\"";
        size_t pos = 0;
        EXPECT_EQ(win::regtext::Unescape(quoted, pos, '"'), c.text) << c.escaped;
    }
    EXPECT_EQ(win::regtext::Escape(u"[a]", "[]"), "\\[a\\]");
}

}  // namespace
