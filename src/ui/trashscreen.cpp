#include "trashscreen.h"

#include "app/appstate.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "ui/notelistwidget.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

TrashScreen::TrashScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_restore(new QPushButton(tr("Restore"), this))
    , m_delete(new QPushButton(tr("Delete Permanently"), this))
    , m_empty(new QPushButton(tr("Empty Trash"), this))
    , m_list(new NoteListWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_restore);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    buttons->addWidget(m_empty);
    layout->addLayout(buttons);
    layout->addWidget(m_list);
    // Trashed notes cannot be dragged into a notebook.
    m_list->setDragEnabled(false);
    m_restore->setEnabled(false);
    m_delete->setEnabled(false);

    connect(m_list, &NoteListWidget::noteSelected, this, &TrashScreen::selectionChanged);
    connect(m_restore, &QPushButton::clicked, this, &TrashScreen::restoreCurrent);
    connect(m_delete, &QPushButton::clicked, this, &TrashScreen::deleteCurrent);
    connect(m_empty, &QPushButton::clicked, this, &TrashScreen::emptyTrash);
    // Notes trashed from the main window appear while this window is open.
    connect(state, &AppState::notesChanged, this, [this] {
        if (isVisible())
            refresh();
    });
}

void TrashScreen::refresh()
{
    NoteRepository *notes = m_state->notes();
    if (NotebookRepository *notebooks = m_state->notebooks())
        m_list->setNotebookNames(notebooks->names());
    m_list->setNotes(notes ? notes->trashed() : QList<Note>());
    m_list->setCurrentRow(-1);
    m_restore->setEnabled(false);
    m_delete->setEnabled(false);
    m_empty->setEnabled(m_list->count() > 0);
}

void TrashScreen::selectionChanged(const QString &noteId)
{
    m_restore->setEnabled(!noteId.isEmpty());
    m_delete->setEnabled(!noteId.isEmpty());
}

void TrashScreen::restoreCurrent()
{
    const QString id = m_list->currentNoteId();
    if (id.isEmpty() || !m_state->notes())
        return;
    m_state->notes()->restore(id);
    refresh();
}

void TrashScreen::deleteCurrent()
{
    const QString id = m_list->currentNoteId();
    if (id.isEmpty() || !m_state->notes())
        return;
    if (QMessageBox::question(this, tr("Delete Permanently"),
                              tr("This note will be permanently deleted. This cannot be undone."),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!m_state->notes()->purge(id))
        QMessageBox::warning(this, tr("Delete Permanently"), tr("The note could not be deleted."));
    refresh();
}

void TrashScreen::emptyTrash()
{
    NoteRepository *notes = m_state->notes();
    if (!notes)
        return;
    const int count = notes->trashCount();
    if (count == 0)
        return;
    if (QMessageBox::question(this, tr("Empty Trash"),
                              tr("Permanently delete all %1 notes in trash? This cannot be undone.").arg(count),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // One transaction for the lot: the windows refresh once, not per note.
    QString error;
    if (notes->purgeTrash(&error) < 0)
        QMessageBox::warning(this, tr("Empty Trash"), tr("The trash could not be emptied: %1").arg(error));
    refresh();
}
