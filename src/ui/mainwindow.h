#pragma once

#include "ui/opennote.h"

#include <QMainWindow>
#include <QString>

class AppState;
class NoteEditor;
class NoteListWidget;
class QLineEdit;
class QSplitter;
class QTimer;
class StatusBar;

// The main window: a searchable list of notes beside the editor of the open
// note, which saves itself a second after the last change.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState *state, QWidget *parent = nullptr);

    void showAndActivate();

    NoteEditor *editor() const { return m_editor; }
    QString openNoteId() const { return m_open.id(); }
    StatusBar *statusBarWidget() const { return m_statusBar; }

    void newNote();
    void selectNote(const QString &noteId);
    void saveCurrentNote();
    void snapshotIfChanged();
    void moveCurrentNoteToTrash(bool confirm);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildHelpMenu();
    void refreshNoteList();
    void updateListCount();
    void openNote(const QString &noteId, bool force);
    void showNoteContextMenu(const QString &noteId, const QPoint &globalPos);

    AppState *m_state;
    QLineEdit *m_search;
    NoteListWidget *m_list;
    NoteEditor *m_editor;
    StatusBar *m_statusBar;
    QTimer *m_searchDebounce;
    OpenNote m_open;
    bool m_selectingProgrammatically = false;
    // Set by a one-note change, cleared by the notesChanged() that follows it.
    bool m_listFollowedOneNote = false;
};
