#pragma once
// The wizard's window as its tests use it: a scratch prefix, dialogs the test answers, and
// the form, opened on the splash when the test is ready for it. One per test case.

#include <QtTest>
#include <memory>

#include "app/NewInstall.h"
#include "platform/PrefixSkeleton.h"
#include "support/ScratchDir.h"
#include "support/TestDialogs.h"
#include "support/TypeText.h"

namespace testing_support {

struct WizardWindow {
    WizardWindow() { win::EnsurePrefix(); }

    // Shows the window and waits until it is active, so that keys reach it.
    void Open(unsigned clockSpeed = 1) {
        form = std::make_unique<TMainForm>(dialogs, clockSpeed);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    static void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }

    // Focuses the box and types the text key by key.
    static void Type(QWidget* box, const QString& text) {
        box->setFocus();
        TypeText(box, text);
    }

    // From the splash over the agreement (its box ticked) and the folder page.
    void ToInformationPage() {
        Click(form->Image1);
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton, {}, QPoint(5, 8));  // on the box
        Click(form->NextStepBtn);
        Click(form->NextStepBtn);
    }

    // Members in the order they are made; the form goes first, the prefix last.
    ScopedPrefix prefix;
    TestDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

}  // namespace testing_support
