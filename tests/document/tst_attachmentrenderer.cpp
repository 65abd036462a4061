#include "document/attachmentrenderer.h"
#include "document/textformats.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "testimages.h"
#include "testmain.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUuid>

#include <memory>

namespace {

using LumoraTest::pngOf;

QPalette paletteOf(bool dark)
{
    QPalette palette;
    const QColor window = dark ? QColor(0x1E, 0x1E, 0x1E) : QColor(0xFA, 0xFA, 0xFA);
    const QColor text = dark ? QColor(0xE6, 0xE6, 0xE6) : QColor(0x1A, 0x1A, 0x1A);
    for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base })
        palette.setColor(role, window);
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text })
        palette.setColor(role, text);
    return palette;
}

QTextCharFormat attachmentFormat(const QString &id)
{
    QTextCharFormat format;
    format.setObjectType(AttachmentObject);
    format.setProperty(EmbedKeyProperty, QStringLiteral("lumora-notes-attachment"));
    format.setProperty(EmbedValueProperty, QString(attachmentUrlPrefix() + id));
    return format;
}

} // namespace

class TestAttachmentRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void size_data();
    void size();
    void cache_data();
    void cache();
    void drawing_data();
    void drawing();
    void dividerOnPaper();
    void pictureThatFailsToDecode();

private:
    QString addAttachment(const QString &filename, const QString &mimeType, const QByteArray *bytes);

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<AttachmentRepository> m_attachments;
    QPalette m_palette;
};

void TestAttachmentRenderer::init()
{
    m_palette = QGuiApplication::palette();
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()) && m_database->migrate());
    Note note;
    note.id = QStringLiteral("n");
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(NoteRepository(m_database.get()).insert(note));
    m_attachments = std::make_unique<AttachmentRepository>(m_database.get());
}

void TestAttachmentRenderer::cleanup()
{
    m_attachments.reset();
    m_database.reset();
    m_dir.reset();
    QGuiApplication::setPalette(m_palette);
}

// A row, and the bytes when given.
QString TestAttachmentRenderer::addAttachment(const QString &filename, const QString &mimeType, const QByteArray *bytes)
{
    Attachment a;
    a.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    a.noteId = QStringLiteral("n");
    a.filename = filename;
    a.mimeType = mimeType;
    a.sizeBytes = bytes ? bytes->size() : 0;
    a.createdAt = QDateTime::currentDateTimeUtc();
    if (!m_attachments->insert(a) || (bytes && !m_attachments->saveFile(a.id, *bytes)))
        return QString();
    return a.id;
}

void TestAttachmentRenderer::size_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QSize>("expected"); // width -1: the label's width plus 48

    const QString longName = QStringLiteral("Quarterly planning notes for the northern region, final revision.txt");
    QTest::newRow("2000x1000 picture") << QStringLiteral("png 2000x1000") << QStringLiteral("wide.png")
                                       << QSize(560, 284);
    QTest::newRow("small picture kept") << QStringLiteral("png 300x200") << QStringLiteral("small.png")
                                        << QSize(300, 204);
    QTest::newRow("row deleted") << QStringLiteral("no row") << QString() << QSize(200, 36);
    QTest::newRow("no repository") << QStringLiteral("no repository") << QString() << QSize(200, 36);
    QTest::newRow("short file name") << QStringLiteral("file") << QStringLiteral("a.pdf") << QSize(200, 36);
    QTest::newRow("long file name") << QStringLiteral("file") << longName << QSize(-1, 36);
    QTest::newRow("picture that does not decode") << QStringLiteral("broken picture") << longName << QSize(-1, 36);
    QTest::newRow("picture file missing") << QStringLiteral("missing picture") << longName << QSize(-1, 36);
}

void TestAttachmentRenderer::size()
{
    QFETCH(QString, kind);
    QFETCH(QString, filename);
    QFETCH(QSize, expected);

    QString id = QStringLiteral("never-stored");
    if (kind.startsWith(QLatin1String("png "))) {
        const QStringList dims = kind.mid(4).split(QLatin1Char('x'));
        const QByteArray png = pngOf(dims.at(0).toInt(), dims.at(1).toInt());
        id = addAttachment(filename, QStringLiteral("image/png"), &png);
    } else if (kind == QLatin1String("file")) {
        const QByteArray bytes("%PDF");
        id = addAttachment(filename, QStringLiteral("application/pdf"), &bytes);
    } else if (kind == QLatin1String("broken picture")) {
        const QByteArray bytes("not a picture at all");
        id = addAttachment(filename, QStringLiteral("image/jpeg"), &bytes);
    } else if (kind == QLatin1String("missing picture")) {
        id = addAttachment(filename, QStringLiteral("image/png"), nullptr);
    }
    QVERIFY(!id.isEmpty());

    AttachmentRenderer renderer(kind == QLatin1String("no repository") ? nullptr : m_attachments.get());
    QTextDocument document;
    const QSizeF measured = renderer.intrinsicSize(&document, 0, attachmentFormat(id));
    if (expected.width() < 0) {
        const qreal label = QFontMetricsF(QGuiApplication::font()).horizontalAdvance(filename);
        QVERIFY(measured.width() > 200);
        QCOMPARE(measured.width(), label + 48);
        QCOMPARE(measured.height(), qreal(expected.height()));
    } else {
        QCOMPARE(measured, QSizeF(expected));
    }
}

void TestAttachmentRenderer::cache_data()
{
    QTest::addColumn<bool>("fullClear");
    QTest::newRow("cache cleared") << true;
    QTest::newRow("cache refreshed") << false;
}

void TestAttachmentRenderer::cache()
{
    QFETCH(bool, fullClear);

    // The row came first (by sync, say) and the bytes later.
    const QString late = addAttachment(QStringLiteral("late.png"), QStringLiteral("image/png"), nullptr);
    const QByteArray png = pngOf(100, 50);
    const QString shown = addAttachment(QStringLiteral("shown.png"), QStringLiteral("image/png"), &png);
    AttachmentRenderer renderer(m_attachments.get());
    QTextDocument document;
    const auto sizeOf = [&](const QString &id) { return renderer.intrinsicSize(&document, 0, attachmentFormat(id)); };
    QCOMPARE(sizeOf(late), QSizeF(200, 36));
    QCOMPARE(sizeOf(shown), QSizeF(100, 54));

    QVERIFY(m_attachments->saveFile(late, png));
    QVERIFY(QFile::remove(m_attachments->filePath(shown)));
    // Cached: neither change shows until the cache is told.
    QCOMPARE(sizeOf(late), QSizeF(200, 36));
    QCOMPARE(sizeOf(shown), QSizeF(100, 54));

    if (fullClear)
        renderer.clearCache();
    else
        QVERIFY(renderer.refreshCache()); // the missing picture was dropped
    QCOMPARE(sizeOf(late), QSizeF(100, 54));
    // A refresh keeps pictures already decoded; a clear looks again.
    QCOMPARE(sizeOf(shown), fullClear ? QSizeF(200, 36) : QSizeF(100, 54));
    if (!fullClear)
        QVERIFY(!renderer.refreshCache()); // nothing left to look up again

    // A deleted row is looked up again after either.
    QVERIFY(m_attachments->deleteById(late));
    if (fullClear)
        renderer.clearCache();
    else
        QVERIFY(renderer.refreshCache());
    QCOMPARE(sizeOf(late), QSizeF(200, 36));
}

void TestAttachmentRenderer::drawing_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("kind");

    QTest::newRow("divider, light") << false << QStringLiteral("divider");
    QTest::newRow("divider, dark") << true << QStringLiteral("divider");
    QTest::newRow("chip, light") << false << QStringLiteral("chip");
    QTest::newRow("chip, dark") << true << QStringLiteral("chip");
    QTest::newRow("picture, light") << false << QStringLiteral("picture");
}

void TestAttachmentRenderer::drawing()
{
    QFETCH(bool, dark);
    QFETCH(QString, kind);
    const bool divider = kind == QLatin1String("divider");

    QGuiApplication::setPalette(paletteOf(dark));
    QCOMPARE(isDarkPalette(), dark);
    const QByteArray bytes = kind == QLatin1String("picture") ? pngOf(300, 200) : QByteArray("%PDF");
    const QString id = kind == QLatin1String("picture")
        ? addAttachment(QStringLiteral("a.png"), QStringLiteral("image/png"), &bytes)
        : addAttachment(QStringLiteral("a.pdf"), QStringLiteral("application/pdf"), &bytes);

    QTextDocument document;
    document.setDocumentMargin(10);
    AttachmentRenderer renderer(m_attachments.get());
    renderer.install(&document);
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("above"));
    cursor.insertBlock();
    QTextCharFormat format = attachmentFormat(id);
    if (divider) {
        format = QTextCharFormat();
        format.setObjectType(DividerObject);
        format.setProperty(EmbedKeyProperty, QStringLiteral("divider"));
    }
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("below"));
    document.setTextWidth(400);

    const QColor background = paletteOf(dark).color(QPalette::Base);
    QImage image(400, int(document.size().height()), QImage::Format_RGB32);
    image.fill(background);
    {
        QPainter painter(&image);
        document.drawContents(&painter);
    }
    const QRectF box = document.documentLayout()->blockBoundingRect(document.findBlockByNumber(1));
    const int top = int(box.top()), bottom = int(box.bottom());
    if (divider) {
        // One rule across the text width, a shade towards the text colour.
        int ruleRow = -1;
        for (int y = top; y < bottom && ruleRow < 0; ++y) {
            if (image.pixelColor(200, y) != background)
                ruleRow = y;
        }
        QVERIFY(ruleRow >= 0);
        for (int x : { 12, 200, 385 }) {
            const QColor pixel = image.pixelColor(x, ruleRow);
            QVERIFY2(dark ? pixel.lightness() > background.lightness() + 20
                          : pixel.lightness() < background.lightness() - 20,
                qPrintable(QStringLiteral("x %1: %2").arg(x).arg(pixel.name())));
        }
        QCOMPARE(image.pixelColor(200, ruleRow + 3), background);
    } else if (kind == QLatin1String("picture")) {
        QCOMPARE(box.height(), 204.0);
        for (const QPoint &at : { QPoint(10, top), QPoint(10 + 299, top + 199), QPoint(160, top + 100) })
            QCOMPARE(image.pixelColor(at), QColor(200, 40, 40));
        QCOMPARE(image.pixelColor(10 + 301, top + 100), background);
    } else {
        // Inside the chip, clear of its label: the fill of the palette.
        const QColor fill = dark ? QColor(0x2A, 0x2D, 0x31) : QColor(0xEC, 0xEE, 0xF1);
        QCOMPARE(image.pixelColor(10 + 195, top + 4), fill);
        QCOMPARE(image.pixelColor(10 + 205, top + 4), background); // 200 wide
    }
}

void TestAttachmentRenderer::dividerOnPaper()
{
    // Printing draws the document scaled onto a 1200 dpi page: the rule must
    // stay as thick as on a 96 dpi screen, about 1/96 inch.
    QTextDocument document;
    AttachmentRenderer renderer(m_attachments.get());
    renderer.install(&document);
    QTextCharFormat format;
    format.setObjectType(DividerObject);
    format.setProperty(EmbedKeyProperty, QStringLiteral("divider"));
    QTextCursor(&document).insertText(QString(QChar::ObjectReplacementCharacter), format);
    document.setTextWidth(400);

    // QTextDocument::print lays out in the printer's own pixels (no scale);
    // a scaled painter must not thicken the rule either.
    for (const qreal scale : { 1.0, 1200.0 / 96.0 }) {
        QImage page(int(400 * scale), int(document.size().height() * scale), QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(1200 / 0.0254));
        page.setDotsPerMeterY(qRound(1200 / 0.0254));
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            painter.scale(scale, scale);
            document.drawContents(&painter);
        }
        int inked = 0;
        for (int y = 0; y < page.height(); ++y)
            inked += page.pixelColor(page.width() / 2, y) != QColor(Qt::white);
        QVERIFY2(inked >= 10 && inked <= 16, qPrintable(QStringLiteral("scale %1: %2 rows").arg(scale).arg(inked)));
    }
}

void TestAttachmentRenderer::pictureThatFailsToDecode()
{
    // Its header gives a size; the pixels are cut off. Measured as a
    // picture, it turns into a chip when painting finds out.
    const QByteArray whole = pngOf(300, 200);
    const QByteArray cut = whole.left(whole.size() - 30);
    const QString id = addAttachment(QStringLiteral("cut.png"), QStringLiteral("image/png"), &cut);
    QTextDocument document;
    AttachmentRenderer renderer(m_attachments.get());
    renderer.install(&document);
    QTextCursor(&document).insertText(QString(QChar::ObjectReplacementCharacter), attachmentFormat(id));
    document.setTextWidth(600);
    const auto height
        = [&document] { return document.documentLayout()->blockBoundingRect(document.firstBlock()).height(); };
    QVERIFY(height() >= 204);

    QImage image(600, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        document.drawContents(&painter);
    }
    QTRY_VERIFY(height() < 60);
    QCOMPARE(renderer.intrinsicSize(&document, 0, attachmentFormat(id)), QSizeF(200, 36));
}

LUMORA_TEST_MAIN(TestAttachmentRenderer)
#include "tst_attachmentrenderer.moc"
