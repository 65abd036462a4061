#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace BrioAccount {

inline constexpr auto AccessTokenKey = "lumora_access_token";
inline constexpr auto RefreshTokenKey = "lumora_refresh_token";

// Where the tokens outlive the process. Failures are quiet: a failed save
// leaves the tokens in memory only, a failed read is a missing token.
class TokenStore
{
public:
    virtual ~TokenStore() = default;
    virtual std::optional<QString> load(const QString &key) = 0;
    virtual bool save(const QString &key, const QString &value) = 0;
    virtual bool remove(const QString &key) = 0;
    // Removes both tokens.
    virtual void clear();
};

// Keeps the tokens for the life of the object only (tests, and the fallback
// when the system keychain cannot be used).
class MemoryTokenStore : public TokenStore
{
public:
    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

    QHash<QString, QString> values() const { return m_values; }

private:
    QHash<QString, QString> m_values;
};

// The platform's own secret store for this application id: the Windows
// Credential Manager, the desktop's Secret Service elsewhere.
TokenStore *createSystemTokenStore(const QString &appId);

} // namespace BrioAccount
