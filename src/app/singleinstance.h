#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// One running instance per data directory, guarded by a named local socket.
// A second launch hands its message to the first one and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *DefaultServerName = "lumora-notes-instance";

    explicit SingleInstance(const QString &serverName = QString::fromLatin1(DefaultServerName),
                            QObject *parent = nullptr);

    // True when this process is the first instance and must go on; false when
    // a running instance took the message and this process should exit.
    bool tryRun(const QString &message);

    QString serverName() const { return m_serverName; }
    bool isListening() const;

    // The default data directory keeps the plain name; any other directory
    // gets one of its own, so a throw-away directory runs beside it.
    static QString serverNameFor(const QString &dataDirectory);

    // The message a launch with these arguments (argv, program first) sends.
    static QString messageForArguments(const QStringList &arguments);

Q_SIGNALS:
    void messageReceived(const QString &message);

private:
    void handleNewConnection();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
