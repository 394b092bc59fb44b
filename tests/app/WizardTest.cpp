// The wizard's window driven by real mouse and key events on the offscreen platform, with
// dialogs answered by the test.

#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/AgreementMemo.h"
#include "app/Application.h"
#include "app/ErrorHandler.h"
#include "app/FolderEdit.h"
#include "app/Gauge.h"
#include "app/JpegPicture.h"
#include "app/LabelledEdit.h"
#include "app/Labels.h"
#include "app/NewInstall.h"
#include "app/PageControl.h"
#include "app/PictureBox.h"
#include "app/UiText.h"
#include "platform/CodePage.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "support/TestDialogs.h"
#include "support/WizardWindow.h"

using testing_support::TestDialogs;
using Kind = TestDialogs::Kind;

using namespace cp936::literals;

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

void Type(QWidget* box, const QString& text) { testing_support::WizardWindow::Type(box, text); }

QRect InWindow(const QWidget* control, const QWidget* window) {
    return QRect(control->mapTo(window, QPoint(0, 0)), control->size());
}

}  // namespace

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::optional<std::string>)

class WizardTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing_support::WizardWindow> window_;

    TMainForm& Form() { return *window_->form; }
    void Click(QWidget* control) { window_->Click(control); }
    void ToInformationPage() { window_->ToInformationPage(); }
    void ExpectStep(int step, QWidget* page) {
        QCOMPARE(Form().FStep, step);
        QVERIFY(page->isVisible());
    }

private slots:
    void initTestCase() { PrepareApplication(); }

    void init() {
        window_ = std::make_unique<testing_support::WizardWindow>();
        window_->Open();
    }

    void cleanup() { window_.reset(); }

    void startsOnTheSplash() {
        QCOMPARE(Form().FStep, 0);
        QCOMPARE(Form().windowTitle(), Q("Korvane通用机器设备管理系统-安装程序"));
        QCOMPARE(ApplicationTitle(), "Korvane通用机器设备管理系统-安装向导"_gbk);
        QVERIFY(Form().Image1->isVisible());
        QVERIFY(!Form().Image2->isVisible());
        QVERIFY(!Form().NextStepBtn->isVisible());
        QVERIFY(!Form().PreStepBtn->isVisible());
        QVERIFY(Form().ExitBtn->isVisible() && Form().ExitBtn->isEnabled());
        QCOMPARE(Form().ExitBtn->text(), Q("※ 退出"));
        QVERIFY(!Form().Timer1->isActive());
        QCOMPARE(Form().Timer1->interval(), 100);
        QCOMPARE(Form().Gauge1->Progress(), 0);
        QCOMPARE(Form().Image1->toolTip(), Q("点击开始安装"));
        QCOMPARE(Form().Image1->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(Form().FSystemDir, std::string("C:\\windows\\system32"));
        QCOMPARE(Form().FSourceDir, ProgramFolder(win::GetModuleFileNameA()));
        QCOMPARE(Form().DE1->Text(), std::string("C:\\Program Files\\Korvane"));
        QCOMPARE(Form().DE1->InitialDir(), std::string("C:\\Program Files"));
        QCOMPARE(Form().Memo1->toPlainText().isEmpty(), false);
    }

    void keepsItsGeometry() {
        TMainForm& f = Form();
        QCOMPARE(f.size(), QSize(492, 337));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const struct {
            QWidget* control;
            QRect expected;
        } cases[] = {
            {f.Bevel1, {4, 297, 486, 2}},
            {f.Panel2, {0, 0, 492, 289}},
            {f.PC, {0, 0, 492, 289}},
            {f.TabSheet1, {4, 26, 484, 259}},
            {f.Panel1, {0, 0, 492, 288}},
            {f.Image1, {0, 0, 492, 288}},
            {f.NextStepBtn, {306, 304, 90, 25}},
            {f.PreStepBtn, {213, 304, 90, 25}},
            {f.ExitBtn, {399, 304, 90, 25}},
            {f.Memo1, {4, 86, 483, 170}},
            {f.CheckBox1, {5, 263, 185, 17}},
            {f.DE1, {60, 194, 371, 21}},
            {f.Edit2, {84, 101, 349, 20}},
            {f.Edit5, {84, 149, 185, 20}},
            {f.Edit6, {84, 173, 81, 20}},
            {f.Gauge1, {5, 266, 482, 19}},
            {f.RxLabel1, {42, 72, 0, 0}},
        };
        for (const auto& c : cases) QCOMPARE(InWindow(c.control, &f), c.expected);
        QCOMPARE(InWindow(f.InfoLabel, &f).topLeft(), QPoint(7, 252));
        QCOMPARE(InWindow(f.Label1, &f).topLeft(), QPoint(4, 291));
        QCOMPARE(InWindow(f.Label16, &f).topLeft(), QPoint(279, 152));
        // A labelled edit's caption ends 3 pixels left of its box, centred on it.
        const QRect caption = f.Edit4->EditLabel()->geometry();
        QCOMPARE(caption.right() + 1 + 3, f.Edit4->x());
        QCOMPARE(caption.center().y(), f.Edit4->geometry().center().y());
    }

    void stacksThePanelsAndTheCornerLabel() {
        TMainForm& f = Form();
        // The splash covers the page container but for its last row.
        QCOMPARE(f.childAt(10, 10), f.Image1);
        QCOMPARE(f.childAt(480, 287), f.Image1);
        QVERIFY(f.childAt(10, 288) != f.Image1);
        Click(f.Image1);
        // On the wizard pages the header strip covers the page selectors, a band of the
        // panel's face lies below it, and the page begins under the header.
        QCOMPARE(f.childAt(10, 10), f.Image2);
        QCOMPARE(f.childAt(10, 51), f.Panel1);
        QCOMPARE(f.childAt(14, 70), f.Label12);

        // The opaque corner label interrupts the etched line, which runs on to its right.
        const QImage shot = f.grab().toImage();
        const QColor face = f.palette().color(QPalette::Window);
        const QColor shadow = f.palette().color(QPalette::Dark);
        const int right = f.Label1->geometry().right();
        QVERIFY(f.Label1->geometry().bottom() >= 298);
        QVERIFY(shot.pixel(right - 1, 297) != shadow.rgb());
        QCOMPARE(shot.pixel(right + 10, 297), shadow.rgb());
        QCOMPARE(shot.pixel(10, 51), face.rgb());
    }

    void walksForwardAndBack() {
        TMainForm& f = Form();
        Click(f.Image1);
        ExpectStep(1, f.TabSheet1);
        QCOMPARE(f.Panel1->geometry(), QRect(0, 0, 492, 52));
        QVERIFY(f.Image2->isVisible() && !f.Image1->isVisible());
        QVERIFY(f.PreStepBtn->isVisible() && f.NextStepBtn->isVisible());
        QVERIFY(!f.NextStepBtn->isEnabled());

        // The check box alone decides whether the next button is enabled.
        Click(f.CheckBox1);
        QVERIFY(f.NextStepBtn->isEnabled());
        Click(f.CheckBox1);
        QVERIFY(!f.NextStepBtn->isEnabled());
        Click(f.CheckBox1);

        Click(f.PreStepBtn);
        ExpectStep(0, f.Image1);
        QCOMPARE(f.Panel1->height(), 288);
        QVERIFY(!f.PreStepBtn->isVisible() && !f.NextStepBtn->isVisible());
        Click(f.Image1);
        QVERIFY(f.CheckBox1->isChecked() && f.NextStepBtn->isEnabled());

        Click(f.NextStepBtn);
        ExpectStep(2, f.TabSheet2);
        QVERIFY(!f.TabSheet1->isVisible());
        Click(f.NextStepBtn);
        ExpectStep(3, f.TabSheet3);
        QCOMPARE(f.NextStepBtn->text(), Q("开始安装"));
        QCOMPARE(QApplication::focusWidget(), f.Edit2);

        Click(f.PreStepBtn);
        ExpectStep(2, f.TabSheet2);
        QCOMPARE(f.NextStepBtn->text(), Q("下一步 >>"));
        QVERIFY(f.NextStepBtn->isEnabled());
        Click(f.PreStepBtn);
        ExpectStep(1, f.TabSheet1);
        QVERIFY(f.NextStepBtn->isEnabled());
        QVERIFY(window_->dialogs.shown.empty());
    }

    void checksTheEntries_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("department");
        QTest::addColumn<QString>("postcode");
        QTest::addColumn<QString>("message");  // empty: all checks pass
        QTest::addColumn<QString>("focus");
        QTest::newRow("all empty") << ""
                                   << ""
                                   << ""
                                   << "" << Q("    公司名称不能为空！    ") << "Edit2";
        QTest::newRow("name of spaces") << "   "
                                        << "a"
                                        << "b"
                                        << "c" << Q("    公司名称不能为空！    ") << "Edit2";
        QTest::newRow("no address") << Q("公司") << ""
                                    << "b"
                                    << "c" << Q("    公司通信地址不能为空！    ") << "Edit4";
        QTest::newRow("no department") << Q("公司") << "a"
                                       << " "
                                       << "c" << Q("    部门名称不能为空！    ") << "Edit5";
        QTest::newRow("no postcode") << Q("公司") << "a"
                                     << "b"
                                     << "" << Q("    邮政编码不能为空！    ") << "Edit6";
        QTest::newRow("full-width spaces are text")
            << Q("\u3000") << Q("\u3000") << Q("\u3000") << Q("\u3000") << ""
            << "";
    }

    void checksTheEntries() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, department);
        QFETCH(QString, postcode);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        TMainForm& f = Form();
        ToInformationPage();
        Type(f.Edit2, name);
        Type(f.Edit4, address);
        Type(f.Edit5, department);
        Type(f.Edit6, postcode);
        // With no payload beside it the installation starts and stops at its first database
        // step; what a whole run does is the installation tests' business.
        f.FSourceDir = win::WindowsPath(window_->prefix.scratch());
        Click(f.NextStepBtn);

        if (message.isEmpty()) {
            QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
            QVERIFY(window_->dialogs.shown.front().kind == Kind::Error);
            ExpectStep(4, f.TabSheet4);
            QVERIFY(!f.PreStepBtn->isVisible() && !f.NextStepBtn->isVisible());
            QVERIFY(!f.ExitBtn->isEnabled());
            return;
        }
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
        const auto& shown = window_->dialogs.shown.front();
        QVERIFY(shown.kind == Kind::Message);
        QCOMPARE(shown.caption, ApplicationTitle());
        QCOMPARE(shown.text, Gbk(message));
        ExpectStep(3, f.TabSheet3);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(f.Edit2->text(), name);  // the checks trim nothing in the boxes
    }

    void entersLikeTab() {
        TMainForm& f = Form();
        ToInformationPage();
        QWidget* const order[] = {f.Edit2, f.Edit4, f.Edit5, f.Edit6, f.NextStepBtn};
        for (std::size_t i = 1; i < std::size(order); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), order[i]);
        }
        QTest::keyClick(f.NextStepBtn, Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(f.Edit6, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), f.Edit5);
        QTest::keyClick(f.Edit5, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), f.Edit5);
        QCOMPARE(f.FStep, 3);
        QVERIFY(window_->dialogs.shown.empty());

        // Enter on the focused push button clicks it: here the first entry check fails.
        f.NextStepBtn->setFocus();
        QTest::keyClick(f.NextStepBtn, Qt::Key_Enter);
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
        QCOMPARE(QApplication::focusWidget(), f.Edit2);
    }

    void showsTheFocusFrameWhereverTheKeyboardMovedIt() {
        TMainForm& f = Form();
        ToInformationPage();
        f.NextStepBtn->setFocus();
        const QImage unmarked = f.NextStepBtn->grab().toImage();
        // Enter from the postcode box, as a keyboard user reaches the install button.
        f.Edit6->setFocus();
        QTest::keyClick(f.Edit6, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f.NextStepBtn);
        const QImage afterEnter = f.NextStepBtn->grab().toImage();
        // The same way by Tab, in a window that has not yet been told of keyboard moves.
        f.setAttribute(Qt::WA_KeyboardFocusChange, false);
        f.Edit6->setFocus();
        QTest::keyClick(f.Edit6, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.NextStepBtn);
        const QImage afterTab = f.NextStepBtn->grab().toImage();
        QVERIFY(afterTab != unmarked);  // the frame shows
        QVERIFY(afterEnter == afterTab);
    }

    void isCentredByItsFrame() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = Form().frameGeometry();
        QVERIFY(frame.size() != Form().size());  // the platform draws a frame
        QCOMPARE(frame.center(), screen.center());
    }

    void drawsTheSongFaceWithAnInstalledSongFace() {
        // Qt keeps the substitutes in lower case.
        const QStringList faces = QFont::substitutes(Q("宋体"));
        QVERIFY(faces.size() > 1);
        QCOMPARE(faces.front(), Q("ar pl uming cn"));
        QString face;  // the first one installed, as the font database spells it
        for (const QString& substitute : faces) {
            for (const QString& family : QFontDatabase::families()) {
                if (face.isEmpty() && family.compare(substitute, Qt::CaseInsensitive) == 0)
                    face = family;
            }
        }
        QVERIFY2(!face.isEmpty(), "no Song face is installed");
        qInfo() << "宋体 is drawn with" << face;
        for (const QWidget* control :
             {static_cast<const QWidget*>(&Form()), static_cast<const QWidget*>(Form().Label9),
              static_cast<const QWidget*>(Form().Edit2)}) {
            QCOMPARE(QFontInfo(control->font()).family(), face);
        }
    }

    void memoKeepsEnterCheckBoxPassesItOn() {
        TMainForm& f = Form();
        Click(f.Image1);
        f.Memo1->setFocus();
        QTest::keyClick(f.Memo1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f.Memo1);
        QTest::keyClick(f.Memo1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.PreStepBtn);  // the next button is disabled
        f.CheckBox1->setFocus();
        QTest::keyClick(f.CheckBox1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f.Memo1);
        QVERIFY(!f.CheckBox1->isChecked());
        QTest::keyClick(f.Memo1, Qt::Key_Escape);
        QCOMPARE(f.FStep, 1);
        QVERIFY(f.isVisible());
    }

    void limitsTheBoxesInBytes_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("ten characters, no eleventh")
            << "Edit5" << Q("一二三四五六七八九十百") << Q("一二三四五六七八九十");
        QTest::newRow("six letters, no seventh") << "Edit6"
                                                 << "abcdefg"
                                                 << "abcdef";
        QTest::newRow("half a character refused") << "Edit6" << Q("12345中") << "12345";
        QTest::newRow("thirty bytes") << "Edit2" << Q("a一二三四五六七八九十一二三四五")
                                      << Q("a一二三四五六七八九十一二三四");
        QTest::newRow("not in the code page") << "Edit4" << Q("a\U0001F600b") << "ab";
    }

    void limitsTheBoxesInBytes() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        ToInformationPage();
        auto* edit = Form().findChild<LabelledEdit*>(box);
        Type(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    void limitsAPasteToWholeCharacters() {
        ToInformationPage();
        Type(Form().Edit5, Q("一二三四五六七八"));
        Form().Edit5->setCursorPosition(2);
        Form().Edit5->insert(Q("甲乙丙"));  // 6 bytes into the 4 that are left
        QCOMPARE(Form().Edit5->text(), Q("一二甲乙三四五六七八"));
    }

    void keepsWhatAPasteCanWrite_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("kept");
        QTest::newRow("character in the middle")
            << "Edit2" << Q("公司\U0001F600Ltd") << Q("公司Ltd");
        QTest::newRow("character first") << "Edit6" << Q("\U0001F6001") << "1";
        QTest::newRow("several, then the byte limit")
            << "Edit6" << Q("1\U0001F6002\U0001F6803456789") << "123456";
        QTest::newRow("nothing writable") << "Edit5" << Q("\U0001F600\U0001F601") << "";
    }

    void keepsWhatAPasteCanWrite() {
        QFETCH(QString, box);
        QFETCH(QString, pasted);
        QFETCH(QString, kept);
        ToInformationPage();
        auto* edit = Form().findChild<LabelledEdit*>(box);
        edit->setFocus();
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), kept);
    }

    void appendsTheProductFolder_data() {
        QTest::addColumn<std::optional<std::string>>("answer");
        QTest::addColumn<std::string>("text");
        const std::string unchanged = "C:\\Program Files\\Korvane";
        QTest::newRow("folder") << std::optional<std::string>("C:\\Apps")
                                << std::string("C:\\Apps\\Korvane");
        QTest::newRow("drive root")
            << std::optional<std::string>("D:\\") << std::string("D:\\Korvane");
        QTest::newRow("product folder itself")
            << std::optional<std::string>(unchanged) << unchanged + "\\Korvane";
        // 誠 ends in the byte of "\": still a name to append to with a backslash.
        QTest::newRow("trail byte 5C")
            << std::optional<std::string>("C:\\誠"_gbk) << "C:\\誠\\Korvane"_gbk;
        QTest::newRow("cancel") << std::optional<std::string>() << unchanged;
    }

    void appendsTheProductFolder() {
        QFETCH(std::optional<std::string>, answer);
        QFETCH(std::string, text);
        TMainForm& f = Form();
        Click(f.Image1);
        Click(f.CheckBox1);
        Click(f.NextStepBtn);
        Type(f.DE1, "typed");  // the box takes no typing
        window_->dialogs.folderAnswers.push_back(answer);
        Click(f.DE1->BrowseButton());
        QCOMPARE(f.DE1->Text(), text);
        QCOMPARE(f.DE1->text(), QString::fromStdString(cp936::ToUtf8(text)));
        QCOMPARE(QApplication::focusWidget(), f.DE1);
        // The default folder does not exist in a fresh prefix: the browser starts at the root.
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
        QCOMPARE(window_->dialogs.shown.front().text, std::string("\\"));
        QCOMPARE(f.DE1->InitialDir(), std::string("C:\\Program Files"));
    }

    void browsesFromAnExistingFolder() {
        TMainForm& f = Form();
        std::filesystem::create_directories(win::HostPath("C:\\Apps\\Korvane"));
        ToInformationPage();
        Click(f.PreStepBtn);
        window_->dialogs.folderAnswers = {ChosenFolder("C:\\Apps"), std::nullopt};
        f.DE1->setFocus();
        QTest::keyClick(f.DE1, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(f.DE1->Text(), std::string("C:\\Apps\\Korvane"));
        QCOMPARE(f.DE1->InitialDir(), std::string("C:\\Apps\\Korvane"));
        QTest::keyClick(f.DE1, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(window_->dialogs.shown.back().text, std::string("C:\\Apps\\Korvane"));
        QCOMPARE(f.DE1->Text(), std::string("C:\\Apps\\Korvane"));
    }

    void refusesAFolderAWindowsPathCannotHold() {
        TMainForm& f = Form();
        Click(f.Image1);
        Click(f.CheckBox1);
        Click(f.NextStepBtn);
        const std::string shown = "Z:\\tmp\\a?b";  // a host folder drive_c/../tmp/a\b, say
        window_->dialogs.folderAnswers.push_back(ChosenFolder(shown, false));
        Click(f.DE1->BrowseButton());
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{2});
        const auto& message = window_->dialogs.shown.back();
        QVERIFY(message.kind == Kind::Message);
        QCOMPARE(message.caption, ApplicationTitle());
        QCOMPARE(message.text,
                 "    文件夹“"_gbk + shown + "”的名称含有无法使用的字符，请另选文件夹！    "_gbk);
        QCOMPARE(f.DE1->Text(), std::string("C:\\Program Files\\Korvane"));
        QCOMPARE(QApplication::focusWidget(), f.DE1);
    }

    void asksBeforeLeaving_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }

    void asksBeforeLeaving() {
        QFETCH(bool, yes);
        window_->dialogs.yesNoAnswers.push_back(yes);
        Click(Form().ExitBtn);
        const std::string expected =
            "\x0A\x0D        " + "你尚未完成安装过程! 你可以在以后完成该系统的安装。"_gbk +
            "\x0A\x0D\x0A\x0D        " + "你确定要退出安装吗? "_gbk + "\x0A\x0D";
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{1});
        QVERIFY(window_->dialogs.shown.front().kind == Kind::YesNo);
        QCOMPARE(window_->dialogs.shown.front().caption, "提示"_gbk);
        QCOMPARE(window_->dialogs.shown.front().text, expected);
        QCOMPARE(Form().isVisible(), !yes);
    }

    void closesWithoutAskingAfterTheInstall() {
        TMainForm& f = Form();
        f.EnableCloseButton();
        QCOMPARE(f.ExitBtn->text(), Q("关闭"));
        QCOMPARE(QApplication::focusWidget(), f.ExitBtn);
        QTest::keyClick(f.ExitBtn, Qt::Key_Return);
        QVERIFY(window_->dialogs.shown.empty());
        QVERIFY(!f.isVisible());
    }

    void showsTheInstallation() {
        TMainForm& f = Form();
        Click(f.Image1);
        f.ShowInstallPicture();
        QCOMPARE(f.Panel1->height(), 240);
        QVERIFY(f.Image3->isVisible() && !f.Image2->isVisible());
        f.SetTips({"甲"_gbk, "", "丙"_gbk, "", ""});
        QCOMPARE(f.RxLabel1->Text(), Q("甲"));
        QCOMPARE(f.RxLabel2->size(), QSize(0, 0));
        QVERIFY(f.RxLabel3->width() > 0);
        f.SetStatusCaption("安装完成！ "_gbk);
        QCOMPARE(f.InfoLabel->text(), Q("安装完成！ "));
        f.SetBusyCursor(true);
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
        f.SetBusyCursor(false);
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
        f.ShowFinishPicture();
        QVERIFY(f.Image4->isVisible() && !f.Image3->isVisible());
        f.SetTimerEnabled(true);
        QVERIFY(f.Timer1->isActive());
        f.SetTimerEnabled(false);
        QVERIFY(!f.Timer1->isActive());
    }

    void paintsTheGaugeBeforeTheSetterReturns() {
        TMainForm& f = Form();
        Click(f.Image1);
        f.PC->ShowPage(f.TabSheet4);
        QCoreApplication::processEvents();
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint) ++paints;
                return false;
            }
        } counter;
        f.Gauge1->installEventFilter(&counter);
        const struct {
            int set, shown, paints;
        } steps[] = {{50, 50, 1}, {50, 50, 1}, {150, 100, 2}, {-3, 0, 3}, {-9, 0, 3}};
        for (const auto& step : steps) {
            f.SetGaugeProgress(step.set);
            QCOMPARE(f.GaugeProgress(), step.shown);
            QCOMPARE(counter.paints, step.paints);
        }
        f.SetGaugeProgress(37);
        const QImage gauge = f.Gauge1->grab().toImage();
        QCOMPARE(gauge.pixel(5, 9), qRgb(0, 0, 255));
        QCOMPARE(gauge.pixel(470, 9), qRgb(255, 255, 255));
    }

    void cutsTheProgramFolder_data() {
        QTest::addColumn<std::string>("program");
        QTest::addColumn<std::string>("folder");
        QTest::newRow("folder") << std::string("D:\\Setup\\Setup.exe") << std::string("D:\\Setup");
        QTest::newRow("drive root") << std::string("D:\\Setup.exe") << std::string("D:");
        // A trail byte 0x5C in the names is no backslash.
        QTest::newRow("program name ends in 5C")
            << "D:\\Setup\\誠.exe"_gbk << std::string("D:\\Setup");
        QTest::newRow("folder ends in 5C") << "D:\\安装誠\\Setup.exe"_gbk
                                           << "D:\\安装誠"_gbk;
    }

    void cutsTheProgramFolder() {
        QFETCH(std::string, program);
        QFETCH(std::string, folder);
        QCOMPARE(ProgramFolder(program), folder);
    }

    void reportsErrorsInTheErrorBox() {
        ReportErrors(window_->dialogs, [] { throw SetupError("无法打开数据库 C:\\a.qdb"_gbk); });
        ReportErrors(window_->dialogs, [] { throw std::runtime_error("Disk full."); });
        QCOMPARE(window_->dialogs.shown.size(), std::size_t{2});
        QVERIFY(window_->dialogs.shown[0].kind == Kind::Error);
        QCOMPARE(window_->dialogs.shown[0].caption, ApplicationTitle());
        QCOMPARE(window_->dialogs.shown[0].text, "无法打开数据库 C:\\a.qdb."_gbk);
        QCOMPARE(window_->dialogs.shown[1].text, std::string("Disk full."));
    }

    void decodesTheArtwork() {
        const struct {
            const char* name;
            QSize size;
        } pictures[] = {{"splash.jpg", {492, 288}},
                        {"header.jpg", {492, 51}},
                        {"install.jpg", {492, 240}},
                        {"finish.jpg", {492, 240}}};
        for (const auto& picture : pictures)
            QCOMPARE(LoadArtwork(QString::fromLatin1(picture.name)).size(), picture.size);
        QVERIFY_THROWS_EXCEPTION(SetupError, DecodeJpeg(QByteArray("not a picture"), "x.jpg"));
    }
};

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"
