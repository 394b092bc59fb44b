// The data steps on payloads good and bad: where each record goes, what is kept, what fails.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "data/DataStepsFixture.h"
#include "data/ErrorText.h"
#include "platform/SetupError.h"

namespace fs = std::filesystem;
using testing_support::ErrorOf;
using testing_support::DataStepsTest;
using testing_support::PayloadRow;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

class Extraction : public DataStepsTest {
protected:
    // Destination of each of the six records, in UID order.
    std::vector<std::string> Destinations() const {
        return {installDir + paths::kProgram,  installDir + paths::kSystemDatabase,
                installDir + paths::kManual,   installDir + paths::kReadMe,
                systemDir + paths::kRuntimeLibrary, installDir + paths::kDemoDatabase};
    }
    void ExpectInstalled(const std::vector<PayloadRow>& rows) {
        auto sorted = rows;
        std::sort(sorted.begin(), sorted.end(),
                  [](const PayloadRow& a, const PayloadRow& b) { return a.uid < b.uid; });
        const auto destinations = Destinations();
        for (std::size_t i = 0; i < destinations.size(); ++i) {
            EXPECT_EQ(Read(destinations[i]), sorted[i].file.value_or("")) << destinations[i];
        }
        EXPECT_FALSE(fs::exists(Host(installDir + paths::kNewSystemDatabase)));
    }
};

TEST_F(Extraction, RecordsGoToTheirPlacesInUidOrderWhateverTheStoredOrder) {
    auto rows = SixRows();
    for (auto& row : rows) row.uid *= 10;  // UIDs need not be 1..6
    std::shuffle(rows.begin(), rows.end(), std::mt19937(7));
    PutPayload(rows);
    RunDataSteps();
    ExpectInstalled(rows);
}

TEST_F(Extraction, ANullRecordGivesAnEmptyFileAndRowsAfterTheSixthAreIgnored) {
    auto rows = SixRows();
    rows[2].file = std::nullopt;                // the manual
    rows.push_back({7, "seventh, never read"});
    PutPayload(rows);
    // A longer manual from before must not survive in part.
    fs::create_directories(Host(installDir));
    WriteBytes(Host(installDir) / fs::path(cp936::ToUtf8(paths::kManual + 1)), std::string(100, 'm'));
    RunDataSteps();
    rows.pop_back();
    ExpectInstalled(rows);
}

TEST_F(Extraction, APayloadOfFiveRecordsIsRefusedByNameBeforeAnyFileIsWritten) {
    auto rows = SixRows();
    rows.pop_back();
    PutPayload(rows);
    const std::string message = ErrorOf([&] { RunDataSteps(); });
    EXPECT_NE(message.find(sourceDir + paths::kPayload), std::string::npos) << message;
    EXPECT_NE(message.find(" 5 "), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(Host(installDir + paths::kProgram)));
}

TEST_F(Extraction, AnExistingRuntimeLibraryIsLeftAloneAndTheDemoStillGetsRecordSix) {
    const auto library = Host(systemDir) / "Midas.dll";
    WriteBytes(library, "the library already there");
    const auto rows = SixRows();
    PutPayload(rows);
    RunDataSteps();
    EXPECT_EQ(ReadBytes(library), "the library already there");
    EXPECT_EQ(Read(installDir + paths::kDemoDatabase), "demo database");
}

TEST_F(Extraction, AReadOnlyPayloadGivesAWritableSystemDatabase) {
    PutPayload(SixRows());
    const auto payload = Host(sourceDir) / "Setup.data";
    win::SetFileAttributesA(sourceDir + paths::kPayload, win::FILE_ATTRIBUTE_READONLY);
    const std::string before = ReadBytes(payload);
    RunDataSteps();
    EXPECT_EQ(win::GetFileAttributesA(installDir + paths::kSystemDatabase) & win::FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadBytes(payload), before);
}

TEST_F(Extraction, AMissingDestinationFolderStopsWithTheFullPathAndEarlierFilesStay) {
    PutPayload(SixRows());
    systemDir = "C:\\windows\\nosuch";
    const std::string message = ErrorOf([&] { RunDataSteps(); });
    EXPECT_EQ(message, "Cannot create file C:\\windows\\nosuch\\Midas.dll");
    EXPECT_EQ(Read(installDir + paths::kReadMe), "read-me");
}

TEST_F(Extraction, ADestinationOnAMissingDriveCannotBeCreated) {
    PutPayload(SixRows());
    systemDir = "Q:\\windows";
    EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }), "Cannot create file Q:\\windows\\Midas.dll");
}

// A write that fails half-way (here: the file-size limit) must not leave a short file behind.
TEST_F(Extraction, AFailedWriteLeavesNoShortFile) {
    auto rows = SixRows();
    rows[0].file = std::string(4 * 1024 * 1024, 'p');
    PutPayload(rows);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        win::PrepareFileCalls();  // as the program does at start-up
        std::string message = "(no error)";
        try {
            KeepEarlierSystemDatabase(installDir);
            win::CreateDirectoryA(installDir);
            win::CreateDirectoryA(installDir + paths::kDataFolder);
            CopyPayloadIntoPlace(sourceDir, installDir, {});
            DbConnection connection;
            OpenSystemDatabase(connection, installDir);
            DbQuery query(connection);
            OpenPayloadRecords(query, sourceDir + paths::kPayload);
            const rlimit limit{1024 * 1024, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
            SavePayloadRecord(query, installDir + paths::kProgram, {});
        } catch (const SetupError& error) {
            message = error.Message();
        }
        (void)!write(pipeFds[1], message.data(), message.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_NE(message.find("Cannot write file " + installDir + paths::kProgram), std::string::npos)
        << message;
    EXPECT_FALSE(fs::exists(Host(installDir) / "Korvane.exe"));
}

TEST_F(Extraction, AFailedSwapIsAnErrorAndKeepsTheExtractedDatabase) {
    PutPayload(SixRows());
    const struct {
        const char* what;
        std::function<void(Extraction&)> breakIt;
        std::string path;  // named in the message
    } cases[] = {
        {"the payload copy cannot be deleted",
         [](Extraction& t) {
             // A folder in its place: the delete fails and the path is still taken.
             t.connection->Close();
             fs::remove(t.Host(t.installDir + paths::kSystemDatabase));
             fs::create_directories(t.Host(t.installDir) / "Data" / "MachineData.qdb" / "in-use");
         },
         installDir + paths::kSystemDatabase},
        {"the extracted database cannot be renamed",
         [](Extraction& t) { fs::remove(t.Host(t.installDir + paths::kNewSystemDatabase)); },
         installDir + paths::kNewSystemDatabase},
    };
    for (const auto& c : cases) {
        connection = std::make_unique<DbConnection>();
        query = std::make_unique<DbQuery>(*connection);
        win::CreateDirectoryA(installDir);
        win::CreateDirectoryA(installDir + paths::kDataFolder);
        CopyPayloadIntoPlace(sourceDir, installDir, {});
        OpenSystemDatabase(*connection, installDir);
        OpenPayloadRecords(*query, sourceDir + paths::kPayload);
        SaveNextPayloadRecord(*query, installDir + paths::kNewSystemDatabase, {});
        c.breakIt(*this);
        const std::string message =
            ErrorOf([&] { SwapInSystemDatabase(*query, *connection, installDir, {}); });
        EXPECT_NE(message.find(c.path), std::string::npos) << c.what << ": " << message;
        if (c.path != installDir + paths::kNewSystemDatabase) {
            EXPECT_TRUE(fs::exists(Host(installDir + paths::kNewSystemDatabase))) << c.what;
        }
        Release();
        fs::remove_all(Host(installDir));
    }
}

TEST_F(Extraction, ReinstallsNeverOverwriteTheOnlyCopyOfTheUsersData) {
    PutPayload(SixRows());
    RunDataSteps();
    Release();
    // The person works with the system: the database now holds their real data.
    WriteBytes(Host(installDir + paths::kSystemDatabase), "the user's real data");

    RunDataSteps();  // second install: .old holds the real data
    Release();
    EXPECT_EQ(Read(installDir + paths::kEarlierSystemDatabase), "the user's real data");
    const std::string cleanAfterSecond = Read(installDir + paths::kSystemDatabase);

    RunDataSteps();  // third: the clean database would have replaced the only copy
    Release();
    RunDataSteps();  // fourth, the same day: a dated name must not be reused either
    Release();

    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(Host(installDir) / "Data")) {
        if (entry.path().extension() == ".old") kept.push_back(ReadBytes(entry.path()));
    }
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), "the user's real data"), 1);
    EXPECT_EQ(Read(installDir + paths::kEarlierSystemDatabase), cleanAfterSecond);
}

TEST_F(Extraction, AnUpgradeCopyThatFailsStopsBeforeTheDatabaseIsReplaced) {
    PutPayload(SixRows());
    fs::create_directories(Host(installDir) / "Data");
    WriteBytes(Host(installDir) / "Data" / "MachineData.qdb", "the user's real data");
    // A folder where the copy should go: the copy fails.
    fs::create_directories(Host(installDir) / "Data" / "MachineData.old" / "x");
    const std::string message = ErrorOf([&] { RunDataSteps(); });
    EXPECT_NE(message.find(installDir + paths::kEarlierSystemDatabase), std::string::npos) << message;
    EXPECT_EQ(Read(installDir + paths::kSystemDatabase), "the user's real data");
}

TEST_F(Extraction, FoldersWithSqlMetacharactersAndTrailBytes5CWork) {
    // 誠 is D5 5C: its trail byte is the byte of "\".
    sourceDir = cp936::FromUtf8("C:\\誠信's; DROP TABLE INSTDB;--");
    // The install folder is part of the connection string, where ";" ends the Data Source.
    installDir = cp936::FromUtf8("C:\\Program Files\\誠'%s--");
    fs::create_directories(prefix.prefix() / "drive_c" / cp936::ToUtf8(sourceDir.substr(3)));
    const auto rows = SixRows();
    PutPayload(rows);
    RunDataSteps();
    ExpectInstalled(rows);
}

}  // namespace

namespace {

TEST(ConnectionString, FivePiecesInOrderEndingWithAPropertyWithoutValue) {
    EXPECT_EQ(SystemDatabaseConnectionString("C:\\Program Files\\Korvane"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Program Files\\Korvane"
              "\\Data\\MachineData.qdb;Persist Security Info=False;Jet OLEDB:Database");
}

}  // namespace
