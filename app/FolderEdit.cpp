#include "app/FolderEdit.h"

#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/UiText.h"
#include "platform/CodePage.h"
#include "platform/WinFiles.h"
#include "utils/mUtils.h"

using namespace cp936::literals;

namespace {

// No system box may ask for a missing medium while the browser walks the drives; the
// previous mode comes back however the browser ends.
class CriticalErrorsSuppressed {
public:
    CriticalErrorsSuppressed() : previous_(win::SetErrorMode(win::SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorsSuppressed() { win::SetErrorMode(previous_); }
    CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
    CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;

private:
    win::UINT previous_;
};

}  // namespace

FolderEdit::FolderEdit(QWidget* parent, Dialogs& dialogs)
    : QLineEdit(parent), dialogs_(dialogs), button_(new QToolButton(this)) {
    // Read-only: no typing, pasting or cutting; the browser is the only way in.
    setReadOnly(true);
    button_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    connect(button_, &QToolButton::clicked, this, [this] { Browse(); });
}

void FolderEdit::SetText(std::string text) {
    text_ = std::move(text);
    setText(Ui(text_));
}

std::string FolderEdit::WorkingName() const {
    if (!text_.empty()) return text_;
    if (!initialDir_.empty()) return initialDir_;
    return "\\";
}

std::string FolderEdit::StartFolder() const {
    std::string name = WorkingName();
    return IsDirectory(name) ? name : std::string("\\");  // the root of the current drive
}

void FolderEdit::RefuseFolder(const std::string& shownPath) {
    dialogs_.MessageDialog(
        ApplicationTitle(),
        "    文件夹“"_gbk + shownPath + "”的名称含有无法使用的字符，请另选文件夹！    "_gbk);
}

void FolderEdit::Browse() {
    std::string name = StartFolder();
    std::optional<ChosenFolder> chosen;
    {
        CriticalErrorsSuppressed suppressed;
        chosen = dialogs_.BrowseForFolder(name);
    }
    // A folder whose name a Windows path cannot hold is said so and taken as Cancel.
    if (chosen && !chosen->usable) {
        RefuseFolder(chosen->path);
        chosen.reset();
    }
    bool action = chosen.has_value();
    if (action) name = chosen->path;
    setFocus();
    if (afterDialog_) afterDialog_(name, action);
    if (!action) return;
    SetText(name);
    if (IsDirectory(name)) initialDir_ = name;
}

void FolderEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier) {
        Browse();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FolderEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    const int side = height() - 4;
    button_->setGeometry(width() - side - 2, 2, side, side);
    setTextMargins(0, 0, side + 2, 0);
}
