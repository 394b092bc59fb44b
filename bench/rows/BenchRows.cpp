// What the data steps of an installation cost in memory when the payload holds rows and
// columns the installation never uses.
//
//   bench-rows [SCRATCH_FOLDER]
//
// Builds payloads with the payload tool's library: the six demo-sized records alone; the same
// with 3 million one-byte rows after them; the same rows with UID a plain column, so that the
// engine must sort them; and the six with a seventh row whose unused column holds a 300 MiB
// text. Each is installed by the data steps (the payload proved and copied, the six records
// written, the database swapped) in a fresh process in a fresh prefix, which reports its
// peak resident memory (VmHWM: the kernel's figure for the program itself, not the parent it
// was started from) and times the longest step that lets no window message through. Run it
// on a Release build; the scratch folder (by default bench-scratch beside the program's
// folder) needs about 1.5 GiB.

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "install/InstallPaths.h"
#include "install/PayloadExtraction.h"
#include "platform/Database.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/WinFiles.h"
#include "tools/korvane-payload/Payload.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 3;
constexpr long long kExtraRows = 3'000'000;
constexpr long long kLongTextBytes = 300LL * 1024 * 1024;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// ---- The measured child: the data steps of one installation ----

// Times the stretches between the points where the installation lets the window answer:
// the chunk hooks and the ends of the steps.
class GapClock {
public:
    void Mark() {
        const auto now = Clock::now();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    ChunkHook Hook() {
        return [this] { Mark(); };
    }
    double Longest() const { return Seconds(longest_); }

private:
    Clock::time_point last_ = Clock::now();
    Clock::duration longest_{};
};

// The process's own peak resident memory. ru_maxrss would not do: a child started by
// posix_spawn inherits the high-water mark of the parent whose memory it shared until exec.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

int InstallInChild(const std::string& payloadFolder) {
    win::EnsurePrefix();
    const std::string sourceDir = win::WindowsPath(payloadFolder);
    const std::string installDir = "C:\\Program Files\\Korvane";
    const std::string systemDir = win::GetSystemDirectoryA();
    GapClock gaps;
    KeepEarlierSystemDatabase(installDir);
    gaps.Mark();
    win::CreateDirectoryA(installDir);
    win::CreateDirectoryA(installDir + paths::kDataFolder);
    CopyPayloadIntoPlace(sourceDir, installDir, gaps.Hook());
    gaps.Mark();
    DbConnection connection;
    OpenSystemDatabase(connection, installDir, gaps.Hook());
    gaps.Mark();
    DbQuery query(connection);
    OpenPayloadRecords(query, sourceDir + paths::kPayload);
    gaps.Mark();
    SavePayloadRecord(query, installDir + paths::kProgram, gaps.Hook()).Place(gaps.Hook());
    gaps.Mark();
    for (const char* destination : {paths::kNewSystemDatabase, paths::kManual, paths::kReadMe}) {
        SaveNextPayloadRecord(query, installDir + destination, gaps.Hook()).Place(gaps.Hook());
        gaps.Mark();
    }
    if (auto library = SaveRuntimeLibrary(query, systemDir, gaps.Hook())) {
        library->Place(gaps.Hook());
    }
    gaps.Mark();
    auto demo = SaveDemoDatabase(query, installDir, gaps.Hook());
    PlaceDemoDatabase(demo, gaps.Hook());
    gaps.Mark();
    SwapInSystemDatabase(query, connection, installDir, gaps.Hook());
    gaps.Mark();
    std::printf("%.6f %ld\n", gaps.Longest(), PeakResidentKiB());
    return 0;
}

// ---- The parent ----

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    double longestGap = 0;
};

// Runs this program as the child in a fresh prefix; its wall time, peak memory and gap.
Run Spawn(const std::string& self, const fs::path& payloadFolder, const fs::path& prefix) {
    fs::remove_all(prefix);
    setenv("WINEPREFIX", prefix.c_str(), 1);
    const fs::path capture = payloadFolder.parent_path() / "child.out";
    const ChildRun child = RunChild({self, "--child", payloadFolder.string()}, capture);
    Run run{child.seconds, 0, 0};
    std::ifstream in(capture);
    in >> run.longestGap >> run.peakKiB;
    if (!child.succeeded) {
        std::fprintf(stderr, "the installation from %s failed\n", payloadFolder.c_str());
        std::exit(1);
    }
    fs::remove_all(prefix);
    return run;
}

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void Exec(const fs::path& database, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", database.c_str(), error);
        std::exit(1);
    }
    sqlite3_close(db);
}

// A folder holding a Setup.data built from the six files, then changed by sql.
fs::path MakePayload(const fs::path& scratch, const std::string& name,
                     const payload::PayloadFiles& files, const std::string& sql) {
    const fs::path folder = scratch / name;
    fs::create_directories(folder);
    payload::Build(folder / "Setup.data", files);
    if (!sql.empty()) Exec(folder / "Setup.data", sql);
    return folder;
}

std::string ExtraRows(const char* table) {
    return "PRAGMA journal_mode = OFF; WITH RECURSIVE n(i) AS (SELECT 7 UNION ALL SELECT i + 1 "
           "FROM n WHERE i < " +
           std::to_string(6 + kExtraRows) + ") INSERT INTO " + table +
           " (UID, Name, FDB) SELECT i, '', x'00' FROM n;";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") return InstallInChild(argv[2]);
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path scratch =
        argc > 1 ? fs::path(argv[1]) : fs::path(self).parent_path().parent_path() / "bench-scratch";
    fs::create_directories(scratch);

    // The six files of the demo payload beside the program, as they are.
    const fs::path demo = fs::path(self).parent_path() / "Setup.data";
    payload::PayloadFiles files;
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(demo.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT FDB FROM INSTDB ORDER BY UID LIMIT 6", -1, &stmt, nullptr);
        for (std::size_t i = 0; i < files.size() && sqlite3_step(stmt) == SQLITE_ROW; ++i) {
            files[i] = scratch / ("record" + std::to_string(i + 1));
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, 0));
            WriteFile(files[i],
                      std::string(bytes ? bytes : "",
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0))));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }

    std::printf("Making payloads in %s ...\n", scratch.c_str());
    struct Case {
        const char* what;
        fs::path folder;
        std::vector<Run> runs;
    };
    std::vector<Case> cases = {
        {"six records", MakePayload(scratch, "six", files, ""), {}},
        {"six records and 3 million one-byte rows",
         MakePayload(scratch, "rows", files, ExtraRows("INSTDB")),
         {}},
        {"the same, UID a plain column (sorted by the engine)",
         MakePayload(scratch, "plain", files,
                     "CREATE TABLE Plain (UID INTEGER, Name TEXT, SHA256 TEXT, FDB BLOB);"
                     "INSERT INTO Plain SELECT * FROM INSTDB; DROP TABLE INSTDB;"
                     "ALTER TABLE Plain RENAME TO INSTDB;" +
                         ExtraRows("INSTDB") + "VACUUM;"),
         {}},
        {"six records and a 300 MiB text in an unused column of a seventh",
         MakePayload(scratch, "text", files,
                     "PRAGMA journal_mode = OFF; ALTER TABLE INSTDB ADD COLUMN Note TEXT;"
                     "INSERT INTO INSTDB (UID, Name, FDB, Note) VALUES (7, '', x'00', "
                     "hex(zeroblob(" +
                         std::to_string(kLongTextBytes / 2) + ")));"),
         {}},
    };
    for (int round = 0; round < kRounds; ++round) {
        for (auto& c : cases) {
            c.runs.push_back(Spawn(self, c.folder, scratch / "prefix"));
            std::printf("round %d, %s: %.2f s, %.1f MiB\n", round + 1, c.what,
                        c.runs.back().seconds, static_cast<double>(c.runs.back().peakKiB) / 1024.0);
        }
    }

    std::printf(
        "\n| Payload (median of %d) | Setup.data | Peak resident memory | Wall time | "
        "Longest step without a window message |\n|---|---|---|---|---|\n",
        kRounds);
    for (const auto& c : cases) {
        std::vector<double> peaks, times, gaps;
        for (const auto& run : c.runs) {
            peaks.push_back(static_cast<double>(run.peakKiB) / 1024.0);
            times.push_back(run.seconds);
            gaps.push_back(run.longestGap * 1000);
        }
        std::printf("| %s | %.1f MiB | %.1f MiB | %.2f s | %.0f ms |\n", c.what,
                    static_cast<double>(fs::file_size(c.folder / "Setup.data")) / (1024 * 1024),
                    Median(peaks), Median(times), Median(gaps));
    }
    fs::remove_all(scratch);
    return 0;
}
