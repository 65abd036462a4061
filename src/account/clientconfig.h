#pragma once

#include <QString>
#include <QUrl>

namespace BrioAccount {

// What the application tells the account library about its servers and itself.
struct ClientConfig
{
    QString authBaseUrl; // an origin without a path
    QString realmSlug;
    QString accountApiBaseUrl; // path ending in "/account/v1"
    QString clientId;
    QString appId; // reverse-domain identifier; also keys the stored tokens
    QString appName;
    QString appVersion;
    QString platform; // empty: detected from the running kernel
    QString accountPortalUrl;
};

// builtIn with every server value replaced by its environment variable when
// that is set and not empty (AUTH_BASE_URL, AUTH_REALM_SLUG, ACCOUNT_API_URL,
// AUTH_CLIENT_ID, ACCOUNT_PORTAL_URL).
ClientConfig withEnvironmentOverrides(ClientConfig builtIn);
// SYNC_API_URL when set and not empty, else builtIn.
QUrl notesApiUrlFromEnvironment(const QUrl &builtIn);

// "linux", "macos", "windows", else the kernel type lower-cased.
QString platformName(const QString &kernelType);

} // namespace BrioAccount
