#include "releasenotesfetcher.h"

#include "logging.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace BrioUpdate {

ReleaseNotesFetcher::ReleaseNotesFetcher(const Config &config, QObject *parent)
    : ReleaseNotesFetcher(releaseNotesUrl(config.manifestBaseUrl, config.currentVersion), config.app, parent)
{
    m_transferTimeoutMs = config.transferTimeoutMs;
}

ReleaseNotesFetcher::ReleaseNotesFetcher(const QUrl &notesUrl, const QString &app, QObject *parent)
    : QObject(parent)
    , m_notesUrl(notesUrl)
    , m_app(app)
    , m_language(QLocale::system().name().left(2))
    , m_network(new QNetworkAccessManager(this))
{
    // The C locale names no language, so there is no translation to ask for.
    if (m_language == QLatin1String("C"))
        m_language.clear();
}

QUrl ReleaseNotesFetcher::releaseNotesUrl(const QUrl &manifestBaseUrl, const QString &version)
{
    QString path = manifestBaseUrl.path();
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    path.truncate(path.lastIndexOf(QLatin1Char('/')) + 1);
    // A channel folder at the server's root has the root as its parent.
    if (path.isEmpty())
        path = QStringLiteral("/");
    QUrl url = manifestBaseUrl;
    url.setPath(path + version + QStringLiteral("/release-notes.md"));
    return url;
}

QUrl ReleaseNotesFetcher::localizedUrl(const QUrl &notesUrl, const QString &language)
{
    const QString path = notesUrl.path();
    if (language.isEmpty() || language == QLatin1String("en") || !path.endsWith(QLatin1String(".md")))
        return {};
    QUrl url = notesUrl;
    url.setPath(path.left(path.size() - 3) + QLatin1Char('.') + language + QStringLiteral(".md"));
    return url;
}

void ReleaseNotesFetcher::fetch()
{
    const QUrl variant = localizedUrl(m_notesUrl, m_language);
    if (variant.isValid())
        get(variant, true);
    else
        get(m_notesUrl, false);
}

void ReleaseNotesFetcher::get(const QUrl &url, bool isVariant)
{
    QNetworkReply *reply = m_network->get(makeRequest(url, m_app, m_transferTimeoutMs));
    connect(reply, &QNetworkReply::finished, this, [this, reply, isVariant] {
        reply->deleteLater();
        const QString text
            = reply->error() == QNetworkReply::NoError ? QString::fromUtf8(reply->readAll()).trimmed() : QString();
        if (!text.isEmpty()) {
            Q_EMIT notesReady(text);
        } else if (isVariant) {
            get(m_notesUrl, false);
        } else {
            qCDebug(lcClient) << "release notes unavailable at" << reply->url() << reply->errorString();
            Q_EMIT notesUnavailable();
        }
    });
}

} // namespace BrioUpdate
