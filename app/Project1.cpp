// The setup program's main routine: prepare the application, create the one form and run
// the message loop until the window closes.

#include <QApplication>
#include <memory>

#include "app/Application.h"
#include "app/ErrorHandler.h"
#include "app/NewInstall.h"
#include "app/QtDialogs.h"
#include "platform/Com.h"
#include "platform/PrefixSkeleton.h"
#include "platform/WinFiles.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The window's thread is the program's only thread and a single-threaded apartment.
    win::CoInitialize(nullptr);
    win::PrepareFileCalls();
    PrepareApplication();
    QtDialogs dialogs;
    std::unique_ptr<TMainForm> MainForm;
    ReportErrors(dialogs, [&] {
        win::EnsurePrefix();
        MainForm = std::make_unique<TMainForm>(dialogs);
    });
    if (!MainForm) return 1;
    MainForm->show();
    return QApplication::exec();
}
