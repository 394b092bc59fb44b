// Draws the setup wizard's pictures with QPainter and writes them as JPEG files of the exact
// sizes the window expects, plus the program icon as PNG.
//
//   make-artwork OUTPUT_FOLDER

#include <turbojpeg.h>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cstdio>

namespace {

const QString kFace = QStringLiteral("AR PL UMing CN");
const QString kSystemName = QStringLiteral("Korvane通用机器设备管理系统");
const QColor kDeepBlue(16, 42, 92);
const QColor kSteelBlue(40, 96, 160);
const QColor kLightBlue(120, 176, 226);

QFont Face(int pixelSize, bool bold = false) {
    QFont font(kFace);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A gear outline: teeth around a ring, the way the system's machines are drawn everywhere.
QPainterPath Gear(QPointF centre, qreal radius, int teeth) {
    QPainterPath path;
    const qreal inner = radius * 0.82;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a0 = M_PI * i / teeth;
        const qreal a1 = M_PI * (i + 1) / teeth;
        const qreal r = (i % 2 == 0) ? radius : inner;
        const QPointF p0 = centre + QPointF(r * qCos(a0), r * qSin(a0));
        const QPointF p1 = centre + QPointF(r * qCos(a1), r * qSin(a1));
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(centre, radius * 0.35, radius * 0.35);
    return path;
}

// The decorative background shared by every picture: a blue gradient, a faint grid and gears.
void PaintBackground(QPainter& p, QSize size) {
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, kDeepBlue);
    sky.setColorAt(0.6, kSteelBlue);
    sky.setColorAt(1, kDeepBlue.darker(120));
    p.fillRect(QRect(QPoint(0, 0), size), sky);

    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    for (int x = 0; x < size.width(); x += 12) p.drawLine(x, 0, x, size.height());
    for (int y = 0; y < size.height(); y += 12) p.drawLine(0, y, size.width(), y);

    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 60), 2));
    p.setBrush(QColor(255, 255, 255, 22));
    p.drawPath(Gear(QPointF(size.width() - 70, size.height() - 60), 70, 14));
    p.drawPath(Gear(QPointF(size.width() - 160, size.height() - 10), 42, 10));
    p.setPen(QPen(QColor(255, 255, 255, 35), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Gear(QPointF(30, 20), 52, 12));

    QRadialGradient glow(QPointF(size.width() * 0.3, size.height() * 0.35), size.width() * 0.5);
    glow.setColorAt(0, QColor(255, 255, 255, 40));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(QPoint(0, 0), size), glow);
}

void DrawShadowedText(QPainter& p, QRect box, int flags, const QString& text, QColor colour) {
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(box.translated(2, 2), flags, text);
    p.setPen(colour);
    p.drawText(box, flags, text);
}

QImage NewPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    PaintBackground(p, image.size());
    return image;
}

QImage Splash() {
    QImage image = NewPicture(492, 288);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(Face(30, true));
    DrawShadowedText(p, QRect(0, 78, 492, 44), Qt::AlignCenter, kSystemName, Qt::white);
    p.setPen(QPen(kLightBlue, 2));
    p.drawLine(96, 132, 396, 132);
    p.setFont(Face(20));
    DrawShadowedText(p, QRect(0, 142, 492, 30), Qt::AlignCenter, QStringLiteral("单机版 V3.50"),
                     QColor(255, 230, 150));
    p.setFont(Face(13));
    DrawShadowedText(p, QRect(0, 236, 492, 20), Qt::AlignCenter,
                     QStringLiteral("安装向导 · 点击图片开始安装"), QColor(220, 232, 248));
    return image;
}

QImage Header() {
    QImage image(492, 51, QImage::Format_RGB32);
    QPainter p(&image);
    PaintBackground(p, QSize(492, 240));
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(Face(18, true));
    DrawShadowedText(p, QRect(14, 0, 400, 51), Qt::AlignVCenter | Qt::AlignLeft, kSystemName,
                     Qt::white);
    p.setFont(Face(13));
    DrawShadowedText(p, QRect(0, 0, 478, 51), Qt::AlignVCenter | Qt::AlignRight,
                     QStringLiteral("安装向导"), QColor(255, 230, 150));
    return image;
}

QImage InstallBackground() { return NewPicture(492, 240); }

QImage Finish() {
    QImage image = NewPicture(492, 240);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(Face(28, true));
    DrawShadowedText(p, QRect(0, 58, 492, 40), Qt::AlignCenter, QStringLiteral("安装已经完成"),
                     Qt::white);
    p.setFont(Face(14));
    DrawShadowedText(p, QRect(0, 112, 492, 22), Qt::AlignCenter,
                     QStringLiteral("感谢您选择") + kSystemName + QStringLiteral("！"),
                     QColor(255, 230, 150));
    DrawShadowedText(p, QRect(0, 136, 492, 22), Qt::AlignCenter,
                     QStringLiteral("请点击“关闭”按钮退出安装向导。"), QColor(220, 232, 248));
    return image;
}

QImage Icon() {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kDeepBlue, 2));
    p.setBrush(kSteelBlue);
    QPainterPath gear = Gear(QPointF(32, 32), 30, 12);
    gear.setFillRule(Qt::OddEvenFill);
    p.drawPath(gear);
    p.setBrush(kDeepBlue);
    p.drawEllipse(QPointF(32, 32), 15, 15);
    p.setFont(Face(22, true));
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, QStringLiteral("K"));
    return image;
}

bool WriteJpeg(const QImage& picture, const QString& path) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, image.constBits(), image.width(),
                                   static_cast<int>(image.bytesPerLine()), image.height(),
                                   TJPF_BGRX, &jpeg, &size, TJSAMP_444, 92, 0);
    bool written = false;
    if (result == 0) {
        QFile file(path);
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(reinterpret_cast<const char*>(jpeg), static_cast<qint64>(size)) ==
                      static_cast<qint64>(size);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const bool ok = WriteJpeg(Splash(), out.filePath("splash.jpg")) &&
                    WriteJpeg(Header(), out.filePath("header.jpg")) &&
                    WriteJpeg(InstallBackground(), out.filePath("install.jpg")) &&
                    WriteJpeg(Finish(), out.filePath("finish.jpg")) &&
                    Icon().save(out.filePath("icon.png"), "PNG");
    if (!ok) std::fprintf(stderr, "make-artwork: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
