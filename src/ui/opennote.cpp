#include "opennote.h"

#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "sync/syncengine.h"
#include "ui/noteeditor.h"

#include <QScrollBar>
#include <QTextCursor>

OpenNote::OpenNote(AppState *state, NoteEditor *editor, QObject *source)
    : m_state(state)
    , m_editor(editor)
    , m_source(source)
{
}

void OpenNote::open(const Note &note, bool force)
{
    if (note.id != m_id)
        m_wroteSinceSnapshot = false;
    m_id = note.id;
    m_storedBody = note.body;
    m_editor->loadNote(note.id, note.body, force);
    const bool editable = !note.isShared || note.permission == QLatin1String("edit");
    m_editor->setReadOnly(!editable);
}

void OpenNote::clear()
{
    m_id.clear();
    m_storedBody.clear();
    m_wroteSinceSnapshot = false;
    m_editor->clearNote();
}

OpenNote::SaveResult OpenNote::save()
{
    if (m_id.isEmpty() || m_editor->isReadOnly() || !m_state->notes())
        return SaveResult::Unchanged;
    const std::optional<QString> json = m_editor->changedJson();
    if (!json)
        return SaveResult::Unchanged;

    keepSyncedTextUnderTyping(*json);
    // The write announces itself synchronously; this window's own echo must
    // not reload the editor.
    m_saving = true;
    const NoteRepository::SaveResult result = m_state->notes()->saveEditedBody(m_id, *json);
    m_saving = false;
    switch (result) {
    case NoteRepository::SaveResult::Failed:
        m_editor->markSaveFailed();
        return SaveResult::Failed;
    case NoteRepository::SaveResult::Unchanged:
        m_storedBody = *json;
        m_editor->acceptSaved(*json);
        return SaveResult::Unchanged;
    case NoteRepository::SaveResult::Saved:
        break;
    }
    m_storedBody = *json;
    m_wroteSinceSnapshot = true;
    m_editor->acceptSaved(*json);
    m_state->notifyNoteUpdated(m_id, m_source);
    return SaveResult::Saved;
}

void OpenNote::keepSyncedTextUnderTyping(const QString &typed)
{
    // A sync replaced the text while this window held unsaved typing (it did
    // not reload). The typing is stored over it; the text from the server is
    // kept as a conflicting copy instead of vanishing.
    const std::optional<Note> stored = m_state->notes()->byId(m_id);
    if (stored && stored->syncStatus != SyncStatus::Pending && stored->body != m_storedBody && stored->body != typed)
        insertConflictCopy(m_state->notes(), *stored);
}

bool OpenNote::snapshotIfChanged()
{
    if (m_id.isEmpty() || !m_wroteSinceSnapshot || m_editor->isReadOnly())
        return false;
    // On failure the visit stays marked, so the next leave tries again.
    if (!snapshotStoredVersion(m_state->snapshots(), m_state->notes(), m_id))
        return false;
    m_wroteSinceSnapshot = false;
    return true;
}

bool OpenNote::reloadIfChangedElsewhere()
{
    if (m_id.isEmpty() || m_saving || !m_editor->isSaved() || m_editor->changedJson())
        return false;
    const std::optional<Note> note = m_state->notes()->byId(m_id);
    if (!note || note->isTrashed() || note->body == m_storedBody)
        return false;

    const int position = m_editor->textCursor().position();
    const int anchor = m_editor->textCursor().anchor();
    const int scroll = m_editor->verticalScrollBar()->value();
    open(*note, true);
    const int last = m_editor->document()->characterCount() - 1;
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(qBound(0, anchor, last));
    cursor.setPosition(qBound(0, position, last), QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);
    m_editor->verticalScrollBar()->setValue(scroll);
    return true;
}
