#include "app/PageControl.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace {

constexpr int kSelectorBand = 26;
constexpr int kInset = 4;
constexpr int kSelectorHeight = 22;

}  // namespace

void PlainPanel::SetFillChild(QWidget* child) {
    fillChild_ = child;
    child->setGeometry(rect());
}

void PlainPanel::resizeEvent(QResizeEvent*) {
    if (fillChild_) fillChild_->setGeometry(rect());
}

QWidget* PageControl::AddPage(const QString& caption) {
    auto* page = new QWidget(this);
    page->setGeometry(PageRect());
    page->setVisible(pages_.isEmpty());
    if (pages_.isEmpty()) active_ = page;
    pages_.append(page);
    captions_.append(caption);
    return page;
}

void PageControl::ShowPage(QWidget* page) {
    if (page == active_) return;
    // Show the new page before hiding the old one, so that the focus is not sent to some
    // other control of the window in between.
    page->setVisible(true);
    if (active_) active_->setVisible(false);
    active_ = page;
}

QRect PageControl::PageRect() const {
    return rect().adjusted(kInset, kSelectorBand, -kInset, -kInset);
}

void PageControl::resizeEvent(QResizeEvent*) {
    for (QWidget* page : pages_) page->setGeometry(PageRect());
}

void PageControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton selector;
    selector.initFrom(this);
    int x = kInset;
    for (qsizetype i = 0; i < pages_.size(); ++i) {
        const int width = fontMetrics().horizontalAdvance(captions_[i]) + 12;
        selector.rect = QRect(x, 2, width, kSelectorHeight);
        selector.text = captions_[i];
        selector.state = QStyle::State_Enabled |
                         (pages_[i] == active_ ? QStyle::State_Sunken : QStyle::State_Raised);
        style()->drawControl(QStyle::CE_PushButton, &selector, &painter, this);
        x += width + 3;
    }
}
