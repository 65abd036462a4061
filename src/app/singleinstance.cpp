#include "singleinstance.h"

#include "storage/datapaths.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int ConnectTimeoutMs = 500;
constexpr int WriteTimeoutMs = 1000;
} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

QString SingleInstance::serverNameFor(const QString &dataDirectory)
{
    const auto canonical = [](const QString &path) {
        const QFileInfo info(path);
        const QString resolved = info.canonicalFilePath();
        QString result = resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
#ifdef Q_OS_WIN
        result = result.toLower(); // one folder, however its name is cased
#endif
        return result;
    };
    const QString dir = canonical(dataDirectory);
    if (dir == canonical(defaultDataDirectory()))
        return QString::fromLatin1(DefaultServerName);
    const QByteArray hash = QCryptographicHash::hash(dir.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QString::fromLatin1(DefaultServerName) + QLatin1Char('-') + QString::fromLatin1(hash);
}

QString SingleInstance::messageForArguments(const QStringList &arguments)
{
    if (arguments.contains(QLatin1String("--new-note")))
        return QStringLiteral("new-note");
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--note"))
            return QStringLiteral("note:%1").arg(arguments.at(i + 1));
    }
    return QStringLiteral("focus");
}

bool SingleInstance::tryRun(const QString &message)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName, QIODevice::ReadWrite);
    if (socket.waitForConnected(ConnectTimeoutMs)) {
        if (!message.isEmpty()) {
            socket.write(message.toUtf8());
            socket.flush();
            socket.waitForBytesWritten(WriteTimeoutMs);
        }
        socket.disconnectFromServer();
        return false;
    }

    // Nobody answered: a socket file left by a crashed instance would make
    // listen() fail, so clear it first.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::handleNewConnection);
    if (!m_server->listen(m_serverName))
        qWarning().noquote() << "SingleInstance: failed to start server:" << m_server->errorString();
    return true;
}

void SingleInstance::handleNewConnection()
{
    QLocalSocket *socket = m_server->nextPendingConnection();
    if (!socket)
        return;
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        const QString message = QString::fromUtf8(socket->readAll());
        Q_EMIT messageReceived(message);
        socket->deleteLater();
    });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
        // Bytes that arrived together with the disconnect are still a message.
        if (socket->bytesAvailable() > 0)
            Q_EMIT messageReceived(QString::fromUtf8(socket->readAll()));
        Q_EMIT messageReceived(QString());
        socket->deleteLater();
    });
}
