#pragma once

#include "tokenstore.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace BrioAccount {

// Holds the access and refresh tokens, persists them in a TokenStore and
// runs at most one refresh at a time: callers that ask while one runs are
// queued and all hear the result, in the order they asked.
class TokenManager : public QObject
{
    Q_OBJECT
public:
    using Continuation = std::function<void(bool)>;
    using SuccessFn = std::function<void(const QString &access, const QString &refresh)>;
    using FailureFn = std::function<void()>;
    // Sends the refresh request and calls exactly one of the continuations.
    using RefreshFn = std::function<void(const QString &refreshToken, SuccessFn onSuccess, FailureFn onFailure)>;

    // An access token this close to its expiry already counts as expired.
    static constexpr qint64 ExpiryMarginSeconds = 30;

    // Takes ownership of the store.
    explicit TokenManager(TokenStore *store, QObject *parent = nullptr);
    ~TokenManager() override;

    void loadTokens();
    void setTokens(const QString &access, const QString &refresh);
    void clearTokens();

    // The access token while it is readable and valid for more than the
    // margin; otherwise empty.
    QString validAccessToken() const;
    bool needsRefresh() const;
    QString accessToken() const { return m_accessToken; }
    QString refreshToken() const { return m_refreshToken; }
    bool isRefreshing() const;

    void setRefreshCallback(RefreshFn callback) { m_refreshFn = std::move(callback); }
    void refresh(Continuation callback);

    TokenStore *store() const { return m_store.get(); }

private:
    void finishRefresh(bool ok);

    std::unique_ptr<TokenStore> m_store;
    QString m_accessToken;
    QString m_refreshToken;
    RefreshFn m_refreshFn;
    mutable QMutex m_mutex;
    bool m_refreshing = false;
    quint64 m_generation = 0;
    QList<Continuation> m_pending;
};

} // namespace BrioAccount
