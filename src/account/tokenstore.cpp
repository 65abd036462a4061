#include "tokenstore.h"

#include "credentialmanagertokenstore.h"
#include "secretservicetokenstore.h"

namespace BrioAccount {

void TokenStore::clear()
{
    remove(QLatin1String(AccessTokenKey));
    remove(QLatin1String(RefreshTokenKey));
}

std::optional<QString> MemoryTokenStore::load(const QString &key)
{
    const auto found = m_values.constFind(key);
    if (found == m_values.constEnd())
        return std::nullopt;
    return *found;
}

bool MemoryTokenStore::save(const QString &key, const QString &value)
{
    m_values.insert(key, value);
    return true;
}

bool MemoryTokenStore::remove(const QString &key)
{
    return m_values.remove(key) > 0;
}

TokenStore *createSystemTokenStore(const QString &appId)
{
#if defined(Q_OS_WIN)
    return new CredentialManagerTokenStore(appId);
#elif defined(BRIOACCOUNT_HAVE_QTKEYCHAIN)
    return new SecretServiceTokenStore(appId);
#else
    Q_UNUSED(appId);
    return new MemoryTokenStore;
#endif
}

} // namespace BrioAccount
