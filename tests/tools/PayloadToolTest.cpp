// korvane-payload as a release engineer runs it: exit codes, messages, files left behind.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <xxhash.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/HexText.h"
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

// The xxHash library's XXH3-128 of a file: a reader independent of the tool's own kernels.
std::string LibraryXxh128(const std::string& file) {
    const std::string bytes = test_files::Read(file);
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
    return HexDigits(canonical.digest, sizeof canonical.digest);
}

// sha256sum's digest of a file: a reader independent of the tool.
std::string Sha256Sum(const fs::path& scratch, const std::string& file) {
    const auto out = scratch / "sha256sum.out";
    const std::string command = "sha256sum '" + file + "' >'" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return "(sha256sum failed)";
    return test_files::Read(out).substr(0, 64);
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
    std::string ListOf(const fs::path& payload) {
        return RunTool(dir.path(), {"list", payload.string()}).out;
    }
    // The column SHA256 as earlier builds stored it, filled from sha256sum for the rows given.
    void AddSha256Column(const fs::path& payload, const std::vector<std::string>& files,
                         std::initializer_list<int> uids) {
        SqliteFile db(payload);
        db.Exec("ALTER TABLE INSTDB ADD COLUMN SHA256 TEXT");
        for (const int uid : uids) {
            db.Run("UPDATE INSTDB SET SHA256 = ? WHERE UID = " + std::to_string(uid),
                   {Sha256Sum(dir.path(), files[static_cast<std::size_t>(uid - 1)])});
        }
    }
    // One flipped byte in the runtime library: no engine error, only the digest tells.
    void ExpectAFlippedByteFound(const fs::path& payload, const std::string& digestName) {
        SqliteFile(payload).Exec("UPDATE INSTDB SET FDB = x'6c696272617279005cfe' WHERE UID = 5");
        const auto flipped = RunTool(dir.path(), {"check", payload.string()});
        EXPECT_EQ(flipped.exitCode, 1);
        EXPECT_NE(flipped.err.find("row 5 (UID 5) does not match its " + digestName + " checksum"),
                  std::string::npos)
            << flipped.err;
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
    const std::string expected = "1\t7\tKorvane.exe\tXXH3-128\n2\t" +
                                 std::to_string(fs::file_size(files[1])) +
                                 "\tMachineData.qdb\tXXH3-128\n3\t15\tmanual.pdf\tXXH3-128\n"
                                 "4\t0\treadme.txt\tXXH3-128\n5\t10\tMidas.dll\tXXH3-128\n"
                                 "6\t4\tDemo.qdb\tXXH3-128\n";
    EXPECT_EQ(list.out, expected);

    const auto check = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, out.string() + ": sound (6 records checked by XXH3-128)\n");

    SqliteFile payload(out);
    const auto rows = payload.Rows("SELECT hex(FDB) FROM INSTDB ORDER BY UID");
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        std::string hex = HexText(test_files::Read(files[i]));
        for (auto& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(rows[i][0], hex) << files[i];
    }
}

TEST_F(PayloadTool, EveryRecordCarriesItsXxh128AndCheckReadsThemAll) {
    const auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    ASSERT_EQ(Build(out, files).exitCode, 0);
    // FDB last, and no SHA-256 beside the XXH3-128.
    const auto columns = SqliteFile(out).Rows("SELECT name FROM pragma_table_info('INSTDB')");
    EXPECT_EQ(columns,
              (std::vector<std::vector<std::string>>{{"UID"}, {"Name"}, {"XXH128"}, {"FDB"}}));
    const auto stored = SqliteFile(out).Rows("SELECT XXH128 FROM INSTDB ORDER BY UID");
    ASSERT_EQ(stored.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(stored[i][0], LibraryXxh128(files[i])) << i;

    ExpectAFlippedByteFound(out, "XXH3-128");

    // A payload without digests is checked as before, and says it was not checked by one.
    SqliteFile(out).Exec("ALTER TABLE INSTDB DROP COLUMN XXH128");
    const auto unsigned_ = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(unsigned_.exitCode, 0) << unsigned_.err;
    EXPECT_NE(unsigned_.out.find("sound (not checked by digest"), std::string::npos)
        << unsigned_.out;
    EXPECT_NE(ListOf(out).find("1\t7\tKorvane.exe\t-\n"), std::string::npos) << ListOf(out);
}

TEST_F(PayloadTool, APayloadOfAnEarlierBuildIsCheckedByItsSha256) {
    const auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    ASSERT_EQ(Build(out, files).exitCode, 0);
    AddSha256Column(out, files, {1, 2, 3, 4, 5, 6});
    SqliteFile(out).Exec("ALTER TABLE INSTDB DROP COLUMN XXH128");
    const auto check = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, out.string() + ": sound (6 records checked by SHA-256)\n");
    EXPECT_NE(ListOf(out).find("1\t7\tKorvane.exe\tSHA-256\n"), std::string::npos) << ListOf(out);

    ExpectAFlippedByteFound(out, "SHA-256");
}

TEST_F(PayloadTool, EachRowIsCheckedByItsXxh128WhereItHasOneElseByItsSha256) {
    const auto files = SixFiles();
    const auto out = dir.path() / "Setup.data";
    ASSERT_EQ(Build(out, files).exitCode, 0);
    AddSha256Column(out, files, {2, 4});
    {
        SqliteFile payload(out);
        // A wrong SHA-256 beside every XXH3-128: it is never the one compared.
        payload.Exec("UPDATE INSTDB SET SHA256 = '" + std::string(64, '0') +
                     "' WHERE UID NOT IN (2, 4)");
        payload.Exec("UPDATE INSTDB SET XXH128 = NULL WHERE UID = 2");
        payload.Exec("UPDATE INSTDB SET XXH128 = '' WHERE UID = 4");
        // Digits of either case name the same digest.
        payload.Exec("UPDATE INSTDB SET XXH128 = upper(XXH128) WHERE UID = 1");
    }
    const auto check = RunTool(dir.path(), {"check", out.string()});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, out.string() + ": sound (4 records checked by XXH3-128, 2 by SHA-256)\n");
    const auto list = ListOf(out);
    EXPECT_NE(list.find("\tKorvane.exe\tXXH3-128\n"), std::string::npos) << list;
    EXPECT_NE(list.find("\tMachineData.qdb\tSHA-256\n"), std::string::npos) << list;
    EXPECT_NE(list.find("\treadme.txt\tSHA-256\n"), std::string::npos) << list;
}

struct StoredValue {
    const char* what;
    std::string sql;  // the XXH128 value of row 3, as an SQL expression
    std::string problem;
};

TEST_F(PayloadTool, AStoredValueThatIsNoDigestIsAProblemNamingItsRecord) {
    const auto built = dir.path() / "built.data";
    ASSERT_EQ(Build(built, SixFiles()).exitCode, 0);
    const std::string digest =
        SqliteFile(built).Rows("SELECT XXH128 FROM INSTDB WHERE UID = 3")[0][0];
    const std::string malformed =
        "row 3 (UID 3): its XXH128 value is not a well-formed XXH3-128 digest";
    const std::string none = "row 3 (UID 3) carries no digest";
    const StoredValue cases[] = {
        {"one digit short", "'" + digest.substr(1) + "'", malformed},
        {"one digit over", "'" + digest + "0'", malformed},
        {"a SHA-256's length", "'" + digest + digest + "'", malformed},
        {"not hexadecimal", "'" + digest.substr(1) + "g'", malformed},
        {"blank before", "' " + digest + "'", malformed},
        {"blank after", "'" + digest + " '", malformed},
        {"line break after", "'" + digest + "' || char(10)", malformed},
        {"a number", "12345", malformed},
        {"NULL", "NULL", none},
        {"empty", "''", none},
    };
    for (const auto& c : cases) {
        const auto file = dir.path() / "Setup.data";
        fs::copy_file(built, file, fs::copy_options::overwrite_existing);
        SqliteFile(file).Exec("UPDATE INSTDB SET XXH128 = " + c.sql + " WHERE UID = 3");
        const auto check = RunTool(dir.path(), {"check", file.string()});
        EXPECT_EQ(check.exitCode, 1) << c.what;
        EXPECT_EQ(check.err, file.string() + ": " + c.problem + "\n") << c.what;
    }
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
