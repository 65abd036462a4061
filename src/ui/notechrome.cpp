#include "notechrome.h"

#include "app/appstate.h"
#include "features/export.h"
#include "ui/accountwindows.h"
#include "storage/attachmentrepository.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "ui/editortoolbar.h"
#include "ui/notebookdialogs.h"
#include "ui/noteeditor.h"
#include "ui/noteheaderbar.h"
#include "ui/relativetime.h"
#include "ui/versionhistorydialog.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

namespace {
// The "Updated 3m ago" line ages while the note stays open.
constexpr int ClockIntervalMs = 60 * 1000;
} // namespace

NoteChrome::NoteChrome(AppState *state, NoteEditor *editor, QWidget *window)
    : QObject(window)
    , m_state(state)
    , m_editor(editor)
    , m_window(window)
    , m_header(new NoteHeaderBar(window))
    , m_toolbar(new EditorToolbar(window))
    , m_clock(new QTimer(this))
{
    m_toolbar->setEditor(editor);
    // Both windows give their editor the state's attachment store.
    m_toolbar->setAttachmentsAvailable(state->attachments() != nullptr);
    m_clock->setInterval(ClockIntervalMs);
    connect(m_clock, &QTimer::timeout, this, &NoteChrome::refreshUpdatedLine);

    m_header->setCanShare(state->canShare());
    connect(state, &AppState::canShareChanged, m_header, &NoteHeaderBar::setCanShare);
    connect(m_header, &NoteHeaderBar::copyAsPlainTextRequested, this, &NoteChrome::copyAsPlainText);
    connect(m_header, &NoteHeaderBar::copyAsMarkdownRequested, this, &NoteChrome::copyAsMarkdown);
    connect(m_header, &NoteHeaderBar::copyAsHtmlRequested, this, &NoteChrome::copyAsHtml);
    connect(m_header, &NoteHeaderBar::historyRequested, this, &NoteChrome::showHistory);
    connect(m_header, &NoteHeaderBar::moveToNotebookRequested, this, &NoteChrome::moveToNotebook);
    connect(m_header, &NoteHeaderBar::includeInTodosToggled, this, &NoteChrome::setIncludeInTodos);
    connect(m_header, &NoteHeaderBar::shareRequested, this, &NoteChrome::share);
    m_header->exportAction()->setEnabled(false);
    m_header->printAction()->setEnabled(false);

    // A move, a rename or a save elsewhere changes what the header shows.
    connect(state, &AppState::noteChanged, this, [this](const QString &id) {
        if (!id.isEmpty() && id == openNoteId())
            refreshFromStore();
    });
    connect(state, &AppState::notebooksChanged, this, &NoteChrome::refreshNotebookName);
    // The same note open in another window follows a change made there.
    if (NoteRepository *notes = state->notes()) {
        connect(notes, &NoteRepository::includeInTodosChanged, this, [this](const QString &id, bool include) {
            if (id == openNoteId())
                m_header->setIncludeInTodos(include);
        });
    }
    connect(editor, &NoteEditor::wordCountChanged, this, [this] {
        // Clearing a view-only editor switches nothing to read-only.
        if (openNoteId().isEmpty())
            applyEditable();
        else
            refreshUpdatedLine();
    });
    // Opening, clearing and view-only notes all pass through the editor's
    // read-only switch.
    editor->installEventFilter(this);
    showNote(nullptr);
}

void NoteChrome::setSaveHandler(std::function<void()> save)
{
    m_save = std::move(save);
}

void NoteChrome::follow(QAction *entry, QAction *action)
{
    // A disabled entry says why, as the window's own entry does.
    auto sync = [entry, action] {
        entry->setEnabled(action->isEnabled());
        entry->setToolTip(action->isEnabled() ? QString() : action->toolTip());
    };
    sync();
    connect(action, &QAction::changed, entry, sync);
    connect(entry, &QAction::triggered, action, &QAction::trigger);
}

void NoteChrome::setExportAction(QAction *action)
{
    follow(m_header->exportAction(), action);
}

void NoteChrome::setPrintAction(QAction *action)
{
    follow(m_header->printAction(), action);
}

QString NoteChrome::openNoteId() const
{
    return m_editor->noteId();
}

std::optional<Note> NoteChrome::storedOpenNote()
{
    const QString id = openNoteId();
    if (id.isEmpty() || !m_state->notes())
        return std::nullopt;
    return m_state->notes()->byId(id);
}

void NoteChrome::showNote(const Note *note)
{
    if (note && !openNoteId().isEmpty()) {
        m_notebookId = note->notebookId;
        m_updatedAt = note->updatedAt;
        m_clock->start();
        refreshNotebookName();
        m_header->setIncludeInTodos(!m_state->notes() || m_state->notes()->includeInTodos(note->id));
    }
    applyEditable();
}

void NoteChrome::applyEditable()
{
    const bool open = !openNoteId().isEmpty();
    if (!open) {
        m_notebookId.clear();
        m_updatedAt = QDateTime();
        m_clock->stop();
        m_header->setNotebookName(QString());
    }
    const bool editable = open && !m_editor->isReadOnly();
    m_toolbar->setVisible(editable);
    m_toolbar->setEnabled(editable);
    // Clears the updated line; a view-only note still says when it changed.
    m_header->setEditable(editable);
    refreshUpdatedLine();
}

void NoteChrome::refreshFromStore()
{
    const std::optional<Note> note = storedOpenNote();
    if (!note || note->isTrashed())
        return;
    m_notebookId = note->notebookId;
    m_updatedAt = note->updatedAt;
    refreshNotebookName();
    refreshUpdatedLine();
}

void NoteChrome::refreshNotebookName()
{
    QString name;
    if (!m_notebookId.isEmpty() && m_state->notebooks()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->byId(m_notebookId))
            name = notebook->name;
    }
    m_header->setNotebookName(name);
}

void NoteChrome::refreshUpdatedLine()
{
    if (openNoteId().isEmpty() || !m_updatedAt.isValid()) {
        m_header->setUpdatedText(QString());
        return;
    }
    m_header->setUpdatedText(updatedText(m_updatedAt, m_editor->wordCount(), QDateTime::currentDateTimeUtc()));
}

QString NoteChrome::updatedText(const QDateTime &updatedAt, int words, const QDateTime &now)
{
    const QString when = relativeTime(updatedAt, now);
    if (words < 1)
        return tr("Updated %1").arg(when);
    return tr("Updated %1 \u00b7 %2 words").arg(when, QString::number(words));
}

void NoteChrome::copyAsPlainText()
{
    if (openNoteId().isEmpty())
        return;
    // What the editor shows, typing included; dividers and attachments have
    // no text.
    QString text = m_editor->toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    QGuiApplication::clipboard()->setText(text);
}

void NoteChrome::copyAsMarkdown()
{
    if (openNoteId().isEmpty())
        return;
    if (m_save)
        m_save();
    if (const std::optional<Note> note = storedOpenNote())
        QGuiApplication::clipboard()->setText(renderNote(note->body, ExportFormat::Markdown));
}

void NoteChrome::copyAsHtml()
{
    if (openNoteId().isEmpty())
        return;
    if (m_save)
        m_save();
    const std::optional<Note> note = storedOpenNote();
    if (!note)
        return;
    const QString html = renderNote(note->body, ExportFormat::Html);
    // Rich targets take the HTML; plain ones get the markup itself, which
    // is what copying "as HTML" asks for.
    auto *data = new QMimeData;
    data->setHtml(html);
    data->setText(html);
    QGuiApplication::clipboard()->setMimeData(data);
}

void NoteChrome::showHistory()
{
    const QString id = openNoteId();
    if (id.isEmpty())
        return;
    // The history shows, and restores over, what is stored: typing first.
    if (m_save)
        m_save();
    showVersionHistory(m_state, id, m_window);
}

void NoteChrome::share()
{
    const QString id = openNoteId();
    if (id.isEmpty())
        return;
    // The dialog names the note by its stored title: typing first.
    if (m_save)
        m_save();
    showNoteShareDialog(m_state, id, m_window);
}

void NoteChrome::moveToNotebook()
{
    if (!m_state->notebooks() || !m_state->notes())
        return;
    const std::optional<Note> note = storedOpenNote();
    if (!note)
        return;
    if (m_save)
        m_save();
    const QString target = MoveToNotebookDialog::getNotebookId(m_state->notebooks()->all(), note->notebookId, m_window);
    if (!target.isEmpty())
        m_state->notes()->moveToNotebook(note->id, target);
}

void NoteChrome::setIncludeInTodos(bool include)
{
    const QString id = openNoteId();
    if (id.isEmpty() || !m_state->notes())
        return;
    // A failed write must not leave the menu claiming what is not stored.
    if (!m_state->notes()->setIncludeInTodos(id, include))
        m_header->setIncludeInTodos(m_state->notes()->includeInTodos(id));
}

bool NoteChrome::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor && event->type() == QEvent::ReadOnlyChange)
        applyEditable();
    return QObject::eventFilter(watched, event);
}
