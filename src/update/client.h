#pragma once

#include "artifact.h"
#include "updateconfig.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

namespace BrioUpdate {

// Fetches latest.json of one channel and says whether the running version is
// the newest one for this platform. Exactly one signal per started check.
class Client : public QObject
{
    Q_OBJECT
public:
    explicit Client(const Config &config, QObject *parent = nullptr);

    const Config &config() const { return m_config; }
    bool isInFlight() const { return m_inFlight; }

    // The artifacts key looked up in the manifest; currentPlatformKey() unless
    // overridden. An empty key means no build exists for this system.
    QString platformKey() const { return m_platformKey; }
    void setPlatformKey(const QString &key) { m_platformKey = key; }

    // The URL of latest.json below the configured base URL.
    static QUrl manifestUrl(const QUrl &baseUrl);

public Q_SLOTS:
    void check();

Q_SIGNALS:
    void updateAvailable(const BrioUpdate::Artifact &artifact);
    void upToDate();
    void checkFailed(const QString &reason);

private:
    void onFinished(QNetworkReply *reply);

    Config m_config;
    QString m_platformKey;
    QNetworkAccessManager *m_network = nullptr;
    bool m_inFlight = false;
};

} // namespace BrioUpdate
