// The data steps of two installations from the demo payload the build makes, without a window.

#include <gtest/gtest.h>

#include <cstdlib>

#include "install/DataStepsFixture.h"
#include "install/SystemParams.h"
#include "utils/mUtils.h"

namespace fs = std::filesystem;
using testing_support::DataStepsTest;
using testing_support::SqliteFile;

using namespace cp936::literals;

namespace {

class EndToEnd : public DataStepsTest {
protected:
    void SetUp() override {
        DataStepsTest::SetUp();
        demoPayload = fs::path(std::getenv("KORVANE_BINARY_DIR")) / "bin" / "Setup.data";
        fs::copy_file(demoPayload, Host(sourceDir) / "Setup.data");
    }
    void Install(const CompanyDetails& details, const win::SYSTEMTIME& now) {
        RunDataSteps();
        WriteSystemParams(*query, details, installDir, now);
        AppendInstallLog(*query, *connection, now);
        Release();
    }
    // The payload's files by UID, read with SQLite itself.
    std::vector<std::string> PayloadFiles() {
        std::vector<std::string> files;
        for (const auto& row :
             SqliteFile(demoPayload).Rows("SELECT hex(FDB) FROM INSTDB ORDER BY UID")) {
            files.push_back(row[0]);
        }
        return files;
    }
    static std::string Hex(const fs::path& file) {
        std::string hex = HexText(test_files::Read(file));
        for (auto& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return hex;
    }
    fs::path demoPayload;
};

TEST_F(EndToEnd, TwoInstallationsFromTheDemoPayload) {
    const auto payload = PayloadFiles();
    ASSERT_EQ(payload.size(), 6u);
    const win::SYSTEMTIME first{2026, 12, 6, 10, 0, 0};
    Install({"誠信机械厂"_gbk, "", "", "100083"}, first);

    const fs::path folder = Host(installDir);
    EXPECT_EQ(Hex(folder / "Korvane.exe"), payload[0]);
    EXPECT_EQ(Hex(folder / cp936::ToUtf8(paths::kManual + 1)), payload[2]);
    EXPECT_EQ(Hex(folder / cp936::ToUtf8(paths::kReadMe + 1)), payload[3]);
    EXPECT_EQ(Hex(Host(systemDir) / "Midas.dll"), payload[4]);
    EXPECT_EQ(Hex(folder / "Data" / "Demo.qdb"), payload[5]);
    EXPECT_FALSE(fs::exists(folder / "Data" / "Temp.qdb"));
    EXPECT_FALSE(fs::exists(folder / "Data" / "MachineData.old"));

    const fs::path database = folder / "Data" / "MachineData.qdb";
    {
        SqliteFile db(database);
        const auto params = db.Rows("SELECT CN, PN, InsD, BkP, Ver FROM SYSPARAMS");
        ASSERT_EQ(params.size(), 1u);
        const std::vector<std::string> expected = {
            EncodeFieldText("誠信机械厂"_gbk), EncodeFieldText("100083"),
            EncodeFieldText("2026-12-06"), EncodeFieldText(installDir), "3.50"};
        EXPECT_EQ(params[0], expected);
        EXPECT_EQ(db.Rows("SELECT count(*), max(MEMID), max(MDate) FROM MMRecord")[0],
                  (std::vector<std::string>{"1", "1", "2026-12-06"}));
    }
    const std::string afterFirst = test_files::Read(database);

    // The second installation keeps the first one's database, then starts from a clean one.
    Install({"Other", "", "", ""}, {2026, 12, 7, 11, 0, 0});
    EXPECT_EQ(test_files::Read(folder / "Data" / "MachineData.old"), afterFirst);
    SqliteFile db(database);
    EXPECT_EQ(db.Rows("SELECT count(*) FROM MMRecord")[0][0], "1");
    EXPECT_EQ(db.Rows("SELECT CN FROM SYSPARAMS")[0][0], EncodeFieldText("Other"));
}

}  // namespace
