// How saving a long binary value to a file compares with cp, what memory it takes, and how
// long the window would go without its messages being pumped.
//
//   bench-extract [SCRATCH_FOLDER]
//
// Builds payloads whose first record holds 1 MiB and 900 MiB, then, with the page cache in
// the same state for both, times cp of an equal file against extracting the record, each in
// a fresh process whose peak resident memory the kernel reports. Run it on a Release build;
// the scratch folder (by default bench-scratch beside the program's folder) should be on the
// disk to be measured and needs about 3 GiB.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "install/PayloadExtraction.h"
#include "platform/Database.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "tools/korvane-payload/Payload.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;
constexpr int kRounds = 7;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// ---- The measured child: extract record 1 and report the longest gap ----

// checked: as the installation saves a record, with its SHA-256 checked as it streams;
// otherwise the value alone.
int ExtractInChild(const std::string& payload, const std::string& out, bool checked) {
    DbConnection connection;
    connection.SetConnectionString(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + win::WindowsPath(payload) +
        ";Persist Security Info=False;Jet OLEDB:Database");
    connection.SetLoginPrompt(false);
    connection.Open();
    DbQuery query(connection);
    OpenPayloadRecords(query, win::WindowsPath(payload));
    auto last = Clock::now();
    Clock::duration longest{};
    const ChunkHook hook = [&] {
        const auto now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
    };
    if (checked) {
        SavePayloadRecord(query, win::WindowsPath(out), hook).Place(hook);
    } else {
        query.FieldByName("FDB").SaveToFile(win::WindowsPath(out), hook);
    }
    query.Close();
    connection.Close();
    const auto end = Clock::now();
    longest = std::max(longest, end - last);
    std::printf("%.6f\n", Seconds(longest));
    return 0;
}

// ---- The parent ----

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system
    long peakKiB = 0;
    std::string output;
};

// Runs a program to its end; its wall time, peak resident memory and standard output.
Run Spawn(const std::vector<std::string>& args) {
    const fs::path capture =
        fs::temp_directory_path() / ("bench-extract-" + std::to_string(getpid()));
    const ChildRun child = RunChild(args, capture);
    Run run{child.seconds, child.cpuSeconds, child.peakKiB, {}};
    std::ifstream in(capture);
    std::getline(in, run.output);
    fs::remove(capture);
    if (!child.succeeded) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return run;
}

void WriteRandomFile(const fs::path& file, std::int64_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> chunk(kMiB / 8);
    for (std::int64_t written = 0; written < size; written += kMiB) {
        for (auto& word : chunk) word = random();
        out.write(reinterpret_cast<const char*>(chunk.data()), std::min(kMiB, size - written));
    }
}

// Reading a file whole puts it in the page cache, so neither contender pays for the disk.
void Warm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> chunk(kMiB);
    while (in.read(chunk.data(), kMiB) || in.gcount() > 0) {
    }
}

fs::path MakePayload(const fs::path& scratch, const std::string& name, std::int64_t size) {
    const fs::path record = scratch / (name + ".bin");
    WriteRandomFile(record, size);
    const fs::path tiny = scratch / "tiny.bin";
    WriteRandomFile(tiny, 16);
    const fs::path payload = scratch / (name + ".data");
    payload::Build(payload, {record, tiny, tiny, tiny, tiny, tiny});
    return payload;
}

struct Extraction {
    double seconds;
    double cpuSeconds;
    double longestGap;
    long peakKiB;
};

Extraction Extract(const std::string& self, const fs::path& payload, const fs::path& out,
                   bool checked = false) {
    fs::remove(out);
    sync();
    const Run run =
        Spawn({self, "--child", payload.string(), out.string(), checked ? "checked" : "plain"});
    // Timed from outside, as cp is: process start included for both.
    Extraction result{run.seconds, run.cpuSeconds, 0, run.peakKiB};
    std::sscanf(run.output.c_str(), "%lf", &result.longestGap);
    return result;
}

Run CopyWithCp(const fs::path& from, const fs::path& to) {
    fs::remove(to);
    sync();
    return Spawn({"/bin/cp", from.string(), to.string()});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--child") {
        return ExtractInChild(argv[2], argv[3], std::string(argv[4]) == "checked");
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path scratch =
        argc > 1 ? fs::path(argv[1]) : fs::path(self).parent_path().parent_path() / "bench-scratch";
    fs::create_directories(scratch);
    setenv("WINEPREFIX", (scratch / "prefix").c_str(), 1);
    win::EnsurePrefix();

    std::printf("Making payloads in %s ...\n", scratch.c_str());
    const fs::path small = MakePayload(scratch, "record-1MiB", kMiB);
    const fs::path big = MakePayload(scratch, "record-900MiB", 900 * kMiB);
    const fs::path bigRecord = scratch / "record-900MiB.bin";

    std::vector<Run> cpRuns;
    std::vector<Extraction> bigRuns;
    std::vector<Extraction> checkedRuns;
    std::vector<Extraction> smallRuns;
    // A first round, not counted, settles the writeback of the files just made.
    CopyWithCp(bigRecord, scratch / "out-cp.bin");
    fs::remove(scratch / "out-cp.bin");
    for (int round = 0; round < kRounds; ++round) {
        Warm(bigRecord);
        Warm(big);
        cpRuns.push_back(CopyWithCp(bigRecord, scratch / "out-cp.bin"));
        fs::remove(scratch / "out-cp.bin");
        bigRuns.push_back(Extract(self, big, scratch / "out-extract.bin"));
        fs::remove(scratch / "out-extract.bin");
        Warm(big);
        checkedRuns.push_back(Extract(self, big, scratch / "out-extract.bin", true));
        std::printf(
            "round %d: cp %.3f s (processor %.3f s), extraction %.3f s (processor %.3f s), "
            "checked %.3f s (processor %.3f s)\n",
            round + 1, cpRuns.back().seconds, cpRuns.back().cpuSeconds, bigRuns.back().seconds,
            bigRuns.back().cpuSeconds, checkedRuns.back().seconds, checkedRuns.back().cpuSeconds);
        fs::remove(scratch / "out-extract.bin");
        smallRuns.push_back(Extract(self, small, scratch / "out-small.bin"));
    }

    auto field = [](const auto& runs, auto member) {
        std::vector<double> values;
        for (const auto& run : runs) values.push_back(static_cast<double>(run.*member));
        return values;
    };
    auto least = [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
    };
    // Times vary with whatever else the machine runs: the least of the rounds is the one
    // least disturbed. Processor time (user and system) is shown beside the wall time.
    const double cp = least(field(cpRuns, &Run::seconds));
    const double extract = least(field(bigRuns, &Extraction::seconds));
    const double cpCpu = least(field(cpRuns, &Run::cpuSeconds));
    const double extractCpu = least(field(bigRuns, &Extraction::cpuSeconds));
    const double checked = least(field(checkedRuns, &Extraction::seconds));
    const double checkedCpu = least(field(checkedRuns, &Extraction::cpuSeconds));
    auto longest = [&](const std::vector<Extraction>& runs) {
        const auto gaps = field(runs, &Extraction::longestGap);
        return *std::max_element(gaps.begin(), gaps.end());
    };
    const double peakBig = Median(field(bigRuns, &Extraction::peakKiB)) / 1024.0;
    const double peakSmall = Median(field(smallRuns, &Extraction::peakKiB)) / 1024.0;

    std::printf("\n| Measure (%d rounds) | Value | Goal |\n|---|---|---|\n", kRounds);
    std::printf("| cp of a 900 MiB file, least wall time | %.3f s | |\n", cp);
    std::printf("| extracting a 900 MiB record, least wall time | %.3f s | |\n", extract);
    std::printf("| extraction / cp, wall time | %.2f x | at most 1.25 x |\n", extract / cp);
    std::printf("| cp, least processor time | %.3f s | |\n", cpCpu);
    std::printf("| extraction, least processor time | %.3f s | |\n", extractCpu);
    std::printf("| extraction / cp, processor time | %.2f x | |\n", extractCpu / cpCpu);
    std::printf("| extraction with its SHA-256 checked, least wall time | %.3f s | |\n", checked);
    std::printf("| checked extraction / cp, wall time | %.2f x | |\n", checked / cp);
    std::printf("| checked extraction, least processor time | %.3f s | |\n", checkedCpu);
    std::printf("| peak resident memory, 1 MiB record | %.1f MiB | |\n", peakSmall);
    std::printf("| peak resident memory, 900 MiB record | %.1f MiB | |\n", peakBig);
    std::printf("| growth from 1 MiB to 900 MiB | %.1f MiB | under 8 MiB |\n", peakBig - peakSmall);
    std::printf("| longest gap between chunk hooks (any round) | %.1f ms | at most 100 ms |\n",
                longest(bigRuns) * 1000);
    std::printf("| the same, checked extraction | %.1f ms | at most 100 ms |\n",
                longest(checkedRuns) * 1000);

    fs::remove_all(scratch);
    return 0;
}
