#include "ui/notelistwidget.h"

#include "ui/notelistdelegate.h"

#include <QKeyEvent>
#include <QMimeData>

namespace {

// Rows read at once when the view reaches one that was not read yet: about
// three screens, so scrolling reads rarely and a refresh reads little.
constexpr int PageSize = 32;
// Scrolling through a long list would keep every row read; past this many the
// cache starts over.
constexpr int MaxCachedRows = 4096;

} // namespace

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rowIds.size());
}

void NoteListModel::remember(const NoteListRow &row) const
{
    m_cache.insert(row.rowId, row);
    m_rowIdOfNote.insert(row.id, row.rowId);
}

const NoteListRow *NoteListModel::rowAt(int row, int pageSize) const
{
    if (row < 0 || row >= m_rowIds.size())
        return nullptr;
    const qint64 rowId = m_rowIds.at(row);
    auto it = m_cache.constFind(rowId);
    if (it != m_cache.constEnd())
        return &*it;
    if (!m_lazy || !m_repository)
        return nullptr;
    if (m_cache.size() >= MaxCachedRows) {
        m_cache.clear();
        m_rowIdOfNote.clear();
        m_matches.clear();
    }
    const int first = qMax(0, row - row % pageSize);
    const int last = qMin(int(m_rowIds.size()), first + pageSize);
    QList<qint64> wanted;
    wanted.reserve(last - first);
    for (int i = first; i < last; ++i) {
        if (!m_cache.contains(m_rowIds.at(i)))
            wanted.append(m_rowIds.at(i));
    }
    const QList<NoteListRow> rows = m_repository->listRows(wanted);
    for (const NoteListRow &fetched : rows)
        remember(fetched);
    if (!m_listing.highlight.isEmpty())
        m_matches.insert(m_repository->searchSnippets(m_listing.highlight, wanted));
    // A note deleted meanwhile keeps an empty row until the next refresh
    // rather than being asked for again at every paint.
    it = m_cache.constFind(rowId);
    if (it == m_cache.constEnd()) {
        NoteListRow gone;
        gone.rowId = rowId;
        it = m_cache.insert(rowId, gone);
    }
    return &*it;
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role < NoteListWidget::NoteIdRole || role > NoteListWidget::TrashedAtRole)
        return {};
    const NoteListRow *row = rowAt(index.row(), PageSize);
    if (!row)
        return {};
    switch (role) {
    case NoteListWidget::NoteIdRole:
        return row->id;
    case NoteListWidget::TitleRole:
        return row->texts.title;
    case NoteListWidget::PreviewRole:
        return row->texts.preview;
    case NoteListWidget::UpdatedAtRole:
        return row->updatedAt;
    case NoteListWidget::NotebookNameRole:
        return m_resolver ? m_resolver(row->notebookId) : QString();
    case NoteListWidget::UntitledRole:
        return row->texts.untitled;
    case NoteListWidget::SharedRole:
        return row->isShared;
    case NoteListWidget::SyncStatusRole:
        return static_cast<int>(row->syncStatus);
    case NoteListWidget::MatchPreviewRole:
        return m_matches.value(row->rowId);
    case NoteListWidget::TrashedAtRole:
        return row->deletedAt.isValid() ? QVariant(row->deletedAt) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList NoteListModel::mimeTypes() const
{
    return {NoteListWidget::noteIdMimeType()};
}

Qt::DropActions NoteListModel::supportedDragActions() const
{
    // A note dropped on a notebook moves there.
    return Qt::CopyAction | Qt::MoveAction;
}

QMimeData *NoteListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    auto *mime = new QMimeData;
    mime->setData(NoteListWidget::noteIdMimeType(), noteIdAt(indexes.first().row()).toUtf8());
    return mime;
}

void NoteListModel::setRows(const QList<qint64> &rowIds, const NoteListing &listing)
{
    beginResetModel();
    m_lazy = true;
    m_rowIds = rowIds;
    m_listing = listing;
    // Whatever changed since the last read shows from here on.
    m_cache.clear();
    m_rowIdOfNote.clear();
    m_matches.clear();
    endResetModel();
}

void NoteListModel::setRows(const QList<NoteListRow> &rows)
{
    beginResetModel();
    m_lazy = false;
    m_listing = {};
    m_rowIds.clear();
    m_cache.clear();
    m_rowIdOfNote.clear();
    m_matches.clear();
    m_rowIds.reserve(rows.size());
    for (const NoteListRow &row : rows) {
        NoteListRow kept = row;
        kept.rowId = m_rowIds.size() + 1; // rows of their own, even for repeated notes
        m_rowIds.append(kept.rowId);
        m_cache.insert(kept.rowId, kept);
        if (!m_rowIdOfNote.contains(kept.id))
            m_rowIdOfNote.insert(kept.id, kept.rowId);
    }
    endResetModel();
}

int NoteListModel::rowOfNote(const QString &noteId) const
{
    if (noteId.isEmpty())
        return -1;
    auto it = m_rowIdOfNote.constFind(noteId);
    if (it != m_rowIdOfNote.constEnd())
        return int(m_rowIds.indexOf(*it));
    if (!m_lazy || !m_repository)
        return -1;
    const std::optional<NoteListRow> row = m_repository->listRow(noteId);
    return row ? int(m_rowIds.indexOf(row->rowId)) : -1;
}

QString NoteListModel::noteIdAt(int row) const
{
    const NoteListRow *at = rowAt(row, PageSize);
    return at ? at->id : QString();
}

int NoteListModel::placeFor(const QDateTime &updatedAt, int skipRow) const
{
    // The rows other than skipRow are in order; a binary search over them
    // reads one row per probe. A save lands at an end, checked first.
    const int n = int(m_rowIds.size()) - (skipRow >= 0 ? 1 : 0);
    auto timeAt = [&](int i) {
        const NoteListRow *row = rowAt(skipRow >= 0 && i >= skipRow ? i + 1 : i, 1);
        return row ? row->updatedAt : QDateTime();
    };
    // True when the new row goes before row i.
    auto before = [&](int i) {
        const QDateTime other = timeAt(i);
        return m_listing.oldestFirst ? updatedAt < other : updatedAt >= other;
    };
    if (n == 0 || before(0))
        return 0;
    if (!before(n - 1))
        return n;
    int low = 0; // !before(low)
    int high = n - 1; // before(high)
    while (high - low > 1) {
        const int mid = low + (high - low) / 2;
        if (before(mid))
            high = mid;
        else
            low = mid;
    }
    return high;
}

void NoteListModel::updateNote(const QString &noteId)
{
    if (!m_lazy || !m_repository)
        return;
    const int row = rowOfNote(noteId);
    std::optional<NoteListRow> fresh = m_repository->listRow(noteId);
    // The list row does not say whether the note is in the trash.
    if (fresh) {
        const std::optional<Note> note = m_repository->byId(noteId);
        if (!note || note->isTrashed())
            fresh.reset();
    }
    const bool belongs = fresh
        && (m_listing.ranked || m_listing.notebookId.isEmpty() || fresh->notebookId == m_listing.notebookId);

    if (!belongs) {
        if (row >= 0) {
            beginRemoveRows({}, row, row);
            m_cache.remove(m_rowIds.takeAt(row));
            m_rowIdOfNote.remove(noteId);
            endRemoveRows();
        }
        return;
    }
    if (m_listing.ranked) {
        // A search keeps its order while the user reads it; a note that did
        // not match stays out until the next search.
        if (row >= 0) {
            remember(*fresh);
            if (!m_listing.highlight.isEmpty()) {
                // The words may have moved or gone; an empty extract falls back to the preview.
                m_matches.insert(fresh->rowId,
                                 m_repository->searchSnippets(m_listing.highlight, {fresh->rowId}).value(fresh->rowId));
            }
            Q_EMIT dataChanged(index(row), index(row));
        }
        return;
    }
    const int place = placeFor(fresh->updatedAt, row);
    remember(*fresh);
    if (row < 0) {
        beginInsertRows({}, place, place);
        m_rowIds.insert(place, fresh->rowId);
        endInsertRows();
        return;
    }
    if (place != row) {
        // Qt counts the destination before the row leaves.
        beginMoveRows({}, row, row, {}, place > row ? place + 1 : place);
        m_rowIds.move(row, place);
        endMoveRows();
    }
    Q_EMIT dataChanged(index(place), index(place));
}

QString NoteListWidget::noteIdMimeType()
{
    return QStringLiteral("application/x-lumora-note-id");
}

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListView(parent)
    , m_model(new NoteListModel(this))
    , m_delegate(new NoteListDelegate(this))
{
    setModel(m_model);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // One size for every row: the view never asks row by row.
    setUniformItemSizes(true);
    setMouseTracking(true); // hover painting
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(m_delegate);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid())
            Q_EMIT noteSelected(m_model->noteIdAt(current.row()));
    });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { Q_EMIT noteDoubleClicked(m_model->noteIdAt(index.row())); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid())
            Q_EMIT noteContextMenuRequested(m_model->noteIdAt(index.row()), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::keepingCurrent(const std::function<void()> &change)
{
    const QString keepId = currentNoteId();
    const bool wasBlocked = blockSignals(true);
    change();
    const int row = m_model->rowOfNote(keepId);
    if (row >= 0) {
        if (currentRow() != row)
            setCurrentIndex(m_model->index(row));
    } else if (currentIndex().isValid()) {
        // The current note left the list: nothing is current, as after a
        // refresh without it, rather than whichever row took its place.
        selectionModel()->clear();
    }
    blockSignals(wasBlocked);
}

void NoteListWidget::setRepository(NoteRepository *repository)
{
    m_model->setRepository(repository);
}

void NoteListWidget::setRowIds(const QList<qint64> &rowIds, const NoteListing &listing)
{
    keepingCurrent([&] { m_model->setRows(rowIds, listing); });
}

void NoteListWidget::updateNote(const QString &noteId)
{
    keepingCurrent([&] { m_model->updateNote(noteId); });
}

void NoteListWidget::setNotes(const QList<Note> &notes)
{
    QList<NoteListRow> rows;
    rows.reserve(notes.size());
    for (const Note &note : notes) {
        NoteListRow row;
        row.id = note.id;
        row.notebookId = note.notebookId;
        row.texts = noteListTexts(note.body);
        row.updatedAt = note.updatedAt;
        row.isShared = note.isShared;
        row.syncStatus = note.syncStatus;
        row.deletedAt = note.deletedAt.value_or(QDateTime());
        rows.append(row);
    }
    keepingCurrent([&] { m_model->setRows(rows); });
}

void NoteListWidget::selectNote(const QString &noteId)
{
    const int row = m_model->rowOfNote(noteId);
    if (row >= 0)
        setCurrentRow(row);
}

QString NoteListWidget::currentNoteId() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? m_model->noteIdAt(current.row()) : QString();
}

void NoteListWidget::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_model->setNotebookNameResolver(std::move(resolver));
}

void NoteListWidget::setNotebookNames(const QHash<QString, QString> &names)
{
    m_model->setNotebookNameResolver([names](const QString &id) { return names.value(id); });
    viewport()->update();
}

void NoteListWidget::setSyncEnabled(bool enabled)
{
    if (m_delegate->syncEnabled() == enabled)
        return;
    m_delegate->setSyncEnabled(enabled);
    viewport()->update();
}

int NoteListWidget::count() const
{
    return m_model->rowCount();
}

int NoteListWidget::currentRow() const
{
    return currentIndex().row();
}

void NoteListWidget::setCurrentRow(int row)
{
    setCurrentIndex(m_model->index(row));
}

QString NoteListWidget::noteIdAt(int row) const
{
    return m_model->noteIdAt(row);
}

QStringList NoteListWidget::mimeTypes() const
{
    return m_model->mimeTypes();
}

void NoteListWidget::keyPressEvent(QKeyEvent *event)
{
    const QString id = currentNoteId();
    if (!id.isEmpty()) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Q_EMIT noteActivated(id);
            event->accept();
            return;
        case Qt::Key_Delete:
            Q_EMIT noteDeleteRequested(id);
            event->accept();
            return;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}
