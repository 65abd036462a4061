#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace BrioAccount {
class Client;
}

class AttachmentRepository;
class Database;
class NoteRepository;
class NotebookRepository;
class NoteSharingService;
class NoteWindow;
class PreferencesRepository;
class SnapshotRepository;
class ThemeManager;

// Owns the database, the repositories and the services for the life of the
// run, and holds the user's selection. Windows reach everything through it.
class AppState : public QObject
{
    Q_OBJECT

public:
    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    // False when the data directory or the database cannot be used; *error
    // then says why and names the path. A failed start leaves the files as
    // they were.
    bool initialize(QString *error = nullptr);

    Database *database() const { return m_database; }
    NoteRepository *notes() const { return m_notes; }
    NotebookRepository *notebooks() const { return m_notebooks; }
    PreferencesRepository *preferences() const { return m_preferences; }
    SnapshotRepository *snapshots() const { return m_snapshots; }
    AttachmentRepository *attachments() const { return m_attachments; }
    ThemeManager *themeManager() const { return m_themeManager; }
    BrioAccount::Client *accountClient() const { return m_accountClient; }
    NoteSharingService *noteSharing() const { return m_noteSharing; }
    NoteSharingService *notebookSharing() const { return m_notebookSharing; }
    bool isSignedIn() const;

    QString currentNotebookId() const { return m_currentNotebookId; }
    QString currentNoteId() const { return m_currentNoteId; }
    void setCurrentNotebookId(const QString &id);
    void setCurrentNoteId(const QString &id);

    // Sharing needs a signed-in account in a group of two or more.
    bool canShare() const { return m_canShare; }
    void refreshCanShare();

    NoteWindow *newNoteWindow();
    void openNoteWindow(const QString &noteId);
    QStringList openNoteWindowIds() const;
    NoteWindow *noteWindow(const QString &noteId) const { return m_noteWindows.value(noteId); }

    void notifyNoteUpdated(const QString &noteId, QObject *source);

Q_SIGNALS:
    void databaseReady();
    void currentNotebookChanged(const QString &notebookId);
    void currentNoteChanged(const QString &noteId);
    // One note was written; notesChanged() follows.
    void noteChanged(const QString &noteId);
    // The one-note write that follows may change notebook or trash counts.
    void noteCountsChanged();
    void notesChanged();
    void notebooksChanged();
    void canShareChanged(bool canShare);
    void noteUpdatedExternally(const QString &noteId, QObject *source);
    void noteDeletedExternally(const QString &noteId);

private:
    NoteWindow *showNoteWindow(const QString &noteId);
    void createAccountClient();
    void onAuthStateChanged();
    void setCanShare(bool canShare);

    Database *m_database = nullptr;
    NoteRepository *m_notes = nullptr;
    NotebookRepository *m_notebooks = nullptr;
    PreferencesRepository *m_preferences = nullptr;
    SnapshotRepository *m_snapshots = nullptr;
    AttachmentRepository *m_attachments = nullptr;
    ThemeManager *m_themeManager = nullptr;
    BrioAccount::Client *m_accountClient = nullptr;
    NoteSharingService *m_noteSharing = nullptr;
    NoteSharingService *m_notebookSharing = nullptr;

    QString m_currentNotebookId;
    QString m_currentNoteId;
    bool m_canShare = false;
    QHash<QString, NoteWindow *> m_noteWindows;
    // Opening order, so the windows come back in the same order next start.
    QStringList m_noteWindowOrder;
};
