#pragma once
// A single-line box with its caption label to its left, whose length limit counts bytes of
// the code page 936 text: a Chinese character takes two.

#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <string>

// Drops every character code page 936 cannot write, and refuses what would make the text
// longer than the limit in code page 936 bytes. Of an insertion that does not fit, the
// characters that fit are kept and the rest dropped whole, so a character is never cut in half.
class GbkByteLimit : public QValidator {
public:
    GbkByteLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int& position) const override;

private:
    bool Fits(const QString& text) const;

    int limit_;
};

class LabelledEdit : public QLineEdit {
public:
    // The caption label is created beside the box, in the same parent.
    LabelledEdit(QWidget* parent, const QString& caption, int byteLimit);

    // Places the box and its label: the label's right edge 3 pixels left of the box,
    // vertically centred on it.
    void Place(const QRect& box);
    std::string Text() const;
    QLabel* EditLabel() const { return label_; }

private:
    QLabel* label_;
};
