#pragma once
// A horizontal 0..100 bar gauge: blue on white, single border, the percentage centred.

#include <QWidget>

class Gauge : public QWidget {
public:
    explicit Gauge(QWidget* parent);

    int Progress() const { return progress_; }
    // Clamps to 0..100; an unchanged value does nothing. A change is painted before the call
    // returns, so each step shows even while the window's thread is busy.
    void SetProgress(int progress);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int progress_ = 0;
};
