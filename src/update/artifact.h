#pragma once

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QUrl>

namespace BrioUpdate {

// One downloadable release for one platform, as listed in latest.json.
struct Artifact
{
    QString version;
    QDateTime releasedAt;
    QUrl url;
    qint64 size = -1;
    QString sha256;
    bool mandatory = false;
    QString minUpgradableFrom;
    QUrl releaseNotesUrl; // empty when the release has no notes
};

struct Manifest
{
    int schema = 0;
    QString app;
    QString channel;
    QMap<QString, Artifact> artifacts; // platform key -> artifact
};

struct ManifestResult
{
    bool valid = false;
    QString error; // the first problem found; may be set even when valid
    Manifest manifest;
};

// Parses and validates latest.json; never throws, whatever the bytes.
ManifestResult parseManifest(const QByteArray &json);

struct Version
{
    int major = 0;
    int minor = 0;
    int patch = 0;
};

// "1", "1.2" or "1.2.3"; anything else is 0.0.0.
Version parseVersion(const QString &text);

// Negative, zero or positive as a is lower than, equal to or higher than b,
// comparing numerically (1.0.2 < 1.0.10).
int compareVersions(const QString &a, const QString &b);

inline bool isVersionLower(const QString &a, const QString &b)
{
    return compareVersions(a, b) < 0;
}

// The artifacts key of the running system, or an empty string when no build
// exists for it.
QString currentPlatformKey();

} // namespace BrioUpdate

Q_DECLARE_METATYPE(BrioUpdate::Artifact)
