#include "ui/notebooklistwidget.h"

#include "ui/notebooklistdelegate.h"
#include "ui/notelistwidget.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>

namespace {

QListWidgetItem *makeRow(NotebookListWidget::RowKind kind, const QString &name, Qt::ItemFlags flags)
{
    auto *item = new QListWidgetItem;
    item->setData(NotebookListWidget::KindRole, int(kind));
    item->setData(NotebookListWidget::NameRole, name);
    item->setFlags(flags);
    return item;
}

bool carriesNoteId(const QDropEvent *event)
{
    return event->mimeData() && event->mimeData()->hasFormat(NoteListWidget::noteIdMimeType());
}

// A note dropped here changes notebook through the repository; the drag
// must not end as a move, which tells the source view to remove the row.
void acceptAsCopy(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

NotebookListWidget::NotebookListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true); // hover painting
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);
    setItemDelegate(new NotebookListDelegate(this));

    connect(this, &QListWidget::itemClicked, this, &NotebookListWidget::onItemActivated);
    connect(this, &QWidget::customContextMenuRequested, this, &NotebookListWidget::onContextMenu);
}

void NotebookListWidget::setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                                      const QString &currentNotebookId, int trashCount)
{
    const bool wasBlocked = blockSignals(true);
    clear();
    const Qt::ItemFlags listRow = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    const Qt::ItemFlags commandRow = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

    QListWidgetItem *allNotes = makeRow(AllNotesRow, tr("All Notes"), listRow);
    allNotes->setData(CountRole, counts.value(QString(), 0));
    addItem(allNotes);

    int current = 0;
    for (const Notebook &notebook : notebooks) {
        if (notebook.deletedAt)
            continue;
        QListWidgetItem *item = makeRow(NotebookRow, notebook.name, listRow);
        item->setData(NotebookIdRole, notebook.id);
        item->setData(CountRole, counts.value(notebook.id, 0));
        item->setData(IsDefaultRole, notebook.isDefault);
        item->setData(IsSharedRole, notebook.isShared);
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId)
            current = count();
        addItem(item);
    }

    QListWidgetItem *trash = makeRow(TrashRow, tr("Trash"), commandRow);
    trash->setData(CountRole, trashCount);
    addItem(trash);
    addItem(makeRow(NewNotebookRow, tr("New Notebook…"), commandRow));

    setCurrentRow(current);
    m_viewRow = current;
    blockSignals(wasBlocked);
}

int NotebookListWidget::rowOfKind(RowKind kind) const
{
    for (int row = 0; row < count(); ++row) {
        if (item(row)->data(KindRole).toInt() == kind)
            return row;
    }
    return -1;
}

int NotebookListWidget::rowOfNotebook(const QString &notebookId) const
{
    for (int row = 0; row < count(); ++row) {
        const QListWidgetItem *at = item(row);
        if (at->data(KindRole).toInt() == NotebookRow && at->data(NotebookIdRole).toString() == notebookId)
            return row;
    }
    return -1;
}

void NotebookListWidget::restoreViewRow()
{
    if (m_viewRow < 0 || m_viewRow >= count() || currentRow() == m_viewRow)
        return;
    const bool wasBlocked = blockSignals(true);
    setCurrentRow(m_viewRow);
    blockSignals(wasBlocked);
}

void NotebookListWidget::onItemActivated(QListWidgetItem *item)
{
    if (!item)
        return;
    switch (item->data(KindRole).toInt()) {
    case AllNotesRow:
        m_viewRow = row(item);
        Q_EMIT allNotesSelected();
        break;
    case NotebookRow:
        m_viewRow = row(item);
        Q_EMIT notebookSelected(item->data(NotebookIdRole).toString());
        break;
    case TrashRow:
        // The trash opens in a window of its own; the list beside still
        // shows the notebook it showed.
        restoreViewRow();
        Q_EMIT trashSelected();
        break;
    case NewNotebookRow:
        restoreViewRow();
        Q_EMIT newNotebookRequested();
        break;
    default:
        break;
    }
}

void NotebookListWidget::onContextMenu(const QPoint &pos)
{
    const QListWidgetItem *at = itemAt(pos);
    if (at && at->data(KindRole).toInt() == NotebookRow)
        Q_EMIT notebookContextMenuRequested(at->data(NotebookIdRole).toString(), viewport()->mapToGlobal(pos));
}

void NotebookListWidget::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        onItemActivated(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

QStringList NotebookListWidget::mimeTypes() const
{
    return {NoteListWidget::noteIdMimeType()};
}

bool NotebookListWidget::dropMimeData(int, const QMimeData *, Qt::DropAction)
{
    // Rows come from setNotebooks() only; a drop never adds one.
    return false;
}

void NotebookListWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (carriesNoteId(event)) {
        acceptAsCopy(event);
        return;
    }
    QListWidget::dragEnterEvent(event);
}

void NotebookListWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (!carriesNoteId(event)) {
        QListWidget::dragMoveEvent(event);
        return;
    }
    QListWidgetItem *target = itemAt(event->position().toPoint());
    const int kind = target ? target->data(KindRole).toInt() : -1;
    if (kind == AllNotesRow || kind == NotebookRow) {
        const bool wasBlocked = blockSignals(true);
        setCurrentItem(target);
        blockSignals(wasBlocked);
        acceptAsCopy(event);
    } else {
        restoreViewRow();
        event->ignore();
    }
}

void NotebookListWidget::dragLeaveEvent(QDragLeaveEvent *event)
{
    restoreViewRow();
    QListWidget::dragLeaveEvent(event);
}

void NotebookListWidget::dropEvent(QDropEvent *event)
{
    if (!carriesNoteId(event)) {
        QListWidget::dropEvent(event);
        return;
    }
    const QListWidgetItem *target = itemAt(event->position().toPoint());
    const int kind = target ? target->data(KindRole).toInt() : -1;
    const QString noteId = QString::fromUtf8(event->mimeData()->data(NoteListWidget::noteIdMimeType()));
    // Back to the row of the list shown before anything is emitted: the
    // answer to the signal may rebuild the rows.
    restoreViewRow();
    if (noteId.isEmpty() || (kind != AllNotesRow && kind != NotebookRow)) {
        event->ignore();
        return;
    }
    const QString targetNotebookId = kind == NotebookRow ? target->data(NotebookIdRole).toString() : QString();
    acceptAsCopy(event);
    Q_EMIT noteDroppedOnNotebook(noteId, targetNotebookId);
}
