#pragma once
// A whole installation against a window without pixels and a clock that moves only while the
// sequence waits, from a payload the payload tool builds out of six small files in a scratch
// prefix.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "install/InstallPaths.h"
#include "install/InstallSequence.h"
#include "install/ProgressPacing.h"
#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/WinFiles.h"
#include "tests/install/FakeInstallWindow.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestFiles.h"
#include "tools/korvane-payload/Payload.h"

namespace testing_support {

// A clean system database as the payload's second record carries it.
inline void MakeSystemDatabase(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE SYSPARAMS (CN TEXT, CA TEXT, PN TEXT, DP TEXT, "
                           "InsD TEXT, BkD TEXT, BkP TEXT, Other TEXT);"
                           "CREATE TABLE MMRecord (MEMID INTEGER, MDate TEXT, MTime TEXT, "
                           "BeiZhu TEXT, Uid TEXT);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

class Installation : public ::testing::Test {
public:
    void SetUp() override {
        win::CoInitialize(nullptr);
        win::EnsurePrefix();
        dist = prefix.scratch() / "dist";
        const std::filesystem::path parts = prefix.scratch() / "parts";
        const char* contents[] = {"MZ program", nullptr,           "%PDF-1.4 manual",
                                  "read-me",    "runtime library", "demo database"};
        for (size_t i = 0; i < files.size(); ++i) {
            files[i] = parts / ("record" + std::to_string(i + 1));
            if (contents[i]) test_files::Write(files[i], contents[i]);
        }
        MakeSystemDatabase(files[1]);
        std::filesystem::create_directories(dist);
        payload::Build(dist / "Setup.data", files);
        window.pump.onTick = [this] { pacing.Timer1Timer(); };
        window.pump.now = 1000;
    }

    std::filesystem::path Installed(const std::string& suffix) const {
        return win::HostPath(window.folder + suffix);
    }

    void Install() {
        InstallSequence sequence(window, pacing, win::WindowsPath(dist),
                                 win::GetSystemDirectoryA());
        sequence.PerformInstall();
    }

    testing_support::ScopedPrefix prefix;
    std::filesystem::path dist;
    payload::PayloadFiles files;
    FakeInstallWindow window;
    ProgressPacing pacing{window};
};

}  // namespace testing_support
