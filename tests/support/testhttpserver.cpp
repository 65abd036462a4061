#include "testhttpserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <utility>

namespace LumoraTest {

namespace {

const QByteArray kCrlf("\r\n");

QByteArray reasonPhrase(int status)
{
    static const QHash<int, QByteArray> phrases {
        { 200, "OK" }, { 201, "Created" }, { 204, "No Content" }, { 301, "Moved Permanently" }, { 302, "Found" },
        { 307, "Temporary Redirect" }, { 400, "Bad Request" }, { 401, "Unauthorized" }, { 403, "Forbidden" },
        { 404, "Not Found" }, { 409, "Conflict" }, { 500, "Internal Server Error" }, { 503, "Service Unavailable" },
    };
    return phrases.value(status, QByteArrayLiteral("Status"));
}

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return {};
}

HttpResponse HttpResponse::withBody(const QByteArray &body, int status, const QByteArray &contentType)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    response.headers.append({ QByteArrayLiteral("Content-Type"), contentType });
    return response;
}

HttpResponse HttpResponse::text(const QByteArray &body, int status)
{
    return withBody(body, status, QByteArrayLiteral("text/plain; charset=utf-8"));
}

HttpResponse HttpResponse::json(const QByteArray &body, int status)
{
    return withBody(body, status, QByteArrayLiteral("application/json"));
}

HttpResponse HttpResponse::dropped()
{
    HttpResponse response;
    response.drop = true;
    return response;
}

HttpResponse &HttpResponse::delayed(int ms)
{
    delayMs = ms;
    return *this;
}

qsizetype parseHttpRequest(const QByteArray &buffer, HttpRequest &request)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return buffer.size() > 64 * 1024 ? -1 : 0;

    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return -1;
    request.method = requestLine.at(0);
    const QByteArray target = requestLine.at(1);
    const qsizetype question = target.indexOf('?');
    request.path = QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
    request.query = question < 0 ? QString() : QString::fromLatin1(target.mid(question + 1));

    request.headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return -1;
        request.headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
    }

    const qsizetype bodyStart = headerEnd + 4;
    request.body.clear();
    // Qt sends every body of these tests with its length; chunked ones are refused.
    if (!request.header("Transfer-Encoding").isEmpty())
        return -1;

    const QByteArray lengthText = request.header("Content-Length");
    qsizetype length = 0;
    if (!lengthText.isEmpty()) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0)
            return -1;
    }
    if (buffer.size() < bodyStart + length)
        return 0;
    request.body = buffer.mid(bodyStart, length);
    return bodyStart + length;
}

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_fallback([](const HttpRequest &) { return HttpResponse::text(QByteArrayLiteral("not found"), 404); })
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer()
{
    m_server->close();
}

bool TestHttpServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl TestHttpServer::url(const QString &path) const
{
    QUrl result;
    result.setScheme(QStringLiteral("http"));
    result.setHost(QStringLiteral("127.0.0.1"));
    result.setPort(port());
    result.setPath(path);
    return result;
}

void TestHttpServer::route(const QString &path, HttpHandler handler)
{
    route(QByteArray(), path, std::move(handler));
}

void TestHttpServer::route(const QByteArray &method, const QString &path, HttpHandler handler)
{
    m_routes.removeIf([&](const Route &r) { return r.method == method && r.path == path; });
    m_routes.append({ method, path, std::move(handler) });
}

void TestHttpServer::setFallback(HttpHandler handler)
{
    m_fallback = std::move(handler);
}

QList<HttpRequest> TestHttpServer::requests(const QString &path) const
{
    QList<HttpRequest> result;
    for (const HttpRequest &request : m_requests) {
        if (request.path == path)
            result.append(request);
    }
    return result;
}

bool TestHttpServer::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_requests.size() >= count; }, timeoutMs);
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection { ++m_connectionCount, {}, false });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            m_connections[socket].buffer += socket->readAll();
            processNext(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::processNext(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->busy)
        return;
    HttpRequest request;
    const qsizetype used = parseHttpRequest(it->buffer, request);
    if (used == 0)
        return;
    if (used < 0) {
        HttpResponse bad = HttpResponse::text(QByteArrayLiteral("bad request"), 400);
        bad.closeAfter = true;
        it->buffer.clear();
        it->busy = true;
        respond(socket, bad);
        return;
    }
    it->buffer.remove(0, used);
    it->busy = true;
    request.connection = it->id;
    m_requests.append(request);
    Q_EMIT requestReceived(request);

    HttpResponse response = dispatch(request);
    if (request.header("Connection").toLower() == "close")
        response.closeAfter = true;
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, socket, [this, socket, response] { respond(socket, response); });
    else
        respond(socket, response);
}

HttpResponse TestHttpServer::dispatch(const HttpRequest &request) const
{
    for (const Route &r : m_routes) {
        if (r.path == request.path && (r.method.isEmpty() || r.method == request.method))
            return r.handler(request);
    }
    return m_fallback(request);
}

void TestHttpServer::respond(QTcpSocket *socket, const HttpResponse &response)
{
    if (!m_connections.contains(socket))
        return; // the client went away while the answer was delayed
    if (response.drop) {
        m_connections.remove(socket);
        socket->abort();
        socket->deleteLater();
        return;
    }
    QByteArray data = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + kCrlf;
    bool hasLength = false;
    for (const auto &header : response.headers) {
        hasLength = hasLength || header.first.compare("Content-Length", Qt::CaseInsensitive) == 0;
        data += header.first + ": " + header.second + kCrlf;
    }
    if (!hasLength)
        data += "Content-Length: " + QByteArray::number(response.body.size()) + kCrlf;
    if (response.closeAfter)
        data += "Connection: close\r\n";
    data += kCrlf + response.body;
    socket->write(data);

    if (response.closeAfter) {
        m_connections.remove(socket);
        socket->disconnectFromHost();
        return;
    }
    m_connections[socket].busy = false;
    processNext(socket);
}

} // namespace LumoraTest
