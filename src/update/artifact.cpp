#include "artifact.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <QSysInfo>

#include <cmath>

namespace BrioUpdate {

namespace {

// Records only the first reason; later problems never overwrite it.
void noteError(QString &error, const QString &reason)
{
    if (error.isEmpty())
        error = reason;
}

QString missingString(const QString &key)
{
    return QStringLiteral("missing or non-string field: %1").arg(key);
}

bool parseArtifact(const QString &key, const QJsonObject &object, Artifact &artifact, QString &error)
{
    const QLatin1String required[]
        = { QLatin1String("version"), QLatin1String("released_at"), QLatin1String("url"), QLatin1String("sha256") };
    for (const QLatin1String &name : required) {
        if (!object.value(name).isString()) {
            noteError(error, missingString(name));
            return false;
        }
    }

    artifact.version = object.value(QLatin1String("version")).toString();
    artifact.releasedAt = QDateTime::fromString(object.value(QLatin1String("released_at")).toString(), Qt::ISODate);
    // Tolerant parsing: a file name with spaces is a real download, not an error.
    artifact.url = QUrl(object.value(QLatin1String("url")).toString());
    artifact.size = object.value(QLatin1String("size")).toInteger(-1);
    artifact.sha256 = object.value(QLatin1String("sha256")).toString();
    artifact.mandatory = object.value(QLatin1String("mandatory")).toBool(false);
    artifact.minUpgradableFrom = object.value(QLatin1String("min_upgradable_from")).toString();
    const QString notes = object.value(QLatin1String("release_notes_url")).toString();
    if (!notes.isEmpty())
        artifact.releaseNotesUrl = QUrl(notes);

    const bool ok = !artifact.version.isEmpty() && artifact.releasedAt.isValid() && artifact.url.isValid()
        && artifact.size >= 1 && artifact.sha256.size() == 64;
    if (!ok)
        noteError(error, QStringLiteral("artifact %1 failed validation").arg(key));
    return ok;
}

} // namespace

ManifestResult parseManifest(const QByteArray &json)
{
    ManifestResult result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("JSON parse error: %1").arg(parseError.errorString());
        return result;
    }
    if (!document.isObject()) {
        result.error = QStringLiteral("manifest root is not a JSON object");
        return result;
    }
    const QJsonObject root = document.object();
    Manifest &manifest = result.manifest;
    QString &error = result.error;

    const QJsonValue schema = root.value(QLatin1String("schema"));
    const double schemaNumber = schema.toDouble();
    if (!schema.isDouble() || std::trunc(schemaNumber) != schemaNumber) {
        noteError(error, QStringLiteral("missing or non-integer field: schema"));
    } else if (schemaNumber != 1) {
        // Reports the number as written; only values beyond 64 bits need an exponent.
        const qint64 whole = schema.toInteger();
        const QString found = double(whole) == schemaNumber
            ? QString::number(whole)
            : QString::number(schemaNumber, 'g', QLocale::FloatingPointShortest);
        noteError(
            error, QStringLiteral("unsupported manifest schema: %1 (expected %2)").arg(found, QString::number(1)));
    } else {
        manifest.schema = 1;
    }

    const QLatin1String names[] = { QLatin1String("app"), QLatin1String("channel") };
    for (const QLatin1String &name : names) {
        const QJsonValue value = root.value(name);
        if (!value.isString())
            noteError(error, missingString(name));
        (name == QLatin1String("app") ? manifest.app : manifest.channel) = value.toString();
    }

    const QJsonValue artifacts = root.value(QLatin1String("artifacts"));
    if (!artifacts.isObject()) {
        noteError(error, QStringLiteral("missing or non-object field: artifacts"));
    } else {
        const QJsonObject entries = artifacts.toObject();
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
            if (!it.value().isObject()) {
                noteError(error, QStringLiteral("artifact %1 is not an object").arg(it.key()));
                continue;
            }
            Artifact artifact;
            if (parseArtifact(it.key(), it.value().toObject(), artifact, error))
                manifest.artifacts.insert(it.key(), artifact);
        }
    }

    result.valid = manifest.schema == 1 && !manifest.app.isEmpty() && !manifest.channel.isEmpty()
        && !manifest.artifacts.isEmpty();
    if (!result.valid)
        noteError(error, QStringLiteral("manifest failed validation"));
    return result;
}

Version parseVersion(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (text.isEmpty() || parts.size() > 3)
        return {};
    int numbers[3] = { 0, 0, 0 };
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).toInt(&ok, 10);
        if (!ok)
            return {};
    }
    return { numbers[0], numbers[1], numbers[2] };
}

int compareVersions(const QString &a, const QString &b)
{
    const Version x = parseVersion(a);
    const Version y = parseVersion(b);
    if (x.major != y.major)
        return x.major < y.major ? -1 : 1;
    if (x.minor != y.minor)
        return x.minor < y.minor ? -1 : 1;
    if (x.patch != y.patch)
        return x.patch < y.patch ? -1 : 1;
    return 0;
}

QString currentPlatformKey()
{
    const QString arch = QSysInfo::currentCpuArchitecture();
#if defined(Q_OS_WIN)
    return arch == QLatin1String("x86_64") ? QStringLiteral("windows-x64") : QString();
#else
    // Elsewhere the key names the running system, so a Windows installer is
    // never offered as an update to Linux or macOS.
#if defined(Q_OS_MACOS)
    const QString os = QStringLiteral("macos");
#elif defined(Q_OS_LINUX)
    const QString os = QStringLiteral("linux");
#else
    const QString os;
#endif
    if (os.isEmpty())
        return {};
    if (arch == QLatin1String("x86_64"))
        return os + QStringLiteral("-x64");
    if (arch == QLatin1String("arm64"))
        return os + QStringLiteral("-arm64");
    return {};
#endif
}

} // namespace BrioUpdate
