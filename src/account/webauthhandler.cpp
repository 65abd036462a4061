#include "webauthhandler.h"

#include "logging.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace BrioAccount {

namespace {

// The header's value from the request head; empty when absent.
QString headerValue(const QString &requestText, const QString &name)
{
    const QStringList lines = requestText.split(QStringLiteral("\r\n"));
    for (qsizetype i = 1; i < lines.size() && !lines.at(i).isEmpty(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void refuse(QTcpSocket *socket)
{
    socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->flush();
    socket->disconnectFromHost();
}

} // namespace

WebAuthHandler::WebAuthHandler(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &WebAuthHandler::onNewConnection);
}

QByteArray WebAuthHandler::replyText()
{
    return QByteArrayLiteral(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
        "<html><body style='font-family: sans-serif; text-align: center; padding: 40px;'>"
        "<h2>Authentication complete!</h2><p>You can close this tab and return to the application.</p>"
        "</body></html>");
}

QString WebAuthHandler::start()
{
    if (!m_server->listen(QHostAddress::LocalHost, PreferredPort) && !m_server->listen(QHostAddress::LocalHost, 0))
        return {};
    return QStringLiteral("http://localhost:%1/callback").arg(m_server->serverPort());
}

quint16 WebAuthHandler::port() const
{
    return m_server->serverPort();
}

bool WebAuthHandler::isListening() const
{
    return m_server->isListening();
}

void WebAuthHandler::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_done) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); },
                Qt::SingleShotConnection);
    }
}

bool WebAuthHandler::accepts(const QString &requestText, const QUrl &url) const
{
    if (url.path() != QLatin1String("/callback"))
        return false;
    const QString origin = headerValue(requestText, QStringLiteral("Origin"));
    if (!origin.isEmpty() && origin != m_allowedOrigin)
        return false;
    if (!m_expectedState.isEmpty()) {
        // The server may not echo the state; when it does, it must be ours.
        const QUrlQuery query(url.query());
        const QUrlQuery fragment(url.fragment());
        for (const QUrlQuery &part : {query, fragment}) {
            if (part.hasQueryItem(QStringLiteral("state"))
                && part.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) != m_expectedState)
                return false;
        }
    }
    return true;
}

void WebAuthHandler::onReadyRead(QTcpSocket *socket)
{
    if (m_done) {
        socket->abort();
        return;
    }
    // The request line is expected whole in the first read.
    const QString text = QString::fromUtf8(socket->readAll());
    const qsizetype first = text.indexOf(QLatin1Char(' '));
    const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char(' '), first + 1);
    const QString target = second < 0 ? QString() : text.mid(first + 1, second - first - 1);
    const QUrl url(QStringLiteral("http://localhost:%1%2").arg(m_server->serverPort()).arg(target));
    if (target.isEmpty() || !accepts(text, url)) {
        qCInfo(lcAccount).noquote() << "WebAuthHandler: turned away a request for" << url.path();
        refuse(socket);
        return;
    }
    m_done = true;
    socket->write(replyText());
    socket->flush();
    socket->disconnectFromHost();
    if (m_server->isListening())
        m_server->close();
    Q_EMIT callbackReceived(url);
}

} // namespace BrioAccount
