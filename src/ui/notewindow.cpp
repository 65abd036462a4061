#include "notewindow.h"

#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/noteeditor.h"
#include "ui/statusbar.h"
#include "ui/trashconfirm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>

NoteWindow::NoteWindow(AppState *state, const QString &noteId, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_noteId(noteId)
    , m_editor(new NoteEditor(this))
    , m_statusBar(new StatusBar(this))
    , m_open(state, m_editor, this)
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(960, 760);
    setCentralWidget(m_editor);
    setStatusBar(m_statusBar);
    buildMenus();

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
        if (id == m_noteId)
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
    file->addAction(tr("Save Snapshot"), QKeySequence::Save, this, &NoteWindow::save);
    file->addSeparator();
    file->addAction(tr("Close"), QKeySequence::Close, this, &NoteWindow::close);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("Undo"), QKeySequence::Undo, m_editor, &NoteEditor::undo);
    edit->addAction(tr("Redo"), QKeySequence::Redo, m_editor, &NoteEditor::redo);

    QMenu *note = menuBar()->addMenu(tr("&Note"));
    // Not on a word-deletion key: those belong to the editor while typing.
    note->addAction(tr("Move to Trash…"), QKeySequence(QStringLiteral("Ctrl+D")), this,
                    [this] { moveToTrash(true); });

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("About Lumora Notes"), this, [this] {
        QMessageBox::about(this, tr("About"), tr("Lumora Notes %1").arg(QApplication::applicationVersion()));
    });
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
    m_statusBar->setCounts(tr("Notes"), -1);
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

void NoteWindow::moveToTrash(bool confirm)
{
    if (!m_state->notes())
        return;
    save();
    if (confirm && !confirmMoveToTrash(this, m_state->notes(), m_noteId))
        return;
    m_open.snapshotIfChanged();
    if (m_state->notes()->moveToTrash(m_noteId))
        close();
}

void NoteWindow::closeEvent(QCloseEvent *event)
{
    save();
    m_open.snapshotIfChanged();
    if (!m_noteId.isEmpty() && m_state->preferences())
        m_state->preferences()->setString(geometryKey(), QString::fromLatin1(saveGeometry().toBase64()));
    Q_EMIT windowClosed(m_noteId);
    event->accept();
}
