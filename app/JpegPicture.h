#pragma once
// The window's pictures are JPEG files compiled into the program; libjpeg-turbo decodes
// them (the system's own dependency), not Qt's image plugin.

#include <QByteArray>
#include <QImage>
#include <QString>

// Raises SetupError naming the picture when the data is not a JPEG.
QImage DecodeJpeg(const QByteArray& jpeg, const QString& name);

// One of the compiled-in pictures by file name, e.g. "splash.jpg".
QImage LoadArtwork(const QString& fileName);
