#pragma once

#include "storage/notebook.h"

#include <QHash>
#include <QList>
#include <QListWidget>
#include <QPoint>
#include <QString>

// The notebook sidebar: "All Notes", one row per notebook, "Trash" and
// "New Notebook…", painted by NotebookListDelegate. Notes dragged from the
// note list can be dropped on a notebook or on "All Notes".
class NotebookListWidget : public QListWidget
{
    Q_OBJECT

public:
    enum Role : int {
        KindRole = Qt::UserRole, // 256, a RowKind
        NotebookIdRole, // 257
        NameRole, // 258
        CountRole, // 259
        IsDefaultRole, // 260
        IsSharedRole, // 261
    };
    enum RowKind : int { AllNotesRow = 0, NotebookRow = 1, TrashRow = 2, NewNotebookRow = 3 };

    explicit NotebookListWidget(QWidget *parent = nullptr);

    // Rebuilds every row without emitting anything. `counts` is
    // NoteRepository::countsByNotebook(): live notes per notebook id, the
    // total under "". The current row is the notebook `currentNotebookId`,
    // "All Notes" when there is no such row.
    void setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                      const QString &currentNotebookId, int trashCount);

    // The row of a kind (the first notebook row for NotebookRow), or -1.
    int rowOfKind(RowKind kind) const;
    // The row of a notebook, or -1.
    int rowOfNotebook(const QString &notebookId) const;

Q_SIGNALS:
    void allNotesSelected();
    void notebookSelected(const QString &notebookId);
    void trashSelected();
    void newNotebookRequested();
    void notebookContextMenuRequested(const QString &notebookId, const QPoint &globalPos);
    void noteDroppedOnNotebook(const QString &noteId, const QString &targetNotebookId);

public Q_SLOTS:
    void onItemActivated(QListWidgetItem *item);
    void onContextMenu(const QPoint &pos);

protected:
    // Only note ids are taken, and never as new rows.
    QStringList mimeTypes() const override;
    bool dropMimeData(int index, const QMimeData *data, Qt::DropAction action) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Puts the current row back silently: "Trash" and "New Notebook…" are
    // commands, and a drag only points at rows on its way.
    void restoreViewRow();

    // The row of the list the note list shows; what restoreViewRow() returns to.
    int m_viewRow = 0;
};
