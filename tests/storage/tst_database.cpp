#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "databasefiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

int schemaVersion(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

QStringList schemaObjects(const QSqlDatabase &db, const QString &type)
{
    QStringList names;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = ? AND name NOT LIKE 'sqlite_%' "
                             "AND name NOT LIKE 'notes_fts_%' ORDER BY name"));
    q.addBindValue(type);
    q.exec();
    while (q.next())
        names << q.value(0).toString();
    return names;
}

bool exec(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        qWarning() << "setup statement failed:" << sql << q.lastError().text();
        return false;
    }
    return true;
}

// A database as the previous release left it: schema version 1, a default
// notebook, and notes.notebook_id with a foreign key to notebooks.
void writeVersion1Database(const QString &path)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        const QStringList statements{
            QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"),
            QStringLiteral("CREATE TABLE notebooks (id TEXT PRIMARY KEY, name TEXT NOT NULL, is_default INTEGER "
                           "NOT NULL DEFAULT 0, is_shared INTEGER NOT NULL DEFAULT 0, owner_id TEXT, created_at "
                           "TEXT NOT NULL, updated_at TEXT NOT NULL, deleted_at TEXT, version INTEGER NOT NULL "
                           "DEFAULT 1, sync_status TEXT NOT NULL DEFAULT 'pending')"),
            QStringLiteral("CREATE TABLE notes (id TEXT PRIMARY KEY, notebook_id TEXT NOT NULL REFERENCES "
                           "notebooks(id), body TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL, updated_at "
                           "TEXT NOT NULL, modified_at TEXT NOT NULL, deleted_at TEXT, version INTEGER NOT NULL "
                           "DEFAULT 1, op_version INTEGER NOT NULL DEFAULT 0, sync_status TEXT NOT NULL DEFAULT "
                           "'pending', is_sample INTEGER NOT NULL DEFAULT 0, owner_id TEXT, is_shared INTEGER NOT "
                           "NULL DEFAULT 0, permission TEXT)"),
            QStringLiteral("CREATE INDEX idx_notes_notebook_id ON notes(notebook_id)"),
            QStringLiteral("CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')"),
            QStringLiteral("CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN INSERT INTO notes_fts(rowid, body) "
                           "VALUES (new.rowid, new.body); END"),
            QStringLiteral("CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN INSERT INTO notes_fts(notes_fts, "
                           "rowid, body) VALUES ('delete', old.rowid, old.body); END"),
            QStringLiteral("CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN INSERT INTO notes_fts(notes_fts, "
                           "rowid, body) VALUES ('delete', old.rowid, old.body); INSERT INTO notes_fts(rowid, body) "
                           "VALUES (new.rowid, new.body); END"),
            QStringLiteral("CREATE TABLE preferences (key TEXT PRIMARY KEY, value TEXT)"),
            QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES "
                           "('nb-default', 'Notes', 1, '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z')"),
            QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES "
                           "('nb-work', 'Work', 0, '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z')"),
            QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES "
                           "('n1', 'nb-default', '[{\"insert\":\"Groceries apples\\n\"}]', "
                           "'2024-01-02T00:00:00.000Z', '2024-01-02T00:00:00.000Z', '2024-01-02T00:00:00.000Z')"),
            QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES "
                           "('n2', 'nb-default', '[{\"insert\":\"Trip bicycles\\n\"}]', "
                           "'2024-01-03T00:00:00.000Z', '2024-01-03T00:00:00.000Z', '2024-01-03T00:00:00.000Z')"),
            QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, version) "
                           "VALUES ('n3', 'nb-work', '[{\"insert\":\"Budget cucumbers\\n\"}]', "
                           "'2024-01-04T00:00:00.000Z', '2024-01-04T00:00:00.000Z', '2024-01-04T00:00:00.000Z', 7)"),
        };
        for (const QString &sql : statements)
            QVERIFY(exec(db, sql));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QMap<QString, QString> notebookOfNotes(const QSqlDatabase &db)
{
    QMap<QString, QString> result;
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT id, notebook_id FROM notes"));
    while (q.next())
        result.insert(q.value(0).toString(), q.value(1).toString());
    return result;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshDataDirectory();
    void clientIdFileIsTrimmed();
    void upgradesVersion1();
    void secondMigrateChangesNothing();
    void failedMigrationKeepsVersion1_data();
    void failedMigrationKeepsVersion1();
    void refusesNegativeVersion();
    void dataDirectoryChecks_data();
    void dataDirectoryChecks();
    void fullCheckAfterOpen_data();
    void fullCheckAfterOpen();
    void corruptionErrors_data();
    void corruptionErrors();
};

void TestDatabase::freshDataDirectory()
{
    LumoraTest::ScopedDataDir dir;
    const QString id = clientId();
    QVERIFY(QUuid::fromString(id).isNull() == false);
    QCOMPARE(id.size(), 36);
    QCOMPARE(id, id.toLower());
    QCOMPARE(clientId(), id); // read back from the file, not made anew
    QCOMPARE(databasePath(), dir.path() + QStringLiteral("/lumora_notes_") + id + QStringLiteral(".db"));

    Database database;
    QSignalSpy applied(&database, &Database::migrationApplied);
    QVERIFY(database.open(databasePath()));
    QVERIFY(database.migrate());
    QCOMPARE(schemaVersion(database.db()), 2);
    QCOMPARE(applied.count(), 2);
    QCOMPARE(applied.at(0).at(0).toInt(), 1);
    QCOMPARE(applied.at(0).at(1).toString(), QStringLiteral("initial schema"));
    QCOMPARE(applied.at(1).at(1).toString(), QStringLiteral("drop default notebook + FK"));

    const QStringList tables{QStringLiteral("attachments"), QStringLiteral("note_operations"),
                             QStringLiteral("note_snapshots"), QStringLiteral("note_task_settings"),
                             QStringLiteral("notebooks"), QStringLiteral("notes"), QStringLiteral("notes_fts"),
                             QStringLiteral("preferences"), QStringLiteral("schema_version"),
                             QStringLiteral("sync_queue"), QStringLiteral("tasks")};
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("table")), tables);
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("trigger")),
             (QStringList{QStringLiteral("notes_ad"), QStringLiteral("notes_ai"), QStringLiteral("notes_au")}));
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("index")).size(), 15);

    QSqlQuery q(database.db());
    QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    QVERIFY(q.exec(QStringLiteral("PRAGMA foreign_keys")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
}

void TestDatabase::clientIdFileIsTrimmed()
{
    LumoraTest::ScopedDataDir dir;
    QFile file(dir.path() + QStringLiteral("/client_id"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("  1b4e28ba-2fa1-11d2-883f-0016d3cca427 \n");
    file.close();
    QCOMPARE(clientId(), QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));
    QVERIFY(databasePath().endsWith(QStringLiteral("/lumora_notes_1b4e28ba-2fa1-11d2-883f-0016d3cca427.db")));
}

void TestDatabase::upgradesVersion1()
{
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/v1.db");
    writeVersion1Database(path);
    if (QTest::currentTestFailed())
        return;

    Database database;
    QSignalSpy applied(&database, &Database::migrationApplied);
    QVERIFY(database.open(path));
    QVERIFY(database.migrate());
    QCOMPARE(schemaVersion(database.db()), 2);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.at(0).at(0).toInt(), 2);

    const QMap<QString, QString> expected{{QStringLiteral("n1"), QString()},
                                          {QStringLiteral("n2"), QString()},
                                          {QStringLiteral("n3"), QStringLiteral("nb-work")}};
    QCOMPARE(notebookOfNotes(database.db()), expected);

    QSqlQuery q(database.db());
    QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM notebooks WHERE is_default = 1")) && q.next());
    QCOMPARE(q.value(0).toInt(), 0);
    QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM pragma_foreign_key_list('notes')")) && q.next());
    QCOMPARE(q.value(0).toInt(), 0);

    NoteRepository notes(&database);
    const QStringList words{QStringLiteral("apples"), QStringLiteral("bicycles"), QStringLiteral("cucumbers")};
    const QStringList ids{QStringLiteral("n1"), QStringLiteral("n2"), QStringLiteral("n3")};
    for (int i = 0; i < words.size(); ++i) {
        const QList<Note> found = notes.search(words.at(i));
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().id, ids.at(i));
    }
    QCOMPARE(notes.byId(QStringLiteral("n3"))->version, 7);

    // The rebuilt table takes new notes and keeps indexing them.
    Note added;
    added.id = QStringLiteral("n4");
    added.body = QStringLiteral("[{\"insert\":\"Durian\\n\"}]");
    added.createdAt = added.updatedAt = added.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(notes.insert(added));
    QCOMPARE(notes.search(QStringLiteral("duri")).size(), 1);
}

void TestDatabase::secondMigrateChangesNothing()
{
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/v1.db");
    writeVersion1Database(path);
    if (QTest::currentTestFailed())
        return;
    {
        Database first;
        QVERIFY(first.open(path));
        QVERIFY(first.migrate());
    }
    Database again;
    QSignalSpy applied(&again, &Database::migrationApplied);
    QSignalSpy failed(&again, &Database::migrationError);
    QVERIFY(again.open(path));
    const QMap<QString, QString> before = notebookOfNotes(again.db());
    QVERIFY(again.migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(schemaVersion(again.db()), 2);
    QCOMPARE(notebookOfNotes(again.db()), before);
    QCOMPARE(NoteRepository(&again).search(QStringLiteral("apples")).size(), 1);
}

void TestDatabase::failedMigrationKeepsVersion1_data()
{
    QTest::addColumn<QString>("sabotage");

    // A leftover table makes the very first step fail.
    QTest::newRow("first step") << QStringLiteral("CREATE TABLE notes_new (x INTEGER)");
    // A trigger that refuses deletions makes the last step fail, after the
    // notes table has already been rebuilt.
    QTest::newRow("last step") << QStringLiteral(
        "CREATE TRIGGER keep_default BEFORE DELETE ON notebooks BEGIN SELECT RAISE(ABORT, 'kept'); END");
}

void TestDatabase::failedMigrationKeepsVersion1()
{
    QFETCH(QString, sabotage);
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/v1.db");
    writeVersion1Database(path);
    if (QTest::currentTestFailed())
        return;

    Database database;
    QSignalSpy failed(&database, &Database::migrationError);
    QVERIFY(database.open(path));
    QVERIFY(exec(database.db(), sabotage));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^migrateToV2 ")));
    QVERIFY(!database.migrate());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toInt(), 2);
    QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Failed to drop notebook FK"));

    QCOMPARE(schemaVersion(database.db()), 1);
    const QMap<QString, QString> expected{{QStringLiteral("n1"), QStringLiteral("nb-default")},
                                          {QStringLiteral("n2"), QStringLiteral("nb-default")},
                                          {QStringLiteral("n3"), QStringLiteral("nb-work")}};
    QCOMPARE(notebookOfNotes(database.db()), expected);
    QSqlQuery q(database.db());
    QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM notebooks WHERE is_default = 1")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM pragma_foreign_key_list('notes')")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QVERIFY(q.exec(QStringLiteral("PRAGMA foreign_keys")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(NoteRepository(&database).search(QStringLiteral("bicycles")).size(), 1);
}

void TestDatabase::refusesNegativeVersion()
{
    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(dir.path() + QStringLiteral("/neg.db")));
    QVERIFY(exec(database.db(), QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)")));
    QVERIFY(exec(database.db(), QStringLiteral("INSERT INTO schema_version VALUES (-3)")));
    QVERIFY(!database.migrate());
    QCOMPARE(schemaVersion(database.db()), -3);
}

void TestDatabase::dataDirectoryChecks_data()
{
    QTest::addColumn<QString>("entry"); // "file", "folder" or "" (nothing there)
    QTest::addColumn<bool>("probeAllows");
    QTest::addColumn<QString>("fragment"); // empty: accepted

    QTest::newRow("folder") << QStringLiteral("folder") << true << QString();
    QTest::newRow("read-only folder") << QStringLiteral("folder") << false << QStringLiteral("is not writable");
    QTest::newRow("file") << QStringLiteral("file") << true << QStringLiteral("is a file, not a folder");
    QTest::newRow("nothing") << QString() << true << QStringLiteral("does not exist and cannot be created");
}

void TestDatabase::dataDirectoryChecks()
{
    QFETCH(QString, entry);
    QFETCH(bool, probeAllows);
    QFETCH(QString, fragment);

    LumoraTest::ScopedDataDir root;
    const QString path = root.path() + QStringLiteral("/data");
    if (entry == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    if (entry == QLatin1String("file"))
        QVERIFY(LumoraTest::overwriteAt(path, 0, "x"));
    QStringList probed;
    const WritableProbe probe = [&](const QString &dir) {
        probed << dir;
        return probeAllows;
    };

    QString error;
    QCOMPARE(checkDataDirectory(path, &error, probe), fragment.isEmpty());
    QVERIFY2(error.contains(fragment) && (fragment.isEmpty() || error.contains(path)), qPrintable(error));
    // Only an existing folder is asked about.
    QCOMPARE(probed, entry == QLatin1String("folder") ? QStringList{path} : QStringList());
}

void TestDatabase::fullCheckAfterOpen_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("sound") << false;
    // The notes table is too big to check before the window shows, so this
    // damage gets past open() and is found by the check that follows.
    QTest::newRow("notes page damaged") << true;
}

void TestDatabase::fullCheckAfterOpen()
{
    QFETCH(bool, damaged);
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/check.db");
    QVERIFY(LumoraTest::writeDatabaseWithNotes(path, 60));
    if (damaged)
        QVERIFY(LumoraTest::overwriteRootPage(path, QStringLiteral("notes"), 0, QByteArray(16, '\x7f')));

    Database database;
    QSignalSpy found(&database, &Database::corruptionDetected);
    QString error;
    QVERIFY2(database.open(path, &error), qPrintable(error));
    QVERIFY(database.migrate(&error));
    if (damaged)
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Database: damage found in ")));
    database.startIntegrityCheck();
    QVERIFY(database.isIntegrityCheckRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!database.isIntegrityCheckRunning(), 20000);

    QCOMPARE(found.count(), damaged ? 1 : 0);
    QCOMPARE(database.isCorrupt(), damaged);
    if (damaged) {
        const QString message = found.first().first().toString();
        QVERIFY2(message.contains(path) && message.contains(QStringLiteral("is damaged")), qPrintable(message));
    }
    // After damage nothing more is written, not even to a sound table.
    QSqlQuery q(database.db());
    QCOMPARE(q.exec(QStringLiteral("INSERT INTO preferences VALUES ('k', 'v')")), !damaged);
}

void TestDatabase::corruptionErrors_data()
{
    QTest::addColumn<QString>("nativeCode");
    QTest::addColumn<bool>("corrupt");

    QTest::newRow("SQLITE_CORRUPT") << QStringLiteral("11") << true;
    QTest::newRow("SQLITE_CORRUPT_INDEX (extended)") << QStringLiteral("779") << true;
    QTest::newRow("SQLITE_NOTADB") << QStringLiteral("26") << true;
    QTest::newRow("SQLITE_BUSY") << QStringLiteral("5") << false;
    QTest::newRow("SQLITE_CONSTRAINT_UNIQUE (extended)") << QStringLiteral("2067") << false;
}

void TestDatabase::corruptionErrors()
{
    QFETCH(QString, nativeCode);
    QFETCH(bool, corrupt);

    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(dir.path() + QStringLiteral("/errors.db")));
    QSignalSpy found(&database, &Database::corruptionDetected);
    const QSqlError error(QStringLiteral("driver"), QStringLiteral("database disk image is malformed"),
                          QSqlError::StatementError, nativeCode);
    QCOMPARE(Database::isCorruptionError(error), corrupt);
    if (corrupt)
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Database: damage found in ")));
    database.reportError(error);
    database.reportError(error); // announced once
    QCOMPARE(found.count(), corrupt ? 1 : 0);
}

LUMORA_TEST_MAIN(TestDatabase)
#include "tst_database.moc"
