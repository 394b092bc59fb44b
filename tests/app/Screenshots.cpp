// Renders the splash and each page of the wizard, offscreen, from the real window into PNG
// files for the README. Run by scripts/screenshots.
//
//   korvane-screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <cstdio>

#include "app/Application.h"
#include "app/NewInstall.h"
#include "app/PageControl.h"
#include "install/InstallTexts.h"
#include "platform/QtDialogs.h"
#include "platform/WinPaths.h"

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
    QtDialogs dialogs;  // never shown: nothing here opens a dialog
    TMainForm form(dialogs);
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

    // The progress page as the install sequence shows it, without running it.
    form.PC->ShowPage(form.TabSheet4);
    form.PreStepBtn->hide();
    form.NextStepBtn->hide();
    form.ExitBtn->setEnabled(false);
    form.ShowInstallPicture();
    form.SetTips(install_texts::IntroductionTips());
    form.SetStatusCaption(install_texts::CreatingFolders());
    form.SetGaugeProgress(35);
    ok = ok && Save(form, out, "progress.png");

    form.SetTips(install_texts::NoTips());
    form.SetStatusCaption(install_texts::InstallComplete());
    form.SetGaugeProgress(100);
    form.ShowFinishPicture();
    form.EnableCloseButton();
    ok = ok && Save(form, out, "finish.png");

    if (!ok) std::fprintf(stderr, "korvane-screenshots: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
