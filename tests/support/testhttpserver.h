#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace LumoraTest {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest
{
    QByteArray method;
    QString path; // decoded, without the query
    QString query; // as sent, without the "?"
    HttpHeaders headers;
    QByteArray body;
    int connection = 0; // 1 for the first TCP connection accepted, 2 for the next...

    // Case-insensitive; empty when absent.
    QByteArray header(const QByteArray &name) const;
};

struct HttpResponse
{
    int status = 200;
    QByteArray body;
    HttpHeaders headers;
    int delayMs = 0; // answer this much later
    bool drop = false; // abort the connection instead of answering
    bool closeAfter = false; // send "Connection: close" and close after the answer

    static HttpResponse withBody(const QByteArray &body, int status, const QByteArray &contentType);
    static HttpResponse text(const QByteArray &body, int status = 200);
    static HttpResponse json(const QByteArray &body, int status = 200);
    static HttpResponse dropped();
    HttpResponse &delayed(int ms);
};

using HttpHandler = std::function<HttpResponse(const HttpRequest &)>;

// A small HTTP/1.1 server on 127.0.0.1 for tests: each test routes paths to
// handlers that decide status, headers, body, delay or a dropped connection,
// and reads back the requests that arrived. Keeps connections alive, reads
// Content-Length bodies, answers requests of one connection in order.
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    // Listens on a free port of 127.0.0.1.
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by path.
    QUrl url(const QString &path = QStringLiteral("/")) const;

    // Exact path match, query ignored; an empty method matches any. A later
    // route for the same method and path replaces the earlier one.
    void route(const QString &path, HttpHandler handler);
    void route(const QByteArray &method, const QString &path, HttpHandler handler);
    // Called when no route matches; answers 404 by default.
    void setFallback(HttpHandler handler);

    QList<HttpRequest> requests() const { return m_requests; }
    QList<HttpRequest> requests(const QString &path) const;
    // Spins the event loop until count requests arrived in all.
    bool waitForRequests(int count, int timeoutMs = 5000);

Q_SIGNALS:
    void requestReceived(const LumoraTest::HttpRequest &request);

private:
    struct Connection
    {
        int id = 0;
        QByteArray buffer;
        bool busy = false;
    };
    struct Route
    {
        QByteArray method;
        QString path;
        HttpHandler handler;
    };

    void onNewConnection();
    void processNext(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const HttpResponse &response);
    HttpResponse dispatch(const HttpRequest &request) const;

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
    QList<Route> m_routes;
    HttpHandler m_fallback;
    QList<HttpRequest> m_requests;
    int m_connectionCount = 0;
};

// Parses one request from the front of buffer. Returns the number of bytes it
// took, 0 when more bytes are needed, -1 when the bytes are not HTTP.
qsizetype parseHttpRequest(const QByteArray &buffer, HttpRequest &request);

} // namespace LumoraTest
