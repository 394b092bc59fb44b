#pragma once
// The two label kinds Qt has no look for: the disabled corner label drawn embossed on an
// opaque face, and the transparent label with a one-pixel drop shadow. Both size
// themselves to their text.

#include <QString>
#include <QWidget>

class EmbossedLabel : public QWidget {
public:
    EmbossedLabel(QWidget* parent, QString text);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

class ShadowLabel : public QWidget {
public:
    explicit ShadowLabel(QWidget* parent);
    void SetText(QString text);
    const QString& Text() const { return text_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

// A lowered line along the bottom of its box: a shadow row above a highlight row.
class EtchedLine : public QWidget {
public:
    explicit EtchedLine(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
