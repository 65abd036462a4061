#pragma once

#include "records.h"
#include "webauthhandler.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

namespace BrioAccount {

class ApiClient;
class TokenManager;

// Sign-in through the system browser with a loopback callback, sign-out,
// token refresh and the calls about the signed-in user on the auth API.
class AuthClient : public QObject
{
    Q_OBJECT
public:
    enum AuthState { NotInitialized = 0, SignedOut = 1, SignedIn = 3 };
    Q_ENUM(AuthState)

    using UrlOpener = std::function<bool(const QUrl &)>;

    AuthClient(const QString &authBaseUrl, const QString &realmSlug, const QString &clientId, ApiClient *authApi,
               TokenManager *tokens, QObject *parent = nullptr);

    AuthState state() const { return m_state; }
    bool isAuthenticated() const { return m_state == SignedIn; }
    User currentUser() const { return m_user; }

    // The browser opener; QDesktopServices::openUrl unless replaced.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // The login page for redirectUri and state.
    QUrl loginUrl(const QString &redirectUri, const QString &state) const;
    // The loopback server of the sign-in under way; null otherwise.
    WebAuthHandler *pendingLogin() const { return m_handler; }

    void initialize();
    void login();
    void logout();
    void refreshToken(std::function<void(bool)> callback);

    void fetchCurrentUser(std::function<void(const User &)> callback);
    void updateProfile(const QString &displayName, std::function<void(const User &)> callback);
    void changePassword(const QString &currentPassword, const QString &newPassword,
                        std::function<void(bool)> callback);
    void listSessions(std::function<void(const QList<Session> &)> callback);
    // done runs once the server has answered, whatever it said.
    void revokeSession(const QString &sessionId, std::function<void()> done = {});

    // Takes the tokens from the callback URL's fragment, or from its query
    // when the fragment has no access token.
    void handleCallback(const QUrl &url);

Q_SIGNALS:
    void stateChanged(BrioAccount::AuthClient::AuthState state);
    void loginSucceeded();
    void loginFailed(const QString &error);
    void logoutCompleted();

private:
    void setState(AuthState state);
    void setupRefreshCallback();
    void signOutLocally();
    std::function<void(bool, int, const QJsonObject &)> cachingUser(std::function<void(const User &)> callback);

    QString m_authBaseUrl;
    QString m_realmSlug;
    QString m_clientId;
    ApiClient *m_api = nullptr;
    TokenManager *m_tokens = nullptr;
    AuthState m_state = NotInitialized;
    User m_user;
    UrlOpener m_openUrl;
    QPointer<WebAuthHandler> m_handler;
};

using AuthState = AuthClient::AuthState;

} // namespace BrioAccount
