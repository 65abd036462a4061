#pragma once

#include <QDialog>
#include <QString>

class AppState;
class NoteEditor;
class QListWidget;
class QPushButton;

// The kept versions of one note: a list of its snapshots, newest first, a
// read-only preview of the selected one, a snapshot taken on request and the
// restore of a chosen snapshot (after keeping the current content as one).
// Browsing the list writes nothing.
class VersionHistoryDialog : public QDialog
{
    Q_OBJECT

public:
    VersionHistoryDialog(AppState *state, const QString &noteId, QWidget *parent = nullptr);

    QString noteId() const { return m_noteId; }
    void reload();

    QListWidget *snapshotList() const { return m_snapshotList; }
    NoteEditor *preview() const { return m_preview; }
    QPushButton *saveButton() const { return m_saveButton; }
    QPushButton *restoreButton() const { return m_restoreButton; }

public Q_SLOTS:
    void saveSnapshotNow();
    void restoreSelected();

private:
    void onRowChanged(int row);

    AppState *m_state;
    QString m_noteId;
    QListWidget *m_snapshotList;
    NoteEditor *m_preview;
    QPushButton *m_saveButton;
    QPushButton *m_restoreButton;
};

// Opens the history of a note next to parent, modeless and deleted on close;
// a second request for the same note raises the dialog already open.
VersionHistoryDialog *showVersionHistory(AppState *state, const QString &noteId, QWidget *parent);
