// The whole installation against a window without pixels and a clock that moves only while
// the sequence waits: every file, record and link it leaves, the captions and tips in their
// order, and the state after a failure at each kind of step.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>

#include "install/InstallTexts.h"
#include "install/SystemParams.h"
#include "platform/SetupError.h"
#include "tests/install/InstallationFixture.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
namespace texts = install_texts;
using namespace cp936::literals;

using testing_support::Installation;

namespace {

int CountRows(const fs::path& database, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    int rows = -1;
    if (sqlite3_prepare_v2(db, (std::string("SELECT COUNT(*) FROM ") + table).c_str(), -1, &stmt,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        rows = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

TEST_F(Installation, LeavesEveryFileRecordAndLink) {
    Install();

    EXPECT_EQ(test_files::Read(Installed(paths::kProgram)), "MZ program");
    EXPECT_EQ(test_files::Read(Installed(paths::kManual)), "%PDF-1.4 manual");
    EXPECT_EQ(test_files::Read(Installed(paths::kReadMe)), "read-me");
    EXPECT_EQ(test_files::Read(Installed(paths::kDemoDatabase)), "demo database");
    EXPECT_EQ(test_files::Read(win::HostPath(win::GetSystemDirectoryA() + paths::kRuntimeLibrary)),
              "runtime library");
    EXPECT_FALSE(fs::exists(Installed(paths::kNewSystemDatabase)));
    EXPECT_FALSE(fs::exists(Installed(paths::kEarlierSystemDatabase)));

    const fs::path database = Installed(paths::kSystemDatabase);
    EXPECT_EQ(CountRows(database, "MMRecord"), 1);
    const auto stored = payload::DecodeSystemParams(database);
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_GE(stored[0].size(), 7u);
    EXPECT_EQ(stored[0][0].value, "Company");
    EXPECT_EQ(stored[0][6].value, window.folder);

    // The backup is named by the stored backup date and holds the finished database.
    const std::string backupDate = stored[0][5].value;  // yyyy-mm-dd
    std::string compact = backupDate;
    std::erase(compact, '-');
    const fs::path backup = Installed("\\" + compact + paths::kBackupSuffix);
    ASSERT_TRUE(fs::exists(backup)) << backup;
    EXPECT_EQ(test_files::Read(backup), test_files::Read(database));

    int links = 0;
    for (const auto& entry :
         fs::recursive_directory_iterator(prefix.prefix() / "drive_c" / "users")) {
        if (entry.path().extension() == ".lnk") ++links;
    }
    EXPECT_EQ(links, 4);
}

TEST_F(Installation, ShowsCaptionsAndTipsInTheirOrderAndEndsReadyToClose) {
    Install();

    // "pump" marks where the window was let answer (pauses included).
    const std::vector<std::string> expected = {
        "install picture",
        "busy cursor",
        "pump",
        "tips " + texts::IntroductionTips()[0],
        "caption " + texts::CreatingFolders(),
        "pump",
        "tips " + texts::ModuleTips()[0],
        "pump",
        "caption " + texts::CopyingProgram(),
        "tips " + texts::ModuleFeatureTips()[0],
        "pump",
        "caption " + texts::CopyingDatabase(),
        "tips " + texts::DataExportTips()[0],
        "pump",
        "caption " + texts::CopyingDemoDatabase(),
        "pump",
        "tips " + texts::PrintingTips()[0],
        "pump",
        "caption " + texts::CopyingHelpFiles(),
        "pump",
        "caption " + texts::SettingUpSystemFiles(),
        "pump",
        "tips " + texts::PermissionTips()[0],
        "pump",
        "caption " + texts::CopyingDemoDatabase(),
        "pump",
        "caption " + texts::UpdatingSystemInformation(),
        "pump",
        "caption " + texts::CreatingShortcuts(),
        "pump",
        "tips ",
        // the backup copy, like every long copy, lets the window answer between chunks
        "pump",
        "caption " + texts::InstallComplete(),
        "default cursor",
        "pump",
        "finish picture",
        "close button",
    };
    EXPECT_EQ(window.events, expected);
    EXPECT_EQ(window.caption, "安装完成！ "_gbk);
    EXPECT_EQ(window.tips, TipSet{});

    // The pauses add up to 19 seconds; the last two gauge steps come after the return.
    EXPECT_GE(window.pump.now - 1000, 19000u);
    EXPECT_LT(window.pump.now - 1000, 19500u);
    EXPECT_EQ(pacing.ProgressTarget(), 100);
    EXPECT_GE(window.gauge, 98);
    EXPECT_TRUE(window.pump.timerEnabled);
}

TEST_F(Installation, SetsEachTargetAndPausesForEachStepOnSchedule) {
    // When each target is first seen and each caption shown, in milliseconds from the click.
    // The fake clock moves only while the sequence pauses, so these times pin every pause.
    std::vector<std::pair<std::uint32_t, std::string>> timeline;
    const std::uint32_t start = window.pump.now;
    std::int32_t lastTarget = pacing.ProgressTarget();
    std::string lastCaption = window.caption;
    window.pump.onPump = [&] {
        if (window.caption != lastCaption) {
            lastCaption = window.caption;
            timeline.emplace_back(window.pump.now - start, "caption " + lastCaption);
        }
        if (pacing.ProgressTarget() != lastTarget) {
            lastTarget = pacing.ProgressTarget();
            timeline.emplace_back(window.pump.now - start, "target " + std::to_string(lastTarget));
        }
    };
    Install();

    const std::vector<std::pair<std::uint32_t, std::string>> expected = {
        {0, "target 10"},  // then 1 s
        {1000, "caption " + texts::CreatingFolders()},
        {1000, "target 20"},  // then 1 s
        {2000, "target 50"},  // then 3 s
        {5000, "caption " + texts::CopyingProgram()},
        {5000, "target 58"},  // then 2 s
        {7000, "caption " + texts::CopyingDatabase()},
        // 1 s without a new target, then 68 and 3 s
        {8000, "target 68"},
        {11000, "caption " + texts::CopyingDemoDatabase()},
        {11000, "target 80"},  // then 1 s
        {12000, "caption " + texts::CopyingHelpFiles()},
        {12000, "target 85"},  // then 1 s
        {13000, "caption " + texts::SettingUpSystemFiles()},
        // 1 s without a new target, then 85 again and 3 s: the gauge holds still
        {17000, "caption " + texts::CopyingDemoDatabase()},
        {17000, "target 93"},  // then 1 s
        {18000, "caption " + texts::UpdatingSystemInformation()},
        {18000, "target 98"},  // then 1 s
        {19000, "caption " + texts::CreatingShortcuts()},
        {19000, "caption " + texts::InstallComplete()},
        {19000, "target 100"},  // no pause: the gauge climbs on after the return
    };
    EXPECT_EQ(timeline, expected);
}

TEST_F(Installation, KeepsTheEarlierSystemDatabaseOnAReinstall) {
    Install();
    const std::string first = test_files::Read(Installed(paths::kSystemDatabase));
    window.events.clear();
    Install();
    EXPECT_EQ(test_files::Read(Installed(paths::kEarlierSystemDatabase)), first);
    EXPECT_EQ(CountRows(Installed(paths::kSystemDatabase), "MMRecord"), 1);
}

TEST_F(Installation, AFailedReinstallKeepsThePersonsDatabase) {
    Install();
    sqlite3* db = nullptr;
    sqlite3_open(Installed(paths::kSystemDatabase).c_str(), &db);
    sqlite3_exec(db, "INSERT INTO MMRecord (MEMID, BeiZhu) VALUES (2, 'work of years')", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    const std::string persons = test_files::Read(Installed(paths::kSystemDatabase));
    sqlite3_open((dist / "Setup.data").c_str(), &db);
    sqlite3_exec(db, "DELETE FROM INSTDB WHERE UID = (SELECT MAX(UID) FROM INSTDB)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);

    EXPECT_THROW(Install(), SetupError);
    EXPECT_EQ(test_files::Read(Installed(paths::kEarlierSystemDatabase)), persons);
}

TEST_F(Installation, AReinstallRemovesTheHiddenBackupCopyOfARunCutShort) {
    Install();
    const fs::path folder = Installed("");
    test_files::Write(folder / ".20261209KVData.qbk.Ab3dE9", "a backup copy cut short");
    test_files::Write(folder / ".20261209KVData.qbk.notes", "someone else's");
    Install();
    EXPECT_FALSE(fs::exists(folder / ".20261209KVData.qbk.Ab3dE9"));
    EXPECT_TRUE(fs::exists(folder / ".20261209KVData.qbk.notes"));
}

// A failure ends the run at its step: the error leaves the sequence, the window keeps that
// step's caption and the hourglass, and nothing that was done is undone.
struct FailureCase {
    const char* name;
    std::function<void(Installation&)> breakIt;
    const char* messagePart;          // UTF-8
    const char* lastCaption;          // UTF-8
    std::vector<const char*> left;    // files of the install folder that stay
    std::vector<const char*> absent;  // and those the run never reached
};

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class FailedInstallation : public Installation,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedInstallation, StopsAtTheFailingStep) {
    GetParam().breakIt(*this);
    try {
        Install();
        FAIL() << "the installation reported success";
    } catch (const SetupError& error) {
        EXPECT_NE(cp936::ToUtf8(error.Message()).find(GetParam().messagePart), std::string::npos)
            << cp936::ToUtf8(error.Message());
    }
    EXPECT_EQ(window.caption, cp936::FromUtf8(GetParam().lastCaption));
    EXPECT_TRUE(window.busy);
    EXPECT_EQ(std::count(window.events.begin(), window.events.end(), "finish picture"), 0);
    EXPECT_EQ(std::count(window.events.begin(), window.events.end(), "close button"), 0);
    for (const char* suffix : GetParam().left) EXPECT_TRUE(fs::exists(Installed(suffix))) << suffix;
    for (const char* suffix : GetParam().absent) {
        EXPECT_FALSE(fs::exists(Installed(suffix))) << suffix;
    }
    for (const auto& entry : fs::directory_iterator(Installed(""))) {
        EXPECT_NE(entry.path().extension(), ".qbk") << "a backup after a failure";
    }
    // The connection was released: the system database can be replaced at once.
    const fs::path database = Installed(paths::kSystemDatabase);
    if (fs::exists(database)) {
        EXPECT_TRUE(win::DeleteFileA(window.folder + paths::kSystemDatabase));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedInstallation,
    ::testing::Values(
        FailureCase{
            "MissingPayload",
            [](Installation& installation) { fs::remove(installation.dist / "Setup.data"); },
            "Setup.data",
            "正在创建文件夹...... ",
            {paths::kDataFolder},
            {paths::kSystemDatabase, paths::kProgram}},
        FailureCase{"FiveRecordPayload",
                    [](Installation& installation) {
                        sqlite3* db = nullptr;
                        sqlite3_open((installation.dist / "Setup.data").c_str(), &db);
                        sqlite3_exec(db,
                                     "DELETE FROM INSTDB WHERE UID = (SELECT MAX(UID) FROM INSTDB)",
                                     nullptr, nullptr, nullptr);
                        sqlite3_close(db);
                    },
                    "Setup.data",
                    "正在创建文件夹...... ",
                    {paths::kDataFolder},
                    {paths::kSystemDatabase, paths::kProgram}},
        FailureCase{"RuntimeLibraryCannotBeCreated",
                    [](Installation& installation) {
                        // Root ignores permission bits: a folder in the way fails for anyone.
                        fs::create_directories(win::HostPath(win::GetSystemDirectoryA()) /
                                               "Midas.dll" / "x");
                        (void)installation;
                    },
                    "Midas.dll",
                    "正在复制帮助文件...... ",
                    {paths::kProgram, paths::kNewSystemDatabase, paths::kManual, paths::kReadMe},
                    {paths::kDemoDatabase}},
        FailureCase{"DesktopValueOfTheWrongType",
                    [](Installation& installation) {
                        const fs::path reg = installation.prefix.prefix() / "user.reg";
                        std::string text = test_files::Read(reg);
                        const auto at = text.find("\"Desktop\"=\"");
                        ASSERT_NE(at, std::string::npos);
                        const auto end = text.find('\n', at);
                        text.replace(at, end - at, "\"Desktop\"=dword:00000001");
                        test_files::Write(reg, text);
                    },
                    "Invalid data type for 'Desktop'",
                    "正在创建程序快捷方式...... ",
                    {paths::kProgram, paths::kSystemDatabase, paths::kDemoDatabase},
                    {paths::kNewSystemDatabase}}),
    [](const ::testing::TestParamInfo<FailureCase>& failure) { return failure.param.name; });

}  // namespace
