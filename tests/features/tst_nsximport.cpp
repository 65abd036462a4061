#include "features/import.h"
#include "features/importbatch.h"
#include "importtesting.h"
#include "testarchives.h"

#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace ImportTesting;

namespace {

const QByteArray kJpeg("\xff\xd8\xff\xe0\0\x10JFIF\0jpegbytes", 19);
const QByteArray kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDRpngbytes", 24);
const QByteArray kPdf("%PDF-1.4\n%\xe2\xe3 pdf");

using Entries = QList<QPair<QString, QByteArray>>;

// The entries as they are, unsafe names included.
QByteArray zipOf(const Entries &entries)
{
    QList<LumoraTest::RawEntry> raw;
    for (const auto &[name, data] : entries)
        raw.append({ name.toUtf8(), data });
    return LumoraTest::rawZip(raw);
}

bool writeZip(const QString &path, const Entries &entries)
{
    return LumoraTest::writeBytes(path, zipOf(entries));
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject attachment(const QString &md5, const QString &name, const QString &type, const QString &ext,
                       const QString &ref = QString())
{
    QJsonObject a{{QStringLiteral("md5"), md5}, {QStringLiteral("name"), name}, {QStringLiteral("type"), type}};
    if (!ext.isEmpty())
        a.insert(QStringLiteral("ext"), ext);
    if (!ref.isEmpty())
        a.insert(QStringLiteral("ref"), ref);
    return a;
}

QString image(const QString &ref)
{
    return QStringLiteral("<img class=\"syno-notestation-image-object\" src=\"webman/3rdparty/NoteStation/images/"
                          "transparent.gif\" ref=\"%1\">")
        .arg(ref);
}

} // namespace

class TestNsxImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void epochTimes_data();
    void epochTimes();
    void mimeTypes_data();
    void mimeTypes();
    void syntheticArchive();
    void brokenArchives_data();
    void brokenArchives();
    void hostileNames();
    void cancelLeavesNothing();
    void realExports_data();
    void realExports();

private:
    QTemporaryDir m_temp;
};

void TestNsxImport::epochTimes_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected"); // empty: the fallback

    QTest::newRow("seconds") << qint64(1728122137) << QStringLiteral("2024-10-05T09:55:37.000Z");
    QTest::newRow("milliseconds") << qint64(1728122137123) << QStringLiteral("2024-10-05T09:55:37.000Z");
    QTest::newRow("zero") << qint64(0) << QString();
    QTest::newRow("after 2100") << qint64(5000000000) << QString();
}

void TestNsxImport::epochTimes()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    const QDateTime fallback(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QDateTime time = importTimeFromEpoch(value, fallback);
    QCOMPARE(toStoredTimestamp(time), expected.isEmpty() ? toStoredTimestamp(fallback) : expected);
}

void TestNsxImport::mimeTypes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("expected");

    QTest::newRow("png named jpg") << kPng << QStringLiteral("a.jpg") << QStringLiteral("image/jpg") << QStringLiteral("image/png");
    QTest::newRow("text by name") << QByteArray("hello\n") << QStringLiteral("notes.txt") << QString() << QStringLiteral("text/plain");
    QTest::newRow("unknown bytes, MIME declared") << QByteArray("\x01\x02\x03", 3) << QStringLiteral("blob")
                                                  << QStringLiteral("video/webm") << QStringLiteral("video/webm");
    QTest::newRow("unknown everything") << QByteArray("\x01\x02\x03", 3) << QStringLiteral("blob") << QString()
                                        << QStringLiteral("application/octet-stream");
}

void TestNsxImport::mimeTypes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, declared);
    QFETCH(QString, expected);
    QCOMPARE(importMimeType(bytes, name, declared), expected);
}

void TestNsxImport::syntheticArchive()
{
    Store store;
    QVERIFY(store.open());
    const QString md5Jpeg(32, QLatin1Char('a')), md5Png(32, QLatin1Char('b')), md5Pdf(32, QLatin1Char('c'));
    const QJsonObject config{
        {QStringLiteral("notebook"), QJsonArray{QStringLiteral("1026_NB1"), QStringLiteral("1026_NB2")}},
        {QStringLiteral("note"), QJsonArray{QStringLiteral("1026_N1"), QStringLiteral("1026_N2"), QStringLiteral("1026_N3"),
                                            QStringLiteral("1026_N4"), QStringLiteral("1026_ENCRYPTED"), QStringLiteral("1026_N5")}},
        {QStringLiteral("shortcut"), QJsonValue::Null}};
    const QJsonObject pictures{
        {QStringLiteral("k1"), attachment(md5Jpeg, QStringLiteral("photo.jpg"), QStringLiteral("image"), QStringLiteral("jpg"), QStringLiteral("R1"))},
        {QStringLiteral("k2"), attachment(md5Png, QStringLiteral("/photo/shot.png"), QStringLiteral("image"), QStringLiteral("png"), QStringLiteral("R2"))},
        {QStringLiteral("k3"), attachment(md5Png, QStringLiteral("shot.png"), QStringLiteral("image"), QStringLiteral("png"), QStringLiteral("R3"))},
        {QStringLiteral("k4"), attachment(md5Pdf, QStringLiteral("manual.pdf"), QStringLiteral("binary"), QStringLiteral("pdf"))},
        {QStringLiteral("k5"), attachment(QString(32, QLatin1Char('d')), QStringLiteral("gone.png"), QStringLiteral("image"), QStringLiteral("png"))}};
    const Entries entries{
        {QStringLiteral("config.json"), json(config)},
        {QStringLiteral("1026_NB1"), json({{QStringLiteral("title"), QStringLiteral("Recipes")}, {QStringLiteral("ctime"), 1581623497}, {QStringLiteral("mtime"), 1581623507}})},
        {QStringLiteral("1026_NB2"), json({{QStringLiteral("title"), QString()}, {QStringLiteral("ctime"), 0}})},
        {QStringLiteral("1026_N1"),
         json({{QStringLiteral("title"), QStringLiteral("Pictures & <tags>")},
               {QStringLiteral("parent_id"), QStringLiteral("1026_NB1")},
               {QStringLiteral("ctime"), 655671600},
               {QStringLiteral("mtime"), 1582401173000.0},
               {QStringLiteral("content"), QStringLiteral("<p>Look <a href=\"R1\">R1</a></p>%1<div>%2</div><p>%3</p>").arg(image(QStringLiteral("R1")), image(QStringLiteral("R2")), image(QStringLiteral("R3")))},
               {QStringLiteral("attachment"), pictures}})},
        {QStringLiteral("1026_N2"), json({{QStringLiteral("title"), QStringLiteral("Empty note")}, {QStringLiteral("parent_id"), QStringLiteral("1026_NB2")}, {QStringLiteral("ctime"), 0}})},
        {QStringLiteral("1026_N3"), json({{QStringLiteral("title"), QString()}, {QStringLiteral("content"), QStringLiteral("<p>untitled text</p>")}, {QStringLiteral("attachment"), QJsonValue::Null}})},
        {QStringLiteral("1026_N4"), json({{QStringLiteral("title"), QStringLiteral("Binned")}, {QStringLiteral("parent_id"), QStringLiteral("1026_#00000000")}, {QStringLiteral("content"), QStringLiteral("<p>old</p>")}, {QStringLiteral("attachment"), QJsonObject()}})},
        {QStringLiteral("1026_N5"), QByteArray("{\"title\": \"broken")},
        {QStringLiteral("file_") + md5Jpeg, kJpeg},
        {QStringLiteral("file_") + md5Png, kPng},
        {QStringLiteral("file_") + md5Pdf, kPdf},
        {QStringLiteral("file_thumb_1024_") + md5Png, kPng},
        {QStringLiteral("file_") + QString(32, QLatin1Char('e')), kPng}, // referred to by nobody
    };
    const QString path = m_temp.filePath(QStringLiteral("synthetic.nsx"));
    QVERIFY(writeZip(path, entries));

    const ImportResult result = importNsx(path, store.database.get());
    QCOMPARE(result.imported, 4);
    QCOMPARE(result.notebooks, 2);
    QCOMPARE(result.attachments, 3); // jpeg, one png for two refs, pdf
    QCOMPARE(result.skipped, 1);     // the encrypted note missing from the ZIP
    QCOMPARE(result.errors, 2);      // the missing file and the broken JSON
    QCOMPARE(result.trashed, 1);
    QVERIFY(result.reportText().contains(QStringLiteral("1026_ENCRYPTED")));
    QVERIFY(result.reportText().contains(QStringLiteral("gone.png")));

    QCOMPARE(store.strings(QStringLiteral("SELECT name FROM notebooks ORDER BY name")),
             (QStringList{QStringLiteral("Imported Notebook"), QStringLiteral("Recipes")}));
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")), 1);
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM notes WHERE created_at IS NULL OR created_at = ''")), 0);
    QCOMPARE(store.strings(QStringLiteral("SELECT mime_type FROM attachments ORDER BY mime_type")),
             (QStringList{QStringLiteral("application/pdf"), QStringLiteral("image/jpeg"), QStringLiteral("image/png")}));
    QCOMPARE(store.strings(QStringLiteral("SELECT filename FROM attachments ORDER BY filename")),
             (QStringList{QStringLiteral("manual.pdf"), QStringLiteral("photo.jpg"), QStringLiteral("shot.png")}));
    QCOMPARE(store.attachmentFiles().size(), 3);

    const QString body = store.strings(QStringLiteral("SELECT body FROM notes WHERE created_at LIKE '1990-%'")).value(0);
    QVERIFY2(!body.isEmpty(), "the 1990 creation date was not kept");
    QCOMPARE(store.strings(QStringLiteral("SELECT updated_at FROM notes WHERE created_at LIKE '1990-%'")),
             QStringList{QStringLiteral("2020-02-22T19:52:53.000Z")});
    QCOMPARE(noteTitle(body), QStringLiteral("Pictures & <tags>"));
    const QStringList urls = embeddedAttachments(body);
    QCOMPARE(urls.size(), 4); // three inline pictures and the pdf added at the end
    QCOMPARE(urls.at(1), urls.at(2));
    QVERIFY(!body.contains(QStringLiteral("transparent.gif")));
    QVERIFY(deltaToPlainText(body).contains(QStringLiteral("Look R1")));
}

void TestNsxImport::brokenArchives_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("errorPart");

    const QByteArray config = json({ { QStringLiteral("note"), QJsonArray() } });
    const QByteArray whole
        = zipOf({ { QStringLiteral("config.json"), config }, { QStringLiteral("file_x"), QByteArray(20000, 'q') } });
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("Failed to extract archive");
    QTest::newRow("truncated") << whole.left(whole.size() / 2) << QStringLiteral("Failed to extract archive");
    QTest::newRow("no config.json") << zipOf({ { QStringLiteral("note.json"), "{\"note\": [" } })
                                    << QStringLiteral("No config.json");
    QTest::newRow("malformed config.json") << zipOf({ { QStringLiteral("config.json"), "{\"note\": [" } })
                                           << QStringLiteral("config.json");
}

void TestNsxImport::brokenArchives()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, errorPart);
    Store store;
    QVERIFY(store.open());
    const QString path = m_temp.filePath(QStringLiteral("broken.nsx"));
    QVERIFY(LumoraTest::writeBytes(path, bytes));
    const ImportResult result = importNsx(path, store.database.get());
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QVERIFY2(result.errorMessage.contains(errorPart), qPrintable(result.errorMessage));
    QCOMPARE(store.contents(), emptyStore());
}

// Ids and md5 values come from the archive's JSON: ones that would name a
// path outside the archive are refused, and nothing is written anywhere but
// the attachment store.
void TestNsxImport::hostileNames()
{
    Store store;
    QVERIFY(store.open());
    QTemporaryDir sandbox;
    const QString path = sandbox.filePath(QStringLiteral("hostile.nsx"));
    const QJsonObject evilAttachment{{QStringLiteral("a"), attachment(QStringLiteral("/../../x"), QStringLiteral("x.png"), QStringLiteral("image"), QStringLiteral("png"))}};
    QVERIFY(writeZip(path, {{QStringLiteral("config.json"),
                             json({{QStringLiteral("notebook"), QJsonArray{QStringLiteral("../nb")}},
                                   {QStringLiteral("note"), QJsonArray{QStringLiteral("../evil"), QStringLiteral("/abs"), QStringLiteral("C:\\x"), QStringLiteral("ok")}}})},
                            {QStringLiteral("../evil"), json({{QStringLiteral("title"), QStringLiteral("evil")}})},
                            {QStringLiteral("../nb"), json({{QStringLiteral("title"), QStringLiteral("nb")}})},
                            {QStringLiteral("ok"), json({{QStringLiteral("title"), QStringLiteral("Fine")}, {QStringLiteral("content"), QStringLiteral("<p>x</p>")}, {QStringLiteral("attachment"), evilAttachment}})},
                            {QStringLiteral("file_/../../x"), kPng}}));
    const QStringList before = store.allFilesUnder(sandbox.path());
    const ImportResult result = importNsx(path, store.database.get());
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.notebooks, 0);
    QVERIFY(result.errors + result.skipped >= 5);
    QCOMPARE(store.allFilesUnder(sandbox.path()), before);
    QVERIFY(store.attachmentFiles().isEmpty());
    QCOMPARE(store.strings(QStringLiteral("SELECT body FROM notes")).size(), 1);
}

void TestNsxImport::cancelLeavesNothing()
{
    Store store;
    QVERIFY(store.open());
    const QString md5(32, QLatin1Char('a'));
    QJsonArray noteIds;
    Entries entries{{QStringLiteral("file_") + md5, kPng},
                    {QStringLiteral("nb"), json({{QStringLiteral("title"), QStringLiteral("B")}})}};
    for (int i = 0; i < 4; ++i) {
        const QString id = QStringLiteral("n%1").arg(i);
        noteIds.append(id);
        entries.append({id, json({{QStringLiteral("title"), id}, {QStringLiteral("parent_id"), QStringLiteral("nb")},
                                  {QStringLiteral("content"), image(QStringLiteral("R"))},
                                  {QStringLiteral("attachment"), QJsonObject{{QStringLiteral("k"), attachment(md5, QStringLiteral("p.png"), QStringLiteral("image"), QStringLiteral("png"), QStringLiteral("R"))}}}})});
    }
    entries.append({QStringLiteral("config.json"), json({{QStringLiteral("notebook"), QJsonArray{QStringLiteral("nb")}}, {QStringLiteral("note"), noteIds}})});
    const QString path = m_temp.filePath(QStringLiteral("cancel.nsx"));
    QVERIFY(writeZip(path, entries));
    const ImportResult result = importNsx(path, store.database.get(), [](int current, int, const QString &) { return current < 3; });
    QVERIFY(result.cancelled);
    QCOMPARE(result.imported, 0);
    QCOMPARE(store.contents(), emptyStore());
}

void TestNsxImport::realExports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("notes");
    QTest::addColumn<int>("notebooks");
    QTest::addColumn<int>("attachments");
    QTest::addColumn<int>("trashed");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("2020 export, notes without content") << QStringLiteral("nsx/notestation-test-books.nsx") << 4 << 2 << 3 << 0
                                                        << QStringList{QStringLiteral("Empty note"), QStringLiteral("note with pdf attached")};
    QTest::newRow("nb_/note_ ids, trash, duplicate titles") << QStringLiteral("nsx/yanom_test.nsx") << 8 << 2 << 4 << 1
                                                            << QStringList{QStringLiteral("test page"), QStringLiteral("This is a duplicated title")};
    QTest::newRow("DSM 7, shared md5, null attachment") << QStringLiteral("nsx/jimmy_test5_demouser.nsx") << 3 << 2 << 4 << 0
                                                        << QStringList{QStringLiteral("notiz mit titel"), QStringLiteral("notiz ohne titel")};
}

void TestNsxImport::realExports()
{
    QFETCH(QString, file);
    QFETCH(int, notes);
    QFETCH(int, notebooks);
    QFETCH(int, attachments);
    QFETCH(int, trashed);
    QFETCH(QStringList, titles);
    const QString path = fixtureFile(file);
    if (path.isEmpty())
        QSKIP("The real export samples (shared/fixtures next to the source tree, or LUMORA_FIXTURES_DIR) are absent");
    Store store;
    QVERIFY(store.open());
    const ImportResult result = importNsx(path, store.database.get());
    QCOMPARE(result.imported, notes);
    QCOMPARE(result.notebooks, notebooks);
    QCOMPARE(result.attachments, attachments);
    QCOMPARE(result.skipped, 0);
    QCOMPARE(result.trashed, trashed);
    QCOMPARE(store.count(QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")), trashed);
    verifyRealImport(store, result, attachments, titles);
}

LUMORA_TEST_MAIN(TestNsxImport)
#include "tst_nsximport.moc"
