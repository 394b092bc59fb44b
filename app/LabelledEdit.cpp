#include "app/LabelledEdit.h"

#include <algorithm>

#include "app/UiText.h"
#include "platform/SetupError.h"

namespace {

bool Writable(const QString& character) {
    try {
        Gbk(character);
        return true;
    } catch (const SetupError&) {
        return false;
    }
}

// Removes every character code page 936 cannot write, wherever it stands, keeping position
// on the same character.
void DropUnwritable(QString& input, int& position) {
    for (int at = 0; at < input.size();) {
        const int length =
            input[at].isHighSurrogate() && at + 1 < input.size() && input[at + 1].isLowSurrogate()
                ? 2
                : 1;
        if (Writable(input.mid(at, length))) {
            at += length;
            continue;
        }
        input.remove(at, length);
        if (position > at) position -= std::min(length, position - at);
    }
}

}  // namespace

bool GbkByteLimit::Fits(const QString& text) const {
    return Gbk(text).size() <= static_cast<std::size_t>(limit_);
}

QValidator::State GbkByteLimit::validate(QString& input, int& position) const {
    // A paste keeps every character it can: only those code page 936 lacks are dropped.
    DropUnwritable(input, position);
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
