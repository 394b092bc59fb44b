#pragma once
// The unit of the setup program's one window, TMainForm: its layout, the wizard's steps
// from the splash to the install button, and the window the install sequence works on.

#include <QWidget>
#include <optional>
#include <string>

#include "app/QtMessagePump.h"
#include "install/InstallWindow.h"
#include "install/ProgressPacing.h"

class AgreementMemo;
class Dialogs;
class EmbossedLabel;
class EtchedLine;
class FolderEdit;
class Gauge;
class LabelledEdit;
class PageControl;
class PictureBox;
class PlainPanel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class ShadowLabel;

// The setup program's folder: the program file's path cut at its last "\" (by whole
// characters, so that a trail byte 0x5C in a name is never taken for one). D:\Setup.exe
// gives D:.
std::string ProgramFolder(const std::string& programPath);

class TMainForm : public QWidget, public InstallWindow {
    Q_OBJECT
public:
    // clockSpeed > 1 runs the pauses and the gauge's timer that many times faster (tests).
    explicit TMainForm(Dialogs& dialogs, unsigned clockSpeed = 1);

    // ---- The window the install sequence works on ----
    std::string FolderEditText() const override;
    CompanyDetails CompanyEntries() const override;
    void ShowInstallPicture() override;
    void ShowFinishPicture() override;
    void SetStatusCaption(const std::string& caption) override;
    void SetTips(const TipSet& tips) override;
    void SetBusyCursor(bool busy) override;
    void EnableCloseButton() override;
    int GaugeProgress() const override;
    void SetGaugeProgress(int progress) override;
    void SetTimerEnabled(bool enabled) override;
    MessagePump& Pump() override { return pump_; }

    // ---- Controls, in creation order (later ones lie in front) ----
    EtchedLine* Bevel1;
    EmbossedLabel* Label1;
    PlainPanel* Panel2;
    PageControl* PC;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    QWidget* TabSheet5;
    QLabel* Label12;
    AgreementMemo* Memo1;
    QCheckBox* CheckBox1;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    FolderEdit* DE1;
    QLabel* Label2;
    QLabel* Label14;
    LabelledEdit* Edit2;
    LabelledEdit* Edit4;
    LabelledEdit* Edit5;
    QLabel* Label16;
    LabelledEdit* Edit6;
    QLabel* Label3;
    QLabel* InfoLabel;
    Gauge* Gauge1;
    PlainPanel* Panel1;
    PictureBox* Image4;
    PictureBox* Image3;
    PictureBox* Image2;
    PictureBox* Image1;
    ShadowLabel* RxLabel1;
    ShadowLabel* RxLabel2;
    ShadowLabel* RxLabel3;
    ShadowLabel* RxLabel4;
    ShadowLabel* RxLabel5;
    QPushButton* NextStepBtn;
    QPushButton* PreStepBtn;
    QPushButton* ExitBtn;
    QTimer* Timer1;

    // ---- State ----
    int FStep = 0;  // 0 splash, 1 agreement, 2 folder, 3 information, 4 installing
    std::string FSourceDir;
    std::string FSystemDir;

    // ---- Handlers ----
    void FormCreate();
    void Image1Click();
    void NextStepBtnClick();
    void PreStepBtnClick();
    void CheckBox1Click();
    void DE1AfterDialog(std::string& name, bool& action);
    void ExitBtnClick();
    // Enter acts as Tab except on a push button, which it clicks; Escape does nothing.
    // True when the key was handled.
    bool HandleDialogKey(int key, Qt::KeyboardModifiers modifiers);

    void PerformInstall();

public slots:
    void Timer1Timer();

protected:
    // The window is centred on the screen by its frame when it is first shown.
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A close request while the installation runs is remembered, not obeyed: the run goes on
    // to its end in a visible window, and the window closes as soon as the run is over.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateWindowFrame();
    void CentreOnScreen();
    QSize FrameExtent() const;
    void CreatePages();
    void CreateAgreementPage();
    void CreateFolderPage();
    void CreateInformationPage();
    void CreateProgressPage();
    void CreateHeaderPanel();
    void CreateButtons();
    void CreateTabOrder();
    void ConnectHandlers();

    // Shows wizard step 0..4 (FStep) with its page, buttons, captions and focus.
    void ShowStep(int step);
    bool EntryChecksPass();
    void CloseIfAskedDuringInstall();

    Dialogs& dialogs_;
    QtMessagePump pump_;
    // Holds the gauge's target, FProgressTarget.
    ProgressPacing FPacing{*this};
    bool installing_ = false;
    bool closeRequested_ = false;
    // The frame's extent beyond the client area when the window was centred.
    std::optional<QSize> centredFrame_;
    bool recentred_ = false;
};
