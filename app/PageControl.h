#pragma once
// Containers of the window: a plain panel without bevel, and the page container whose page
// the wizard chooses by code. Its page selectors sit along its top edge, under the header
// panel, and are never clicked: pages change only by program code.

#include <QList>
#include <QString>
#include <QWidget>

// A panel whose fill child, when it has one, always covers it whole.
class PlainPanel : public QWidget {
public:
    explicit PlainPanel(QWidget* parent) : QWidget(parent) {}
    void SetFillChild(QWidget* child);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* fillChild_ = nullptr;
};

class PageControl : public QWidget {
public:
    explicit PageControl(QWidget* parent) : QWidget(parent) {}

    // A new page, inset 4 pixels from the left, right and bottom edges and starting below
    // the band of the page selectors.
    QWidget* AddPage(const QString& caption);
    void ShowPage(QWidget* page);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect PageRect() const;

    QList<QWidget*> pages_;
    QList<QString> captions_;
    QWidget* active_ = nullptr;
};
