#include "tokenmanager.h"

#include "jwt.h"

#include <QDateTime>
#include <QMutexLocker>

namespace BrioAccount {

TokenManager::TokenManager(TokenStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store ? store : new MemoryTokenStore)
{
}

TokenManager::~TokenManager() = default;

void TokenManager::loadTokens()
{
    m_accessToken = m_store->load(QLatin1String(AccessTokenKey)).value_or(QString());
    m_refreshToken = m_store->load(QLatin1String(RefreshTokenKey)).value_or(QString());
}

void TokenManager::setTokens(const QString &access, const QString &refresh)
{
    m_accessToken = access;
    m_refreshToken = refresh;
    m_store->save(QLatin1String(AccessTokenKey), access);
    m_store->save(QLatin1String(RefreshTokenKey), refresh);
}

void TokenManager::clearTokens()
{
    m_accessToken.clear();
    m_refreshToken.clear();
    ++m_generation;
    m_store->clear();
}

QString TokenManager::validAccessToken() const
{
    if (m_accessToken.isEmpty())
        return {};
    const qint64 expiry = tokenExpiry(m_accessToken);
    if (expiry == 0 || QDateTime::currentSecsSinceEpoch() >= expiry - ExpiryMarginSeconds)
        return {};
    return m_accessToken;
}

bool TokenManager::needsRefresh() const
{
    return validAccessToken().isEmpty() && !m_refreshToken.isEmpty();
}

bool TokenManager::isRefreshing() const
{
    QMutexLocker locker(&m_mutex);
    return m_refreshing;
}

void TokenManager::refresh(Continuation callback)
{
    QMutexLocker locker(&m_mutex);
    if (callback)
        m_pending.append(std::move(callback));
    if (m_refreshing)
        return;
    if (m_refreshToken.isEmpty() || !m_refreshFn) {
        const QList<Continuation> waiting = std::exchange(m_pending, {});
        locker.unlock();
        for (const Continuation &next : waiting)
            next(false);
        return;
    }
    m_refreshing = true;
    const QString token = m_refreshToken;
    const quint64 generation = m_generation;
    locker.unlock();
    m_refreshFn(
        token,
        [this, generation](const QString &access, const QString &refresh) {
            // Signed out while the refresh was under way: its tokens are void.
            if (generation != m_generation) {
                finishRefresh(false);
                return;
            }
            setTokens(access, refresh);
            finishRefresh(true);
        },
        [this] { finishRefresh(false); });
}

void TokenManager::finishRefresh(bool ok)
{
    QMutexLocker locker(&m_mutex);
    m_refreshing = false;
    const QList<Continuation> waiting = std::exchange(m_pending, {});
    locker.unlock();
    for (const Continuation &next : waiting)
        next(ok);
}

} // namespace BrioAccount
