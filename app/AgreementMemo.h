#pragma once
// The read-only licence agreement box. It keeps Enter to itself, so Enter never moves the
// focus on from here; Tab does.

#include <QPlainTextEdit>

class AgreementMemo : public QPlainTextEdit {
public:
    explicit AgreementMemo(QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The licence agreement compiled into the program.
QString LicenceAgreement();
