#include "app/NewInstall.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/AgreementMemo.h"
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/ErrorHandler.h"
#include "app/FolderEdit.h"
#include "app/Gauge.h"
#include "app/JpegPicture.h"
#include "app/LabelledEdit.h"
#include "app/Labels.h"
#include "app/PageControl.h"
#include "app/PictureBox.h"
#include "app/UiText.h"
#include "install/InstallSequence.h"
#include "platform/CodePage.h"
#include "platform/WinFiles.h"

using namespace cp936::literals;

namespace {

constexpr int kSplashHeight = 288;
constexpr int kHeaderHeight = 52;
constexpr int kInstallPictureHeight = 240;

// Qt finds a control by the name the other units use for it.
template <typename Control>
Control* Named(const char* name, Control* control) {
    control->setObjectName(QLatin1String(name));
    return control;
}

QLabel* NewLabel(const char* name, QWidget* page, std::string_view text, QPoint at) {
    auto* label = Named(name, new QLabel(Ui(text), page));
    label->move(at);
    label->adjustSize();
    return label;
}

QPushButton* NewButton(const char* name, QWidget* form, std::string_view text, QRect box) {
    auto* button = Named(name, new QPushButton(Ui(text), form));
    button->setGeometry(box);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void SetHeight(QWidget* panel, int height) {
    panel->setGeometry(panel->x(), 0, panel->width(), height);
}

}  // namespace

std::string ProgramFolder(const std::string& programPath) {
    const auto backslash = cp936::LastDelimiter(programPath, "\\");
    return backslash == std::string::npos ? std::string() : programPath.substr(0, backslash);
}

TMainForm::TMainForm(Dialogs& dialogs, unsigned clockSpeed)
    : QWidget(nullptr), dialogs_(dialogs), pump_(clockSpeed) {
    CreateWindowFrame();
    Bevel1 = Named("Bevel1", new EtchedLine(this));
    Bevel1->setGeometry(4, 297, 486, 2);
    Label1 = Named("Label1", new EmbossedLabel(this, QStringLiteral("KORVANE SOFTWARE ")));
    Label1->move(4, 291);
    Label1->adjustSize();
    Panel2 = Named("Panel2", new PlainPanel(this));
    Panel2->setGeometry(0, 0, 492, 289);
    CreatePages();
    CreateHeaderPanel();
    CreateButtons();
    Timer1 = Named("Timer1", new QTimer(this));
    Timer1->setInterval(std::max(1, 100 / static_cast<int>(std::max(1u, clockSpeed))));
    CreateTabOrder();
    ConnectHandlers();
    FormCreate();
}

void TMainForm::CreateWindowFrame() {
    // A fixed dialog frame with the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(492, 337);
    setWindowTitle(Ui("Korvane通用机器设备管理系统-安装程序"_gbk));
    QFont face(QStringLiteral("宋体"));
    face.setPixelSize(12);
    setFont(face);
    setAutoFillBackground(true);
}

QSize TMainForm::FrameExtent() const { return frameGeometry().size() - size(); }

void TMainForm::CentreOnScreen() {
    // By the frame, title bar included: centring the client area alone leaves the window
    // half a title bar too low.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
    centredFrame_ = FrameExtent();
}

void TMainForm::CreatePages() {
    PC = Named("PC", new PageControl(Panel2));
    PC->setGeometry(0, 0, 492, 289);
    TabSheet1 = Named("TabSheet1", PC->AddPage(QStringLiteral("TabSheet1")));
    TabSheet2 = Named("TabSheet2", PC->AddPage(QStringLiteral("TabSheet2")));
    TabSheet3 = Named("TabSheet3", PC->AddPage(QStringLiteral("TabSheet3")));
    TabSheet4 = Named("TabSheet4", PC->AddPage(QStringLiteral("TabSheet4")));
    TabSheet5 = Named("TabSheet5", PC->AddPage(QStringLiteral("TabSheet5")));
    CreateAgreementPage();
    CreateFolderPage();
    CreateInformationPage();
    CreateProgressPage();
}

void TMainForm::CreateAgreementPage() {
    Label12 = NewLabel("Label12", TabSheet1, "您必须接受此协议，才能使用本软件。"_gbk, {8, 40});
    Memo1 = Named("Memo1", new AgreementMemo(TabSheet1));
    Memo1->setGeometry(0, 60, 483, 170);
    Memo1->setPlainText(LicenceAgreement());
    CheckBox1 = Named("CheckBox1", new QCheckBox(Ui("我同意，接受此协议。"_gbk), TabSheet1));
    CheckBox1->setGeometry(1, 237, 185, 17);
}

void TMainForm::CreateFolderPage() {
    Label8 = NewLabel("Label8", TabSheet2, "感谢您使用Korvane软件！"_gbk, {56, 40});
    Label9 =
        NewLabel("Label9", TabSheet2,
                 "您现在要安装的是《Korvane通用机器设备管理系统(单机版)V3.50》。"_gbk, {56, 56});
    Label10 = NewLabel("Label10", TabSheet2, "本向导将指引您完成软件的安装工作。"_gbk, {56, 88});
    Label11 = NewLabel("Label11", TabSheet2,
                       "软件将安装在下面的文件夹中，你也可以选择自定的文件夹："_gbk, {56, 144});
    DE1 = Named("DE1", new FolderEdit(TabSheet2, dialogs_));
    DE1->setGeometry(56, 168, 371, 21);
    Label2 =
        NewLabel("Label2", TabSheet2,
                 "注：如果你想在原来较低版本的基础上升级，请安装在原来的文件夹下。"_gbk, {54, 208});
}

void TMainForm::CreateInformationPage() {
    Label14 = NewLabel("Label14", TabSheet3, "请输入以下信息："_gbk, {24, 48});
    Edit2 = Named("Edit2", new LabelledEdit(TabSheet3, Ui("公司名称 "_gbk), 30));
    Edit2->Place({80, 75, 349, 20});
    Edit4 = Named("Edit4", new LabelledEdit(TabSheet3, Ui("通信地址 "_gbk), 30));
    Edit4->Place({80, 99, 349, 20});
    Edit5 = Named("Edit5", new LabelledEdit(TabSheet3, Ui("部门名称 "_gbk), 20));
    Edit5->Place({80, 123, 185, 20});
    Label16 = NewLabel("Label16", TabSheet3, "（最多十个汉字）"_gbk, {275, 126});
    Edit6 = Named("Edit6", new LabelledEdit(TabSheet3, Ui("邮政编码 "_gbk), 6));
    Edit6->Place({80, 147, 81, 20});
    Label3 = Named(
        "Label3",
        new QLabel(Ui("以上内容请认真填写，因为它们涉及到报表打印的正确与否。"_gbk), TabSheet3));
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    QPalette red = Label3->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label3->setPalette(red);
    Label3->move(20, 205);
    Label3->adjustSize();
}

void TMainForm::CreateProgressPage() {
    InfoLabel = NewLabel("InfoLabel", TabSheet4, "正在安装..."_gbk, {3, 226});
    Gauge1 = Named("Gauge1", new Gauge(TabSheet4));
    Gauge1->setGeometry(1, 240, 482, 19);
}

void TMainForm::CreateHeaderPanel() {
    Panel1 = Named("Panel1", new PlainPanel(Panel2));
    Panel1->setGeometry(0, 0, 492, kHeaderHeight);
    Panel1->setAutoFillBackground(true);
    Image4 = Named("Image4", new PictureBox(Panel1));
    Image4->setGeometry(0, 0, 492, 240);
    Image4->SetPicture(LoadArtwork(QStringLiteral("finish.jpg")));
    Image4->hide();
    Image3 = Named("Image3", new PictureBox(Panel1));
    Image3->setGeometry(0, 0, 492, 240);
    Image3->SetPicture(LoadArtwork(QStringLiteral("install.jpg")));
    Image3->hide();
    Image2 = Named("Image2", new PictureBox(Panel1));
    Image2->setGeometry(0, 0, 492, 50);  // the 51-row strip drawn into 50
    Image2->SetPicture(LoadArtwork(QStringLiteral("header.jpg")));
    Image1 = Named("Image1", new PictureBox(Panel1));
    Panel1->SetFillChild(Image1);
    Image1->SetPicture(LoadArtwork(QStringLiteral("splash.jpg")));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(Ui("点击开始安装"_gbk));

    QFont shadowFace = font();
    shadowFace.setPixelSize(13);
    const std::pair<ShadowLabel**, const char*> labels[] = {{&RxLabel1, "RxLabel1"},
                                                            {&RxLabel2, "RxLabel2"},
                                                            {&RxLabel3, "RxLabel3"},
                                                            {&RxLabel4, "RxLabel4"},
                                                            {&RxLabel5, "RxLabel5"}};
    int y = 72;
    for (const auto& [label, name] : labels) {
        *label = Named(name, new ShadowLabel(Panel1));
        (*label)->setFont(shadowFace);
        (*label)->move(42, y);
        y += 20;
    }
}

void TMainForm::CreateButtons() {
    NextStepBtn = NewButton("NextStepBtn", this, "下一步 >>"_gbk, {306, 304, 90, 25});
    PreStepBtn = NewButton("PreStepBtn", this, "<< 上一步"_gbk, {213, 304, 90, 25});
    ExitBtn = NewButton("ExitBtn", this, "※ 退出"_gbk, {399, 304, 90, 25});
}

void TMainForm::CreateTabOrder() {
    // The pages' controls by their tab orders, then the three buttons; Qt skips hidden and
    // disabled ones as the system does.
    QWidget* const order[] = {CheckBox1, Memo1, DE1,         Edit2,      Edit4,
                              Edit5,     Edit6, NextStepBtn, PreStepBtn, ExitBtn};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::ConnectHandlers() {
    connect(Image1, &PictureBox::clicked, this, [this] { Image1Click(); });
    connect(NextStepBtn, &QPushButton::clicked, this, [this] {
        ReportErrors(dialogs_, [this] { NextStepBtnClick(); });
        CloseIfAskedDuringInstall();
    });
    connect(PreStepBtn, &QPushButton::clicked, this, [this] { PreStepBtnClick(); });
    connect(ExitBtn, &QPushButton::clicked, this, [this] { ExitBtnClick(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(Timer1, &QTimer::timeout, this,
            [this] { ReportErrors(dialogs_, [this] { Timer1Timer(); }); });
    DE1->SetAfterDialog([this](std::string& name, bool& action) { DE1AfterDialog(name, action); });
}

void TMainForm::FormCreate() {
    ShowStep(0);
    FSystemDir = win::GetSystemDirectoryA();
    FSourceDir = ProgramFolder(win::GetModuleFileNameA());
    DE1->SetText("C:\\Program Files\\Korvane");
    DE1->SetInitialDir("C:\\Program Files");
}

// ---- The wizard ----

void TMainForm::ShowStep(int step) {
    // What each step shows. The splash covers the pages; on the agreement and folder pages
    // the next button waits for the agreement; while installing only the exit button is
    // left, disabled.
    enum class Next { WhileAccepted, Enabled };
    const struct {
        bool splash;
        QWidget* page;
        bool backAndNext;
        std::string nextCaption;
        Next next;
        bool exitEnabled;
        QWidget* focus;
    } steps[] = {
        {true, TabSheet1, false, "下一步 >>"_gbk, Next::WhileAccepted, true, nullptr},
        {false, TabSheet1, true, "下一步 >>"_gbk, Next::WhileAccepted, true, nullptr},
        {false, TabSheet2, true, "下一步 >>"_gbk, Next::WhileAccepted, true, nullptr},
        {false, TabSheet3, true, "开始安装"_gbk, Next::Enabled, true, Edit2},
        {false, TabSheet4, false, "开始安装"_gbk, Next::Enabled, false, nullptr},
    };
    const auto& shown = steps[step];
    PC->ShowPage(shown.page);
    SetHeight(Panel1, shown.splash ? kSplashHeight : kHeaderHeight);
    Image1->setVisible(shown.splash);
    Image2->setVisible(!shown.splash);
    PreStepBtn->setVisible(shown.backAndNext);
    NextStepBtn->setVisible(shown.backAndNext);
    NextStepBtn->setText(Ui(shown.nextCaption));
    NextStepBtn->setEnabled(shown.next == Next::Enabled || CheckBox1->isChecked());
    ExitBtn->setEnabled(shown.exitEnabled);
    FStep = step;
    if (shown.focus) shown.focus->setFocus();
}

void TMainForm::Image1Click() { ShowStep(1); }

void TMainForm::NextStepBtnClick() {
    if (FStep < 1 || FStep > 3) return;
    if (FStep == 3 && !EntryChecksPass()) return;
    ShowStep(FStep + 1);
    if (FStep == 4) PerformInstall();
}

void TMainForm::PreStepBtnClick() {
    if (FStep < 1 || FStep > 3) return;
    ShowStep(FStep - 1);
}

bool TMainForm::EntryChecksPass() {
    // Only bytes 0..32 count as blank: a box of full-width spaces is not empty.
    const struct {
        LabelledEdit* box;
        std::string message;
    } checks[] = {
        {Edit2, "    公司名称不能为空！    "_gbk},
        {Edit4, "    公司通信地址不能为空！    "_gbk},
        {Edit5, "    部门名称不能为空！    "_gbk},
        {Edit6, "    邮政编码不能为空！    "_gbk},
    };
    for (const auto& check : checks) {
        if (!cp936::TrimControl(check.box->Text()).empty()) continue;
        dialogs_.MessageDialog(ApplicationTitle(), check.message);
        check.box->setFocus();
        return false;
    }
    return true;
}

void TMainForm::CheckBox1Click() { NextStepBtn->setEnabled(CheckBox1->isChecked()); }

void TMainForm::DE1AfterDialog(std::string& name, bool&) {
    const bool endsInBackslash =
        !name.empty() && cp936::LastDelimiter(name, "\\") == name.size() - 1;
    name += endsInBackslash ? "Korvane" : "\\Korvane";
}

void TMainForm::ExitBtnClick() {
    if (Gbk(ExitBtn->text()) == "关闭"_gbk) {
        close();
        return;
    }
    // The question breaks its lines with a line feed followed by a carriage return.
    const std::string line = "\x0A\x0D";
    const std::string indent(8, ' ');
    const std::string question = line + indent +
                                 "你尚未完成安装过程! 你可以在以后完成该系统的安装。"_gbk + line +
                                 line + indent + "你确定要退出安装吗? "_gbk + line;
    if (dialogs_.YesNoBox("提示"_gbk, question)) close();
}

// ---- Keyboard ----

bool TMainForm::HandleDialogKey(int key, Qt::KeyboardModifiers modifiers) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (enter && !button) key = Qt::Key_Tab;
    switch (key) {
        case Qt::Key_Tab:
            // The focus frame shows wherever the keyboard moved the focus: Qt marks a window
            // so only for its own Tab key, not for an Enter that moves on like one.
            setAttribute(Qt::WA_KeyboardFocusChange);
            focusNextPrevChild(!(modifiers & Qt::ShiftModifier));
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            button->click();
            return true;
        case Qt::Key_Escape:
            return true;  // there is no cancel button
        default:
            return false;
    }
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centredFrame_) return;
    CentreOnScreen();
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // A window manager tells the frame's extent only once it has framed the window, before
    // it first shows it: the window is centred again, once, with the frame it then has.
    if (watched == windowHandle() && event->type() == QEvent::Expose && !recentred_ &&
        FrameExtent() != centredFrame_) {
        recentred_ = true;
        CentreOnScreen();
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (HandleDialogKey(event->key(), event->modifiers()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

// ---- The install ----

void TMainForm::PerformInstall() {
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(installing_);
    InstallSequence sequence(*this, FPacing, FSourceDir, FSystemDir);
    sequence.PerformInstall();
}

void TMainForm::Timer1Timer() { FPacing.Timer1Timer(); }

void TMainForm::closeEvent(QCloseEvent* event) {
    if (installing_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainForm::CloseIfAskedDuringInstall() {
    // After the run, and after the error box of a failed one: control is about to return
    // to the main loop, where the program ends.
    if (closeRequested_) close();
}

// ---- The window the install sequence works on ----

std::string TMainForm::FolderEditText() const { return DE1->Text(); }

CompanyDetails TMainForm::CompanyEntries() const {
    return {Edit2->Text(), Edit4->Text(), Edit5->Text(), Edit6->Text()};
}

void TMainForm::ShowInstallPicture() {
    SetHeight(Panel1, kInstallPictureHeight);
    Image2->hide();
    Image3->show();
}

void TMainForm::ShowFinishPicture() {
    Image3->hide();
    Image4->show();
}

void TMainForm::SetStatusCaption(const std::string& caption) {
    InfoLabel->setText(Ui(caption));
    InfoLabel->adjustSize();
}

void TMainForm::SetTips(const TipSet& tips) {
    ShadowLabel* const labels[] = {RxLabel1, RxLabel2, RxLabel3, RxLabel4, RxLabel5};
    for (std::size_t i = 0; i < tips.size(); ++i) labels[i]->SetText(Ui(tips[i]));
}

void TMainForm::SetBusyCursor(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void TMainForm::EnableCloseButton() {
    ExitBtn->setEnabled(true);
    ExitBtn->setText(Ui("关闭"_gbk));
    ExitBtn->setFocus();
}

int TMainForm::GaugeProgress() const { return Gauge1->Progress(); }

void TMainForm::SetGaugeProgress(int progress) { Gauge1->SetProgress(progress); }

void TMainForm::SetTimerEnabled(bool enabled) {
    if (!enabled)
        Timer1->stop();
    else if (!Timer1->isActive())
        Timer1->start();  // a running timer keeps its period
}
