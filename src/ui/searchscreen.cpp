#include "searchscreen.h"

#include "app/appstate.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "ui/notelistwidget.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

SearchScreen::SearchScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_query(new QLineEdit(this))
    , m_list(new NoteListWidget(this))
    , m_timer(new QTimer(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_query->setObjectName(QStringLiteral("searchQuery"));
    m_query->setPlaceholderText(tr("Search all notes..."));
    m_query->setClearButtonEnabled(true);
    layout->addWidget(m_query);
    layout->addWidget(m_list);
    m_list->setRepository(state->notes());
    showNotebookNames();
    connect(state, &AppState::notebooksChanged, this, &SearchScreen::showNotebookNames);

    m_timer->setSingleShot(true);
    m_timer->setInterval(300);
    connect(m_query, &QLineEdit::textChanged, m_timer, qOverload<>(&QTimer::start));
    connect(m_timer, &QTimer::timeout, this, &SearchScreen::runSearch);
    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &id) {
        if (!id.isEmpty())
            m_state->setCurrentNoteId(id);
    });
    connect(m_list, &NoteListWidget::noteDoubleClicked, this, [this](const QString &id) {
        m_state->openNoteWindow(id);
    });
    // A note written elsewhere keeps its row up to date while the window is open.
    connect(state, &AppState::noteChanged, m_list, [this](const QString &id) {
        if (isVisible())
            m_list->updateNote(id);
    });
}

void SearchScreen::runSearch()
{
    NoteRepository *notes = m_state->notes();
    const QString query = m_query->text().trimmed();
    if (!notes || query.isEmpty()) {
        m_list->setRowIds({});
        return;
    }
    NoteListing listing;
    listing.ranked = true;
    listing.highlight = query;
    m_list->setRowIds(notes->searchRowIds(query), listing);
}

void SearchScreen::showNotebookNames()
{
    if (NotebookRepository *notebooks = m_state->notebooks())
        m_list->setNotebookNames(notebooks->names());
}

void SearchScreen::focusQuery()
{
    m_query->setFocus(Qt::ShortcutFocusReason);
    m_query->selectAll();
}
