// What a whole installation costs in processor time, and how long the window goes without
// handling its events while a large program file is written.
//
//   bench-install [SCRATCH_PARENT]
//
// Two installations through the real window (offscreen, clock at real speed), each into a
// prefix of its own in a scratch folder made below SCRATCH_PARENT (by default the system's
// temporary folder; the second run needs about 3 GiB there):
//   1. the demo payload beside the program: wall time and processor time of the run;
//   2. a payload whose first record (the program) is 900 MiB: the same, the longest gap
//      between handled events on the window's thread, and the peak memory against run 1's;
//      two cp of that payload into new files, just before and just after the run, give the
//      least its data work (the payload written twice) can cost on this disk.
// The runs happen in a child process; the parent removes the scratch folder however the
// child ends, crash and Ctrl-C included.

#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/LabelledEdit.h"
#include "app/NewInstall.h"
#include "app/PictureBox.h"
#include "install/InstallPaths.h"
#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/TypeText.h"
#include "tools/korvane-payload/Payload.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uintmax_t kMiB = 1024 * 1024;
constexpr std::uintmax_t kLargeProgramSize = 900 * kMiB;
constexpr int kProbePeriodMs = 10;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// ---- Measuring ----

struct Usage {
    Clock::time_point wall;
    double user;
    double system;
};

// who: RUSAGE_SELF, or RUSAGE_CHILDREN for the finished children (cp runs as one).
Usage UsageNow(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {Clock::now(), seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

// The stretch of a run during which one status caption stood (a caption shown twice makes
// two phases).
struct Phase {
    std::string caption;  // UTF-8
    double from = 0;      // seconds into the run
    double wall = 0;
    double processor = 0;
    double longestGapMs = 0;  // beyond the probe's period
};

struct Gaps {
    std::vector<Phase> phases;
    double longestMs = 0;
    int over100ms = 0;
};

// A repeating timer on the window's thread. Its timeouts are handled only while events are
// handled, so the longest interval between two of them, less the period, is the longest
// time the thread went without handling its events. Each timeout also notes the status
// caption, which splits the run into its phases.
class GapProbe {
public:
    explicit GapProbe(const QLabel& caption) : caption_(caption) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kProbePeriodMs);
        timer_.callOnTimeout([this] { Sample(); });
    }

    void Start() {
        start_ = UsageNow();
        last_ = start_.wall;
        BeginPhase(start_);
        timer_.start();
    }

    // The stretch from the last timeout to the end of the run counts as well.
    Gaps Stop() {
        Sample();
        timer_.stop();
        EndPhase(UsageNow());
        return gaps_;
    }

private:
    void Sample() {
        const auto now = Clock::now();
        const double ms =
            std::chrono::duration<double, std::milli>(now - last_).count() - kProbePeriodMs;
        last_ = now;
        if (caption_.text().toStdString() != gaps_.phases.back().caption) {
            const Usage usage = UsageNow();
            EndPhase(usage);
            BeginPhase(usage);
        }
        Phase& phase = gaps_.phases.back();
        phase.longestGapMs = std::max(phase.longestGapMs, ms);
        gaps_.longestMs = std::max(gaps_.longestMs, ms);
        if (ms > 100) ++gaps_.over100ms;
    }

    void BeginPhase(const Usage& usage) {
        gaps_.phases.push_back({caption_.text().toStdString(), Seconds(usage.wall - start_.wall)});
        phaseStart_ = usage;
    }

    void EndPhase(const Usage& usage) {
        Phase& phase = gaps_.phases.back();
        phase.wall = Seconds(usage.wall - phaseStart_.wall);
        phase.processor = usage.user + usage.system - phaseStart_.user - phaseStart_.system;
    }

    const QLabel& caption_;
    QTimer timer_;
    Usage start_{};
    Usage phaseStart_{};
    Clock::time_point last_;
    Gaps gaps_;
};

struct RunFigures {
    double wall = 0;
    double user = 0;
    double system = 0;
    std::optional<Gaps> gaps;
};

RunFigures Between(const Usage& before, const Usage& after) {
    return {Seconds(after.wall - before.wall), after.user - before.user,
            after.system - before.system, std::nullopt};
}

// ---- One installation through the window ----

void Type(LabelledEdit* box, const char* utf8) {
    box->setFocus();
    testing_support::TypeText(box, QString::fromUtf8(utf8));
}

// Splash, agreement, folder (the default one), company details: up to the install button.
void WalkToInstallButton(TMainForm& f) {
    QTest::mouseClick(f.Image1, Qt::LeftButton);
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton, {}, QPoint(5, 8));
    QTest::mouseClick(f.NextStepBtn, Qt::LeftButton);
    QTest::mouseClick(f.NextStepBtn, Qt::LeftButton);
    Type(f.Edit2, "精密轴承制造厂");
    Type(f.Edit4, "上海市浦东新区2号");
    Type(f.Edit5, "动力科");
    Type(f.Edit6, "200120");
}

// Installs into a fresh prefix from the Setup.data in payloadFolder. Throws with the error
// box's text when the run does not finish, or when the program installed is not the payload's.
RunFigures Install(const fs::path& prefix, const fs::path& payloadFolder, bool probeGaps) {
    setenv("WINEPREFIX", prefix.c_str(), 1);
    win::EnsurePrefix();
    testing_support::TestDialogs dialogs;
    TMainForm form(dialogs, 1);
    form.FSourceDir = win::WindowsPath(payloadFolder);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) throw std::runtime_error("the window never showed");
    WalkToInstallButton(form);

    GapProbe probe(*form.InfoLabel);
    if (probeGaps) probe.Start();
    const Usage before = UsageNow();
    QTest::mouseClick(form.NextStepBtn, Qt::LeftButton);  // returns when the run is over
    const Usage after = UsageNow();
    RunFigures figures = Between(before, after);
    if (probeGaps) figures.gaps = probe.Stop();

    if (!dialogs.shown.empty()) {
        throw std::runtime_error("the run failed: " + cp936::ToUtf8(dialogs.shown.front().text));
    }
    if (!form.ExitBtn->isEnabled()) throw std::runtime_error("the run did not finish");
    const auto program = win::HostPath(form.FolderEditText() + paths::kProgram);
    const auto records = payload::List(payloadFolder / "Setup.data");
    if (records.empty() || static_cast<std::intmax_t>(fs::file_size(program)) != records[0].size) {
        throw std::runtime_error(program.string() + " is not the payload's program");
    }
    return figures;
}

// ---- The large payload ----

// Records 2 to 6 of a payload, each written to its own file in folder.
std::vector<fs::path> SaveOtherRecords(const fs::path& payloadFile, const fs::path& folder) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(payloadFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + payloadFile.string());
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT FDB FROM INSTDB ORDER BY UID LIMIT -1 OFFSET 1", -1, &stmt,
                       nullptr);
    std::vector<fs::path> files;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        files.push_back(folder / ("record-" + std::to_string(files.size() + 2)));
        std::ofstream out(files.back(), std::ios::binary);
        out.write(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                  sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (files.size() != 5) throw std::runtime_error(payloadFile.string() + " lacks records");
    return files;
}

// A file of size bytes, written out in 1 MiB chunks: real blocks, not a sparse file.
void WriteFile(const fs::path& file, std::uintmax_t size) {
    std::ofstream out(file, std::ios::binary);
    const std::vector<char> chunk(kMiB, '\x5a');
    for (std::uintmax_t written = 0; written < size; written += kMiB) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

// A Setup.data in folder whose program is kLargeProgramSize bytes; the other records are the
// demo payload's, so the system database is a real one.
void BuildLargePayload(const fs::path& demoPayload, const fs::path& folder) {
    const fs::path parts = folder / "parts";
    fs::create_directories(parts);
    const auto others = SaveOtherRecords(demoPayload, parts);
    const fs::path program = parts / "Korvane.exe";
    WriteFile(program, kLargeProgramSize);
    payload::Build(folder / "Setup.data",
                   {program, others[0], others[1], others[2], others[3], others[4]});
    fs::remove_all(parts);
    // The run starts with the payload on disk, not with its writeback still going.
    sync();
}

// What the machine charges for the bytes the large run writes (the payload copy and the
// program) when they are written with nothing else around them.
RunFigures WriteAsMuchAsTheLargeRun(const fs::path& file) {
    const Usage before = UsageNow();
    WriteFile(file, 2 * kLargeProgramSize);
    const Usage after = UsageNow();
    fs::remove(file);
    sync();
    return Between(before, after);
}

void RunCp(const fs::path& from, const fs::path& to) {
    std::string program = "/bin/cp", source = from.string(), target = to.string();
    char* argv[] = {program.data(), source.data(), target.data(), nullptr};
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("cp " + source + " " + target + " failed");
    }
}

// The least the large run's data work can cost on this disk: the payload written twice
// (the run copies it into place, then writes the program out of it), each time by cp into
// a new file. The files go again afterwards and the disk is synced before and after, so no
// writeback spills into the next measurement.
RunFigures CopyThePayloadTwice(const fs::path& payload, const fs::path& folder) {
    sync();
    const Usage before = UsageNow(RUSAGE_CHILDREN);
    RunCp(payload, folder / "cp-1");
    RunCp(payload, folder / "cp-2");
    const Usage after = UsageNow(RUSAGE_CHILDREN);
    fs::remove(folder / "cp-1");
    fs::remove(folder / "cp-2");
    sync();
    return Between(before, after);
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// ---- The child: both runs and the table ----

void PrintRow(const char* run, const RunFigures& figures, const char* goal) {
    std::printf("| %s | %.2f s | %.3f s (%.3f + %.3f) | %s |\n", run, figures.wall,
                figures.user + figures.system, figures.user, figures.system, goal);
}

struct Measured {
    RunFigures demo;
    long demoPeakKiB = 0;
    RunFigures large;
    long largePeakKiB = 0;
    RunFigures cpBefore;
    RunFigures cpAfter;
    RunFigures reference;
};

void PrintTables(const Measured& m) {
    std::printf(
        "\n| Run | Wall time | Processor time (user + system) | Goal |\n"
        "|---|---|---|---|\n");
    PrintRow("demo payload", m.demo, "processor time under 1 s");
    PrintRow("two cp of the payload into new files, before the run", m.cpBefore, "");
    PrintRow("900 MiB program", m.large, "");
    PrintRow("two cp of the payload into new files, after the run", m.cpAfter, "");
    PrintRow("reference: 1800 MiB written with plain writes, before the rest", m.reference, "");

    // The pauses and the small files are what the demo run is made of: what the large run
    // takes beyond it is its data work.
    const double dataWork = m.large.wall - m.demo.wall;
    const double cp = (m.cpBefore.wall + m.cpAfter.wall) / 2;
    std::printf(
        "\n| Data work of the 900 MiB run (its time less the demo run's) | Two cp "
        "(mean of before and after) | Ratio | Goal |\n|---|---|---|---|\n"
        "| %.2f s | %.2f s | %.2f x | at most 1.5 x |\n",
        dataWork, cp, dataWork / cp);

    const Gaps& gaps = *m.large.gaps;
    std::printf(
        "\n| 900 MiB program, by status caption | From | Wall time | Processor time "
        "| Longest gap |\n|---|---|---|---|---|\n");
    for (const Phase& phase : gaps.phases) {
        std::printf("| \"%s\" | %.2f s | %.2f s | %.3f s | %.1f ms |\n", phase.caption.c_str(),
                    phase.from, phase.wall, phase.processor, phase.longestGapMs);
    }
    std::printf(
        "\n| Longest gap between handled events, 900 MiB program | Gaps over 100 ms "
        "| Goal |\n|---|---|---|\n| %.1f ms | %d | at most 100 ms |\n",
        gaps.longestMs, gaps.over100ms);
    std::printf(
        "\n| Peak resident memory | after the demo run | after the 900 MiB run | Goal |\n"
        "|---|---|---|---|\n| the measuring process | %.1f MiB | %.1f MiB | flat |\n",
        static_cast<double>(m.demoPeakKiB) / 1024, static_cast<double>(m.largePeakKiB) / 1024);
}

// The installations' menu and desktop entries stay in the scratch folder, out of the
// person's menus and desktop.
void KeepEntriesIn(const fs::path& folder) {
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    fs::create_directories(folder / "config");
    std::ofstream(folder / "config/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"" << (folder / "desktop").string() << "\"\n";
}

int RunChild(int argc, char** argv, const fs::path& scratch) {
    QApplication application(argc, argv);
    PrepareApplication();
    win::CoInitialize(nullptr);
    const fs::path programFolder = QCoreApplication::applicationDirPath().toStdString();
    KeepEntriesIn(scratch / "entries");
    try {
        Measured m;
        std::printf("Installing the demo payload (about 20 s) ...\n");
        std::fflush(stdout);
        m.demo = Install(scratch / "prefix-demo", programFolder, false);
        m.demoPeakKiB = PeakMemoryKiB();
        fs::remove_all(scratch / "prefix-demo");

        std::printf("Building a payload with a 900 MiB program ...\n");
        std::fflush(stdout);
        BuildLargePayload(programFolder / "Setup.data", scratch / "payload");
        const fs::path largePayload = scratch / "payload" / "Setup.data";
        std::printf("Copying it twice with cp, installing it (about 25 s), copying it again ...\n");
        std::fflush(stdout);
        // The two cp and the run each write 1800 MiB into new files right after 1800 MiB of
        // files went: all three find the same state of the disk and the page cache.
        m.reference = WriteAsMuchAsTheLargeRun(scratch / "reference.bin");
        m.cpBefore = CopyThePayloadTwice(largePayload, scratch);
        m.large = Install(scratch / "prefix-large", scratch / "payload", true);
        m.largePeakKiB = PeakMemoryKiB();
        fs::remove_all(scratch / "prefix-large");
        sync();
        m.cpAfter = CopyThePayloadTwice(largePayload, scratch);
        fs::remove_all(scratch / "payload");

        PrintTables(m);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-install: %s\n", error.what());
        return 1;
    }
    return 0;
}

// ---- The parent: scratch folder, child, clean-up ----

volatile sig_atomic_t childPid = 0;

void StopChild(int) {
    if (childPid > 0) kill(childPid, SIGTERM);
}

int RunInChild(const fs::path& scratch) {
    // Signals are held until the child's id is known, so that none ends the parent before
    // it can clean up; the child starts with none held.
    sigset_t ending, previous;
    sigemptyset(&ending);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &previous);
    struct sigaction stop {};
    stop.sa_handler = StopChild;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &stop, nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &previous);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::string self = "/proc/self/exe", flag = "--child", folder = scratch.string();
    char* argv[] = {self.data(), flag.data(), folder.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        std::fprintf(stderr, "bench-install: cannot start the measuring process\n");
        return 1;
    }
    childPid = pid;
    sigprocmask(SIG_SETMASK, &previous, nullptr);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        std::fprintf(stderr, "bench-install: ended by signal %d\n", WTERMSIG(status));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") return RunChild(argc, argv, argv[2]);

    const fs::path parent = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    std::string pattern = (parent / "bench-install-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "bench-install: cannot make a scratch folder in %s\n", parent.c_str());
        return 1;
    }
    const fs::path scratch = pattern;
    // Offscreen unless another platform is asked for; never a person's own prefix.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int result = RunInChild(scratch);
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return result;
}
