#include "app/Gauge.h"

#include <QPainter>
#include <algorithm>

Gauge::Gauge(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void Gauge::SetProgress(int progress) {
    progress = std::clamp(progress, 0, 100);
    if (progress == progress_) return;
    progress_ = progress;
    repaint();
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const QRect inside = rect().adjusted(1, 1, -1, -1);
    QRect bar = inside;
    bar.setWidth(inside.width() * progress_ / 100);
    painter.fillRect(bar, QColor(0, 0, 255));

    // The percentage reads black on white and white on the bar.
    const QString text = QString::number(progress_) + QLatin1Char('%');
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inside, Qt::AlignCenter, text);
    painter.setClipRect(inside.adjusted(bar.width(), 0, 0, 0));
    painter.setPen(Qt::black);
    painter.drawText(inside, Qt::AlignCenter, text);
}
