#pragma once

#include "clientconfig.h"
#include "records.h"

#include <QObject>

#include <functional>

namespace BrioAccount {

class ApiClient;
class AuthClient;

// The typed front of the account API: profile, group, invitations, devices
// and deleting the account. Failures arrive as empty records, empty lists or
// false; nothing is retried beyond the API client's one repeat after a 401.
class AccountClient : public QObject
{
    Q_OBJECT
public:
    AccountClient(ApiClient *accountApi, AuthClient *auth, const ClientConfig &config, QObject *parent = nullptr);

    const ClientConfig &config() const { return m_config; }
    // Who is signed in, for screens that must tell the user from the others.
    AuthClient *authClient() const { return m_auth; }

    void getProfile(std::function<void(const Profile &)> callback);
    void getGroup(std::function<void(const Group &)> callback);
    void inviteByEmail(const QString &email, std::function<void(const GroupInvitation &)> callback);
    void generateInviteCode(std::function<void(const GroupInvitation &)> callback);
    // Group id and role travel in the access token: joining or leaving
    // refreshes the tokens before telling anyone.
    void joinGroup(const QString &code, std::function<void(bool)> callback);
    void leaveGroup(std::function<void(bool)> callback = {});
    // Removals report no result; done runs once the server has answered,
    // so that a list reloaded then shows the removal.
    void removeMember(const QString &accountId, std::function<void()> done = {});
    void revokeInvitation(const QString &invitationId, std::function<void()> done = {});
    void getDevices(std::function<void(const QList<Device> &)> callback);
    void removeDevice(const QString &deviceId, std::function<void()> done = {});
    void deleteAccount(std::function<void(bool)> callback);

Q_SIGNALS:
    void groupChanged();

private:
    void postInvite(const QJsonObject &body, std::function<void(const GroupInvitation &)> callback);
    void changeMembership(const QString &path, std::function<void(bool)> callback);

    ApiClient *m_api = nullptr;
    AuthClient *m_auth = nullptr;
    ClientConfig m_config;
};

} // namespace BrioAccount
