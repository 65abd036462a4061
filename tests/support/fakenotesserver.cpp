#include "fakenotesserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace LumoraTest {

namespace {

const QString BasePath = QStringLiteral("/notes/v1");

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

HttpResponse jsonAnswer(const QJsonObject &object, int status = 200)
{
    return HttpResponse::json(QJsonDocument(object).toJson(QJsonDocument::Compact), status);
}

qint64 sinceOf(const QString &query)
{
    return QUrlQuery(query).queryItemValue(QStringLiteral("since")).toLongLong();
}

// name="x" out of a Content-Disposition line.
QByteArray dispositionValue(const QByteArray &headers, const QByteArray &name)
{
    const QByteArray marker = name + "=\"";
    const qsizetype start = headers.indexOf(marker);
    if (start < 0)
        return {};
    const qsizetype end = headers.indexOf('"', start + marker.size());
    return headers.mid(start + marker.size(), end - start - marker.size());
}

struct FormPart
{
    QByteArray headers;
    QByteArray body;
};

QHash<QByteArray, FormPart> parseMultipart(const HttpRequest &request)
{
    QHash<QByteArray, FormPart> parts;
    const QByteArray type = request.header("Content-Type");
    const qsizetype b = type.indexOf("boundary=");
    if (b < 0)
        return parts;
    QByteArray boundary = type.mid(b + 9);
    if (boundary.startsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray delimiter = QByteArray("--" + boundary);
    qsizetype pos = request.body.indexOf(delimiter);
    while (pos >= 0) {
        const qsizetype start = pos + delimiter.size() + 2; // the CRLF after it
        const qsizetype next = request.body.indexOf(QByteArray("\r\n" + delimiter), start);
        if (next < 0)
            break;
        const QByteArray part = request.body.mid(start, next - start);
        const qsizetype split = part.indexOf("\r\n\r\n");
        if (split >= 0) {
            FormPart form{part.left(split), part.mid(split + 4)};
            parts.insert(dispositionValue(form.headers, "name"), form);
        }
        pos = next + 2;
    }
    return parts;
}

} // namespace

FakeNotesServer::FakeNotesServer(QObject *parent)
    : QObject(parent)
    , m_http(new TestHttpServer(this))
{
    m_http->setFallback([this](const HttpRequest &request) { return handle(request); });
}

bool FakeNotesServer::listen()
{
    return m_http->listen();
}

QUrl FakeNotesServer::baseUrl() const
{
    return m_http->url(BasePath);
}

void FakeNotesServer::addFault(const QByteArray &method, const QString &path, const HttpResponse &response,
                               FaultMode mode, int times)
{
    m_faults.append({method, path, response, mode, times});
}

HttpResponse FakeNotesServer::held(int delayMs)
{
    HttpResponse response;
    response.status = 0;
    response.delayMs = delayMs;
    return response;
}

HttpResponse FakeNotesServer::handle(const HttpRequest &request)
{
    if (!request.path.startsWith(BasePath + QLatin1Char('/')))
        return HttpResponse::text("not here", 404);
    const QString path = request.path.mid(BasePath.size());
    m_log.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + path);

    Fault *fault = nullptr;
    for (Fault &candidate : m_faults) {
        const bool pathMatches = candidate.path.endsWith(QLatin1Char('*'))
            ? path.startsWith(candidate.path.chopped(1))
            : path == candidate.path;
        if (candidate.method != request.method || !pathMatches)
            continue;
        ++candidate.seen;
        if (candidate.times >= 0 && candidate.seen > candidate.times)
            continue;
        fault = &candidate;
        break;
    }
    if (fault && fault->mode == FaultMode::Instead)
        return fault->response;
    if (request.header("Authorization").isEmpty())
        return HttpResponse::json(R"({"error":"unauthorized"})", 401);
    HttpResponse response = serve(request.method, path, request);
    if (!fault)
        return response;
    if (fault->response.status == 0) {
        // Only the timing or the connection is faulty, not the answer.
        response.delayMs = fault->response.delayMs;
        response.drop = fault->response.drop;
        return response;
    }
    return fault->response;
}

HttpResponse FakeNotesServer::serve(const QByteArray &method, const QString &path, const HttpRequest &request)
{
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    if (method == "POST" && path == QLatin1String("/sync/push"))
        return push(body);
    if (method == "GET" && path == QLatin1String("/sync/pull"))
        return pull(request.query);
    if (method == "GET" && path == QLatin1String("/notebooks"))
        return notebookList();
    if (method == "POST" && path == QLatin1String("/notebooks"))
        return postNotebook(body);
    if (path.startsWith(QLatin1String("/notebooks/"))) {
        const QString id = path.mid(11);
        if (method == "PUT")
            return putNotebookRequest(id, body);
        if (method == "DELETE")
            return deleteNotebook(id);
    }
    if (method == "POST" && path == QLatin1String("/attachments"))
        return uploadAttachment(request);
    if (method == "GET" && path == QLatin1String("/attachments"))
        return attachmentList(request.query);
    if (method == "GET" && path.startsWith(QLatin1String("/attachments/"))) {
        const auto it = m_attachments.constFind(path.mid(13));
        if (it == m_attachments.constEnd())
            return HttpResponse::text("no such attachment", 404);
        return HttpResponse::withBody(it->bytes, 200, "application/octet-stream");
    }
    return HttpResponse::text("no such endpoint", 404);
}

HttpResponse FakeNotesServer::push(const QJsonObject &body)
{
    if (!body.value(key("changes")).isArray())
        return jsonAnswer({{key("error"), key("changes missing")}}, 400);
    QJsonArray results;
    const QJsonArray changes = body.value(key("changes")).toArray();
    for (const QJsonValue &value : changes) {
        const QJsonObject change = value.toObject();
        const QString id = change.value(key("entity_id")).toString();
        const QJsonObject data = change.value(key("data")).toObject();
        const int version = change.value(key("version")).toInt(-1);
        if (id.isEmpty() || change.value(key("entity_type")).toString() != QLatin1String("note") || version < 0
            || !data.value(key("body")).isString()) {
            results.append(QJsonObject{{key("entity_id"), id}, {key("status"), key("error")}});
            continue;
        }
        const bool isDelete = change.value(key("action")).toString() == QLatin1String("delete");
        if (isDelete && !data.contains(key("deleted_at"))) {
            results.append(QJsonObject{{key("entity_id"), id}, {key("status"), key("error")}});
            continue;
        }
        auto it = m_notes.find(id);
        if (it != m_notes.end()) {
            const bool sameBody = it->data.value(key("body")) == data.value(key("body"));
            if (version < it->version || (version == it->version && !sameBody)) {
                results.append(QJsonObject{{key("entity_id"), id},
                                           {key("status"), key("conflict")},
                                           {key("version"), it->version},
                                           {key("message"), key("server has a newer version")}});
                continue;
            }
        }
        StoredNote stored{id, data, version, tick()};
        if (!isDelete)
            stored.data.remove(key("deleted_at"));
        m_notes.insert(id, stored);
        results.append(QJsonObject{{key("entity_id"), id}, {key("status"), key("ok")}, {key("version"), version}});
    }
    return jsonAnswer({{key("results"), results}});
}

QJsonObject FakeNotesServer::noteJson(const StoredNote &note) const
{
    QJsonObject json = note.data;
    json.insert(key("id"), note.id);
    json.insert(key("version"), note.version);
    if (!json.contains(key("deleted_at")))
        json.insert(key("deleted_at"), QJsonValue::Null);
    json.insert(key("owner_id"), key("user-1"));
    json.insert(key("is_shared"), false);
    json.insert(key("permission"), key("owner"));
    return json;
}

HttpResponse FakeNotesServer::pull(const QString &query) const
{
    const qint64 since = sinceOf(query);
    QList<StoredNote> changed;
    for (const StoredNote &note : m_notes) {
        if (note.changedAt > since)
            changed.append(note);
    }
    std::sort(changed.begin(), changed.end(),
              [](const StoredNote &a, const StoredNote &b) { return a.changedAt < b.changedAt; });
    QJsonArray changes;
    for (const StoredNote &note : changed)
        changes.append(noteJson(note));
    return jsonAnswer({{key("changes"), changes}, {key("timestamp"), m_clock}});
}

HttpResponse FakeNotesServer::notebookList() const
{
    QJsonArray list;
    for (const StoredNotebook &notebook : m_notebooks) {
        if (notebook.deleted)
            continue;
        list.append(QJsonObject{{key("id"), notebook.id},
                                {key("name"), notebook.name},
                                {key("is_default"), notebook.isDefault},
                                {key("is_shared"), false},
                                {key("version"), notebook.version},
                                {key("created_at"), notebook.createdAt},
                                {key("updated_at"), notebook.updatedAt}});
    }
    return jsonAnswer({{key("notebooks"), list}});
}

HttpResponse FakeNotesServer::putNotebookRequest(const QString &id, const QJsonObject &body)
{
    auto it = m_notebooks.find(id);
    if (it == m_notebooks.end() || it->deleted)
        return HttpResponse::text("no such notebook", 404);
    const int version = body.value(key("version")).toInt(-1);
    if (version < it->version || !body.value(key("name")).isString())
        return jsonAnswer({{key("error"), key("stale version")}}, 409);
    it->name = body.value(key("name")).toString();
    it->version = version;
    it->updatedAt = tick();
    return jsonAnswer({{key("id"), id}, {key("version"), it->version}});
}

HttpResponse FakeNotesServer::postNotebook(const QJsonObject &body)
{
    const QString id = body.value(key("id")).toString();
    if (id.isEmpty() || !body.value(key("name")).isString())
        return jsonAnswer({{key("error"), key("id and name required")}}, 400);
    if (m_notebooks.contains(id) && !m_notebooks.value(id).deleted)
        return jsonAnswer({{key("error"), key("exists")}}, 409);
    const qint64 now = tick();
    m_notebooks.insert(id, {id, body.value(key("name")).toString(), 1, false, false, now, now});
    return jsonAnswer({{key("id"), id}, {key("version"), 1}}, 201);
}

HttpResponse FakeNotesServer::deleteNotebook(const QString &id)
{
    auto it = m_notebooks.find(id);
    if (it == m_notebooks.end() || it->deleted)
        return HttpResponse::text("no such notebook", 404);
    it->deleted = true;
    it->updatedAt = tick();
    return HttpResponse::text("", 204);
}

HttpResponse FakeNotesServer::uploadAttachment(const HttpRequest &request)
{
    const QHash<QByteArray, FormPart> parts = parseMultipart(request);
    if (!parts.contains("note_id") || !parts.contains("id") || !parts.contains("file"))
        return jsonAnswer({{key("error"), key("note_id, id and file required")}}, 400);
    const FormPart &file = parts.value("file");
    QByteArray mimeType;
    for (const QByteArray &line : file.headers.split('\n')) {
        if (line.trimmed().toLower().startsWith("content-type:"))
            mimeType = line.mid(line.indexOf(':') + 1).trimmed();
    }
    StoredAttachment attachment{QString::fromUtf8(parts.value("id").body),
                                QString::fromUtf8(parts.value("note_id").body),
                                QString::fromUtf8(dispositionValue(file.headers, "filename")),
                                QString::fromUtf8(mimeType),
                                file.body,
                                tick()};
    m_attachments.insert(attachment.id, attachment);
    return jsonAnswer({{key("id"), attachment.id}}, 201);
}

HttpResponse FakeNotesServer::attachmentList(const QString &query) const
{
    const qint64 since = sinceOf(query);
    QJsonArray list;
    for (const StoredAttachment &attachment : m_attachments) {
        if (attachment.changedAt <= since)
            continue;
        list.append(QJsonObject{{key("id"), attachment.id},
                                {key("note_id"), attachment.noteId},
                                {key("filename"), attachment.filename},
                                {key("mime_type"), attachment.mimeType},
                                {key("size_bytes"), attachment.bytes.size()},
                                {key("created_at"), attachment.changedAt}});
    }
    return jsonAnswer({{key("attachments"), list}, {key("timestamp"), m_clock}});
}

void FakeNotesServer::putNote(const QString &id, const QString &body, int version, const QString &notebookId,
                              bool deleted)
{
    const qint64 now = tick();
    QJsonObject data{{key("body"), body}, {key("created_at"), now}, {key("updated_at"), now}, {key("modified_at"), now}};
    if (!notebookId.isEmpty())
        data.insert(key("notebook_id"), notebookId);
    if (deleted)
        data.insert(key("deleted_at"), now);
    m_notes.insert(id, {id, data, version, now});
}

void FakeNotesServer::putNotebook(const QString &id, const QString &name, int version)
{
    const qint64 now = tick();
    m_notebooks.insert(id, {id, name, version, false, false, now, now});
}

void FakeNotesServer::putAttachment(const QString &id, const QString &noteId, const QByteArray &bytes)
{
    m_attachments.insert(id, {id, noteId, QStringLiteral("file.bin"), QStringLiteral("application/octet-stream"), bytes, tick()});
}

} // namespace LumoraTest
