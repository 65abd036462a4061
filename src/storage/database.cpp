#include "database.h"

#include "searchindex.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QtEndian>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using SteadyClock = std::chrono::steady_clock;

// When a connection of this program last found the write lock taken.
std::atomic<SteadyClock::rep> lastBusyWait { 0 };

// SQLite's own handler sleeps longer and longer (up to 100 ms) between
// tries, so a save waiting behind an import that commits in parts kept
// missing the moments between the parts. This one tries every millisecond
// for the same five seconds and says that someone waits.
int retryEveryMillisecond(void *, int tries)
{
    constexpr int Tries = 5000;
    if (tries >= Tries)
        return 0;
    lastBusyWait = SteadyClock::now().time_since_epoch().count();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

void installBusyHandler(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData()))
            sqlite3_busy_handler(connection, retryEveryMillisecond, nullptr);
    }
}

} // namespace

void Database::letWaitingWritersIn()
{
    // A waiting writer tries again every millisecond; once it has the lock it
    // stops, and a few quiet milliseconds say it is through.
    const auto quietFor = std::chrono::milliseconds(3);
    const SteadyClock::time_point giveUp = SteadyClock::now() + std::chrono::milliseconds(500);
    while (SteadyClock::now() < giveUp
           && SteadyClock::now() - SteadyClock::time_point(SteadyClock::duration(lastBusyWait.load())) < quietFor)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

namespace {

constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString notADatabaseMessage(const QString &path)
{
    return QStringLiteral("The file %1 is not a Lumora Notes database. It was left as it is; move it away to start "
                          "with an empty database.")
        .arg(nativePath(path));
}

QString damagedMessage(const QString &path, const QString &detail)
{
    return QStringLiteral("The database %1 is damaged (%2). It was left as it is; restore it from a backup.")
        .arg(nativePath(path), detail);
}

QString newerVersionMessage(const QString &path, int version)
{
    return QStringLiteral("The database %1 was written by a newer version of Lumora Notes (schema version %2; this "
                          "version reads up to %3). It was left as it is; please install the newer version.")
        .arg(nativePath(path))
        .arg(version)
        .arg(Database::SchemaVersion);
}

QString messageForError(const QString &path, const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    if (code == SqliteNotADatabase)
        return notADatabaseMessage(path);
    if (code == SqliteCorrupt)
        return damagedMessage(path, error.databaseText());
    return QStringLiteral("The database %1 cannot be read: %2").arg(nativePath(path), error.text());
}

// What the first 100 bytes say, read before SQLite touches the file: SQLite
// would take a foreign file for a database in some cases and report it only
// later, and a file cut short looks sound until its missing pages are read.
enum class HeaderState { Sound, NotADatabase, Damaged };

HeaderState inspectHeader(const QString &path, QString *detail)
{
    QFile file(path);
    if (file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return HeaderState::Sound; // new, or SQLite reports why it cannot open it
    const QByteArray header = file.read(100);
    if (header.size() < 100 || header.left(16) != QByteArray("SQLite format 3\0", 16))
        return HeaderState::NotADatabase;
    const auto be32 = [&header](int offset) { return qFromBigEndian<quint32>(header.constData() + offset); };
    const quint32 rawPageSize = qFromBigEndian<quint16>(header.constData() + 16);
    const qint64 pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        return HeaderState::NotADatabase;
    // The page count is trustworthy only when the header says so (the change
    // counter matches "version valid for"), and only without a write-ahead
    // log: a checkpoint cut short writes page 1 before the pages that follow,
    // and the log still holds them.
    const qint64 pages = be32(28);
    const bool countValid = be32(24) == be32(92);
    if (countValid && pages > 0 && QFileInfo(path + QStringLiteral("-wal")).size() == 0
        && pages * pageSize > file.size()) {
        *detail = QStringLiteral("the file holds %1 of its %2 bytes").arg(file.size()).arg(pages * pageSize);
        return HeaderState::Damaged;
    }
    return HeaderState::Sound;
}

// The findings of a quick_check that ran on q: empty when it said "ok".
QString checkFindings(QSqlQuery &q)
{
    constexpr int Shown = 3;
    QStringList findings;
    bool more = false;
    while (q.next()) {
        // One row may hold several lines, the first "*** in database main ***".
        const QStringList lines = q.value(0).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("***")))
                continue;
            if (findings.size() == Shown)
                more = true;
            else
                findings << line.trimmed();
        }
    }
    q.finish();
    if (findings == QStringList{QStringLiteral("ok")})
        return {};
    if (findings.isEmpty())
        return QStringLiteral("the check found errors");
    return findings.join(QStringLiteral("; ")) + (more ? QStringLiteral("; …") : QString());
}

// Runs on a worker thread, on a read-only connection of its own; returns
// what is wrong, or nothing.
QString quickCheckProblem(const QString &path)
{
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA quick_check"))) {
                if (Database::isCorruptionError(q.lastError()))
                    problem = q.lastError().databaseText();
            } else {
                problem = checkFindings(q);
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

// The notes table is written twice (initial schema and the v2 rebuild), so its
// column list lives in one place.
QString notesColumns()
{
    return QStringLiteral(
        "  id TEXT PRIMARY KEY,"
        "  notebook_id TEXT NOT NULL DEFAULT '',"
        "  body TEXT NOT NULL DEFAULT '',"
        "  created_at TEXT NOT NULL,"
        "  updated_at TEXT NOT NULL,"
        "  modified_at TEXT NOT NULL,"
        "  deleted_at TEXT DEFAULT NULL,"
        "  version INTEGER NOT NULL DEFAULT 1,"
        "  op_version INTEGER NOT NULL DEFAULT 0,"
        "  sync_status TEXT NOT NULL DEFAULT 'pending',"
        "  is_sample INTEGER NOT NULL DEFAULT 0,"
        "  owner_id TEXT DEFAULT NULL,"
        "  is_shared INTEGER NOT NULL DEFAULT 0,"
        "  permission TEXT DEFAULT NULL");
}

const char *const kNotesIndexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_notes_notebook_id ON notes(notebook_id)",
    "CREATE INDEX IF NOT EXISTS idx_notes_updated_at ON notes(updated_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_modified_at ON notes(modified_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_deleted_at ON notes(deleted_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_sync_status ON notes(sync_status)",
};

const char *const kNotesTriggers[] = {
    "CREATE TRIGGER IF NOT EXISTS notes_ai AFTER INSERT ON notes BEGIN"
    "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
    " END",
    "CREATE TRIGGER IF NOT EXISTS notes_ad AFTER DELETE ON notes BEGIN"
    "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
    " END",
    "CREATE TRIGGER IF NOT EXISTS notes_au AFTER UPDATE ON notes BEGIN"
    "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
    "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
    " END",
};

QStringList initialSchemaStatements()
{
    QStringList s;
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS notebooks ("
        "  id TEXT PRIMARY KEY,"
        "  name TEXT NOT NULL,"
        "  is_default INTEGER NOT NULL DEFAULT 0,"
        "  is_shared INTEGER NOT NULL DEFAULT 0,"
        "  owner_id TEXT DEFAULT NULL,"
        "  created_at TEXT NOT NULL,"
        "  updated_at TEXT NOT NULL,"
        "  deleted_at TEXT DEFAULT NULL,"
        "  version INTEGER NOT NULL DEFAULT 1,"
        "  sync_status TEXT NOT NULL DEFAULT 'pending')");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_notebooks_deleted_at ON notebooks(deleted_at)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_notebooks_sync_status ON notebooks(sync_status)");
    s << QStringLiteral("CREATE TABLE IF NOT EXISTS notes (") + notesColumns() + QStringLiteral(")");
    for (const char *sql : kNotesIndexes)
        s << QString::fromLatin1(sql);
    s << QStringLiteral(
        "CREATE VIRTUAL TABLE IF NOT EXISTS notes_fts USING fts5("
        "body, content='notes', content_rowid='rowid')");
    for (const char *sql : kNotesTriggers)
        s << QString::fromLatin1(sql);
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS note_operations ("
        "  id TEXT PRIMARY KEY,"
        "  note_id TEXT NOT NULL REFERENCES notes(id),"
        "  base_version INTEGER NOT NULL,"
        "  result_version INTEGER NOT NULL,"
        "  operation TEXT NOT NULL,"
        "  created_at TEXT NOT NULL,"
        "  synced INTEGER NOT NULL DEFAULT 0)");
    s << QStringLiteral(
        "CREATE INDEX IF NOT EXISTS idx_note_operations_version ON note_operations(note_id, result_version)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_note_operations_synced ON note_operations(synced)");
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS note_snapshots ("
        "  id TEXT PRIMARY KEY,"
        "  note_id TEXT NOT NULL REFERENCES notes(id),"
        "  version INTEGER NOT NULL,"
        "  body TEXT NOT NULL,"
        "  created_at TEXT NOT NULL,"
        "  UNIQUE(note_id, version))");
    s << QStringLiteral(
        "CREATE INDEX IF NOT EXISTS idx_note_snapshots_version ON note_snapshots(note_id, version DESC)");
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS attachments ("
        "  id TEXT PRIMARY KEY,"
        "  note_id TEXT NOT NULL REFERENCES notes(id),"
        "  filename TEXT NOT NULL,"
        "  mime_type TEXT NOT NULL,"
        "  size_bytes INTEGER NOT NULL,"
        "  created_at TEXT NOT NULL,"
        "  sync_status TEXT NOT NULL DEFAULT 'pending')");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_attachments_note_id ON attachments(note_id)");
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS sync_queue ("
        "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
        "  entity_type TEXT NOT NULL,"
        "  entity_id TEXT NOT NULL,"
        "  action TEXT NOT NULL,"
        "  payload TEXT,"
        "  created_at TEXT NOT NULL,"
        "  attempts INTEGER NOT NULL DEFAULT 0)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_sync_queue_entity ON sync_queue(entity_type, entity_id)");
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS tasks ("
        "  id TEXT PRIMARY KEY,"
        "  note_id TEXT NOT NULL REFERENCES notes(id),"
        "  text TEXT NOT NULL,"
        "  is_completed INTEGER NOT NULL DEFAULT 0,"
        "  source TEXT NOT NULL,"
        "  line_index INTEGER NOT NULL,"
        "  char_offset INTEGER NOT NULL,"
        "  due_date TEXT,"
        "  due_date_phrase TEXT,"
        "  extracted_at TEXT NOT NULL,"
        "  note_updated_at TEXT NOT NULL)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_tasks_note_id ON tasks(note_id)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_tasks_completed ON tasks(is_completed)");
    s << QStringLiteral("CREATE INDEX IF NOT EXISTS idx_tasks_due_date ON tasks(due_date)");
    s << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS note_task_settings ("
        "  note_id TEXT PRIMARY KEY REFERENCES notes(id),"
        "  include_in_todos INTEGER NOT NULL DEFAULT 1)");
    s << QStringLiteral("CREATE TABLE IF NOT EXISTS preferences (  key TEXT PRIMARY KEY,  value TEXT)");
    return s;
}

} // namespace

namespace {
// Every open Database of this thread, so that a failed query can find the
// one that ran it. Per thread: a worker (backup, restore) has connections of
// its own, and a connection is only ever used by the thread that made it.
QList<Database *> &liveDatabases()
{
    thread_local QList<Database *> databases;
    return databases;
}
} // namespace

Database::Database(QObject *parent)
    : QObject(parent)
    , m_connectionName(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    liveDatabases().append(this);
}

void Database::reportQueryError(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    if (!isCorruptionError(error))
        return;
    for (Database *database : std::as_const(liveDatabases())) {
        if (database->m_db.isValid() && database->m_db.driver() == query.driver()) {
            database->reportError(error);
            return;
        }
    }
}

Database::~Database()
{
    liveDatabases().removeAll(this);
    if (m_checkThread) {
        m_checkThread->wait();
        delete m_checkThread;
    }
    if (m_db.isOpen())
        m_db.close();
    // The handle must be gone before the connection can be removed.
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::open(const QString &path, QString *error)
{
    QString problem;
    const auto fail = [&] {
        qCritical().noquote() << "Database::open:" << problem;
        if (error)
            *error = problem;
        if (m_db.isOpen())
            m_db.close();
        return false;
    };

    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);

    QString detail;
    switch (inspectHeader(path, &detail)) {
    case HeaderState::NotADatabase:
        problem = notADatabaseMessage(path);
        return fail();
    case HeaderState::Damaged:
        problem = damagedMessage(path, detail);
        return fail();
    case HeaderState::Sound:
        break;
    }

    m_path = path;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    if (!m_db.open()) {
        qCritical().noquote() << "Failed to open database:" << m_db.lastError().text();
        problem = QStringLiteral("The database %1 cannot be opened: %2").arg(nativePath(path), m_db.lastError().text());
        return fail();
    }
    // Only reads until the file proved sound: switching to WAL would already
    // write to a file that is not ours to change.
    if (!checkOpenedFile(&problem))
        return fail();

    installBusyHandler(m_db);
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    qInfo().noquote() << "Database opened:" << path;
    return true;
}

bool Database::checkOpenedFile(QString *error)
{
    QSqlQuery q(m_db);
    // The schema is read by the first statement: a foreign or damaged file
    // fails here. The small tables get their page check too (well under a
    // millisecond); the large ones are left to startIntegrityCheck().
    QStringList tables;
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        *error = messageForError(m_path, q.lastError());
        return false;
    }
    while (q.next())
        tables << q.value(0).toString();
    const QStringList smallTables{QStringLiteral("schema_version"), QStringLiteral("preferences"),
                                  QStringLiteral("notebooks")};
    for (const QString &table : smallTables) {
        if (!tables.contains(table))
            continue;
        if (!q.exec(QStringLiteral("PRAGMA quick_check('%1')").arg(table))) {
            *error = messageForError(m_path, q.lastError());
            return false;
        }
        const QString findings = checkFindings(q);
        if (!findings.isEmpty()) {
            *error = damagedMessage(m_path, findings);
            return false;
        }
    }
    if (!tables.contains(QStringLiteral("schema_version")))
        return true;
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1"))) {
        *error = messageForError(m_path, q.lastError());
        return false;
    }
    if (q.next() && q.value(0).toInt() > SchemaVersion) {
        *error = newerVersionMessage(m_path, q.value(0).toInt());
        return false;
    }
    return true;
}

bool Database::isCorruptionError(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok && (code == SqliteCorrupt || code == SqliteNotADatabase);
}

void Database::reportError(const QSqlError &error)
{
    if (isCorruptionError(error))
        markCorrupt(error.databaseText());
}

void Database::markCorrupt(const QString &detail)
{
    if (m_corrupt)
        return;
    m_corrupt = true;
    qCritical().noquote() << "Database: damage found in" << m_path << ":" << detail;
    // Writing on would spread the damage; reading on lets the user copy out
    // what is still there.
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA query_only=ON"));
    Q_EMIT corruptionDetected(damagedMessage(m_path, detail)
                              + QStringLiteral(" Changes are no longer saved; copy out what you need and quit."));
}

void Database::startIntegrityCheck()
{
    if (m_checkThread || !m_db.isOpen())
        return;
    struct Outcome
    {
        QString problem;
        qint64 elapsedMs = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    const QString path = m_path;
    m_checkThread = QThread::create([path, outcome] {
        QElapsedTimer timer;
        timer.start();
        outcome->problem = quickCheckProblem(path);
        outcome->elapsedMs = timer.elapsed();
    });
    connect(m_checkThread, &QThread::finished, this, [this, outcome] {
        m_checkThread->deleteLater();
        m_checkThread = nullptr;
        if (!outcome->problem.isEmpty())
            markCorrupt(outcome->problem);
        else
            qInfo().noquote() << "Database: full check passed in" << outcome->elapsedMs << "ms";
    });
    m_checkThread->start(QThread::LowPriority);
}

bool Database::storeVersion(int version)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    return q.exec();
}

bool Database::migrate(QString *error)
{
    QSqlQuery q(m_db);
    // A newer program's database is refused before anything here writes.
    if (q.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1")) && q.next()
        && q.value(0).toInt() > SchemaVersion) {
        if (error)
            *error = newerVersionMessage(m_path, q.value(0).toInt());
        return false;
    }
    if (Database::isCorruptionError(q.lastError())) {
        reportError(q.lastError());
        if (error)
            *error = messageForError(m_path, q.lastError());
        return false;
    }
    q.finish();
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)"))) {
        qCritical() << "Failed to create schema_version table";
        return false;
    }

    if (!q.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1")))
        return false;
    int version = 0;
    if (q.next()) {
        version = q.value(0).toInt();
        if (version < 0)
            return false;
    } else {
        q.finish();
        if (!q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)")))
            return false;
    }
    q.finish();

    if (version < 1) {
        qInfo() << "Running migration 1: initial schema";
        if (!createInitialSchema()) {
            Q_EMIT migrationError(1, QStringLiteral("Failed to create initial schema"));
            return false;
        }
        if (!storeVersion(1))
            return false;
        Q_EMIT migrationApplied(1, QStringLiteral("initial schema"));
    }

    if (version < 2) {
        qInfo() << "Running migration 2: drop default notebook + FK on notes.notebook_id";
        if (!migrateToV2()) {
            Q_EMIT migrationError(2, QStringLiteral("Failed to drop notebook FK"));
            return false;
        }
        if (!storeVersion(2))
            return false;
        Q_EMIT migrationApplied(2, QStringLiteral("drop default notebook + FK"));
    }

    if (version < 3) {
        qInfo() << "Running migration 3: index the visible text of notes";
        // Stores version 3 itself, inside its transaction.
        if (!migrateToV3()) {
            Q_EMIT migrationError(3, QStringLiteral("Failed to rebuild the search index"));
            return false;
        }
        Q_EMIT migrationApplied(3, QStringLiteral("visible-text search index"));
    }

    qInfo() << "Database at version" << SchemaVersion;
    return true;
}

bool Database::createInitialSchema()
{
    if (!m_db.transaction())
        return false;
    QSqlQuery q(m_db);
    for (const QString &sql : initialSchemaStatements()) {
        if (!q.exec(sql)) {
            qCritical().noquote() << "Schema creation failed:" << q.lastError().text();
            q.finish();
            m_db.rollback();
            return false;
        }
    }
    q.finish();
    if (!m_db.commit()) {
        qCritical().noquote() << "Schema creation failed:" << m_db.lastError().text();
        m_db.rollback();
        return false;
    }
    return true;
}

bool Database::migrateToV2()
{
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    if (!m_db.transaction()) {
        q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        return false;
    }

    struct Step {
        QString sql;
        const char *label;
    };
    QList<Step> steps;
    steps << Step{QStringLiteral("CREATE TABLE notes_new (") + notesColumns() + QStringLiteral(")"),
                  "create notes_new"};
    steps << Step{QStringLiteral(
                      "INSERT INTO notes_new (id, notebook_id, body, created_at, updated_at, modified_at,"
                      " deleted_at, version, op_version, sync_status, is_sample, owner_id, is_shared, permission)"
                      " SELECT id,"
                      " CASE WHEN notebook_id IN (SELECT id FROM notebooks WHERE is_default = 1)"
                      " THEN '' ELSE notebook_id END,"
                      " body, created_at, updated_at, modified_at, deleted_at, version, op_version,"
                      " sync_status, is_sample, owner_id, is_shared, permission FROM notes"),
                  "copy notes"};
    steps << Step{QStringLiteral("DROP TRIGGER IF EXISTS notes_ai"), "drop trigger ai"};
    steps << Step{QStringLiteral("DROP TRIGGER IF EXISTS notes_ad"), "drop trigger ad"};
    steps << Step{QStringLiteral("DROP TRIGGER IF EXISTS notes_au"), "drop trigger au"};
    steps << Step{QStringLiteral("DROP TABLE notes"), "drop notes"};
    steps << Step{QStringLiteral("ALTER TABLE notes_new RENAME TO notes"), "rename notes_new"};
    const char *const indexLabels[] = {"idx notebook_id", "idx updated_at", "idx modified_at",
                                       "idx deleted_at", "idx sync_status"};
    for (int i = 0; i < 5; ++i)
        steps << Step{QString::fromLatin1(kNotesIndexes[i]), indexLabels[i]};
    const char *const triggerLabels[] = {"trigger ai", "trigger ad", "trigger au"};
    for (int i = 0; i < 3; ++i)
        steps << Step{QString::fromLatin1(kNotesTriggers[i]), triggerLabels[i]};
    steps << Step{QStringLiteral("INSERT INTO notes_fts(notes_fts) VALUES('rebuild')"), "fts rebuild"};
    steps << Step{QStringLiteral("DELETE FROM notebooks WHERE is_default = 1"), "delete default"};

    for (const Step &step : std::as_const(steps)) {
        if (!q.exec(step.sql)) {
            qCritical().noquote() << "migrateToV2" << QLatin1String(step.label) << q.lastError().text();
            q.finish();
            m_db.rollback();
            q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
            return false;
        }
    }
    q.finish();
    const bool committed = m_db.commit();
    if (!committed)
        m_db.rollback();
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return committed;
}

// The full-text index moves from the raw Delta JSON (where "insert" and every
// attribute name matched all notes) to the text the reader sees, computed in
// C++; the list gets its texts and covering indexes for its two orders.
bool Database::migrateToV3()
{
    if (!m_db.transaction())
        return false;
    QSqlQuery q(m_db);
    const auto fail = [&](const char *label, const QString &error) {
        qCritical().noquote() << "migrateToV3" << QLatin1String(label) << error;
        q.finish();
        m_db.rollback();
        return false;
    };
    const auto run = [&](const QString &sql, const char *label) {
        return q.exec(sql) || fail(label, q.lastError().text());
    };

    if (!run(QStringLiteral("DROP TRIGGER IF EXISTS notes_ai"), "drop trigger ai")
        || !run(QStringLiteral("DROP TRIGGER IF EXISTS notes_ad"), "drop trigger ad")
        || !run(QStringLiteral("DROP TRIGGER IF EXISTS notes_au"), "drop trigger au")
        || !run(QStringLiteral("DROP TABLE IF EXISTS notes_fts"), "drop old index"))
        return false;
    for (const QString &sql : SearchIndex::schemaStatements()) {
        if (!run(sql, "create index tables"))
            return false;
    }

    {
        QSqlQuery notes(m_db);
        notes.setForwardOnly(true);
        if (!notes.exec(QStringLiteral("SELECT rowid, body FROM notes")))
            return fail("read notes", notes.lastError().text());
        NoteIndexWriter writer(m_db);
        QString error;
        bool indexed = true;
        while (indexed && notes.next())
            indexed = writer.write(notes.value(0).toLongLong(), notes.value(1).toString(), &error);
        notes.finish();
        if (!indexed)
            return fail("index notes", error);
    }

    // The list reads ids in updated_at order, all live notes or one
    // notebook's, from these indexes alone, and the notebook counts too (hence
    // notebook_id in the first); they supersede the single-column notebook_id
    // and deleted_at indexes.
    if (!run(QStringLiteral("DROP INDEX IF EXISTS idx_notes_notebook_id"), "drop idx notebook_id")
        || !run(QStringLiteral("DROP INDEX IF EXISTS idx_notes_deleted_at"), "drop idx deleted_at")
        || !run(QStringLiteral("CREATE INDEX idx_notes_live_updated ON notes(deleted_at, updated_at, notebook_id)"),
                "idx live updated")
        || !run(QStringLiteral("CREATE INDEX idx_notes_notebook_updated ON notes(notebook_id, deleted_at, updated_at)"),
                "idx notebook updated"))
        return false;

    q.finish();
    if (!storeVersion(3))
        return fail("store version", m_db.lastError().text());
    if (!m_db.commit()) {
        m_db.rollback();
        return false;
    }
    return true;
}
