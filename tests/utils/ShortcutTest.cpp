#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/PathMapping.h"
#include "platform/PrefixRoot.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/ShellLink.h"
#include "platform/WinRegistry.h"
#include "support/LnkReader.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

const std::string kExe = "C:\\Program Files\\Korvane\\Korvane.exe";

// The message of the error a shortcut to kExe raises; "" when there is none.
std::string ShortcutError(ShortcutPlace place, const std::string& group = "",
                          const std::string& display = "") {
    try {
        CreateShortcut(kExe, place, group, display);
    } catch (const SetupError& error) {
        return error.Message();
    }
    return {};
}

// A fresh skeleton prefix with COM entered; knows where the skeleton's shell folders are.
class ShortcutPrefix {
public:
    ShortcutPrefix() {
        win::EnsurePrefix();
        win::CoInitialize(nullptr);
        for (const auto& entry : fs::directory_iterator(scoped_.prefix() / "drive_c/users")) {
            home_ = "C:\\users\\" + cp936::FromUtf8(entry.path().filename().string());
        }
        before_ = Tree();
    }
    ~ShortcutPrefix() { win::CoUninitialize(); }

    fs::path userReg() const { return scoped_.prefix() / "user.reg"; }

    // "{desktop}", "{programs}", "{sendto}", "{startmenu}" in text become the skeleton's folders.
    std::string Expand(std::string text) const {
        const std::string roaming = home_ + "\\AppData\\Roaming\\Microsoft\\Windows";
        const std::pair<std::string, std::string> folders[] = {
            {"{desktop}", home_ + "\\Desktop"},
            {"{programs}", roaming + "\\Start Menu\\Programs"},
            {"{sendto}", roaming + "\\SendTo"},
            {"{startmenu}", roaming + "\\Start Menu"},
        };
        for (const auto& [name, folder] : folders) {
            for (auto at = text.find(name); at != std::string::npos; at = text.find(name))
                text.replace(at, name.size(), folder);
        }
        return text;
    }

    // Replaces the line of value name in the Shell Folders key ("" removes it).
    void SetShellFolderLine(const std::string& name, const std::string& line) {
        std::string reg = test_files::Read(userReg());
        const auto at = reg.find("\"" + name + "\"=");
        ASSERT_NE(at, std::string::npos) << name;
        const auto end = reg.find('\n', at) + 1;
        reg.replace(at, end - at, line.empty() ? "" : line + "\n");
        test_files::Write(userReg(), reg);
        before_ = Tree();
    }

    void AppendToUserReg(const std::string& text) {
        test_files::Write(userReg(), test_files::Read(userReg()) + text);
        before_ = Tree();
    }

    // Every file and folder below the prefix, as Windows paths below C: where they are.
    std::set<std::string> Tree() const {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(scoped_.prefix() / "drive_c")) {
            paths.insert(win::WindowsPath(entry.path()));
        }
        return paths;
    }

    // What appeared since the prefix was set up.
    std::set<std::string> Added() const {
        std::set<std::string> added;
        const auto now = Tree();
        std::set_difference(now.begin(), now.end(), before_.begin(), before_.end(),
                            std::inserter(added, added.end()));
        return added;
    }

    const std::string& home() const { return home_; }

private:
    ScopedPrefix scoped_;
    std::string home_;
    std::set<std::string> before_;
};

TEST(IsDirectory, FoldersOnly) {
    ShortcutPrefix prefix;
    test_files::Write(win::HostPath("C:\\file.txt"), "x");
    EXPECT_TRUE(IsDirectory("C:\\windows"));
    EXPECT_TRUE(IsDirectory("c:\\WINDOWS\\"));
    EXPECT_TRUE(IsDirectory("C:\\"));
    EXPECT_FALSE(IsDirectory("C:\\file.txt"));
    EXPECT_FALSE(IsDirectory("C:\\missing"));
    EXPECT_FALSE(IsDirectory("Q:\\"));
    EXPECT_FALSE(IsDirectory(""));
}

struct PlacementCase {
    const char* what;
    std::string target;
    ShortcutPlace place;
    std::string group;
    std::string display;
    std::optional<std::pair<std::string, std::string>> valueLine;  // Shell Folders line replaced
    std::string link;                                              // where the link is made
    std::vector<std::string> folders;                              // folders made on the way
};

TEST(CreateShortcut, PlacesAndNames) {
    const std::string cheng = "誠"_gbk;  // D5 5C: its trail byte is the byte of "\"
    const PlacementCase cases[] = {
        {"empty display name",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "",
         {},
         "{desktop}\\Korvane.lnk",
         {}},
        {"ASCII period",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "Korvane V3.50",
         {},
         "{desktop}\\Korvane V3.lnk",
         {}},
        {"full-width period",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "Korvane机器设备管理系统 V3．50"_gbk,
         {},
         "{desktop}\\Korvane机器设备管理系统 V3．50.lnk"_gbk,
         {}},
        {"backslash in name",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "Tools\\Korvane",
         {},
         "{desktop}\\Korvane.lnk",
         {}},
        {"colon in name",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "D:Korvane:Main",
         {},
         "{desktop}\\Main.lnk",
         {}},
        {"target without extension",
         "C:\\Tools\\run",
         ShortcutPlace::Desktop,
         "",
         "",
         {},
         "{desktop}\\run.lnk",
         {}},
        {"period in a folder name",
         "C:\\My.Tools\\run",
         ShortcutPlace::Desktop,
         "",
         "",
         {},
         "{desktop}\\run.lnk",
         {}},
        {"5C trail byte in the name",
         kExe,
         ShortcutPlace::Desktop,
         "",
         cheng + "a",
         {},
         "{desktop}\\" + cheng + "a.lnk",
         {}},
        {"5C trail byte in the target",
         "C:\\x\\" + cheng + ".exe",
         ShortcutPlace::Desktop,
         "",
         "",
         {},
         "{desktop}\\" + cheng + ".lnk",
         {}},
        {"SendTo", kExe, ShortcutPlace::SendTo, "", "K", {}, "{sendto}\\K.lnk", {}},
        {"StartMenu", kExe, ShortcutPlace::StartMenu, "", "K", {}, "{startmenu}\\K.lnk", {}},
        {"group made",
         kExe,
         ShortcutPlace::Programs,
         "G",
         "K",
         {},
         "{programs}\\G\\K.lnk",
         {"{programs}\\G"}},
        {"nested group",
         kExe,
         ShortcutPlace::Programs,
         "A\\B",
         "K",
         {},
         "{programs}\\A\\B\\K.lnk",
         {"{programs}\\A", "{programs}\\A\\B"}},
        {"empty group", kExe, ShortcutPlace::Programs, "", "K", {}, "{programs}\\K.lnk", {}},
        {"group name ending in 5C trail byte",
         kExe,
         ShortcutPlace::Programs,
         cheng,
         "K",
         {},
         "{programs}\\" + cheng + "\\K.lnk",
         {"{programs}\\" + cheng}},
        {"desktop value missing",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "",
         std::pair{"Desktop", ""},
         "C:\\Korvane.lnk",
         {}},
        {"desktop value empty",
         kExe,
         ShortcutPlace::Desktop,
         "",
         "",
         std::pair{"Desktop", "\"Desktop\"=\"\""},
         "C:\\Korvane.lnk",
         {}},
        {"programs value missing",
         kExe,
         ShortcutPlace::Programs,
         "Group",
         "K",
         std::pair{"Programs", ""},
         "C:\\Group\\K.lnk",
         {"C:\\Group"}},
        {"programs value unexpanded type",
         kExe,
         ShortcutPlace::Programs,
         "G",
         "K",
         std::pair{"Programs", "\"Programs\"=str(2):\"C:\\\\Menu\""},
         "C:\\Menu\\G\\K.lnk",
         {"C:\\Menu", "C:\\Menu\\G"}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.what);
        ShortcutPrefix prefix;
        if (c.valueLine) prefix.SetShellFolderLine(c.valueLine->first, c.valueLine->second);
        const std::string reg = test_files::Read(prefix.userReg());
        CreateShortcut(c.target, c.place, c.group, c.display);

        const std::string link = prefix.Expand(c.link);
        std::set<std::string> expected = {link};
        for (const std::string& folder : c.folders) expected.insert(prefix.Expand(folder));
        EXPECT_EQ(prefix.Added(), expected);
        EXPECT_EQ(lnk_reader::LocalPath(win::HostPath(link)), cp936::ToUtf8(c.target));
        EXPECT_EQ(test_files::Read(prefix.userReg()), reg);
        EXPECT_EQ(win::OpenKeyCount(), 0u);
    }
}

TEST(CreateShortcut, ExistingGroupAndFourCallsInARow) {
    ShortcutPrefix prefix;
    const std::string reg = test_files::Read(prefix.userReg());
    const std::string dir = "C:\\Program Files\\Korvane";
    const std::string group = "Korvane软件"_gbk;
    const struct {
        std::string target;
        ShortcutPlace place;
        std::string display;
        std::string link;
    } calls[] = {
        {dir + "\\Korvane.exe", ShortcutPlace::Desktop, "Korvane机器设备管理系统 V3．50"_gbk,
         "{desktop}\\Korvane机器设备管理系统 V3．50.lnk"_gbk},
        {dir + "\\Korvane.exe", ShortcutPlace::Programs, "Korvane通用机器设备管理系统V3．50"_gbk,
         "{programs}\\" + group + "\\" + "Korvane通用机器设备管理系统V3．50.lnk"_gbk},
        {dir + "\\软件使用必读.txt"_gbk, ShortcutPlace::Programs, "软件使用必读"_gbk,
         "{programs}\\" + group + "\\" + "软件使用必读.lnk"_gbk},
        {dir + "\\使用说明书.pdf"_gbk, ShortcutPlace::Programs, "使用说明书"_gbk,
         "{programs}\\" + group + "\\" + "使用说明书.lnk"_gbk},
    };
    std::set<std::string> expected = {prefix.Expand("{programs}\\" + group)};
    for (const auto& call : calls) {
        CreateShortcut(call.target, call.place, call.place == ShortcutPlace::Programs ? group : "",
                       call.display);
        const std::string link = prefix.Expand(call.link);
        expected.insert(link);
        EXPECT_EQ(lnk_reader::LocalPath(win::HostPath(link)), cp936::ToUtf8(call.target));
    }
    EXPECT_EQ(prefix.Added(), expected);
    EXPECT_EQ(test_files::Read(prefix.userReg()), reg);  // the skeleton has every key it needs

    // A call again replaces its link and makes nothing new.
    CreateShortcut(calls[3].target, ShortcutPlace::Programs, group, calls[3].display);
    EXPECT_EQ(prefix.Added(), expected);
}

TEST(CreateShortcut, QuickLaunchWithoutItsKeyCreatesTheKeyAndLinksInTheRoot) {
    ShortcutPrefix prefix;
    const std::string reg = test_files::Read(prefix.userReg());
    CreateShortcut(kExe, ShortcutPlace::QuickLaunch, "", "");
    EXPECT_EQ(prefix.Added(), std::set<std::string>{"C:\\Korvane.lnk"});
    const std::string after = test_files::Read(prefix.userReg());
    ASSERT_EQ(after.substr(0, reg.size()), reg);
    EXPECT_EQ(after.substr(reg.size())
                  .rfind("\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\GrpConv] ", 0),
              0u)
        << after.substr(reg.size());

    // With the key and its value in place, the value names the folder.
    prefix.AppendToUserReg(
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\GrpConv\\\\MapGroups] 1\n"
        "\"Quick Launch\"=\"C:\\\\windows\"\n");
    CreateShortcut(kExe, ShortcutPlace::QuickLaunch, "", "Q");
    EXPECT_EQ(prefix.Added(), std::set<std::string>{"C:\\windows\\Q.lnk"});
    EXPECT_EQ(win::OpenKeyCount(), 0u);
}

TEST(CreateShortcut, GroupThatCannotBeMadeFallsBackToPrograms) {
    ShortcutPrefix prefix;
    test_files::Write(win::HostPath(prefix.Expand("{programs}\\G")), "a file stands in the way");
    CreateShortcut(kExe, ShortcutPlace::Programs, "G\\H", "K");
    EXPECT_EQ(prefix.Added(), (std::set<std::string>{prefix.Expand("{programs}\\G"),
                                                     prefix.Expand("{programs}\\K.lnk")}));
}

TEST(CreateShortcut, FolderValuesThatCannotBeUsedRaiseNamedErrors) {
    const struct {
        ShortcutPlace place;
        std::string name;
        std::string line;
        std::string message;
    } cases[] = {
        {ShortcutPlace::Desktop, "Desktop", "\"Desktop\"=dword:00000001",
         "Invalid data type for 'Desktop'"},
        {ShortcutPlace::Desktop, "Desktop", "\"Desktop\"=hex:43,00",
         "Invalid data type for 'Desktop'"},
        {ShortcutPlace::Programs, "Programs", "\"Programs\"=str(7):\"C:\\\\a\\0\"",
         "Invalid data type for 'Programs'"},
        {ShortcutPlace::Desktop, "Desktop", "\"Desktop\"=\"C:\\\\\\xd83d\\xde00\"",
         "Failed to get data for 'Desktop'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ShortcutPrefix prefix;
        prefix.SetShellFolderLine(c.name, c.line);
        const std::string reg = test_files::Read(prefix.userReg());
        EXPECT_EQ(ShortcutError(c.place, "G", "K"), c.message);
        EXPECT_TRUE(prefix.Added().empty());
        EXPECT_EQ(test_files::Read(prefix.userReg()), reg);
        EXPECT_EQ(win::OpenKeyCount(), 0u);
    }
}

TEST(CreateShortcut, BadSurroundingsNeverCrashNorRewriteTheRegistry) {
    {
        SCOPED_TRACE("user.reg that cannot be parsed: the link goes to the root of the drive");
        ShortcutPrefix prefix;
        prefix.AppendToUserReg("this line is not registry text\n");
        const std::string reg = test_files::Read(prefix.userReg());
        CreateShortcut(kExe, ShortcutPlace::Desktop, "", "");
        EXPECT_EQ(prefix.Added(), std::set<std::string>{"C:\\Korvane.lnk"});
        EXPECT_EQ(test_files::Read(prefix.userReg()), reg);
    }
    {
        SCOPED_TRACE("desktop folder that is a file: no link, no error");
        ShortcutPrefix prefix;
        const fs::path desktop = win::HostPath(prefix.Expand("{desktop}"));
        fs::remove(desktop);
        test_files::Write(desktop, "in the way");
        EXPECT_NO_THROW(CreateShortcut(kExe, ShortcutPlace::Desktop, "", ""));
        EXPECT_EQ(test_files::Read(desktop), "in the way");
    }
    {
        SCOPED_TRACE("desktop on a drive whose link points nowhere: no link, no error");
        ShortcutPrefix prefix;
        fs::create_symlink("/nonexistent/korvane", win::PrefixRoot() / "dosdevices/d:");
        prefix.SetShellFolderLine("Desktop", "\"Desktop\"=\"D:\\\\Desktop\"");
        EXPECT_NO_THROW(CreateShortcut(kExe, ShortcutPlace::Desktop, "", ""));
        EXPECT_TRUE(prefix.Added().empty());
    }
}

// ---- Failure injection through a registered class object ----

// A stand-in link object: counts its live references, records the calls, and may lack
// IPersistFile.
class FakeLink final : public win::IShellLinkA, public win::IPersistFile {
public:
    FakeLink(bool persist, int& live) : persist_(persist), live_(live) {}
    win::HRESULT QueryInterface(const win::IID& iid, void** object) override {
        if (iid == win::IID_IUnknown || iid == win::IID_IShellLinkA) {
            *object = static_cast<win::IShellLinkA*>(this);
        } else if (iid == win::IID_IPersistFile && persist_) {
            *object = static_cast<win::IPersistFile*>(this);
        } else {
            *object = nullptr;
            return win::E_NOINTERFACE;
        }
        AddRef();
        return win::S_OK;
    }
    win::ULONG AddRef() override {
        ++live_;
        return static_cast<win::ULONG>(++references_);
    }
    win::ULONG Release() override {
        --live_;
        return static_cast<win::ULONG>(--references_);
    }
    win::HRESULT SetPath(const char* file) override {
        paths.push_back(file);
        return win::S_OK;
    }
    win::HRESULT Save(const char16_t* fileName, win::BOOL remember) override {
        saves.emplace_back(fileName);
        remembered = remember;
        return win::S_OK;
    }

    std::vector<std::string> paths;
    std::vector<std::u16string> saves;
    win::BOOL remembered = -1;

private:
    bool persist_;
    int& live_;
    int references_ = 0;
};

class FakeFactory final : public win::IClassFactory {
public:
    explicit FakeFactory(FakeLink* made = nullptr) : link(made) {}
    win::HRESULT QueryInterface(const win::IID& iid, void** object) override {
        *object = iid == win::IID_IClassFactory || iid == win::IID_IUnknown ? this : nullptr;
        return *object ? win::S_OK : win::E_NOINTERFACE;
    }
    win::ULONG AddRef() override { return 1; }
    win::ULONG Release() override { return 1; }
    win::HRESULT CreateInstance(win::IUnknown*, const win::IID& iid, void** object) override {
        if (win::FAILED(failure)) return failure;
        return link->QueryInterface(iid, object);
    }
    win::HRESULT LockServer(win::BOOL) override { return win::S_OK; }

    win::HRESULT failure = win::S_OK;
    FakeLink* link;
};

// Registers factory for the shell link class for one scope.
class Registered {
public:
    explicit Registered(FakeFactory& factory) {
        win::CoRegisterClassObject(win::CLSID_ShellLink, &factory, win::CLSCTX_INPROC_SERVER,
                                   win::REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~Registered() { win::CoRevokeClassObject(cookie_); }

private:
    win::DWORD cookie_ = 0;
};

// A prefix whose shell link class is the fake.
struct InjectedLink {
    explicit InjectedLink(bool persist)
        : link(persist, live), factory(&link), registered(factory) {}

    ShortcutPrefix prefix;
    int live = 0;
    FakeLink link;
    FakeFactory factory;
    Registered registered;
};

TEST(CreateShortcutFailures, LinkObjectThatCannotBeMadeTouchesNothing) {
    const struct {
        win::HRESULT code;
        std::string message;
    } cases[] = {
        {static_cast<win::HRESULT>(0x8004DEAD), "OLE error 8004dead"},
        {win::REGDB_E_CLASSNOTREG, "Class not registered"},
    };
    for (const auto& c : cases) {
        ShortcutPrefix prefix;
        FakeFactory factory;
        factory.failure = c.code;
        Registered registered(factory);
        const std::string reg = test_files::Read(prefix.userReg());
        // QuickLaunch would create a registry key, Programs a folder: neither happens.
        EXPECT_EQ(ShortcutError(ShortcutPlace::QuickLaunch), c.message);
        EXPECT_EQ(ShortcutError(ShortcutPlace::Programs, "Group"), c.message);
        EXPECT_TRUE(prefix.Added().empty());
        EXPECT_EQ(test_files::Read(prefix.userReg()), reg);
    }
}

TEST(CreateShortcutFailures, ObjectWithoutPersistFileIsReleasedAndTouchesNothing) {
    InjectedLink injected(false);
    const std::string reg = test_files::Read(injected.prefix.userReg());
    EXPECT_EQ(ShortcutError(ShortcutPlace::QuickLaunch), "Interface not supported");
    EXPECT_EQ(injected.live, 0);
    EXPECT_TRUE(injected.link.paths.empty());
    EXPECT_TRUE(injected.prefix.Added().empty());
    EXPECT_EQ(test_files::Read(injected.prefix.userReg()), reg);
}

TEST(CreateShortcutFailures, TheLinkObjectGetsTheTargetAndThePathAndIsReleased) {
    InjectedLink injected(true);
    const FakeLink& link = injected.link;
    ShortcutPrefix& prefix = injected.prefix;

    // An empty group: the path keeps the two backslashes the rule gives.
    CreateShortcut(kExe, ShortcutPlace::Programs, "", "使用说明书"_gbk);
    EXPECT_EQ(link.paths, std::vector<std::string>{kExe});
    ASSERT_EQ(link.saves.size(), 1u);
    EXPECT_EQ(link.saves[0],
              cp936::ToUtf16(prefix.Expand("{programs}\\\\") + "使用说明书.lnk"_gbk));
    EXPECT_EQ(link.remembered, 0);
    EXPECT_EQ(injected.live, 0);

    // A registry error after the object was made: released too, nothing saved.
    prefix.SetShellFolderLine("Desktop", "\"Desktop\"=dword:00000000");
    EXPECT_EQ(ShortcutError(ShortcutPlace::Desktop), "Invalid data type for 'Desktop'");
    EXPECT_EQ(link.saves.size(), 1u);
    EXPECT_EQ(injected.live, 0);
    EXPECT_EQ(win::OpenKeyCount(), 0u);
}

}  // namespace
