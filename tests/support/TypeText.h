#pragma once
// Types text key by key into a widget; each character, Chinese or not, is one key event
// carrying its text, as an input method delivers it.

#include <QString>
#include <QtTest>

namespace testing_support {

inline void TypeText(QWidget* box, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, text.mid(i, length),
                            Qt::NoModifier);
        i += length - 1;
    }
}

}  // namespace testing_support
