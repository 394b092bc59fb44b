// The SYSPARAMS row and the MMRecord row an installation writes.

#include <gtest/gtest.h>

#include "install/DataStepsFixture.h"
#include "install/SystemParams.h"
#include "platform/SetupError.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
using testing_support::DataStepsTest;
using testing_support::SqliteFile;

using namespace cp936::literals;

namespace {

const win::SYSTEMTIME kNow{2026, 12, 6, 9, 5, 7};

class SystemParams : public DataStepsTest {
protected:
    void SetUp() override {
        DataStepsTest::SetUp();
        fs::create_directories(Host(installDir) / "Data");
        database = Host(installDir) / "Data" / "MachineData.qdb";
        WriteBytesOfCleanDatabase();
        connection = std::make_unique<DbConnection>();
        OpenSystemDatabase(*connection, installDir);
        query = std::make_unique<DbQuery>(*connection);
    }
    void WriteBytesOfCleanDatabase() {
        test_files::Write(database, testing_support::CleanSystemDatabaseBytes(prefix.scratch()));
    }
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        return SqliteFile(database).Rows(sql);
    }
    fs::path database;
};

TEST_F(SystemParams, TheFirstRowGetsTheSevenEncodedValuesAndEverythingElseStays) {
    SqliteFile(database).Exec("INSERT INTO SYSPARAMS (CN, Ver) VALUES ('second row', '9.99')");
    const CompanyDetails details{"  誠信机械厂\t"_gbk, " 北京市'; DROP TABLE SYSPARAMS;-- "_gbk,
                                 " 设备科 "_gbk, " 100083 "};
    WriteSystemParams(*query, details, installDir, kNow);

    const auto rows =
        Rows("SELECT CN, CA, PN, DP, InsD, BkD, BkP, Ver FROM SYSPARAMS ORDER BY rowid");
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string> first = {
        EncodeFieldText("誠信机械厂"_gbk), EncodeFieldText("北京市'; DROP TABLE SYSPARAMS;--"_gbk),
        EncodeFieldText("100083"),         EncodeFieldText("设备科"_gbk),
        EncodeFieldText("2026-12-06"),     EncodeFieldText("2026-12-06"),
        EncodeFieldText(installDir),       "3.50"};
    EXPECT_EQ(rows[0], first);
    EXPECT_EQ(rows[1][0], "second row");
    EXPECT_EQ(rows[1][7], "9.99");
}

TEST_F(SystemParams, AnEmptyTableGetsOneRowAndEmptyEntriesFollowTheirRules) {
    SqliteFile(database).Exec("DELETE FROM SYSPARAMS");
    const std::string folderWithSpaces = " C:\\Korvane ";  // stored as held, untrimmed
    WriteSystemParams(*query, {"  Acme  ", " \t ", "", ""}, folderWithSpaces, kNow);
    const auto rows = Rows("SELECT CN, CA, PN, DP, BkP FROM SYSPARAMS");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], EncodeFieldText("Acme"));
    EXPECT_EQ(rows[0][1], EncodeFieldText("NULL"));
    EXPECT_EQ(rows[0][1].size(), 44u);
    EXPECT_EQ(rows[0][2], "");
    EXPECT_EQ(rows[0][3], "");
    EXPECT_EQ(rows[0][4], EncodeFieldText(folderWithSpaces));
}

TEST_F(SystemParams, AMissingColumnStopsTheWriteAndStoresNothing) {
    SqliteFile(database).Exec("ALTER TABLE SYSPARAMS DROP COLUMN BkP");
    try {
        WriteSystemParams(*query, {"Acme", "", "", ""}, installDir, kNow);
        FAIL() << "no error";
    } catch (const SetupError& error) {
        EXPECT_EQ(error.Message(), "Field 'BkP' not found");
    }
    Release();
    EXPECT_EQ(Rows("SELECT CN FROM SYSPARAMS")[0][0], "NULL");
}

TEST_F(SystemParams, TheLogRowCountsRowsAndTheConnectionIsClosedAfterwards) {
    const struct {
        int rowsBefore;
        std::string memid;
    } cases[] = {{0, "1"}, {7, "8"}};
    for (const auto& c : cases) {
        {
            SqliteFile db(database);
            db.Exec("DELETE FROM MMRecord");
            // MEMIDs 1 .. n+2 with the first two deleted: n rows, and n+1 may already be taken.
            for (int id = 1; id <= c.rowsBefore + 2; ++id) {
                db.Exec("INSERT INTO MMRecord (MEMID) VALUES (" + std::to_string(id) + ")");
            }
            db.Exec("DELETE FROM MMRecord WHERE MEMID <= 2");
        }
        if (!connection->Connected()) connection->Open();
        AppendInstallLog(*query, *connection, kNow);
        EXPECT_FALSE(connection->Connected());
        const auto rows = Rows(
            "SELECT MEMID, MDate, MTime, BeiZhu, Uid FROM MMRecord "
            "ORDER BY rowid DESC LIMIT 1");
        const std::vector<std::string> expected = {c.memid, "2026-12-06", "09:05:07", "系统安装",
                                                   "8888"};
        EXPECT_EQ(rows[0], expected) << c.rowsBefore;
    }
}

TEST(SystemParamsDates, DatesHaveFixedWidths) {
    EXPECT_EQ(FormatDate({987, 1, 2, 0, 0, 0}), "0987-01-02");
    EXPECT_EQ(FormatCompactDate({2026, 12, 6, 0, 0, 0}), "20261206");
}

}  // namespace
