// Times the export of a generated note of about 1 MB (headings, formatted
// prose, lists, code, quotes, tables and attachments, half of them pictures)
// to every format, beside the file and as a ZIP bundle, and prints median and
// 95th percentile in milliseconds with the size written.

#include "benchnotes.h"
#include "benchsupport.h"
#include "features/export.h"
#include "storage/note.h"

#include <QGuiApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <optional>

namespace {

constexpr qsizetype NoteBytes = 1024 * 1024;
constexpr int Runs = 5;

// A photo-like picture: gradients and shapes compress like a screenshot,
// not like noise.
QImage picture(int seed)
{
    QImage image(1200, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1200, 800);
    gradient.setColorAt(0, QColor::fromHsv((seed * 47) % 360, 120, 230));
    gradient.setColorAt(1, QColor::fromHsv((seed * 47 + 120) % 360, 160, 120));
    painter.fillRect(image.rect(), gradient);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(QColor::fromHsv((seed * 13 + i * 29) % 360, 180, 200, 160));
        painter.drawEllipse(QPoint((i * 97 + seed * 31) % 1200, (i * 61 + seed * 17) % 800), 40 + i, 30 + i);
    }
    return image;
}

qint64 writtenBytes(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    QGuiApplication app(argc, argv);

    QTemporaryDir store;
    // The generated note names its attachments by section number.
    const ExportAttachmentResolver resolver = [&store](const QString &id) -> std::optional<ExportAttachment> {
        const int number = id.toInt();
        const bool isPicture = number % 8 == 0;
        const QString path = store.filePath(isPicture ? QStringLiteral("p%1").arg(number % 40)
                                                      : QStringLiteral("f%1").arg(number % 40));
        if (!QFileInfo::exists(path)) {
            if (isPicture) {
                picture(number).save(path, "PNG");
            } else {
                QFile file(path);
                if (file.open(QIODevice::WriteOnly))
                    file.write(QByteArray(64 * 1024, 'x'));
            }
        }
        return ExportAttachment { isPicture ? QStringLiteral("photo %1.png").arg(number)
                                            : QStringLiteral("minutes %1.pdf").arg(number),
                                  isPicture ? QStringLiteral("image/png") : QStringLiteral("application/pdf"), path };
    };

    Note note;
    note.id = QStringLiteral("5b0c8a2e-0000-4000-8000-000000000001");
    note.body = generateBenchNote(NoteBytes);
    int attachments = 0;
    for (qsizetype at = note.body.indexOf(QLatin1String("lumora-notes://attachment/")); at >= 0;
         at = note.body.indexOf(QLatin1String("lumora-notes://attachment/"), at + 1))
        ++attachments;
    Bench::out() << QStringLiteral("Export of a %1 KB note with %2 attachments (1 in 2 a 1200x800 PNG)")
                        .arg(note.body.toUtf8().size() / 1024)
                        .arg(attachments)
                 << Qt::endl;

    const QList<std::pair<ExportFormat, QString>> formats {
        { ExportFormat::Markdown, QStringLiteral("Markdown") },
        { ExportFormat::Html, QStringLiteral("HTML") },
        { ExportFormat::PlainText, QStringLiteral("plain text") },
        { ExportFormat::Pdf, QStringLiteral("PDF") },
    };
    for (bool bundle : { false, true }) {
        for (const auto &[format, name] : formats) {
            QList<double> samples;
            qint64 bytes = 0;
            for (int run = 0; run < Runs; ++run) {
                QTemporaryDir target;
                const QString path = target.filePath(QStringLiteral("Bench note") + exportExtension(format));
                QElapsedTimer timer;
                timer.start();
                const ExportResult result = exportNote(note, path, format, bundle, resolver);
                samples.append(double(timer.nsecsElapsed()) / 1e6);
                if (!result.success) {
                    Bench::out() << "export failed: " << result.error << Qt::endl;
                    return 1;
                }
                bytes = writtenBytes(target.path());
            }
            Bench::printFigures(QStringLiteral("%1%2").arg(name, bundle ? QStringLiteral(" (ZIP bundle)") : QString()),
                                samples, QStringLiteral("%1 KB written").arg(bytes / 1024));
        }
    }
    QList<double> copies;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QString html = renderNote(note.body, ExportFormat::Html);
        copies.append(double(timer.nsecsElapsed()) / 1e6);
        Q_UNUSED(html);
    }
    Bench::printFigures(QStringLiteral("renderNote HTML (copy as HTML)"), copies);
    return 0;
}
