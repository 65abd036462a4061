#include "notebookrepository.h"

#include "database.h"
#include "noterepository.h"
#include "sqlvalues.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

NotebookRepository::NotebookRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_db(database->db())
{
}

QList<Notebook> NotebookRepository::select(const QString &sql, const QVariantList &binds) const
{
    QList<Notebook> result;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, sql, binds))
        return result;
    const QSqlRecord r = q.record();
    const int id = r.indexOf(QStringLiteral("id")), name = r.indexOf(QStringLiteral("name")),
              isDefault = r.indexOf(QStringLiteral("is_default")), isShared = r.indexOf(QStringLiteral("is_shared")),
              ownerId = r.indexOf(QStringLiteral("owner_id")), createdAt = r.indexOf(QStringLiteral("created_at")),
              updatedAt = r.indexOf(QStringLiteral("updated_at")), deletedAt = r.indexOf(QStringLiteral("deleted_at")),
              version = r.indexOf(QStringLiteral("version")), syncStatus = r.indexOf(QStringLiteral("sync_status"));
    while (q.next()) {
        Notebook n;
        n.id = q.value(id).toString();
        n.name = q.value(name).toString();
        n.isDefault = q.value(isDefault).toBool();
        n.isShared = q.value(isShared).toBool();
        n.ownerId = q.value(ownerId).toString();
        n.createdAt = fromStoredTimestamp(q.value(createdAt).toString());
        n.updatedAt = fromStoredTimestamp(q.value(updatedAt).toString());
        const QString deleted = q.value(deletedAt).toString();
        if (!deleted.isEmpty())
            n.deletedAt = fromStoredTimestamp(deleted);
        n.version = q.value(version).toInt();
        n.syncStatus = syncStatusFromText(q.value(syncStatus).toString());
        result.append(n);
    }
    return result;
}

bool NotebookRepository::write(const QString &sql, const QVariantList &binds, const char *failureLog)
{
    QSqlQuery q(m_db);
    if (!runPrepared(q, sql, binds)) {
        if (failureLog)
            qWarning().noquote() << QLatin1String(failureLog) << q.lastError().text();
        return false;
    }
    Q_EMIT notebooksChanged();
    return true;
}

bool NotebookRepository::removeEmpty(const QStringList &ids)
{
    return write(QStringLiteral("DELETE FROM notebooks WHERE id IN (SELECT value FROM json_each(?)) "
                                "AND NOT EXISTS (SELECT 1 FROM notes WHERE notes.notebook_id = notebooks.id)"),
                 {QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact))},
                 "NotebookRepository::removeEmpty failed:");
}

QList<Notebook> NotebookRepository::all() const
{
    return select(
        QStringLiteral("SELECT * FROM notebooks WHERE deleted_at IS NULL ORDER BY is_default DESC, name ASC"));
}

QHash<QString, QString> NotebookRepository::names() const
{
    QHash<QString, QString> names;
    for (const Notebook &notebook : all())
        names.insert(notebook.id, notebook.name);
    return names;
}

std::optional<Notebook> NotebookRepository::byId(const QString &id) const
{
    const QList<Notebook> found = select(QStringLiteral("SELECT * FROM notebooks WHERE id = ?"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Notebook> NotebookRepository::pending() const
{
    return select(QStringLiteral(
        "SELECT * FROM notebooks WHERE sync_status = 'pending' ORDER BY is_default DESC, name ASC"));
}

bool NotebookRepository::insert(const Notebook &n)
{
    return write(QStringLiteral("INSERT INTO notebooks (id, name, is_default, is_shared, owner_id, created_at, "
                                "updated_at, deleted_at, version, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {n.id, notNull(n.name), n.isDefault ? 1 : 0,
                  n.isShared ? 1 : 0, nullableText(n.ownerId), toStoredTimestamp(n.createdAt),
                  toStoredTimestamp(n.updatedAt),
                  nullableTimestamp(n.deletedAt),
                  n.version, syncStatusToText(n.syncStatus)},
                 "NotebookRepository::insert failed:");
}

bool NotebookRepository::update(const Notebook &n)
{
    return write(QStringLiteral("UPDATE notebooks SET name=?, is_default=?, is_shared=?, owner_id=?, updated_at=?, "
                                "deleted_at=?, version=?, sync_status=? WHERE id=?"),
                 {notNull(n.name), n.isDefault ? 1 : 0, n.isShared ? 1 : 0,
                  nullableText(n.ownerId), toStoredTimestamp(n.updatedAt),
                  nullableTimestamp(n.deletedAt),
                  n.version, syncStatusToText(n.syncStatus), n.id},
                 "NotebookRepository::update failed:");
}

bool NotebookRepository::moveToTrash(const QString &id)
{
    return write(QStringLiteral("UPDATE notebooks SET deleted_at=?, sync_status='pending' WHERE id=?"),
                 {toStoredTimestamp(QDateTime::currentDateTimeUtc()), id}, nullptr);
}

std::optional<Notebook> NotebookRepository::create(const QString &name, QString *error)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        if (error)
            *error = tr("A notebook needs a name.");
        return std::nullopt;
    }
    Notebook notebook;
    notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    notebook.name = trimmed;
    notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
    notebook.syncStatus = SyncStatus::Pending;
    if (!insert(notebook)) {
        if (error)
            *error = tr("The notebook \"%1\" could not be saved.").arg(trimmed);
        return std::nullopt;
    }
    return notebook;
}

bool NotebookRepository::rename(const QString &id, const QString &name, QString *error)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        if (error)
            *error = tr("A notebook needs a name.");
        return false;
    }
    std::optional<Notebook> notebook = byId(id);
    if (!notebook || notebook->deletedAt) {
        if (error)
            *error = tr("The notebook no longer exists.");
        return false;
    }
    if (notebook->name == trimmed)
        return true;
    notebook->name = trimmed;
    notebook->updatedAt = QDateTime::currentDateTimeUtc();
    notebook->version += 1;
    notebook->syncStatus = SyncStatus::Pending;
    if (!update(*notebook)) {
        if (error)
            *error = tr("The notebook could not be renamed.");
        return false;
    }
    return true;
}

bool NotebookRepository::removeMovingNotesOut(const QString &id, NoteRepository *notes, QString *error)
{
    const std::optional<Notebook> notebook = byId(id);
    if (!notebook || notebook->deletedAt) {
        if (error)
            *error = tr("The notebook no longer exists.");
        return false;
    }
    QString failure;
    const bool ok = [&] {
        SavepointScope scope(m_db, "notebook_delete");
        if (!scope.isOpen()) {
            failure = m_db.lastError().text();
            return false;
        }
        if (!notes->moveAllOutOfNotebook(id, &failure))
            return false;
        QSqlQuery q(m_db);
        if (!runPrepared(q, QStringLiteral("UPDATE notebooks SET deleted_at=?, sync_status='pending' WHERE id=?"),
                         {toStoredTimestamp(QDateTime::currentDateTimeUtc()), id})) {
            failure = q.lastError().text();
            return false;
        }
        if (!scope.commit()) {
            failure = m_db.lastError().text();
            return false;
        }
        return true;
    }();
    if (!ok) {
        qWarning().noquote() << "NotebookRepository::removeMovingNotesOut failed:" << failure;
        if (error)
            *error = tr("The notebook \"%1\" could not be deleted: %2").arg(notebook->name, failure);
        return false;
    }
    Q_EMIT notes->notesChanged();
    Q_EMIT notebooksChanged();
    return true;
}
