#pragma once

#include "features/tasks.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

class NoteRepository;

// The to-dos of every live note, kept between refreshes of the To-Dos list.
// A note's body is read and its to-dos extracted again only when its stored
// update time moved, or when it was reported written (a save within the same
// millisecond keeps the time). Reads only.
class TodoIndex
{
public:
    struct NoteTodos
    {
        QString noteId;
        // Empty for a note without a title.
        QString title;
        // Milliseconds since the epoch, for ordering by note.
        qint64 updatedMs = 0;
        bool editable = true;
        QList<Task> tasks;
        // Each task's text case-folded, for ordering by text; made on first use.
        mutable QStringList foldedTexts;
        const QStringList &folded() const;
    };

    explicit TodoIndex(NoteRepository *notes);

    // Brings every note up to date with the database.
    void sync();
    // Reads one note again now. Null when it is gone, trashed or has no to-do.
    const NoteTodos *syncNote(const QString &noteId);
    // The note was written; sync() reads it again.
    void markChanged(const QString &noteId);

    // Every note with at least one to-do, in no particular order.
    QList<const NoteTodos *> notesWithTodos() const;
    // How many note bodies were read since construction (for measurements).
    qint64 bodiesRead() const { return m_bodiesRead; }

private:
    struct Entry
    {
        // The stored update time the to-dos were extracted at.
        QString stamp;
        NoteTodos todos;
    };

    void store(qint64 rowId, const QString &noteId, const QString &body, const QString &title,
               const QString &stamp, bool editable);
    void forget(qint64 rowId);

    NoteRepository *m_notes;
    QHash<qint64, Entry> m_entries;
    // Notes with to-dos only: the notes a one-note change can remove.
    QHash<QString, qint64> m_rowOfNote;
    QSet<QString> m_changed;
    qint64 m_bodiesRead = 0;
    // The database's change stamp at the last sync: a sync with no write
    // since reads nothing.
    QPair<qint64, qint64> m_syncedAt{-1, -1};
};
