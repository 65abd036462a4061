#pragma once

#include "authclient.h"
#include "clientconfig.h"
#include "records.h"

#include <QObject>

namespace BrioAccount {

class AccountClient;
class ApiClient;
class TokenManager;
class TokenStore;

// The account library's front door: three API clients (auth, account,
// notes) sharing one token manager, the sign-in client and the account
// operations, built from one configuration.
class Client : public QObject
{
    Q_OBJECT
public:
    // store: where tokens persist (owned); the system keychain when null.
    explicit Client(const ClientConfig &config, QObject *parent = nullptr, TokenStore *store = nullptr);

    const ClientConfig &config() const { return m_config; }
    // The configured platform, or the detected one when that was empty.
    QString platform() const { return m_platform; }

    TokenManager *tokenManager() const { return m_tokens; }
    AuthClient *authClient() const { return m_auth; }
    AccountClient *accountClient() const { return m_account; }
    ApiClient *authApi() const { return m_authApi; }
    ApiClient *accountApi() const { return m_accountApi; }
    // For the sync engine and the sharing services; its base URL is set
    // by the application.
    ApiClient *notesApi() const { return m_notesApi; }

    bool isAuthenticated() const;
    BrioClaims claims() const;

Q_SIGNALS:
    void authStateChanged(BrioAccount::AuthState state);
    void claimsUpdated(const BrioAccount::BrioClaims &claims);
    // The system keychain failed; the sign-in lasts until quit. Once per run.
    void tokenStorageUnavailable(const QString &message);

private:
    ClientConfig m_config;
    QString m_platform;
    TokenManager *m_tokens = nullptr;
    ApiClient *m_authApi = nullptr;
    ApiClient *m_accountApi = nullptr;
    ApiClient *m_notesApi = nullptr;
    AuthClient *m_auth = nullptr;
    AccountClient *m_account = nullptr;
};

} // namespace BrioAccount
