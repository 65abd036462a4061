#include "mainwindow.h"

#include "app/application.h"
#include "app/appstate.h"
#include "storage/noterepository.h"
#include "update/updateconfig.h"
#include "update/updateui.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int SearchDebounceMs = 300;
constexpr int NoteIdRole = Qt::UserRole + 1;
} // namespace

// Titles are derived only for the rows a view asks for: parsing every body
// up front costs more than reading ten thousand rows.
class NoteTitleModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setNotes(QList<Note> notes)
    {
        beginResetModel();
        m_notes = std::move(notes);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_notes.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_notes.size())
            return {};
        const Note &note = m_notes.at(index.row());
        switch (role) {
        case Qt::DisplayRole: {
            const QString title = noteTitle(note.body);
            return title.isEmpty() ? MainWindow::tr("Untitled") : title;
        }
        case Qt::ToolTipRole:
            return notePreview(note.body);
        case NoteIdRole:
            return note.id;
        default:
            return {};
        }
    }

private:
    QList<Note> m_notes;
};

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_search(new QLineEdit(this))
    , m_list(new QListView(this))
    , m_model(new NoteTitleModel(this))
    , m_count(new QLabel(this))
    , m_searchDebounce(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Lumora Notes"));
    resize(1100, 720);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(12, 12, 12, 0);
    layout->setSpacing(8);
    m_search->setPlaceholderText(tr("Search notes"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);
    m_list->setModel(m_model);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAlternatingRowColors(true);
    layout->addWidget(m_list);
    setCentralWidget(central);
    statusBar()->addWidget(m_count);

    m_searchDebounce->setSingleShot(true);
    m_searchDebounce->setInterval(SearchDebounceMs);
    connect(m_search, &QLineEdit::textChanged, m_searchDebounce, qOverload<>(&QTimer::start));
    connect(m_searchDebounce, &QTimer::timeout, this, &MainWindow::refresh);
    connect(state, &AppState::notesChanged, this, &MainWindow::refresh);
    connect(m_list, &QListView::activated, this, [this](const QModelIndex &index) {
        m_state->openNoteWindow(index.data(NoteIdRole).toString());
    });

    buildHelpMenu();
    refresh();
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

void MainWindow::refresh()
{
    if (!m_state->notes())
        return;
    QElapsedTimer timer;
    timer.start();
    QList<Note> notes = m_state->notes()->search(m_search->text());
    const int count = int(notes.size());
    m_model->setNotes(std::move(notes));
    m_count->setText(tr("%n note(s)", nullptr, count)
                     + QStringLiteral("  \u00b7  %1 ms").arg(timer.elapsed()));
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
