#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

namespace LumoraTest {

// A PNG of one colour, as a file's bytes.
inline QByteArray pngOf(int width, int height, const QColor &colour = QColor(200, 40, 40))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace LumoraTest
