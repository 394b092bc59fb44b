// Whole installations through the real window on the demo payload, into a scratch prefix:
// what a person gets after clicking through the wizard, what a failure leaves, and a close
// request in the middle of a run. The clock runs fast except in the one real-time run.

#include <sqlite3.h>

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/Application.h"
#include "app/Gauge.h"
#include "app/LabelledEdit.h"
#include "app/Labels.h"
#include "app/NewInstall.h"
#include "app/PictureBox.h"
#include "install/InstallPaths.h"
#include "install/InstallTexts.h"
#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "support/DesktopFiles.h"
#include "support/ScopedVariable.h"
#include "support/TestDialogs.h"
#include "support/TestFiles.h"
#include "support/WizardWindow.h"
#include "tools/korvane-payload/Payload.h"

namespace fs = std::filesystem;
using namespace cp936::literals;
using testing_support::TestDialogs;
using Kind = TestDialogs::Kind;

namespace {

constexpr unsigned kFastClock = 50;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// The payload's records in UID order, read straight from Setup.data.
std::vector<std::string> PayloadRecords(const fs::path& payload) {
    std::vector<std::string> records;
    sqlite3* db = nullptr;
    sqlite3_open_v2(payload.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT FDB FROM INSTDB ORDER BY UID", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, 0));
        records.emplace_back(bytes ? bytes : "", sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return records;
}

struct LogRow {
    long long memid;
    std::string date, time, note, uid;  // UTF-8 as stored
};

std::vector<LogRow> InstallLog(const fs::path& database) {
    std::vector<LogRow> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT MEMID, MDate, MTime, BeiZhu, Uid FROM MMRecord", -1, &stmt,
                       nullptr);
    auto text = [&](int column) {
        const auto* value = sqlite3_column_text(stmt, column);
        return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows.push_back({sqlite3_column_int64(stmt, 0), text(1), text(2), text(3), text(4)});
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// The local path an independent reader finds in a shell link, in UTF-8.
QString LinkTarget(const fs::path& link) {
    QProcess lnkinfo;
    lnkinfo.start(QStringLiteral("lnkinfo"), {QStringLiteral("-c"), QStringLiteral("windows-936"),
                                              QString::fromStdString(link.string())});
    if (!lnkinfo.waitForFinished(10000)) return {};
    for (const QString& line : QString::fromUtf8(lnkinfo.readAllStandardOutput()).split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("Local path"))) {
            return trimmed.section(QLatin1Char(':'), 1).trimmed();
        }
    }
    return {};
}

}  // namespace

class InstallRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing_support::WizardWindow> window_;
    // A home of its own for each case, with the XDG base folders left to their defaults.
    std::unique_ptr<testing_support::ScopedVariable> home_, dataHome_, configHome_, locales_;

    void OpenWindow(unsigned clockSpeed) { window_->Open(clockSpeed); }
    static void Type(QWidget* box, const QString& text) {
        testing_support::WizardWindow::Type(box, text);
    }

    // Clicks through the wizard to the install button and presses it; returns when the run
    // is over, as the button's handler does.
    void WalkAndInstall() {
        TMainForm& f = *window_->form;
        window_->ToInformationPage();
        Type(f.Edit2, Q("  诚信机械制造有限公司 "));
        Type(f.Edit4, Q("北京市海淀区1号"));
        Type(f.Edit5, Q("设备科"));
        Type(f.Edit6, Q("100080"));
        QTest::mouseClick(f.NextStepBtn, Qt::LeftButton);
    }

    fs::path Installed(const char* suffix) const {
        return win::HostPath("C:\\Program Files\\Korvane"_gbk + suffix);
    }

    void ExpectFinishedWindow() {
        TMainForm& f = *window_->form;
        QCOMPARE(f.FStep, 4);
        QVERIFY(f.TabSheet4->isVisible());
        QVERIFY(f.Image4->isVisible() && !f.Image3->isVisible());
        QCOMPARE(f.InfoLabel->text(), Q("安装完成！ "));
        QVERIFY(f.RxLabel1->Text().isEmpty() && f.RxLabel5->Text().isEmpty());
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
        QVERIFY(f.ExitBtn->isEnabled());
        QCOMPARE(f.ExitBtn->text(), Q("关闭"));
        QVERIFY(f.ExitBtn->hasFocus());
        QVERIFY(!f.PreStepBtn->isVisible() && !f.NextStepBtn->isVisible());
        // The last steps of the gauge are made by ticks in the main loop.
        QTRY_COMPARE_WITH_TIMEOUT(f.Gauge1->Progress(), 100, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Timer1->isActive(), 2000);
    }

    void ExpectInstalledFiles() {
        const auto records =
            PayloadRecords(win::HostPath(window_->form->FSourceDir + paths::kPayload));
        QCOMPARE(records.size(), std::size_t{6});
        QVERIFY(test_files::Read(Installed(paths::kProgram)) == records[0]);
        QVERIFY(test_files::Read(Installed(paths::kManual)) == records[2]);
        QVERIFY(test_files::Read(Installed(paths::kReadMe)) == records[3]);
        QVERIFY(test_files::Read(win::HostPath(window_->form->FSystemDir +
                                               paths::kRuntimeLibrary)) == records[4]);
        QVERIFY(test_files::Read(Installed(paths::kDemoDatabase)) == records[5]);
        QVERIFY(!fs::exists(Installed(paths::kNewSystemDatabase)));

        const fs::path database = Installed(paths::kSystemDatabase);
        const auto params = payload::DecodeSystemParams(database);
        QCOMPARE(params.size(), std::size_t{1});
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"CN", "诚信机械制造有限公司"_gbk},
            {"CA", "北京市海淀区1号"_gbk},
            {"PN", "100080"},
            {"DP", "设备科"_gbk},
            {"BkP", "C:\\Program Files\\Korvane"_gbk}};
        for (const auto& [column, value] : expected) {
            bool found = false;
            for (const auto& stored : params[0]) {
                if (stored.column == column) {
                    QCOMPARE(stored.value, value);
                    found = true;
                }
            }
            QVERIFY2(found, column.c_str());
        }

        const auto log = InstallLog(database);
        QCOMPARE(log.size(), std::size_t{1});
        QCOMPARE(log[0].memid, 1LL);
        QCOMPARE(log[0].note, std::string("系统安装"));
        QCOMPARE(log[0].uid, std::string("8888"));
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QCOMPARE(QString::fromStdString(log[0].date), today);

        std::string compact = log[0].date;
        std::erase(compact, '-');
        const fs::path backup = Installed(("\\" + compact + "KVData.qbk").c_str());
        QVERIFY(fs::exists(backup));
        QVERIFY(test_files::Read(backup) == test_files::Read(database));
    }

    void ExpectShortcuts() {
        const fs::path user = window_->prefix.prefix() / "drive_c" / "users";
        std::map<QString, QString> links;  // file name -> target
        for (const auto& entry : fs::recursive_directory_iterator(user)) {
            if (entry.path().extension() == ".lnk") {
                links[QString::fromStdString(entry.path().filename().string())] =
                    LinkTarget(entry.path());
            }
        }
        const std::map<QString, QString> expected = {
            {Q("Korvane机器设备管理系统 V3．50.lnk"), Q("C:\\Program Files\\Korvane\\Korvane.exe")},
            {Q("Korvane通用机器设备管理系统V3．50.lnk"),
             Q("C:\\Program Files\\Korvane\\Korvane.exe")},
            {Q("软件使用必读.lnk"), Q("C:\\Program Files\\Korvane\\软件使用必读.txt")},
            {Q("使用说明书.lnk"), Q("C:\\Program Files\\Korvane\\使用说明书.pdf")},
        };
        QCOMPARE(links, expected);
    }

    // The entries that put the shortcuts into the person's menu and on their desktop: each one
    // valid, each one starting Wine in this prefix on the installed file.
    void ExpectDesktopEntries() {
        const fs::path home = window_->prefix.scratch() / "home";
        const fs::path data = home / ".local/share";
        const fs::path menus = home / ".config/menus/applications-merged";
        const fs::path group = data / "applications/wine/Programs/Korvane软件";
        struct Entry {
            fs::path file;
            const char* installed;
            bool program;
        };
        const Entry entries[] = {
            {home / "Desktop/Korvane机器设备管理系统 V3．50.desktop", paths::kProgram, true},
            {group / "Korvane通用机器设备管理系统V3．50.desktop", paths::kProgram, true},
            {group / "软件使用必读.desktop", paths::kReadMe, false},
            {group / "使用说明书.desktop", paths::kManual, false},
        };
        for (const Entry& entry : entries) {
            QVERIFY2(fs::exists(entry.file), entry.file.c_str());
            const std::string errors = desktop_files::ValidationErrors(entry.file);
            QVERIFY2(errors.empty(), errors.c_str());
            const auto keys = desktop_files::Read(entry.file);
            QCOMPARE(keys.at("Name"), entry.file.stem().string());
            const auto arguments = desktop_files::SplitExec(keys.at("Exec"));
            QCOMPARE(arguments.size(), entry.program ? std::size_t{4} : std::size_t{6});
            QCOMPARE(arguments[0], std::string("env"));
            QCOMPARE(arguments[1], "WINEPREFIX=" + window_->prefix.prefix().string());
            QCOMPARE(arguments[2], std::string("wine"));
            const fs::path started = entry.program
                                         ? win::HostPath(cp936::FromUtf8(arguments[3].c_str()))
                                         : fs::path(arguments[5]);
            if (!entry.program) QCOMPARE(arguments[4], std::string("/unix"));
            QVERIFY2(fs::equivalent(started, Installed(entry.installed)), keys.at("Exec").c_str());
        }
        for (const char* name :
             {"Korvane通用机器设备管理系统V3．50", "软件使用必读", "使用说明书"}) {
            QVERIFY(
                fs::exists(menus / (std::string("wine-Programs-Korvane软件-") + name + ".menu")));
        }
        for (const char* name : {"wine-wine", "wine-Programs", "wine-Programs-Korvane软件"}) {
            const fs::path directory =
                data / "desktop-directories" / (std::string(name) + ".directory");
            QVERIFY2(desktop_files::ValidationErrors(directory).empty(), directory.c_str());
        }
    }

private slots:
    void initTestCase() {
        PrepareApplication();
        win::CoInitialize(nullptr);
    }

    void init() {
        window_ = std::make_unique<testing_support::WizardWindow>();
        home_ = std::make_unique<testing_support::ScopedVariable>(
            "HOME", (window_->prefix.scratch() / "home").string());
        dataHome_ =
            std::make_unique<testing_support::ScopedVariable>("XDG_DATA_HOME", std::nullopt);
        configHome_ =
            std::make_unique<testing_support::ScopedVariable>("XDG_CONFIG_HOME", std::nullopt);
        // No locale of code page 936 whatever the machine has, so the entries start Wine
        // without LC_ALL.
        locales_ = std::make_unique<testing_support::ScopedVariable>(
            "LOCPATH", (window_->prefix.scratch() / "no-locales").string());
    }

    void cleanup() {
        window_->form.reset();
        locales_.reset();
        configHome_.reset();
        dataHome_.reset();
        home_.reset();
        window_.reset();
    }

    void installsTheDemoPayload_data() {
        QTest::addColumn<bool>("bare");
        QTest::newRow("fresh prefix") << false;
        // A person's prefix that lacks folders every Windows has: start-up leaves it so,
        // and the installation makes what it writes into.
        QTest::newRow("prefix without the standard folders") << true;
    }

    void installsTheDemoPayload() {
        QFETCH(bool, bare);
        const fs::path driveC = window_->prefix.prefix() / "drive_c";
        if (bare) {
            fs::remove_all(driveC / "Program Files");
            fs::remove_all(driveC / "windows" / "system32");
            for (const auto& user : fs::directory_iterator(driveC / "users")) {
                fs::remove_all(user.path() / "Desktop");
                fs::remove_all(user.path() / "AppData");
            }
            win::EnsurePrefix();
            QVERIFY(!fs::exists(driveC / "Program Files"));
        }
        OpenWindow(kFastClock);
        WalkAndInstall();
        QVERIFY(window_->dialogs.shown.empty());
        ExpectFinishedWindow();
        ExpectInstalledFiles();
        ExpectShortcuts();
        ExpectDesktopEntries();

        // "关闭" closes without a question.
        QTest::mouseClick(window_->form->ExitBtn, Qt::LeftButton);
        QVERIFY(!window_->form->isVisible());
        QVERIFY(window_->dialogs.shown.empty());
    }

    void installsInRealTime() {
        OpenWindow(1);
        QElapsedTimer clock;
        clock.start();
        WalkAndInstall();
        QVERIFY(clock.elapsed() >= 19000);
        QVERIFY(window_->dialogs.shown.empty());
        ExpectFinishedWindow();
        ExpectInstalledFiles();
    }

    void closingMidRunLetsTheRunFinish() {
        OpenWindow(kFastClock);
        // As in the program: the wizard runs inside the main loop, and the loop ending is
        // the program ending. The guard ends a loop that would otherwise never end.
        bool visibleAfterClose = false;
        QTimer::singleShot(0, window_->form.get(), [this] { WalkAndInstall(); });
        QTimer::singleShot(300, window_->form.get(), [this, &visibleAfterClose] {
            window_->form->close();
            visibleAfterClose = window_->form->isVisible();
        });
        QTimer guard;
        guard.callOnTimeout([] { QCoreApplication::exit(99); });
        guard.start(60000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(visibleAfterClose);
        QVERIFY(!window_->form->isVisible());
        ExpectInstalledFiles();
        ExpectShortcuts();
    }

    void failureLeavesTheProgressPage() {
        OpenWindow(kFastClock);
        // No payload beside the program: it is refused before its copy is made.
        window_->form->FSourceDir = win::WindowsPath(window_->prefix.scratch());
        WalkAndInstall();
        TMainForm& f = *window_->form;
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
        const auto& box = window_->dialogs.shown.front();
        QVERIFY(box.kind == Kind::Error);
        QCOMPARE(box.caption, ApplicationTitle());
        QVERIFY(box.text.find("Setup.data") != std::string::npos);
        QCOMPARE(box.text.back(), '.');

        QVERIFY(f.TabSheet4->isVisible() && f.Image3->isVisible() && !f.Image4->isVisible());
        QCOMPARE(f.InfoLabel->text(), Q("正在创建文件夹...... "));
        QCOMPARE(f.RxLabel1->Text(),
                 QString::fromStdString(cp936::ToUtf8(install_texts::IntroductionTips()[0])));
        QVERIFY(!f.PreStepBtn->isVisible() && !f.NextStepBtn->isVisible());
        QVERIFY(!f.ExitBtn->isEnabled());
        QCOMPARE(f.ExitBtn->text(), Q("※ 退出"));
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
        // The gauge finishes its climb to the last target and stops.
        QTRY_COMPARE_WITH_TIMEOUT(f.Gauge1->Progress(), 20, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Timer1->isActive(), 2000);
        QVERIFY(fs::exists(Installed(paths::kDataFolder)));
    }
};

QTEST_MAIN(InstallRunTest)
#include "InstallRunTest.moc"
