#include "app/Labels.h"

#include <QPainter>

namespace {

const QColor kShadowGrey(160, 160, 164);

QSize TextSize(const QWidget& widget, const QString& text) {
    const QFontMetrics metrics = widget.fontMetrics();
    return {metrics.horizontalAdvance(text), metrics.height()};
}

}  // namespace

EmbossedLabel::EmbossedLabel(QWidget* parent, QString text)
    : QWidget(parent), text_(std::move(text)) {
    // Opaque in the face colour: in front of the etched line it interrupts it behind the text.
    setAutoFillBackground(true);
    setEnabled(false);
}

QSize EmbossedLabel::sizeHint() const { return TextSize(*this, text_); }

void EmbossedLabel::paintEvent(QPaintEvent*) {
    // Disabled text the way the system draws it: highlight one pixel down and right, shadow on top.
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Active, QPalette::Light));
    painter.drawText(rect().translated(1, 1), Qt::AlignLeft | Qt::AlignTop, text_);
    painter.setPen(colours.color(QPalette::Active, QPalette::Dark));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, text_);
}

ShadowLabel::ShadowLabel(QWidget* parent) : QWidget(parent) { resize(0, 0); }

void ShadowLabel::SetText(QString text) {
    text_ = std::move(text);
    resize(sizeHint());
    update();
}

QSize ShadowLabel::sizeHint() const {
    if (text_.isEmpty()) return {0, 0};
    return TextSize(*this, text_) + QSize(1, 1);
}

void ShadowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect text(0, 0, width() - 1, height() - 1);
    painter.setPen(kShadowGrey);
    painter.drawText(text.translated(1, 1), Qt::AlignLeft | Qt::AlignTop, text_);
    painter.setPen(Qt::white);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, text_);
}

void EtchedLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Dark));
    painter.drawLine(0, height() - 2, width() - 1, height() - 2);
    painter.setPen(colours.color(QPalette::Light));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
}
