#include "records.h"

#include <QJsonArray>

namespace BrioAccount {

namespace {

QString text(const QJsonObject &json, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

QDateTime time(const QJsonObject &json, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isString() ? QDateTime::fromString(value.toString(), Qt::ISODate) : QDateTime();
}

int integer(const QJsonObject &json, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isDouble() ? value.toInt() : 0;
}

bool flag(const QJsonObject &json, const char *key)
{
    return json.value(QLatin1String(key)).toBool(false);
}

} // namespace

template<typename T>
QList<T> recordsFromArray(const QJsonObject &json, const QString &key)
{
    QList<T> records;
    const QJsonArray array = json.value(key).toArray();
    for (const QJsonValue &element : array) {
        if (element.isObject())
            records.append(T::fromJson(element.toObject()));
    }
    return records;
}

template QList<Session> recordsFromArray<Session>(const QJsonObject &, const QString &);
template QList<GroupMember> recordsFromArray<GroupMember>(const QJsonObject &, const QString &);
template QList<GroupInvitation> recordsFromArray<GroupInvitation>(const QJsonObject &, const QString &);
template QList<Device> recordsFromArray<Device>(const QJsonObject &, const QString &);
template QList<ShareMember> recordsFromArray<ShareMember>(const QJsonObject &, const QString &);

User User::fromJson(const QJsonObject &json)
{
    return {text(json, "id"),       text(json, "email"),      text(json, "display_name"),
            text(json, "username"), text(json, "avatar_url"), time(json, "created_at")};
}

Session Session::fromJson(const QJsonObject &json)
{
    return {text(json, "id"),         text(json, "user_agent"),     text(json, "ip_address"),
            time(json, "created_at"), time(json, "last_active_at"), flag(json, "is_current")};
}

ProfileGroup ProfileGroup::fromJson(const QJsonObject &json)
{
    return {text(json, "id"), text(json, "name"), text(json, "role"), integer(json, "member_count")};
}

Profile Profile::fromJson(const QJsonObject &json)
{
    return {text(json, "id"),
            text(json, "email"),
            text(json, "display_name"),
            text(json, "avatar_url"),
            text(json, "language"),
            text(json, "timezone"),
            text(json, "status"),
            time(json, "created_at"),
            ProfileGroup::fromJson(json.value(QLatin1String("group")).toObject())};
}

GroupMember GroupMember::fromJson(const QJsonObject &json)
{
    return {text(json, "account_id"), text(json, "display_name"), text(json, "email"), text(json, "role"),
            time(json, "joined_at")};
}

GroupInvitation GroupInvitation::fromJson(const QJsonObject &json)
{
    return {text(json, "id"), text(json, "invited_email"), text(json, "invite_code"), text(json, "status"),
            time(json, "expires_at")};
}

Group Group::fromJson(const QJsonObject &json)
{
    return {text(json, "id"), text(json, "name"), integer(json, "max_seats"),
            recordsFromArray<GroupMember>(json, QStringLiteral("members")),
            recordsFromArray<GroupInvitation>(json, QStringLiteral("pending_invitations"))};
}

Device Device::fromJson(const QJsonObject &json)
{
    return {text(json, "id"),          text(json, "device_name"),  text(json, "platform"),
            text(json, "app_id"),      text(json, "app_version"),  time(json, "last_sync_at"),
            text(json, "device_fingerprint"), time(json, "created_at")};
}

ShareMember ShareMember::fromJson(const QJsonObject &json)
{
    ShareMember member{text(json, "id"), text(json, "shared_with_account_id"), text(json, "shared_with_email"),
                       text(json, "shared_with_display_name"), text(json, "permission"), QString()};
    // Milliseconds since the epoch on the wire; shown as local time.
    const QJsonValue created = json.value(QLatin1String("created_at"));
    if (created.isDouble() && created.toDouble() > 0) {
        member.createdAt = QDateTime::fromMSecsSinceEpoch(qint64(created.toDouble()), Qt::LocalTime)
                               .toString(Qt::ISODate);
    }
    return member;
}

} // namespace BrioAccount
