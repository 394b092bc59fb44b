// What a person keeps survives a re-install whatever goes wrong: every flush comes before the
// step that relies on it, a damaged payload changes nothing, a link at a destination is
// replaced and never written through, and two installations cannot run into one folder.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "platform/HostFile.h"
#include "platform/SetupError.h"
#include "tests/install/InstallationFixture.h"

namespace fs = std::filesystem;
using testing_support::Installation;

namespace {

// Every regular file below folder with its bytes; hidden temporaries included, so a run that
// leaves one behind shows.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = test_files::Read(entry.path());
        }
    }
    return files;
}

void RunSql(const fs::path& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

class ReinstallSafety : public Installation {
protected:
    // The flushes and renames of the host file unit join the window's events, so that one
    // list shows them against the finish page.
    void RecordFileEvents() {
        win::SetFileEventObserver([this](win::FileEvent event, const fs::path& path) {
            const char* kinds[] = {"flush file ", "rename ", "flush folder "};
            window.events.push_back(kinds[static_cast<int>(event)] + path.string());
        });
    }
    void TearDown() override { win::SetFileEventObserver({}); }

    // The index of the first event at or after from, or past the end when there is none, so
    // that an expected order with a missing event fails.
    std::size_t At(const std::string& event, std::size_t from = 0) const {
        const auto found = std::find(window.events.begin() + static_cast<std::ptrdiff_t>(from),
                                     window.events.end(), event);
        return found == window.events.end()
                   ? window.events.size() + 1
                   : static_cast<std::size_t>(found - window.events.begin());
    }
    // Bytes on the disk before the name that depends on them, the folder's names after it, and
    // both before the finish page: returns the index of the rename.
    std::size_t ExpectPlacedDurably(const fs::path& file, std::size_t finish) {
        const std::size_t rename = At("rename " + file.string());
        EXPECT_LT(At("flush file " + file.string()), rename) << file;
        EXPECT_LT(At("flush folder " + file.parent_path().string(), rename), finish) << file;
        return rename;
    }
    fs::path Library() const {
        return win::HostPath(win::GetSystemDirectoryA() + paths::kRuntimeLibrary);
    }
};

TEST_F(ReinstallSafety, EveryFlushComesBeforeTheStepThatReliesOnIt) {
    Install();
    Install();  // the person's .old now exists, so the third run moves it to a dated name
    fs::remove(Library());
    window.events.clear();
    RecordFileEvents();
    Install();

    const std::size_t finish = At("finish picture");
    ASSERT_LT(finish, window.events.size());
    const fs::path data = Installed(paths::kDataFolder);
    const fs::path database = Installed(paths::kSystemDatabase);
    const fs::path earlier = Installed(paths::kEarlierSystemDatabase);

    // The .old from before moves to a dated name, on the disk before it goes.
    const auto dated = std::find_if(window.events.begin(), window.events.end(), [&](auto& e) {
        return e.starts_with("rename " + (data / "MachineData.2").string());
    });
    ASSERT_NE(dated, window.events.end());
    const auto datedAt = static_cast<std::size_t>(dated - window.events.begin());
    EXPECT_LT(At("flush file " + earlier.string()), datedAt);
    EXPECT_LT(At("flush folder " + data.string(), datedAt), At("rename " + earlier.string()));

    // The person's copy is on the disk, bytes and name, before the payload copy replaces the
    // database it was taken from.
    const std::size_t kept = ExpectPlacedDurably(earlier, finish);
    const std::size_t payloadCopy = At("rename " + database.string());
    EXPECT_GT(payloadCopy, kept);
    EXPECT_LT(At("flush folder " + data.string(), kept), payloadCopy);
    EXPECT_EQ(At("flush file " + database.string()), window.events.size() + 1)
        << "the payload copy goes at the swap and needs no flush";

    for (const char* suffix :
         {paths::kProgram, paths::kManual, paths::kReadMe, paths::kDemoDatabase}) {
        ExpectPlacedDurably(Installed(suffix), finish);
    }
    ExpectPlacedDurably(Library(), finish);

    // The clean database is on the disk under its first name before it takes the database's.
    const std::size_t extracted = ExpectPlacedDurably(Installed(paths::kNewSystemDatabase), finish);
    const std::size_t swap = At("rename " + database.string(), payloadCopy + 1);
    EXPECT_LT(extracted, swap);
    EXPECT_LT(At("flush folder " + data.string(), swap), finish);

    const std::string backup = [&] {
        for (const auto& e : window.events) {
            if (e.starts_with("rename ") && e.ends_with("KVData.qbk")) return e.substr(7);
        }
        return std::string("(no backup)");
    }();
    ExpectPlacedDurably(backup, finish);
}

TEST_F(ReinstallSafety, ADamagedRecordChangesNothingButTheKeptCopy) {
    Install();
    const fs::path folder = Installed("");
    const auto before = FilesBelow(folder);
    const std::string library = test_files::Read(Library());
    for (const int uid : {1, 3, 6}) {
        SCOPED_TRACE("record " + std::to_string(uid));
        payload::Build(dist / "Setup.data", files);
        // The same length, other bytes: only the digest can tell.
        RunSql(dist / "Setup.data",
               "UPDATE INSTDB SET FDB = zeroblob(length(FDB)) WHERE UID = " + std::to_string(uid));
        try {
            Install();
            ADD_FAILURE() << "the installation reported success";
        } catch (const SetupError& error) {
            EXPECT_NE(error.Message().find("the record with UID " + std::to_string(uid)),
                      std::string::npos)
                << error.Message();
        }
        auto after = FilesBelow(folder);
        std::erase_if(after, [](const auto& file) { return file.first.ends_with(".old"); });
        EXPECT_EQ(after, before);
        EXPECT_EQ(test_files::Read(Library()), library);
    }
}

TEST_F(ReinstallSafety, ALinkAtADestinationIsReplacedNeverWrittenThrough) {
    Install();
    const fs::path outside = prefix.scratch() / "outside";
    const char* destinations[] = {paths::kProgram, paths::kNewSystemDatabase, paths::kDemoDatabase};
    for (const char* suffix : destinations) {
        const fs::path target = outside / fs::path(suffix + 1).filename();
        test_files::Write(target, "a file of the person's, outside the prefix");
        fs::remove(Installed(suffix));
        fs::create_symlink(target, Installed(suffix));
    }
    const auto outsideBefore = FilesBelow(outside);

    Install();
    EXPECT_EQ(FilesBelow(outside), outsideBefore);
    EXPECT_EQ(test_files::Read(Installed(paths::kProgram)), "MZ program");
    EXPECT_EQ(test_files::Read(Installed(paths::kDemoDatabase)), "demo database");
    for (const char* suffix : {paths::kProgram, paths::kDemoDatabase, paths::kSystemDatabase}) {
        EXPECT_FALSE(fs::is_symlink(Installed(suffix))) << suffix;
    }
    EXPECT_EQ(payload::DecodeSystemParams(Installed(paths::kSystemDatabase)).size(), 1u);
}

TEST_F(ReinstallSafety, ASecondInstallationIntoTheFolderIsRefusedAndTheFirstCompletes) {
    Install();
    std::string refused;
    window.pump.onTick = [&] {
        pacing.Timer1Timer();
        if (!refused.empty() || window.pump.now < 8000) return;
        FakeInstallWindow second;
        ProgressPacing secondPacing{second};
        InstallSequence other(second, secondPacing, win::WindowsPath(dist),
                              win::GetSystemDirectoryA());
        try {
            other.PerformInstall();
            refused = "(no error)";
        } catch (const SetupError& error) {
            refused = error.Message();
        }
    };
    window.events.clear();
    Install();
    EXPECT_EQ(refused,
              "Another installation into C:\\Program Files\\Korvane is running: wait until it "
              "has finished");
    EXPECT_EQ(std::count(window.events.begin(), window.events.end(), "finish picture"), 1);
    EXPECT_EQ(test_files::Read(Installed(paths::kProgram)), "MZ program");
    EXPECT_EQ(payload::DecodeSystemParams(Installed(paths::kSystemDatabase)).size(), 1u);
}

TEST_F(ReinstallSafety, APayloadOrFolderThatCannotBeUsedIsNamed) {
    const struct {
        const char* what;
        std::function<void(ReinstallSafety&)> breakIt;
        std::string message;
    } cases[] = {
        {"a FIFO named Setup.data",
         [](ReinstallSafety& t) {
             fs::remove(t.dist / "Setup.data");
             ASSERT_EQ(mkfifo((t.dist / "Setup.data").c_str(), 0644), 0);
         },
         "Cannot open database " + win::WindowsPath(dist) + "\\Setup.data: it is not a file"},
        {"a folder named Setup.data",
         [](ReinstallSafety& t) {
             fs::remove(t.dist / "Setup.data");
             fs::create_directory(t.dist / "Setup.data");
         },
         "Cannot open database " + win::WindowsPath(dist) + "\\Setup.data: it is not a file"},
        {"a missing parent of the install folder",
         [](ReinstallSafety& t) { t.window.folder = "C:\\nosuch\\deeper\\Korvane"; },
         "Cannot create the install folder C:\\nosuch\\deeper\\Korvane: the folder C:\\nosuch "
         "does not exist"},
    };
    for (const auto& c : cases) {
        c.breakIt(*this);
        try {
            Install();
            ADD_FAILURE() << c.what << ": the installation reported success";
        } catch (const SetupError& error) {
            EXPECT_EQ(error.Message(), c.message) << c.what;
        }
        fs::remove_all(dist / "Setup.data");
        payload::Build(dist / "Setup.data", files);
        window.folder = "C:\\Program Files\\Korvane";
    }
}

}  // namespace
