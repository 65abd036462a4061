#include "client.h"

#include "accountclient.h"
#include "apiclient.h"
#include "secretservicetokenstore.h"
#include "tokenmanager.h"
#include "jwt.h"

#include <QSysInfo>

namespace BrioAccount {

Client::Client(const ClientConfig &config, QObject *parent, TokenStore *store)
    : QObject(parent)
    , m_config(config)
    , m_platform(config.platform.isEmpty() ? platformName(QSysInfo::kernelType()) : config.platform)
{
    qRegisterMetaType<BrioAccount::AuthState>();
    qRegisterMetaType<BrioAccount::BrioClaims>();
    if (!store)
        store = createSystemTokenStore(config.appId);
#ifdef BRIOACCOUNT_HAVE_QTKEYCHAIN
    if (auto *keychain = dynamic_cast<SecretServiceTokenStore *>(store)) {
        // Queued: the first failure can happen while the application is
        // still being built, before anyone listens.
        keychain->setUnavailableHandler([this](const QString &message) {
            QMetaObject::invokeMethod(this, [this, message] { Q_EMIT tokenStorageUnavailable(message); },
                                      Qt::QueuedConnection);
        });
    }
#endif
    m_tokens = new TokenManager(store, this);

    m_authApi = new ApiClient(m_tokens, this);
    m_authApi->setBaseUrl(QUrl(QStringLiteral("%1/api/v1/realms/%2").arg(config.authBaseUrl, config.realmSlug)));
    m_accountApi = new ApiClient(m_tokens, this);
    m_accountApi->setBaseUrl(QUrl(config.accountApiBaseUrl));
    m_notesApi = new ApiClient(m_tokens, this);
    for (ApiClient *api : {m_authApi, m_accountApi, m_notesApi})
        api->setClientInfo(config.appId, config.appVersion, m_platform);

    m_auth = new AuthClient(config.authBaseUrl, config.realmSlug, config.clientId, m_authApi, m_tokens, this);
    m_account = new AccountClient(m_accountApi, m_auth, config, this);

    connect(m_auth, &AuthClient::stateChanged, this, [this](AuthState state) {
        Q_EMIT authStateChanged(state);
        if (state == AuthClient::SignedIn)
            Q_EMIT claimsUpdated(claims());
    });
}

bool Client::isAuthenticated() const
{
    return m_auth->isAuthenticated();
}

BrioClaims Client::claims() const
{
    return claimsFromToken(m_tokens->validAccessToken());
}

} // namespace BrioAccount
