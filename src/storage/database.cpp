#include "database.h"

#include "searchindex.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

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

Database::Database(QObject *parent)
    : QObject(parent)
    , m_connectionName(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Database::~Database()
{
    if (m_db.isOpen())
        m_db.close();
    // The handle must be gone before the connection can be removed.
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::open(const QString &path)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    if (!m_db.open()) {
        qCritical().noquote() << "Failed to open database:" << m_db.lastError().text();
        return false;
    }

    QSqlQuery q(m_db);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    qInfo().noquote() << "Database opened:" << path;
    return true;
}

bool Database::storeVersion(int version)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    return q.exec();
}

bool Database::migrate()
{
    QSqlQuery q(m_db);
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
