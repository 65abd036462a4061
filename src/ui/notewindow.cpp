#include "notewindow.h"

#include "app/appstate.h"
#include "storage/noterepository.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

NoteWindow::NoteWindow(AppState *state, const QString &noteId, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_noteId(noteId)
    , m_view(new QTextBrowser(this))
    , m_status(new QLabel(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_view->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_view);
    m_status->setContentsMargins(12, 4, 12, 4);
    layout->addWidget(m_status);
    resize(640, 560);

    connect(state, &AppState::notesChanged, this, &NoteWindow::reload);
    reload();
}

void NoteWindow::reload()
{
    const std::optional<Note> note = m_state->notes() ? m_state->notes()->byId(m_noteId) : std::nullopt;
    if (!note) {
        setWindowTitle(QStringLiteral("Lumora Notes"));
        m_view->setPlainText(QString());
        m_status->setText(tr("This note does not exist."));
        return;
    }
    const QString title = noteTitle(note->body);
    setWindowTitle((title.isEmpty() ? tr("Untitled") : title) + QStringLiteral(" \u2014 Lumora Notes"));
    m_view->setPlainText(deltaToPlainText(note->body));
    m_status->setText(note->isTrashed() ? tr("In Trash") : QString());
}

void NoteWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT windowClosed(m_noteId);
    event->accept();
}
