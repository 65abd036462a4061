#pragma once

#include "tokenstore.h"

#ifdef Q_OS_WIN

namespace BrioAccount {

// One generic credential per token in the Windows Credential Manager, named
// "Lumora/<app id>/<key>", local-machine persistence, the token's UTF-8
// bytes as the blob.
class CredentialManagerTokenStore : public TokenStore
{
public:
    explicit CredentialManagerTokenStore(const QString &appId);

    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

private:
    QString targetName(const QString &key) const;

    QString m_appId;
};

} // namespace BrioAccount

#endif
