#include "features/backup.h"
#include "features/ziparchive.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include "databasefiles.h"
#include "testarchives.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

using LumoraTest::fileBytes;
using LumoraTest::writeBytes;

namespace {

QDateTime at(int day, int msec = 0)
{
    return QDateTime(QDate(2025, 1, day), QTime(10, 0).addMSecs(msec), Qt::UTC);
}

Notebook makeNotebook(const QString &id, const QString &name)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    notebook.createdAt = at(1, 1);
    notebook.updatedAt = at(2, 2);
    notebook.version = 3;
    notebook.syncStatus = SyncStatus::Synced;
    return notebook;
}

Note makeNote(const QString &id, const QString &notebookId, const QString &text, bool trashed = false)
{
    Note note;
    note.id = id;
    note.notebookId = notebookId;
    note.body = QString::fromUtf8(
        QJsonDocument(QJsonArray { QJsonObject { { QStringLiteral("insert"), QString(text + QLatin1Char('\n')) } } })
            .toJson(QJsonDocument::Compact));
    note.createdAt = at(3, 123);
    note.updatedAt = at(4, 456);
    note.modifiedAt = at(5, 789);
    if (trashed)
        note.deletedAt = at(6, 7);
    note.version = 5;
    note.syncStatus = SyncStatus::Synced;
    return note;
}

// One data directory with its database and repositories.
struct Library
{
    Library()
    {
        ok = database.open(databasePath()) && database.migrate();
        notes = std::make_unique<NoteRepository>(&database);
        notebooks = std::make_unique<NotebookRepository>(&database);
        attachments = std::make_unique<AttachmentRepository>(&database);
    }

    // Every stored note and notebook as text: equal texts, equal contents.
    QString tablesText() const
    {
        QSqlQuery q(database.db());
        const bool read = q.exec(QStringLiteral(
                            "SELECT (SELECT group_concat(r, ';') FROM (SELECT id || ':' || notebook_id || ':' || body "
                            "|| ':' || created_at || ':' || updated_at || ':' || modified_at || ':' || "
                            "ifnull(deleted_at, '-') || ':' || version AS r FROM notes ORDER BY id)) || ' | ' || "
                            "(SELECT group_concat(r, ';') FROM (SELECT id || ':' || name || ':' || is_default || ':' "
                            "|| is_shared || ':' || ifnull(owner_id, '') || ':' || created_at || ':' || updated_at "
                            "|| ':' || ifnull(deleted_at, '-') || ':' || version AS r FROM notebooks "
                            "WHERE deleted_at IS NULL ORDER BY id))")) && q.next();
        return read ? q.value(0).toString() : QStringLiteral("(unreadable)");
    }

    LumoraTest::ScopedDataDir dir;
    Database database;
    bool ok = false;
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<AttachmentRepository> attachments;
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// Fills a library with notebooks (one deleted), live and trashed notes and
// attachment files of a few kinds.
bool fillLibrary(Library *library)
{
    Notebook deleted = makeNotebook(QStringLiteral("nb-gone"), QStringLiteral("Gone"));
    deleted.deletedAt = at(9);
    Notebook shared = makeNotebook(QStringLiteral("nb-shared"), QStringLiteral("Family ✓"));
    shared.isShared = true;
    shared.ownerId = QStringLiteral("owner-7");
    return library->notebooks->insert(makeNotebook(QStringLiteral("nb-work"), QStringLiteral("Work")))
        && library->notebooks->insert(shared) && library->notebooks->insert(deleted)
        && library->notes->insert(makeNote(QStringLiteral("n-1"), QStringLiteral("nb-work"), QStringLiteral("Plan")))
        && library->notes->insert(makeNote(QStringLiteral("n-2"), QString(), QStringLiteral("Grüße \"quoted\" 🙂")))
        && library->notes->insert(makeNote(QStringLiteral("n-3"), QStringLiteral("nb-shared"),
                                           QStringLiteral("Old idea"), true))
        && library->notes->insert(makeNote(QStringLiteral("n-4"), QString(), QString(50000, QLatin1Char('z'))))
        && library->attachments->saveFile(QStringLiteral("a-photo"), randomBytes(300000))
        && library->attachments->saveFile(QStringLiteral("a-empty"), QByteArray())
        && library->attachments->saveFile(QStringLiteral("a-text"), "plain text");
}

QStringList entryNames(const QString &zipPath)
{
    ZipReader reader;
    QStringList names;
    if (reader.open(zipPath, nullptr)) {
        for (const ZipEntry &entry : reader.entries())
            names << entry.name;
    }
    names.sort();
    return names;
}

QJsonObject entryJson(const QString &zipPath, const QString &name)
{
    ZipReader reader;
    QByteArray bytes;
    if (!reader.open(zipPath, nullptr) || !reader.read(name, 1 << 20, &bytes, nullptr))
        return {};
    return QJsonDocument::fromJson(bytes).object();
}

// A backup of a filled library, made in its own data directory; its tables
// as text and its attachment files, when asked for.
QString makeBackup(const QString &folder, QString *tables = nullptr, QMap<QString, QByteArray> *files = nullptr)
{
    Library source;
    if (!source.ok || !fillLibrary(&source))
        return QString();
    const QString path = folder + QStringLiteral("/backup.zip");
    const BackupResult result = createBackup(path, &source.database);
    if (result.errors != 0 || result.imported != 4)
        return QString();
    if (tables)
        *tables = source.tablesText();
    if (files)
        *files = LumoraTest::fingerprint(source.attachments->directory());
    return path;
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sparseRecordsReadAsDefaults();
    void archiveLayout();
    void roundTripIntoEmptyLibrary();
    void restoreModes_data();
    void restoreModes();
    void badArchivesChangeNothing_data();
    void badArchivesChangeNothing();
    void malformedRecordIsCountedNotFatal();
    void failedBackupKeepsTheOldOne_data();
    void failedBackupKeepsTheOldOne();
    void restoreKilledHalfWayChangesNothing_data();
    void restoreKilledHalfWayChangesNothing();
};

// Whole libraries go round in roundTripIntoEmptyLibrary; here, what a record
// written by hand or by an older program reads as.
void TestBackup::sparseRecordsReadAsDefaults()
{
    const Note sparse = noteFromBackupJson(QJsonObject { { QStringLiteral("id"), QStringLiteral("s") },
                                                         { QStringLiteral("deletedAt"), QString() } });
    QCOMPARE(sparse.version, 1);
    QVERIFY(!sparse.deletedAt);
    QVERIFY(sparse.notebookId.isEmpty());
    QCOMPARE(sparse.syncStatus, SyncStatus::Pending);
    // A deleted record whose time cannot be read stays deleted, with a time
    // that survives the next backup.
    const Note unreadable = noteFromBackupJson(QJsonObject { { QStringLiteral("id"), QStringLiteral("u") },
                                                             { QStringLiteral("deletedAt"), QStringLiteral("2026-02;-01") } });
    QVERIFY(unreadable.deletedAt && unreadable.deletedAt->isValid());
    QCOMPARE(noteFromBackupJson(noteToBackupJson(unreadable)).deletedAt, unreadable.deletedAt);
}

void TestBackup::archiveLayout()
{
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("backup.zip"));
    {
        Library source;
        QVERIFY(source.ok && fillLibrary(&source));
        // Not a name the store gives its files: left out, as a restore
        // would refuse it.
        QVERIFY(writeBytes(source.attachments->directory() + QStringLiteral("/.leftover"), "x"));
        QCOMPARE(createBackup(path, &source.database).errors, 0);
    }
    QCOMPARE(entryNames(path),
             (QStringList { QStringLiteral("attachments/a-empty"), QStringLiteral("attachments/a-photo"),
                            QStringLiteral("attachments/a-text"), QStringLiteral("manifest.json"),
                            QStringLiteral("notebooks/nb-shared.json"), QStringLiteral("notebooks/nb-work.json"),
                            QStringLiteral("notes/n-1.json"), QStringLiteral("notes/n-2.json"),
                            QStringLiteral("notes/n-3.json"), QStringLiteral("notes/n-4.json") }));
    const QJsonObject manifest = entryJson(path, QStringLiteral("manifest.json"));
    QCOMPARE(manifest.value(QStringLiteral("version")).toInt(), 1);
    QCOMPARE(manifest.value(QStringLiteral("noteCount")).toInt(), 4);
    QCOMPARE(manifest.value(QStringLiteral("notebookCount")).toInt(), 2);
    QVERIFY(fromStoredTimestamp(manifest.value(QStringLiteral("exportedAt")).toString()).isValid());

    const QJsonObject trashed = entryJson(path, QStringLiteral("notes/n-3.json"));
    QCOMPARE(trashed.value(QStringLiteral("deletedAt")).toString(), QStringLiteral("2025-01-06T10:00:00.007Z"));
    QCOMPARE(trashed.value(QStringLiteral("notebookId")).toString(), QStringLiteral("nb-shared"));
    QVERIFY(!entryJson(path, QStringLiteral("notes/n-1.json")).contains(QStringLiteral("deletedAt")));
}

void TestBackup::roundTripIntoEmptyLibrary()
{
    QTemporaryDir out;
    QString sourceTables;
    QMap<QString, QByteArray> sourceFiles;
    const QString path = makeBackup(out.path(), &sourceTables, &sourceFiles);
    QVERIFY(!path.isEmpty());
    QCOMPARE(sourceFiles.size(), 3);

    Library target;
    QVERIFY(target.ok);
    BackupResult result = restoreBackup(path, &target.database, RestoreMode::Skip);
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, 6);
    QCOMPARE(result.skipped, 0);
    QCOMPARE(target.tablesText(), sourceTables);
    QCOMPARE(LumoraTest::fingerprint(target.attachments->directory()), sourceFiles);
    QCOMPARE(target.notes->trashed().size(), 1);
    QCOMPARE(target.notes->trashed().constFirst().id, QStringLiteral("n-3"));
    // Restored records wait to be synced, like any other change.
    QCOMPARE(target.notes->byId(QStringLiteral("n-1"))->syncStatus, SyncStatus::Pending);
    // And are found and listed like any stored note.
    const QList<Note> found = target.notes->search(QStringLiteral("plan"));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.constFirst().id, QStringLiteral("n-1"));
    QCOMPARE(target.notes->listRow(QStringLiteral("n-1"))->texts.title, QStringLiteral("Plan"));

    // Again into the same library: everything is already there.
    result = restoreBackup(path, &target.database, RestoreMode::Skip);
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, 0);
    QCOMPARE(result.skipped, 6);
    QCOMPARE(target.tablesText(), sourceTables);
    QCOMPARE(LumoraTest::fingerprint(target.attachments->directory()), sourceFiles);
}

void TestBackup::restoreModes_data()
{
    QTest::addColumn<RestoreMode>("mode");
    QTest::addColumn<int>("storedDay"); // the stored copy's updatedAt; the archive has day 4
    QTest::addColumn<bool>("replaced");

    QTest::newRow("skip, stored older") << RestoreMode::Skip << 1 << false;
    QTest::newRow("overwrite, stored newer") << RestoreMode::Overwrite << 20 << true;
    QTest::newRow("newer, stored older") << RestoreMode::Newer << 1 << true;
    QTest::newRow("newer, stored newer") << RestoreMode::Newer << 20 << false;
}

void TestBackup::restoreModes()
{
    QFETCH(RestoreMode, mode);
    QFETCH(int, storedDay);
    QFETCH(bool, replaced);

    QTemporaryDir out;
    const QString path = makeBackup(out.path());
    QVERIFY(!path.isEmpty());

    Library library;
    QVERIFY(library.ok);
    Note stored = makeNote(QStringLiteral("n-1"), QString(), QStringLiteral("Edited here"));
    stored.updatedAt = at(storedDay, 456);
    stored.isSample = true;
    QVERIFY(library.notes->insert(stored));
    Notebook storedBook = makeNotebook(QStringLiteral("nb-work"), QStringLiteral("Renamed here"));
    storedBook.updatedAt = at(storedDay, 2);
    QVERIFY(library.notebooks->insert(storedBook));

    const BackupResult result = restoreBackup(path, &library.database, mode);
    QCOMPARE(result.errors, 0);
    // Two records collide; the other three notes and one notebook are new.
    QCOMPARE(result.imported, 4 + (replaced ? 2 : 0));
    QCOMPARE(result.skipped, replaced ? 0 : 2);
    const Note after = *library.notes->byId(QStringLiteral("n-1"));
    QCOMPARE(noteTitle(after.body), replaced ? QStringLiteral("Plan") : QStringLiteral("Edited here"));
    QCOMPARE(after.notebookId, replaced ? QStringLiteral("nb-work") : QString());
    // What the archive does not carry is never lost by a replace.
    QCOMPARE(after.isSample, true);
    QCOMPARE(library.notebooks->byId(QStringLiteral("nb-work"))->name,
             replaced ? QStringLiteral("Work") : QStringLiteral("Renamed here"));
}

void TestBackup::badArchivesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("expectedError");

    QTemporaryDir out;
    const QString good = makeBackup(out.path());
    QVERIFY(!good.isEmpty());
    const QByteArray goodBytes = fileBytes(good);
    const QByteArray manifest("{\"version\": 1}");
    const QByteArray note = QJsonDocument(noteToBackupJson(makeNote(QStringLiteral("x"), QString(), QStringLiteral("x"))))
                                .toJson();
    using LumoraTest::RawEntry;

    QTest::newRow("truncated") << goodBytes.left(goodBytes.size() * 2 / 3) << "Cannot read archive";
    QTest::newRow("no manifest") << LumoraTest::rawZip({ RawEntry { "notes/x.json", note } })
                                 << "No manifest.json found";
    QTest::newRow("climbing attachment")
        << LumoraTest::rawZip({ RawEntry { "manifest.json", manifest },
                                RawEntry { "notes/x.json", note },
                                RawEntry { "attachments/../../evil", "evil" } })
        << "Unsafe entry name";
    QTest::newRow("note fails its checksum")
        << LumoraTest::rawZip({ RawEntry { "manifest.json", manifest },
                                RawEntry { "attachments/new-file", "fresh" },
                                RawEntry { "notes/x.json", note, -1, true } })
        << "notes/x.json";
    QTest::newRow("attachment fails its checksum")
        << LumoraTest::rawZip({ RawEntry { "manifest.json", manifest }, RawEntry { "notes/x.json", note },
                                RawEntry { "attachments/ok-file", "fresh" },
                                RawEntry { "attachments/bad-file", "broken", -1, true } })
        << "bad-file";
}

void TestBackup::badArchivesChangeNothing()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, expectedError);

    Library library;
    QVERIFY(library.ok && fillLibrary(&library));
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("bad.zip"));
    QVERIFY(writeBytes(path, archive));
    const QString tables = library.tablesText();
    const auto files = LumoraTest::fingerprint(library.attachments->directory());
    const QStringList dataFiles = QDir(library.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const BackupResult result = restoreBackup(path, &library.database, RestoreMode::Overwrite);
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QVERIFY2(result.errorMessage.contains(expectedError), qPrintable(result.errorMessage));
    QCOMPARE(library.tablesText(), tables);
    // No attachment file added, nothing written beside the database either.
    QCOMPARE(LumoraTest::fingerprint(library.attachments->directory()), files);
    QCOMPARE(QDir(library.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), dataFiles);
    QCOMPARE(fileBytes(path), archive);
}

void TestBackup::malformedRecordIsCountedNotFatal()
{
    const QByteArray good = QJsonDocument(noteToBackupJson(makeNote(QStringLiteral("good"), QString(), QStringLiteral("ok"))))
                                .toJson();
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("mixed.zip"));
    QVERIFY(writeBytes(path, LumoraTest::rawZip({ { "manifest.json", "{}" },
                                                  { "notes/broken.json", "{\"id\": \"broken\", " },
                                                  { "notes/no-id.json", "{\"body\": \"x\"}" },
                                                  { "notes/good.json", good } })));
    Library library;
    QVERIFY(library.ok);
    const BackupResult result = restoreBackup(path, &library.database, RestoreMode::Skip);
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.skipped, 0);
    QCOMPARE(result.errors, 2);
    QVERIFY2(result.errorMessage.contains(QLatin1String("notes/broken.json")), qPrintable(result.errorMessage));
    QVERIFY(library.notes->byId(QStringLiteral("good")));
    QCOMPARE(library.notes->all().size(), 1);
}

void TestBackup::failedBackupKeepsTheOldOne_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("folder is a file") << "folder is a file" << "Cannot write to the folder";
    QTest::newRow("attachment vanishes while writing") << "vanish" << "Cannot write backup";
    QTest::newRow("cancelled") << "cancel" << "Backup cancelled";
}

void TestBackup::failedBackupKeepsTheOldOne()
{
    QFETCH(QString, failure);
    QFETCH(QString, expectedError);

    Library library;
    QVERIFY(library.ok && fillLibrary(&library));
    QTemporaryDir out;
    QString folder = out.filePath(QStringLiteral("backups"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray old("an older backup");
    QVERIFY(writeBytes(folder + QStringLiteral("/backup.zip"), old));

    BackupProgress progress;
    if (failure == QLatin1String("folder is a file")) {
        folder = folder + QStringLiteral("/backup.zip");
    } else if (failure == QLatin1String("vanish")) {
        // Gone after it was listed, before the archive is written.
        const QString photo = library.attachments->filePath(QStringLiteral("a-photo"));
        progress = [photo](qint64 done, qint64) {
            if (done == 9)
                QFile::remove(photo);
            return true;
        };
    } else {
        progress = [](qint64 done, qint64 total) { return done < total / 2; };
    }
    const auto before = LumoraTest::fingerprint(out.path());

    const BackupResult result = createBackup(folder + QStringLiteral("/backup.zip"), &library.database, progress);
    QCOMPARE(result.errors, 1);
    QVERIFY2(result.errorMessage.startsWith(expectedError), qPrintable(result.errorMessage));
    // A reason follows, and the old backup and the folder are as they were.
    QVERIFY2(result.errorMessage.size() > expectedError.size() + 3 || failure == QLatin1String("cancel"),
             qPrintable(result.errorMessage));
    QCOMPARE(fileBytes(out.filePath(QStringLiteral("backups/backup.zip"))), old);
    QCOMPARE(LumoraTest::fingerprint(out.path()), before);
}

void TestBackup::restoreKilledHalfWayChangesNothing_data()
{
    QTest::addColumn<int>("killAtStep");
    // The archive of fillLibrary(): ten entries read, three attachment
    // files copied, two notebooks and four notes written, then the commit.
    QTest::newRow("copying attachment files") << 12;
    QTest::newRow("every note written, not committed") << 19;
}

void TestBackup::restoreKilledHalfWayChangesNothing()
{
#if !defined(Q_OS_UNIX)
    QSKIP("Kills a child process with a Unix signal");
#else
    QFETCH(int, killAtStep);
    QTemporaryDir out;
    QMap<QString, QByteArray> sourceFiles;
    QString sourceTables;
    const QString path = makeBackup(out.path(), &sourceTables, &sourceFiles);
    QVERIFY(!path.isEmpty());

    Library target;
    QVERIFY(target.ok);
    const QString emptyTables = target.tablesText();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMORA_KILLED_RESTORE"), path + QLatin1Char('|') + QString::number(killAtStep));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // The open transaction died with the process: no record of the archive.
    QCOMPARE(target.tablesText(), emptyTables);
    QSqlQuery check(target.database.db());
    QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
    QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
    // Files copied before the kill are whole.
    const auto files = LumoraTest::fingerprint(target.attachments->directory());
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QCOMPARE(it.value(), sourceFiles.value(it.key()));

    // And the same archive restores in full afterwards.
    const BackupResult result = restoreBackup(path, &target.database, RestoreMode::Skip);
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, 6);
    QCOMPARE(target.tablesText(), sourceTables);
    QCOMPARE(LumoraTest::fingerprint(target.attachments->directory()), sourceFiles);
#endif
}

// The child of restoreKilledHalfWayChangesNothing: restores into the data
// directory it inherited and dies without any cleanup at the given step.
static int killedRestore(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = qEnvironmentVariable("LUMORA_KILLED_RESTORE").split(QLatin1Char('|'));
    const int killAt = args.value(1).toInt();
    Database database;
    if (!database.open(databasePath()))
        return 2;
    restoreBackup(args.value(0), &database, RestoreMode::Skip, [killAt](qint64 done, qint64) {
        if (done >= killAt)
            std::raise(SIGKILL);
        return true;
    });
    return 3;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("LUMORA_KILLED_RESTORE"))
        return killedRestore(argc, argv);
    LumoraTest::TestEnvironment environment;
    QApplication app(argc, argv);
    TestBackup tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_backup.moc"
