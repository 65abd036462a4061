// Shows the note editor with a note holding two pictures, a divider and a
// PDF, on a throw-away data directory, to look at attachments in the light
// or dark palette; or the picture lightbox, zoomed in.
//   attachmentpreview [--dark] [--lightbox] [--shot file.png]
// With --shot the window is saved to the file and the program ends.

#include "app/thememanager.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "ui/imagelightbox.h"
#include "ui/noteeditor.h"

#include <QApplication>
#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

namespace {

QImage landscape()
{
    QImage image(1600, 1000, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 700);
    sky.setColorAt(0, QColor(0x2B, 0x5F, 0xA8));
    sky.setColorAt(1, QColor(0xF2, 0xB8, 0x7A));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xE2, 0x9A));
    p.drawEllipse(QPointF(1150, 520), 110, 110);
    const QColor hills[] = {QColor(0x4E, 0x6B, 0x4A), QColor(0x35, 0x4F, 0x36), QColor(0x22, 0x36, 0x26)};
    for (int i = 0; i < 3; ++i) {
        QPainterPath path;
        path.moveTo(0, 1000);
        const int base = 620 + i * 110;
        path.lineTo(0, base);
        for (int x = 0; x <= 1600; x += 200)
            path.quadTo(x + 100, base - 90 + (i * 37 + x / 7) % 80, x + 200, base);
        path.lineTo(1600, 1000);
        p.setBrush(hills[i]);
        p.drawPath(path);
    }
    return image;
}

QImage chart()
{
    QImage image(900, 460, QImage::Format_RGB32);
    image.fill(QColor(0xFB, 0xFB, 0xFD));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int values[] = {42, 58, 51, 73, 88, 67, 95};
    for (int i = 0; i < 7; ++i) {
        const QRectF bar(70 + i * 115, 400 - values[i] * 3.6, 70, values[i] * 3.6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3D, 0x7E, 0xD8).lighter(100 + i * 6));
        p.drawRoundedRect(bar, 6, 6);
    }
    p.setPen(QPen(QColor(0x99, 0x9C, 0xA6), 2));
    p.drawLine(50, 400, 860, 400);
    QFont font = p.font();
    font.setPixelSize(28);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x33, 0x36, 0x3D));
    p.drawText(QRect(0, 14, 900, 40), Qt::AlignCenter, QStringLiteral("Weekly sign-ups"));
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString add(AttachmentRepository &repository, const QString &noteId, const QString &name, const QString &mime,
            const QByteArray &bytes)
{
    Attachment a;
    a.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    a.noteId = noteId;
    a.filename = name;
    a.mimeType = mime;
    a.sizeBytes = bytes.size();
    a.createdAt = QDateTime::currentDateTimeUtc();
    repository.insert(a);
    repository.saveFile(a.id, bytes);
    return a.id;
}

QString embed(const QString &id)
{
    return QStringLiteral("{\"insert\":{\"lumora-notes-attachment\":\"lumora-notes://attachment/%1\"}},"
                          "{\"insert\":\"\\n\"}")
        .arg(id);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--dark")))
        QApplication::setPalette(ThemeManager::darkPalette());
    else
        QApplication::setPalette(ThemeManager::lightPalette());
    const int shotAt = int(args.indexOf(QStringLiteral("--shot")));
    const QString shot = shotAt > 0 && shotAt + 1 < args.size() ? args.at(shotAt + 1) : QString();

    Database database;
    if (!database.open(databasePath()) || !database.migrate())
        return 1;
    NoteRepository notes(&database);
    AttachmentRepository attachments(&database);
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    notes.insert(note);
    const QImage photo = landscape();
    const QString photoId = add(attachments, note.id, QStringLiteral("Evening over the hills.jpg"),
                                QStringLiteral("image/jpeg"), encoded(photo, "JPEG"));
    const QString chartId =
        add(attachments, note.id, QStringLiteral("signups.png"), QStringLiteral("image/png"), encoded(chart(), "PNG"));
    const QString pdfId = add(attachments, note.id, QStringLiteral("Quarterly report 2024.pdf"),
                              QStringLiteral("application/pdf"), QByteArray(248 * 1024, '%'));
    note.body = QStringLiteral("[{\"insert\":\"Trip notes\"},{\"insert\":\"\\n\",\"attributes\":{\"header\":1}},"
                               "{\"insert\":\"The view from the ridge on the last evening:\\n\"},%1,"
                               "{\"insert\":\"Sign-ups went up all week, as the chart shows.\\n\"},%2,"
                               "{\"insert\":{\"divider\":true}},{\"insert\":\"\\n\"},"
                               "{\"insert\":\"The full report is attached:\\n\"},%3,"
                               "{\"insert\":\"Questions to Ana before Friday.\\n\"}]")
                    .arg(embed(photoId), embed(chartId), embed(pdfId));

    if (args.contains(QStringLiteral("--lightbox"))) {
        auto *lightbox = new ImageLightbox(photo, QStringLiteral("Evening over the hills.jpg"));
        lightbox->setAttribute(Qt::WA_DeleteOnClose);
        lightbox->show();
        lightbox->zoomIn();
        lightbox->zoomIn();
        if (!shot.isEmpty()) {
            QTimer::singleShot(300, lightbox, [lightbox, shot] {
                lightbox->grab().save(shot);
                QApplication::quit();
            });
        }
        return app.exec();
    }

    NoteEditor editor;
    editor.setWindowTitle(QStringLiteral("Attachments preview"));
    editor.resize(760, 1000);
    editor.setAttachmentRepository(&attachments);
    editor.loadNote(note.id, note.body);
    editor.show();
    if (!shot.isEmpty()) {
        QTimer::singleShot(300, &editor, [&editor, shot] {
            editor.grab().save(shot);
            QApplication::quit();
        });
    }
    return app.exec();
}
