#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "databasefiles.h"
#include "notegenerator.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <functional>

namespace {

// The first value of a one-row query, or -1 when it fails.
QVariant scalar(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0) : QVariant(-1);
}

int schemaVersion(const QSqlDatabase &db)
{
    return scalar(db, QStringLiteral("SELECT version FROM schema_version")).toInt();
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

// Schema of earlier releases, for databases written as they left them.
const QString kLegacyNotebooks = QStringLiteral(
    "CREATE TABLE notebooks (id TEXT PRIMARY KEY, name TEXT NOT NULL, is_default INTEGER NOT NULL DEFAULT 0, "
    "is_shared INTEGER NOT NULL DEFAULT 0, owner_id TEXT, created_at TEXT NOT NULL, updated_at TEXT NOT NULL, "
    "deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1, sync_status TEXT NOT NULL DEFAULT 'pending')");

const QString kDefaultNotebooks = QStringLiteral("SELECT COUNT(*) FROM notebooks WHERE is_default = 1");
const QString kNotesForeignKeys = QStringLiteral("SELECT COUNT(*) FROM pragma_foreign_key_list('notes')");

// Versions 1 and 2 indexed the raw body JSON, kept current by triggers.
const QString kLegacyIndex[] = {
    QStringLiteral("CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')"),
    QStringLiteral("CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN INSERT INTO notes_fts(rowid, body) "
                   "VALUES (new.rowid, new.body); END"),
    QStringLiteral("CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN INSERT INTO notes_fts(notes_fts, "
                   "rowid, body) VALUES ('delete', old.rowid, old.body); END"),
    QStringLiteral("CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN INSERT INTO notes_fts(notes_fts, "
                   "rowid, body) VALUES ('delete', old.rowid, old.body); INSERT INTO notes_fts(rowid, body) "
                   "VALUES (new.rowid, new.body); END"),
};

// The notes table of earlier releases; version 1 had a foreign key to notebooks.
QString legacyNotes(const QString &notebookColumn)
{
    return QStringLiteral("CREATE TABLE notes (id TEXT PRIMARY KEY, notebook_id TEXT NOT NULL %1, body TEXT NOT NULL "
                          "DEFAULT '', created_at TEXT NOT NULL, updated_at TEXT NOT NULL, modified_at TEXT NOT NULL, "
                          "deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1, op_version INTEGER NOT NULL DEFAULT 0, "
                          "sync_status TEXT NOT NULL DEFAULT 'pending', is_sample INTEGER NOT NULL DEFAULT 0, owner_id "
                          "TEXT, is_shared INTEGER NOT NULL DEFAULT 0, permission TEXT)")
        .arg(notebookColumn);
}

// Writes a database of an earlier release: schema `version`, its notes
// table, the old index and `extra` statements, then lets `fill` add rows.
void writeLegacyDatabase(const QString &path, int version, const QStringList &extra,
                         const std::function<void(QSqlDatabase &)> &fill = {})
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QStringList statements{
            QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version),
            kLegacyNotebooks,
            legacyNotes(version == 1 ? QStringLiteral("REFERENCES notebooks(id)") : QStringLiteral("DEFAULT ''")),
            QStringLiteral("CREATE INDEX idx_notes_notebook_id ON notes(notebook_id)"),
            QStringLiteral("CREATE TABLE preferences (key TEXT PRIMARY KEY, value TEXT)"),
        };
        for (const QString &sql : kLegacyIndex)
            statements << sql;
        for (const QString &sql : statements + extra)
            QVERIFY(exec(db, sql));
        if (fill)
            fill(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Version 1: a default notebook, and notes n1..n3 with one word each.
void writeVersion1Database(const QString &path)
{
    const QString notebook = QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at) "
                                            "VALUES ('%1', '%2', %3, '2024-01-01T00:00:00.000Z', "
                                            "'2024-01-01T00:00:00.000Z')");
    const QString note = QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, "
                                        "modified_at, version) VALUES ('%1', '%2', '[{\"insert\":\"%3\\n\"}]', "
                                        "'%4', '%4', '%4', %5)");
    writeLegacyDatabase(path, 1,
                        {notebook.arg(QStringLiteral("nb-default"), QStringLiteral("Notes"), QStringLiteral("1")),
                         notebook.arg(QStringLiteral("nb-work"), QStringLiteral("Work"), QStringLiteral("0")),
                         note.arg(QStringLiteral("n1"), QStringLiteral("nb-default"), QStringLiteral("Groceries apples"),
                                  QStringLiteral("2024-01-02T00:00:00.000Z"), QStringLiteral("1")),
                         note.arg(QStringLiteral("n2"), QStringLiteral("nb-default"), QStringLiteral("Trip bicycles"),
                                  QStringLiteral("2024-01-03T00:00:00.000Z"), QStringLiteral("1")),
                         note.arg(QStringLiteral("n3"), QStringLiteral("nb-work"), QStringLiteral("Budget cucumbers"),
                                  QStringLiteral("2024-01-04T00:00:00.000Z"), QStringLiteral("7"))});
}

// The word that only note i of a generated version-2 database contains:
// three letters after the stem, so no tokenizer splits it and none is a
// prefix of another.
QString uniqueWord(int i)
{
    QString word = QStringLiteral("qzx");
    for (int n = i, k = 0; k < 3; ++k, n /= 26)
        word.append(QLatin1Char(char('a' + n % 26)));
    return word;
}

// Version 2: `count` generated notes (tables, links, embeds), note i
// carrying uniqueWord(i).
void writeVersion2Database(const QString &path, int count, QStringList *bodies)
{
    const QStringList extra{
        QStringLiteral("CREATE INDEX idx_notes_updated_at ON notes(updated_at)"),
        QStringLiteral("CREATE INDEX idx_notes_deleted_at ON notes(deleted_at)"),
        QStringLiteral("CREATE TABLE note_snapshots (id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES "
                       "notes(id), version INTEGER NOT NULL, body TEXT NOT NULL, created_at TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE note_task_settings (note_id TEXT PRIMARY KEY REFERENCES notes(id), "
                       "include_in_todos INTEGER NOT NULL DEFAULT 1)"),
    };
    writeLegacyDatabase(path, 2, extra, [&](QSqlDatabase &db) {
        GeneratorOptions options;
        options.count = count;
        options.seed = 3;
        options.now = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
        NoteGenerator generator(options);
        QVERIFY(db.transaction());
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(QStringLiteral("INSERT INTO notes (id, body, created_at, updated_at, modified_at) "
                                              "VALUES (?, ?, ?, ?, ?)")));
        for (int i = 0; i < count; ++i) {
            bodies->append(generator.body({uniqueWord(i)}));
            insert.bindValue(0, QStringLiteral("n%1").arg(i));
            insert.bindValue(1, bodies->last());
            for (int column = 2; column < 5; ++column)
                insert.bindValue(column, QStringLiteral("2024-01-02T00:00:00.000Z"));
            QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
        }
        insert.finish();
        QVERIFY(db.commit());
    });
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
    void failedMigrationKeepsVersion1_data();
    void failedMigrationKeepsVersion1();
    void refusesNegativeVersion();
    void dataDirectoryChecks_data();
    void dataDirectoryChecks();
    void damageFound_data();
    void damageFound();
    void corruptionErrors_data();
    void corruptionErrors();
    void upgradesVersion2Index();
    void failedIndexMigrationKeepsVersion2_data();
    void failedIndexMigrationKeepsVersion2();
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
    QCOMPARE(schemaVersion(database.db()), 3);
    QCOMPARE(applied.count(), 3);

    QCOMPARE(scalar(database.db(), QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    QCOMPARE(scalar(database.db(), QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
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
    QCOMPARE(schemaVersion(database.db()), 3);
    QCOMPARE(applied.count(), 2);
    QCOMPARE(applied.at(0).at(0).toInt(), 2);

    const QMap<QString, QString> expected{{QStringLiteral("n1"), QString()},
                                          {QStringLiteral("n2"), QString()},
                                          {QStringLiteral("n3"), QStringLiteral("nb-work")}};
    QCOMPARE(notebookOfNotes(database.db()), expected);

    QCOMPARE(scalar(database.db(), kDefaultNotebooks).toInt(), 0);
    QCOMPARE(scalar(database.db(), kNotesForeignKeys).toInt(), 0);

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

    // A second migrate finds nothing to do and changes nothing.
    Database again;
    QSignalSpy appliedAgain(&again, &Database::migrationApplied);
    QSignalSpy failed(&again, &Database::migrationError);
    QVERIFY(again.open(path));
    const QMap<QString, QString> before = notebookOfNotes(again.db());
    QVERIFY(again.migrate());
    QCOMPARE(appliedAgain.count(), 0);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(schemaVersion(again.db()), 3);
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
    QCOMPARE(scalar(database.db(), kDefaultNotebooks).toInt(), 1);
    QCOMPARE(scalar(database.db(), kNotesForeignKeys).toInt(), 1);
    QCOMPARE(scalar(database.db(), QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
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

void TestDatabase::damageFound_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<bool>("byRead"); // else by the full check after open

    // The notes table is too big to check before the window shows, so this
    // damage gets past open() and is found later. The sound rows follow
    // damaged ones: damage is a matter of one database only.
    QTest::newRow("notes page damaged, full check") << true << false;
    QTest::newRow("sound, full check") << false << false;
    QTest::newRow("notes page damaged, read") << true << true;
    QTest::newRow("sound, read") << false << true;
}

void TestDatabase::damageFound()
{
    QFETCH(bool, damaged);
    QFETCH(bool, byRead);
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/check.db");
    QVERIFY(LumoraTest::writeDatabaseWithNotes(path, 60));
    if (damaged)
        QVERIFY(LumoraTest::overwriteRootPage(path, QStringLiteral("notes"), 0, QByteArray(16, '\x7f')));

    Database database;
    QSignalSpy found(&database, &Database::corruptionDetected);
    QString error;
    QVERIFY2(database.open(path, &error), qPrintable(error));
    if (damaged)
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Database: damage found in ")));
    if (byRead) {
        // A damaged read must not pass for an empty library without a word.
        QCOMPARE(NoteRepository(&database).all().size(), damaged ? 0 : 60);
    } else {
        QVERIFY(database.migrate(&error));
        database.startIntegrityCheck();
        QVERIFY(database.isIntegrityCheckRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!database.isIntegrityCheckRunning(), 20000);
    }

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

void TestDatabase::upgradesVersion2Index()
{
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/v2.db");
    const int count = 1000;
    QStringList bodies;
    writeVersion2Database(path, count, &bodies);
    if (QTest::currentTestFailed())
        return;

    Database database;
    QSignalSpy applied(&database, &Database::migrationApplied);
    QVERIFY(database.open(path));
    QVERIFY(database.migrate());
    QCOMPARE(schemaVersion(database.db()), 3);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.at(0).at(0).toInt(), 3);
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("trigger")), QStringList{QStringLiteral("notes_index_ad")});

    // Every note is found by its own word, and by nothing of the JSON.
    NoteRepository notes(&database);
    for (int i = 0; i < count; ++i) {
        const QList<qint64> found = notes.searchRowIds(uniqueWord(i));
        QCOMPARE(found.size(), 1);
        QCOMPARE(notes.listRows(found).first().id, QStringLiteral("n%1").arg(i));
    }
    for (const char *json : {"insert", "attributes", "bold", "cells", "hasHeader", "https"})
        QVERIFY2(notes.searchRowIds(QLatin1String(json)).isEmpty(), json);

    // The list texts were filled from the bodies.
    const QList<NoteListRow> rows = notes.listRows(notes.listRowIds());
    QCOMPARE(rows.size(), count);
    for (const NoteListRow &row : rows) {
        const NoteListTexts expected = noteListTexts(bodies.at(row.id.mid(1).toInt()));
        QCOMPARE(row.texts.title, expected.title);
        QCOMPARE(row.texts.preview, expected.preview);
    }
}

void TestDatabase::failedIndexMigrationKeepsVersion2_data()
{
    QTest::addColumn<QString>("sabotage");

    // A leftover table fails the migration once the old index is dropped.
    QTest::newRow("early step") << QStringLiteral("CREATE TABLE note_list_texts (x INTEGER)");
    // A name already taken fails the last step, after every note is indexed.
    QTest::newRow("last step") << QStringLiteral("CREATE INDEX idx_notes_notebook_updated ON notebooks(name)");
}

void TestDatabase::failedIndexMigrationKeepsVersion2()
{
    QFETCH(QString, sabotage);
    LumoraTest::ScopedDataDir dir;
    const QString path = dir.path() + QStringLiteral("/v2.db");
    QStringList bodies;
    writeVersion2Database(path, 20, &bodies);
    if (QTest::currentTestFailed())
        return;

    Database database;
    QSignalSpy failed(&database, &Database::migrationError);
    QVERIFY(database.open(path));
    QVERIFY(exec(database.db(), sabotage));
    const QStringList tablesBefore = schemaObjects(database.db(), QStringLiteral("table"));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^migrateToV3 ")));
    QVERIFY(!database.migrate());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toInt(), 3);

    QCOMPARE(schemaVersion(database.db()), 2);
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("table")), tablesBefore);
    QCOMPARE(schemaObjects(database.db(), QStringLiteral("trigger")),
             (QStringList{QStringLiteral("notes_ad"), QStringLiteral("notes_ai"), QStringLiteral("notes_au")}));
    // The old index over the JSON is intact and still kept by its triggers.
    const QString matches = QStringLiteral("SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH '%1'");
    QCOMPARE(scalar(database.db(), matches.arg(QStringLiteral("insert"))).toInt(), 20);
    QVERIFY(exec(database.db(), QStringLiteral("UPDATE notes SET body = '[{\"insert\":\"zebra\\n\"}]' "
                                               "WHERE id = 'n0'")));
    QCOMPARE(scalar(database.db(), matches.arg(QStringLiteral("zebra"))).toInt(), 1);
}

LUMORA_TEST_MAIN(TestDatabase)
#include "tst_database.moc"
