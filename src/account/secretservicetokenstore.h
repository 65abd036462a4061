#pragma once

#include "tokenstore.h"

#include <functional>

#ifdef BRIOACCOUNT_HAVE_QTKEYCHAIN

namespace BrioAccount {

// The tokens in the desktop's Secret Service (GNOME Keyring, KWallet) through
// QtKeychain, service "Lumora/<app id>", one entry per key. Never falls back
// to a plain file. A locked keyring can leave a call waiting for an unlock
// prompt: each call waits at most timeoutMs, and after the first failure the
// store gives up for the rest of the run so the tokens live in memory only.
class SecretServiceTokenStore : public TokenStore
{
public:
    explicit SecretServiceTokenStore(const QString &appId, int timeoutMs = 3000);

    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

    bool hasFailed() const { return m_failed; }
    QString serviceName() const { return m_service; }
    // Called once, on the first failure, with a text for the user.
    void setUnavailableHandler(std::function<void(const QString &)> handler) { m_onUnavailable = std::move(handler); }

private:
    void fail(const QString &reason);

    QString m_service;
    int m_timeoutMs;
    bool m_failed = false;
    std::function<void(const QString &)> m_onUnavailable;
};

} // namespace BrioAccount

#endif
