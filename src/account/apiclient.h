#pragma once

#include <QJsonObject>
#include <QObject>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace BrioAccount {

class TokenManager;

// One server's HTTP JSON access: prefixes the base URL, adds the application
// headers and the bearer token, refreshes a token that is about to expire
// before sending, and repeats a request once after a 401 with a fresh token.
// Every operation calls its callback exactly once.
class ApiClient : public QObject
{
    Q_OBJECT
public:
    using JsonCallback = std::function<void(bool success, int status, const QJsonObject &body)>;
    using BinaryCallback = std::function<void(bool success, int status, const QByteArray &body)>;

    explicit ApiClient(TokenManager *tokens, QObject *parent = nullptr);

    void setBaseUrl(const QUrl &url) { m_baseUrl = url; }
    QUrl baseUrl() const { return m_baseUrl; }
    // An empty value leaves its header out.
    void setClientInfo(const QString &appId, const QString &appVersion, const QString &platform);
    QString appId() const { return m_appId; }
    QString appVersion() const { return m_appVersion; }
    QString platform() const { return m_platform; }
    TokenManager *tokenManager() const { return m_tokens; }

    void get(const QString &path, JsonCallback callback, const QUrlQuery &query = {});
    void getUnauthenticated(const QString &path, JsonCallback callback, const QUrlQuery &query = {});
    void post(const QString &path, const QJsonObject &json, JsonCallback callback);
    void postUnauthenticated(const QString &path, const QJsonObject &json, JsonCallback callback);
    void put(const QString &path, const QJsonObject &json, JsonCallback callback);
    void patch(const QString &path, const QJsonObject &json, JsonCallback callback);
    void deleteResource(const QString &path, JsonCallback callback);
    // Any method by name; one that is not GET, POST, PUT, PATCH or DELETE
    // fails at once with status 0 and sends nothing.
    void send(const QByteArray &method, const QString &path, const QJsonObject &json, JsonCallback callback,
              const QUrlQuery &query = {});
    void getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query = {});
    // Takes ownership of multiPart. No repeat after a 401: the parts are
    // consumed by the first upload.
    void postMultipart(const QString &path, QHttpMultiPart *multiPart, JsonCallback callback);

    // The base URL with path appended to its own path, and the query when set.
    QUrl buildUrl(const QString &path, const QUrlQuery &query = {}) const;

Q_SIGNALS:
    // A token refresh that a request needed failed: the user must sign in again.
    void authenticationRequired();
    // The request never got an HTTP answer.
    void networkError(const QString &message);

private:
    void sendRequest(const QByteArray &method, const QString &path, const QJsonObject &json, JsonCallback callback,
                     const QUrlQuery &query, bool authenticated);
    void executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &token,
                        JsonCallback callback, bool retryOnUnauthorized);
    // Calls proceed with the access token to send, refreshing it first when
    // needed; calls failed (after the signal) when that refresh fails.
    void withAccessToken(const QByteArray &method, const QUrl &url, std::function<void(const QString &)> proceed,
                         std::function<void()> failed);
    void executeBinary(const QUrl &url, const QString &token, BinaryCallback callback, bool retryOnUnauthorized);
    void addClientHeaders(QNetworkRequest &request, const QString &token) const;
    QNetworkReply *dispatch(const QByteArray &method, const QNetworkRequest &request, const QByteArray &body);

    QNetworkAccessManager *m_network = nullptr;
    TokenManager *m_tokens = nullptr;
    QUrl m_baseUrl;
    QString m_appId;
    QString m_appVersion;
    QString m_platform;
};

// The parsed body when it is a JSON object, else an empty object.
QJsonObject jsonObjectBody(const QByteArray &bytes);

} // namespace BrioAccount
