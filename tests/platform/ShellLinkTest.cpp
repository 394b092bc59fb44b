#include <gtest/gtest.h>

#include <fstream>

#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/LinkSaving.h"
#include "platform/PrefixSkeleton.h"
#include "platform/ShellLink.h"
#include "support/LnkReader.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::ScopedPrefix;

using namespace cp936::literals;

namespace {

class ShellLinkObject : public ::testing::Test {
protected:
    void SetUp() override {
        win::EnsurePrefix();
        win::CoInitialize(nullptr);
    }
    void TearDown() override { win::CoUninitialize(); }

    // Makes a link object, sets target, saves at the Windows path linkPath.
    win::HRESULT SaveLink(const std::string& target, const std::string& linkPath) {
        return link_saving::SaveLink(target, linkPath);
    }

    ScopedPrefix scoped_;
};

TEST_F(ShellLinkObject, LnkinfoReadsTheTargetBack) {
    const std::string targets[] = {
        "C:\\Program Files\\Korvane\\Korvane.exe",
        "C:\\Program Files\\Korvane\\使用说明书.pdf"_gbk,
        "C:\\誠\\軟體誠.txt"_gbk,  // trail bytes 0x5C
        "D:\\a",
    };
    int n = 0;
    for (const std::string& target : targets) {
        const std::string name = "link" + std::to_string(++n) + ".lnk";
        ASSERT_EQ(SaveLink(target, "C:\\" + name), win::S_OK) << cp936::ToUtf8(target);
        const fs::path file = scoped_.prefix() / "drive_c" / name;
        EXPECT_EQ(lnk_reader::LocalPath(file), cp936::ToUtf8(target)) << lnk_reader::Report(file);
    }
}

TEST_F(ShellLinkObject, FileLayout) {
    const std::string ascii = win::ShellLinkBytes("C:\\a.exe");
    ASSERT_GE(ascii.size(), 0x4Cu + 0x1Cu);
    EXPECT_EQ(ascii.substr(0, 20),
              std::string("\x4C\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 20));
    EXPECT_EQ(ascii.substr(0x4C + 4, 4), std::string("\x1C\0\0\0", 4));  // no Unicode part
    EXPECT_NE(ascii.find(std::string("C:\\a.exe\0", 9)), std::string::npos);
    EXPECT_EQ(ascii.substr(ascii.size() - 4), std::string(4, '\0'));  // terminal block

    const std::string chinese = win::ShellLinkBytes("C:\\中"_gbk);
    EXPECT_EQ(chinese.substr(0x4C + 4, 4), std::string("\x24\0\0\0", 4));
    EXPECT_NE(chinese.find(std::string("C\0:\0\\\0\x2D\x4E\0\0", 10)),
              std::string::npos);  // UTF-16
}

TEST_F(ShellLinkObject, SaveReplacesAnExistingFileAndFailsWhereItCannotWrite) {
    const fs::path file = scoped_.prefix() / "drive_c/old.lnk";
    std::ofstream(file) << "not a link";
    EXPECT_EQ(SaveLink("C:\\x.exe", "C:\\old.lnk"), win::S_OK);
    EXPECT_EQ(lnk_reader::LocalPath(file), "C:\\x.exe");

    EXPECT_TRUE(win::FAILED(SaveLink("C:\\x.exe", "C:\\missing\\a.lnk")));
    EXPECT_TRUE(win::FAILED(SaveLink("C:\\x.exe", "Q:\\a.lnk")));
    std::ofstream(scoped_.prefix() / "drive_c/file") << "x";
    EXPECT_TRUE(win::FAILED(SaveLink("C:\\x.exe", "C:\\file\\a.lnk")));
    EXPECT_FALSE(fs::exists(scoped_.prefix() / "drive_c/missing"));
}

TEST_F(ShellLinkObject, InterfacesAndReferences) {
    win::IUnknown* object = nullptr;
    ASSERT_EQ(win::CoCreateInstance(win::CLSID_ShellLink, nullptr, 5, win::IID_IUnknown,
                                    reinterpret_cast<void**>(&object)),
              win::S_OK);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(win::IID_IClassFactory, &other), win::E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    win::IPersistFile* file = nullptr;
    ASSERT_EQ(object->QueryInterface(win::IID_IPersistFile, reinterpret_cast<void**>(&file)),
              win::S_OK);
    EXPECT_EQ(object->Release(), 1u);  // the persist-file reference keeps it alive
    EXPECT_EQ(file->Release(), 0u);

    const win::CLSID unknown{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(win::CoCreateInstance(unknown, nullptr, 5, win::IID_IUnknown, &other),
              win::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(win::CoCreateInstance(win::CLSID_ShellLink, object, 5, win::IID_IUnknown, &other),
              win::CLASS_E_NOAGGREGATION);
}

TEST(Com, NothingIsCreatedBeforeCoInitialize) {
    void* object = nullptr;
    EXPECT_EQ(win::CoCreateInstance(win::CLSID_ShellLink, nullptr, 5, win::IID_IUnknown, &object),
              win::CO_E_NOTINITIALIZED);
    EXPECT_EQ(win::CoInitialize(nullptr), win::S_OK);
    EXPECT_EQ(win::CoInitialize(nullptr), win::S_FALSE);
    win::CoUninitialize();
    win::CoUninitialize();
}

TEST(Com, ErrorTexts) {
    EXPECT_EQ(win::OleErrorText(win::REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(win::OleErrorText(win::E_NOINTERFACE), "No such interface supported");
    EXPECT_EQ(win::OleErrorText(static_cast<win::HRESULT>(0x8004DEAD)), "OLE error 8004dead");
    EXPECT_EQ(win::OleErrorText(1), "OLE error 00000001");
}

}  // namespace
