#include "authclient.h"

#include "apiclient.h"
#include "logging.h"
#include "tokenmanager.h"
#include "webauthhandler.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QUrlQuery>
#include <QUuid>

namespace BrioAccount {

AuthClient::AuthClient(const QString &authBaseUrl, const QString &realmSlug, const QString &clientId,
                       ApiClient *authApi, TokenManager *tokens, QObject *parent)
    : QObject(parent)
    , m_authBaseUrl(authBaseUrl)
    , m_realmSlug(realmSlug)
    , m_clientId(clientId)
    , m_api(authApi)
    , m_tokens(tokens)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setupRefreshCallback();
}

void AuthClient::setupRefreshCallback()
{
    m_tokens->setRefreshCallback([this](const QString &refreshToken, TokenManager::SuccessFn onSuccess,
                                        TokenManager::FailureFn onFailure) {
        m_api->postUnauthenticated(QStringLiteral("/auth/token/refresh"),
                                   QJsonObject{{QStringLiteral("refresh_token"), refreshToken}},
                                   [onSuccess, onFailure](bool ok, int status, const QJsonObject &body) {
                                       if (!ok) {
                                           qCWarning(lcAccount) << "AuthClient: token refresh answered" << status;
                                           onFailure();
                                           return;
                                       }
                                       onSuccess(body.value(QLatin1String("access_token")).toString(),
                                                 body.value(QLatin1String("refresh_token")).toString());
                                   });
    });
}

void AuthClient::setState(AuthState state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void AuthClient::initialize()
{
    m_tokens->loadTokens();
    if (!m_tokens->validAccessToken().isEmpty()) {
        setState(SignedIn);
    } else if (!m_tokens->refreshToken().isEmpty()) {
        m_tokens->refresh([this](bool ok) { setState(ok ? SignedIn : SignedOut); });
    } else {
        setState(SignedOut);
    }
}

QUrl AuthClient::loginUrl(const QString &redirectUri, const QString &state) const
{
    QString text = QStringLiteral("%1/%2/account/login?client_id=%3&redirect_uri=%4")
                       .arg(m_authBaseUrl, m_realmSlug, m_clientId,
                            QString::fromLatin1(QUrl::toPercentEncoding(redirectUri)));
    if (!state.isEmpty())
        text += QStringLiteral("&state=") + QString::fromLatin1(QUrl::toPercentEncoding(state));
    return QUrl::fromEncoded(text.toUtf8());
}

void AuthClient::login()
{
    // A sign-in left unfinished gives up its port to the new one.
    delete m_handler;
    auto *handler = new WebAuthHandler(this);
    const QString redirectUri = handler->start();
    if (redirectUri.isEmpty()) {
        delete handler;
        Q_EMIT loginFailed(QStringLiteral("Failed to start local auth server"));
        return;
    }
    m_handler = handler;
    const QString state = QUuid::createUuid().toString(QUuid::Id128);
    handler->setExpectedState(state);
    handler->setAllowedOrigin(QUrl(m_authBaseUrl).adjusted(QUrl::RemovePath | QUrl::RemoveQuery).toString());
    connect(handler, &WebAuthHandler::callbackReceived, this, [this, handler](const QUrl &url) {
        handler->deleteLater();
        handleCallback(url);
    });
    qCInfo(lcAccount).noquote() << "AuthClient: waiting for the browser sign-in on port" << handler->port();
    if (!m_openUrl(loginUrl(redirectUri, state)))
        qCWarning(lcAccount) << "AuthClient: the browser could not be opened for sign-in";
}

void AuthClient::handleCallback(const QUrl &url)
{
    const auto read = [](const QUrlQuery &from, const char *key) {
        return from.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    QUrlQuery source(url.fragment(QUrl::FullyEncoded));
    if (read(source, "access_token").isEmpty())
        source = QUrlQuery(url.query(QUrl::FullyEncoded));
    const QString access = read(source, "access_token");
    const QString refresh = read(source, "refresh_token");
    if (access.isEmpty() || refresh.isEmpty()) {
        qCWarning(lcAccount) << "AuthClient: sign-in callback without tokens";
        Q_EMIT loginFailed(QStringLiteral("No tokens received"));
        return;
    }
    m_tokens->setTokens(access, refresh);
    setState(SignedIn);
    Q_EMIT loginSucceeded();
}

void AuthClient::signOutLocally()
{
    m_tokens->clearTokens();
    m_user = User();
    setState(SignedOut);
}

void AuthClient::logout()
{
    // Only a usable token can end the server's session; a refresh here could
    // bring tokens back after they were cleared.
    if (!m_tokens->validAccessToken().isEmpty())
        m_api->post(QStringLiteral("/auth/logout"), QJsonObject(), [](bool, int, const QJsonObject &) {});
    signOutLocally();
    Q_EMIT logoutCompleted();
}

void AuthClient::refreshToken(std::function<void(bool)> callback)
{
    m_tokens->refresh([this, callback = std::move(callback)](bool ok) {
        if (!ok)
            signOutLocally();
        if (callback)
            callback(ok);
    });
}

// A failed call hands on the user known before it.
std::function<void(bool, int, const QJsonObject &)> AuthClient::cachingUser(std::function<void(const User &)> callback)
{
    return [this, callback = std::move(callback)](bool ok, int, const QJsonObject &body) {
        if (ok)
            m_user = User::fromJson(body);
        callback(m_user);
    };
}

void AuthClient::fetchCurrentUser(std::function<void(const User &)> callback)
{
    m_api->get(QStringLiteral("/users/me"), cachingUser(std::move(callback)));
}

void AuthClient::updateProfile(const QString &displayName, std::function<void(const User &)> callback)
{
    m_api->patch(QStringLiteral("/users/me"), QJsonObject{{QStringLiteral("display_name"), displayName}},
                 cachingUser(std::move(callback)));
}

void AuthClient::changePassword(const QString &currentPassword, const QString &newPassword,
                                std::function<void(bool)> callback)
{
    m_api->post(QStringLiteral("/users/me/password"),
                QJsonObject{{QStringLiteral("current_password"), currentPassword},
                            {QStringLiteral("new_password"), newPassword}},
                [callback](bool ok, int, const QJsonObject &) { callback(ok); });
}

void AuthClient::listSessions(std::function<void(const QList<Session> &)> callback)
{
    m_api->get(QStringLiteral("/users/me/sessions"), [callback](bool ok, int, const QJsonObject &body) {
        callback(ok ? recordsFromArray<Session>(body, QStringLiteral("sessions")) : QList<Session>());
    });
}

void AuthClient::revokeSession(const QString &sessionId, std::function<void()> done)
{
    m_api->deleteResource(QStringLiteral("/users/me/sessions/%1").arg(sessionId),
                          [done = std::move(done)](bool, int, const QJsonObject &) {
                              if (done)
                                  done();
                          });
}

} // namespace BrioAccount
