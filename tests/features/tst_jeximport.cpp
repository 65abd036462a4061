#include "features/import.h"
#include "features/importbatch.h"
#include "features/jeximport.h"
#include "features/tarreader.h"
#include "importtesting.h"
#include "storage/noterepository.h"
#include "tarwriter.h"
#include "testarchives.h"

#include "testmain.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

using namespace ImportTesting;
using LumoraTest::writeBytes;

namespace {

QString hexId(int n)
{
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0'));
}

QByteArray pngBytes(int seed)
{
    // A PNG signature is all the type sniffing needs; the seed keeps files apart.
    return QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray::number(seed);
}

using Meta = QList<QPair<QString, QString>>;

QByteArray noteItem(
    const QString &id, const QString &title, const QString &body, const QString &parent, const Meta &extra = {})
{
    Meta meta { { QStringLiteral("id"), id }, { QStringLiteral("parent_id"), parent },
        { QStringLiteral("created_time"), QStringLiteral("2024-04-28T21:53:13.438Z") },
        { QStringLiteral("updated_time"), QStringLiteral("2024-09-29T11:43:09.475Z") },
        { QStringLiteral("is_todo"), QStringLiteral("0") }, { QStringLiteral("markup_language"), QStringLiteral("1") },
        { QStringLiteral("deleted_time"), QStringLiteral("0") } };
    meta += extra;
    meta.append({ QStringLiteral("type_"), QStringLiteral("1") });
    return joplinItem(title, body, meta);
}

QByteArray folderItem(const QString &id, const QString &title, const QString &parent = QString())
{
    return joplinItem(title, QString(),
        { { QStringLiteral("id"), id }, { QStringLiteral("created_time"), QStringLiteral("2024-04-28T21:53:13.647Z") },
            { QStringLiteral("updated_time"), QStringLiteral("2024-04-28T21:53:49.011Z") },
            { QStringLiteral("parent_id"), parent }, { QStringLiteral("type_"), QStringLiteral("2") } });
}

// Joplin 3 writes resources with an empty "ocr_error:" right before "type_".
QByteArray resourceItem(const QString &id, const QString &title, const QString &mime, const QString &extension)
{
    return joplinItem(title, QString(),
        { { QStringLiteral("id"), id }, { QStringLiteral("mime"), mime }, { QStringLiteral("filename"), QString() },
            { QStringLiteral("created_time"), QStringLiteral("2024-04-28T21:53:13.393Z") },
            { QStringLiteral("file_extension"), extension },
            { QStringLiteral("ocr_text"), QStringLiteral("line one\\nline two") },
            { QStringLiteral("ocr_error"), QString() }, { QStringLiteral("type_"), QStringLiteral("4") } });
}

struct Entry
{
    QString name;
    QByteArray data;
};

bool writeTar(const QString &path, const QList<Entry> &entries, int zeroBlocks = 2, const QByteArray &trailer = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    TarWriter tar(&file);
    for (const Entry &entry : entries) {
        if (!tar.addFile(entry.name, entry.data))
            return false;
    }
    return tar.finish(zeroBlocks) && file.write(trailer) == trailer.size();
}

} // namespace

class TestJexImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tarReading_data();
    void tarReading();
    void brokenTarFails_data();
    void brokenTarFails();
    void itemParsing_data();
    void itemParsing();
    void repeatedTitle_data();
    void repeatedTitle();
    void syntheticArchive();
    void markdownResourceIsAnAttachment();
    void hostileNames();
    void cancelLeavesNothing_data();
    void cancelLeavesNothing();
    void savedInSeveralTransactions_data();
    void savedInSeveralTransactions();
    void realExports_data();
    void realExports();

private:
    QTemporaryDir m_temp;
};

void TestJexImport::tarReading_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<qint64>>("sizes");

    const auto build = [](const std::function<void(TarWriter &, QBuffer &)> &fill) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        TarWriter tar(&buffer);
        fill(tar, buffer);
        return buffer.data();
    };
    const QString longName = QStringLiteral("resources/") + QString(120, QLatin1Char('a')) + QStringLiteral(".png");
    const QString deepName = QString(80, QLatin1Char('d')) + QStringLiteral("/") + QString(60, QLatin1Char('e'));

    QTest::newRow("two files, two zero blocks") << build([](TarWriter &t, QBuffer &) {
        t.addFile(QStringLiteral("a.md"), "hello");
        t.addFile(QStringLiteral("resources/b.png"), QByteArray(700, 'x'));
        t.finish();
    }) << QStringList { QStringLiteral("a.md"), QStringLiteral("resources/b.png") }
                                                << QList<qint64> { 5, 700 };
    QTest::newRow("GNU long name") << build([&](TarWriter &t, QBuffer &) {
        t.addFile(longName, "x", TarWriter::LongNames::Gnu);
        t.finish();
    }) << QStringList { longName } << QList<qint64> { 1 };
    QTest::newRow("ustar prefix") << build([&](TarWriter &t, QBuffer &) {
        t.addFile(deepName, "xy", TarWriter::LongNames::UstarPrefix);
        t.finish();
    }) << QStringList { deepName } << QList<qint64> { 2 };
    QTest::newRow("garbage and no end blocks") << build([](TarWriter &t, QBuffer &b) {
        t.addFile(QStringLiteral("a.md"), "1");
        b.write(QByteArray(1024, 'Z'));
    }) << QStringList { QStringLiteral("a.md") }
                                               << QList<qint64> { 1 };
    QTest::newRow("no end blocks at all") << build([](TarWriter &t, QBuffer &) {
        t.addFile(QStringLiteral("a.md"), "1");
        t.addFile(QStringLiteral("b.md"), "22");
    }) << QStringList { QStringLiteral("a.md"), QStringLiteral("b.md") }
                                          << QList<qint64> { 1, 2 };
    QTest::newRow("entries after one zero block are not read") << build([](TarWriter &t, QBuffer &) {
        t.addFile(QStringLiteral("a.md"), "1");
        t.finish(1);
        t.addFile(QStringLiteral("b.md"), "2");
        t.finish();
    }) << QStringList { QStringLiteral("a.md") } << QList<qint64> { 1 };
    QTest::newRow("folder entries and empty files") << build([](TarWriter &t, QBuffer &) {
        t.addFile(QStringLiteral("resources/"), QByteArray(), TarWriter::LongNames::Gnu, '5');
        t.addFile(QStringLiteral("empty.md"), QByteArray());
        t.finish();
    }) << QStringList { QStringLiteral("empty.md") } << QList<qint64> { 0 };
}

void TestJexImport::tarReading()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, names);
    QFETCH(QList<qint64>, sizes);
    const QString path = m_temp.filePath(QStringLiteral("read.tar"));
    QVERIFY(writeBytes(path, archive));
    TarReader tar;
    QString error;
    QVERIFY2(tar.open(path, &error), qPrintable(error));
    QStringList readNames;
    QList<qint64> readSizes;
    for (const TarReader::Entry &entry : tar.entries()) {
        readNames << entry.name;
        readSizes << entry.size;
        QByteArray bytes;
        QVERIFY(tar.read(entry, 1 << 20, &bytes, &error));
        QCOMPARE(bytes.size(), entry.size);
    }
    QCOMPARE(readNames, names);
    QCOMPARE(readSizes, sizes);
}

void TestJexImport::brokenTarFails_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("errorPart");

    QByteArray truncated = TarWriter::header("a.md", QByteArray(), 5000, '0') + QByteArray(100, 'x');
    QTest::newRow("truncated entry") << truncated << QStringLiteral("truncated");
    QTest::newRow("not a tar") << QByteArray(2048, 'Q') << QStringLiteral("not a tar");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("no files");
}

void TestJexImport::brokenTarFails()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, errorPart);
    Store store;
    QVERIFY(store.open());
    const QString path = m_temp.filePath(QStringLiteral("broken.jex"));
    QVERIFY(writeBytes(path, archive));
    const ImportResult result = importJex(path, store.database.get());
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QVERIFY2(result.errorMessage.contains(errorPart, Qt::CaseInsensitive), qPrintable(result.errorMessage));
    QCOMPARE(store.contents(), emptyStore());
}

void TestJexImport::itemParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("parent");

    QTest::newRow("note")
        << QStringLiteral("Shopping\n\nMilk\nBread\n\nid: %1\nparent_id: %2\ntype_: 1").arg(hexId(1), hexId(2))
        << QStringLiteral("Shopping") << QStringLiteral("Milk\nBread") << 1 << hexId(2);
    QTest::newRow("empty title") << QStringLiteral("\n\nJust text\n\nid: %1\ntype_: 1").arg(hexId(1)) << QString()
                                 << QStringLiteral("Just text") << 1 << QString();
    QTest::newRow("note-tag link starts with id")
        << QStringLiteral("id: %1\nnote_id: %2\ntype_: 6").arg(hexId(1), hexId(2)) << QString() << QString() << 6
        << QString();
    QTest::newRow("empty value without space")
        << QStringLiteral("pic.png\n\nid: %1\nocr_error:\ntype_: 4").arg(hexId(1)) << QStringLiteral("pic.png")
        << QString() << 4 << QString();
    QTest::newRow("title key wins")
        << QStringLiteral("First line\n\nBody\n\nid: %1\ntitle: Real title\ntype_: 1").arg(hexId(1))
        << QStringLiteral("Real title") << QStringLiteral("Body") << 1 << QString();
    QTest::newRow("body mentioning id")
        << QStringLiteral("T\n\nid: not metadata\nmore\n\nid: %1\ntype_: 1").arg(hexId(1)) << QStringLiteral("T")
        << QStringLiteral("id: not metadata\nmore") << 1 << QString();
    QTest::newRow("windows line ends in metadata")
        << QStringLiteral("T\n\nB\n\nid: %1\r\ntype_: 1\r\nparent_id: %2").arg(hexId(1), hexId(3))
        << QStringLiteral("T") << QStringLiteral("B") << 1 << hexId(3);
}

void TestJexImport::itemParsing()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, body);
    QFETCH(int, type);
    QFETCH(QString, parent);
    const JexItem item = parseJexItem(text);
    QCOMPARE(item.title, title);
    QCOMPARE(item.body, body);
    QCOMPARE(item.type, type);
    QCOMPARE(item.parentId, parent);
    QCOMPARE(item.id, hexId(1));
}

void TestJexImport::repeatedTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("heading with a subtitle")
        << QStringLiteral("Trip") << QStringLiteral("# Trip \u2013 Italy 2024\nPack") << QStringLiteral("Pack");
    QTest::newRow("line then heading") << QStringLiteral("Trip") << QStringLiteral("Trip\n# Trip\nPack")
                                       << QStringLiteral("Pack");
    QTest::newRow("longer word is kept") << QStringLiteral("Trip") << QStringLiteral("# Tripod\nPack")
                                         << QStringLiteral("# Tripod\nPack");
    QTest::newRow("level two heading kept")
        << QStringLiteral("Trip") << QStringLiteral("## Trip\nPack") << QStringLiteral("## Trip\nPack");
    QTest::newRow("empty title keeps body") << QString() << QStringLiteral("# \nPack") << QStringLiteral("# \nPack");
    QTest::newRow("title only") << QStringLiteral("Trip") << QStringLiteral("Trip") << QString();
}

void TestJexImport::repeatedTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(removeRepeatedTitle(title, body), expected);
}

// One archive with every quirk real exports show; the counts and the stored
// rows must come out exactly.
void TestJexImport::syntheticArchive()
{
    Store store;
    QVERIFY(store.open());
    const QString folder = hexId(0xf1), missingFolder = hexId(0xf9);
    const QString pic = hexId(0xa1), shared = hexId(0xa2), noExt = hexId(0xa3), pdf = hexId(0xa4), lost = hexId(0xa5);
    const QString noteLink = hexId(0x1);
    const QList<Entry> entries {
        // Notes before their folder: parents are resolved after reading all.
        { hexId(1) + QStringLiteral(".md"),
            noteItem(hexId(1), QStringLiteral("Pictures"),
                QStringLiteral(
                    "# Pictures\n\n![a](:/%1) and again ![b](:/%1)\n\n![](:/%2)\n\n[manual](:/%3)\n\n[self](:/%4)")
                    .arg(pic, noExt, pdf, noteLink),
                folder) },
        { hexId(2) + QStringLiteral(".md"),
            noteItem(hexId(2), QStringLiteral("Also uses the picture"), QStringLiteral("![](:/%1)").arg(pic),
                missingFolder) },
        { hexId(3) + QStringLiteral(".md"),
            noteItem(hexId(3), QStringLiteral("Web <clip>"),
                QStringLiteral("<p>Hello <img src=\":/%1\"></p>").arg(shared), folder,
                { { QStringLiteral("markup_language"), QStringLiteral("2") } }) },
        { hexId(4) + QStringLiteral(".md"),
            noteItem(hexId(4), QStringLiteral("Old idea"), QStringLiteral("gone"), folder,
                { { QStringLiteral("deleted_time"), QStringLiteral("1714341193438") } }) },
        { hexId(5) + QStringLiteral(".md"),
            noteItem(hexId(5), QStringLiteral("Secret"), QStringLiteral("JED01..."), folder,
                { { QStringLiteral("encryption_applied"), QStringLiteral("1") } }) },
        { hexId(6) + QStringLiteral(".md"), noteItem(hexId(6), QString(), QStringLiteral("no title here"), QString()) },
        { hexId(7) + QStringLiteral(".md"),
            noteItem(hexId(7), QStringLiteral("Lost picture"), QStringLiteral("![x](:/%1)").arg(lost), QString()) },
        { folder + QStringLiteral(".md"), folderItem(folder, QStringLiteral("Travel")) },
        { hexId(0xf2) + QStringLiteral(".md"), folderItem(hexId(0xf2), QString()) },
        { hexId(0x70) + QStringLiteral(".md"),
            joplinItem(QStringLiteral("some_tag"), QString(),
                { { QStringLiteral("id"), hexId(0x70) }, { QStringLiteral("type_"), QStringLiteral("5") } }) },
        { hexId(0x71) + QStringLiteral(".md"),
            joplinItem(QString(), QString(),
                { { QStringLiteral("id"), hexId(0x71) }, { QStringLiteral("type_"), QStringLiteral("6") } })
                .mid(2) },
        { pic + QStringLiteral(".md"),
            resourceItem(pic, QStringLiteral("photo.png"), QStringLiteral("image/png"), QStringLiteral("png")) },
        { shared + QStringLiteral(".md"),
            resourceItem(shared, QString(), QStringLiteral("image/jpg"), QStringLiteral("jpg")) },
        { noExt + QStringLiteral(".md"), resourceItem(noExt, QString(), QStringLiteral("image/png"), QString()) },
        { pdf + QStringLiteral(".md"),
            resourceItem(pdf, QStringLiteral("manual.pdf"), QStringLiteral("application/pdf"), QStringLiteral("pdf")) },
        { lost + QStringLiteral(".md"),
            resourceItem(lost, QStringLiteral("lost.png"), QStringLiteral("image/png"), QStringLiteral("png")) },
        { QStringLiteral("resources/") + pic + QStringLiteral(".png"), pngBytes(1) },
        { QStringLiteral("resources/") + shared + QStringLiteral(".jpg"),
            QByteArray("\xff\xd8\xff\xe0\0\x10JFIF", 10) },
        { QStringLiteral("resources/") + noExt + QStringLiteral(".png"), pngBytes(3) },
        { QStringLiteral("resources/") + pdf, QByteArray("%PDF-1.4\n%\xe2\xe3\n") },
        { QStringLiteral("resources/notes.md"), QByteArray("# not an item") },
    };
    const QString path = m_temp.filePath(QStringLiteral("synthetic.jex"));
    QVERIFY(writeTar(path, entries));

    QList<int> totals;
    const ImportResult result = importJex(path, store.database.get(), [&](int, int total, const QString &) {
        totals << total;
        return true;
    });
    QCOMPARE(result.imported, 6);
    QCOMPARE(result.notebooks, 2);
    QCOMPARE(result.attachments, 5); // the picture once per note using it, jpeg, no-extension png, pdf
    QCOMPARE(result.skipped, 2); // the encrypted note and the tag
    QCOMPARE(result.errors, 1); // the picture whose file is missing
    QCOMPARE(result.trashed, 1);
    QVERIFY(!result.cancelled);
    QVERIFY(totals.contains(6));
    QVERIFY(result.reportText().contains(QStringLiteral("Secret")));
    QVERIFY(result.reportText().contains(QStringLiteral("lost.png")) || result.reportText().contains(lost));

    QCOMPARE(store.strings(QStringLiteral("SELECT name FROM notebooks ORDER BY name")),
        (QStringList { QStringLiteral("Imported Folder"), QStringLiteral("Travel") }));
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")), 1);
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM notes WHERE notebook_id = ''")), 3);
    QCOMPARE(store.attachmentFiles().size(), 5);

    const auto bodyOf = [&store](const QString &title) {
        for (const QString &body : store.strings(QStringLiteral("SELECT body FROM notes"))) {
            if (deltaToPlainText(body).startsWith(title))
                return body;
        }
        return QString();
    };
    // The picture used twice in one note is stored once, both links to it.
    const QString picturesBody = bodyOf(QStringLiteral("Pictures"));
    const QStringList urls = embeddedAttachments(picturesBody);
    QCOMPARE(urls.size(), 4); // a, b (the same file), the empty-alt picture, the pdf
    QCOMPARE(urls.at(0), urls.at(1));
    QCOMPARE(QSet<QString>(urls.begin(), urls.end()).size(), 3);
    QVERIFY(!picturesBody.contains(QStringLiteral(":/") + pic));
    QVERIFY(!deltaToPlainText(picturesBody).contains(QStringLiteral("# Pictures")));
    QCOMPARE(deltaToPlainText(picturesBody).count(QStringLiteral("Pictures")), 1);

    const QStringList mimes = store.strings(QStringLiteral("SELECT mime_type FROM attachments ORDER BY mime_type"));
    QCOMPARE(mimes,
        (QStringList { QStringLiteral("application/pdf"), QStringLiteral("image/jpeg"), QStringLiteral("image/png"),
            QStringLiteral("image/png"), QStringLiteral("image/png") }));
    QVERIFY(store.strings(QStringLiteral("SELECT filename FROM attachments")).contains(noExt + QStringLiteral(".png")));

    // The HTML note's title is a heading element, escaped.
    const QString htmlBody = bodyOf(QStringLiteral("Web <clip>"));
    QVERIFY(htmlBody.contains(QStringLiteral("\"header\":1")));
    QCOMPARE(embeddedAttachments(htmlBody).size(), 1);
}

// A resource file ending in .md is a file, not an item of the archive.
void TestJexImport::markdownResourceIsAnAttachment()
{
    Store store;
    QVERIFY(store.open());
    const QString id = hexId(0xb1);
    const QString path = m_temp.filePath(QStringLiteral("resources.jex"));
    QVERIFY(writeTar(path,
        { { hexId(1) + QStringLiteral(".md"),
              noteItem(hexId(1), QStringLiteral("N"), QStringLiteral("![](:/%1)").arg(id), QString()) },
            { id + QStringLiteral(".md"),
                resourceItem(id, QString(), QStringLiteral("text/markdown"), QStringLiteral("md")) },
            { QStringLiteral("resources/") + id + QStringLiteral(".md"), pngBytes(7) } }));
    const ImportResult result = importJex(path, store.database.get());
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.attachments, 1);
    QCOMPARE(result.errors, 0);
    QCOMPARE(
        store.strings(QStringLiteral("SELECT filename FROM attachments")), QStringList { id + QStringLiteral(".md") });
    QCOMPARE(embeddedAttachments(store.strings(QStringLiteral("SELECT body FROM notes")).value(0)).size(), 1);
}

// Names that could point outside any folder are never followed; the rest
// of the archive still imports.
void TestJexImport::hostileNames()
{
    Store store;
    QVERIFY(store.open());
    QTemporaryDir sandbox;
    const QString path = sandbox.filePath(QStringLiteral("hostile.jex"));
    QVERIFY(writeTar(path,
        { { QStringLiteral("../x"), "escape" }, { QStringLiteral("/abs/y"), "absolute" },
            { QStringLiteral("C:\\z"), "drive" }, { QStringLiteral("resources/../../w.png"), pngBytes(1) },
            { hexId(1) + QStringLiteral(".md"),
                noteItem(hexId(1), QStringLiteral("Fine"), QStringLiteral("ok"), QString()) } }));
    const QStringList before = store.allFilesUnder(sandbox.path());
    const ImportResult result = importJex(path, store.database.get());
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.errors, 4);
    QCOMPARE(store.allFilesUnder(sandbox.path()), before);
    QVERIFY(!QFileInfo::exists(QDir(store.dataDir.path()).filePath(QStringLiteral("../x"))));
    QVERIFY(store.attachmentFiles().isEmpty());
}

void TestJexImport::cancelLeavesNothing_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("while reading") << 0;
    QTest::newRow("after the first note") << 1;
}

void TestJexImport::cancelLeavesNothing()
{
    QFETCH(int, cancelAt);
    Store store;
    QVERIFY(store.open());
    QList<Entry> entries { { hexId(0xf1) + QStringLiteral(".md"), folderItem(hexId(0xf1), QStringLiteral("F")) } };
    for (int i = 1; i <= 5; ++i) {
        const QString res = hexId(0xa0 + i);
        entries.append({ hexId(i) + QStringLiteral(".md"),
            noteItem(hexId(i), QStringLiteral("Note %1").arg(i), QStringLiteral("![](:/%1)").arg(res), hexId(0xf1)) });
        entries.append({ res + QStringLiteral(".md"),
            resourceItem(res, QString(), QStringLiteral("image/png"), QStringLiteral("png")) });
        entries.append({ QStringLiteral("resources/") + res + QStringLiteral(".png"), pngBytes(i) });
    }
    const QString path = m_temp.filePath(QStringLiteral("cancel.jex"));
    QVERIFY(writeTar(path, entries));

    // A note that was there before stays, untouched.
    QSqlQuery insert(store.database->db());
    QVERIFY(insert.exec(QStringLiteral("INSERT INTO notes (id, body, created_at, updated_at, modified_at) "
                                       "VALUES ('00000000-0000-0000-0000-000000000001', '%1', 'a', 'b', 'c')")
                            .arg(emptyNoteBody())));
    const QStringList notesBefore = store.strings(QStringLiteral("SELECT id || body || updated_at FROM notes"));

    int calls = 0;
    // Cancels while saving: savedInSeveralTransactions.
    const ImportResult result = importJex(path, store.database.get(), [&](int current, int total, const QString &) {
        ++calls;
        return !(current >= cancelAt && (cancelAt == 0 || total > 0));
    });
    QVERIFY(calls > 0);
    QVERIFY(result.cancelled);
    QCOMPARE(result.imported + result.attachments, 0);
    QCOMPARE(store.strings(QStringLiteral("SELECT id || body || updated_at FROM notes")), notesBefore);
    QCOMPARE(store.contents(), QStringLiteral("notes 1, notebooks 0, attachments 0, files 0"));
}

void TestJexImport::savedInSeveralTransactions_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<int>("killAt"); // where a copy of the data directory is taken, as a kill would leave it
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("afterKill"); // that copy after the next start
    const QString all = QStringLiteral("notes 5, notebooks 1, attachments 5, files 5");
    QTest::newRow("all stored") << -1 << -1 << all << QString();
    QTest::newRow("cancelled after two transactions") << 4 << -1 << emptyStore() << QString();
    QTest::newRow("cancelled before the last commit") << 5 << -1 << emptyStore() << QString();
    QTest::newRow("killed after two transactions") << -1 << 4 << all << emptyStore();
    // Copied once the files are written, before anything is stored.
    QTest::newRow("killed before the first transaction") << -1 << 0 << all << emptyStore();
}

// Two notes per transaction: a cancel after some were committed takes back
// those too, rows, search index and files.
void TestJexImport::savedInSeveralTransactions()
{
    QFETCH(int, cancelAt);
    QFETCH(int, killAt);
    QFETCH(QString, stored);
    QFETCH(QString, afterKill);
    Store store;
    QVERIFY(store.open());
    QTemporaryDir crashImage;
    const auto copyTree = [](const QString &fromDir, const QString &toDir) {
        QDirIterator it(fromDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = toDir + QLatin1Char('/') + QDir(fromDir).relativeFilePath(from);
            QDir().mkpath(QFileInfo(to).path());
            if (!QFile::copy(from, to))
                return false;
        }
        return true;
    };
    bool imaged = false;
    ImportResult result;
    {
        ImportBatch batch(store.database.get());
        batch.setNotesPerTransaction(2);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString notebookId = batch.addNotebook(QStringLiteral("F"), now, now);
        for (int i = 0; i < 5; ++i) {
            Note note;
            note.id = batch.newNoteId();
            note.notebookId = notebookId;
            note.body = QStringLiteral(R"([{"insert":"kiwi %1\n"}])").arg(i);
            note.createdAt = note.updatedAt = note.modifiedAt = now;
            QString error;
            QVERIFY(
                !batch.addAttachment(note.id, QStringLiteral("p.png"), QStringLiteral("image/png"), pngBytes(i), &error)
                     .isEmpty());
            batch.addNote(note, QStringLiteral("Note %1").arg(i));
        }
        if (killAt == 0)
            imaged = copyTree(store.dataDir.path(), crashImage.path());
        QCOMPARE(batch.commit(&result,
                     [&](int done, int, const QString &) {
                         if (done == killAt)
                             imaged = copyTree(store.dataDir.path(), crashImage.path());
                         return done != cancelAt;
                     }),
            cancelAt < 0);
    }
    QCOMPARE(store.contents(), stored);
    // The next start finds nothing to take back after a finished import.
    QString error;
    QVERIFY2(takeBackUnfinishedImport(store.database.get(), &error), qPrintable(error));
    QCOMPARE(store.contents(), stored);
    if (!afterKill.isEmpty()) {
        QVERIFY(imaged);
        Store restarted;
        QVERIFY(copyTree(crashImage.path(), restarted.dataDir.path()));
        QVERIFY(restarted.open());
        QCOMPARE(restarted.count(QStringLiteral("SELECT COUNT(*) FROM notes")), killAt == 0 ? 0 : 4);
        QVERIFY2(takeBackUnfinishedImport(restarted.database.get(), &error), qPrintable(error));
        QCOMPARE(restarted.contents(), afterKill);
        QCOMPARE(restarted.count(QStringLiteral("SELECT COUNT(*) FROM note_list_texts")), 0);
    }
    QCOMPARE(result.imported, store.count(QStringLiteral("SELECT COUNT(*) FROM notes")));
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM note_list_texts")), result.imported);
    QCOMPARE(int(NoteRepository(store.database.get()).search(QStringLiteral("kiwi")).size()), result.imported);
}

void TestJexImport::realExports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("notes");
    QTest::addColumn<int>("notebooks");
    QTest::addColumn<int>("attachments");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("Joplin 3 export, folders and to-dos")
        << QStringLiteral("jex/jimmy_test1_29_04_2024.jex") << 5 << 3 << 2 << 1
        << QStringList { QStringLiteral("Another note"), QStringLiteral("note in second notebook with open reminder"),
               QStringLiteral("note in other notebook with same name"), QStringLiteral("photo card (image only)"),
               QStringLiteral("Sample note with completed reminder") };
    QTest::newRow("single-note export") << QStringLiteral("jex/jimmy_test3_flexicharger.jex") << 1 << 0 << 1 << 0
                                        << QStringList();
}

void TestJexImport::realExports()
{
    QFETCH(QString, file);
    QFETCH(int, notes);
    QFETCH(int, notebooks);
    QFETCH(int, attachments);
    QFETCH(int, skipped);
    QFETCH(QStringList, titles);
    const QString path = fixtureFile(file);
    if (path.isEmpty())
        QSKIP("The real export samples (shared/fixtures next to the source tree, or LUMORA_FIXTURES_DIR) are absent");
    Store store;
    QVERIFY(store.open());
    const ImportResult result = importJex(path, store.database.get());
    QCOMPARE(result.imported, notes);
    QCOMPARE(result.notebooks, notebooks);
    QCOMPARE(result.attachments, attachments);
    QCOMPARE(result.skipped, skipped);
    verifyRealImport(store, result, attachments, titles);
}

LUMORA_TEST_MAIN(TestJexImport)
#include "tst_jeximport.moc"
