#pragma once

#include "records.h"

#include <QJsonObject>
#include <QString>

// The client reads the payload of its JWTs (expiry and a few claims) and
// never checks signatures: the servers do that.
namespace BrioAccount {

// The second "."-separated part, decoded as unpadded base64url JSON; an
// empty object when the token has no such part or it does not decode.
QJsonObject tokenPayload(const QString &token);
// "exp" in seconds since the epoch; 0 when absent or unreadable.
qint64 tokenExpiry(const QString &token);
// payload → "custom" → "brio" → "group_id" and "role".
BrioClaims claimsFromToken(const QString &token);

} // namespace BrioAccount
