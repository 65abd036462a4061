// Attachments in the real editor, on a throw-away data directory:
//  - a note with 20 photos of 4000 x 3000 (JPEG): the first paint after
//    opening it, the whole note laid out, the first scroll through it (which
//    decodes the pictures out of view), with the pictures cached a second
//    scroll and a relayout at a new width, and opening it again;
//  - what decoding one photo costs, straight at the shown size and whole;
//  - inserting a 200 MB file: time, peak memory growth and the longest gap
//    between two turns of the event loop (the GUI stall).
// Prints figures; asserts nothing.

#include "benchsupport.h"
#include "document/attachmentrenderer.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "ui/noteeditor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUuid>

using Bench::out;

namespace {

constexpr int kPhotos = 20;

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Something photo-like: smooth shading with fine noise, so the JPEG is of a
// realistic size and decodes at a realistic cost.
QByteArray photoJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            line[x] = qRgb((x * 255 / width + noise) & 0xff, (y * 255 / height + noise) & 0xff,
                           ((x + y) * 127 / (width + height) + 64 + noise) & 0xff);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

// Starts the peak memory figure afresh (Linux).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void settle(NoteEditor &editor)
{
    QApplication::processEvents();
    editor.viewport()->repaint();
}

void layOutAll(NoteEditor &editor)
{
    QTextDocument *document = editor.document();
    document->documentLayout()->blockBoundingRect(document->lastBlock());
}

// The longest time between two turns of the event loop while it runs.
class StallWatch : public QObject
{
public:
    StallWatch()
    {
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = std::max(m_longest, msSince(m_sinceTick));
            m_sinceTick.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_sinceTick.start();
        m_timer.start();
    }
    // Counts the last stretch too: the work may end without a turn of the loop.
    double stop()
    {
        m_longest = std::max(m_longest, msSince(m_sinceTick));
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_longest = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
    QApplication app(argc, argv);

    Database database;
    if (!database.open(databasePath()) || !database.migrate()) {
        std::fprintf(stderr, "cannot open the database\n");
        return 1;
    }
    NoteRepository notes(&database);
    AttachmentRepository attachments(&database);

    out() << "Generating " << kPhotos << " photos of 4000 x 3000..." << Qt::endl;
    const QByteArray photo = photoJpeg(4000, 3000);
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QString body = QStringLiteral("[{\"insert\":\"Trip photos\\n\",\"attributes\":{\"header\":1}}");
    QStringList ids;
    for (int i = 0; i < kPhotos; ++i) {
        Attachment a;
        a.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        a.noteId = note.id;
        a.filename = QStringLiteral("IMG_%1.jpg").arg(4000 + i);
        a.mimeType = QStringLiteral("image/jpeg");
        a.sizeBytes = photo.size();
        a.createdAt = QDateTime::currentDateTimeUtc();
        ids << a.id;
        body += QStringLiteral(",{\"insert\":\"Day %1: a line about the picture below.\\n\"},"
                               "{\"insert\":{\"lumora-notes-attachment\":\"lumora-notes://attachment/%2\"}},"
                               "{\"insert\":\"\\n\"}")
                    .arg(i + 1)
                    .arg(a.id);
        note.body = body;
        if (i == 0 && !notes.insert(note))
            return 1;
        if (!attachments.insert(a) || !attachments.saveFile(a.id, photo))
            return 1;
    }
    body += QLatin1Char(']');
    note.body = body;
    notes.update(note);
    out() << QStringLiteral("  one photo: %1 MB JPEG").arg(double(photo.size()) / 1048576.0, 0, 'f', 2) << Qt::endl;

    // Decoding one photo, the way the renderer does and the plain way.
    {
        QList<double> scaled, whole;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            QImageReader reader(attachments.filePath(ids.first()));
            reader.setScaledSize(QSize(560, 420));
            const QImage small = reader.read();
            scaled << msSince(timer);
            timer.restart();
            QImage full = QImageReader(attachments.filePath(ids.first())).read();
            full = full.scaledToWidth(560, Qt::SmoothTransformation);
            whole << msSince(timer);
            if (small.isNull() || full.isNull())
                return 1;
        }
        out() << "Decoding one 4000 x 3000 JPEG to 560 px wide:" << Qt::endl;
        Bench::printFigures(QStringLiteral("decoded at the shown size"), scaled);
        Bench::printFigures(QStringLiteral("decoded whole, then scaled"), whole);
    }

    NoteEditor editor;
    editor.resize(900, 700);
    editor.setAttachmentRepository(&attachments);
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor))
        return 1;

    out() << "A note with " << kPhotos << " photos in the editor (900 x 700):" << Qt::endl;
    QList<double> firstPaint, fullLayout, firstScroll, scroll, relayout, reopen;
    const auto scrollThrough = [&editor] {
        QScrollBar *bar = editor.verticalScrollBar();
        for (int y = 0; y <= bar->maximum(); y += editor.viewport()->height()) {
            bar->setValue(y);
            editor.viewport()->repaint();
        }
        bar->setValue(0);
    };
    for (int run = 0; run < 5; ++run) {
        editor.clearNote();
        settle(editor);
        QElapsedTimer timer;
        timer.start();
        editor.loadNote(note.id, note.body, true);
        settle(editor);
        firstPaint << msSince(timer);
        layOutAll(editor);
        fullLayout << msSince(timer);

        // Pictures are decoded as they come into view.
        timer.restart();
        scrollThrough();
        firstScroll << msSince(timer);

        // All cached now.
        timer.restart();
        scrollThrough();
        scroll << msSince(timer);
        timer.restart();
        editor.resize(run % 2 ? 900 : 880, 700);
        settle(editor);
        layOutAll(editor);
        relayout << msSince(timer);

        // Opened again: the cache is dropped on every load; the files are in
        // the system's cache by now.
        timer.restart();
        editor.loadNote(note.id, note.body, true);
        settle(editor);
        reopen << msSince(timer);
    }
    Bench::printFigures(QStringLiteral("open: first paint"), firstPaint);
    Bench::printFigures(QStringLiteral("open: whole note laid out"), fullLayout);
    Bench::printFigures(QStringLiteral("first scroll through, paint every page"), firstScroll,
                        QStringLiteral("%1 px").arg(editor.verticalScrollBar()->maximum()));
    Bench::printFigures(QStringLiteral("cached: scroll through again"), scroll);
    Bench::printFigures(QStringLiteral("cached: relayout at a new width"), relayout);
    Bench::printFigures(QStringLiteral("open again: first paint"), reopen);

    // A 200 MB file of incompressible bytes, attached at the end of the note.
    const qint64 bigSize = qint64(200) * 1024 * 1024;
    QTemporaryDir sourceDir;
    const QString bigPath = sourceDir.filePath(QStringLiteral("disk-image.iso"));
    {
        QFile big(bigPath);
        if (!big.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(11);
        for (qint64 written = 0; written < bigSize; written += block.size()) {
            random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            big.write(block);
        }
    }
    out() << "Inserting a 200 MB file:" << Qt::endl;
    {
        // The store alone: the longest chunk, and the finish (flush to disk
        // and rename) after the last one.
        double longestChunk = 0;
        QElapsedTimer sinceChunk, total;
        sinceChunk.start();
        total.start();
        attachments.saveFileFrom(QStringLiteral("probe"), bigPath, [&](qint64, qint64) {
            longestChunk = std::max(longestChunk, msSince(sinceChunk));
            sinceChunk.restart();
            return true;
        });
        out() << QStringLiteral("  store only: %1 ms   longest 4 MB chunk %2 ms   finishing %3 ms")
                     .arg(msSince(total), 0, 'f', 1)
                     .arg(longestChunk, 0, 'f', 1)
                     .arg(msSince(sinceChunk), 0, 'f', 1)
              << Qt::endl;
        attachments.removeFiles({QStringLiteral("probe")});
    }
    editor.moveCursor(QTextCursor::End);
    StallWatch watch;
    QApplication::processEvents();
    const double residentBefore = Bench::residentMegabytes();
    resetPeak();
    watch.start();
    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool inserted = editor.insertAttachmentFromPath(bigPath, &error);
    const double elapsed = msSince(timer);
    const double stall = watch.stop();
    const double peak = Bench::statusMegabytes(QByteArrayLiteral("VmHWM:")); // peak since the reset
    out() << QStringLiteral("  %1 %2 ms   longest GUI stall %3 ms   peak memory growth %4 MB")
                 .arg(inserted ? QStringLiteral("inserted in") : QStringLiteral("FAILED (%1) after").arg(error))
                 .arg(elapsed, 0, 'f', 1)
                 .arg(stall, 0, 'f', 1)
                 .arg(peak - residentBefore, 0, 'f', 1)
          << Qt::endl;
    return inserted ? 0 : 1;
}
