#include "mainwindow.h"

#include "account/authclient.h"
#include "account/client.h"
#include "app/application.h"
#include "app/appstate.h"
#include "app/thememanager.h"
#include "document/textformats.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/accountwindows.h"
#include "ui/backupcommands.h"
#include "ui/editoractions.h"
#include "ui/editortoolbar.h"
#include "ui/findbar.h"
#include "ui/importdialog.h"
#include "ui/notechrome.h"
#include "ui/noteheaderbar.h"
#include "ui/notebookdialogs.h"
#include "ui/notebooklistwidget.h"
#include "ui/samplenotesprompt.h"
#include "sync/syncengine.h"
#include "ui/settingsdialog.h"
#include "ui/welcomescreen.h"
#include "ui/noteeditor.h"
#include "ui/notelistwidget.h"
#include "ui/noteoutput.h"
#include "ui/notewindow.h"
#include "ui/searchscreen.h"
#include "ui/statusbar.h"
#include "ui/todosscreen.h"
#include "ui/trashscreen.h"
#include "ui/trashconfirm.h"
#include "update/updateconfig.h"
#include "update/updateui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {
constexpr int SearchDebounceMs = 300;
const char *const SettingsGroup = "mainWindow";
const char *const MakerSite = "https://lumora.app";

QString settingsGroup()
{
    return QString::fromLatin1(SettingsGroup);
}

// With LUMORA_BENCH_EXIT_AFTER_PAINT set, the app prints "first list paint"
// once the note list has painted and quits: bench_app times cold starts so.
class ExitAfterFirstPaint : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            // After this paint has finished.
            QTimer::singleShot(0, this, [] {
                std::fputs("first list paint\n", stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_done = false;
};

int editorBodyPoints(AppState *state)
{
    return state->preferences() ? state->preferences()->getInt(QStringLiteral("editor_body_pt"), 12) : 12;
}

// The editor sizes its fonts from the body size when it is built.
NoteEditor *createEditor(AppState *state, QWidget *parent)
{
    setBodyFontPixelSize(int(std::lround(editorBodyPoints(state) * 96.0 / 72.0)));
    auto *editor = new NoteEditor(parent);
    editor->setAttachmentRepository(state->attachments());
    return editor;
}

bool preference(AppState *state, const char *key)
{
    return state->preferences() && state->preferences()->getBool(QString::fromLatin1(key), false);
}
} // namespace

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_search(new QLineEdit(this))
    , m_list(new NoteListWidget(this))
    , m_editor(createEditor(state, this))
    , m_statusBar(new StatusBar(this))
    , m_searchTimer(new QTimer(this))
    , m_editorActions(new EditorActions(m_editor, this))
    , m_findBar(new FindBar(m_editor, this))
    , m_open(state, m_editor, this)
    , m_output(new NoteOutput(state, m_editor, m_statusBar, [this] { saveCurrentNote(); }, this))
    , m_chrome(new NoteChrome(state, m_editor, this))
{
    setWindowTitle(QStringLiteral("Lumora Notes"));
    createMenuBar();
    createUI();
    connectSignals();
    restoreWindowState();
    refreshNotebooks();
    refreshNoteList();

    QSettings settings;
    settings.beginGroup(settingsGroup());
    m_sidebarVisible = settings.value(QStringLiteral("notebookSidebarVisible"), true).toBool();
    m_focusMode = settings.value(QStringLiteral("focusMode"), false).toBool();
    m_sidebarAction->setChecked(m_sidebarVisible);
    m_focusModeAction->setChecked(m_focusMode);
    applyLayout();

    if (!state->currentNoteId().isEmpty())
        selectNote(state->currentNoteId());
    if (state->preferences())
        connect(state->preferences(), &PreferencesRepository::changed, this, &MainWindow::onPreferenceChanged);
    // The editor was built at the stored size; only the arrangement and the
    // tray remain.
    applyStenoArrangement();
    setUpTray();
    showAppropriateScreen();
}

void MainWindow::createUI()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setHandleWidth(1);

    m_sidebarPane = new QWidget(m_splitter);
    m_sidebarPane->setObjectName(QStringLiteral("sidebarPane"));
    auto *sidebarLayout = new QVBoxLayout(m_sidebarPane);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(0);
    m_notebookList = new NotebookListWidget(m_sidebarPane);
    m_notebookList->setObjectName(QStringLiteral("notebookList"));
    sidebarLayout->addWidget(m_notebookList);

    m_listPane = new QWidget(m_splitter);
    m_listPane->setObjectName(QStringLiteral("listPane"));
    auto *listLayout = new QVBoxLayout(m_listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    m_searchBar = new QWidget(m_listPane);
    auto *searchLayout = new QHBoxLayout(m_searchBar);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(tr("Search..."));
    m_search->setClearButtonEnabled(true);
    searchLayout->addWidget(m_search);
    listLayout->addWidget(m_searchBar);
    listLayout->addWidget(m_list);
    m_list->setRepository(m_state->notes());
    // Nothing to sync to until an account is signed in.
    m_list->setSyncEnabled(false);
    m_list->setNotebookNameResolver([this](const QString &id) { return m_notebookNames.value(id); });
    if (qEnvironmentVariableIsSet("LUMORA_BENCH_EXIT_AFTER_PAINT"))
        m_list->viewport()->installEventFilter(new ExitAfterFirstPaint(m_list));

    m_editorPane = new QWidget(m_splitter);
    auto *editorLayout = new QVBoxLayout(m_editorPane);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(0);
    m_screenStack = new QStackedWidget(m_editorPane);
    m_welcomePage = new WelcomeScreen(m_screenStack);
    m_welcomePage->setSignedIn(false);
    m_noteView = new QWidget(m_screenStack);
    auto *noteLayout = new QVBoxLayout(m_noteView);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->setSpacing(0);
    noteLayout->addWidget(m_chrome->headerBar());
    noteLayout->addWidget(m_chrome->toolbar());
    noteLayout->addWidget(m_findBar);
    noteLayout->addWidget(m_editor);
    m_screenStack->addWidget(m_welcomePage);
    m_screenStack->addWidget(m_noteView);
    editorLayout->addWidget(m_screenStack);

    m_splitter->addWidget(m_sidebarPane);
    m_splitter->addWidget(m_listPane);
    m_splitter->addWidget(m_editorPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({200, 260, 800});
    setCentralWidget(m_splitter);
    setStatusBar(m_statusBar);

    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(SearchDebounceMs);
}

QAction *MainWindow::addLaterFeature(QMenu *menu, const QString &text, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(text);
    action->setShortcut(shortcut);
    action->setEnabled(false);
    action->setToolTip(tr("%1 is not available in this build yet").arg(QString(text).remove(QStringLiteral("..."))));
    return action;
}

void MainWindow::createMenuBar()
{
    createFileMenu();
    createEditMenus();
    createNoteMenu();
    createViewMenu();
    createHelpMenu();
    const QList<QMenu *> menus = menuBar()->findChildren<QMenu *>();
    for (QMenu *menu : menus)
        menu->setToolTipsVisible(true);

    // Not on Ctrl+Backspace: that deletes the word before the cursor while
    // typing, and a note must never vanish on a word-deletion key.
    auto *trashNow = new QAction(tr("Move to Trash Without Asking"), this);
    trashNow->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Del")));
    trashNow->setShortcutContext(Qt::ApplicationShortcut);
    connect(trashNow, &QAction::triggered, this, [this] { moveCurrentNoteToTrash(false); });
    addAction(trashNow);
    m_editorActions->addNoteAction(trashNow);
}

void MainWindow::createFileMenu()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *newNoteAction = file->addAction(tr("New Note"), QKeySequence(QStringLiteral("Ctrl+N")), this,
                                             &MainWindow::newNote);
    newNoteAction->setShortcutContext(Qt::ApplicationShortcut);
    QAction *newWindow = file->addAction(tr("New Note in Window"), QKeySequence(QStringLiteral("Ctrl+Shift+N")),
                                         this, [this] { m_state->newNoteWindow(); });
    newWindow->setShortcutContext(Qt::ApplicationShortcut);
    QAction *save = file->addAction(tr("Save Snapshot"), QKeySequence::Save, this, [this] {
        saveCurrentNote();
        snapshotIfChanged();
    });
    m_editorActions->addNoteAction(save);
    file->addSeparator();
    // Not Ctrl+I: that is italic in the editor.
    file->addAction(tr("Import..."), QKeySequence(QStringLiteral("Ctrl+Shift+I")), this,
                    &MainWindow::showImportDialog);
    // The header's Export and Print entries run these two.
    m_chrome->setExportAction(file->addAction(tr("Export..."), QKeySequence(QStringLiteral("Ctrl+E")), this,
                                              &MainWindow::exportCurrentNote));
    file->addSeparator();
    m_chrome->setPrintAction(file->addAction(tr("Print..."), QKeySequence::Print, this, &MainWindow::printNote));
    file->addAction(tr("Print Preview..."), QKeySequence(QStringLiteral("Ctrl+Shift+P")), this,
                    &MainWindow::printPreview);
    file->addSeparator();
    file->addAction(tr("Backup Database..."), this, &MainWindow::backupDatabase);
    file->addAction(tr("Restore Database..."), this, &MainWindow::restoreDatabase);
    file->addSeparator();
    // Signing in starts from the welcome page, which says what an account is for.
    m_signInAction = file->addAction(tr("Sign In..."), this, [this] { m_screenStack->setCurrentWidget(m_welcomePage); });
    m_signOutAction = file->addAction(tr("Sign &Out"), this, [this] {
        if (BrioAccount::Client *account = m_state->accountClient())
            account->authClient()->logout();
    });
    file->addSeparator();
    QAction *preferences = file->addAction(tr("Preferences\u2026"), QKeySequence(QStringLiteral("Ctrl+,")), this,
                                           &MainWindow::showPreferences);
    preferences->setShortcutContext(Qt::ApplicationShortcut);
    file->addSeparator();
    QKeySequence quitKey(QKeySequence::Quit);
    if (quitKey.isEmpty())
        quitKey = QKeySequence(QStringLiteral("Ctrl+Q"));
    QAction *quit = file->addAction(tr("Quit"), quitKey, this, &MainWindow::quitApplication);
    quit->setMenuRole(QAction::QuitRole);
}

void MainWindow::showImportDialog()
{
    auto *dialog = new ImportDialog(m_state, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainWindow::createEditMenus()
{
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    m_editorActions->addUndoRedo(edit);
    edit->addSeparator();
    m_editorActions->addFindInNote(edit, m_findBar);
    edit->addSeparator();
    QAction *preferences = edit->addAction(tr("Preferences\u2026"), this, &MainWindow::showPreferences);
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu *format = menuBar()->addMenu(tr("F&ormat"));
    m_editorActions->addFormatEntries(format, EditorActions::FormatSet::Full);
}

void MainWindow::createNoteMenu()
{
    QMenu *note = menuBar()->addMenu(tr("&Note"));
    m_editorActions->addNoteAction(note->addAction(tr("Move to Notebook..."), QKeySequence(QStringLiteral("Ctrl+M")),
                                                   this, &MainWindow::moveCurrentNoteToNotebook));
    m_editorActions->addNoteAction(note->addAction(tr("Version History..."), QKeySequence(QStringLiteral("Ctrl+H")),
                                                   m_chrome, &NoteChrome::showHistory));
    m_editorActions->addNoteAction(
        note->addAction(tr("Open in New Window"), QKeySequence(QStringLiteral("Ctrl+Shift+O")), this, [this] {
            if (m_open.isOpen()) {
                saveCurrentNote();
                m_state->openNoteWindow(m_open.id());
            }
        }));
    note->addSeparator();
    QAction *trash = note->addAction(tr("Move to Trash\u2026"), QKeySequence(QStringLiteral("Ctrl+D")), this,
                                     [this] { moveCurrentNoteToTrash(true); });
    trash->setShortcutContext(Qt::ApplicationShortcut);
    m_editorActions->addNoteAction(trash);
}

void MainWindow::createViewMenu()
{
    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("To-Dos"), QKeySequence(QStringLiteral("Ctrl+Alt+T")), this, &MainWindow::showTodosWindow);
    view->addAction(tr("Find"), QKeySequence(QStringLiteral("F3")), this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    view->addAction(tr("Search All Notes..."), QKeySequence(QStringLiteral("Ctrl+Shift+F")), this,
                    &MainWindow::showSearchWindow);
    view->addAction(tr("Trash"), QKeySequence(QStringLiteral("Ctrl+Alt+D")), this, &MainWindow::showTrashWindow);
    view->addSeparator();
    m_focusModeAction = view->addAction(tr("Focus Mode"), QKeySequence(QStringLiteral("Ctrl+\\")), this,
                                        [this] { setFocusMode(!m_focusMode); });
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setToolTip(tr("Hide the notebook and note lists to write without distractions"));
    m_sidebarAction = view->addAction(tr("Show Notebook Sidebar"), QKeySequence(QStringLiteral("Ctrl+Alt+B")), this,
                                      [this] { setNotebookSidebarVisible(!m_sidebarVisible); });
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    view->addSeparator();
    view->addAction(tr("Sync Now"), QKeySequence(QStringLiteral("Ctrl+Alt+R")), this, &MainWindow::syncNow);
}

void MainWindow::createHelpMenu()
{
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("About Lumora Notes"), this, &MainWindow::showAbout);
    // The library may report after this window is gone.
    QPointer<MainWindow> self(this);
    BrioUpdate::UiCallbacks callbacks;
    callbacks.busy = [self](const QString &text) {
        if (self)
            self->statusBar()->showMessage(text);
    };
    callbacks.done = [self] {
        if (self)
            self->statusBar()->clearMessage();
    };
    callbacks.message = [self](const QString &text, int timeoutMs) {
        if (self)
            self->statusBar()->showMessage(text, timeoutMs);
    };
    const QString displayName = QString::fromLatin1(Application::DisplayName);
    help->addAction(tr("What's &New..."), this, [this, callbacks, displayName] {
        BrioUpdate::showWhatsNew(Application::updateConfig(), displayName, this, callbacks);
    });
    help->addAction(tr("Check for &Updates..."), this, [this, callbacks, displayName] {
        BrioUpdate::checkForUpdates(Application::updateConfig(), displayName, this, callbacks);
    });
    help->addAction(tr("Send &Feedback..."), this, [] { BrioUpdate::openFeedback(Application::feedbackConfig()); });
    if (qEnvironmentVariable("NOTES_DEV") == QLatin1String("1")) {
        help->addSeparator();
        help->addAction(tr("Load &Sample Notes"), this, &MainWindow::loadSampleNotes);
    }
    help->addSeparator();
    help->addAction(tr("About Qt"), this, [this] { QMessageBox::aboutQt(this); });
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Lumora Notes"),
                       tr("Lumora Notes %1\n\nSearch-first, zero-friction note-taking.\n\n%2")
                           .arg(QString::fromLatin1(Application::Version), QString::fromLatin1(MakerSite)));
}

void MainWindow::showPreferences()
{
    // One Preferences window; asking again brings it forward.
    if (auto *open = findChild<SettingsDialog *>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new SettingsDialog(m_state, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connectSettingsToSync(dialog);
    dialog->show();
}

void MainWindow::loadSampleNotes()
{
    saveCurrentNote();
    loadSampleNotesInteractively(this, m_state->notes(),
                                 [this](const QString &message) { m_statusBar->showMessage(message, 3000); });
}

namespace {
// Shows a separate window, sized only the first time it appears.
void presentWindow(QWidget *window, const QString &title, const QSize &size)
{
    window->setWindowTitle(title);
    if (!window->isVisible())
        window->resize(size);
    window->show();
    window->raise();
    window->activateWindow();
}

// One Search and one Trash window for the whole run, whatever main window
// asks; they have no parent and outlive it.
template<typename Screen>
Screen *processWideScreen(AppState *state)
{
    static QPointer<Screen> screen;
    static QPointer<AppState> owner;
    // A new application state (tests make one per case) gets a new window.
    if (screen && owner != state)
        delete screen.data();
    if (!screen) {
        owner = state;
        screen = new Screen(state);
        // Ended with the application, like every top-level window.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, screen.data(), &QObject::deleteLater);
    }
    return screen;
}
} // namespace

void MainWindow::showSearchWindow()
{
    auto *search = processWideScreen<SearchScreen>(m_state);
    search->runSearch();
    presentWindow(search, tr("Search \u2014 Lumora Notes"), QSize(600, 500));
    search->focusQuery();
}

void MainWindow::showTrashWindow()
{
    saveCurrentNote();
    auto *trash = processWideScreen<TrashScreen>(m_state);
    trash->refresh();
    presentWindow(trash, tr("Trash \u2014 Lumora Notes"), QSize(500, 400));
}

void MainWindow::showTodosWindow()
{
    // The list reads what is stored: typing first.
    saveCurrentNote();
    if (!m_todosWindow)
        m_todosWindow = new TodosScreen(m_state, this);
    m_todosWindow->refresh();
    presentWindow(m_todosWindow, tr("To-Dos \u2014 Lumora Notes"), QSize(600, 500));
}

void MainWindow::showNotebookView(const QString &notebookId)
{
    m_state->setCurrentNotebookId(notebookId);
    refreshNoteList();
}

void MainWindow::newNotebook()
{
    if (!m_state->notebooks())
        return;
    const QString name = NotebookDialog::getNewName(this);
    if (name.isEmpty())
        return;
    QString error;
    const std::optional<Notebook> notebook = m_state->notebooks()->create(name, &error);
    if (!notebook) {
        QMessageBox::warning(this, tr("New Notebook"), error);
        return;
    }
    showNotebookView(notebook->id);
    refreshNotebooks();
}

void MainWindow::renameNotebook(const QString &notebookId)
{
    const std::optional<Notebook> notebook = m_state->notebooks()->byId(notebookId);
    if (!notebook)
        return;
    const QString name = NotebookDialog::getRenamedName(notebook->name, this);
    if (name.isEmpty() || name == notebook->name)
        return;
    QString error;
    if (!m_state->notebooks()->rename(notebookId, name, &error))
        QMessageBox::warning(this, tr("Rename Notebook"), error);
}

void MainWindow::deleteNotebook(const QString &notebookId)
{
    const std::optional<Notebook> notebook = m_state->notebooks()->byId(notebookId);
    if (!notebook)
        return;
    if (QMessageBox::question(this, tr("Delete Notebook"),
                              tr("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // The open note may be one of those moving out: store its typing first.
    saveCurrentNote();
    QString error;
    if (!m_state->notebooks()->removeMovingNotesOut(notebookId, m_state->notes(), &error)) {
        QMessageBox::warning(this, tr("Delete Notebook"), error);
        return;
    }
    if (m_state->currentNotebookId() == notebookId)
        showNotebookView(QString());
    refreshNotebooks();
}

void MainWindow::showNotebookContextMenu(const QString &notebookId, const QPoint &globalPos)
{
    QMenu menu(this);
    menu.addAction(tr("Rename Notebook\u2026"), this, [this, notebookId] { renameNotebook(notebookId); });
    if (m_canShare) {
        menu.addAction(tr("Share Notebook\u2026"), this,
                       [this, notebookId] { showNotebookShareDialog(m_state, notebookId, this); });
    }
    menu.addSeparator();
    menu.addAction(tr("Delete Notebook"), this, [this, notebookId] { deleteNotebook(notebookId); });
    menu.exec(globalPos);
}

void MainWindow::connectSignals()
{
    connect(m_search, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    connect(m_searchTimer, &QTimer::timeout, this, &MainWindow::refreshNoteList);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        if (!m_focusMode && m_sidebarVisible && splitterShowsAllPanes())
            m_normalSplitterSizes = m_splitter->sizes();
    });
    // A write to one note moves its one row; the notesChanged() that follows
    // needs no full refresh then. Other writes (many notes at once) refresh.
    connect(m_state, &AppState::noteChanged, this, [this](const QString &id) {
        m_list->updateNote(id);
        updateListCount();
        m_listFollowedOneNote = true;
        if (id == m_open.id())
            m_open.reloadIfChangedElsewhere();
    });
    connect(m_state, &AppState::notesChanged, this, [this] {
        // A one-note write has reloaded the open note already.
        if (!std::exchange(m_listFollowedOneNote, false)) {
            refreshNoteList();
            m_open.reloadIfChangedElsewhere();
            refreshNotebooks();
        }
    });
    // Counting notes per notebook scans every live note (55 ms at 100,000):
    // a body saved while typing changes no count and skips it.
    connect(m_state, &AppState::noteCountsChanged, this, &MainWindow::refreshNotebooks, Qt::QueuedConnection);
    connect(m_state, &AppState::notebooksChanged, this, &MainWindow::refreshNotebooks);
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString &id, QObject *source) {
        if (source != this && id == m_open.id())
            m_open.reloadIfChangedElsewhere();
    });
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString &id) {
        if (id == m_open.id())
            clearOpenNote();
    });
    NoteHeaderBar *header = m_chrome->headerBar();
    m_chrome->setSaveHandler([this] { saveCurrentNote(); });
    connect(header, &NoteHeaderBar::focusToggleClicked, this, [this] { setFocusMode(!m_focusMode); });
    connect(header, &NoteHeaderBar::notebookChipClicked, this, &MainWindow::openCurrentNotebook);
    connect(header, &NoteHeaderBar::deleteRequested, this, [this] { moveCurrentNoteToTrash(false); });
    // For the notebook menu's share entry; the header follows on its own.
    m_canShare = m_state->canShare();
    connect(m_state, &AppState::canShareChanged, this, [this](bool canShare) { m_canShare = canShare; });

    connect(m_notebookList, &NotebookListWidget::allNotesSelected, this, [this] { showNotebookView(QString()); });
    connect(m_notebookList, &NotebookListWidget::notebookSelected, this, &MainWindow::showNotebookView);
    connect(m_notebookList, &NotebookListWidget::trashSelected, this, &MainWindow::showTrashWindow);
    connect(m_notebookList, &NotebookListWidget::newNotebookRequested, this, &MainWindow::newNotebook);
    connect(m_notebookList, &NotebookListWidget::notebookContextMenuRequested, this,
            &MainWindow::showNotebookContextMenu);
    connect(m_notebookList, &NotebookListWidget::noteDroppedOnNotebook, this,
            [this](const QString &noteId, const QString &notebookId) {
                if (noteId == m_open.id())
                    saveCurrentNote();
                if (m_state->notes())
                    m_state->notes()->moveToNotebook(noteId, notebookId);
            });

    if (BrioAccount::Client *account = m_state->accountClient()) {
        m_welcomePage->setSignInAvailable(true);
        connect(account, &BrioAccount::Client::authStateChanged, this, &MainWindow::updateAuthUI);
        connect(m_welcomePage, &WelcomeScreen::signInRequested, account->authClient(), &BrioAccount::AuthClient::login);
        connect(account->authClient(), &BrioAccount::AuthClient::loginFailed, this, [this](const QString &error) {
            m_statusBar->showMessage(tr("Sign-in failed: %1").arg(error), 3000);
        });
        connect(account, &BrioAccount::Client::tokenStorageUnavailable, this,
                [this](const QString &message) { m_statusBar->showMessage(message, 10000); });
    }
    updateAuthUI();
    connectSyncEngine();
    connect(m_welcomePage, &WelcomeScreen::newNoteRequested, this, &MainWindow::newNote);
    connect(m_welcomePage, &WelcomeScreen::dismissed, this, [this] { m_screenStack->setCurrentWidget(m_noteView); });

    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &id) {
        if (!m_selectingProgrammatically && id != m_open.id())
            selectNote(id);
    });
    connect(m_list, &NoteListWidget::noteDoubleClicked, this, [this](const QString &id) {
        saveCurrentNote();
        m_state->openNoteWindow(id);
    });
    connect(m_list, &NoteListWidget::noteActivated, m_editor, qOverload<>(&QWidget::setFocus));
    connect(m_list, &NoteListWidget::noteDeleteRequested, this, [this] { moveCurrentNoteToTrash(false); });
    connect(m_list, &NoteListWidget::noteContextMenuRequested, this, &MainWindow::showNoteContextMenu);

    connect(m_editor, &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::setSaveState);
    connect(m_editor, &NoteEditor::saveFailed, m_statusBar, &StatusBar::setSaveFailed);
    if (m_state->database()) {
        // Stays until the user restarts on a sound file; the box says more.
        connect(m_state->database(), &Database::corruptionDetected, m_statusBar, [this] {
            m_statusBar->showMessage(tr("The notes database is damaged: changes are not being saved"));
        });
    }
}

void MainWindow::refreshNoteList()
{
    NoteRepository *notes = m_state->notes();
    if (!notes)
        return;
    // Ids only: the list reads the texts of the rows it shows.
    const QString text = m_search->text();
    NoteListing listing;
    QList<qint64> rowIds;
    if (text.trimmed().isEmpty()) {
        listing.notebookId = m_state->currentNotebookId();
        listing.oldestFirst = preference(m_state, "steno_mode");
        rowIds = notes->listRowIds(listing.notebookId);
        if (listing.oldestFirst)
            std::reverse(rowIds.begin(), rowIds.end());
    } else {
        listing.ranked = true;
        listing.highlight = text;
        rowIds = notes->searchRowIds(text);
    }
    // The list keeps its current note by itself, silently.
    m_list->setRowIds(rowIds, listing);
    updateListCount();
}

void MainWindow::updateListCount()
{
    const QString notebookId = m_state->currentNotebookId();
    const QString name = notebookId.isEmpty() ? QString() : m_notebookNames.value(notebookId);
    m_statusBar->setCounts(name.isEmpty() ? tr("All Notes") : name, m_list->count());
}

void MainWindow::refreshNotebooks()
{
    NotebookRepository *repository = m_state->notebooks();
    NoteRepository *notes = m_state->notes();
    const QList<Notebook> notebooks = repository ? repository->all() : QList<Notebook>();
    QHash<QString, QString> names;
    for (const Notebook &notebook : notebooks)
        names.insert(notebook.id, notebook.name);
    m_notebookList->setNotebooks(notebooks, notes ? notes->countsByNotebook() : QHash<QString, int>(),
                                 m_state->currentNotebookId(), notes ? notes->trashCount() : 0);
    // A notebook deleted elsewhere cannot stay the one shown.
    if (!m_state->currentNotebookId().isEmpty() && !names.contains(m_state->currentNotebookId()))
        showNotebookView(QString());
    if (names == m_notebookNames)
        return;
    m_notebookNames = names;
    // The rows show notebook names; the count shows the current one.
    m_list->viewport()->update();
    updateListCount();
}

void MainWindow::showNoteContextMenu(const QString &noteId, const QPoint &globalPos)
{
    QMenu menu(this);
    menu.addAction(tr("Open in New Window"), this, [this, noteId] {
        saveCurrentNote();
        m_state->openNoteWindow(noteId);
    });
    if (m_state->notebooks() && m_state->notes()) {
        if (const std::optional<Note> note = m_state->notes()->byId(noteId)) {
            addMoveToNotebookMenu(&menu, m_state->notebooks()->all(), note->notebookId,
                                  [this, noteId](const QString &notebookId) {
                                      if (noteId == m_open.id())
                                          saveCurrentNote();
                                      m_state->notes()->moveToNotebook(noteId, notebookId);
                                  });
        }
    }
    menu.addSeparator();
    menu.addAction(tr("Move to Trash"), this, [this, noteId] {
        // Like every trash path: what was typed is stored first.
        saveCurrentNote();
        if (noteId == m_open.id()) {
            snapshotIfChanged();
            clearOpenNote();
        }
        m_state->notes()->moveToTrash(noteId);
    });
    menu.exec(globalPos);
}

void MainWindow::selectNote(const QString &noteId)
{
    if (noteId != m_open.id()) {
        saveCurrentNote();
        snapshotIfChanged();
    }
    m_state->setCurrentNoteId(noteId);
    openNote(noteId, false);
    m_selectingProgrammatically = true;
    m_list->selectNote(noteId);
    m_selectingProgrammatically = false;
}

void MainWindow::openNote(const QString &noteId, bool force)
{
    const std::optional<Note> note = m_state->notes() ? m_state->notes()->byId(noteId) : std::nullopt;
    if (!note || note->isTrashed()) {
        clearOpenNote();
        return;
    }
    // Read-only when shared view-only; the editor switch updates the menus
    // and the bars.
    m_open.open(*note, force);
    m_chrome->showNote(&*note);
    showAppropriateScreen();
}

void MainWindow::clearOpenNote()
{
    m_open.clear();
    showAppropriateScreen();
}

void MainWindow::showAppropriateScreen()
{
    m_screenStack->setCurrentWidget(m_open.isOpen() || m_state->isSignedIn() ? m_noteView : m_welcomePage);
}

void MainWindow::updateAuthUI()
{
    const bool signedIn = m_state->isSignedIn();
    m_signInAction->setVisible(!signedIn);
    m_signOutAction->setVisible(signedIn);
    m_statusBar->setSyncText(signedIn ? tr("Signed in") : tr("Not signed in"));
    m_list->setSyncEnabled(signedIn);
    m_welcomePage->setSignedIn(signedIn);
    showAppropriateScreen();
}

void MainWindow::syncNow()
{
    if (m_state->syncEngine() && m_state->isSignedIn())
        m_state->syncEngine()->sync();
}

void MainWindow::connectSyncEngine()
{
    SyncEngine *engine = m_state->syncEngine();
    if (!engine)
        return;
    connect(engine, &SyncEngine::stateChanged, this,
            [this](SyncEngine::SyncState state) { m_statusBar->setSyncText(SyncEngine::stateText(state)); });
    // "Sync error" alone does not say what to do about it; the reason follows
    // the state change.
    connect(engine, &SyncEngine::syncFailed, this, [this](const QString &error) {
        m_statusBar->setSyncText(tr("%1: %2").arg(SyncEngine::stateText(SyncEngine::Error), error));
    });
    connect(engine, &SyncEngine::syncProgress, this, [this](const QString &label, int current, int total) {
        m_statusBar->setSyncText(total > 0 ? label + QStringLiteral(" %1/%2").arg(current).arg(total) : label);
    });
    connect(engine, &SyncEngine::attachmentsChanged, this, [this] {
        if (!m_open.isOpen())
            return;
        // Typing is stored before the editor reloads to show the new files.
        saveCurrentNote();
        openNote(m_open.id(), true);
    });
}

void MainWindow::connectSettingsToSync(SettingsDialog *dialog)
{
    SyncEngine *engine = m_state->syncEngine();
    BrioAccount::Client *account = m_state->accountClient();
    if (!engine || !account)
        return;
    const auto refresh = [this, dialog, engine, account] {
        dialog->setSignedIn(m_state->isSignedIn(), account->authClient()->currentUser().displayName);
        dialog->setSyncStatusText(SyncEngine::stateText(engine->state()));
    };
    refresh();
    connect(engine, &SyncEngine::stateChanged, dialog, refresh);
    connect(account, &BrioAccount::Client::authStateChanged, dialog, refresh);
    connect(dialog, &SettingsDialog::syncNowRequested, this, &MainWindow::syncNow);
    dialog->setAccountAvailable(true);
    connect(dialog, &SettingsDialog::signInRequested, account->authClient(), &BrioAccount::AuthClient::login);
    connect(dialog, &SettingsDialog::signOutRequested, m_signOutAction, &QAction::trigger);
    connect(dialog, &SettingsDialog::manageAccountRequested, this,
            [this] { showAccountScreen(m_state, this, [this] { m_signOutAction->trigger(); }); });
}

void MainWindow::saveCurrentNote()
{
    m_open.save();
}

void MainWindow::snapshotIfChanged()
{
    m_open.snapshotIfChanged();
}

void MainWindow::newNote()
{
    saveCurrentNote();
    snapshotIfChanged();
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.notebookId = m_state->currentNotebookId();
    note.body = emptyNoteBody();
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    if (!m_state->notes() || !m_state->notes()->insert(note))
        return;
    selectNote(note.id);
    m_editor->setFocus();
}

void MainWindow::moveCurrentNoteToTrash(bool confirm)
{
    QString id = m_list->currentNoteId();
    if (id.isEmpty())
        id = m_open.id();
    if (id.isEmpty() || !m_state->notes())
        return;
    saveCurrentNote();
    if (confirm && !confirmMoveToTrash(this, m_state->notes(), id))
        return;
    const int row = m_list->currentRow();
    if (id == m_open.id()) {
        snapshotIfChanged();
        m_open.clear();
    }
    if (!m_state->notes()->moveToTrash(id))
        return;
    // Keep the user's place: the note that took the trashed one's row opens.
    const int count = m_list->count();
    if (count == 0) {
        showAppropriateScreen();
        return;
    }
    selectNote(m_list->noteIdAt(qBound(0, row, count - 1)));
}

void MainWindow::moveCurrentNoteToNotebook()
{
    m_chrome->moveToNotebook();
}

void MainWindow::openCurrentNotebook()
{
    const std::optional<Note> note = m_open.isOpen() ? m_state->notes()->byId(m_open.id()) : std::nullopt;
    if (!note)
        return;
    showNotebookView(note->notebookId);
    refreshNotebooks();
}

void MainWindow::copyCurrentNoteAsPlainText()
{
    m_chrome->copyAsPlainText();
}

void MainWindow::copyCurrentNoteAsMarkdown()
{
    m_chrome->copyAsMarkdown();
}

void MainWindow::copyCurrentNoteAsHtml()
{
    m_chrome->copyAsHtml();
}

bool MainWindow::splitterShowsAllPanes() const
{
    return !m_sidebarPane->isHidden() && !m_listPane->isHidden();
}

void MainWindow::applyLayout()
{
    m_sidebarPane->setVisible(!m_focusMode && m_sidebarVisible);
    m_listPane->setVisible(!m_focusMode);
    m_chrome->headerBar()->setFocusMode(m_focusMode);
    if (m_splitter->count() != 3)
        return;
    const QList<int> base = m_normalSplitterSizes.size() == 3
        ? m_normalSplitterSizes
        : QList<int>{200, 260, std::max(width() - 460, 400)};
    const int sidebar = !m_focusMode && m_sidebarVisible ? base.at(0) : 0;
    const int list = m_focusMode ? 0 : base.at(1);
    m_splitter->setSizes({sidebar, list, std::max(width() - list - sidebar, 100)});
}

void MainWindow::setFocusMode(bool on)
{
    m_focusMode = on;
    const QSignalBlocker blocker(m_focusModeAction);
    m_focusModeAction->setChecked(on);
    applyLayout();
    QSettings settings;
    settings.setValue(settingsGroup() + QStringLiteral("/focusMode"), on);
}

void MainWindow::setNotebookSidebarVisible(bool on)
{
    m_sidebarVisible = on;
    const QSignalBlocker blocker(m_sidebarAction);
    m_sidebarAction->setChecked(on);
    applyLayout();
    QSettings settings;
    settings.setValue(settingsGroup() + QStringLiteral("/notebookSidebarVisible"), on);
}

QList<int> MainWindow::parseSplitterSizes(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int size = part.toInt(&ok, 10);
        if (!ok || size < 0)
            return {};
        sizes.append(size);
    }
    return sizes;
}

void MainWindow::restoreWindowState()
{
    QSettings settings;
    settings.beginGroup(settingsGroup());
    const QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        QSize size(1280, 1024);
        if (const QScreen *screen = this->screen())
            size = size.boundedTo(screen->availableGeometry().size());
        resize(size);
    }
    const QByteArray state = settings.value(QStringLiteral("windowState")).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    m_normalSplitterSizes = parseSplitterSizes(settings.value(QStringLiteral("normalSplitterSizes")).toString());
}

void MainWindow::saveWindowState()
{
    QSettings settings;
    settings.beginGroup(settingsGroup());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState());
    // Sizes of a window never shown are not the user's.
    if (!m_focusMode && m_sidebarVisible && splitterShowsAllPanes() && m_splitter->isVisible())
        m_normalSplitterSizes = m_splitter->sizes();
    if (m_normalSplitterSizes.size() == 3) {
        QStringList parts;
        for (int size : std::as_const(m_normalSplitterSizes))
            parts.append(QString::number(size));
        settings.setValue(QStringLiteral("normalSplitterSizes"), parts.join(QLatin1Char(',')));
    }
}

void MainWindow::applyStenoArrangement()
{
    auto *layout = static_cast<QVBoxLayout *>(m_listPane->layout());
    layout->removeWidget(m_searchBar);
    layout->removeWidget(m_list);
    // Steno writers read their notes in the order they were taken, with the
    // newest at the bottom next to the search field.
    if (preference(m_state, "steno_mode")) {
        layout->addWidget(m_list);
        layout->addWidget(m_searchBar);
    } else {
        layout->addWidget(m_searchBar);
        layout->addWidget(m_list);
    }
    refreshNoteList();
}

void MainWindow::applyEditorFontSize()
{
    setBodyFontPixelSize(int(std::lround(editorBodyPoints(m_state) * 96.0 / 72.0)));
    QFont font = m_editor->font();
    font.setPixelSize(effectiveBodyFontPixelSize());
    m_editor->setFont(font);
    // The document takes its sizes when it is built from the Delta.
    if (m_open.isOpen()) {
        saveCurrentNote();
        openNote(m_open.id(), true);
    }
    refreshNoteList();
    refreshNotebooks();
}

void MainWindow::onPreferenceChanged(const QString &key)
{
    if (key == QLatin1String("theme_mode")) {
        if (m_state->themeManager())
            m_state->themeManager()->setMode(m_state->preferences()->getString(key, QStringLiteral("system")));
    } else if (key == QLatin1String("steno_mode")) {
        applyStenoArrangement();
    } else if (key == QLatin1String("close_to_tray") || key == QLatin1String("start_minimized")) {
        setUpTray();
    } else if (key == QLatin1String("editor_body_pt")) {
        applyEditorFontSize();
    }
}

void MainWindow::setUpTray()
{
    m_closeToTray = preference(m_state, "close_to_tray");
    const bool wanted = m_closeToTray || preference(m_state, "start_minimized");
    if (!wanted) {
        if (m_trayIcon) {
            m_trayIcon->hide();
            m_trayIcon->deleteLater();
            m_trayIcon = nullptr;
        }
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_closeToTray = false;
        return;
    }
    if (!m_trayIcon) {
        QIcon icon(QStringLiteral(":/icons/app-icon.png"));
        if (icon.isNull())
            icon = windowIcon();
        if (icon.isNull())
            icon = style()->standardIcon(QStyle::SP_ComputerIcon);
        m_trayIcon = new QSystemTrayIcon(icon, this);
        m_trayIcon->setToolTip(tr("Lumora Notes"));
        auto *menu = new QMenu(this);
        menu->addAction(tr("Show"), this, &MainWindow::showAndActivate);
        menu->addSeparator();
        // Straight out, as a tray menu's quit is expected to be.
        menu->addAction(tr("Quit"), qApp, &QCoreApplication::quit);
        m_trayIcon->setContextMenu(menu);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                showAndActivate();
        });
    }
    m_trayIcon->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveWindowState();
    saveCurrentNote();
    snapshotIfChanged();
    if (m_closeToTray && m_trayIcon && m_trayIcon->isVisible()) {
        event->ignore();
        hide();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::quitApplication()
{
    if (PreferencesRepository *prefs = m_state->preferences()) {
        prefs->setString(QStringLiteral("restore_note_windows"), m_state->openNoteWindowIds().join(QLatin1Char(',')));
        prefs->setBool(QStringLiteral("restore_todos_window"), m_todosWindow && m_todosWindow->isVisible());
    }
    closeEveryWindow();
    QCoreApplication::quit();
}

void MainWindow::closeEveryWindow()
{
    m_closeToTray = false;
    // Each window stores its note through its own close, even while hidden
    // in the tray (closeAllWindows passes hidden windows by).
    close();
    const QStringList ids = m_state->openNoteWindowIds();
    for (const QString &id : ids) {
        if (NoteWindow *window = m_state->noteWindow(id))
            window->close();
    }
    QApplication::closeAllWindows();
}

void MainWindow::showAndActivate()
{
    if (isMinimized() || isHidden())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::backupDatabase()
{
    // The backup reads the database: the open note's last keystrokes belong in it.
    saveCurrentNote();
    backupInteractively(this, m_state, [this](const QString &message) { m_statusBar->showMessage(message, 3000); });
}

void MainWindow::restoreDatabase()
{
    saveCurrentNote();
    restoreInteractively(this, m_state);
}

void MainWindow::exportCurrentNote()
{
    m_output->exportNote();
}

void MainWindow::printNote()
{
    m_output->print();
}

void MainWindow::printPreview()
{
    m_output->printPreview();
}

