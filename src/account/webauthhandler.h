#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace BrioAccount {

// The one-shot HTTP server on the loopback interface that receives the
// browser's redirect after sign-in. Listens on 127.0.0.1 only, answers the
// first callback request, reports its URL and stops listening.
class WebAuthHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 PreferredPort = 19876;

    explicit WebAuthHandler(QObject *parent = nullptr);

    // Listens on the preferred port, else on any free one; returns
    // "http://localhost:<port>/callback", or empty when neither works.
    QString start();
    quint16 port() const;
    bool isListening() const;

    // Requests that cannot be the sign-in redirect are turned away and the
    // server keeps waiting: a path other than "/callback", a "state" that is
    // not this one, or an Origin header from a page other than allowedOrigin.
    void setExpectedState(const QString &state) { m_expectedState = state; }
    void setAllowedOrigin(const QString &origin) { m_allowedOrigin = origin; }

    static QByteArray replyText();

Q_SIGNALS:
    void callbackReceived(const QUrl &url);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    bool accepts(const QString &requestText, const QUrl &url) const;

    QTcpServer *m_server = nullptr;
    QString m_expectedState;
    QString m_allowedOrigin;
    bool m_done = false;
};

} // namespace BrioAccount
