#pragma once

#include "note.h"
#include "notetexts.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>

#include <functional>
#include <optional>

class Database;
class QSqlQuery;

// One row of the note list: what a list card shows, never the body.
struct NoteListRow
{
    qint64 rowId = 0;
    QString id;
    QString notebookId;
    NoteListTexts texts;
    QDateTime updatedAt;
    bool isShared = false;
    SyncStatus syncStatus = SyncStatus::Pending;
    // Set only for rows of trashed notes.
    QDateTime deletedAt;
};

// A live note's row and the stored text of its update time: what a cache of
// per-note derived data compares to know which notes to read again.
struct NoteStamp
{
    qint64 rowId = 0;
    QString updatedAt;
};

// What the to-do list reads of a note.
struct TaskSourceNote
{
    qint64 rowId = 0;
    QString id;
    QString body;
    // Empty for a note without a title.
    QString title;
    // As stored (see NoteStamp).
    QString updatedAt;
    bool trashed = false;
    // Shared notes the account may only read are not written from a list.
    bool editable = true;
};

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
    // At most `limit` pending notes stored after the row afterRowId, in row
    // order, and the row of the last one: a large push reads its notes a page
    // at a time. Start with 0.
    QList<Note> pendingAfter(qint64 afterRowId, int limit, qint64 *lastRowId) const;

    bool insert(const Note &note);
    // Stores many new notes inside the caller's transaction (imports and
    // restores), as insert() would each but with the statements prepared once
    // and one notesChanged() at the end. stored(i, ok) hears about notes[i]
    // in turn and returns false to stop; a note that fails leaves nothing
    // behind. False only when the statements cannot be prepared or stored
    // stopped the run.
    bool insertMany(const QList<Note> &notes, const std::function<bool(qsizetype, bool)> &stored,
                    QString *error = nullptr);
    // Which of these ids are stored, trashed notes included.
    QSet<QString> storedIds(const QList<QString> &ids) const;
    bool update(const Note &note);
    bool moveToTrash(const QString &id);
    bool restore(const QString &id);
    // Deletes the note with every row that refers to it (snapshots, to-do
    // setting, attachments ...) in one transaction; false, with nothing
    // deleted, when that fails. Attachment files are the caller's: see
    // attachmentsPurged().
    bool purge(const QString &id, QString *error = nullptr);
    // Purges every note in the trash in one transaction, all or nothing, with
    // one notesChanged() for the lot. Returns how many went, -1 on failure.
    int purgeTrash(QString *error = nullptr);
    // Purges these notes, trashed or not, in one transaction (an import
    // taking back what it stored). Attachment files are the caller's.
    bool purgeMany(const QStringList &ids, QString *error = nullptr);
    bool moveToNotebook(const QString &noteId, const QString &notebookId);
    // Every note of the notebook, trashed ones too (a restored note must not
    // land in a deleted notebook), to no notebook, each marked for sync. Part
    // of NotebookRepository::removeMovingNotesOut(): it runs inside that
    // caller's savepoint and emits nothing, the caller announces the change
    // once after its commit.
    bool moveAllOutOfNotebook(const QString &notebookId, QString *error = nullptr);
    bool markSynced(const QString &id, qint32 version);

    enum class SaveResult { Unchanged, Saved, Failed };
    // Stores an edited body the way every editor saves: only when it differs
    // from the stored one, stamping both times, raising the version and
    // marking the note for sync.
    SaveResult saveEditedBody(const QString &noteId, const QString &body);

    // Full-text search over the text of notes (not their JSON), in the order
    // of searchRowIds().
    // The text is FTS5 syntax with a trailing "*" so the last word matches as
    // a prefix; text FTS5 refuses is searched for as plain words instead.
    QList<Note> search(const QString &text) const;

    // The note list reads ids first and row texts only for the rows it shows.
    // Live notes in list order (newest content first), of one notebook when
    // notebookId is not empty.
    QList<qint64> listRowIds(const QString &notebookId = QString()) const;
    // Live notes matching a search text (see search()); listRowIds() when
    // blank. Best first when there are at most rankedMatchLimit() matches,
    // otherwise in list order, newest first.
    QList<qint64> searchRowIds(const QString &text) const;
    static constexpr int DefaultRankedMatchLimit = 4000;
    int rankedMatchLimit() const { return m_rankedMatchLimit; }
    void setRankedMatchLimit(int limit);
    // A short extract of each of these notes around where the search for
    // `text` matched it, the matched words between kMatchStart and kMatchEnd.
    // Notes that do not match get no entry.
    QHash<qint64, QString> searchSnippets(const QString &text, const QList<qint64> &rowIds) const;
    static constexpr QChar kMatchStart = QChar(0x1);
    static constexpr QChar kMatchEnd = QChar(0x2);
    // The rows of these notes in the order given; ids that are gone are skipped.
    QList<NoteListRow> listRows(const QList<qint64> &rowIds) const;
    std::optional<NoteListRow> listRow(const QString &noteId) const;

    // Live notes per notebook id; the empty key holds the total of all live notes.
    QHash<QString, int> countsByNotebook() const;
    // Counted in SQL: the sidebar needs the number, not the bodies.
    int trashCount() const;

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);
    // Ids of the notes whose to-dos are left out of the To-Dos list.
    QSet<QString> notesExcludedFromTodos() const;

    // Moves whenever anything is written to the database, through this
    // connection or another; equal values mean nothing changed in between.
    QPair<qint64, qint64> changeStamp() const;
    // Live notes, any order. Read from an index, never from the bodies.
    QList<NoteStamp> liveNoteStamps() const;
    // The live notes among rowIds whose body can hold a to-do: every note
    // with a checklist line, a "[" in its text or the word "todo". The notes
    // left out have none. allTaskSourceNotes(): the same of all live notes.
    QList<TaskSourceNote> taskSourceNotes(const QList<qint64> &rowIds) const;
    QList<TaskSourceNote> allTaskSourceNotes() const;
    // One note, trashed or not, whatever its body holds.
    std::optional<TaskSourceNote> taskSourceNote(const QString &noteId) const;

Q_SIGNALS:
    // Emitted just before notesChanged() by every write that touches exactly
    // one note, so that views can update that one row.
    void noteChanged(const QString &noteId);
    // A one-note write that may change how many notes a notebook or the
    // trash holds (not a body edit); emitted before noteChanged().
    void noteCountsChanged();
    void notesChanged();
    void noteDeleted(const QString &noteId);
    void notePurged(const QString &noteId);
    // A purge committed: the files of these attachments have no row any more.
    // Emitted before notePurged().
    void attachmentsPurged(const QStringList &attachmentIds);
    // The note's "Include in To-Dos" setting was stored with a new value.
    void includeInTodosChanged(const QString &noteId, bool include);

private:
    QList<Note> selectNotes(const QString &sql, const QVariantList &binds = {}) const;
    bool purgeRows(const QString &idsSql, const QVariantList &binds, QStringList *attachmentIds, QString *error);
    bool execWrite(const QString &sql, const QVariantList &binds, const char *context = nullptr);

    QSqlDatabase m_db;
    // listRowIds() of all notes and the database change counters it was read at.
    mutable QList<qint64> m_allRowIds;
    mutable QPair<qint64, qint64> m_allRowIdsVersion{-1, -1};
    int m_rankedMatchLimit = DefaultRankedMatchLimit;
};

Note noteFromQuery(const QSqlQuery &query);
