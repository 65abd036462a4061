#pragma once

#include "storage/note.h"
#include "storage/noterepository.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QListView>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <functional>

class NoteListDelegate;
class QMimeData;

// What the rows of a NoteListWidget are, so that one changed note can find its
// place without re-reading the list.
struct NoteListing
{
    QString notebookId; // "" for every notebook
    bool oldestFirst = false; // otherwise newest first
    bool ranked = false; // search results: rows keep their places
    QString highlight; // the search whose matched words the rows show
};

// The list's rows: row ids in list order, and the texts of only the rows that
// are looked at, read from the repository a page at a time.
class NoteListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit NoteListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    void setRepository(NoteRepository *repository) { m_repository = repository; }
    void setNotebookNameResolver(std::function<QString(const QString &)> resolver) { m_resolver = std::move(resolver); }
    void setRows(const QList<qint64> &rowIds, const NoteListing &listing);
    // Rows given whole, for lists that are not read from a repository.
    void setRows(const QList<NoteListRow> &rows);
    // Re-reads one note and updates, moves, inserts or removes its row.
    void updateNote(const QString &noteId);

    // -1 when the note has no row.
    int rowOfNote(const QString &noteId) const;
    QString noteIdAt(int row) const;

private:
    const NoteListRow *rowAt(int row, int pageSize) const;
    void remember(const NoteListRow &row) const;
    // Where a row updated at `updatedAt` belongs among the other rows.
    int placeFor(const QDateTime &updatedAt, int skipRow) const;

    QPointer<NoteRepository> m_repository;
    std::function<QString(const QString &)> m_resolver;
    // Rows read from the repository, or all given by setRows(rows).
    bool m_lazy = false;
    QList<qint64> m_rowIds;
    NoteListing m_listing;
    // Rows read so far, and the row id of each note among them.
    mutable QHash<qint64, NoteListRow> m_cache;
    mutable QHash<QString, qint64> m_rowIdOfNote;
    // Match extracts of the rows read so far, when the listing highlights.
    mutable QHash<qint64, QString> m_matches;
};

// The notes of the current notebook or search, one card per note, painted by
// NoteListDelegate. Keeps the current note across refreshes.
class NoteListWidget : public QListView
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
        MatchPreviewRole, // 264: extract around the match, words marked as in NoteRepository::searchSnippets
        TrashedAtRole, // 265: when a trashed note was trashed
    };

    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;

    static QString noteIdMimeType();

    explicit NoteListWidget(QWidget *parent = nullptr);

    // Rows read lazily from `repository`, in the order of `rowIds`.
    void setRepository(NoteRepository *repository);
    void setRowIds(const QList<qint64> &rowIds, const NoteListing &listing = {});
    // One note was written: its row alone follows, silently.
    void updateNote(const QString &noteId);

    void setNotes(const QList<Note> &notes);
    // Makes the first row of `noteId` current; nothing when there is none.
    void selectNote(const QString &noteId);
    // "" when no row is current.
    QString currentNoteId() const;
    void setNotebookNameResolver(NotebookNameResolver resolver);
    // The same with a fixed map of notebook id to name.
    void setNotebookNames(const QHash<QString, QString> &names);
    // Whether an account is signed in: only then do rows show that they wait
    // to be synced. Off at first.
    void setSyncEnabled(bool enabled);

    int count() const;
    int currentRow() const;
    void setCurrentRow(int row);
    QString noteIdAt(int row) const;
    QStringList mimeTypes() const;

Q_SIGNALS:
    void noteSelected(const QString &noteId);
    void noteDoubleClicked(const QString &noteId);
    void noteActivated(const QString &noteId);
    void noteDeleteRequested(const QString &noteId);
    void noteContextMenuRequested(const QString &noteId, const QPoint &globalPos);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Runs a change of rows with the current note kept and no noteSelected.
    void keepingCurrent(const std::function<void()> &change);

    NoteListModel *m_model;
    NoteListDelegate *m_delegate;
};
