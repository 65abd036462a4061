#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// Plain value records of the account and auth servers. Parsing is lenient:
// a missing or wrong-typed key leaves the field empty (texts), invalid
// (times), 0 or false, and never fails the record.
namespace BrioAccount {

struct User
{
    QString id;
    QString email;
    QString displayName;
    QString username;
    QString avatarUrl;
    QDateTime createdAt;

    bool isEmpty() const { return id.isEmpty() && email.isEmpty(); }
    static User fromJson(const QJsonObject &json);
};

struct Session
{
    QString id;
    QString userAgent;
    QString ipAddress;
    QDateTime createdAt;
    QDateTime lastActiveAt;
    bool isCurrent = false;

    static Session fromJson(const QJsonObject &json);
};

struct ProfileGroup
{
    QString id;
    QString name;
    QString role;
    int memberCount = 0;

    static ProfileGroup fromJson(const QJsonObject &json);
};

struct Profile
{
    QString id;
    QString email;
    QString displayName;
    QString avatarUrl;
    QString language;
    QString timezone;
    QString status;
    QDateTime createdAt;
    ProfileGroup group;

    static Profile fromJson(const QJsonObject &json);
};

struct GroupMember
{
    QString accountId;
    QString displayName;
    QString email;
    QString role;
    QDateTime joinedAt;

    static GroupMember fromJson(const QJsonObject &json);
};

struct GroupInvitation
{
    QString id;
    QString invitedEmail;
    QString inviteCode;
    QString status;
    QDateTime expiresAt;

    static GroupInvitation fromJson(const QJsonObject &json);
};

struct Group
{
    QString id;
    QString name;
    int maxSeats = 0;
    QList<GroupMember> members;
    QList<GroupInvitation> pendingInvitations;

    static Group fromJson(const QJsonObject &json);
};

struct Device
{
    QString id;
    QString deviceName;
    QString platform;
    QString appId;
    QString appVersion;
    QDateTime lastSyncAt;
    QString deviceFingerprint;
    QDateTime createdAt;

    static Device fromJson(const QJsonObject &json);
};

// One share of a note or notebook with a group member.
struct ShareMember
{
    QString id;
    QString accountId;
    QString email;
    QString displayName;
    QString permission;
    // Local time as ISO 8601; empty when the server sent no positive time.
    QString createdAt;

    static ShareMember fromJson(const QJsonObject &json);
};

// The group id and role carried inside the access token.
struct BrioClaims
{
    QString groupId;
    QString role;

    bool isEmpty() const { return groupId.isEmpty() && role.isEmpty(); }
    bool operator==(const BrioClaims &other) const = default;
};

// Each element of json[key] that is an object, through T::fromJson, in array order.
template<typename T>
QList<T> recordsFromArray(const QJsonObject &json, const QString &key);

} // namespace BrioAccount
