#pragma once

#include "storage/note.h"
#include "storage/notetexts.h"

#include <QList>
#include <QListWidget>
#include <QPoint>
#include <QString>

#include <functional>

class QMimeData;

// The notes of the current notebook or search, one card per note, painted by
// NoteListDelegate. Keeps the current note across refreshes.
class NoteListWidget : public QListWidget
{
    Q_OBJECT

public:
    enum Role : int {
        NoteIdRole = Qt::UserRole, // 256
        TitleRole, // 257
        PreviewRole, // 258
        UpdatedAtRole, // 259
        NotebookNameRole, // 260
        UntitledRole, // 261
        SharedRole, // 262
        SyncStatusRole, // 263: 0 pending, 1 synced, 2 conflict
    };

    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;

    static QString noteIdMimeType();

    explicit NoteListWidget(QWidget *parent = nullptr);

    void setNotes(const QList<Note> &notes);
    const QList<Note> &notes() const { return m_notes; }
    // Makes the first row of `noteId` current; nothing when there is none.
    void selectNote(const QString &noteId);
    // "" when no row is current.
    QString currentNoteId() const;
    void setNotebookNameResolver(NotebookNameResolver resolver);

    QStringList mimeTypes() const override;

Q_SIGNALS:
    void noteSelected(const QString &noteId);
    void noteDoubleClicked(const QString &noteId);
    void noteActivated(const QString &noteId);
    void noteDeleteRequested(const QString &noteId);
    void noteContextMenuRequested(const QString &noteId, const QPoint &globalPos);

protected:
    QMimeData *mimeData(const QList<QListWidgetItem *> &items) const override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QList<Note> m_notes;
    NotebookNameResolver m_resolver;
};
