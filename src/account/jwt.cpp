#include "jwt.h"

#include <QJsonDocument>

namespace BrioAccount {

QJsonObject tokenPayload(const QString &token)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals
                                    | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    return QJsonDocument::fromJson(*decoded).object();
}

qint64 tokenExpiry(const QString &token)
{
    const QJsonValue exp = tokenPayload(token).value(QLatin1String("exp"));
    return exp.isDouble() ? qint64(exp.toDouble()) : 0;
}

BrioClaims claimsFromToken(const QString &token)
{
    const QJsonObject brio = tokenPayload(token)
                                 .value(QLatin1String("custom"))
                                 .toObject()
                                 .value(QLatin1String("brio"))
                                 .toObject();
    return {brio.value(QLatin1String("group_id")).toString(), brio.value(QLatin1String("role")).toString()};
}

} // namespace BrioAccount
