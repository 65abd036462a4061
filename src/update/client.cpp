#include "client.h"

#include "logging.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace BrioUpdate {

Client::Client(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_platformKey(currentPlatformKey())
    , m_network(new QNetworkAccessManager(this))
{
    qRegisterMetaType<BrioUpdate::Artifact>();
}

QUrl Client::manifestUrl(const QUrl &baseUrl)
{
    QUrl url = baseUrl;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("latest.json"));
    return url;
}

void Client::check()
{
    if (m_inFlight) {
        qCDebug(lcClient) << "check already in flight, ignoring";
        return;
    }
    if (!m_config.manifestBaseUrl.isValid()) {
        Q_EMIT checkFailed(QStringLiteral("manifestBaseUrl is not valid"));
        return;
    }
    if (m_config.currentVersion.isEmpty()) {
        Q_EMIT checkFailed(QStringLiteral("currentVersion is empty"));
        return;
    }
    QNetworkReply *reply
        = m_network->get(makeRequest(manifestUrl(m_config.manifestBaseUrl), m_config.app, m_config.transferTimeoutMs));
    m_inFlight = true;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void Client::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    m_inFlight = false;

    if (reply->error() != QNetworkReply::NoError) {
        Q_EMIT checkFailed(QStringLiteral("network error: %1").arg(reply->errorString()));
        return;
    }
    const ManifestResult parsed = parseManifest(reply->readAll());
    if (!parsed.valid) {
        Q_EMIT checkFailed(QStringLiteral("manifest invalid: %1").arg(parsed.error));
        return;
    }
    if (m_platformKey.isEmpty()) {
        qCWarning(lcClient) << "unknown platform, skipping update check";
        Q_EMIT upToDate();
        return;
    }
    const auto found = parsed.manifest.artifacts.constFind(m_platformKey);
    if (found == parsed.manifest.artifacts.constEnd()) {
        qCInfo(lcClient) << "platform" << m_platformKey << "not shipped in current manifest";
        Q_EMIT upToDate();
        return;
    }
    const Artifact &artifact = found.value();
    if (!isVersionLower(m_config.currentVersion, artifact.version)) {
        Q_EMIT upToDate();
        return;
    }
    if (!artifact.minUpgradableFrom.isEmpty() && isVersionLower(m_config.currentVersion, artifact.minUpgradableFrom)) {
        Q_EMIT checkFailed(QStringLiteral("current version %1 is older than min_upgradable_from %2; please upgrade "
                                          "to an intermediate release first")
                               .arg(m_config.currentVersion, artifact.minUpgradableFrom));
        return;
    }
    Q_EMIT updateAvailable(artifact);
}

} // namespace BrioUpdate
