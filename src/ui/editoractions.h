#pragma once

#include <QList>
#include <QObject>

class FindBar;
class NoteEditor;
class QAction;
class QMenu;
class QWidget;

// The Edit and Format entries bound to one editor, built once for both the
// main window and the note windows so that a key means the same in each.
// Everything that needs an open, editable note is enabled in one place.
class EditorActions : public QObject
{
    Q_OBJECT

public:
    enum class FormatSet { Full, Reduced };

    EditorActions(NoteEditor *editor, QWidget *window);

    // "Undo" and "Redo"; they follow the editor's own availability.
    void addUndoRedo(QMenu *edit);
    // "Find in Note..." opening `findBar`; it works on view-only notes too.
    void addFindInNote(QMenu *edit, FindBar *findBar);
    // The main window's set adds inline code, alignment and link insertion.
    void addFormatEntries(QMenu *format, FormatSet set);
    // An entry of the window that needs an open, editable note.
    void addNoteAction(QAction *action);

    bool noteEditable() const;
    // Re-evaluates every entry; the editor's read-only changes call it too.
    void updateState();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addEntry(QMenu *menu, const QString &text, const QKeySequence &shortcut);

    NoteEditor *m_editor;
    QWidget *m_window;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    QList<QAction *> m_noteActions;
};
