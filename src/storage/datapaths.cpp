#include "datapaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

QString defaultDataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Lumora/Notes");
}

QString configuredDataDirectory()
{
    const QString fromEnv = qEnvironmentVariable("NOTES_DATA_DIR");
    return fromEnv.isEmpty() ? defaultDataDirectory() : fromEnv;
}

QString dataDirectory()
{
    const QString dir = configuredDataDirectory();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return dir;
}

bool checkDataDirectory(const QString &dir, QString *error, const WritableProbe &isWritable)
{
    const QFileInfo info(dir);
    QString problem;
    if (info.exists() && !info.isDir())
        problem = QStringLiteral("The data directory %1 is a file, not a folder.");
    else if (!info.exists())
        problem = QStringLiteral("The data directory %1 does not exist and cannot be created.");
    else if (isWritable ? !isWritable(dir) : !info.isWritable())
        problem = QStringLiteral("The data directory %1 is not writable.");
    if (problem.isEmpty())
        return true;
    if (error)
        *error = problem.arg(QDir::toNativeSeparators(dir));
    return false;
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
