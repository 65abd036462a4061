#pragma once

#include "storage/note.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class AppState;
class EditorToolbar;
class NoteEditor;
class NoteHeaderBar;
class QAction;
class QTimer;
class QWidget;

// The header bar and the formatting toolbar above a window's note editor,
// and the header's commands that work the same in the main window and in a
// note window. The open note is the one the editor shows.
class NoteChrome : public QObject
{
    Q_OBJECT

public:
    // Builds both bars as children of `window`, which lays them out above
    // the editor and handles the focus toggle, the notebook chip and Move to
    // Trash itself.
    NoteChrome(AppState *state, NoteEditor *editor, QWidget *window);

    NoteHeaderBar *headerBar() const { return m_header; }
    EditorToolbar *toolbar() const { return m_toolbar; }

    // Stores the editor's typing; commands that read the stored note call it
    // first.
    void setSaveHandler(std::function<void()> save);
    // The header's Export and Print entries run these window actions and are
    // available exactly when the actions are. Without one the entry stays
    // disabled.
    void setExportAction(QAction *action);
    void setPrintAction(QAction *action);

    // The window has just loaded `note` into the editor, or cleared the
    // editor (nullptr): both bars show it.
    void showNote(const Note *note);

    // Commands on the open note; without one they do nothing.
    void copyAsPlainText();
    void copyAsMarkdown();
    void copyAsHtml();
    void showHistory();
    void share();
    void moveToNotebook();
    void setIncludeInTodos(bool include);

    // The header's "Updated" line: "Updated %1 · %2 words", or "Updated %1"
    // when the note has no words.
    static QString updatedText(const QDateTime &updatedAt, int words, const QDateTime &now);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString openNoteId() const;
    std::optional<Note> storedOpenNote();
    void applyEditable();
    void refreshFromStore();
    void refreshNotebookName();
    void refreshUpdatedLine();
    void follow(QAction *entry, QAction *action);

    AppState *m_state;
    NoteEditor *m_editor;
    QWidget *m_window;
    NoteHeaderBar *m_header;
    EditorToolbar *m_toolbar;
    QTimer *m_clock;
    std::function<void()> m_save;
    // What the header shows of the open note, as last read.
    QString m_notebookId;
    QDateTime m_updatedAt;
};
