#pragma once

#include "ui/opennote.h"

#include <QMainWindow>
#include <QString>

class AppState;
class EditorActions;
class FindBar;
class NoteChrome;
class NoteEditor;
class NoteOutput;
class StatusBar;

// One note edited in a window of its own; it saves like the main window and
// follows changes made to the note elsewhere.
class NoteWindow : public QMainWindow
{
    Q_OBJECT

public:
    NoteWindow(AppState *state, const QString &noteId, QWidget *parent = nullptr);

    QString noteId() const { return m_noteId; }
    NoteEditor *editor() const { return m_editor; }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    NoteChrome *noteChrome() const { return m_chrome; }
    // Export, print and copy of this window's note.
    NoteOutput *output() const { return m_output; }

    void reload();
    void save();
    // What Save Snapshot does: store the note and keep this version.
    void saveSnapshot();
    void moveToTrash(bool confirm);

Q_SIGNALS:
    void windowClosed(const QString &noteId);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void updateTitle(const QString &body, bool found);
    QString geometryKey() const;

    AppState *m_state;
    QString m_noteId;
    NoteEditor *m_editor;
    StatusBar *m_statusBar;
    EditorActions *m_editorActions;
    FindBar *m_findBar;
    OpenNote m_open;
    NoteChrome *m_chrome;
    NoteOutput *m_output;
    // Trashing closes the window, and so does the deletion it announces.
    bool m_closed = false;
};
