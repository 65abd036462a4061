#include "features/export.h"
#include "features/ziparchive.h"
#include "storage/note.h"

#include "testarchives.h"
#include "testimages.h"
#include "testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

Q_DECLARE_METATYPE(ExportFormat)

using LumoraTest::fileBytes;
using LumoraTest::writeBytes;

namespace {

QJsonObject insertOp(const QJsonValue &insert, const QJsonObject &attributes = {})
{
    QJsonObject op { { QStringLiteral("insert"), insert } };
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

QString compact(const QJsonArray &ops)
{
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

Note noteWithBody(const QString &body, const QString &id = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"))
{
    Note note;
    note.id = id;
    note.body = body;
    return note;
}

QString titleBody(const QString &title)
{
    return compact({ insertOp(QString(title + QStringLiteral("\nmore text\n"))) });
}

// A heading, a bullet list, a link and a table.
QString shoppingBody()
{
    const QJsonObject table { { QStringLiteral("cells"),
                                QJsonArray { QJsonArray { QStringLiteral("Item"), QStringLiteral("Qty") },
                                             QJsonArray { QStringLiteral("Milk"), QStringLiteral("2") } } },
                              { QStringLiteral("hasHeader"), true } };
    return compact({
        insertOp(QStringLiteral("Shopping")),
        insertOp(QStringLiteral("\n"), { { QStringLiteral("header"), 1 } }),
        insertOp(QStringLiteral("Bread")),
        insertOp(QStringLiteral("\n"), { { QStringLiteral("list"), QStringLiteral("bullet") } }),
        insertOp(QStringLiteral("Cheese")),
        insertOp(QStringLiteral("\n"), { { QStringLiteral("list"), QStringLiteral("bullet") } }),
        insertOp(QStringLiteral("Prices at ")),
        insertOp(QStringLiteral("the shop"), { { QStringLiteral("link"), QStringLiteral("https://shop.example/") } }),
        insertOp(QStringLiteral("\n")),
        insertOp(QJsonObject {
            { QStringLiteral("table"), QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact)) } }),
        insertOp(QStringLiteral("\n")),
    });
}

QJsonObject attachmentEmbed(const QString &id)
{
    return { { QStringLiteral("lumora-notes-attachment"), QString(QStringLiteral("lumora-notes://attachment/") + id) } };
}

// Text of a PDF through pdftotext; null when the tool is not installed.
QString pdfText(const QString &path)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        return QString();
    QProcess process;
    process.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), path, QStringLiteral("-") });
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("(pdftotext failed)");
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Entry name → bytes of every entry of a ZIP archive.
QMap<QString, QByteArray> zipEntries(const QString &path, QString *error)
{
    QMap<QString, QByteArray> entries;
    ZipReader reader;
    if (!reader.open(path, error))
        return entries;
    for (const ZipEntry &entry : reader.entries()) {
        if (!reader.read(entry.name, 1 << 24, &entries[entry.name], error))
            break;
    }
    return entries;
}

QStringList folderListing(const QString &path)
{
    QStringList names;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(path).relativeFilePath(it.next()));
    names.sort();
    return names;
}

// Relative links in an exported text (Markdown or HTML) that do not lead
// to a file next to it.
QStringList brokenRelativeLinks(const QString &text, const QString &notePath)
{
    static const QRegularExpression links(QStringLiteral("(?:\\]\\(|src=\"|href=\")([^)\"]+)"));
    const QUrl base = QUrl::fromLocalFile(notePath);
    QStringList broken;
    for (auto it = links.globalMatch(text); it.hasNext();) {
        const QString link = it.next().captured(1);
        const QUrl url(link);
        if (!url.isRelative())
            continue;
        if (!QFileInfo::exists(base.resolved(url).toLocalFile()))
            broken.append(link);
    }
    return broken;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void suggestedFileName_data();
    void suggestedFileName();
    void bundlePath_data();
    void bundlePath();
    void formats_data();
    void formats();
    void legacyPlainTextBody_data();
    void legacyPlainTextBody();
    void emptyBodyRendersNothing();
    void picturesTravelBesideTheFile_data();
    void picturesTravelBesideTheFile();
    void pdfHoldsPictures();
    void bundleHoldsNoteAndAllAttachments_data();
    void bundleHoldsNoteAndAllAttachments();
    void failedWriteLeavesNothing_data();
    void failedWriteLeavesNothing();
    void archiveEntryNames_data();
    void archiveEntryNames();
    void zipWriterLeavesNoFileUntilCommitted();

private:
    // Two pictures, both named "photo.png", a text file, and an id whose
    // file is gone; m_body names them in this order.
    QTemporaryDir m_store;
    QString m_body;
    ExportAttachmentResolver m_resolver;
    QByteArray m_red = LumoraTest::pngOf(40, 30, Qt::red);
    QByteArray m_blue = LumoraTest::pngOf(40, 30, Qt::blue);
    QByteArray m_report = QByteArrayLiteral("quarterly figures\n");
};

void TestExport::suggestedFileName_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every forbidden character")
        << titleBody(QStringLiteral("a<b>c:d\"e/f\\g|h?i*j")) << ExportFormat::Html << QStringLiteral("abcdefghij.html");
    QTest::newRow("empty first line names the note by its id")
        << compact({ insertOp(QStringLiteral("\nSecond line\n")) }) << ExportFormat::Pdf
        << QStringLiteral("note-0f1e2d3c.pdf");
    QTest::newRow("a cut ending in a space is trimmed")
        << titleBody(QString(49, QLatin1Char('y')) + QStringLiteral(" tail that is cut off")) << ExportFormat::Markdown
        << QString(49, QLatin1Char('y')) + QStringLiteral(".md");
    QTest::newRow("a cut never splits a character")
        << titleBody(QString(49, QLatin1Char('z')) + QStringLiteral("\U0001F600 smile")) << ExportFormat::Markdown
        << QString(49, QLatin1Char('z')) + QStringLiteral(".md");
    QTest::newRow("only forbidden characters") << titleBody(QStringLiteral("<>:\"/\\|?*")) << ExportFormat::Pdf
                                               << QStringLiteral("note.pdf");
}

void TestExport::suggestedFileName()
{
    QFETCH(QString, body);
    QFETCH(ExportFormat, format);
    QFETCH(QString, expected);
    QCOMPARE(::suggestedFileName(noteWithBody(body), format), expected);
}

void TestExport::bundlePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("format extension replaced") << QStringLiteral("/x/Note.md") << QStringLiteral("/x/Note.zip");
    QTest::newRow("zip kept") << QStringLiteral("/x/Note.ZIP") << QStringLiteral("/x/Note.ZIP");
    QTest::newRow("other extension kept") << QStringLiteral("/x/v1.2") << QStringLiteral("/x/v1.2.zip");
}

void TestExport::bundlePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(exportBundlePath(path), expected);
}

void TestExport::formats_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QStringList>("expectedParts");

    QTest::newRow("markdown") << ExportFormat::Markdown
                              << QStringList { QStringLiteral("# Shopping\n\n- Bread\n- Cheese\n\n"),
                                               QStringLiteral("Prices at [the shop](https://shop.example/)"),
                                               QStringLiteral("| Item | Qty |\n| --- | --- |\n| Milk | 2 |") };
    QTest::newRow("html") << ExportFormat::Html
                          << QStringList { QStringLiteral("<meta charset=\"utf-8\"><title>Shopping</title>"),
                                           QStringLiteral("<h1>Shopping</h1>"), QStringLiteral("<p>Bread</p>"),
                                           QStringLiteral("<a href=\"https://shop.example/\">the shop</a>"),
                                           QStringLiteral("<th>Item</th><th>Qty</th>"),
                                           QStringLiteral("<td>Milk</td><td>2</td>") };
    QTest::newRow("plain text") << ExportFormat::PlainText
                                << QStringList { QStringLiteral("Shopping\nBread\nCheese\nPrices at the shop\n") };
    QTest::newRow("pdf") << ExportFormat::Pdf
                         << QStringList { QStringLiteral("Shopping"), QStringLiteral("Bread"),
                                          QStringLiteral("Prices at the shop"), QStringLiteral("Item"),
                                          QStringLiteral("Milk") };
}

void TestExport::formats()
{
    QFETCH(ExportFormat, format);
    QFETCH(QStringList, expectedParts);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Shopping") + exportExtension(format));
    const ExportResult result = exportNote(noteWithBody(shoppingBody()), path, format, false);
    QVERIFY2(result.success, qPrintable(result.error));
    QCOMPARE(result.path, path);
    QVERIFY(result.error.isEmpty());
    // One file, nothing beside it.
    QCOMPARE(folderListing(dir.path()), QStringList { QFileInfo(path).fileName() });

    QString text = QString::fromUtf8(fileBytes(path));
    if (format == ExportFormat::Pdf) {
        QVERIFY(text.startsWith(QLatin1String("%PDF")));
        text = pdfText(path);
        if (text.isNull())
            QSKIP("pdftotext (poppler-utils) is not installed: the PDF's text is not checked");
    } else {
        // The clipboard copies say the same.
        const QString rendered = renderNote(shoppingBody(), format);
        QVERIFY(format == ExportFormat::Html ? text.contains(rendered.mid(12)) : text == rendered);
    }
    for (const QString &part : std::as_const(expectedParts))
        QVERIFY2(text.contains(part), qPrintable(QStringLiteral("missing %1 in:\n%2").arg(part, text)));
}

void TestExport::legacyPlainTextBody_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain text") << ExportFormat::PlainText << QStringLiteral("Legacy title\nx < y & z in every case\n");
    QTest::newRow("html") << ExportFormat::Html
                          << QStringLiteral("<p>Legacy title</p>\n<p>x &lt; y &amp; z in every case</p>");
}

void TestExport::legacyPlainTextBody()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, expected);
    // Written before notes were Delta; a broken JSON text reads the same way.
    const QString body = QStringLiteral("Legacy title\r\nx < y & z in every case");
    QVERIFY2(renderNote(body, format).contains(expected), qPrintable(renderNote(body, format)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("legacy") + exportExtension(format));
    const ExportResult result = exportNote(noteWithBody(body), path, format, false);
    QVERIFY2(result.success, qPrintable(result.error));
    QVERIFY(QString::fromUtf8(fileBytes(path)).contains(expected));
}

void TestExport::emptyBodyRendersNothing()
{
    for (ExportFormat format : { ExportFormat::Markdown, ExportFormat::Html, ExportFormat::Pdf, ExportFormat::PlainText })
        QCOMPARE(renderNote(QString(), format), QString());
}

void TestExport::initTestCase()
{
    struct Stored
    {
        QString id;
        ExportAttachment attachment;
        QByteArray bytes;
    };
    const QList<Stored> stored {
        { QStringLiteral("a1"), { QStringLiteral("photo.png"), QStringLiteral("image/png"), QString() }, m_red },
        // Same name, and one that would climb out of the folder.
        { QStringLiteral("a2"), { QStringLiteral("photo.png"), QStringLiteral("image/png"), QString() }, m_blue },
        { QStringLiteral("a3"), { QStringLiteral("../report: Q3.txt"), QStringLiteral("text/plain"), QString() },
          m_report },
    };
    QHash<QString, ExportAttachment> known;
    for (Stored entry : stored) {
        entry.attachment.filePath = m_store.filePath(entry.id);
        QVERIFY(writeBytes(entry.attachment.filePath, entry.bytes));
        known.insert(entry.id, entry.attachment);
    }
    // Known, but its file is gone.
    known.insert(QStringLiteral("gone"),
                 { QStringLiteral("lost.png"), QStringLiteral("image/png"), m_store.filePath(QStringLiteral("gone")) });
    m_resolver = [known](const QString &id) {
        return known.contains(id) ? std::optional<ExportAttachment>(known.value(id)) : std::nullopt;
    };
    m_body = compact({
        insertOp(QStringLiteral("Trip\n")),
        insertOp(attachmentEmbed(QStringLiteral("a1"))),
        insertOp(QStringLiteral("\n")),
        insertOp(QJsonObject { { QStringLiteral("image"), QStringLiteral("lumora-notes://attachment/a2") } }),
        insertOp(QStringLiteral("\n")),
        insertOp(attachmentEmbed(QStringLiteral("a3"))),
        insertOp(QStringLiteral("\n")),
        insertOp(attachmentEmbed(QStringLiteral("gone"))),
        insertOp(attachmentEmbed(QStringLiteral("unknown"))),
        insertOp(QStringLiteral("\n")),
        // The first picture again: one file serves both.
        insertOp(attachmentEmbed(QStringLiteral("a1"))),
        insertOp(QStringLiteral("\nEnd\n")),
    });
}

void TestExport::picturesTravelBesideTheFile_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("redPicture");
    QTest::addColumn<QString>("report");
    QTest::newRow("markdown") << ExportFormat::Markdown
                              << QStringLiteral("![photo.png](My%20Trip_files/photo.png)")
                              << QStringLiteral("\n\n../report: Q3.txt\n\n");
    QTest::newRow("html") << ExportFormat::Html
                          << QStringLiteral("<img src=\"My%20Trip_files/photo.png\" alt=\"photo.png\"")
                          << QStringLiteral("<p>../report: Q3.txt</p>");
}

void TestExport::picturesTravelBesideTheFile()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, redPicture);
    QFETCH(QString, report);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("My Trip") + exportExtension(format));
    const ExportResult result = exportNote(noteWithBody(m_body), path, format, false, m_resolver);
    QVERIFY2(result.success, qPrintable(result.error));

    // The pictures, each once under a name of its own; the text file stays
    // behind and is named in the text instead.
    const QString noteFile = QFileInfo(path).fileName();
    QCOMPARE(folderListing(dir.path()),
             (QStringList { noteFile, QStringLiteral("My Trip_files"), QStringLiteral("My Trip_files/photo (2).png"),
                            QStringLiteral("My Trip_files/photo.png") }));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("My Trip_files/photo.png"))), m_red);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("My Trip_files/photo (2).png"))), m_blue);

    const QString text = QString::fromUtf8(fileBytes(path));
    QVERIFY2(text.contains(redPicture), qPrintable(text));
    QCOMPARE(text.count(redPicture), 2);
    QVERIFY2(text.contains(QLatin1String("My%20Trip_files/photo%20%282%29.png")), qPrintable(text));
    QVERIFY2(text.contains(report), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("lost.png")));
    QVERIFY2(brokenRelativeLinks(text, path).isEmpty(), qPrintable(brokenRelativeLinks(text, path).join(u' ')));
    QVERIFY(!text.contains(QLatin1String("lumora-notes://")));
}

void TestExport::pdfHoldsPictures()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Trip.pdf"));
    const ExportResult result = exportNote(noteWithBody(m_body), path, ExportFormat::Pdf, false, m_resolver);
    QVERIFY2(result.success, qPrintable(result.error));
    // The PDF stands alone: no folder beside it.
    QCOMPARE(folderListing(dir.path()), QStringList { QStringLiteral("Trip.pdf") });
    QVERIFY(fileBytes(path).startsWith("%PDF"));

    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        QSKIP("pdfimages (poppler-utils) is not installed: the PDF's pictures are not counted");
    QProcess process;
    process.start(QStringLiteral("pdfimages"), { QStringLiteral("-list"), path });
    QVERIFY(process.waitForFinished(30000));
    // Two header lines, then one line per picture drawn: red twice, blue once.
    const QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size() - 2, 3);
    const QString text = pdfText(path);
    QVERIFY2(text.contains(QLatin1String("report: Q3.txt")) && text.contains(QLatin1String("End")), qPrintable(text));
}

void TestExport::bundleHoldsNoteAndAllAttachments_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("reportLink");
    QTest::newRow("markdown") << ExportFormat::Markdown
                              << QStringLiteral("[../report: Q3.txt](Trip_files/report%20Q3.txt)");
    QTest::newRow("pdf") << ExportFormat::Pdf << QString();
}

void TestExport::bundleHoldsNoteAndAllAttachments()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, reportLink);
    QTemporaryDir dir;
    // The path the save dialog suggests for a bundle.
    const QString path = dir.filePath(exportBundlePath(QStringLiteral("Trip") + exportExtension(format)));
    const ExportResult result = exportNote(noteWithBody(m_body), path, format, true, m_resolver);
    QVERIFY2(result.success, qPrintable(result.error));
    QCOMPARE(result.path, dir.filePath(QStringLiteral("Trip.zip")));
    // Only the archive: nothing loose beside it.
    QCOMPARE(folderListing(dir.path()), QStringList { QStringLiteral("Trip.zip") });

    QString error;
    const QMap<QString, QByteArray> entries = zipEntries(result.path, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString noteEntry = QStringLiteral("Trip") + exportExtension(format);
    QCOMPARE(entries.keys(), (QStringList { noteEntry, QStringLiteral("Trip_files/photo (2).png"),
                                   QStringLiteral("Trip_files/photo.png"), QStringLiteral("Trip_files/report Q3.txt") }));
    QCOMPARE(entries.value(QStringLiteral("Trip_files/photo.png")), m_red);
    QCOMPARE(entries.value(QStringLiteral("Trip_files/photo (2).png")), m_blue);
    QCOMPARE(entries.value(QStringLiteral("Trip_files/report Q3.txt")), m_report);
    const QByteArray note = entries.value(noteEntry);
    if (format == ExportFormat::Pdf) {
        QVERIFY(note.startsWith("%PDF"));
        return;
    }
    const QString text = QString::fromUtf8(note);
    QVERIFY2(text.contains(QLatin1String("Trip")) && text.contains(QLatin1String("End")), qPrintable(text));
    QVERIFY2(reportLink.isEmpty() || text.contains(reportLink), qPrintable(text));
    // Unpacked, every link leads to its file.
    QTemporaryDir unpacked;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        QDir(unpacked.path()).mkpath(QFileInfo(it.key()).path());
        QVERIFY(writeBytes(unpacked.filePath(it.key()), it.value()));
    }
    QVERIFY(brokenRelativeLinks(text, unpacked.filePath(noteEntry)).isEmpty());
}

void TestExport::failedWriteLeavesNothing_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("bundle");
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("read-only folder, markdown with pictures") << ExportFormat::Markdown << false << true;
    QTest::newRow("folder that is a file, pdf") << ExportFormat::Pdf << false << false;
    QTest::newRow("read-only folder, zip bundle") << ExportFormat::Html << true << true;
}

void TestExport::failedWriteLeavesNothing()
{
    QFETCH(ExportFormat, format);
    QFETCH(bool, bundle);
    QFETCH(bool, readOnlyFolder);
    QTemporaryDir dir;
    QString target;
    if (readOnlyFolder) {
        target = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(target));
        // What was there before stays as it was.
        QVERIFY(writeBytes(QDir(target).filePath(QStringLiteral("Trip.md")), "old"));
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(target).isWritable() || QFile(QDir(target).filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly))
            QSKIP("Running with rights that ignore read-only folders");
    } else {
        target = dir.filePath(QStringLiteral("plain-file"));
        QVERIFY(writeBytes(target, "not a folder"));
    }
    const QStringList before = folderListing(dir.path());
    const QString path = QDir(target).filePath(QStringLiteral("Trip") + exportExtension(format));
    const ExportResult result = exportNote(noteWithBody(m_body), path, format, bundle, m_resolver);
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QVERIFY(!result.success);
    QVERIFY(result.path.isEmpty());
    QVERIFY2(result.error.startsWith(QLatin1String("Failed to write file: ")), qPrintable(result.error));
    // The system's reason follows.
    QVERIFY2(result.error.size() > QStringLiteral("Failed to write file: ").size() + 3, qPrintable(result.error));
    QCOMPARE(folderListing(dir.path()), before);
    if (readOnlyFolder)
        QCOMPARE(fileBytes(QDir(target).filePath(QStringLiteral("Trip.md"))), QByteArray("old"));
}

void TestExport::archiveEntryNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("file in folder") << QStringLiteral("Trip_files/photo (2).png") << true;
    QTest::newRow("dots inside a name") << QStringLiteral("a..b/..c") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
    QTest::newRow("parent folder") << QStringLiteral("../x") << false;
    QTest::newRow("parent folder, backslashes") << QStringLiteral("a\\..\\..\\x") << false;
    QTest::newRow("drive letter") << QStringLiteral("C:/x") << false;
}

void TestExport::archiveEntryNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeArchiveEntryName(name), safe);

    QTemporaryDir dir;
    ZipWriter zip;
    QString error;
    QVERIFY2(zip.open(dir.filePath(QStringLiteral("a.zip")), &error), qPrintable(error));
    // Reading back what was written is tst_ziparchive's part.
    QCOMPARE(zip.addData(name, "bytes", &error), safe);
    QVERIFY2(safe || error.contains(QLatin1String("Unsafe entry name")), qPrintable(error));
}

void TestExport::zipWriterLeavesNoFileUntilCommitted()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.zip"));
    QVERIFY(writeBytes(path, "previous"));
    QString error;
    {
        ZipWriter zip;
        QVERIFY(zip.open(path, &error));
        QVERIFY(zip.addData(QStringLiteral("x.txt"), "x", &error));
        // A file that cannot be read is refused at once, not at commit.
        QVERIFY(!zip.addFile(QStringLiteral("y.txt"), dir.filePath(QStringLiteral("missing")), &error));
        QVERIFY(error.contains(QLatin1String("missing")));
        // Abandoned: the old file is untouched.
    }
    QCOMPARE(fileBytes(path), QByteArray("previous"));
    QCOMPARE(folderListing(dir.path()), QStringList { QStringLiteral("b.zip") });

    const QString source = dir.filePath(QStringLiteral("source.txt"));
    QVERIFY(writeBytes(source, "from disk"));
    ZipWriter zip;
    QVERIFY(zip.open(path, &error));
    QVERIFY(zip.addFile(QStringLiteral("copy/of/b.txt"), source, &error));
    QVERIFY2(zip.commit(&error), qPrintable(error));
    QCOMPARE(zipEntries(path, &error),
             (QMap<QString, QByteArray> { { QStringLiteral("copy/of/b.txt"), QByteArray("from disk") } }));
}

LUMORA_TEST_MAIN(TestExport)
#include "tst_export.moc"
