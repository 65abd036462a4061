#include "mainwindow.h"

#include "app/application.h"
#include "app/appstate.h"
#include "document/textformats.h"
#include "storage/database.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/noteeditor.h"
#include "ui/notelistwidget.h"
#include "ui/statusbar.h"
#include "ui/trashconfirm.h"
#include "update/updateconfig.h"
#include "update/updateui.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSplitter>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {
constexpr int SearchDebounceMs = 300;

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
// The editor sizes its fonts from the body size when it is built.
NoteEditor *createEditor(AppState *state, QWidget *parent)
{
    const int pt = state->preferences() ? state->preferences()->getInt(QStringLiteral("editor_body_pt"), 12) : 12;
    setBodyFontPixelSize(int(std::lround(pt * 96.0 / 72.0)));
    return new NoteEditor(parent);
}
} // namespace

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_search(new QLineEdit(this))
    , m_list(new NoteListWidget(this))
    , m_editor(createEditor(state, this))
    , m_statusBar(new StatusBar(this))
    , m_searchDebounce(new QTimer(this))
    , m_open(state, m_editor, this)
{
    setWindowTitle(QStringLiteral("Lumora Notes"));
    resize(1200, 760);


    auto *listPane = new QWidget(this);
    auto *listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(8, 8, 0, 8);
    listLayout->setSpacing(8);
    m_search->setPlaceholderText(tr("Search notes"));
    m_search->setClearButtonEnabled(true);
    listLayout->addWidget(m_search);
    listLayout->addWidget(m_list);
    m_list->setRepository(state->notes());
    if (qEnvironmentVariableIsSet("LUMORA_BENCH_EXIT_AFTER_PAINT"))
        m_list->viewport()->installEventFilter(new ExitAfterFirstPaint(m_list));

    auto *splitter = new QSplitter(this);
    splitter->addWidget(listPane);
    splitter->addWidget(m_editor);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({320, 880});
    setCentralWidget(splitter);
    setStatusBar(m_statusBar);

    m_searchDebounce->setSingleShot(true);
    m_searchDebounce->setInterval(SearchDebounceMs);
    connect(m_search, &QLineEdit::textChanged, m_searchDebounce, qOverload<>(&QTimer::start));
    connect(m_searchDebounce, &QTimer::timeout, this, &MainWindow::refreshNoteList);
    // A write to one note moves its one row; the notesChanged() that follows
    // needs no full refresh then. Other writes (many notes at once) refresh.
    connect(state, &AppState::noteChanged, this, [this](const QString &id) {
        m_list->updateNote(id);
        updateListCount();
        m_listFollowedOneNote = true;
        if (id == m_open.id())
            m_open.reloadIfChangedElsewhere();
    });
    connect(state, &AppState::notesChanged, this, [this] {
        if (!std::exchange(m_listFollowedOneNote, false))
            refreshNoteList();
    });
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
    if (state->database()) {
        // Stays until the user restarts on a sound file; the box says more.
        connect(state->database(), &Database::corruptionDetected, m_statusBar, [this] {
            m_statusBar->showMessage(tr("The notes database is damaged: changes are not being saved"));
        });
    }
    connect(state, &AppState::noteDeletedExternally, this, [this](const QString &id) {
        if (id == m_open.id())
            m_open.clear();
    });

    buildMenus();
    refreshNoteList();
    if (!state->currentNoteId().isEmpty())
        selectNote(state->currentNoteId());
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("New Note"), QKeySequence(QStringLiteral("Ctrl+N")), this, &MainWindow::newNote);
    file->addSeparator();
    file->addAction(tr("Quit"), QKeySequence(QStringLiteral("Ctrl+Q")), this, &MainWindow::close);

    QMenu *note = menuBar()->addMenu(tr("&Note"));
    // Not on a word-deletion key: those belong to the editor while typing.
    QAction *trash = note->addAction(tr("Move to Trash…"), QKeySequence(QStringLiteral("Ctrl+D")), this,
                                     [this] { moveCurrentNoteToTrash(true); });
    trash->setShortcutContext(Qt::ApplicationShortcut);
    note->addAction(tr("Open in New Window"), QKeySequence(QStringLiteral("Ctrl+Shift+N")), this, [this] {
        if (m_open.isOpen()) {
            saveCurrentNote();
            m_state->openNoteWindow(m_open.id());
        }
    });
    QAction *find = note->addAction(tr("Search"), QKeySequence(QStringLiteral("Ctrl+F")), this, [this] {
        m_search->setFocus();
        m_search->selectAll();
    });
    Q_UNUSED(find)

    buildHelpMenu();
}

void MainWindow::buildHelpMenu()
{
    QMenu *help = menuBar()->addMenu(tr("&Help"));
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
    help->addAction(tr("What's New..."), this, [this, callbacks, displayName] {
        BrioUpdate::showWhatsNew(Application::updateConfig(), displayName, this, callbacks);
    });
    help->addAction(tr("Check for Updates..."), this, [this, callbacks, displayName] {
        BrioUpdate::checkForUpdates(Application::updateConfig(), displayName, this, callbacks);
    });
    help->addSeparator();
    help->addAction(tr("Send Feedback..."), this, [] { BrioUpdate::openFeedback(Application::feedbackConfig()); });
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
        listing.oldestFirst = m_state->preferences()
            && m_state->preferences()->getBool(QStringLiteral("steno_mode"), false);
        rowIds = notes->listRowIds(listing.notebookId);
        if (listing.oldestFirst)
            std::reverse(rowIds.begin(), rowIds.end());
    } else {
        listing.ranked = true;
        rowIds = notes->searchRowIds(text);
    }
    // The list keeps its current note by itself, silently.
    m_list->setRowIds(rowIds, listing);
    updateListCount();
}

void MainWindow::updateListCount()
{
    m_statusBar->setCounts(m_search->text().trimmed().isEmpty() ? tr("All Notes") : tr("Search"), m_list->count());
}

void MainWindow::showNoteContextMenu(const QString &noteId, const QPoint &globalPos)
{
    QMenu menu(this);
    menu.addAction(tr("Open in New Window"), this, [this, noteId] {
        saveCurrentNote();
        m_state->openNoteWindow(noteId);
    });
    menu.addSeparator();
    menu.addAction(tr("Move to Trash"), this, [this, noteId] {
        // Like every trash path: what was typed is stored first.
        saveCurrentNote();
        if (noteId == m_open.id()) {
            snapshotIfChanged();
            m_open.clear();
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
    const std::optional<Note> note = m_state->notes()->byId(noteId);
    if (!note || note->isTrashed()) {
        m_open.clear();
        return;
    }
    m_open.open(*note, force);
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
    if (!m_state->notes()->insert(note))
        return;
    selectNote(note.id);
    m_editor->setFocus();
}

void MainWindow::moveCurrentNoteToTrash(bool confirm)
{
    const QString id = m_open.id();
    if (id.isEmpty())
        return;
    saveCurrentNote();
    if (confirm && !confirmMoveToTrash(this, m_state->notes(), id))
        return;
    const int row = m_list->currentRow();
    snapshotIfChanged();
    m_open.clear();
    if (!m_state->notes()->moveToTrash(id))
        return;
    // Keep the user's place: the note that took the trashed one's row opens.
    const int count = m_list->count();
    if (count == 0)
        return;
    const QString next = m_list->noteIdAt(qBound(0, row, count - 1));
    selectNote(next);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveCurrentNote();
    snapshotIfChanged();
    QMainWindow::closeEvent(event);
}

void MainWindow::showAndActivate()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}
