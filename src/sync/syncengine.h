#pragma once

#include "storage/attachmentrepository.h"
#include "storage/note.h"
#include "storage/notebook.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>

class Database;
class NoteRepository;
class NotebookRepository;
class PreferencesRepository;
class QTimer;

namespace BrioAccount {
class ApiClient;
}

// Stores a new pending note holding note's text (and notebook, trash state),
// its title marked as a conflicting copy: the loser of a conflict is kept
// where the user finds it, and synced like any new note. False when the
// insert failed.
bool insertConflictCopy(NoteRepository *notes, const Note &note);

// Keeps the local store and the notes server in step for the signed-in
// account. A run is a chain of requests, each started from the answer to the
// one before, all on the GUI thread: push notebooks, notes and attachments,
// pull notes, notebooks and the attachment list, download missing files.
//
// Nothing the user wrote is dropped: a note edited here while the server's
// copy changed too is kept as a separate conflict copy, a note edited while
// its push was on the way stays pending, and pulled deletions only move
// notes to the trash.
class SyncEngine : public QObject
{
    Q_OBJECT

public:
    enum SyncState { Idle = 0, Syncing = 1, Error = 2, Offline = 3 };
    Q_ENUM(SyncState)

    static constexpr int DebounceMs = 2000;
    // Pulled notes are stored this many at a time, one transaction each, with
    // the event loop running in between so the window stays responsive.
    static constexpr int DefaultPullSliceSize = 100;
    // The push batch is built, and its answer stored, this many notes at a
    // time for the same reason.
    static constexpr int DefaultPushSliceSize = 250;

    SyncEngine(BrioAccount::ApiClient *api, Database *database, NoteRepository *notes, NotebookRepository *notebooks,
               AttachmentRepository *attachments, PreferencesRepository *preferences, QObject *parent = nullptr);

    void sync();
    // A run shortly after the last of a burst of calls; nothing while
    // automatic sync is started but switched off in the preferences.
    void scheduleSync();
    // Syncs in the background as the "auto_sync" and "sync_interval_minutes"
    // preferences say, following their changes, until stopAutoSync(); when
    // automatic sync is on, a run starts at once.
    void startAutoSync();
    void stopAutoSync();
    bool isAutoSyncStarted() const { return m_autoSyncStarted; }
    // The period of the running periodic timer; 0 when it is not running.
    int periodicIntervalMs() const;
    // What the preferences ask for: 0 when automatic sync is off.
    int preferredIntervalMs() const;

    SyncState state() const { return m_state; }
    QString lastError() const { return m_lastError; }
    static QString stateText(SyncState state);

    void setPullSliceSize(int size) { m_pullSliceSize = qMax(1, size); }
    void setPushSliceSize(int size) { m_pushSliceSize = qMax(1, size); }

    // Preference keys of the pull cursors.
    static QString notesCursorKey();
    static QString attachmentsCursorKey();
    // Preference keys of automatic sync.
    static QString autoSyncKey();
    static QString syncIntervalKey();

Q_SIGNALS:
    void stateChanged(SyncEngine::SyncState state);
    void syncCompleted();
    void syncFailed(const QString &error);
    void dataChanged();
    void syncProgress(const QString &label, int current, int total);
    void attachmentsChanged();

private:
    // What a pushed row looked like when it was sent: an answer only marks
    // the row synced when it has not been edited since.
    struct SentNote
    {
        qint32 version = 0;
        QString body;
        QString notebookId;
        bool trashed = false;
    };

    void setState(SyncState state);
    void applyAutoSyncPreferences();
    void fail(const QString &message);
    bool isCurrent(quint64 run) const { return run == m_run && m_state == Syncing; }

    void pushNotebooks();
    void pushNextNotebook();
    void createNotebook(const Notebook &notebook);
    void markNotebookSynced(const Notebook &sent, qint32 version);
    void pushNotes();
    void buildPushBatch(qint64 afterRowId);
    void sendPushBatch();
    void storePushResults(const QJsonArray &results, qsizetype from);
    void pushAttachments();
    void pushNextAttachment();
    void pullNotes();
    void applyPulledNotes(const QJsonArray &changes, qsizetype from, qint64 cursor, int applied);
    // Stores one pulled record; true when the local store changed.
    bool applyPulledNote(const Note &incoming, const std::optional<Note> &local);
    void pullNotebooks();
    void pullAttachments();
    void downloadNextAttachment();
    void finish();

    BrioAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    NotebookRepository *m_notebooks;
    AttachmentRepository *m_attachments;
    PreferencesRepository *m_preferences;

    SyncState m_state = Idle;
    QString m_lastError;
    // Bumped by every run start and stop, so that answers of a run that was
    // stopped are ignored.
    quint64 m_run = 0;
    QList<Notebook> m_notebookQueue;
    // The push batch being built, and what each note looked like when read.
    QJsonArray m_pushChanges;
    QHash<QString, SentNote> m_pushSent;
    QList<Attachment> m_downloadQueue;
    QList<Attachment> m_uploadQueue;
    int m_uploadTotal = 0;
    int m_uploadDone = 0;
    int m_downloadTotal = 0;
    int m_downloadDone = 0;
    bool m_downloaded = false;
    bool m_downloadFailed = false;
    qint64 m_attachmentCursor = 0;
    bool m_resync = false;
    bool m_autoSyncStarted = false;
    bool m_dataChanged = false;
    int m_pullSliceSize = DefaultPullSliceSize;
    // When the note list was last told about pulled notes.
    QElapsedTimer m_pulledShown;
    bool m_pulledUnshown = false;
    int m_pushSliceSize = DefaultPushSliceSize;
    QTimer *m_periodicTimer;
    QTimer *m_debounceTimer;
};
