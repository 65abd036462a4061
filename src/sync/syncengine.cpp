#include "syncengine.h"

#include "account/apiclient.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "syncwire.h"

#include <QDebug>
#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkRequest>
#include <QSqlError>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrlQuery>

#include <utility>
#include <QUuid>

#include <algorithm>

namespace {

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

QHttpPart formPart(const QByteArray &disposition, const QByteArray &body)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    part.setBody(body);
    return part;
}

// Runs `work` later from the event loop, unless the engine is gone by then.
template<typename Work>
void later(SyncEngine *engine, Work work)
{
    QTimer::singleShot(0, engine, std::move(work));
}

} // namespace

bool insertConflictCopy(NoteRepository *notes, const Note &note)
{
    Note copy = note;
    copy.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    copy.body = SyncWire::conflictCopyBody(note.body);
    copy.version = 1;
    copy.opVersion = 0;
    copy.syncStatus = SyncStatus::Pending;
    copy.isSample = false;
    copy.ownerId.clear();
    copy.permission.clear();
    copy.isShared = false;
    copy.modifiedAt = QDateTime::currentDateTimeUtc();
    return notes->insert(copy);
}

SyncEngine::SyncEngine(BrioAccount::ApiClient *api, Database *database, NoteRepository *notes,
                       NotebookRepository *notebooks, AttachmentRepository *attachments,
                       PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_attachments(attachments)
    , m_preferences(preferences)
    , m_periodicTimer(new QTimer(this))
    , m_debounceTimer(new QTimer(this))
{
    m_debounceTimer->setSingleShot(true);
    m_debounceTimer->setInterval(DebounceMs);
    connect(m_debounceTimer, &QTimer::timeout, this, &SyncEngine::sync);
    connect(m_periodicTimer, &QTimer::timeout, this, &SyncEngine::sync);
    // The settings dialog writes these as the user changes them.
    connect(m_preferences, &PreferencesRepository::changed, this, [this](const QString &name) {
        if (m_autoSyncStarted && (name == autoSyncKey() || name == syncIntervalKey()))
            applyAutoSyncPreferences();
    });
    connect(m_api, &BrioAccount::ApiClient::authenticationRequired, this, [this] {
        // The run cannot go on without a token; answers still on the way
        // belong to a stopped run.
        ++m_run;
        m_resync = false;
        fail(tr("Authentication required"));
    });
}

QString SyncEngine::notesCursorKey()
{
    return QStringLiteral("lastSyncTimestampMs");
}

QString SyncEngine::attachmentsCursorKey()
{
    return QStringLiteral("lastAttachmentSyncMs");
}

QString SyncEngine::autoSyncKey()
{
    return QStringLiteral("auto_sync");
}

QString SyncEngine::syncIntervalKey()
{
    return QStringLiteral("sync_interval_minutes");
}

QString SyncEngine::stateText(SyncState state)
{
    switch (state) {
    case Idle:
        return tr("Synced");
    case Syncing:
        return tr("Syncing...");
    case Error:
        return tr("Sync error");
    case Offline:
        return tr("Offline");
    }
    return tr("Unknown");
}

void SyncEngine::scheduleSync()
{
    if (m_autoSyncStarted && preferredIntervalMs() == 0)
        return;
    m_debounceTimer->start();
}

void SyncEngine::startAutoSync()
{
    m_autoSyncStarted = true;
    applyAutoSyncPreferences();
    if (m_periodicTimer->isActive())
        sync();
}

void SyncEngine::stopAutoSync()
{
    m_autoSyncStarted = false;
    m_periodicTimer->stop();
    m_debounceTimer->stop();
}

int SyncEngine::periodicIntervalMs() const
{
    return m_periodicTimer->isActive() ? m_periodicTimer->interval() : 0;
}

int SyncEngine::preferredIntervalMs() const
{
    if (!m_preferences->getBool(autoSyncKey(), true))
        return 0;
    // The settings dialog offers 1 to 120 minutes; anything else stored is
    // taken as the nearest of those.
    return qBound(1, m_preferences->getInt(syncIntervalKey(), 5), 120) * 60000;
}

void SyncEngine::applyAutoSyncPreferences()
{
    const int interval = preferredIntervalMs();
    if (interval == 0) {
        m_periodicTimer->stop();
        m_debounceTimer->stop();
    } else if (!m_periodicTimer->isActive() || m_periodicTimer->interval() != interval) {
        m_periodicTimer->start(interval);
    }
}

void SyncEngine::setState(SyncState state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void SyncEngine::fail(const QString &message)
{
    m_lastError = message;
    // Notes stored by the slices before the failure are there to be seen.
    if (std::exchange(m_pulledUnshown, false))
        Q_EMIT m_notes->notesChanged();
    setState(Error);
    Q_EMIT syncFailed(message);
}

void SyncEngine::sync()
{
    if (m_state == Syncing) {
        m_resync = true;
        return;
    }
    ++m_run;
    m_dataChanged = m_pulledUnshown = false;
    setState(Syncing);
    pushNotebooks();
}

// Push notebooks ---------------------------------------------------------

void SyncEngine::pushNotebooks()
{
    m_notebookQueue = m_notebooks->pending();
    std::stable_sort(m_notebookQueue.begin(), m_notebookQueue.end(), [](const Notebook &a, const Notebook &b) {
        return a.isDefault && !b.isDefault;
    });
    if (m_notebookQueue.isEmpty()) {
        pushNotes();
        return;
    }
    Q_EMIT syncProgress(tr("Uploading notebooks"), 0, int(m_notebookQueue.size()));
    pushNextNotebook();
}

void SyncEngine::pushNextNotebook()
{
    if (m_notebookQueue.isEmpty()) {
        pushNotes();
        return;
    }
    const Notebook notebook = m_notebookQueue.takeFirst();
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    const QString path = QStringLiteral("/notebooks/%1").arg(notebook.id);
    if (notebook.deletedAt) {
        m_api->deleteResource(path, [self, run, notebook](bool ok, int status, const QJsonObject &) {
            if (!self || !self->isCurrent(run))
                return;
            if (ok || status == 404)
                self->markNotebookSynced(notebook, notebook.version);
            else
                qWarning() << "notebook delete failed" << notebook.id << status;
            self->pushNextNotebook();
        });
        return;
    }
    const QJsonObject json{{key("name"), notebook.name}, {key("version"), notebook.version}};
    m_api->put(path, json, [self, run, notebook](bool ok, int status, const QJsonObject &body) {
        if (!self || !self->isCurrent(run))
            return;
        if (ok) {
            self->markNotebookSynced(notebook, SyncWire::wireVersion(body.value(key("version")), notebook.version));
        } else if (status == 404) {
            self->createNotebook(notebook);
            return;
        } else {
            qWarning() << "notebook put failed" << notebook.id << status;
        }
        self->pushNextNotebook();
    });
}

void SyncEngine::createNotebook(const Notebook &notebook)
{
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    const QJsonObject json{{key("id"), notebook.id}, {key("name"), notebook.name}};
    m_api->post(QStringLiteral("/notebooks"), json, [self, run, notebook](bool ok, int status, const QJsonObject &body) {
        if (!self || !self->isCurrent(run))
            return;
        if (ok)
            self->markNotebookSynced(notebook, SyncWire::wireVersion(body.value(key("version")), 1));
        else
            qWarning() << "notebook post failed" << notebook.id << status;
        self->pushNextNotebook();
    });
}

void SyncEngine::markNotebookSynced(const Notebook &sent, qint32 version)
{
    std::optional<Notebook> current = m_notebooks->byId(sent.id);
    if (!current)
        return;
    // Renamed or deleted again while the request was out: that change
    // still has to go up.
    if (current->name != sent.name || current->deletedAt.has_value() != sent.deletedAt.has_value()
        || current->version != sent.version)
        return;
    current->syncStatus = SyncStatus::Synced;
    current->version = version;
    if (!sent.deletedAt)
        m_dataChanged = true;
    m_notebooks->update(*current);
}

// Push notes -------------------------------------------------------------

void SyncEngine::pushNotes()
{
    m_pushChanges = QJsonArray();
    m_pushSent.clear();
    buildPushBatch(0);
}

void SyncEngine::buildPushBatch(qint64 afterRowId)
{
    qint64 lastRowId = afterRowId;
    const QList<Note> page = m_notes->pendingAfter(afterRowId, m_pushSliceSize, &lastRowId);
    if (afterRowId == 0) {
        if (page.isEmpty()) {
            pushAttachments();
            return;
        }
        Q_EMIT syncProgress(tr("Uploading notes"), 0, 0);
    }
    for (const Note &note : page) {
        m_pushChanges.append(SyncWire::noteChange(note));
        m_pushSent.insert(note.id, {note.version, note.body, note.notebookId, note.deletedAt.has_value()});
    }
    // Each step through the event loop: building, sending and storing are
    // each long enough to be felt when run back to back.
    const quint64 run = m_run;
    const bool more = page.size() == m_pushSliceSize;
    later(this, [this, run, lastRowId, more] {
        if (!isCurrent(run))
            return;
        if (more)
            buildPushBatch(lastRowId);
        else
            sendPushBatch();
    });
}

void SyncEngine::sendPushBatch()
{
    QJsonObject batch{{key("changes"), m_pushChanges}};
    m_pushChanges = QJsonArray();
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->post(QStringLiteral("/sync/push"), batch, [self, run](bool ok, int status, const QJsonObject &body) {
        if (!self || !self->isCurrent(run))
            return;
        if (!ok) {
            self->fail(tr("Note push failed (HTTP %1)").arg(status));
            return;
        }
        if (!body.value(key("results")).isArray()) {
            self->fail(tr("Note push failed (unreadable answer)"));
            return;
        }
        // Reading the answer took a while already.
        later(self, [self, run, results = body.value(key("results")).toArray()] {
            if (self && self->isCurrent(run))
                self->storePushResults(results, 0);
        });
    });
}

void SyncEngine::storePushResults(const QJsonArray &results, qsizetype from)
{
    const qsizetype end = qMin(results.size(), from + m_pushSliceSize);
    {
        // One commit per slice rather than one per note. Killed between two
        // slices, the notes not yet marked stay pending and are pushed again;
        // the server takes a repeated push of the same version.
        QSqlDatabase db = m_database->db();
        const bool inTransaction = db.transaction();
        for (qsizetype i = from; i < end; ++i) {
            const QJsonObject result = results.at(i).toObject();
            const QString id = result.value(key("entity_id")).toString();
            const QString status = result.value(key("status")).toString();
            // Only what this batch sent can be confirmed by its answer.
            const auto it = m_pushSent.constFind(id);
            if (it == m_pushSent.constEnd())
                continue;
            if (status == QLatin1String("ok")) {
                const std::optional<Note> current = m_notes->byId(id);
                if (!current)
                    continue;
                const SentNote &was = it.value();
                if (current->version != was.version || current->body != was.body
                    || current->notebookId != was.notebookId || current->isTrashed() != was.trashed)
                    continue; // edited since it was sent: stays pending
                m_notes->markSynced(id, SyncWire::wireVersion(result.value(key("version")), 0));
                m_dataChanged = true;
            } else if (status == QLatin1String("conflict")) {
                qWarning() << "note conflict" << id << result.value(key("message")).toString();
            }
        }
        if (inTransaction && !db.commit()) {
            qWarning() << "SyncEngine: push results commit failed:" << db.lastError().text();
            db.rollback();
        }
    }
    if (end < results.size()) {
        Q_EMIT syncProgress(tr("Uploading notes"), int(end), int(results.size()));
        const quint64 run = m_run;
        later(this, [this, run, results, end] {
            if (isCurrent(run))
                storePushResults(results, end);
        });
        return;
    }
    m_pushSent.clear();
    pushAttachments();
}

// Push attachments -------------------------------------------------------

void SyncEngine::pushAttachments()
{
    m_uploadQueue = m_attachments->pending();
    m_uploadTotal = int(m_uploadQueue.size());
    m_uploadDone = 0;
    if (m_uploadTotal > 0)
        Q_EMIT syncProgress(tr("Uploading attachments"), 0, m_uploadTotal);
    pushNextAttachment();
}

void SyncEngine::pushNextAttachment()
{
    if (m_uploadQueue.isEmpty()) {
        pullNotes();
        return;
    }
    const Attachment attachment = m_uploadQueue.takeFirst();
    const QString path = m_attachments->filePath(attachment.id);
    auto *file = new QFile(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        delete file;
        qWarning() << "attachment upload skipped, file missing:" << path;
        m_attachments->markSynced(attachment.id);
        ++m_uploadDone;
        Q_EMIT syncProgress(tr("Uploading attachments"), m_uploadDone, m_uploadTotal);
        // Through the event loop: a long run of missing files must not nest.
        const quint64 run = m_run;
        later(this, [this, run] {
            if (isCurrent(run))
                pushNextAttachment();
        });
        return;
    }

    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multiPart->append(formPart("form-data; name=\"note_id\"", attachment.noteId.toUtf8()));
    multiPart->append(formPart("form-data; name=\"id\"", attachment.id.toUtf8()));
    QHttpPart filePart;
    QString filename = attachment.filename;
    filename.replace(QLatin1Char('"'), QLatin1Char('\''));
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QByteArray(QByteArray("form-data; name=\"file\"; filename=\"") + filename.toUtf8() + '"'));
    filePart.setHeader(QNetworkRequest::ContentTypeHeader,
                       attachment.mimeType.isEmpty() ? QStringLiteral("application/octet-stream") : attachment.mimeType);
    // Streamed from disk rather than read into memory.
    filePart.setBodyDevice(file);
    file->setParent(multiPart);
    multiPart->append(filePart);

    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->postMultipart(QStringLiteral("/attachments"), multiPart,
                         [self, run, attachment](bool ok, int status, const QJsonObject &) {
                             if (!self || !self->isCurrent(run))
                                 return;
                             ++self->m_uploadDone;
                             Q_EMIT self->syncProgress(tr("Uploading attachments"), self->m_uploadDone,
                                                       self->m_uploadTotal);
                             if (ok) {
                                 self->m_attachments->markSynced(attachment.id);
                                 self->m_dataChanged = true;
                             } else if (status >= 400 && status <= 499) {
                                 qWarning() << "attachment upload failed, marking synced to stop retry"
                                            << attachment.id << status;
                                 self->m_attachments->markSynced(attachment.id);
                             } else {
                                 qWarning() << "attachment upload failed" << attachment.id << status;
                             }
                             self->pushNextAttachment();
                         });
}

// Pull notes -------------------------------------------------------------

void SyncEngine::pullNotes()
{
    Q_EMIT syncProgress(tr("Downloading notes"), 0, 0);
    QUrlQuery query;
    const QString since = m_preferences->getString(notesCursorKey());
    if (!since.isEmpty())
        query.addQueryItem(QStringLiteral("since"), since);
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->get(
        QStringLiteral("/sync/pull"),
        [self, run](bool ok, int status, const QJsonObject &body) {
            if (!self || !self->isCurrent(run))
                return;
            if (!ok) {
                self->fail(tr("Pull failed (HTTP %1)").arg(status));
                return;
            }
            if (!body.value(key("changes")).isArray()) {
                self->fail(tr("Pull failed (unreadable answer)"));
                return;
            }
            // Reading the answer took a while already.
            later(self, [self, run, changes = body.value(key("changes")).toArray(),
                         cursor = SyncWire::wireCount(body.value(key("timestamp")))] {
                if (self && self->isCurrent(run))
                    self->applyPulledNotes(changes, 0, cursor, 0);
            });
        },
        query);
}

void SyncEngine::applyPulledNotes(const QJsonArray &changes, qsizetype from, qint64 cursor, int applied)
{
    const qsizetype end = qMin(changes.size(), from + m_pullSliceSize);
    int changed = 0;
    {
        QSqlDatabase db = m_database->db();
        const bool inTransaction = db.transaction();
        const QSignalBlocker blocker(m_notes);
        for (qsizetype i = from; i < end; ++i) {
            const QJsonObject json = changes.at(i).toObject();
            const QString id = json.value(key("id")).toString();
            const std::optional<Note> local = SyncWire::isUsableId(id) ? m_notes->byId(id) : std::nullopt;
            const std::optional<Note> incoming = SyncWire::noteFromWire(json, local);
            if (!incoming) {
                qWarning() << "SyncEngine: pulled note skipped, unreadable record" << i;
                continue;
            }
            if (applyPulledNote(*incoming, local))
                ++changed;
        }
        if (inTransaction && !db.commit()) {
            qWarning() << "SyncEngine: pull commit failed:" << db.lastError().text();
            db.rollback();
            fail(tr("Pull failed (database error)"));
            return;
        }
    }
    applied += changed;
    if (changed > 0)
        m_dataChanged = m_pulledUnshown = true;
    // Every list of notes reloads on this signal: twice a second at most
    // while slices come in, and once after the last.
    if (m_pulledUnshown
        && (end == changes.size() || !m_pulledShown.isValid() || m_pulledShown.elapsed() >= 500)) {
        m_pulledUnshown = false;
        m_pulledShown.start();
        Q_EMIT m_notes->notesChanged();
    }
    if (end < changes.size()) {
        Q_EMIT syncProgress(tr("Downloading notes"), int(end), int(changes.size()));
        const quint64 run = m_run;
        later(this, [this, run, changes, end, cursor, applied] {
            if (isCurrent(run))
                applyPulledNotes(changes, end, cursor, applied);
        });
        return;
    }
    // Only after every record was stored: a run stopped half-way pulls the
    // same changes again.
    if (cursor > 0)
        m_preferences->setString(notesCursorKey(), QString::number(cursor));
    pullNotebooks();
}

bool SyncEngine::applyPulledNote(const Note &incoming, const std::optional<Note> &local)
{
    if (!local)
        return m_notes->insert(incoming);
    if (incoming.version < local->version)
        return false;
    const bool sameContent = local->body == incoming.body && local->notebookId == incoming.notebookId
        && local->isTrashed() == incoming.isTrashed() && local->version == incoming.version
        && local->isShared == incoming.isShared && local->ownerId == incoming.ownerId
        && local->permission == incoming.permission && local->syncStatus != SyncStatus::Pending;
    if (sameContent)
        return false;
    Note stored = incoming;
    if (local->syncStatus == SyncStatus::Pending && local->body != incoming.body) {
        // Both sides changed the text: the server's goes into the note, the
        // text written here into a new note next to it, which is pushed on
        // the next run. Neither is lost.
        if (!insertConflictCopy(m_notes, *local))
            return false; // keep the local text where it is
        stored.syncStatus = SyncStatus::Conflict;
    } else if (local->syncStatus == SyncStatus::Pending && local->version == incoming.version
               && (local->notebookId != incoming.notebookId || local->isTrashed() != incoming.isTrashed())) {
        // Same text, but a move or trash made here has not gone up yet.
        return false;
    }
    stored.isSample = local->isSample && stored.body == local->body;
    return m_notes->update(stored);
}

// Pull notebooks ---------------------------------------------------------

void SyncEngine::pullNotebooks()
{
    Q_EMIT syncProgress(tr("Downloading notebooks"), 0, 0);
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->get(QStringLiteral("/notebooks"), [self, run](bool ok, int status, const QJsonObject &body) {
        if (!self || !self->isCurrent(run))
            return;
        if (!ok) {
            self->fail(tr("Notebook list failed (HTTP %1)").arg(status));
            return;
        }
        if (!body.value(key("notebooks")).isArray()) {
            self->fail(tr("Notebook list failed (unreadable answer)"));
            return;
        }
        const QJsonArray list = body.value(key("notebooks")).toArray();
        if (list.isEmpty()) {
            self->pullAttachments();
            return;
        }
        int changed = 0;
        {
            QSqlDatabase db = self->m_database->db();
            const bool inTransaction = db.transaction();
            const QSignalBlocker blocker(self->m_notebooks);
            for (const QJsonValue &value : list) {
                const std::optional<Notebook> incoming = SyncWire::notebookFromWire(value.toObject());
                if (!incoming)
                    continue;
                const std::optional<Notebook> local = self->m_notebooks->byId(incoming->id);
                if (!local) {
                    changed += self->m_notebooks->insert(*incoming) ? 1 : 0;
                } else if (incoming->version >= local->version && local->syncStatus == SyncStatus::Synced
                           && (local->name != incoming->name || local->version != incoming->version
                               || local->isShared != incoming->isShared || local->deletedAt)) {
                    Notebook stored = *incoming;
                    stored.ownerId = local->ownerId;
                    changed += self->m_notebooks->update(stored) ? 1 : 0;
                }
            }
            if (inTransaction && !db.commit()) {
                qWarning() << "SyncEngine: notebook commit failed:" << db.lastError().text();
                db.rollback();
                changed = 0;
            }
        }
        if (changed > 0) {
            self->m_dataChanged = true;
            Q_EMIT self->m_notebooks->notebooksChanged();
        }
        self->pullAttachments();
    });
}

// Pull attachments -------------------------------------------------------

void SyncEngine::pullAttachments()
{
    Q_EMIT syncProgress(tr("Checking attachments"), 0, 0);
    QUrlQuery query;
    const QString since = m_preferences->getString(attachmentsCursorKey());
    if (!since.isEmpty())
        query.addQueryItem(QStringLiteral("since"), since);
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->get(
        QStringLiteral("/attachments"),
        [self, run](bool ok, int status, const QJsonObject &body) {
            if (!self || !self->isCurrent(run))
                return;
            if (!ok || !body.value(key("attachments")).isArray()) {
                qWarning() << "attachment list failed" << status;
                self->finish();
                return;
            }
            self->m_downloadQueue.clear();
            const QJsonArray list = body.value(key("attachments")).toArray();
            for (const QJsonValue &value : list) {
                const std::optional<Attachment> record = SyncWire::attachmentFromWire(value.toObject());
                if (!record)
                    continue;
                const QString path = self->m_attachments->filePath(record->id);
                if (path.isEmpty())
                    continue;
                if (self->m_attachments->byId(record->id) && QFile::exists(path))
                    continue;
                self->m_downloadQueue.append(*record);
            }
            // Stored once every file arrived: a failed download must be listed
            // again next time.
            self->m_attachmentCursor = SyncWire::wireCount(body.value(key("timestamp")));
            self->m_downloadFailed = false;
            self->m_downloadTotal = int(self->m_downloadQueue.size());
            self->m_downloadDone = 0;
            self->m_downloaded = false;
            if (self->m_downloadTotal > 0)
                Q_EMIT self->syncProgress(tr("Downloading attachments"), 0, self->m_downloadTotal);
            self->downloadNextAttachment();
        },
        query);
}

void SyncEngine::downloadNextAttachment()
{
    if (m_downloadQueue.isEmpty()) {
        if (m_attachmentCursor > 0 && !m_downloadFailed)
            m_preferences->setString(attachmentsCursorKey(), QString::number(m_attachmentCursor));
        if (m_downloaded) {
            Q_EMIT attachmentsChanged();
            m_dataChanged = true;
        }
        finish();
        return;
    }
    const Attachment record = m_downloadQueue.takeFirst();
    const quint64 run = m_run;
    const QPointer<SyncEngine> self(this);
    m_api->getBinary(QStringLiteral("/attachments/%1").arg(record.id),
                     [self, run, record](bool ok, int status, const QByteArray &bytes) {
                         if (!self || !self->isCurrent(run))
                             return;
                         ++self->m_downloadDone;
                         Q_EMIT self->syncProgress(tr("Downloading attachments"), self->m_downloadDone,
                                                   self->m_downloadTotal);
                         if (!ok || bytes.isEmpty()) {
                             qWarning() << "attachment download failed" << record.id << status;
                             self->m_downloadFailed = true;
                         } else if (!self->m_attachments->saveFile(record.id, bytes)) {
                             qWarning() << "attachment save failed" << record.id;
                             self->m_downloadFailed = true;
                         } else {
                             if (!self->m_attachments->byId(record.id)) {
                                 const QSignalBlocker blocker(self->m_attachments);
                                 self->m_attachments->insert(record);
                             }
                             self->m_downloaded = true;
                         }
                         self->downloadNextAttachment();
                     });
}

void SyncEngine::finish()
{
    setState(Idle);
    Q_EMIT syncCompleted();
    if (m_dataChanged)
        Q_EMIT dataChanged();
    if (m_resync) {
        m_resync = false;
        sync();
    }
}
