#include "app/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "platform/CodePage.h"
#include "platform/PathMapping.h"
#include "platform/SetupError.h"

namespace {

// A dialog must show whatever it is given, above all an error box: a text that is not code
// page 936 shows its stray bytes as \xNN instead of failing inside the error handler.
QString Ui(const std::string& gbk) {
    try {
        return QString::fromStdString(cp936::ToUtf8(gbk));
    } catch (const SetupError&) {
        QString shown;
        for (const char c : gbk) {
            const auto byte = static_cast<unsigned char>(c);
            shown += byte < 0x80 ? QString(QChar(byte))
                                 : QStringLiteral("\\x%1").arg(byte, 2, 16, QChar('0'));
        }
        return shown;
    }
}

// Without a parent a message box is centred on the screen, as the system's boxes are.
QMessageBox::StandardButton Show(QMessageBox::Icon icon, const std::string& caption,
                                 const std::string& text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, Ui(caption), Ui(text), buttons);
    box.setDefaultButton(defaultButton);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString StartDirectory(const std::string& startFolder) {
    try {
        return QString::fromStdString(win::HostPath(startFolder).string());
    } catch (const SetupError&) {
        return {};  // a drive that does not exist: the dialog starts where it likes
    }
}

}  // namespace

void QtDialogs::MessageDialog(const std::string& caption, const std::string& text) {
    Show(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtDialogs::ErrorBox(const std::string& caption, const std::string& text) {
    Show(QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::YesNoBox(const std::string& caption, const std::string& text) {
    return Show(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<ChosenFolder> QtDialogs::BrowseForFolder(const std::string& startFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(
        nullptr, QString(), StartDirectory(startFolder), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    const std::filesystem::path folder(chosen.toStdString());
    try {
        // No trailing backslash but for a drive's root ("D:\"), as the system's browser answers.
        return ChosenFolder(win::WindowsPath(folder));
    } catch (const SetupError&) {
        return ChosenFolder(win::ShownWindowsPath(folder), false);
    }
}
