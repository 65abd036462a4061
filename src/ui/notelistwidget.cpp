#include "ui/notelistwidget.h"

#include "ui/notelistdelegate.h"

#include <QKeyEvent>

#include <QMimeData>

QString NoteListWidget::noteIdMimeType()
{
    return QStringLiteral("application/x-lumora-note-id");
}

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setMouseTracking(true); // hover painting
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));

    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *current, QListWidgetItem *) {
        if (current)
            Q_EMIT noteSelected(current->data(NoteIdRole).toString());
    });
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { Q_EMIT noteDoubleClicked(item->data(NoteIdRole).toString()); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (QListWidgetItem *item = itemAt(pos))
            Q_EMIT noteContextMenuRequested(item->data(NoteIdRole).toString(), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::setNotes(const QList<Note> &notes)
{
    const QString keepId = currentNoteId();

    m_notes = notes;
    const bool wasBlocked = blockSignals(true);
    clear();

    int keepRow = -1;
    for (qsizetype i = 0; i < m_notes.size(); ++i) {
        const Note &note = m_notes.at(i);
        const NoteListTexts texts = noteListTexts(note.body);
        // Filled before it joins the list, so no per-role change signals.
        auto *item = new QListWidgetItem;
        item->setData(NoteIdRole, note.id);
        item->setData(TitleRole, texts.title);
        item->setData(PreviewRole, texts.preview);
        item->setData(UpdatedAtRole, note.updatedAt);
        item->setData(NotebookNameRole, m_resolver ? m_resolver(note.notebookId) : QString());
        item->setData(UntitledRole, texts.untitled);
        item->setData(SharedRole, note.isShared);
        item->setData(SyncStatusRole, static_cast<int>(note.syncStatus));
        addItem(item);
        if (keepRow < 0 && !keepId.isEmpty() && note.id == keepId)
            keepRow = int(i);
    }
    if (keepRow >= 0)
        setCurrentRow(keepRow);
    blockSignals(wasBlocked);
}

void NoteListWidget::selectNote(const QString &noteId)
{
    for (int row = 0; row < count(); ++row) {
        if (item(row)->data(NoteIdRole).toString() == noteId) {
            setCurrentRow(row);
            return;
        }
    }
}

QString NoteListWidget::currentNoteId() const
{
    const QListWidgetItem *current = currentItem();
    return current ? current->data(NoteIdRole).toString() : QString();
}

void NoteListWidget::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_resolver = std::move(resolver);
}

QStringList NoteListWidget::mimeTypes() const
{
    return {noteIdMimeType()};
}

QMimeData *NoteListWidget::mimeData(const QList<QListWidgetItem *> &items) const
{
    if (items.isEmpty())
        return nullptr;
    auto *mime = new QMimeData;
    mime->setData(noteIdMimeType(), items.first()->data(NoteIdRole).toString().toUtf8());
    return mime;
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
    QListWidget::keyPressEvent(event);
}
