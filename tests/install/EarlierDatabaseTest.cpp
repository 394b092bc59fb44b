// A reinstall over the person's database as the application or an earlier run left it: with
// a journal beside it, after a run cut short, and when the payload copy cannot be made.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "install/DataStepsFixture.h"
#include "install/SystemParams.h"
#include "support/ErrorText.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
using testing_support::DataStepsTest;
using testing_support::ErrorOf;
using testing_support::SqliteFile;

namespace {

const char* const kSideFiles[] = {"-journal", "-wal", "-shm"};

fs::path WithSuffix(const fs::path& file, const char* suffix) {
    fs::path side = file;
    side += suffix;
    return side;
}

class EarlierDatabase : public DataStepsTest {
protected:
    void SetUp() override {
        DataStepsTest::SetUp();
        PutPayload(SixRows());
        fs::create_directories(Host(installDir) / "Data");
        database = Host(installDir + paths::kSystemDatabase);
        earlier = Host(installDir + paths::kEarlierSystemDatabase);
        // The person's database: a system database with a year of work in its log.
        test_files::Write(work(), testing_support::CleanSystemDatabaseBytes(prefix.scratch()));
        SqliteFile(work()).Exec(
            "INSERT INTO MMRecord (MEMID, BeiZhu) VALUES (1, 'work of a year')");
    }
    fs::path work() const { return prefix.scratch() / "person.qdb"; }

    // Copies the person's database and its side files into the install folder as they are
    // at this moment: what a process killed now leaves behind.
    void LeaveAsKilled() {
        fs::copy_file(work(), database, fs::copy_options::overwrite_existing);
        for (const char* suffix : kSideFiles) {
            if (fs::exists(WithSuffix(work(), suffix))) {
                fs::copy_file(WithSuffix(work(), suffix), WithSuffix(database, suffix));
            }
        }
    }

    void Install() {
        RunDataSteps();
        WriteSystemParams(*query, {"Company", "", "", ""}, installDir, {2026, 12, 11, 9, 0, 0});
        AppendInstallLog(*query, *connection, {2026, 12, 11, 9, 0, 0});
        Release();
    }

    // The notes of the log in a database file read alone, as a copy of it would be.
    std::vector<std::string> LogAlone(const fs::path& file) {
        const fs::path alone = prefix.scratch() / "alone.qdb";
        fs::copy_file(file, alone, fs::copy_options::overwrite_existing);
        SqliteFile db(alone);
        EXPECT_EQ(db.Rows("PRAGMA integrity_check")[0][0], "ok") << file;
        std::vector<std::string> notes;
        for (const auto& row :
             db.Rows("SELECT MEMID || ' ' || BeiZhu FROM MMRecord ORDER BY rowid")) {
            notes.push_back(row[0]);
        }
        return notes;
    }

    void ExpectNoSideFiles(const fs::path& file) {
        for (const char* suffix : kSideFiles) {
            EXPECT_FALSE(fs::exists(WithSuffix(file, suffix))) << file << suffix;
        }
    }

    // The new system database holds the installation's own writes in its file alone.
    void ExpectFreshSystemDatabase() {
        ExpectNoSideFiles(database);
        EXPECT_EQ(LogAlone(database), std::vector<std::string>{"1 系统安装"});
        SqliteFile db(database);
        EXPECT_EQ(db.Rows("SELECT CN FROM SYSPARAMS")[0][0], EncodeFieldText("Company"));
    }

    fs::path database;
    fs::path earlier;
};

TEST_F(EarlierDatabase, AHotJournalIsRolledBackBeforeTheDatabaseIsKept) {
    {
        // The application crashed mid-transaction: some of its pages are in the file already,
        // the journal holds what they replaced.
        SqliteFile app(work());
        app.Exec(
            "PRAGMA cache_size = 10; BEGIN;"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
            " INSERT INTO MMRecord (MEMID, BeiZhu) SELECT 100 + i, hex(randomblob(300)) FROM n;");
        ASSERT_GT(fs::file_size(WithSuffix(work(), "-journal")), 0u);
        LeaveAsKilled();
        app.Exec("ROLLBACK");
    }
    ASSERT_NE(test_files::Read(database), test_files::Read(work()))
        << "no page of the transaction was written";

    Install();
    EXPECT_EQ(LogAlone(earlier), (std::vector<std::string>{"1 work of a year"}));
    ExpectNoSideFiles(earlier);
    ExpectFreshSystemDatabase();
}

TEST_F(EarlierDatabase, ACommittedRowInAWriteAheadLogIsKept) {
    {
        // The application was killed after a commit that is only in its log.
        SqliteFile app(work());
        app.Exec(
            "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
            "INSERT INTO MMRecord (MEMID, BeiZhu) VALUES (2, 'committed before the kill')");
        ASSERT_GT(fs::file_size(WithSuffix(work(), "-wal")), 0u);
        LeaveAsKilled();
    }
    Install();
    EXPECT_EQ(LogAlone(earlier),
              (std::vector<std::string>{"1 work of a year", "2 committed before the kill"}));
    ExpectNoSideFiles(earlier);
    ExpectFreshSystemDatabase();
}

TEST_F(EarlierDatabase, SideFilesLeftWithoutTheirDatabaseNeverReachThePayloadCopy) {
    // The person's database went missing, or something else took its name, after the
    // application was killed with a commit in its log.
    for (const char* replacement : {"", "not a database"}) {
        {
            SqliteFile app(work());
            app.Exec(
                "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
                "INSERT INTO MMRecord (MEMID, BeiZhu) VALUES (2, 'in the log')");
            LeaveAsKilled();
        }
        fs::remove(database);
        if (*replacement) test_files::Write(database, replacement);
        Install();
        ExpectFreshSystemDatabase();
    }
}

TEST_F(EarlierDatabase, TheSideFilesOfTheEarlierDemoDatabaseGoWithIt) {
    const fs::path demo = Host(installDir + paths::kDemoDatabase);
    for (const char* suffix : kSideFiles)
        test_files::Write(WithSuffix(demo, suffix), "the earlier demo's");
    Install();
    EXPECT_EQ(test_files::Read(demo), "demo database");
    ExpectNoSideFiles(demo);
}

// A run killed between the payload copy and the swap leaves the payload under the database's
// name, the person's database in .old, and hidden temporaries of its copies in Data.
TEST_F(EarlierDatabase, WhatARunCutShortLeftIsClearedAndThePersonsCopyStays) {
    fs::copy_file(work(), earlier);
    fs::copy_file(Host(sourceDir) / "Setup.data", database);
    const fs::path data = database.parent_path();
    const std::vector<std::string> ours = {".MachineData.qdb.a8Kz0Q", ".MachineData.old.Zx81bc",
                                           ".MachineData.qdb.deleting", ".Demo.qdb.a8Kz0Q",
                                           ".Temp.qdb.Qm3x9P"};
    const std::vector<std::string> others = {".MachineData.qdb.notes", "MachineData.qdb.a8Kz0Q",
                                             ".Notes.qdb.a8Kz0Q", "notes.txt"};
    for (const auto& name : ours) test_files::Write(data / name, "left by a killed copy");
    for (const auto& name : others) test_files::Write(data / name, "someone else's");

    Install();
    EXPECT_EQ(test_files::Read(earlier), test_files::Read(work()));
    for (const auto& name : ours) EXPECT_FALSE(fs::exists(data / name)) << name;
    for (const auto& name : others)
        EXPECT_EQ(test_files::Read(data / name), "someone else's") << name;
    for (const auto& entry : fs::directory_iterator(data)) {
        EXPECT_FALSE(entry.path().extension() == ".old" && entry.path() != earlier)
            << entry.path() << ": a copy kept besides the person's";
    }
    ExpectFreshSystemDatabase();
}

// The payload copy fails: the run stops with the copy and its cause named, before anything
// opens the database, which stays the person's, read-only mark and all.
TEST_F(EarlierDatabase, AFailedPayloadCopyIsAnErrorNamingTheCopyAndItsCause) {
    const std::string copy = "Cannot copy " + sourceDir + paths::kPayload + " to " + installDir +
                             paths::kSystemDatabase + ": ";
    fs::copy_file(work(), database);
    const std::string persons = test_files::Read(database);

    // A read-only database in place: Windows refuses to replace it.
    chmod(database.c_str(), 0444);
    EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }), copy + "Permission denied");
    Release();
    EXPECT_EQ(test_files::Read(database), persons);
    EXPECT_EQ(win::GetFileAttributesA(installDir + paths::kSystemDatabase),
              win::FILE_ATTRIBUTE_READONLY);
    chmod(database.c_str(), 0644);

    // A file-size limit below the payload's size (checked in a child: the limit is per process).
    auto rows = SixRows();
    rows[0].file = std::string(2 * 1024 * 1024, 'p');
    PutPayload(rows);
    const std::string message = testing_support::ErrorOfInChild([&] {
        const rlimit limit{1024 * 1024, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        RunDataSteps();
    });
    EXPECT_EQ(message, copy + "File too large");
    EXPECT_EQ(test_files::Read(database), persons);

    // "Data" is a file: nothing can be written below it.
    fs::remove_all(Host(installDir));
    fs::create_directories(Host(installDir));
    test_files::Write(Host(installDir) / "Data", "a file");
    EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }), copy + "Not a directory");
}

}  // namespace
