#pragma once

#include "updateconfig.h"

#include <QJsonDocument>
#include <QJsonObject>

// Manifests and configurations shared by the update tests.
namespace UpdateTestData {

// What every request of the library sends for app "notes".
inline const QByteArray kUserAgent = QByteArrayLiteral("BrioUpdateQt/0.1 (notes)");

inline QJsonObject artifact(const QString &version = QStringLiteral("1.0.10"))
{
    return QJsonObject {
        { QStringLiteral("version"), version },
        { QStringLiteral("released_at"), QStringLiteral("2026-11-20T09:30:00Z") },
        { QStringLiteral("url"),
            QStringLiteral("https://downloads.example.org/notes/%1/LumoraNotes-setup.exe").arg(version) },
        { QStringLiteral("size"), 48213120 },
        { QStringLiteral("sha256"), QString(64, QLatin1Char('c')) },
    };
}

// A copy of object with key set to value, or removed when value is undefined.
inline QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return object;
}

inline QJsonObject root(const QJsonObject &artifacts)
{
    return QJsonObject { { QStringLiteral("schema"), 1 }, { QStringLiteral("app"), QStringLiteral("notes") },
        { QStringLiteral("channel"), QStringLiteral("stable") }, { QStringLiteral("artifacts"), artifacts } };
}

inline QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// latest.json offering one artifact for one platform.
inline QByteArray manifest(
    const QJsonObject &artifactJson = artifact(), const QString &platform = QStringLiteral("windows-x64"))
{
    return bytes(root(QJsonObject { { platform, artifactJson } }));
}

inline BrioUpdate::Config config(const QUrl &baseUrl, const QString &currentVersion = QStringLiteral("1.0.2"))
{
    return BrioUpdate::Config { QStringLiteral("notes"), QStringLiteral("stable"), baseUrl, currentVersion, 2000 };
}

} // namespace UpdateTestData
