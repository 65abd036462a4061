#pragma once

#include "notebook.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlDatabase>

#include <optional>

class Database;
class NoteRepository;

// Notebooks are optional folders; deleting one only marks it, so that the
// deletion can be synchronised.
class NotebookRepository : public QObject
{
    Q_OBJECT

public:
    explicit NotebookRepository(Database *database, QObject *parent = nullptr);

    QList<Notebook> all() const;
    // Id to name of every notebook that is not deleted.
    QHash<QString, QString> names() const;
    std::optional<Notebook> byId(const QString &id) const;
    QList<Notebook> pending() const;

    bool insert(const Notebook &notebook);
    bool update(const Notebook &notebook);
    bool moveToTrash(const QString &id);
    // Takes back notebooks an import stored and no note is in: gone as if
    // never written.
    bool removeEmpty(const QStringList &ids);

    // The user's commands, shared by the sidebar, import and restore.
    // A new notebook: fresh id, the trimmed name, created and updated now,
    // pending sync. An empty name is refused with *error set.
    std::optional<Notebook> create(const QString &name, QString *error = nullptr);
    // Stores the trimmed name as a new version; writes nothing (and succeeds)
    // when the name is already that.
    bool rename(const QString &id, const QString &name, QString *error = nullptr);
    // Deletes a notebook without deleting a note: every note of it moves to
    // no notebook and the notebook is marked deleted, all or nothing.
    // notes->notesChanged() and notebooksChanged() follow the commit.
    bool removeMovingNotesOut(const QString &id, NoteRepository *notes, QString *error = nullptr);

Q_SIGNALS:
    void notebooksChanged();

private:
    QList<Notebook> select(const QString &sql, const QVariantList &binds = {}) const;
    bool write(const QString &sql, const QVariantList &binds, const char *failureLog);

    QSqlDatabase m_db;
};
