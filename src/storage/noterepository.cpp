#include "noterepository.h"

#include "database.h"
#include "searchindex.h"
#include "sqlvalues.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <vector>

namespace {

QString nowStamp()
{
    return toStoredTimestamp(QDateTime::currentDateTimeUtc());
}

// Column positions resolved once per result set: reading by name per row is
// a measurable cost when listing tens of thousands of notes.
struct NoteColumns
{
    explicit NoteColumns(const QSqlRecord &r)
        : id(r.indexOf(QStringLiteral("id")))
        , notebookId(r.indexOf(QStringLiteral("notebook_id")))
        , body(r.indexOf(QStringLiteral("body")))
        , createdAt(r.indexOf(QStringLiteral("created_at")))
        , updatedAt(r.indexOf(QStringLiteral("updated_at")))
        , modifiedAt(r.indexOf(QStringLiteral("modified_at")))
        , deletedAt(r.indexOf(QStringLiteral("deleted_at")))
        , version(r.indexOf(QStringLiteral("version")))
        , opVersion(r.indexOf(QStringLiteral("op_version")))
        , syncStatus(r.indexOf(QStringLiteral("sync_status")))
        , isSample(r.indexOf(QStringLiteral("is_sample")))
        , ownerId(r.indexOf(QStringLiteral("owner_id")))
        , isShared(r.indexOf(QStringLiteral("is_shared")))
        , permission(r.indexOf(QStringLiteral("permission")))
    {
    }
    int id, notebookId, body, createdAt, updatedAt, modifiedAt, deletedAt, version, opVersion,
        syncStatus, isSample, ownerId, isShared, permission;
};

Note readNote(const QSqlQuery &q, const NoteColumns &c)
{
    Note n;
    n.id = q.value(c.id).toString();
    n.notebookId = q.value(c.notebookId).toString();
    n.body = q.value(c.body).toString();
    n.createdAt = fromStoredTimestamp(q.value(c.createdAt).toString());
    n.updatedAt = fromStoredTimestamp(q.value(c.updatedAt).toString());
    n.modifiedAt = fromStoredTimestamp(q.value(c.modifiedAt).toString());
    const QString deleted = q.value(c.deletedAt).toString();
    if (!deleted.isEmpty())
        n.deletedAt = fromStoredTimestamp(deleted);
    n.version = q.value(c.version).toInt();
    n.opVersion = q.value(c.opVersion).toInt();
    n.syncStatus = syncStatusFromText(q.value(c.syncStatus).toString());
    n.isSample = q.value(c.isSample).toBool();
    n.ownerId = q.value(c.ownerId).toString();
    n.isShared = q.value(c.isShared).toBool();
    n.permission = q.value(c.permission).toString();
    return n;
}

// Parses "1,2,3", the group_concat() of a rowid column: one result row
// instead of one per note.
QList<qint64> parseRowIds(const QString &joined)
{
    QList<qint64> ids;
    if (joined.isEmpty())
        return ids;
    ids.reserve(joined.size() / 4);
    qint64 value = 0;
    for (const QChar c : joined) {
        if (c == u',') {
            ids.append(value);
            value = 0;
        } else {
            value = value * 10 + (c.unicode() - u'0');
        }
    }
    ids.append(value);
    return ids;
}

QList<qint64> selectRowIds(const QSqlDatabase &db, const QString &innerSql, const QVariantList &binds, bool *ok)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    *ok = runPrepared(q, QStringLiteral("SELECT group_concat(rowid) FROM (%1)").arg(innerSql), binds);
    if (!*ok || !q.next())
        return {};
    return parseRowIds(q.value(0).toString());
}

QString rowIdList(const QList<qint64> &rowIds)
{
    QString list;
    list.reserve(rowIds.size() * 7);
    for (qint64 id : rowIds) {
        if (!list.isEmpty())
            list.append(QLatin1Char(','));
        list.append(QString::number(id));
    }
    return list;
}

// Rows read with "rowid IN (...)" come in table order; callers asked for theirs.
template<typename Row> QList<Row> inRequestedOrder(const QList<qint64> &rowIds, const QHash<qint64, Row> &byRowId)
{
    QList<Row> rows;
    rows.reserve(byRowId.size());
    for (qint64 id : rowIds) {
        const auto it = byRowId.constFind(id);
        if (it != byRowId.constEnd())
            rows.append(*it);
    }
    return rows;
}

} // namespace

Note noteFromQuery(const QSqlQuery &query)
{
    return readNote(query, NoteColumns(query.record()));
}

NoteRepository::NoteRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_db(database->db())
{
}

QList<Note> NoteRepository::selectNotes(const QString &sql, const QVariantList &binds) const
{
    QList<Note> notes;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, sql, binds))
        return notes;
    const NoteColumns columns(q.record());
    while (q.next())
        notes.append(readNote(q, columns));
    return notes;
}

bool NoteRepository::execWrite(const QString &sql, const QVariantList &binds, const char *context)
{
    QSqlQuery q(m_db);
    const bool ok = runPrepared(q, sql, binds);
    if (!ok && context)
        qWarning().noquote() << QLatin1String(context) << q.lastError().text();
    return ok;
}

QList<Note> NoteRepository::all() const
{
    return selectNotes(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

std::optional<Note> NoteRepository::byId(const QString &id) const
{
    const QList<Note> notes = selectNotes(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id});
    if (notes.isEmpty())
        return std::nullopt;
    return notes.first();
}

QList<Note> NoteRepository::byNotebook(const QString &notebookId) const
{
    return selectNotes(
        QStringLiteral("SELECT * FROM notes WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"),
        {notebookId});
}

QList<Note> NoteRepository::trashed() const
{
    return selectNotes(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC"));
}

QList<Note> NoteRepository::pending() const
{
    return selectNotes(QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending'"));
}

QList<Note> NoteRepository::pendingAfter(qint64 afterRowId, int limit, qint64 *lastRowId) const
{
    // Walks the sync_status index, which holds the rowid: no sort, no scan.
    QList<Note> notes;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q,
                     QStringLiteral("SELECT rowid AS page_rowid, * FROM notes WHERE sync_status = 'pending' AND rowid > ? "
                                    "ORDER BY rowid LIMIT ?"),
                     {afterRowId, limit}))
        return notes;
    const NoteColumns columns(q.record());
    while (q.next()) {
        notes.append(readNote(q, columns));
        *lastRowId = q.value(0).toLongLong();
    }
    return notes;
}

namespace {

const QString kInsertNoteSql = QStringLiteral(
    "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, version, op_version, "
    "sync_status, is_sample, owner_id, is_shared, permission) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

QVariantList insertBinds(const Note &note)
{
    return {
        note.id,
        notNull(note.notebookId),
        notNull(note.body),
        toStoredTimestamp(note.createdAt),
        toStoredTimestamp(note.updatedAt),
        toStoredTimestamp(note.modifiedAt),
        nullableTimestamp(note.deletedAt),
        note.version,
        note.opVersion,
        syncStatusToText(note.syncStatus),
        note.isSample ? 1 : 0,
        nullableText(note.ownerId),
        note.isShared ? 1 : 0,
        nullableText(note.permission),
    };
}

} // namespace

bool NoteRepository::insert(const Note &note)
{
    SavepointScope scope(m_db, "note_write");
    if (!scope.isOpen()) {
        qWarning().noquote() << "NoteRepository::insert failed:" << m_db.lastError().text();
        return false;
    }
    QSqlQuery q(m_db);
    if (!runPrepared(q, kInsertNoteSql, insertBinds(note))) {
        qWarning().noquote() << "NoteRepository::insert failed:" << q.lastError().text();
        return false;
    }
    QString error;
    if (!NoteIndexWriter(m_db).write(q.lastInsertId().toLongLong(), note.body, &error) || !scope.commit()) {
        qWarning().noquote() << "NoteRepository::insert failed:" << (error.isEmpty() ? m_db.lastError().text() : error);
        return false;
    }
    Q_EMIT noteCountsChanged();
    Q_EMIT noteChanged(note.id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::insertMany(const QList<Note> &notes, const std::function<bool(qsizetype, bool)> &stored,
                                QString *error)
{
    // Each note under a savepoint of its own, so that one whose index cannot
    // be written leaves no row; the statements are prepared once, which is
    // most of what a note costs here besides the index.
    QSqlQuery open(m_db);
    QSqlQuery release(m_db);
    QSqlQuery rollBack(m_db);
    QSqlQuery insertNote(m_db);
    const bool prepared = open.prepare(QStringLiteral("SAVEPOINT note_bulk"))
        && release.prepare(QStringLiteral("RELEASE note_bulk"))
        && rollBack.prepare(QStringLiteral("ROLLBACK TO note_bulk")) && insertNote.prepare(kInsertNoteSql);
    if (!prepared) {
        if (error)
            *error = m_db.lastError().text();
        return false;
    }
    NoteIndexWriter index(m_db);
    bool completed = true;
    qsizetype written = 0;
    for (qsizetype i = 0; i < notes.size() && completed; ++i) {
        const Note &note = notes.at(i);
        bool ok = open.exec();
        if (ok) {
            const QVariantList binds = insertBinds(note);
            for (int b = 0; b < binds.size(); ++b)
                insertNote.bindValue(b, binds.at(b));
            QString indexError;
            ok = insertNote.exec() && index.write(insertNote.lastInsertId().toLongLong(), note.body, &indexError)
                && release.exec();
            if (!ok) {
                qWarning().noquote() << "NoteRepository::insertMany failed:"
                                     << (indexError.isEmpty() ? insertNote.lastError().text() : indexError);
                if (insertNote.lastError().isValid())
                    Database::reportQueryError(insertNote);
                rollBack.exec();
                release.exec();
            }
        }
        written += ok ? 1 : 0;
        if (stored && !stored(i, ok))
            completed = false;
    }
    if (written > 0) {
        Q_EMIT noteCountsChanged();
        Q_EMIT notesChanged();
    }
    return completed;
}

QSet<QString> NoteRepository::storedIds(const QList<QString> &ids) const
{
    QSet<QString> wanted(ids.cbegin(), ids.cend());
    QSet<QString> found;
    // One scan of the ids: cheaper than a lookup per note once there are more
    // than a few, and imports and restores bring thousands.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id FROM notes")))
        return found;
    while (q.next()) {
        const QString id = q.value(0).toString();
        if (wanted.contains(id))
            found.insert(id);
    }
    return found;
}

bool NoteRepository::update(const Note &note)
{
    const QVariantList binds{
        notNull(note.notebookId),
        notNull(note.body),
        toStoredTimestamp(note.updatedAt),
        toStoredTimestamp(note.modifiedAt),
        nullableTimestamp(note.deletedAt),
        note.version,
        note.opVersion,
        syncStatusToText(note.syncStatus),
        note.isSample ? 1 : 0,
        nullableText(note.ownerId),
        note.isShared ? 1 : 0,
        nullableText(note.permission),
        note.id,
    };
    SavepointScope scope(m_db, "note_write");
    if (!scope.isOpen()) {
        qWarning().noquote() << "NoteRepository::update failed:" << m_db.lastError().text();
        return false;
    }
    // The index is rewritten only when the body really changes: sync and
    // bookkeeping updates leave it alone.
    QSqlQuery current(m_db);
    current.setForwardOnly(true);
    const bool found = runPrepared(current, QStringLiteral("SELECT rowid, body IS ? FROM notes WHERE id=?"),
                                   {notNull(note.body), note.id})
        && current.next();
    const qint64 rowId = found ? current.value(0).toLongLong() : 0;
    const bool bodyChanged = found && !current.value(1).toBool();
    current.finish();
    QString error;
    if (!execWrite(QStringLiteral("UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, deleted_at=?, "
                                  "version=?, op_version=?, sync_status=?, is_sample=?, owner_id=?, is_shared=?, "
                                  "permission=? WHERE id=?"),
                   binds, "NoteRepository::update failed:"))
        return false;
    if ((bodyChanged && !NoteIndexWriter(m_db).write(rowId, note.body, &error)) || !scope.commit()) {
        qWarning().noquote() << "NoteRepository::update failed:" << (error.isEmpty() ? m_db.lastError().text() : error);
        return false;
    }
    Q_EMIT noteCountsChanged();
    Q_EMIT noteChanged(note.id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::moveToTrash(const QString &id)
{
    if (!execWrite(QStringLiteral("UPDATE notes SET deleted_at=?, sync_status='pending' WHERE id=?"),
                   {nowStamp(), id}))
        return false;
    Q_EMIT noteCountsChanged();
    Q_EMIT noteDeleted(id);
    Q_EMIT noteChanged(id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::restore(const QString &id)
{
    if (!execWrite(QStringLiteral("UPDATE notes SET deleted_at=NULL, sync_status='pending' WHERE id=?"), {id}))
        return false;
    Q_EMIT noteCountsChanged();
    Q_EMIT noteChanged(id);
    Q_EMIT notesChanged();
    return true;
}

namespace {
// Every table whose rows point at a note, children before the note itself:
// with foreign keys on, a child row left behind makes the note's delete fail.
const char *const PurgeSql[] = {
    "DELETE FROM note_task_settings WHERE note_id IN (%1)",
    "DELETE FROM note_snapshots WHERE note_id IN (%1)",
    "DELETE FROM attachments WHERE note_id IN (%1)",
    "DELETE FROM tasks WHERE note_id IN (%1)",
    "DELETE FROM note_operations WHERE note_id IN (%1)",
    "DELETE FROM notes WHERE id IN (%1)",
};
} // namespace

bool NoteRepository::purgeRows(const QString &idsSql, const QVariantList &binds, QStringList *attachmentIds,
                               QString *error)
{
    const auto fail = [error](const QString &text) {
        qWarning().noquote() << "NoteRepository::purge failed:" << text;
        if (error)
            *error = text;
        return false;
    };
    // IMMEDIATE takes the write lock up front: when another connection holds
    // it, nothing has been touched yet.
    QSqlQuery begin(m_db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(begin.lastError().text());
    const auto rollback = [this] {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
    };
    // The attachment files outlive their rows until the commit: a purge that
    // fails must find them all still there.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, QStringLiteral("SELECT id FROM attachments WHERE note_id IN (%1)").arg(idsSql), binds)) {
        const QString text = q.lastError().text();
        rollback();
        return fail(text);
    }
    QStringList attachments;
    while (q.next())
        attachments << q.value(0).toString();
    q.finish();
    for (const char *sql : PurgeSql) {
        if (!runPrepared(q, QString::fromLatin1(sql).arg(idsSql), binds)) {
            const QString text = q.lastError().text();
            rollback();
            return fail(text);
        }
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QString text = q.lastError().text();
        rollback();
        return fail(text);
    }
    *attachmentIds = attachments;
    return true;
}

bool NoteRepository::purge(const QString &id, QString *error)
{
    // All or nothing: a failure leaves the note in the trash as it was.
    QStringList attachmentIds;
    if (!purgeRows(QStringLiteral("?"), {id}, &attachmentIds, error))
        return false;
    if (!attachmentIds.isEmpty())
        Q_EMIT attachmentsPurged(attachmentIds);
    Q_EMIT noteCountsChanged();
    Q_EMIT notePurged(id);
    Q_EMIT noteChanged(id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::purgeMany(const QStringList &ids, QString *error)
{
    if (ids.isEmpty())
        return true;
    QStringList attachmentIds;
    const QString json = QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact));
    if (!purgeRows(QStringLiteral("SELECT value FROM json_each(?)"), {json}, &attachmentIds, error))
        return false;
    Q_EMIT notesChanged();
    return true;
}

int NoteRepository::purgeTrash(QString *error)
{
    const QString trashed = QStringLiteral("SELECT id FROM notes WHERE deleted_at IS NOT NULL");
    QStringList ids;
    {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!runStatement(q, trashed)) {
            if (error)
                *error = q.lastError().text();
            return -1;
        }
        while (q.next())
            ids << q.value(0).toString();
    }
    if (ids.isEmpty())
        return 0;
    QStringList attachmentIds;
    if (!purgeRows(trashed, {}, &attachmentIds, error))
        return -1;
    if (!attachmentIds.isEmpty())
        Q_EMIT attachmentsPurged(attachmentIds);
    for (const QString &id : std::as_const(ids))
        Q_EMIT notePurged(id);
    Q_EMIT notesChanged();
    return int(ids.size());
}

bool NoteRepository::moveToNotebook(const QString &noteId, const QString &notebookId)
{
    if (!execWrite(QStringLiteral("UPDATE notes SET notebook_id=?, modified_at=?, sync_status='pending' WHERE id=?"),
                   {notNull(notebookId), nowStamp(), noteId}))
        return false;
    Q_EMIT noteCountsChanged();
    Q_EMIT noteChanged(noteId);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::moveAllOutOfNotebook(const QString &notebookId, QString *error)
{
    QSqlQuery q(m_db);
    if (!runPrepared(q, QStringLiteral("UPDATE notes SET notebook_id='', modified_at=?, sync_status='pending' "
                                       "WHERE notebook_id=?"),
                     {nowStamp(), notebookId})) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    return true;
}

bool NoteRepository::markSynced(const QString &id, qint32 version)
{
    return execWrite(QStringLiteral("UPDATE notes SET sync_status='synced', version=? WHERE id=?"), {version, id});
}

NoteRepository::SaveResult NoteRepository::saveEditedBody(const QString &noteId, const QString &body)
{
    // Editors save large bodies every second while typing: read the stored
    // body once, compare it here (cheaper than SQLite comparing against a
    // bound UTF-16 value), and write only what a save changes.
    SavepointScope scope(m_db, "note_write");
    if (!scope.isOpen()) {
        qWarning().noquote() << "NoteRepository::saveEditedBody failed:" << m_db.lastError().text();
        return SaveResult::Failed;
    }
    QSqlQuery current(m_db);
    current.setForwardOnly(true);
    if (!runPrepared(current, QStringLiteral("SELECT rowid, body FROM notes WHERE id=?"), {noteId})
        || !current.next())
        return SaveResult::Failed;
    const qint64 rowId = current.value(0).toLongLong();
    const bool same = current.value(1).toString() == body;
    current.finish();
    if (same)
        return scope.commit() ? SaveResult::Unchanged : SaveResult::Failed;
    const QString now = nowStamp();
    QString error;
    if (!execWrite(QStringLiteral("UPDATE notes SET body=?, updated_at=?, modified_at=?, version=version+1, "
                                  "sync_status=? WHERE rowid=?"),
                   {notNull(body), now, now, syncStatusToText(SyncStatus::Pending), rowId},
                   "NoteRepository::saveEditedBody failed:"))
        return SaveResult::Failed;
    if (!NoteIndexWriter(m_db).write(rowId, body, &error) || !scope.commit()) {
        qWarning().noquote() << "NoteRepository::saveEditedBody failed:"
                             << (error.isEmpty() ? m_db.lastError().text() : error);
        return SaveResult::Failed;
    }
    Q_EMIT noteChanged(noteId);
    Q_EMIT notesChanged();
    return SaveResult::Saved;
}

QList<Note> NoteRepository::search(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return all();
    const QList<qint64> rowIds = searchRowIds(text);
    if (rowIds.isEmpty())
        return {};
    QHash<qint64, Note> byRowId;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT rowid, * FROM notes WHERE rowid IN (%1)").arg(rowIdList(rowIds))))
        return {};
    const NoteColumns columns(q.record());
    while (q.next())
        byRowId.insert(q.value(0).toLongLong(), readNote(q, columns));
    return inRequestedOrder(rowIds, byRowId);
}

QList<qint64> NoteRepository::listRowIds(const QString &notebookId) const
{
    // Both orders come from a covering index (migration 3) without touching
    // the notes themselves.
    bool ok = false;
    if (notebookId.isEmpty()) {
        // The whole list is also the base of every large search result, and
        // reading it costs ~15 ms at 100k notes: it is kept until anything
        // changes the database. total_changes() counts every row this
        // connection (any repository on it) writes, data_version moves when
        // another connection commits. (A list read inside a transaction that
        // is then rolled back stays cached until the next write.)
        QSqlQuery version(m_db);
        version.setForwardOnly(true);
        const bool versioned = version.exec(QStringLiteral(
                                   "SELECT total_changes(), (SELECT data_version FROM pragma_data_version)"))
            && version.next();
        const QPair<qint64, qint64> key = versioned
            ? qMakePair(version.value(0).toLongLong(), version.value(1).toLongLong())
            : qMakePair(qint64(-1), qint64(-1));
        if (versioned && key == m_allRowIdsVersion)
            return m_allRowIds;
        m_allRowIds = selectRowIds(
            m_db, QStringLiteral("SELECT rowid FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"), {}, &ok);
        m_allRowIdsVersion = ok ? key : qMakePair(qint64(-1), qint64(-1));
        return m_allRowIds;
    }
    return selectRowIds(m_db,
                        QStringLiteral("SELECT rowid FROM notes WHERE notebook_id=? AND deleted_at IS NULL "
                                       "ORDER BY updated_at DESC"),
                        {notebookId}, &ok);
}

QList<qint64> NoteRepository::searchRowIds(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return listRowIds();
    // The text as FTS5 syntax first; when FTS5 refuses it (an apostrophe, a
    // hyphen, an unbalanced quote...), the same words as plain terms. Neither
    // failure is worth a log line: the user is still typing.
    const QString matchSql = QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ?");
    QString match = SearchIndex::rawQuery(text);
    bool ok = false;
    QList<qint64> matches = selectRowIds(m_db, matchSql, {match}, &ok);
    if (!ok) {
        match = SearchIndex::quotedQuery(text);
        if (match.isEmpty())
            return {};
        matches = selectRowIds(m_db, matchSql, {match}, &ok);
    }
    if (matches.isEmpty())
        return {};

    if (matches.size() <= m_rankedMatchLimit) {
        // Trashed notes are few: leaving them out through the deleted_at
        // index costs far less than reading every matching note's row.
        return selectRowIds(m_db,
                            QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? AND rowid NOT IN "
                                           "(SELECT rowid FROM notes WHERE deleted_at IS NOT NULL) ORDER BY rank"),
                            {match}, &ok);
    }
    // Ranking costs a few microseconds per match (bm25 reads each note's
    // token count), far too slow for a one-letter prefix at 100k notes; with
    // that many matches the newest notes are the better guess anyway.
    QList<qint64> ids = listRowIds();
    const qint64 maxRowId = *std::max_element(matches.cbegin(), matches.cend());
    if (maxRowId >= 0 && maxRowId < 4 * (qint64(ids.size()) + 1024)) {
        // Rowids are dense unless notes were deleted en masse: a bit per rowid.
        std::vector<bool> matched(size_t(maxRowId) + 1);
        for (qint64 id : std::as_const(matches)) {
            if (id >= 0)
                matched[size_t(id)] = true;
        }
        ids.removeIf([&matched](qint64 id) { return id < 0 || size_t(id) >= matched.size() || !matched[size_t(id)]; });
    } else {
        std::sort(matches.begin(), matches.end());
        ids.removeIf([&matches](qint64 id) { return !std::binary_search(matches.cbegin(), matches.cend(), id); });
    }
    return ids;
}

void NoteRepository::setRankedMatchLimit(int limit)
{
    m_rankedMatchLimit = limit;
}

QHash<qint64, QString> NoteRepository::searchSnippets(const QString &text, const QList<qint64> &rowIds) const
{
    QHash<qint64, QString> snippets;
    if (text.trimmed().isEmpty() || rowIds.isEmpty())
        return snippets;
    // About one list line of words around the best match; the FTS5 markers
    // are control characters no note text keeps.
    const QString sql = QStringLiteral("SELECT rowid, snippet(notes_fts, 0, char(1), char(2), '\u2026', 10) "
                                       "FROM notes_fts WHERE notes_fts MATCH ? AND rowid IN (%1)")
                            .arg(rowIdList(rowIds));
    // The same two tries as searchRowIds(), so the words marked are the words found.
    for (const QString &match : {SearchIndex::rawQuery(text), SearchIndex::quotedQuery(text)}) {
        if (match.isEmpty())
            continue;
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return snippets;
        q.addBindValue(match);
        if (!q.exec())
            continue;
        static const QRegularExpression space(QStringLiteral("\\s+"));
        while (q.next()) {
            QString snippet = q.value(1).toString();
            snippet.replace(space, QStringLiteral(" "));
            snippets.insert(q.value(0).toLongLong(), snippet.trimmed());
        }
        break;
    }
    return snippets;
}

QList<NoteListRow> NoteRepository::listRows(const QList<qint64> &rowIds) const
{
    if (rowIds.isEmpty())
        return {};
    // The body is read only for a note whose list texts are missing, which
    // the writers never leave behind.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT n.rowid, n.id, n.notebook_id, n.updated_at, n.is_shared, n.sync_status, "
                               "t.title, t.preview, t.untitled, CASE WHEN t.note_rowid IS NULL THEN n.body END "
                               "FROM notes n LEFT JOIN note_list_texts t ON t.note_rowid = n.rowid "
                               "WHERE n.rowid IN (%1)")
                    .arg(rowIdList(rowIds))))
        return {};
    QHash<qint64, NoteListRow> byRowId;
    byRowId.reserve(rowIds.size());
    while (q.next()) {
        NoteListRow row;
        row.rowId = q.value(0).toLongLong();
        row.id = q.value(1).toString();
        row.notebookId = q.value(2).toString();
        row.updatedAt = fromStoredTimestamp(q.value(3).toString());
        row.isShared = q.value(4).toBool();
        row.syncStatus = syncStatusFromText(q.value(5).toString());
        if (q.isNull(6)) {
            row.texts = noteListTexts(q.value(9).toString());
        } else {
            row.texts.title = q.value(6).toString();
            row.texts.preview = q.value(7).toString();
            row.texts.untitled = q.value(8).toBool();
        }
        byRowId.insert(row.rowId, row);
    }
    return inRequestedOrder(rowIds, byRowId);
}

std::optional<NoteListRow> NoteRepository::listRow(const QString &noteId) const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, QStringLiteral("SELECT rowid FROM notes WHERE id=?"), {noteId}) || !q.next())
        return std::nullopt;
    const QList<NoteListRow> rows = listRows({q.value(0).toLongLong()});
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first();
}

QHash<QString, int> NoteRepository::countsByNotebook() const
{
    QHash<QString, int> counts;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // "+deleted_at" keeps SQLite off the live-notes index, which needs a
    // temporary B-tree to group: the notebook index is already grouped
    // (100,000 notes: 55 ms → 10 ms).
    if (!runStatement(q, QStringLiteral(
            "SELECT notebook_id, COUNT(*) AS c FROM notes WHERE +deleted_at IS NULL GROUP BY notebook_id")))
        return counts;
    int total = 0;
    while (q.next()) {
        const int c = q.value(1).toInt();
        counts.insert(q.value(0).toString(), c);
        total += c;
    }
    counts.insert(QString(), total);
    return counts;
}

int NoteRepository::trashCount() const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

bool NoteRepository::includeInTodos(const QString &noteId) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT include_in_todos FROM note_task_settings WHERE note_id = ?"));
    q.addBindValue(noteId);
    if (!q.exec() || !q.next())
        return true;
    return q.value(0).toInt() != 0;
}

bool NoteRepository::setIncludeInTodos(const QString &noteId, bool include)
{
    // Setting what is already stored writes nothing and tells nobody.
    if (includeInTodos(noteId) == include)
        return true;
    if (!execWrite(QStringLiteral("INSERT INTO note_task_settings (note_id, include_in_todos) VALUES (?, ?) "
                                  "ON CONFLICT(note_id) DO UPDATE SET include_in_todos = excluded.include_in_todos"),
                   {noteId, include ? 1 : 0}))
        return false;
    Q_EMIT includeInTodosChanged(noteId, include);
    return true;
}

QSet<QString> NoteRepository::notesExcludedFromTodos() const
{
    QSet<QString> ids;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT note_id FROM note_task_settings WHERE include_in_todos = 0")))
        return ids;
    while (q.next())
        ids.insert(q.value(0).toString());
    return ids;
}

QPair<qint64, qint64> NoteRepository::changeStamp() const
{
    // total_changes() counts every row this connection writes, data_version
    // moves when another connection commits.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT total_changes(), (SELECT data_version FROM pragma_data_version)")) || !q.next())
        return {-1, -1};
    return {q.value(0).toLongLong(), q.value(1).toLongLong()};
}

QList<NoteStamp> NoteRepository::liveNoteStamps() const
{
    // One row holding everything: stepping 10,000 result rows through the
    // driver costs more than the query. Stored times hold neither "," nor " ".
    QList<NoteStamp> stamps;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT group_concat(rowid || ' ' || updated_at) FROM notes "
                                        "WHERE deleted_at IS NULL"))
        || !q.next())
        return stamps;
    const QString joined = q.value(0).toString();
    if (joined.isEmpty())
        return stamps;
    const QStringView all(joined);
    stamps.reserve(all.count(u',') + 1);
    for (const QStringView entry : all.tokenize(u',')) {
        const qsizetype space = entry.indexOf(u' ');
        if (space < 0)
            continue;
        stamps.append({entry.left(space).toLongLong(), entry.mid(space + 1).toString()});
    }
    return stamps;
}

namespace {

// Columns of a TaskSourceNote, read from notes n joined to its list texts t.
const char TaskSourceColumns[] = "n.rowid, n.id, n.body, n.updated_at, n.deleted_at, n.is_shared, n.permission, "
                                 "t.title, t.untitled";

// A superset of the notes whose body can give a to-do: a checklist line
// stores "checked" or "unchecked"; a typed box needs a "[" after the one that
// opens the array; a "TODO:" line indexes the word "todo" however its letters
// are formatted. (Bodies are written without \u escapes for these.)
const char TaskBodyFilter[] = "(n.body LIKE '%checked\"%' OR n.body LIKE '_%[%' "
                              "OR n.rowid IN (SELECT rowid FROM notes_fts WHERE notes_fts MATCH 'todo'))";

QList<TaskSourceNote> readTaskSourceNotes(QSqlQuery &q)
{
    QList<TaskSourceNote> notes;
    while (q.next()) {
        TaskSourceNote note;
        note.rowId = q.value(0).toLongLong();
        note.id = q.value(1).toString();
        note.body = q.value(2).toString();
        note.updatedAt = q.value(3).toString();
        note.trashed = !q.value(4).toString().isEmpty();
        note.editable = !q.value(5).toBool() || q.value(6).toString() == QLatin1String("edit");
        // A note saved before the list texts existed has no row there.
        if (q.isNull(7))
            note.title = noteTitle(note.body);
        else if (!q.value(8).toBool())
            note.title = q.value(7).toString();
        notes.append(note);
    }
    return notes;
}

} // namespace

QList<TaskSourceNote> NoteRepository::taskSourceNotes(const QList<qint64> &rowIds) const
{
    if (rowIds.isEmpty())
        return {};
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT %1 FROM notes n LEFT JOIN note_list_texts t ON t.note_rowid = n.rowid "
                                        "WHERE n.rowid IN (%2) AND n.deleted_at IS NULL AND %3")
                             .arg(QLatin1String(TaskSourceColumns), rowIdList(rowIds),
                                  QLatin1String(TaskBodyFilter))))
        return {};
    return readTaskSourceNotes(q);
}

QList<TaskSourceNote> NoteRepository::allTaskSourceNotes() const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runStatement(q, QStringLiteral("SELECT %1 FROM notes n LEFT JOIN note_list_texts t ON t.note_rowid = n.rowid "
                                        "WHERE n.deleted_at IS NULL AND %2")
                             .arg(QLatin1String(TaskSourceColumns), QLatin1String(TaskBodyFilter))))
        return {};
    return readTaskSourceNotes(q);
}

std::optional<TaskSourceNote> NoteRepository::taskSourceNote(const QString &noteId) const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, QStringLiteral("SELECT %1 FROM notes n LEFT JOIN note_list_texts t ON t.note_rowid = n.rowid "
                                       "WHERE n.id = ?")
                            .arg(QLatin1String(TaskSourceColumns)),
                     {noteId}))
        return std::nullopt;
    const QList<TaskSourceNote> notes = readTaskSourceNotes(q);
    if (notes.isEmpty())
        return std::nullopt;
    return notes.first();
}
