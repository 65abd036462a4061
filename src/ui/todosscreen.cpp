#include "todosscreen.h"

#include "app/appstate.h"
#include "storage/noterepository.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const QColor CompletedColor(0x9E, 0x9E, 0x9E);

// Marks the list as being rebuilt, so that item changes are not taken for ticks.
class Rebuilding
{
public:
    Rebuilding(bool *flag, QListWidget *list)
        : m_flag(flag)
        , m_blocker(list)
    {
        *m_flag = true;
    }
    ~Rebuilding() { *m_flag = false; }
    Rebuilding(const Rebuilding &) = delete;
    Rebuilding &operator=(const Rebuilding &) = delete;

private:
    bool *m_flag;
    QSignalBlocker m_blocker;
};

} // namespace

TodosScreen::TodosScreen(AppState *state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_sort(new QComboBox(this))
    , m_showCompleted(new QCheckBox(tr("Show Completed"), this))
    , m_filter(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_index(state->notes())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Sort:"), this));
    m_sort->addItem(tr("Note Updated"), QStringLiteral("updated"));
    m_sort->addItem(tr("Alphabetical"), QStringLiteral("alpha"));
    bar->addWidget(m_sort);
    bar->addWidget(m_showCompleted);
    bar->addStretch(1);
    m_filter->setPlaceholderText(tr("Filter tasks..."));
    m_filter->setClearButtonEnabled(true);
    m_filter->setMaximumWidth(200);
    bar->addWidget(m_filter);
    layout->addLayout(bar);
    m_completedFont = m_list->font();
    m_completedFont.setStrikeOut(true);
    m_list->setWordWrap(true);
    // Room between wrapped rows, so each to-do reads as one.
    m_list->setSpacing(2);
    // Wrapped rows are measured one by one: lay out a screenful first and
    // the rest while idle, not thousands before the first paint.
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(200);
    layout->addWidget(m_list);

    connect(m_sort, &QComboBox::currentIndexChanged, this, &TodosScreen::refresh);
    connect(m_showCompleted, &QCheckBox::toggled, this, &TodosScreen::refresh);
    connect(m_filter, &QLineEdit::textChanged, this, &TodosScreen::refresh);
    connect(m_list, &QListWidget::itemChanged, this, &TodosScreen::onItemChanged);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        const QString noteId = item->data(NoteIdRole).toString();
        if (!noteId.isEmpty())
            m_state->openNoteWindow(noteId);
    });

    // A write to one note changes only that note's rows; the notesChanged()
    // that follows it needs no rebuild then. Other writes rebuild.
    connect(state, &AppState::noteChanged, this, [this](const QString &noteId) {
        if (!isVisible()) {
            m_index.markChanged(noteId);
            return;
        }
        updateNoteRows(noteId);
        m_followedOneNote = true;
    });
    connect(state, &AppState::notesChanged, this, [this] {
        if (!std::exchange(m_followedOneNote, false) && isVisible())
            refresh();
    });
}

bool TodosScreen::keeps(const Task &task) const
{
    if (task.completed && !m_showCompleted->isChecked())
        return false;
    return m_needle.isEmpty() || task.text.toLower().contains(m_needle);
}

TodosScreen::Row TodosScreen::rowFor(const TodoIndex::NoteTodos &note, qsizetype taskIndex) const
{
    Row row;
    row.noteId = note.noteId;
    row.lineIndex = note.tasks.at(taskIndex).lineIndex;
    row.updatedMs = note.updatedMs;
    if (m_alphabetical) {
        row.sortText = note.folded().at(taskIndex);
        // The first four code units, so most comparisons never reach the text.
        for (qsizetype i = 0; i < 4; ++i)
            row.textPrefix = (row.textPrefix << 16) | (i < row.sortText.size() ? row.sortText.at(i).unicode() : 0);
    }
    return row;
}

// A total order, so that a note's rows put back one by one land where a
// rebuild would put them.
bool TodosScreen::before(const Row &a, const Row &b) const
{
    if (m_alphabetical) {
        if (a.textPrefix != b.textPrefix)
            return a.textPrefix < b.textPrefix;
        const int byText = a.sortText.compare(b.sortText);
        if (byText != 0)
            return byText < 0;
    }
    if (a.updatedMs != b.updatedMs)
        return a.updatedMs > b.updatedMs;
    const int byNote = a.noteId.compare(b.noteId);
    if (byNote != 0)
        return byNote < 0;
    return a.lineIndex < b.lineIndex;
}

QString TodosScreen::itemText(const TodoIndex::NoteTodos &note, const Task &task)
{
    return note.title.isEmpty() ? task.text : task.text + QStringLiteral("  \u2014 ") + note.title;
}

void TodosScreen::setUpItem(QListWidgetItem *item, const TodoIndex::NoteTodos &note, const Task &task) const
{
    item->setData(NoteIdRole, note.noteId);
    item->setData(LineIndexRole, task.lineIndex);
    item->setData(SourceRole, int(task.source));
    // Only a checklist line can be ticked in its note; typed boxes and
    // "TODO:" lines show their state and stay as they are.
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (task.source == TaskSource::Checklist && note.editable)
        flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setCheckState(task.completed ? Qt::Checked : Qt::Unchecked);
    if (task.completed) {
        item->setFont(m_completedFont);
        item->setForeground(CompletedColor);
    }
}

void TodosScreen::refresh()
{
    Rebuilding rebuilding(&m_rebuilding, m_list);
    m_list->clear();
    m_rows.clear();
    NoteRepository *notes = m_state->notes();
    m_index.sync();
    m_excluded = notes ? notes->notesExcludedFromTodos() : QSet<QString>();
    m_needle = m_filter->text().toLower();
    m_alphabetical = m_sort->currentData().toString() == QLatin1String("alpha");

    struct Listed
    {
        Row row;
        const TodoIndex::NoteTodos *note;
        const Task *task;
    };
    std::vector<Listed> listed;
    const QList<const TodoIndex::NoteTodos *> withTodos = m_index.notesWithTodos();
    for (const TodoIndex::NoteTodos *note : withTodos) {
        if (m_excluded.contains(note->noteId))
            continue;
        for (qsizetype i = 0; i < note->tasks.size(); ++i) {
            if (keeps(note->tasks.at(i)))
                listed.push_back({rowFor(*note, i), note, &note->tasks.at(i)});
        }
    }
    std::sort(listed.begin(), listed.end(), [this](const Listed &a, const Listed &b) { return before(a.row, b.row); });
    // All rows in one insertion: one at a time costs the list's model and
    // view a round of bookkeeping each, most of a refresh at 30,000 to-dos.
    QStringList texts;
    texts.reserve(qsizetype(listed.size()));
    for (const Listed &entry : listed)
        texts.append(itemText(*entry.note, *entry.task));
    m_list->addItems(texts);
    m_completedFont = m_list->font();
    m_completedFont.setStrikeOut(true);
    {
        // The view lays every row out afresh after the insertion anyway.
        const QSignalBlocker quiet(m_list->model());
        for (int i = 0; i < int(listed.size()); ++i)
            setUpItem(m_list->item(i), *listed[size_t(i)].note, *listed[size_t(i)].task);
    }
    m_rows.reserve(listed.size());
    for (Listed &entry : listed)
        m_rows.push_back(std::move(entry.row));
}

void TodosScreen::updateNoteRows(const QString &noteId)
{
    Rebuilding rebuilding(&m_rebuilding, m_list);
    for (qsizetype i = qsizetype(m_rows.size()) - 1; i >= 0; --i) {
        if (m_rows[size_t(i)].noteId == noteId) {
            delete m_list->takeItem(int(i));
            m_rows.erase(m_rows.begin() + i);
        }
    }
    const TodoIndex::NoteTodos *note = m_index.syncNote(noteId);
    if (!note)
        return;
    if (!m_state->notes()->includeInTodos(noteId)) {
        m_excluded.insert(noteId);
        return;
    }
    m_excluded.remove(noteId);
    for (qsizetype i = 0; i < note->tasks.size(); ++i) {
        const Task &task = note->tasks.at(i);
        if (!keeps(task))
            continue;
        Row row = rowFor(*note, i);
        const auto at = std::upper_bound(m_rows.begin(), m_rows.end(), row,
                                         [this](const Row &a, const Row &b) { return before(a, b); });
        const int index = int(at - m_rows.begin());
        m_rows.insert(at, std::move(row));
        auto *item = new QListWidgetItem(itemText(*note, task));
        setUpItem(item, *note, task);
        m_list->insertItem(index, item);
    }
}

void TodosScreen::onItemChanged(QListWidgetItem *item)
{
    if (m_rebuilding || !item)
        return;
    const bool checked = item->checkState() == Qt::Checked;
    if (item->data(SourceRole).toInt() != int(TaskSource::Checklist)) {
        // Nothing in the note would follow: put the box back.
        QSignalBlocker blocker(m_list);
        item->setCheckState(checked ? Qt::Unchecked : Qt::Checked);
        return;
    }
    const QString noteId = item->data(NoteIdRole).toString();
    const int line = item->data(LineIndexRole).toInt();
    NoteRepository *notes = m_state->notes();
    std::optional<Note> note = notes ? notes->byId(noteId) : std::nullopt;
    const QString body = note && !note->isTrashed() ? setTaskChecked(note->body, line, checked) : QString();
    if (body.isEmpty() || body == note->body) {
        // The note no longer holds what the row showed: show what it holds.
        updateNoteRows(noteId);
        return;
    }
    note->body = body;
    note->updatedAt = note->modifiedAt = QDateTime::currentDateTimeUtc();
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    // The item is rebuilt from the stored note while this runs.
    if (!notes->update(*note)) {
        updateNoteRows(noteId);
        QMessageBox::warning(this, tr("To-Dos"), tr("The to-do could not be saved in its note."));
        return;
    }
    m_state->notifyNoteUpdated(noteId, this);
}
