#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>

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

// How many pixels of the image are not fully transparent, and the colour of
// the most opaque one.
inline int inkedPixels(const QImage &image, QColor *strongest = nullptr)
{
    int count = 0;
    int alpha = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            ++count;
            if (strongest && pixel.alpha() > alpha) {
                alpha = pixel.alpha();
                *strongest = pixel;
            }
        }
    }
    return count;
}

// A glyph drawn for high-density screens: twice `size` pixels square, some
// ink, but a shape on a transparent square: at most `maxInked` of it inked.
inline bool isGlyph(const QPixmap &pixmap, int size, double maxInked, QString *why)
{
    const QImage image = pixmap.toImage();
    const int inked = inkedPixels(image);
    *why = QStringLiteral("ratio %1, %2x%3, %4 inked")
               .arg(pixmap.devicePixelRatio())
               .arg(pixmap.width())
               .arg(pixmap.height())
               .arg(inked);
    return pixmap.devicePixelRatio() == 2.0 && pixmap.size() == QSize(2 * size, 2 * size) && inked > size
        && inked < image.width() * image.height() * maxInked && image.pixelColor(0, 0).alpha() == 0;
}

} // namespace LumoraTest
