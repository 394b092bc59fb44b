// korvane-payload as a release engineer runs it: exit codes, messages, files left behind.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/ScratchDir.h"
#include "support/SqliteFixture.h"
#include "support/TestFiles.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
using testing_support::ScratchDir;
using testing_support::SqliteFile;

namespace {

fs::path BinaryDir() { return std::getenv("KORVANE_BINARY_DIR"); }

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

Result RunTool(const fs::path& scratch, const std::vector<std::string>& args) {
    std::string command = (BinaryDir() / "bin/korvane-payload").string();
    for (const auto& arg : args) command += " '" + arg + "'";
    const auto out = scratch / "tool.out";
    const auto err = scratch / "tool.err";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test_files::Read(out),
            test_files::Read(err)};
}

class PayloadTool : public ::testing::Test {
protected:
    // Six small files; the second a real system database, the fourth empty.
    std::vector<std::string> SixFiles() {
        const std::vector<std::pair<std::string, std::string>> files = {
            {"Korvane.exe", "program"},
            {"MachineData.qdb", testing_support::CleanSystemDatabaseBytes(dir.path())},
            {"manual.pdf", "%PDF-1.4 manual"},
            {"readme.txt", ""},
            {"Midas.dll", std::string("library\0\x5c\xff", 10)},
            {"Demo.qdb", "demo"}};
        std::vector<std::string> paths;
        for (const auto& [name, bytes] : files) {
            test_files::Write(dir.path() / name, bytes);
            paths.push_back((dir.path() / name).string());
        }
        return paths;
    }
    Result Build(const fs::path& out, const std::vector<std::string>& files) {
        std::vector<std::string> args = {"build", out.string()};
        args.insert(args.end(), files.begin(), files.end());
        return RunTool(dir.path(), args);
    }
    ScratchDir dir;
};

TEST_F(PayloadTool, HelpNamesTheCommandsAndTheExitCodes) {
    const auto help = RunTool(dir.path(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"build", "list", "check", "decode", "Exit codes"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(RunTool(dir.path(), {}).exitCode, 2);
    EXPECT_EQ(RunTool(dir.path(), {"list"}).exitCode, 2);
    EXPECT_EQ(RunTool(dir.path(), {"unpack", "x"}).exitCode, 2);
}

TEST_F(PayloadTool, BuildsAPayloadThatListsChecksAndHoldsTheFilesExactly) {
    const auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    const auto built = Build(out, files);
    ASSERT_EQ(built.exitCode, 0) << built.err;

    const auto list = RunTool(dir.path(), {"list", out.string()});
    EXPECT_EQ(list.exitCode, 0);
    const std::string expected = "1\t7\tKorvane.exe\n2\t" +
                                 std::to_string(fs::file_size(files[1])) +
                                 "\tMachineData.qdb\n3\t15\tmanual.pdf\n4\t0\treadme."
                                 "txt\n5\t10\tMidas.dll\n6\t4\tDemo.qdb\n";
    EXPECT_EQ(list.out, expected);

    const auto check = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(check.exitCode, 0) << check.err;

    SqliteFile payload(out);
    const auto rows = payload.Rows("SELECT hex(FDB) FROM INSTDB ORDER BY UID");
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        std::string hex = HexText(test_files::Read(files[i]));
        for (auto& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(rows[i][0], hex) << files[i];
    }
}

// sha256sum's digest of a file: a reader independent of the tool.
std::string Sha256Sum(const fs::path& scratch, const std::string& file) {
    const auto out = scratch / "sha256sum.out";
    const std::string command = "sha256sum '" + file + "' >'" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return "(sha256sum failed)";
    return test_files::Read(out).substr(0, 64);
}

TEST_F(PayloadTool, EveryRecordCarriesItsChecksumAndCheckReadsThemAll) {
    const auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    ASSERT_EQ(Build(out, files).exitCode, 0);
    const auto stored = SqliteFile(out).Rows("SELECT SHA256 FROM INSTDB ORDER BY UID");
    ASSERT_EQ(stored.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(stored[i][0], Sha256Sum(dir.path(), files[i])) << i;

    // One flipped byte in the runtime library: no engine error, only the checksum tells.
    SqliteFile(out).Exec("UPDATE INSTDB SET FDB = x'6c696272617279005cfe' WHERE UID = 5");
    const auto flipped = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(flipped.exitCode, 1);
    EXPECT_NE(flipped.err.find("row 5 (UID 5) does not match its SHA-256 checksum"),
              std::string::npos)
        << flipped.err;

    // A payload without checksums is checked as before.
    SqliteFile(out).Exec("ALTER TABLE INSTDB DROP COLUMN SHA256");
    const auto unsigned_ = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(unsigned_.exitCode, 0) << unsigned_.err;
}

TEST_F(PayloadTool, AFailedBuildLeavesTheEarlierPayloadAndNoHalfBuiltOne) {
    auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    test_files::Write(out, "earlier payload");

    // One value holds at most 1,000,000,000 bytes; a sparse file costs no disk.
    const auto huge = dir.path() / "huge.dll";
    test_files::Write(huge, "");
    fs::resize_file(huge, 1'000'000'001);
    files[4] = huge.string();
    const auto tooLarge = Build(out, files);
    EXPECT_EQ(tooLarge.exitCode, 1);
    EXPECT_NE(tooLarge.err.find(huge.string()), std::string::npos) << tooLarge.err;
    EXPECT_NE(tooLarge.err.find("1000000000"), std::string::npos) << tooLarge.err;

    files[4] = (dir.path() / "missing.dll").string();
    const auto missing = Build(out, files);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("missing.dll"), std::string::npos) << missing.err;

    EXPECT_EQ(test_files::Read(out), "earlier payload");
    EXPECT_FALSE(fs::exists(dir.path() / "Setup.data.building"));
}

struct BrokenPayload {
    const char* what;
    std::string sql;          // run on a fresh SQLite file; empty: the file is not SQLite
    std::string systemDbSql;  // when set, row 2 carries a database made from it
    std::vector<std::string> problems;
};

TEST_F(PayloadTool, CheckNamesEveryProblem) {
    const std::string sixRows =
        "CREATE TABLE INSTDB (UID INTEGER, FDB BLOB);"
        "INSERT INTO INSTDB VALUES (1, x'00'), (2, NULL), (3, x'00'), (4, x'00'), (5, x'00'), (6, "
        "x'00');";
    const BrokenPayload cases[] = {
        {"not SQLite", "", "", {"not an SQLite database"}},
        {"no INSTDB", "CREATE TABLE Other (A);", "", {"no table INSTDB"}},
        {"no FDB", "CREATE TABLE INSTDB (UID INTEGER, Data BLOB);", "", {"no column FDB"}},
        {"five rows",
         "CREATE TABLE INSTDB (UID, FDB); INSERT INTO INSTDB VALUES (1,1),(2,2),(3,3),(4,4),(5,5);",
         "",
         {"holds 5 rows"}},
        {"row 2 empty", sixRows, "", {"row 2 (the system database) holds no file"}},
        {"row 2 not SQLite",
         "CREATE TABLE INSTDB (UID INTEGER, FDB BLOB);"
         "INSERT INTO INSTDB VALUES (1, x'00'), (2, x'41424344'), (3, x'00'), (4, x'00'), (5, "
         "x'00'), (6, x'00');",
         "",
         {"not an SQLite database"}},
        {"row 2 lacks a table and a column",
         sixRows,
         "CREATE TABLE SYSPARAMS (CN, CA, PN, DP, InsD, BkD);",
         {"has no table MMRecord", "SYSPARAMS has no column BkP"}},
    };
    for (const auto& c : cases) {
        const auto file = dir.path() / (std::string(c.what) + ".data");
        if (c.sql.empty()) {
            test_files::Write(file, std::string(2048, 'x'));
        } else {
            SqliteFile db(file);
            db.Exec(c.sql);
            if (!c.systemDbSql.empty()) {
                const auto systemDb = dir.path() / (std::string(c.what) + ".qdb");
                SqliteFile(systemDb).Exec(c.systemDbSql);
                db.Run("UPDATE INSTDB SET FDB = ? WHERE UID = 2", {test_files::Read(systemDb)},
                       true);
            }
        }
        const auto check = RunTool(dir.path(), {"check", file.string()});
        EXPECT_EQ(check.exitCode, 1) << c.what;
        for (const auto& problem : c.problems) {
            EXPECT_NE(check.err.find(problem), std::string::npos) << c.what << ": " << check.err;
        }
    }
}

TEST_F(PayloadTool, TheDemoPayloadOfTheBuildIsSound) {
    const auto check = RunTool(dir.path(), {"check", (BinaryDir() / "bin/Setup.data").string()});
    EXPECT_EQ(check.exitCode, 0) << check.err;
}

TEST_F(PayloadTool, DecodePrintsTheStoredCompanyDetailsInPlainText) {
    const auto systemDb = dir.path() / "MachineData.qdb";
    test_files::Write(systemDb, testing_support::CleanSystemDatabaseBytes(dir.path()));
    {
        SqliteFile db(systemDb);
        std::vector<std::optional<std::string>> values;
        for (const char* plain : {"誠信机械厂", "NULL", "100083", "设备科", "2026-12-06",
                                  "2026-12-06", "C:\\Program Files\\Korvane"}) {
            values.push_back(EncodeFieldText(cp936::FromUtf8(plain)));
        }
        db.Run("UPDATE SYSPARAMS SET CN = ?, CA = ?, PN = ?, DP = ?, InsD = ?, BkD = ?, BkP = ?",
               values);
    }
    const auto decoded = RunTool(dir.path(), {"decode", systemDb.string()});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_EQ(decoded.out,
              "CN\t誠信机械厂\nCA\tNULL\nPN\t100083\nDP\t设备科\nInsD\t2026-12-06\n"
              "BkD\t2026-12-06\nBkP\tC:\\Program Files\\Korvane\n");

    SqliteFile(systemDb).Exec("UPDATE SYSPARAMS SET DP = 'plain text'");
    const auto garbled = RunTool(dir.path(), {"decode", systemDb.string()});
    EXPECT_EQ(garbled.exitCode, 1);
    EXPECT_NE(garbled.err.find("SYSPARAMS.DP"), std::string::npos) << garbled.err;
}

}  // namespace
