#pragma once

#include "ui/opennote.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QString>

class AppState;
class EditorActions;
class FindBar;
class NoteChrome;
class NoteEditor;
class NoteHeaderBar;
class NoteListWidget;
class NotebookListWidget;
class NoteOutput;
class WelcomeScreen;
class QAction;
class QLineEdit;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;
class QTimer;
class StatusBar;
class TodosScreen;

// The main window: notebooks, a searchable list of notes and the editor of
// the open note side by side, with the menu bar of every command.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState *state, QWidget *parent = nullptr);

    void showAndActivate();

    NoteEditor *editor() const { return m_editor; }
    QString openNoteId() const { return m_open.id(); }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    FindBar *findBar() const { return m_findBar; }
    QWidget *sidebarPane() const { return m_sidebarPane; }
    QWidget *listPane() const { return m_listPane; }
    QSplitter *splitter() const { return m_splitter; }
    QStackedWidget *screenStack() const { return m_screenStack; }
    WelcomeScreen *welcomePage() const { return m_welcomePage; }
    NotebookListWidget *notebookList() const { return m_notebookList; }
    NoteListWidget *noteList() const { return m_list; }
    QWidget *noteView() const { return m_noteView; }
    bool focusMode() const { return m_focusMode; }
    bool notebookSidebarVisible() const { return m_sidebarVisible; }
    QList<int> normalSplitterSizes() const { return m_normalSplitterSizes; }
    NoteChrome *noteChrome() const { return m_chrome; }

    void newNote();
    void selectNote(const QString &noteId);
    void openNote(const QString &noteId, bool force);
    void saveCurrentNote();
    void snapshotIfChanged();
    void moveCurrentNoteToTrash(bool confirm);
    void refreshNoteList();
    void refreshNotebooks();
    void showAppropriateScreen();
    // Sign-in and sign-out entries, welcome page and status bar follow the account.
    void updateAuthUI();
    QAction *signInAction() const { return m_signInAction; }
    QAction *signOutAction() const { return m_signOutAction; }
    void showSearchWindow();
    void showTrashWindow();
    void showTodosWindow();
    // Created on first use; null until then.
    TodosScreen *todosWindow() const { return m_todosWindow; }
    void setFocusMode(bool on);
    void setNotebookSidebarVisible(bool on);
    // Remembers the note windows for the next start, stores every open note
    // through its window's own save and ends the application.
    void quitApplication();
    // Closes this window and every note window, each saving its note.
    void closeEveryWindow();

    // "10,20,30" → {10, 20, 30}; anything but three integers ≥ 0 → empty.
    static QList<int> parseSplitterSizes(const QString &text);

    NoteOutput *noteOutput() const { return m_output; }

public Q_SLOTS:
    // The open note to a file or to paper.
    void exportCurrentNote();
    void printNote();
    void printPreview();

protected:
    void closeEvent(QCloseEvent *event) override;

public Q_SLOTS:
    // The open note on the clipboard; nothing without one.
    void copyCurrentNoteAsPlainText();
    void copyCurrentNoteAsMarkdown();
    void copyCurrentNoteAsHtml();

private Q_SLOTS:
    void showPreferences();
    void loadSampleNotes();

private:
    void createMenuBar();
    void createFileMenu();
    void createEditMenus();
    void createNoteMenu();
    void createViewMenu();
    void createHelpMenu();
    void createUI();
    void connectSignals();
    void restoreWindowState();
    void saveWindowState();
    void applyLayout();
    void applyStenoArrangement();
    void applyEditorFontSize();
    void setUpTray();
    void onPreferenceChanged(const QString &key);
    void updateListCount();
    void clearOpenNote();
    void moveCurrentNoteToNotebook();
    void openCurrentNotebook();
    void newNotebook();
    void showNotebookContextMenu(const QString &notebookId, const QPoint &globalPos);
    void renameNotebook(const QString &notebookId);
    void deleteNotebook(const QString &notebookId);
    void showNotebookView(const QString &notebookId);
    void showAbout();
    void showNoteContextMenu(const QString &noteId, const QPoint &globalPos);
    bool splitterShowsAllPanes() const;
    QAction *addLaterFeature(QMenu *menu, const QString &text, const QKeySequence &shortcut = {});

    AppState *m_state;
    QSplitter *m_splitter = nullptr;
    QWidget *m_sidebarPane = nullptr;
    QWidget *m_listPane = nullptr;
    QWidget *m_searchBar = nullptr;
    QLineEdit *m_search;
    NoteListWidget *m_list;
    QWidget *m_editorPane = nullptr;
    QStackedWidget *m_screenStack = nullptr;
    WelcomeScreen *m_welcomePage = nullptr;
    NotebookListWidget *m_notebookList = nullptr;
    QWidget *m_noteView = nullptr;
    NoteEditor *m_editor;
    StatusBar *m_statusBar;
    QTimer *m_searchTimer;
    EditorActions *m_editorActions;
    FindBar *m_findBar;
    OpenNote m_open;
    NoteOutput *m_output;
    // Header bar and toolbar above the editor.
    NoteChrome *m_chrome;

    QAction *m_signInAction = nullptr;
    QAction *m_signOutAction = nullptr;
    QAction *m_focusModeAction = nullptr;
    QAction *m_sidebarAction = nullptr;
    bool m_focusMode = false;
    bool m_sidebarVisible = true;
    QList<int> m_normalSplitterSizes;
    QSystemTrayIcon *m_trayIcon = nullptr;
    TodosScreen *m_todosWindow = nullptr;
    bool m_closeToTray = false;
    bool m_canShare = false;
    QHash<QString, QString> m_notebookNames;

    bool m_selectingProgrammatically = false;
    // Set by a one-note change, cleared by the notesChanged() that follows it.
    bool m_listFollowedOneNote = false;
};
