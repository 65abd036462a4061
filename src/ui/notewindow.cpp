#include "notewindow.h"

#include "app/application.h"
#include "app/appstate.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/editoractions.h"
#include "ui/editortoolbar.h"
#include "ui/findbar.h"
#include "ui/notechrome.h"
#include "ui/noteheaderbar.h"
#include "ui/noteeditor.h"
#include "ui/noteoutput.h"
#include "ui/statusbar.h"
#include "ui/trashconfirm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QVBoxLayout>

NoteWindow::NoteWindow(AppState *state, const QString &noteId, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_noteId(noteId)
    , m_editor(new NoteEditor(this))
    , m_statusBar(new StatusBar(this))
    , m_editorActions(new EditorActions(m_editor, this))
    , m_findBar(new FindBar(m_editor, this))
    , m_open(state, m_editor, this)
    , m_chrome(new NoteChrome(state, m_editor, this))
    , m_output(new NoteOutput(state, m_editor, m_statusBar, [this] { save(); }, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_editor->setAttachmentRepository(state->attachments());
    resize(960, 760);
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_chrome->headerBar());
    layout->addWidget(m_chrome->toolbar());
    layout->addWidget(m_findBar);
    layout->addWidget(m_editor);
    setCentralWidget(central);
    setStatusBar(m_statusBar);
    buildMenus();

    NoteHeaderBar *header = m_chrome->headerBar();
    // No sidebars here to hide, and the chip has no notebook list to open.
    header->setFocusToggleVisible(false);
    m_chrome->setSaveHandler([this] { save(); });
    connect(header, &NoteHeaderBar::deleteRequested, this, [this] { moveToTrash(true); });
    connect(header, &NoteHeaderBar::copyAsPlainTextRequested, m_output, &NoteOutput::copyAsPlainText);
    connect(header, &NoteHeaderBar::copyAsMarkdownRequested, m_output, &NoteOutput::copyAsMarkdown);
    connect(header, &NoteHeaderBar::copyAsHtmlRequested, m_output, &NoteOutput::copyAsHtml);

    connect(m_editor, &NoteEditor::noteModified, this, &NoteWindow::save);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::setSaveState);
    connect(m_editor, &NoteEditor::saveFailed, m_statusBar, &StatusBar::setSaveFailed);
    connect(state, &AppState::noteChanged, this, [this](const QString &id) {
        // Unsaved edits here win; their save follows within a second.
        if (id == m_noteId && m_open.reloadIfChangedElsewhere())
            updateTitle(m_open.storedBody(), true);
    });
    connect(state, &AppState::noteDeletedExternally, this, [this](const QString &id) {
        if (id == m_noteId && !m_closed)
            close();
    });

    if (state->preferences()) {
        const QByteArray geometry =
            QByteArray::fromBase64(state->preferences()->getString(geometryKey()).toLatin1());
        if (!geometry.isEmpty())
            restoreGeometry(geometry);
    }
    reload();
}

QString NoteWindow::geometryKey() const
{
    return QStringLiteral("note_window_geom/%1").arg(m_noteId);
}

void NoteWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_editorActions->addNoteAction(
        file->addAction(tr("Save Snapshot"), QKeySequence::Save, this, &NoteWindow::saveSnapshot));
    m_chrome->setExportAction(
        file->addAction(tr("Export..."), QKeySequence(QStringLiteral("Ctrl+E")), m_output, &NoteOutput::exportNote));
    file->addSeparator();
    m_chrome->setPrintAction(file->addAction(tr("Print..."), QKeySequence::Print, m_output, &NoteOutput::print));
    file->addAction(tr("Print Preview..."), QKeySequence(QStringLiteral("Ctrl+Shift+P")), m_output,
                    &NoteOutput::printPreview);
    file->addSeparator();
    file->addAction(tr("Close"), QKeySequence::Close, this, &NoteWindow::close);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    m_editorActions->addUndoRedo(edit);
    edit->addSeparator();
    m_editorActions->addFindInNote(edit, m_findBar);

    QMenu *format = menuBar()->addMenu(tr("F&ormat"));
    m_editorActions->addFormatEntries(format, EditorActions::FormatSet::Reduced);

    QMenu *note = menuBar()->addMenu(tr("&Note"));
    // Not on Ctrl+Backspace, which deletes a word while typing; the same
    // asking key as in the main window.
    m_editorActions->addNoteAction(note->addAction(tr("Move to Trash\u2026"), QKeySequence(QStringLiteral("Ctrl+D")),
                                                   this, [this] { moveToTrash(true); }));

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("About Lumora Notes"), this, [this] {
        QMessageBox::about(this, tr("About"), tr("Lumora Notes %1").arg(QString::fromLatin1(Application::Version)));
    });
    const QList<QMenu *> menus = menuBar()->findChildren<QMenu *>();
    for (QMenu *menu : menus)
        menu->setToolTipsVisible(true);
}

void NoteWindow::reload()
{
    const std::optional<Note> note = m_state->notes() ? m_state->notes()->byId(m_noteId) : std::nullopt;
    if (!note) {
        m_open.clear();
        updateTitle(QString(), false);
        return;
    }
    m_open.open(*note, false);
    m_chrome->showNote(&*note);
    std::optional<Notebook> notebook;
    if (!note->notebookId.isEmpty() && m_state->notebooks())
        notebook = m_state->notebooks()->byId(note->notebookId);
    m_statusBar->setCounts(notebook && !notebook->name.isEmpty() ? notebook->name : tr("Notes"), -1);
    updateTitle(note->body, true);
}

void NoteWindow::updateTitle(const QString &body, bool found)
{
    if (!found) {
        setWindowTitle(QStringLiteral("Lumora Notes"));
        return;
    }
    const QString title = noteTitle(body);
    setWindowTitle(QStringLiteral("%1 \u2014 Lumora Notes").arg(title.isEmpty() ? tr("Untitled") : title));
}

void NoteWindow::save()
{
    if (m_open.save() == OpenNote::SaveResult::Saved)
        updateTitle(m_open.storedBody(), true);
}

void NoteWindow::saveSnapshot()
{
    save();
    m_open.snapshotIfChanged();
}

void NoteWindow::moveToTrash(bool confirm)
{
    if (!m_state->notes())
        return;
    save();
    if (confirm && !confirmMoveToTrash(this, m_state->notes(), m_noteId))
        return;
    m_open.snapshotIfChanged();
    // The move announces the deletion, which closes this window already.
    if (m_state->notes()->moveToTrash(m_noteId) && !m_closed)
        close();
}

void NoteWindow::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    m_closed = true;
    save();
    m_open.snapshotIfChanged();
    if (!m_noteId.isEmpty() && m_state->preferences())
        m_state->preferences()->setString(geometryKey(), QString::fromLatin1(saveGeometry().toBase64()));
    Q_EMIT windowClosed(m_noteId);
    event->accept();
}
