#include "accountclient.h"
#include "accounttest.h"
#include "apiclient.h"
#include "features/notesharingservice.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QSignalSpy>

#include <memory>

using namespace AccountTest;
using namespace LumoraTest;
using namespace BrioAccount;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

QString iso(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QStringLiteral("invalid");
}

} // namespace

class AccountRecordsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<Client> m_client;
    std::unique_ptr<NoteSharingService> m_notes;
    std::unique_ptr<NoteSharingService> m_notebooks;

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_client = std::make_unique<Client>(configFor(*m_server), nullptr, new MemoryTokenStore);
        m_client->notesApi()->setBaseUrl(m_server->url(QStringLiteral("/notes/v1")));
        m_client->tokenManager()->setTokens(tokenExpiringIn(3600), QStringLiteral("r-1"));
        m_notes = std::make_unique<NoteSharingService>(m_client->notesApi(), NoteSharingService::Note);
        m_notebooks = std::make_unique<NoteSharingService>(m_client->notesApi(), NoteSharingService::Notebook);
    }

    void cleanup()
    {
        m_notes.reset();
        m_notebooks.reset();
        m_client.reset();
        m_server.reset();
    }

    // Real-looking answers, with keys missing or of the wrong type.
    void records_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("expected");

        QTest::newRow("user") << "user"
                              << parse(R"({"id":"u1","email":"ana@example.com","display_name":"Ana","username":"ana","avatar_url":"https:\/\/a\/x.png","created_at":"2024-03-01T10:00:00Z","extra":1})")
                              << "u1|ana@example.com|Ana|ana|https://a/x.png|2024-03-01T10:00:00Z";
        QTest::newRow("user, wrong types") << "user" << parse(R"({"id":7,"email":null,"display_name":["x"],"created_at":12})")
                                           << "|||||invalid";
        QTest::newRow("session") << "session"
                                 << parse(R"({"id":"s1","user_agent":"Firefox","ip_address":"10.0.0.1","created_at":"2024-03-01T10:00:00+02:00","last_active_at":"yesterday","is_current":true})")
                                 << "s1|Firefox|10.0.0.1|2024-03-01T08:00:00Z|invalid|1";
        QTest::newRow("profile with group") << "profile"
                                            << parse(R"({"id":"p1","email":"e","display_name":"D","language":"de","timezone":"Europe/Berlin","status":"active","group":{"id":"g1","name":"Family","role":"owner","member_count":3}})")
                                            << "p1|e|D||de|Europe/Berlin|active|invalid|g1|Family|owner|3";
        QTest::newRow("group") << "group"
                               << parse(R"({"id":"g1","name":"Family","max_seats":5,"members":[{"account_id":"a1","display_name":"Ana","email":"ana@x","role":"owner","joined_at":"2024-01-01T00:00:00Z"},"junk",{"account_id":"a2","role":"member","joined_at":"01/02/2024"}],"pending_invitations":[{"id":"i1","invited_email":"bo@x","status":"pending","expires_at":"2024-02-01T00:00:00Z"},{"id":"i2","invite_code":"ABCD"}]})")
                               << "g1|Family|5|a1,Ana,ana@x,owner,2024-01-01T00:00:00Z;a2,,,member,invalid|i1,bo@x,,pending,2024-02-01T00:00:00Z;i2,,ABCD,,invalid";
        QTest::newRow("group, members not an array") << "group" << parse(R"({"members":{"account_id":"a"}})") << "||0||";
        QTest::newRow("device") << "device"
                                << parse(R"({"id":"d1","device_name":"Laptop","platform":"windows","app_id":"app","app_version":"1.0.2","last_sync_at":"2024-05-05T05:05:05.123Z","device_fingerprint":"fp","created_at":"2024-01-01T00:00:00Z"})")
                                << "d1|Laptop|windows|app|1.0.2|2024-05-05T05:05:05Z|fp|2024-01-01T00:00:00Z";
        QTest::newRow("share") << "share"
                               << parse(R"({"id":"sh1","shared_with_account_id":"a2","shared_with_email":"bo@x","shared_with_display_name":"Bo","permission":"view","created_at":1700000000000})")
                               << QStringLiteral("sh1|a2|bo@x|Bo|view|") + QDateTime::fromMSecsSinceEpoch(1700000000000LL).toString(Qt::ISODate);
        QTest::newRow("share, time zero") << "share" << parse(R"({"id":"sh3","created_at":0})") << "sh3|||||";
    }

    void records()
    {
        QFETCH(QString, record);
        QFETCH(QJsonObject, json);
        QStringList fields;
        if (record == QLatin1String("user")) {
            const User u = User::fromJson(json);
            fields = {u.id, u.email, u.displayName, u.username, u.avatarUrl, iso(u.createdAt)};
        } else if (record == QLatin1String("session")) {
            const Session s = Session::fromJson(json);
            fields = {s.id, s.userAgent, s.ipAddress, iso(s.createdAt), iso(s.lastActiveAt), QString::number(s.isCurrent)};
        } else if (record == QLatin1String("profile")) {
            const Profile p = Profile::fromJson(json);
            fields = {p.id, p.email, p.displayName, p.avatarUrl, p.language, p.timezone, p.status,
                      iso(p.createdAt),
                      p.group.id, p.group.name, p.group.role, QString::number(p.group.memberCount)};
        } else if (record == QLatin1String("group")) {
            const Group g = Group::fromJson(json);
            QStringList members;
            for (const GroupMember &m : g.members)
                members << QStringList{m.accountId, m.displayName, m.email, m.role, iso(m.joinedAt)}.join(QLatin1Char(','));
            QStringList invitations;
            for (const GroupInvitation &i : g.pendingInvitations)
                invitations << QStringList{i.id, i.invitedEmail, i.inviteCode, i.status, iso(i.expiresAt)}.join(QLatin1Char(','));
            fields = {g.id, g.name, QString::number(g.maxSeats), members.join(QLatin1Char(';')),
                      invitations.join(QLatin1Char(';'))};
        } else if (record == QLatin1String("device")) {
            const Device d = Device::fromJson(json);
            fields = {d.id, d.deviceName, d.platform, d.appId, d.appVersion, iso(d.lastSyncAt), d.deviceFingerprint,
                      iso(d.createdAt)};
        } else {
            const ShareMember s = ShareMember::fromJson(json);
            fields = {s.id, s.accountId, s.email, s.displayName, s.permission, s.createdAt};
        }
        QTEST(fields.join(QLatin1Char('|')), "expected");
    }

    // Each account operation: the request it makes, and what its caller
    // gets for a good and a failed answer.
    void operations_data()
    {
        QTest::addColumn<QString>("operation");
        // Server behaviour.
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        // Expected.
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<int>("groupChanged");

        const QByteArray invitation = R"({"id":"i1","invited_email":"bo@x","invite_code":"CODE1"})";
        const QByteArray devices = R"({"devices":[{"id":"d1","device_name":"Laptop"},{"id":"d2"}]})";
        const auto row = [](const char *name, const char *operation, int status, const QByteArray &answer,
                            const char *method, const char *path, const QByteArray &body, const char *result,
                            int refreshes = 0, int groupChanged = 0) {
            QTest::newRow(name) << QString::fromLatin1(operation) << status << answer << QByteArray(method)
                                << QString::fromLatin1(path) << body << QString::fromLatin1(result) << refreshes
                                << groupChanged;
        };
        row("profile", "getProfile", 200, R"({"id":"p1","group":{"name":"Family"}})", "GET", "/account/v1/profile", "",
            "p1/Family");
        row("profile fails", "getProfile", 500, R"({"id":"p1"})", "GET", "/account/v1/profile", "", "/");
        row("invite by e-mail", "inviteByEmail", 201, invitation, "POST", "/account/v1/group/invite",
            R"({"email":"bo@x"})", "i1");
        row("invite code", "generateInviteCode", 200, invitation, "POST", "/account/v1/group/invite", "", "CODE1");
        row("join", "joinGroup", 200, "{}", "POST", "/account/v1/group/join/CODE 1", "", "true", 1, 1);
        row("join refused", "joinGroup", 400, "{}", "POST", "/account/v1/group/join/CODE 1", "", "false", 0, 0);
        row("leave", "leaveGroup", 204, "", "POST", "/account/v1/group/leave", "", "true", 1, 1);
        row("remove member", "removeMember", 204, "", "DELETE", "/account/v1/group/members/a2", "", "", 0, 1);
        row("revoke invitation", "revokeInvitation", 204, "", "DELETE", "/account/v1/group/invitations/i1", "", "");
        row("devices", "getDevices", 200, devices, "GET", "/account/v1/devices", "", "d1,d2");
        row("remove device", "removeDevice", 204, "", "DELETE", "/account/v1/devices/d2", "", "");
        row("user", "fetchCurrentUser", 200, R"({"id":"u1","email":"ana@x"})", "GET", "/api/v1/realms/test/users/me", "",
            "u1");
        row("rename", "updateProfile", 200, R"({"id":"u1","display_name":"Ana B"})", "PATCH",
            "/api/v1/realms/test/users/me", R"({"display_name":"Ana B"})", "Ana B");
        row("sessions", "listSessions", 200, R"({"sessions":[{"id":"s1","is_current":true},{"id":"s2"}]})", "GET",
            "/api/v1/realms/test/users/me/sessions", "", "s1*,s2");
        row("revoke session", "revokeSession", 204, "", "DELETE", "/api/v1/realms/test/users/me/sessions/s2", "", "");
    }

    void operations()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        m_server->route(method, path, [&](const HttpRequest &) { return HttpResponse::json(answer, status); });
        m_server->route(RefreshPath, refreshAnswer(tokenExpiringIn(3600, QStringLiteral("renewed"))));
        AccountClient *account = m_client->accountClient();
        AuthClient *auth = m_client->authClient();
        QSignalSpy groupChangedSpy(account, &AccountClient::groupChanged);

        QString result;
        bool done = false;
        const auto finish = [&](const QString &text) {
            result = text;
            done = true;
        };
        const auto flag = [&](bool ok) { finish(ok ? QStringLiteral("true") : QStringLiteral("false")); };
        if (operation == QLatin1String("getProfile"))
            account->getProfile([&](const Profile &p) { finish(p.id + QLatin1Char('/') + p.group.name); });
        else if (operation == QLatin1String("inviteByEmail"))
            account->inviteByEmail(QStringLiteral("bo@x"), [&](const GroupInvitation &i) { finish(i.id); });
        else if (operation == QLatin1String("generateInviteCode"))
            account->generateInviteCode([&](const GroupInvitation &i) { finish(i.inviteCode); });
        else if (operation == QLatin1String("joinGroup"))
            account->joinGroup(QStringLiteral("CODE 1"), flag);
        else if (operation == QLatin1String("leaveGroup"))
            account->leaveGroup(flag);
        else if (operation == QLatin1String("removeMember"))
            account->removeMember(QStringLiteral("a2"));
        else if (operation == QLatin1String("revokeInvitation"))
            account->revokeInvitation(QStringLiteral("i1"));
        else if (operation == QLatin1String("getDevices"))
            account->getDevices([&](const QList<Device> &list) {
                QStringList ids;
                for (const Device &d : list)
                    ids << d.id;
                finish(ids.join(QLatin1Char(',')));
            });
        else if (operation == QLatin1String("removeDevice"))
            account->removeDevice(QStringLiteral("d2"));
        else if (operation == QLatin1String("fetchCurrentUser"))
            auth->fetchCurrentUser([&](const User &u) { finish(u.id); });
        else if (operation == QLatin1String("updateProfile"))
            auth->updateProfile(QStringLiteral("Ana B"), [&](const User &u) { finish(u.displayName); });
        else if (operation == QLatin1String("listSessions"))
            auth->listSessions([&](const QList<Session> &list) {
                QStringList ids;
                for (const Session &s : list)
                    ids << s.id + (s.isCurrent ? QStringLiteral("*") : QString());
                finish(ids.join(QLatin1Char(',')));
            });
        else if (operation == QLatin1String("revokeSession"))
            auth->revokeSession(QStringLiteral("s2"));
        else
            QFAIL("unknown operation");

        QVERIFY(m_server->waitForRequests(1));
        // Fire-and-forget calls have no callback: their result shows in the request.
        const bool hasCallback = !operation.startsWith(QLatin1String("remove")) && !operation.startsWith(QLatin1String("revoke"));
        if (hasCallback) {
            QTRY_VERIFY(done);
            QTEST(result, "result");
        }
        QFETCH(int, refreshes);
        QTRY_COMPARE(int(m_server->requests(RefreshPath).size()), refreshes);
        QFETCH(int, groupChanged);
        QTRY_COMPARE(int(groupChangedSpy.size()), groupChanged);

        const HttpRequest request = m_server->requests(path).constFirst();
        QCOMPARE(request.method, method);
        QTEST(request.body, "body");
        QVERIFY(request.header("Authorization").startsWith("Bearer "));
    }

    // Notebook shares have paths of their own: "share" to add, "shares" to
    // list and remove. (Note shares are sent by the share dialog's tests.)
    void notebookSharePaths()
    {
        m_server->setFallback([](const HttpRequest &) { return HttpResponse::json(R"({"shares":[{"id":"s"}]})"); });
        int done = 0;
        m_notebooks->listMembers(QStringLiteral("n1"), [&](const QList<ShareMember> &list) { done += list.size(); });
        m_notebooks->shareWith(QStringLiteral("n1"), QStringLiteral("a2"), QStringLiteral("view"),
                               [&](bool ok, const QString &) { done += ok; });
        m_notebooks->removeShare(QStringLiteral("n1"), QStringLiteral("a2"), [&](bool ok) { done += ok; });
        QTRY_COMPARE(done, 3);
        QStringList sent;
        for (const HttpRequest &request : m_server->requests())
            sent << QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path;
        sent.sort();
        QCOMPARE(sent, (QStringList{QStringLiteral("DELETE /notes/v1/notebooks/n1/shares/a2"),
                                    QStringLiteral("GET /notes/v1/notebooks/n1/shares"),
                                    QStringLiteral("POST /notes/v1/notebooks/n1/share")}));
    }

    // What a share sends, and what its caller hears back.
    void share_data()
    {
        QTest::addColumn<QString>("permission");
        // Server behaviour.
        QTest::addColumn<int>("status"); // -1: connection dropped
        QTest::addColumn<QByteArray>("answer");
        // Expected.
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");

        QTest::newRow("view") << "view" << 201 << QByteArray("{}") << QByteArray(R"({"account_id":"a2","permission":"view"})")
                              << true << "";
        QTest::newRow("View is edit") << "View" << 200 << QByteArray() << QByteArray(R"({"account_id":"a2","permission":"edit"})")
                                      << true << "";
        QTest::newRow("server's error text") << "view" << 403 << QByteArray(R"({"error":"Not in your group"})")
                                             << QByteArray(R"({"account_id":"a2","permission":"view"})") << false
                                             << "Not in your group";
        QTest::newRow("no error text") << "view" << 500 << QByteArray("<html>")
                                       << QByteArray(R"({"account_id":"a2","permission":"view"})") << false
                                       << "Share failed (HTTP 500)";
        QTest::newRow("error not a string") << "view" << 422 << QByteArray(R"({"error":{"code":1}})")
                                            << QByteArray(R"({"account_id":"a2","permission":"view"})") << false
                                            << "Share failed (HTTP 422)";
        QTest::newRow("transport failure") << "view" << -1 << QByteArray()
                                           << QByteArray(R"({"account_id":"a2","permission":"view"})") << false
                                           << "Share failed (HTTP 0)";
    }

    void share()
    {
        QFETCH(QString, permission);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        m_server->setFallback([&](const HttpRequest &) {
            return status < 0 ? HttpResponse::dropped() : HttpResponse::json(answer, status);
        });
        bool done = false;
        bool ok = false;
        QString error;
        m_notes->shareWith(QStringLiteral("n1"), QStringLiteral("a2"), permission, [&](bool success, const QString &text) {
            done = true;
            ok = success;
            error = text;
        });
        QTRY_VERIFY(done);
        QTEST(ok, "ok");
        QTEST(error, "error");
        QTEST(m_server->requests().constFirst().body, "sent");
    }

    void listFailureIsEmpty()
    {
        m_server->setFallback([](const HttpRequest &) { return HttpResponse::json(R"({"shares":[{"id":"s"}]})", 500); });
        bool done = false;
        qsizetype count = -1;
        m_notebooks->listMembers(QStringLiteral("b1"), [&](const QList<ShareMember> &list) {
            done = true;
            count = list.size();
        });
        QTRY_VERIFY(done);
        QCOMPARE(count, 0);
    }
};

LUMORA_TEST_MAIN(AccountRecordsTest)
#include "tst_accountrecords.moc"
