#pragma once
// A picture drawn stretched to the control (the splash, the header strip, the installation
// and finish pictures). A left click released over it is a click.

#include <QImage>
#include <QWidget>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent);
    void SetPicture(QImage picture);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};
