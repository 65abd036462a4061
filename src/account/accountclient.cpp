#include "accountclient.h"

#include "apiclient.h"
#include "authclient.h"

namespace BrioAccount {

namespace {

ApiClient::JsonCallback whenAnswered(std::function<void()> done)
{
    return [done = std::move(done)](bool, int, const QJsonObject &) {
        if (done)
            done();
    };
}

} // namespace

AccountClient::AccountClient(ApiClient *accountApi, AuthClient *auth, const ClientConfig &config, QObject *parent)
    : QObject(parent)
    , m_api(accountApi)
    , m_auth(auth)
    , m_config(config)
{
}

void AccountClient::getProfile(std::function<void(const Profile &)> callback)
{
    m_api->get(QStringLiteral("/profile"), [callback](bool ok, int, const QJsonObject &body) {
        callback(ok ? Profile::fromJson(body) : Profile());
    });
}

void AccountClient::getGroup(std::function<void(const Group &)> callback)
{
    m_api->get(QStringLiteral("/group"), [callback](bool ok, int, const QJsonObject &body) {
        callback(ok ? Group::fromJson(body) : Group());
    });
}

void AccountClient::postInvite(const QJsonObject &body, std::function<void(const GroupInvitation &)> callback)
{
    m_api->post(QStringLiteral("/group/invite"), body, [callback](bool ok, int, const QJsonObject &answer) {
        callback(ok ? GroupInvitation::fromJson(answer) : GroupInvitation());
    });
}

void AccountClient::inviteByEmail(const QString &email, std::function<void(const GroupInvitation &)> callback)
{
    postInvite(QJsonObject{{QStringLiteral("email"), email}}, std::move(callback));
}

void AccountClient::generateInviteCode(std::function<void(const GroupInvitation &)> callback)
{
    postInvite(QJsonObject(), std::move(callback));
}

void AccountClient::changeMembership(const QString &path, std::function<void(bool)> callback)
{
    m_api->post(path, QJsonObject(), [this, callback](bool ok, int, const QJsonObject &) {
        if (!ok) {
            if (callback)
                callback(false);
            return;
        }
        m_auth->refreshToken([this, callback](bool) {
            Q_EMIT groupChanged();
            if (callback)
                callback(true);
        });
    });
}

void AccountClient::joinGroup(const QString &code, std::function<void(bool)> callback)
{
    changeMembership(QStringLiteral("/group/join/%1").arg(code),
                     std::move(callback));
}

void AccountClient::leaveGroup(std::function<void(bool)> callback)
{
    changeMembership(QStringLiteral("/group/leave"), std::move(callback));
}

void AccountClient::removeMember(const QString &accountId, std::function<void()> done)
{
    m_api->deleteResource(QStringLiteral("/group/members/%1").arg(accountId),
                          [this, done = std::move(done)](bool ok, int, const QJsonObject &) {
                              if (ok)
                                  Q_EMIT groupChanged();
                              if (done)
                                  done();
                          });
}

void AccountClient::revokeInvitation(const QString &invitationId, std::function<void()> done)
{
    m_api->deleteResource(QStringLiteral("/group/invitations/%1").arg(invitationId), whenAnswered(std::move(done)));
}

void AccountClient::getDevices(std::function<void(const QList<Device> &)> callback)
{
    m_api->get(QStringLiteral("/devices"), [callback](bool ok, int, const QJsonObject &body) {
        callback(ok ? recordsFromArray<Device>(body, QStringLiteral("devices")) : QList<Device>());
    });
}

void AccountClient::removeDevice(const QString &deviceId, std::function<void()> done)
{
    m_api->deleteResource(QStringLiteral("/devices/%1").arg(deviceId), whenAnswered(std::move(done)));
}

void AccountClient::deleteAccount(std::function<void(bool)> callback)
{
    m_api->deleteResource(QStringLiteral("/profile"),
                          [callback](bool ok, int, const QJsonObject &) { callback(ok); });
}

} // namespace BrioAccount
