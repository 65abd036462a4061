#include "snapshotrepository.h"

#include "database.h"
#include "note.h"
#include "noterepository.h"
#include "sqlvalues.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

SnapshotRepository::SnapshotRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_db(database->db())
{
}

QList<NoteSnapshot> SnapshotRepository::select(const QString &sql, const QString &bind) const
{
    QList<NoteSnapshot> result;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, sql, {bind}))
        return result;
    const QSqlRecord r = q.record();
    const int id = r.indexOf(QStringLiteral("id")), noteId = r.indexOf(QStringLiteral("note_id")),
              version = r.indexOf(QStringLiteral("version")), body = r.indexOf(QStringLiteral("body")),
              createdAt = r.indexOf(QStringLiteral("created_at"));
    while (q.next()) {
        NoteSnapshot s;
        s.id = q.value(id).toString();
        s.noteId = q.value(noteId).toString();
        s.version = q.value(version).toInt();
        s.body = q.value(body).toString();
        s.createdAt = fromStoredTimestamp(q.value(createdAt).toString());
        result.append(s);
    }
    return result;
}

std::optional<NoteSnapshot> SnapshotRepository::byId(const QString &id) const
{
    const QList<NoteSnapshot> found = select(QStringLiteral("SELECT * FROM note_snapshots WHERE id=?"), id);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<NoteSnapshot> SnapshotRepository::forNote(const QString &noteId) const
{
    return select(QStringLiteral("SELECT * FROM note_snapshots WHERE note_id=? ORDER BY version DESC"), noteId);
}

bool SnapshotRepository::insert(const NoteSnapshot &snapshot)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO note_snapshots (id, note_id, version, body, created_at) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(snapshot.id);
    q.addBindValue(snapshot.noteId);
    q.addBindValue(snapshot.version);
    // A null QString binds SQL NULL, which the NOT NULL column refuses.
    q.addBindValue(notNull(snapshot.body));
    q.addBindValue(toStoredTimestamp(snapshot.createdAt));
    if (!q.exec()) {
        qWarning().noquote() << "SnapshotRepository::insert failed:" << q.lastError().text();
        return false;
    }
    return true;
}

bool snapshotStoredVersion(SnapshotRepository *snapshots, const NoteRepository *notes, const QString &noteId)
{
    if (!snapshots || !notes)
        return false;
    const std::optional<Note> note = notes->byId(noteId);
    if (!note || note->body.isEmpty())
        return false;
    NoteSnapshot snapshot;
    snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    snapshot.noteId = noteId;
    snapshot.version = note->version;
    snapshot.body = note->body;
    snapshot.createdAt = QDateTime::currentDateTimeUtc();
    return snapshots->insert(snapshot);
}
