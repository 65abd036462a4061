#include "datapaths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

QString dataDirectory()
{
    const QString fromEnv = qEnvironmentVariable("NOTES_DATA_DIR");
    if (!fromEnv.isEmpty()) {
        QDir().mkpath(fromEnv);
        return fromEnv;
    }
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Lumora/Notes");
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return dir;
}

QString attachmentsDirectory()
{
    const QString dir = dataDirectory() + QStringLiteral("/attachments");
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return dir;
}

QString clientId()
{
    const QString path = dataDirectory() + QStringLiteral("/client_id");
    QFile file(path);
    if (file.exists() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString id = QString::fromUtf8(file.readAll()).trimmed();
        file.close();
        if (!id.isEmpty())
            return id;
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // A read-only data directory still gets a usable id; it just is not kept.
    if (file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate))
        file.write(id.toUtf8());
    return id;
}

QString databasePath()
{
    return dataDirectory() + QStringLiteral("/lumora_notes_%1.db").arg(clientId());
}
