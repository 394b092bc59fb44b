#pragma once
// The install-folder box: its text changes only through the folder browser, opened by the
// button at its right end or by Alt+Down. After the browser closes, OK or Cancel, the
// after-dialog handler may change the name; only after OK does the box take it. A folder
// whose name cannot be one of a Windows path is refused with a message, as if cancelled.

#include <QLineEdit>
#include <functional>
#include <string>

class Dialogs;
class QToolButton;

class FolderEdit : public QLineEdit {
public:
    // name (in-out) and action (in-out, true after OK); texts are code page 936.
    using AfterDialog = std::function<void(std::string& name, bool& action)>;

    FolderEdit(QWidget* parent, Dialogs& dialogs);

    void SetAfterDialog(AfterDialog handler) { afterDialog_ = std::move(handler); }
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(std::string folder) { initialDir_ = std::move(folder); }
    QToolButton* BrowseButton() const { return button_; }

    // The browser's whole round: working name, browser, after-dialog handler, new text.
    void Browse();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::string WorkingName() const;
    std::string StartFolder() const;
    // Tells the person that the chosen folder cannot be used, naming it as shownPath.
    void RefuseFolder(const std::string& shownPath);

    Dialogs& dialogs_;
    QToolButton* button_;
    AfterDialog afterDialog_;
    std::string text_;
    std::string initialDir_;
};
