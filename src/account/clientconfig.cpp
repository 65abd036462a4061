#include "clientconfig.h"

#include <QByteArray>

namespace BrioAccount {

namespace {

void override(QString &value, const char *variable)
{
    // Environment values are UTF-8 on every system this runs on.
    const QByteArray raw = qgetenv(variable);
    if (!raw.isEmpty())
        value = QString::fromUtf8(raw);
}

} // namespace

ClientConfig withEnvironmentOverrides(ClientConfig config)
{
    override(config.authBaseUrl, "AUTH_BASE_URL");
    override(config.realmSlug, "AUTH_REALM_SLUG");
    override(config.accountApiBaseUrl, "ACCOUNT_API_URL");
    override(config.clientId, "AUTH_CLIENT_ID");
    override(config.accountPortalUrl, "ACCOUNT_PORTAL_URL");
    return config;
}

QUrl notesApiUrlFromEnvironment(const QUrl &builtIn)
{
    const QByteArray raw = qgetenv("SYNC_API_URL");
    return raw.isEmpty() ? builtIn : QUrl(QString::fromUtf8(raw));
}

QString platformName(const QString &kernelType)
{
    const QString kernel = kernelType.toLower();
    if (kernel == QLatin1String("darwin"))
        return QStringLiteral("macos");
    if (kernel == QLatin1String("winnt"))
        return QStringLiteral("windows");
    return kernel;
}

} // namespace BrioAccount
