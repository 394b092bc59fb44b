#include "app/LabelledEdit.h"

#include "app/UiText.h"
#include "platform/SetupError.h"

bool GbkByteLimit::Fits(const QString& text) const {
    try {
        return Gbk(text).size() <= static_cast<std::size_t>(limit_);
    } catch (const SetupError&) {
        return false;  // not writable in code page 936
    }
}

QValidator::State GbkByteLimit::validate(QString& input, int& position) const {
    // The inserted characters end at the cursor: drop them from there backwards until the
    // text fits. A typed character that does not fit is so refused whole.
    while (!Fits(input) && position > 0) {
        int from = position - 1;
        if (from > 0 && input[from].isLowSurrogate() && input[from - 1].isHighSurrogate()) --from;
        input.remove(from, position - from);
        position = from;
    }
    return Fits(input) ? Acceptable : Invalid;
}

LabelledEdit::LabelledEdit(QWidget* parent, const QString& caption, int byteLimit)
    : QLineEdit(parent), label_(new QLabel(caption, parent)) {
    setValidator(new GbkByteLimit(byteLimit, this));
    label_->adjustSize();
}

void LabelledEdit::Place(const QRect& box) {
    setGeometry(box);
    const QSize size = label_->size();
    label_->move(box.left() - 3 - size.width(), box.top() + (box.height() - size.height()) / 2);
}

std::string LabelledEdit::Text() const { return Gbk(text()); }
