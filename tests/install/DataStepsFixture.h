#pragma once
// A scratch prefix with a distribution folder, an install folder and a system directory, and
// the data steps of an installation run in the order the install sequence runs them.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "install/InstallPaths.h"
#include "install/PayloadExtraction.h"
#include "platform/CodePage.h"
#include "platform/Database.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/WinFiles.h"
#include "support/ScratchDir.h"
#include "support/SqliteFixture.h"
#include "support/TestFiles.h"

namespace testing_support {

class DataStepsTest : public ::testing::Test {
public:  // the cases of a table reach in
    void SetUp() override {
        win::EnsurePrefix();
        std::filesystem::create_directories(prefix.prefix() / "drive_c" / "Setup");
        systemDir = win::GetSystemDirectoryA();
    }

    std::filesystem::path Host(const std::string& windowsPath) const {
        return win::HostPath(windowsPath);
    }
    std::string Read(const std::string& windowsPath) const {
        return test_files::Read(Host(windowsPath));
    }

    // The six usual files, the second a clean system database.
    std::vector<PayloadRow> SixRows() {
        return {{1, "program"},         {2, CleanSystemDatabaseBytes(prefix.scratch())},
                {3, "%PDF-1.4 manual"}, {4, "read-me"},
                {5, "runtime library"}, {6, "demo database"}};
    }
    void PutPayload(const std::vector<PayloadRow>& rows) {
        const auto file = Host(sourceDir) / "Setup.data";
        std::filesystem::remove(file);
        MakePayload(file, rows);
    }

    // Upgrade copy, folders, payload copy, open, six records, swap, reopen.
    void RunDataSteps() {
        KeepEarlierSystemDatabase(installDir);
        win::CreateDirectoryA(installDir);
        win::CreateDirectoryA(installDir + paths::kDataFolder);
        CopyPayloadIntoPlace(sourceDir, installDir, {});
        connection = std::make_unique<DbConnection>();
        OpenSystemDatabase(*connection, installDir);
        query = std::make_unique<DbQuery>(*connection);
        OpenPayloadRecords(*query, sourceDir + paths::kPayload);
        SavePayloadRecord(*query, installDir + paths::kProgram, {}).Place();
        SaveNextPayloadRecord(*query, installDir + paths::kNewSystemDatabase, {}).Place();
        SaveNextPayloadRecord(*query, installDir + paths::kManual, {}).Place();
        SaveNextPayloadRecord(*query, installDir + paths::kReadMe, {}).Place();
        if (auto library = SaveRuntimeLibrary(*query, systemDir, {})) library->Place();
        auto demo = SaveDemoDatabase(*query, installDir, {});
        PlaceDemoDatabase(demo, {});
        SwapInSystemDatabase(*query, *connection, installDir, {});
        connection->Open();
    }
    void Release() {
        query.reset();
        connection.reset();
    }

    ScopedPrefix prefix;
    std::string sourceDir = "C:\\Setup";
    std::string installDir = "C:\\Program Files\\Korvane";
    std::string systemDir;
    std::unique_ptr<DbConnection> connection;
    std::unique_ptr<DbQuery> query;
};

}  // namespace testing_support
