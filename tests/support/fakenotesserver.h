#pragma once

#include "testhttpserver.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

namespace LumoraTest {

// An in-memory notes server speaking the sync protocol over TestHttpServer:
// notes with versions and "since" cursors, notebooks and attachment files.
// Its own rules for versions: a note change is accepted when its version is
// above the stored one, or equal with the same body (a move, trash or a
// repeated push); anything else is a "conflict". Any request can be made to
// fail, wait, drop its connection or answer garbage.
class FakeNotesServer : public QObject
{
    Q_OBJECT
public:
    struct StoredNote
    {
        QString id;
        QJsonObject data; // body, notebook_id, created_at... as last pushed
        int version = 0;
        qint64 changedAt = 0;
    };
    struct StoredNotebook
    {
        QString id;
        QString name;
        int version = 1;
        bool deleted = false;
        bool isDefault = false;
        qint64 createdAt = 0;
        qint64 updatedAt = 0;
    };
    struct StoredAttachment
    {
        QString id;
        QString noteId;
        QString filename;
        QString mimeType;
        QByteArray bytes;
        qint64 changedAt = 0;
    };

    enum class FaultMode {
        Instead, // answer with the fault's response, change nothing
        After, // do the work, then answer with the fault's response (a lost answer); a
               // response of status 0 keeps the real answer and adds its delay or drop
    };

    explicit FakeNotesServer(QObject *parent = nullptr);

    bool listen();
    // The notes API base URL ("/notes/v1" on the local server).
    QUrl baseUrl() const;
    TestHttpServer *http() const { return m_http; }

    // method and path as the client names them, below the base URL; a path
    // ending in "*" matches every path that starts with the rest. The fault
    // applies to the first `times` matching requests (-1: all).
    void addFault(const QByteArray &method, const QString &path, const HttpResponse &response,
                  FaultMode mode = FaultMode::Instead, int times = -1);
    void clearFaults() { m_faults.clear(); }
    // For FaultMode::After: the server's own answer, sent delayMs later.
    static HttpResponse held(int delayMs);

    // Requests below the base URL, oldest first, as "METHOD /path".
    QStringList requestLog() const { return m_log; }
    int requestCount(const QString &entry) const { return int(m_log.count(entry)); }

    // Server-side changes, as another device would make them.
    void putNote(const QString &id, const QString &body, int version, const QString &notebookId = QString(),
                 bool deleted = false);
    void putNotebook(const QString &id, const QString &name, int version);
    void putAttachment(const QString &id, const QString &noteId, const QByteArray &bytes);

    QHash<QString, StoredNote> notes() const { return m_notes; }
    QHash<QString, StoredNotebook> notebooks() const { return m_notebooks; }
    QHash<QString, StoredAttachment> attachments() const { return m_attachments; }
    qint64 clock() const { return m_clock; }

private:
    struct Fault
    {
        QByteArray method;
        QString path;
        HttpResponse response;
        FaultMode mode;
        int times;
        int seen = 0;
    };

    HttpResponse handle(const HttpRequest &request);
    HttpResponse serve(const QByteArray &method, const QString &path, const HttpRequest &request);
    HttpResponse push(const QJsonObject &body);
    HttpResponse pull(const QString &query) const;
    HttpResponse notebookList() const;
    HttpResponse putNotebookRequest(const QString &id, const QJsonObject &body);
    HttpResponse postNotebook(const QJsonObject &body);
    HttpResponse deleteNotebook(const QString &id);
    HttpResponse uploadAttachment(const HttpRequest &request);
    HttpResponse attachmentList(const QString &query) const;
    QJsonObject noteJson(const StoredNote &note) const;
    qint64 tick() { return ++m_clock; }

    TestHttpServer *m_http;
    QHash<QString, StoredNote> m_notes;
    QHash<QString, StoredNotebook> m_notebooks;
    QHash<QString, StoredAttachment> m_attachments;
    QList<Fault> m_faults;
    QStringList m_log;
    // Logical time in milliseconds: every change gets a later value than
    // the one before, so "since" cursors never miss or repeat a change.
    qint64 m_clock = 1700000000000;
};

} // namespace LumoraTest
