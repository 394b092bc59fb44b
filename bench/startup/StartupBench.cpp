// Measures the time from the start of a process to the first paint of the splash.
//
//   korvane-startup-bench [RUNS]
//
// The bench starts itself RUNS times (10 by default) as a child that does what the setup
// program's main routine does — application, prefix, form — and reports the moment the
// splash picture has first been painted. The clock reading taken just before each child is
// started travels in the environment; the steady clock is shared by all processes.

#include <QApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/Application.h"
#include "app/NewInstall.h"
#include "app/PictureBox.h"
#include "app/QtDialogs.h"
#include "platform/PrefixSkeleton.h"

namespace {

const char kStartVariable[] = "KORVANE_BENCH_START_NS";

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Reports the milliseconds since the process was started, once the splash has been painted.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(long long startNs) : startNs_(startNs) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        watched->removeEventFilter(this);
        watched->event(event);  // paint it now, then take the time
        std::printf("%.1f\n", static_cast<double>(NowNs() - startNs_) / 1e6);
        std::fflush(stdout);
        QCoreApplication::exit(0);
        return true;
    }

private:
    long long startNs_;
};

int RunChild(int argc, char** argv, long long startNs) {
    QApplication application(argc, argv);
    PrepareApplication();
    win::EnsurePrefix();
    QtDialogs dialogs;
    TMainForm form(dialogs);
    FirstPaint firstPaint(startNs);
    form.Image1->installEventFilter(&firstPaint);
    form.show();
    return QApplication::exec();
}

int RunBench(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir prefix;  // a scratch prefix, never a person's ~/.wine
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), prefix.filePath(QStringLiteral("prefix")));
        if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        environment.insert(QString::fromLatin1(kStartVariable), QString::number(NowNs()));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", run + 1);
            return 1;
        }
        times.push_back(child.readAllStandardOutput().trimmed().toDouble());
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "process start to first painted splash, %d runs (%s):\n", runs,
        qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8().constData());
    std::printf("  min %.1f ms  median %.1f ms  max %.1f ms\n", times.front(),
                times[times.size() / 2], times.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const QByteArray start = qgetenv(kStartVariable);
    if (!start.isEmpty()) return RunChild(argc, argv, start.toLongLong());
    return RunBench(argc, argv);
}
