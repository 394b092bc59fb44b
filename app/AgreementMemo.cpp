#include "app/AgreementMemo.h"

#include <QFile>
#include <QKeyEvent>

AgreementMemo::AgreementMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void AgreementMemo::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

QString LicenceAgreement() {
    QFile file(QStringLiteral(":/artwork/licence.txt"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}
