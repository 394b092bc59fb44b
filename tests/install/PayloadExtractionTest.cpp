// The data steps on payloads good and bad: where each record goes, what is kept, what fails.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <random>

#include "install/DataStepsFixture.h"
#include "platform/RecordDigest.h"
#include "platform/SetupError.h"
#include "support/ErrorText.h"

namespace fs = std::filesystem;
using testing_support::DataStepsTest;
using testing_support::ErrorOf;
using testing_support::PayloadRow;
using testing_support::SqliteFile;

using namespace cp936::literals;

namespace {

class Extraction : public DataStepsTest {
protected:
    // Destination of each of the six records, in UID order.
    std::vector<std::string> Destinations() const {
        return {installDir + paths::kProgram,       installDir + paths::kSystemDatabase,
                installDir + paths::kManual,        installDir + paths::kReadMe,
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
    rows[2].file = std::nullopt;  // the manual
    rows.push_back({7, "seventh, never read"});
    PutPayload(rows);
    // A longer manual from before must not survive in part.
    fs::create_directories(Host(installDir));
    test_files::Write(Host(installDir) / fs::path(cp936::ToUtf8(paths::kManual + 1)),
                      std::string(100, 'm'));
    RunDataSteps();
    rows.pop_back();
    ExpectInstalled(rows);
}

// A reinstall from a payload that cannot be installed stops before the payload copy can
// take the place of the person's database, with the engine's text naming Setup.data.
TEST_F(Extraction, ABrokenPayloadIsRefusedByNameAndTheDatabaseInPlaceStays) {
    const std::string payload = sourceDir + paths::kPayload;
    const struct {
        const char* what;
        std::function<void(Extraction&)> make;  // puts the broken Setup.data in place
        std::string message;
    } cases[] = {
        {"missing", [](Extraction&) {},
         "Cannot open database " + payload + ": the file cannot be read"},
        {"not a database",
         [](Extraction& t) {
             test_files::Write(t.Host(t.sourceDir) / "Setup.data", std::string(4096, 'x'));
         },
         payload + " is not an SQLite database"},
        {"no INSTDB",
         [](Extraction& t) {
             SqliteFile(t.Host(t.sourceDir) / "Setup.data").Exec("CREATE TABLE T (A)");
         },
         payload + ": SELECT * FROM INSTDB ORDER BY UID: no such table: INSTDB"},
        {"no FDB",
         [](Extraction& t) {
             SqliteFile(t.Host(t.sourceDir) / "Setup.data").Exec("CREATE TABLE INSTDB (UID, Data)");
         },
         payload + ": Field 'FDB' not found"},
        {"five rows",
         [](Extraction& t) {
             auto rows = t.SixRows();
             rows.pop_back();
             t.PutPayload(rows);
         },
         payload + " is incomplete: it holds 5 of the 6 files an installation needs"},
    };
    for (const auto& c : cases) {
        fs::create_directories(Host(installDir) / "Data");
        test_files::Write(Host(installDir + paths::kSystemDatabase), "the person's data");
        c.make(*this);
        const std::string before =
            fs::exists(Host(payload)) ? test_files::Read(Host(payload)) : std::string();

        EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }), c.message) << c.what;
        EXPECT_EQ(Read(installDir + paths::kSystemDatabase), "the person's data") << c.what;
        EXPECT_FALSE(fs::exists(Host(installDir + paths::kProgram))) << c.what;
        EXPECT_EQ(fs::exists(Host(payload)) ? test_files::Read(Host(payload)) : "", before)
            << c.what;
        Release();
        fs::remove_all(Host(installDir));
        fs::remove(Host(payload));
    }
}

// Records carrying SHA-256 digests, as payloads of earlier builds do: still checked.
TEST_F(Extraction, EachRecordIsCheckedAgainstItsChecksum) {
    auto rows = SixRows();
    rows[0].sha256 = "1310ca2c8932dbd118668bd97442558a3e1f546b5e15c69699dfbd6024f548d8";
    rows[2].sha256 =
        "74128C2C99ED9400CEFE6B8983E04DC0180DA91F8B00F1DFB1F1C44CCBDB06BB";  // any case
    rows[3].sha256 = "aacb0b575020df5ae74a4b28174ad2e998236b1218c3e39f7de44025ccde7502";
    rows[4].sha256 = "9349660b247d20ac6f92d93603ef4c475a1e77a50a5f4fda248b2e9fdc2d860d";
    rows[5].sha256 = "e17cab17cbc38569761c5fd85ff0c646aab29ec0a014775287336322bdf56877";
    // Row 2 has none: a record without a checksum is written as it is.
    PutPayload(rows);
    RunDataSteps();
    ExpectInstalled(rows);
    Release();

    // One flipped byte inside the manual's record: found before anything is replaced.
    rows[2].file = "%PDF-1.4 manuaL";
    PutPayload(rows);
    EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }),
              "Setup.data is damaged: the record with UID 3 does not match its SHA-256 checksum");
    EXPECT_EQ(Read(installDir + paths::kManual), "%PDF-1.4 manual");
}

// Extraction checks again as the bytes stream from the payload copy: a mismatch there leaves
// the earlier file as it was and no temporary beside it.
TEST_F(Extraction, AMismatchWhileExtractingLeavesTheEarlierFile) {
    auto rows = SixRows();
    rows[0].xxh128 = std::string(32, '0');
    PutPayload(rows);
    const std::string program = installDir + paths::kProgram;
    test_files::Write(Host(program), "the earlier program");
    DbConnection payload;
    payload.SetConnectionString("Data Source=" + sourceDir + paths::kPayload);
    payload.Open();
    DbQuery records(payload);
    OpenPayloadRecords(records, sourceDir + paths::kPayload);
    EXPECT_EQ(
        ErrorOf([&] { SavePayloadRecord(records, program, {}).Place(); }),
        "Setup.data is damaged: the record with UID 1 does not match its XXH3-128 checksum; " +
            program + " was not written");
    EXPECT_EQ(Read(program), "the earlier program");
    EXPECT_EQ(std::distance(fs::directory_iterator(Host(installDir)), fs::directory_iterator()), 1);
}

// A stored value that is no digest is an error naming the record, before anything moves;
// upper-case digits are a digest, an empty or null value leaves the record unchecked.
TEST_F(Extraction, AStoredValueThatIsNoDigestIsAnErrorNamingTheRecord) {
    const std::string sound = [&] {
        RecordDigest digest(DigestKind::Xxh128);
        digest.Update("read-me", 7);
        return digest.HexDigest();
    }();
    const std::string noDigest =
        "Setup.data is damaged: the record with UID 4: its XXH128 value is not a XXH3-128 digest";
    const struct {
        const char* what;
        std::optional<std::string> value;
        std::string error;
    } cases[] = {
        {"sound", sound, "(no error)"},
        {"upper case",
         [&] {
             std::string upper = sound;
             std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
             return upper;
         }(),
         "(no error)"},
        {"empty", "", "(no error)"},
        {"null", std::nullopt, "(no error)"},
        {"one digit short", sound.substr(1), noDigest},
        {"one digit more", sound + "0", noDigest},
        {"a SHA-256 length", sound + sound, noDigest},
        {"not hexadecimal", sound.substr(1) + "g", noDigest},
        {"a blank before", " " + sound, noDigest},
        {"a blank after", sound + " ", noDigest},
        {"a line break after", sound + "\n", noDigest},
        {"text", std::string("none"), noDigest},
    };
    for (const auto& c : cases) {
        auto rows = SixRows();
        rows[0].xxh128 = "";  // the column exists in every case
        rows[3].xxh128 = c.value;
        PutPayload(rows);
        EXPECT_EQ(ErrorOf([&] { RunDataSteps(); }), c.error) << c.what;
        Release();
        fs::remove_all(Host(installDir));
    }
}

TEST_F(Extraction, AnExistingRuntimeLibraryIsLeftAloneAndTheDemoStillGetsRecordSix) {
    const auto library = Host(systemDir) / "Midas.dll";
    test_files::Write(library, "the library already there");
    const auto rows = SixRows();
    PutPayload(rows);
    RunDataSteps();
    EXPECT_EQ(test_files::Read(library), "the library already there");
    EXPECT_EQ(Read(installDir + paths::kDemoDatabase), "demo database");
}

TEST_F(Extraction, AReadOnlyPayloadGivesAWritableSystemDatabase) {
    PutPayload(SixRows());
    const auto payload = Host(sourceDir) / "Setup.data";
    win::SetFileAttributesA(sourceDir + paths::kPayload, win::FILE_ATTRIBUTE_READONLY);
    const std::string before = test_files::Read(payload);
    RunDataSteps();
    EXPECT_EQ(
        win::GetFileAttributesA(installDir + paths::kSystemDatabase) & win::FILE_ATTRIBUTE_READONLY,
        0u);
    EXPECT_EQ(test_files::Read(payload), before);
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
    const std::string message = testing_support::ErrorOfInChild([&] {
        KeepEarlierSystemDatabase(installDir);
        win::CreateDirectoryA(installDir);
        win::CreateDirectoryA(installDir + paths::kDataFolder);
        CopyPayloadIntoPlace(sourceDir, installDir, {});
        DbConnection payloadCopy;
        OpenSystemDatabase(payloadCopy, installDir);
        DbQuery records(payloadCopy);
        OpenPayloadRecords(records, sourceDir + paths::kPayload);
        const rlimit limit{1024 * 1024, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        SavePayloadRecord(records, installDir + paths::kProgram, {}).Place();
    });
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
        SaveNextPayloadRecord(*query, installDir + paths::kNewSystemDatabase, {}).Place();
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
    test_files::Write(Host(installDir + paths::kSystemDatabase), "the user's real data");

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
        if (entry.path().extension() == ".old") kept.push_back(test_files::Read(entry.path()));
    }
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), "the user's real data"), 1);
    EXPECT_EQ(Read(installDir + paths::kEarlierSystemDatabase), cleanAfterSecond);
}

TEST_F(Extraction, AnUpgradeCopyThatFailsStopsBeforeTheDatabaseIsReplaced) {
    PutPayload(SixRows());
    fs::create_directories(Host(installDir) / "Data");
    test_files::Write(Host(installDir) / "Data" / "MachineData.qdb", "the user's real data");
    // A folder where the copy should go: the copy fails.
    fs::create_directories(Host(installDir) / "Data" / "MachineData.old" / "x");
    const std::string message = ErrorOf([&] { RunDataSteps(); });
    EXPECT_NE(message.find(installDir + paths::kEarlierSystemDatabase), std::string::npos)
        << message;
    EXPECT_EQ(Read(installDir + paths::kSystemDatabase), "the user's real data");
}

TEST_F(Extraction, FoldersWithSqlMetacharactersAndTrailBytes5CWork) {
    // 誠 is D5 5C: its trail byte is the byte of "\".
    sourceDir = "C:\\誠信's; DROP TABLE INSTDB;--"_gbk;
    // The install folder is part of the connection string, where ";" ends the Data Source.
    installDir = "C:\\Program Files\\誠'%s--"_gbk;
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
