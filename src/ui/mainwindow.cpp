#include "mainwindow.h"

#include "app/appstate.h"
#include "storage/noterepository.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int SearchDebounceMs = 300;
constexpr int NoteIdRole = Qt::UserRole + 1;
} // namespace

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_search(new QLineEdit(this))
    , m_list(new QListView(this))
    , m_model(new QStandardItemModel(this))
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

    refresh();
}

void MainWindow::refresh()
{
    if (!m_state->notes())
        return;
    QElapsedTimer timer;
    timer.start();
    const QList<Note> notes = m_state->notes()->search(m_search->text());
    m_model->clear();
    m_model->setRowCount(int(notes.size()));
    int row = 0;
    for (const Note &note : notes) {
        const QString title = noteTitle(note.body);
        auto *item = new QStandardItem(title.isEmpty() ? tr("Untitled") : title);
        item->setData(note.id, NoteIdRole);
        item->setToolTip(notePreview(note.body));
        m_model->setItem(row++, item);
    }
    m_count->setText(tr("%n note(s)", nullptr, int(notes.size()))
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
