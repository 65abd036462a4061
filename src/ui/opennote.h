#pragma once

#include <QString>

class AppState;
class NoteEditor;
class QObject;
struct Note;

// The one save rule of every window that edits a note in a NoteEditor:
// a note is written only when the user changed it (the editor compares with
// its own Delta as loaded or last saved), a visit that wrote something leaves
// one snapshot, and a change stored elsewhere reloads the editor unless the
// editor holds edits of its own, which win.
class OpenNote
{
public:
    enum class SaveResult { Unchanged, Saved, Failed };

    // source identifies the window in noteUpdatedExternally.
    OpenNote(AppState *state, NoteEditor *editor, QObject *source);

    QString id() const { return m_id; }
    bool isOpen() const { return !m_id.isEmpty(); }
    // The body as this window last loaded or stored it.
    QString storedBody() const { return m_storedBody; }

    // Shows the note; a forced reload of the same note keeps the visit.
    void open(const Note &note, bool force);
    void clear();

    SaveResult save();
    // Writes a snapshot of the stored note when this visit wrote to it.
    bool snapshotIfChanged();
    // The stored note changed: reload it unless this window has edits, or
    // the stored body is the one this window last loaded or saved. The
    // cursor and scroll position stay where they were.
    bool reloadIfChangedElsewhere();

private:
    void keepSyncedTextUnderTyping(const QString &typed);

    AppState *m_state;
    NoteEditor *m_editor;
    QObject *m_source;
    QString m_id;
    // What this window last loaded or stored, as it is in the database.
    QString m_storedBody;
    bool m_wroteSinceSnapshot = false;
    bool m_saving = false;
};
