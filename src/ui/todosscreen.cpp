#include "todosscreen.h"

#include "app/appstate.h"
#include "storage/noterepository.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

// One listed to-do, with what showing and ordering it needs. The strings
// are shared with the index, so a row costs a few pointers.
struct TodoRow
{
    QString noteId;
    QString text;
    QString title;
    qint32 lineIndex = 0;
    qint64 updatedMs = 0;
    bool completed = false;
    bool tickable = false;
    TaskSource source = TaskSource::Checklist;
    // The text folded for case-insensitive ordering (alphabetical only).
    QString sortText;
    quint64 textPrefix = 0;
};

// The rows behind the list. A model rather than list items: tens of
// thousands of rows are laid out in one vector instead of one allocation
// and a round of bookkeeping each.
class TodoListModel : public QAbstractListModel
{
public:
    using Tick = std::function<bool(int row, bool checked)>;

    TodoListModel(Tick tick, QObject *parent)
        : QAbstractListModel(parent)
        , m_tick(std::move(tick))
    {
    }

    const std::vector<TodoRow> &rows() const { return m_rows; }

    void reset(std::vector<TodoRow> rows, const QFont &font)
    {
        beginResetModel();
        m_rows = std::move(rows);
        m_completedFont = font;
        m_completedFont.setStrikeOut(true);
        endResetModel();
    }

    using Less = std::function<bool(const TodoRow &, const TodoRow &)>;

    // Puts one note's rows (sorted by `less`) in place of the ones it has.
    // Rows that keep their places change in place; otherwise each run of
    // rows leaves and arrives with one signal, since every signal makes the
    // view lay the whole list out again.
    void replaceNoteRows(const QString &noteId, std::vector<TodoRow> incoming, const Less &less)
    {
        std::vector<int> old;
        for (int i = 0; i < int(m_rows.size()); ++i) {
            if (m_rows[size_t(i)].noteId == noteId)
                old.push_back(i);
        }
        if (!old.empty() && old.size() == incoming.size() && fitsInPlace(old, incoming, less)) {
            for (size_t j = 0; j < old.size(); ++j) {
                m_rows[size_t(old[j])] = std::move(incoming[j]);
                const QModelIndex changed = index(old[j]);
                Q_EMIT dataChanged(changed, changed);
            }
            return;
        }
        for (size_t j = old.size(); j > 0;) {
            const int last = old[--j];
            int first = last;
            while (j > 0 && old[j - 1] == first - 1)
                first = old[--j];
            beginRemoveRows({}, first, last);
            m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
            endRemoveRows();
        }
        for (size_t k = 0; k < incoming.size();) {
            const auto at = std::upper_bound(m_rows.begin(), m_rows.end(), incoming[k], less);
            const size_t pos = size_t(at - m_rows.begin());
            size_t end = k + 1;
            while (end < incoming.size() && (pos == m_rows.size() || less(incoming[end], m_rows[pos])))
                ++end;
            beginInsertRows({}, int(pos), int(pos + end - k - 1));
            m_rows.insert(m_rows.begin() + qsizetype(pos), std::make_move_iterator(incoming.begin() + qsizetype(k)),
                std::make_move_iterator(incoming.begin() + qsizetype(end)));
            endInsertRows();
            k = end;
        }
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_rows.size()))
            return {};
        const TodoRow &row = m_rows[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return row.title.isEmpty() ? row.text : row.text + QStringLiteral("  \u2014 ") + row.title;
        case Qt::CheckStateRole:
            return row.completed ? Qt::Checked : Qt::Unchecked;
        case Qt::FontRole:
            return row.completed ? QVariant(m_completedFont) : QVariant();
        case TodosScreen::NoteIdRole:
            return row.noteId;
        case TodosScreen::LineIndexRole:
            return row.lineIndex;
        case TodosScreen::SourceRole:
            return int(row.source);
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid() || index.row() >= int(m_rows.size()))
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        // Only a checklist line can be ticked in its note; typed boxes and
        // "TODO:" lines show their state and stay as they are.
        if (m_rows[size_t(index.row())].tickable)
            flags |= Qt::ItemIsUserCheckable;
        return flags;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable))
            return false;
        const bool checked = value.toInt() == Qt::Checked;
        if (checked == m_rows[size_t(index.row())].completed)
            return true;
        // The note's change replaces the row while this runs.
        return m_tick(index.row(), checked);
    }

private:
    // Whether the new rows, put where the old ones are, leave the list in order.
    bool fitsInPlace(const std::vector<int> &old, const std::vector<TodoRow> &incoming, const Less &less) const
    {
        const auto rowAt = [&](int i) -> const TodoRow & {
            const auto it = std::lower_bound(old.begin(), old.end(), i);
            return it != old.end() && *it == i ? incoming[size_t(it - old.begin())] : m_rows[size_t(i)];
        };
        for (const int i : old) {
            if (i > 0 && less(rowAt(i), rowAt(i - 1)))
                return false;
            if (i + 1 < int(m_rows.size()) && less(rowAt(i + 1), rowAt(i)))
                return false;
        }
        return true;
    }

    Tick m_tick;
    std::vector<TodoRow> m_rows;
    QFont m_completedFont;
};

namespace {

// Greys the text of a completed to-do but leaves its box in the normal
// colours: a grey tick on a dark background is hard to make out.
class TodoDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.data(Qt::CheckStateRole).toInt() != Qt::Checked) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        const QString text = opt.text;
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        opt.text = text;
        const QColor normal = opt.palette.color(QPalette::Text);
        const QColor base = opt.palette.color(QPalette::Base);
        // Half way to the background reads as done in either theme.
        const QColor grey = QColor::fromRgbF((normal.redF() + base.redF()) / 2, (normal.greenF() + base.greenF()) / 2,
            (normal.blueF() + base.blueF()) / 2);
        opt.palette.setColor(QPalette::Text, grey);
        painter->save();
        painter->setClipRect(style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget));
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        painter->restore();
    }
};

} // namespace

TodosScreen::TodosScreen(AppState *state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_sort(new QComboBox(this))
    , m_showCompleted(new QCheckBox(tr("Show Completed"), this))
    , m_filter(new QLineEdit(this))
    , m_list(new QListView(this))
    , m_model(new TodoListModel([this](int row, bool checked) { return tick(row, checked); }, this))
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
    m_list->setModel(m_model);
    m_list->setItemDelegate(new TodoDelegate(m_list));
    m_list->setWordWrap(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
    connect(m_list, &QListView::doubleClicked, this, [this](const QModelIndex &index) {
        const QString noteId = index.data(NoteIdRole).toString();
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
    // Left out or taken back in from a note's header: only its rows change.
    if (NoteRepository *notes = state->notes()) {
        connect(notes, &NoteRepository::includeInTodosChanged, this, [this](const QString &noteId) {
            if (isVisible())
                updateNoteRows(noteId);
        });
    }
    connect(state, &AppState::notesChanged, this, [this] {
        if (!std::exchange(m_followedOneNote, false) && isVisible())
            refresh();
    });
}

TodosScreen::~TodosScreen() = default;

bool TodosScreen::keeps(const Task &task) const
{
    if (task.completed && !m_showCompleted->isChecked())
        return false;
    return m_needle.isEmpty() || task.text.contains(m_needle, Qt::CaseInsensitive);
}

TodoRow TodosScreen::rowFor(const TodoIndex::NoteTodos &note, qsizetype taskIndex) const
{
    const Task &task = note.tasks.at(taskIndex);
    TodoRow row;
    row.noteId = note.noteId;
    row.text = task.text;
    row.title = note.title;
    row.lineIndex = task.lineIndex;
    row.updatedMs = note.updatedMs;
    row.completed = task.completed;
    row.source = task.source;
    row.tickable = task.source == TaskSource::Checklist && note.editable;
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
bool TodosScreen::before(const TodoRow &a, const TodoRow &b) const
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

void TodosScreen::refresh()
{
    NoteRepository *notes = m_state->notes();
    m_index.sync();
    m_excluded = notes ? notes->notesExcludedFromTodos() : QSet<QString>();
    m_needle = m_filter->text();
    m_alphabetical = m_sort->currentData().toString() == QLatin1String("alpha");

    std::vector<TodoRow> rows;
    const QList<const TodoIndex::NoteTodos *> withTodos = m_index.notesWithTodos();
    for (const TodoIndex::NoteTodos *note : withTodos) {
        if (m_excluded.contains(note->noteId))
            continue;
        for (qsizetype i = 0; i < note->tasks.size(); ++i) {
            if (keeps(note->tasks.at(i)))
                rows.push_back(rowFor(*note, i));
        }
    }
    std::sort(rows.begin(), rows.end(), [this](const TodoRow &a, const TodoRow &b) { return before(a, b); });
    m_model->reset(std::move(rows), m_list->font());
}

void TodosScreen::updateNoteRows(const QString &noteId)
{
    const auto less = [this](const TodoRow &a, const TodoRow &b) { return before(a, b); };
    std::vector<TodoRow> rows;
    const TodoIndex::NoteTodos *note = m_index.syncNote(noteId);
    if (note && !m_state->notes()->includeInTodos(noteId)) {
        m_excluded.insert(noteId);
        note = nullptr;
    } else if (note) {
        m_excluded.remove(noteId);
        for (qsizetype i = 0; i < note->tasks.size(); ++i) {
            if (keeps(note->tasks.at(i)))
                rows.push_back(rowFor(*note, i));
        }
        std::sort(rows.begin(), rows.end(), less);
    }
    m_model->replaceNoteRows(noteId, std::move(rows), less);
}

bool TodosScreen::tick(int row, bool checked)
{
    const QString noteId = m_model->rows()[size_t(row)].noteId;
    const int line = m_model->rows()[size_t(row)].lineIndex;
    NoteRepository *notes = m_state->notes();
    std::optional<Note> note = notes ? notes->byId(noteId) : std::nullopt;
    const QString body = note && !note->isTrashed() ? setTaskChecked(note->body, line, checked) : QString();
    if (body.isEmpty() || body == note->body) {
        // The note no longer holds what the row showed: show what it holds.
        updateNoteRows(noteId);
        return false;
    }
    note->body = body;
    note->updatedAt = note->modifiedAt = QDateTime::currentDateTimeUtc();
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    // The row is rebuilt from the stored note while this runs.
    if (!notes->update(*note)) {
        updateNoteRows(noteId);
        QMessageBox::warning(this, tr("To-Dos"), tr("The to-do could not be saved in its note."));
        return false;
    }
    m_state->notifyNoteUpdated(noteId, this);
    return true;
}
