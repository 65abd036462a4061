#pragma once

#include "note.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlDatabase>

#include <optional>

class Database;
class QSqlQuery;

// The only code that reads and writes the notes and note_task_settings tables.
class NoteRepository : public QObject
{
    Q_OBJECT

public:
    explicit NoteRepository(Database *database, QObject *parent = nullptr);

    QList<Note> all() const;
    std::optional<Note> byId(const QString &id) const;
    QList<Note> byNotebook(const QString &notebookId) const;
    QList<Note> trashed() const;
    QList<Note> pending() const;

    bool insert(const Note &note);
    bool update(const Note &note);
    bool moveToTrash(const QString &id);
    bool restore(const QString &id);
    bool purge(const QString &id);
    bool moveToNotebook(const QString &noteId, const QString &notebookId);
    bool markSynced(const QString &id, qint32 version);

    enum class SaveResult { Unchanged, Saved, Failed };
    // Stores an edited body the way every editor saves: only when it differs
    // from the stored one, stamping both times, raising the version and
    // marking the note for sync.
    SaveResult saveEditedBody(const QString &noteId, const QString &body);

    // Full-text search; the text is handed to FTS5 as typed, with a trailing
    // "*" so the last word matches as a prefix.
    QList<Note> search(const QString &text) const;

    // Live notes per notebook id; the empty key holds the total of all live notes.
    QHash<QString, int> countsByNotebook() const;

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);

Q_SIGNALS:
    void notesChanged();
    void noteDeleted(const QString &noteId);
    void notePurged(const QString &noteId);

private:
    QList<Note> selectNotes(const QString &sql, const QVariantList &binds = {}) const;
    bool execWrite(const QString &sql, const QVariantList &binds, const char *context = nullptr);

    QSqlDatabase m_db;
};

Note noteFromQuery(const QSqlQuery &query);
