#include "features/ziparchive.h"

#include "testarchives.h"
#include "testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

using LumoraTest::fileBytes;
using LumoraTest::writeBytes;

namespace {

// Every file and folder under root, relative, sorted.
QStringList treeListing(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(root).relativeFilePath(it.next());
    names.sort();
    return names;
}

QByteArray compressibleBytes(int size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(QByteArray::number(QRandomGenerator::global()->bounded(1000)) + ' ');
    bytes.truncate(size);
    return bytes;
}

} // namespace

class TestZipArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsWhatTheWriterWrote();
    void hostileEntries_data();
    void hostileEntries();
    void brokenArchives_data();
    void brokenArchives();
    void corruptDataFailsOnRead();
};

void TestZipArchive::readsWhatTheWriterWrote()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    const QByteArray big = compressibleBytes(3 * 1024 * 1024 + 17);
    const QByteArray unicode = QStringLiteral("Grüße ✓").toUtf8();
    QString error;
    {
        ZipWriter writer;
        QVERIFY(writer.open(path, &error));
        QVERIFY(writer.addData(QStringLiteral("manifest.json"), "{}", &error));
        QVERIFY(writer.addData(QStringLiteral("notes/empty"), QByteArray(), &error));
        QVERIFY(writer.addData(QStringLiteral("notes/big.txt"), big, &error));
        QVERIFY(writer.addData(QStringLiteral("deep/er/ünï.txt"), unicode, &error));
        QVERIFY2(writer.commit(&error), qPrintable(error));
    }

    ZipReader reader;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QStringList names;
    for (const ZipEntry &entry : reader.entries())
        names << entry.name;
    QCOMPARE(names, (QStringList { QStringLiteral("manifest.json"), QStringLiteral("notes/empty"),
                                   QStringLiteral("notes/big.txt"), QStringLiteral("deep/er/ünï.txt") }));
    QCOMPARE(reader.entries().at(2).size, qint64(big.size()));
    QVERIFY(reader.contains(QStringLiteral("notes/empty")));
    QVERIFY(!reader.contains(QStringLiteral("notes")));

    QByteArray data;
    QVERIFY2(reader.read(QStringLiteral("notes/big.txt"), big.size(), &data, &error), qPrintable(error));
    QCOMPARE(data, big);
    QVERIFY2(reader.read(QStringLiteral("notes/empty"), 0, &data, &error), qPrintable(error));
    QVERIFY(data.isEmpty());
    // One byte under the size: refused before anything is inflated.
    data = "untouched";
    QVERIFY(!reader.read(QStringLiteral("notes/big.txt"), big.size() - 1, &data, &error));
    QVERIFY2(error.contains(QLatin1String("too large")), qPrintable(error));
    QCOMPARE(data, QByteArray("untouched"));
    QVERIFY(!reader.read(QStringLiteral("missing.txt"), 100, &data, &error));
    QVERIFY2(error.contains(QLatin1String("missing.txt")), qPrintable(error));

    const QString target = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
    for (const ZipEntry &entry : reader.entries())
        QVERIFY2(reader.extract(entry.name, target, 16 * 1024 * 1024, &error), qPrintable(error));
    QCOMPARE(fileBytes(target + QStringLiteral("/notes/big.txt")), big);
    QCOMPARE(fileBytes(target + QStringLiteral("/deep/er/ünï.txt")), unicode);
    QVERIFY(QFileInfo(target + QStringLiteral("/notes/empty")).isFile());
}

void TestZipArchive::hostileEntries_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("declaredSize");
    QTest::addColumn<bool>("badChecksum");
    QTest::addColumn<QString>("expectedError");

    const QByteArray payload("evil payload");
    QTest::newRow("parent folder") << QByteArray("../evil1.txt") << payload << qint64(-1) << false << "Unsafe entry name";
    QTest::newRow("declares 4 GB") << QByteArray("huge.bin") << payload << qint64(0xFFFFFFF0ll) << false
                                   << "too large";
    QTest::newRow("more than declared") << QByteArray("grows.bin") << payload << qint64(3) << false << "grows.bin";
    QTest::newRow("less than declared") << QByteArray("short.bin") << payload << qint64(payload.size() + 50)
                                        << false << "short.bin";
    QTest::newRow("bad checksum") << QByteArray("crc.bin") << payload << qint64(-1) << true << "crc.bin";
}

void TestZipArchive::hostileEntries()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, data);
    QFETCH(qint64, declaredSize);
    QFETCH(bool, badChecksum);
    QFETCH(QString, expectedError);

    QTemporaryDir outer;
    const QString target = outer.filePath(QStringLiteral("target"));
    QVERIFY(QDir().mkpath(target));
    const QString archive = outer.filePath(QStringLiteral("hostile.zip"));
    // A harmless neighbour shows that the archive itself was readable.
    QVERIFY(writeBytes(archive, LumoraTest::rawZip({ LumoraTest::RawEntry { "fine.txt", "fine", -1, false },
                                         LumoraTest::RawEntry { name, data, declaredSize, badChecksum } })));

    ZipReader reader;
    QString error;
    if (!reader.open(archive, &error)) {
        // libzip may already refuse the archive as inconsistent: also fine,
        // as long as it says so.
        QVERIFY(!error.isEmpty());
        QCOMPARE(treeListing(outer.path()), (QStringList { QStringLiteral("hostile.zip"), QStringLiteral("target") }));
        return;
    }
    QCOMPARE(reader.entries().size(), 2);
    const QString entryName = QString::fromUtf8(name);
    QVERIFY(reader.contains(entryName));
    QVERIFY2(reader.extract(QStringLiteral("fine.txt"), target, 1024, &error), qPrintable(error));

    error.clear();
    QVERIFY(!reader.extract(entryName, target, 1024 * 1024, &error));
    QVERIFY2(error.contains(expectedError), qPrintable(error));
    QByteArray bytes = "untouched";
    QString readError;
    const bool unsafeName = expectedError == QLatin1String("Unsafe entry name");
    // Reading into memory writes nowhere, so only the size checks apply.
    QCOMPARE(reader.read(entryName, 1024 * 1024, &bytes, &readError), unsafeName);
    if (!unsafeName) {
        QVERIFY2(readError.contains(expectedError), qPrintable(readError));
        QCOMPARE(bytes, QByteArray("untouched"));
    }

    QCOMPARE(treeListing(outer.path()),
             (QStringList { QStringLiteral("hostile.zip"), QStringLiteral("target"), QStringLiteral("target/fine.txt") }));
}

void TestZipArchive::brokenArchives_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("good.zip"));
    ZipWriter writer;
    QString error;
    writer.open(path, &error);
    writer.addData(QStringLiteral("manifest.json"), compressibleBytes(20000), &error);
    writer.addData(QStringLiteral("notes/a.json"), compressibleBytes(5000), &error);
    writer.commit(&error);
    const QByteArray good = fileBytes(path);
    QVERIFY(good.size() > 1000);

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut in half") << good.left(good.size() / 2);
}

void TestZipArchive::brokenArchives()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.zip"));
    QVERIFY(writeBytes(path, bytes));

    ZipReader reader;
    QString error;
    QVERIFY(!reader.open(path, &error));
    QVERIFY(!reader.isOpen());
    QVERIFY(reader.entries().isEmpty());
    // The file's name and libzip's cause after it.
    QVERIFY2(error.contains(QLatin1String("broken.zip: ")), qPrintable(error));
    QVERIFY2(error.size() > error.indexOf(QLatin1String(": ")) + 5, qPrintable(error));
    QCOMPARE(fileBytes(path), bytes);
}

void TestZipArchive::corruptDataFailsOnRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    const QByteArray text = compressibleBytes(200000);
    QString error;
    ZipWriter writer;
    QVERIFY(writer.open(path, &error));
    QVERIFY(writer.addData(QStringLiteral("a.txt"), text, &error));
    QVERIFY(writer.commit(&error));
    // Damage the compressed stream, leave the directory intact.
    QByteArray bytes = fileBytes(path);
    for (int i = 200; i < 260; ++i)
        bytes[i] = char(bytes.at(i) ^ 0x5A);
    QVERIFY(writeBytes(path, bytes));

    ZipReader reader;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QByteArray data;
    QVERIFY(!reader.read(QStringLiteral("a.txt"), text.size(), &data, &error));
    QVERIFY2(error.startsWith(QLatin1String("Cannot read \"a.txt\" in the archive: ")), qPrintable(error));
    const QString target = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
    QVERIFY(!reader.extract(QStringLiteral("a.txt"), target, text.size(), &error));
    // No partial file is left behind.
    QCOMPARE(treeListing(target), QStringList());
}

LUMORA_TEST_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
