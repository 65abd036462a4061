#pragma once

#include "updateconfig.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

namespace BrioUpdate {

// Downloads the Markdown release notes of one version, preferring the
// translation into the user's language when the server has one.
class ReleaseNotesFetcher : public QObject
{
    Q_OBJECT
public:
    // Notes of the configured current version, next to the channel folder.
    explicit ReleaseNotesFetcher(const Config &config, QObject *parent = nullptr);
    // Notes at an explicit URL, such as an artifact's release notes URL.
    ReleaseNotesFetcher(const QUrl &notesUrl, const QString &app, QObject *parent = nullptr);

    QUrl notesUrl() const { return m_notesUrl; }

    // Two-letter language code; defaults to the system locale's.
    QString language() const { return m_language; }
    void setLanguage(const QString &language) { m_language = language; }

    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }

    // /notes/stable/ and 1.0.2 give /notes/1.0.2/release-notes.md.
    static QUrl releaseNotesUrl(const QUrl &manifestBaseUrl, const QString &version);
    // release-notes.md and "de" give release-notes.de.md; empty when there is
    // no translation to look for.
    static QUrl localizedUrl(const QUrl &notesUrl, const QString &language);

public Q_SLOTS:
    void fetch();

Q_SIGNALS:
    void notesReady(const QString &markdown);
    void notesUnavailable();

private:
    void get(const QUrl &url, bool isVariant);

    QUrl m_notesUrl;
    QString m_app;
    QString m_language;
    int m_transferTimeoutMs = 30000;
    QNetworkAccessManager *m_network = nullptr;
};

} // namespace BrioUpdate
