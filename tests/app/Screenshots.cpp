// Renders the splash and each page of the wizard, offscreen, from the real window into PNG
// files for the README, and a picture of the menu and desktop entries the installation
// leaves. Run by scripts/screenshots.
//
//   korvane-screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "EntriesPicture.h"
#include "app/Application.h"
#include "app/Gauge.h"
#include "app/LabelledEdit.h"
#include "app/NewInstall.h"
#include "app/PageControl.h"
#include "app/QtDialogs.h"
#include "app/UiText.h"
#include "install/InstallTexts.h"
#include "platform/Com.h"
#include "platform/PrefixSkeleton.h"
#include "platform/XdgDirs.h"

namespace {

bool Save(TMainForm& form, const QDir& folder, const char* name) {
    QCoreApplication::processEvents();
    return form.grab().save(folder.filePath(QString::fromLatin1(name)), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    PrepareApplication();
    win::EnsurePrefix();
    win::CoInitialize(nullptr);
    QtDialogs dialogs;  // shows only an error of the installation, if there is one
    // A fast clock: the installation's 19 seconds of pauses pass in under one.
    TMainForm form(dialogs, 25);
    form.show();
    const QDir out(QString::fromLocal8Bit(argv[1]));

    bool ok = Save(form, out, "splash.png");
    form.Image1Click();
    form.CheckBox1->setChecked(true);
    ok = ok && Save(form, out, "agreement.png");
    form.NextStepBtnClick();
    ok = ok && Save(form, out, "folder.png");
    form.NextStepBtnClick();
    ok = ok && Save(form, out, "information.png");

    // The progress page in the middle of a real installation, and the finish page after it.
    const QString details[] = {QStringLiteral("诚信机械制造有限公司"),
                               QStringLiteral("北京市海淀区中关村大街1号"),
                               QStringLiteral("设备科"), QStringLiteral("100080")};
    LabelledEdit* const boxes[] = {form.Edit2, form.Edit4, form.Edit5, form.Edit6};
    for (size_t i = 0; i < std::size(boxes); ++i) boxes[i]->setText(details[i]);
    const QString midRun = Ui(install_texts::CopyingDatabase());
    bool progressSaved = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        if (!progressSaved && form.InfoLabel->text() == midRun) {
            progressSaved = form.grab().save(out.filePath(QStringLiteral("progress.png")), "PNG");
        }
    });
    watch.start(10);
    form.NextStepBtnClick();
    watch.stop();
    ok = ok && progressSaved;
    QElapsedTimer settle;
    settle.start();
    while (form.Gauge1->Progress() < 100 && settle.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ok = ok && Save(form, out, "finish.png");
    ok = ok && EntriesPicture({xdg::DataHome(), xdg::ConfigHome(), xdg::DesktopDir()})
                   .save(out.filePath(QStringLiteral("entries.png")), "PNG");

    if (!ok) std::fprintf(stderr, "korvane-screenshots: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
