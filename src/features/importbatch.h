#pragma once

#include "import.h"
#include "storage/attachmentrepository.h"
#include "storage/note.h"
#include "storage/notebook.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// Takes back an import that a crash or a kill stopped between two of its
// transactions: the journal it keeps beside the database while it stores
// lists what it brought. Runs once the database is open, before anything
// shows its notes; true when there was nothing to do or all was taken back.
bool takeBackUnfinishedImport(Database *database, QString *error);

// Collects what one archive brings and stores it, all or nothing. Converting
// notes happens before commit() without holding the database's write lock,
// and commit() stores in transactions of a few tens of milliseconds, so the
// window's own saves are not kept waiting. Attachment files are written as
// they come (the bytes are not kept in memory) and removed again unless
// commit() succeeds.
class ImportBatch
{
public:
    explicit ImportBatch(Database *database);
    ~ImportBatch();
    ImportBatch(const ImportBatch &) = delete;
    ImportBatch &operator=(const ImportBatch &) = delete;

    // Returns the new notebook's id.
    QString addNotebook(const QString &name, const QDateTime &createdAt, const QDateTime &updatedAt);
    // Returns the new note's id, for its attachments; the note's other
    // fields are filled in by the caller later through setNoteBody().
    QString newNoteId();
    // Writes the file now; empty id, with *error set, when that fails.
    QString addAttachment(const QString &noteId, const QString &filename, const QString &mimeType,
                          const QByteArray &bytes, QString *error);
    // `label` names the note in the report should storing it fail.
    void addNote(const Note &note, const QString &label);

    int noteCount() const { return int(m_notes.size()); }

    // Stores everything; note-level failures count in result->errors (their
    // attachments are dropped), anything else rolls the lot back. progress
    // is asked between notes and may cancel.
    bool commit(ImportResult *result, const ImportProgress &progress);
    // Removes the files written so far.
    void discard();
    // How many notes one transaction of commit() stores at most (it also
    // ends after a few tens of milliseconds).
    void setNotesPerTransaction(int notes) { m_notesPerTransaction = qMax(1, notes); }

private:
    struct PendingNote
    {
        Note note;
        QString label;
    };

    Database *m_database;
    AttachmentRepository m_attachments;
    QList<Notebook> m_notebooks;
    QList<PendingNote> m_notes;
    QList<Attachment> m_attachmentRows;
    QStringList m_writtenFiles;
    // Where this import's files wait until the journal lists them.
    QString m_stagingDirectory;
    bool m_committed = false;
    int m_notesPerTransaction = 500;
};

// A note whose body is still Markdown or HTML text.
struct NoteSource
{
    Note note;
    QString label;
    QString text;
    bool isHtml = false;
};

// Converts each source's text to its note's Delta body, on as many threads
// as there are cores: converting is most of an import's work. progress is
// called on this thread only; false when it cancelled.
bool convertNoteBodies(QList<NoteSource> &sources, const ImportProgress &progress);

// What a cancelled import reports: nothing stored.
ImportResult cancelledImport(ImportResult result);
// The last steps of every archive: bodies converted, notes added, one commit.
ImportResult finishImport(QList<NoteSource> &sources, ImportBatch &batch, ImportResult result,
                          const ImportProgress &progress);

QString newImportId();
// The type of a file from its bytes (magic numbers) first, then its name,
// then what the archive declared; never "image/jpg" and the like.
QString importMimeType(const QByteArray &bytes, const QString &fileName, const QString &declared);
// Seconds since 1970; values above 10^11 are taken as milliseconds. Values
// outside 1970..2100 give `fallback`.
QDateTime importTimeFromEpoch(qint64 value, const QDateTime &fallback);
