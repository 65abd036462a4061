#include "apiclient.h"

#include "logging.h"
#include "tokenmanager.h"

#include <QFutureWatcher>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtConcurrent/QtConcurrentRun>

namespace BrioAccount {

namespace {

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// Past this size an answer (a first pull of thousands of notes) is read on a
// worker thread: megabytes of JSON read here would freeze the window.
constexpr qsizetype kParseAsideBytes = 256 * 1024;

bool isKnownMethod(const QByteArray &method)
{
    static const QByteArray known[] = {"GET", "POST", "PUT", "PATCH", "DELETE"};
    return std::find(std::begin(known), std::end(known), method) != std::end(known);
}

// The body sent for a JSON object: nothing for an empty one.
QByteArray jsonBytes(const QJsonObject &json)
{
    return json.isEmpty() ? QByteArray() : QJsonDocument(json).toJson(QJsonDocument::Compact);
}

} // namespace

QJsonObject jsonObjectBody(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return QJsonDocument::fromJson(bytes).object();
}

ApiClient::ApiClient(TokenManager *tokens, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_tokens(tokens)
{
}

void ApiClient::setClientInfo(const QString &appId, const QString &appVersion, const QString &platform)
{
    m_appId = appId;
    m_appVersion = appVersion;
    m_platform = platform;
}

QUrl ApiClient::buildUrl(const QString &path, const QUrlQuery &query) const
{
    QUrl url = m_baseUrl;
    url.setPath(m_baseUrl.path() + path);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

void ApiClient::get(const QString &path, JsonCallback callback, const QUrlQuery &query)
{
    sendRequest("GET", path, {}, std::move(callback), query, true);
}

void ApiClient::getUnauthenticated(const QString &path, JsonCallback callback, const QUrlQuery &query)
{
    sendRequest("GET", path, {}, std::move(callback), query, false);
}

void ApiClient::post(const QString &path, const QJsonObject &json, JsonCallback callback)
{
    sendRequest("POST", path, json, std::move(callback), {}, true);
}

void ApiClient::postUnauthenticated(const QString &path, const QJsonObject &json, JsonCallback callback)
{
    sendRequest("POST", path, json, std::move(callback), {}, false);
}

void ApiClient::put(const QString &path, const QJsonObject &json, JsonCallback callback)
{
    sendRequest("PUT", path, json, std::move(callback), {}, true);
}

void ApiClient::patch(const QString &path, const QJsonObject &json, JsonCallback callback)
{
    sendRequest("PATCH", path, json, std::move(callback), {}, true);
}

void ApiClient::deleteResource(const QString &path, JsonCallback callback)
{
    sendRequest("DELETE", path, {}, std::move(callback), {}, true);
}

void ApiClient::send(const QByteArray &method, const QString &path, const QJsonObject &json, JsonCallback callback,
                     const QUrlQuery &query)
{
    sendRequest(method, path, json, std::move(callback), query, true);
}

void ApiClient::withAccessToken(const QByteArray &method, const QUrl &url, std::function<void(const QString &)> proceed,
                                std::function<void()> failed)
{
    if (!m_tokens || !m_tokens->needsRefresh()) {
        proceed(m_tokens ? m_tokens->validAccessToken() : QString());
        return;
    }
    qCDebug(lcAccount).noquote() << "ApiClient: token needs refresh before" << method << url.path();
    m_tokens->refresh([this, method, path = url.path(), proceed = std::move(proceed),
                       failed = std::move(failed)](bool ok) {
        if (ok) {
            proceed(m_tokens->validAccessToken());
            return;
        }
        qCWarning(lcAccount).noquote() << "ApiClient: token refresh failed for" << method << path;
        Q_EMIT authenticationRequired();
        failed();
    });
}

void ApiClient::sendRequest(const QByteArray &method, const QString &path, const QJsonObject &json,
                            JsonCallback callback, const QUrlQuery &query, bool authenticated)
{
    const QUrl url = buildUrl(path, query);
    const QByteArray body = jsonBytes(json);
    if (!authenticated) {
        executeRequest(method, url, body, QString(), std::move(callback), false);
        return;
    }
    withAccessToken(
        method, url,
        [this, method, url, body, callback](const QString &token) {
            executeRequest(method, url, body, token, callback, true);
        },
        [callback] { callback(false, 401, QJsonObject()); });
}

void ApiClient::addClientHeaders(QNetworkRequest &request, const QString &token) const
{
    if (!m_appId.isEmpty())
        request.setRawHeader("X-App-Id", m_appId.toUtf8());
    if (!m_appVersion.isEmpty())
        request.setRawHeader("X-App-Version", m_appVersion.toUtf8());
    if (!m_platform.isEmpty())
        request.setRawHeader("X-Platform", m_platform.toUtf8());
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
}

QNetworkReply *ApiClient::dispatch(const QByteArray &method, const QNetworkRequest &request, const QByteArray &body)
{
    if (method == "GET")
        return m_network->get(request);
    if (method == "POST")
        return m_network->post(request, body);
    if (method == "PUT")
        return m_network->put(request, body);
    if (method == "DELETE")
        return m_network->deleteResource(request);
    // Qt has no call of its own for PATCH.
    return m_network->sendCustomRequest(request, method, body);
}

void ApiClient::executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body,
                               const QString &token, JsonCallback callback, bool retryOnUnauthorized)
{
    if (!isKnownMethod(method)) {
        qCWarning(lcAccount).noquote() << "ApiClient: unsupported method" << method;
        callback(false, 0, QJsonObject());
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    addClientHeaders(request, token);

    QNetworkReply *reply = dispatch(method, request, body);
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const int status = httpStatus(reply);
        QByteArray bytes = reply->readAll();
        if (status == 401 && retryOnUnauthorized) {
            m_tokens->refresh([=, this](bool ok) {
                if (ok) {
                    executeRequest(method, url, body, m_tokens->accessToken(), callback, false);
                    return;
                }
                Q_EMIT authenticationRequired();
                callback(false, 401, QJsonObject());
            });
            return;
        }
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            qCWarning(lcAccount).noquote() << "ApiClient:" << method << url.path() << "failed:" << reply->errorString();
            Q_EMIT networkError(reply->errorString());
            callback(false, 0, QJsonObject());
            return;
        }
        if (bytes.size() < kParseAsideBytes) {
            callback(isSuccess(status), status, jsonObjectBody(bytes));
            return;
        }
        // The watcher goes with this client: a late result then reaches no one.
        auto *watcher = new QFutureWatcher<QJsonObject>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [watcher, callback, status] {
            watcher->deleteLater();
            callback(isSuccess(status), status, watcher->result());
        });
        watcher->setFuture(QtConcurrent::run(jsonObjectBody, std::move(bytes)));
    });
}

void ApiClient::getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query)
{
    const QUrl url = buildUrl(path, query);
    withAccessToken(
        "GET", url, [this, url, callback](const QString &token) { executeBinary(url, token, callback, true); },
        [callback] { callback(false, 401, QByteArray()); });
}

void ApiClient::executeBinary(const QUrl &url, const QString &token, BinaryCallback callback,
                              bool retryOnUnauthorized)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "*/*");
    addClientHeaders(request, token);
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const int status = httpStatus(reply);
        const QByteArray bytes = reply->readAll();
        if (status == 401 && retryOnUnauthorized) {
            m_tokens->refresh([=, this](bool ok) {
                if (ok) {
                    executeBinary(url, m_tokens->accessToken(), callback, false);
                    return;
                }
                Q_EMIT authenticationRequired();
                callback(false, 401, QByteArray());
            });
            return;
        }
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            Q_EMIT networkError(reply->errorString());
            callback(false, 0, QByteArray());
            return;
        }
        callback(isSuccess(status), status, bytes);
    });
}

void ApiClient::postMultipart(const QString &path, QHttpMultiPart *multiPart, JsonCallback callback)
{
    if (!multiPart) {
        callback(false, 0, QJsonObject());
        return;
    }
    const QUrl url = buildUrl(path);
    withAccessToken(
        "POST", url,
        [this, url, multiPart, callback](const QString &token) {
            QNetworkRequest request(url);
            addClientHeaders(request, token);
            QNetworkReply *reply = m_network->post(request, multiPart);
            // The parts live exactly as long as the transfer.
            multiPart->setParent(reply);
            connect(reply, &QNetworkReply::finished, this, [reply, callback] {
                reply->deleteLater();
                const int status = httpStatus(reply);
                const QJsonObject json = jsonObjectBody(reply->readAll());
                if (reply->error() == QNetworkReply::NoError || status != 0)
                    callback(isSuccess(status), status, json);
                else
                    callback(false, 0, QJsonObject());
            });
        },
        [multiPart, callback] {
            multiPart->deleteLater();
            callback(false, 401, QJsonObject());
        });
}

} // namespace BrioAccount
