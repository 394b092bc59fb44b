#include "app/JpegPicture.h"

#include <turbojpeg.h>

#include <QFile>
#include <memory>

#include "app/UiText.h"
#include "platform/CodePage.h"
#include "platform/SetupError.h"

using namespace cp936::literals;

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, HandleCloser>;

[[noreturn]] void Refuse(const QString& name) {
    throw SetupError(FormatMessage("无法解码图片 %s"_gbk, Gbk(name)));  // cannot decode picture
}

}  // namespace

QImage DecodeJpeg(const QByteArray& jpeg, const QString& name) {
    TurboHandle handle(tjInitDecompress());
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (!handle || tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling,
                                       &colourspace) != 0)
        Refuse(name);
    // R, G, B, X in memory whatever the byte order of the machine.
    QImage image(width, height, QImage::Format_RGBX8888);
    if (image.isNull() ||
        tjDecompress2(handle.get(), data, size, image.bits(), width,
                      static_cast<int>(image.bytesPerLine()), height, TJPF_RGBX, 0) != 0)
        Refuse(name);
    return image;
}

QImage LoadArtwork(const QString& fileName) {
    QFile file(QStringLiteral(":/artwork/") + fileName);
    if (!file.open(QIODevice::ReadOnly)) Refuse(fileName);
    return DecodeJpeg(file.readAll(), fileName);
}
