#pragma once

#include "client.h"
#include "testhttpserver.h"
#include "tokenstore.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace AccountTest {

inline QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// An unsigned JWT whose payload is the given object.
inline QString jwt(const QJsonObject &payload)
{
    return QString::fromLatin1(base64Url(R"({"alg":"none","typ":"JWT"})") + '.'
                               + base64Url(QJsonDocument(payload).toJson(QJsonDocument::Compact)) + ".c2ln");
}

// A token that expires secondsFromNow from now; tag tells tokens apart.
inline QString tokenExpiringIn(qint64 secondsFromNow, const QString &tag = QStringLiteral("a"))
{
    return jwt(QJsonObject{{QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + secondsFromNow},
                           {QStringLiteral("jti"), tag}});
}

inline QByteArray bearer(const QString &token)
{
    return "Bearer " + token.toUtf8();
}

inline QByteArray jsonBytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Everything the library needs, against one local server, with the tokens
// kept in memory.
inline BrioAccount::ClientConfig configFor(const QString &origin)
{
    return {origin,
            QStringLiteral("test"),
            origin + QStringLiteral("/account/v1"),
            QStringLiteral("0123456789abcdef0123456789abcdef"),
            QStringLiteral("app.lumora.notes.test"),
            QStringLiteral("Lumora Notes"),
            QStringLiteral("9.8.7"),
            QStringLiteral("testos"),
            origin + QStringLiteral("/portal")};
}

inline BrioAccount::ClientConfig configFor(const LumoraTest::TestHttpServer &server)
{
    return configFor(QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
}

inline const QString RefreshPath = QStringLiteral("/api/v1/realms/test/auth/token/refresh");

// Answers the refresh endpoint with newAccess / "refresh-2", or with status.
inline LumoraTest::HttpHandler refreshAnswer(const QString &newAccess, int status = 200, int delayMs = 0)
{
    return [=](const LumoraTest::HttpRequest &) {
        LumoraTest::HttpResponse response = LumoraTest::HttpResponse::json(
            jsonBytes({{QStringLiteral("access_token"), newAccess}, {QStringLiteral("refresh_token"), QStringLiteral("refresh-2")}}),
            status);
        return response.delayed(delayMs);
    };
}

} // namespace AccountTest
