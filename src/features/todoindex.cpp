#include "todoindex.h"

#include "storage/noterepository.h"

TodoIndex::TodoIndex(NoteRepository *notes)
    : m_notes(notes)
{
}

void TodoIndex::store(qint64 rowId, const QString &noteId, const QString &body, const QString &title,
                      const QString &stamp, bool editable)
{
    ++m_bodiesRead;
    const QDateTime updatedAt = fromStoredTimestamp(stamp);
    Entry &entry = m_entries[rowId];
    // A row once held by a purged note.
    if (!entry.todos.noteId.isEmpty() && entry.todos.noteId != noteId)
        m_rowOfNote.remove(entry.todos.noteId);
    entry.stamp = stamp;
    entry.todos.tasks = extractTasks(noteId, body, updatedAt);
    entry.todos.foldedTexts.clear();
    if (entry.todos.tasks.isEmpty()) {
        // Nothing to show: keep the stamp, not the texts.
        entry.todos = NoteTodos();
        m_rowOfNote.remove(noteId);
        return;
    }
    entry.todos.noteId = noteId;
    entry.todos.title = title;
    entry.todos.updatedMs = updatedAt.toMSecsSinceEpoch();
    entry.todos.editable = editable;
    m_rowOfNote.insert(noteId, rowId);
}

void TodoIndex::forget(qint64 rowId)
{
    const auto it = m_entries.constFind(rowId);
    if (it == m_entries.constEnd())
        return;
    if (!it->todos.noteId.isEmpty())
        m_rowOfNote.remove(it->todos.noteId);
    m_entries.erase(it);
}

const TodoIndex::NoteTodos *TodoIndex::syncNote(const QString &noteId)
{
    m_changed.remove(noteId);
    if (!m_notes)
        return nullptr;
    const std::optional<TaskSourceNote> note = m_notes->taskSourceNote(noteId);
    // Purged, or its row taken over by another note since.
    const auto known = m_rowOfNote.constFind(noteId);
    if (known != m_rowOfNote.constEnd() && (!note || *known != note->rowId))
        forget(*known);
    if (!note)
        return nullptr;
    if (note->trashed) {
        forget(note->rowId);
        return nullptr;
    }
    store(note->rowId, note->id, note->body, note->title, note->updatedAt, note->editable);
    const Entry &entry = m_entries[note->rowId];
    return entry.todos.tasks.isEmpty() ? nullptr : &entry.todos;
}

void TodoIndex::markChanged(const QString &noteId)
{
    m_changed.insert(noteId);
}

const QStringList &TodoIndex::NoteTodos::folded() const
{
    if (foldedTexts.size() != tasks.size()) {
        foldedTexts.clear();
        for (const Task &task : tasks)
            foldedTexts.append(task.text.toCaseFolded());
    }
    return foldedTexts;
}

void TodoIndex::sync()
{
    if (!m_notes)
        return;
    const QPair<qint64, qint64> now = m_notes->changeStamp();
    if (m_changed.isEmpty() && now.first >= 0 && now == m_syncedAt)
        return;
    m_syncedAt = now;
    const QSet<QString> changed = std::exchange(m_changed, {});
    for (const QString &noteId : changed)
        syncNote(noteId);

    const QList<NoteStamp> stamps = m_notes->liveNoteStamps();
    QHash<qint64, QString> stale;
    QSet<qint64> live;
    live.reserve(stamps.size());
    for (const NoteStamp &stamp : stamps) {
        live.insert(stamp.rowId);
        const auto it = m_entries.constFind(stamp.rowId);
        if (it == m_entries.constEnd() || it->stamp != stamp.updatedAt)
            stale.insert(stamp.rowId, stamp.updatedAt);
    }
    // Trashed or purged since.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (live.contains(it.key())) {
            ++it;
            continue;
        }
        if (!it->todos.noteId.isEmpty())
            m_rowOfNote.remove(it->todos.noteId);
        it = m_entries.erase(it);
    }
    if (stale.isEmpty())
        return;

    // Past a point one pass over every note beats a long list of rows.
    const QList<TaskSourceNote> sources =
        stale.size() > stamps.size() / 4 ? m_notes->allTaskSourceNotes() : m_notes->taskSourceNotes(stale.keys());
    for (const TaskSourceNote &note : sources) {
        if (stale.remove(note.rowId))
            store(note.rowId, note.id, note.body, note.title, note.updatedAt, note.editable);
    }
    // The rest cannot hold a to-do; remember only when they were looked at.
    for (auto it = stale.cbegin(); it != stale.cend(); ++it) {
        forget(it.key());
        m_entries[it.key()].stamp = it.value();
    }
}

QList<const TodoIndex::NoteTodos *> TodoIndex::notesWithTodos() const
{
    QList<const NoteTodos *> notes;
    notes.reserve(m_rowOfNote.size());
    for (const Entry &entry : m_entries) {
        if (!entry.todos.tasks.isEmpty())
            notes.append(&entry.todos);
    }
    return notes;
}
