#include "accountscreen.h"
#include "accounttest.h"
#include "scriptedprompts.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

#include <memory>

Q_DECLARE_METATYPE(std::optional<QString>)

using namespace AccountTest;
using namespace LumoraTest;
using namespace BrioAccount;

namespace {

const QString Auth = QStringLiteral("/api/v1/realms/test");
const QString Account = QStringLiteral("/account/v1");

HttpHandler answer(int status, const QByteArray &body = "{}")
{
    return [=](const HttpRequest &) { return HttpResponse::json(body, status); };
}

// An access token valid for an hour whose claims carry the group role.
QString tokenWithRole(const QString &role)
{
    QJsonObject payload{{QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + 3600}};
    if (!role.isEmpty()) {
        const QJsonObject brio{{QStringLiteral("group_id"), QStringLiteral("g1")}, {QStringLiteral("role"), role}};
        payload.insert(QStringLiteral("custom"), QJsonObject{{QStringLiteral("brio"), brio}});
    }
    return jwt(payload);
}

// The visible buttons of one panel with this text; buttons of an earlier
// load are hidden until they are deleted.
QList<QPushButton *> buttons(AccountScreen &screen, AccountScreen::Panel panel, const QString &text)
{
    QList<QPushButton *> found;
    for (QPushButton *button : screen.panels()->widget(panel)->findChildren<QPushButton *>()) {
        if (!button->isHidden() && button->text() == text)
            found << button;
    }
    return found;
}

bool panelShows(AccountScreen &screen, AccountScreen::Panel panel, const QString &text)
{
    for (QLabel *label : screen.panels()->widget(panel)->findChildren<QLabel *>()) {
        if (!label->isHidden() && label->text() == text)
            return true;
    }
    return false;
}

} // namespace

class AccountScreenTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<Client> m_client;
    std::shared_ptr<PromptLog> m_log;

    std::unique_ptr<AccountScreen> openScreen(const QString &role)
    {
        m_client->tokenManager()->setTokens(tokenWithRole(role), QStringLiteral("r-1"));
        auto screen = std::make_unique<AccountScreen>(m_client.get());
        m_log = std::make_shared<PromptLog>();
        screen->setPrompts(std::make_unique<ScriptedPrompts>(m_log));
        // The first load: the user, then the group; sessions and devices.
        m_server->waitForRequests(4);
        return screen;
    }

    // Something sent after the call under test has arrived, so a request
    // the call made would have arrived too.
    void settle(AccountScreen &screen)
    {
        const int before = m_server->requests(Auth + QStringLiteral("/users/me/sessions")).size();
        screen.loadSessions();
        QTRY_COMPARE(m_server->requests(Auth + QStringLiteral("/users/me/sessions")).size(), before + 1);
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_client = std::make_unique<Client>(configFor(*m_server), nullptr, new MemoryTokenStore);
        m_server->route("GET", Auth + QStringLiteral("/users/me"),
                        answer(200, R"({"id":"me","email":"me@example.com","display_name":"Ana"})"));
        m_server->route("GET", Auth + QStringLiteral("/users/me/sessions"), answer(200, R"({"sessions":[]})"));
        m_server->route("GET", Account + QStringLiteral("/devices"), answer(200, R"({"devices":[]})"));
        m_server->route("GET", Account + QStringLiteral("/group"),
                        answer(200, R"({"id":"g1","name":"Family","max_seats":5,"members":[
                            {"account_id":"me","display_name":"Ana","email":"me@example.com","role":"owner"},
                            {"account_id":"a2","display_name":"Bo","email":"bo@example.com","role":"member"},
                            {"account_id":"a3","display_name":"","email":"cy@example.com","role":"member"}],
                            "pending_invitations":[{"id":"i1","invite_code":"K7Q2"}]})"));
    }

    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    void lastActiveText_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");
        const QDateTime now(QDate(2024, 3, 10), QTime(12, 0), Qt::UTC);
        QTest::newRow("invalid") << QDateTime() << "Unknown";
        QTest::newRow("59 s") << now.addSecs(-59) << "Active now";
        QTest::newRow("clock ahead") << now.addSecs(30) << "Active now";
        QTest::newRow("60 s") << now.addSecs(-60) << "1m ago";
        QTest::newRow("3599 s") << now.addSecs(-3599) << "59m ago";
        QTest::newRow("3600 s") << now.addSecs(-3600) << "1h ago";
        QTest::newRow("just under a day") << now.addSecs(-86399) << "23h ago";
        QTest::newRow("one day") << now.addSecs(-86400) << "1d ago";
        QTest::newRow("just under a week") << now.addSecs(-604799) << "6d ago";
        // Noon UTC: the same calendar day in every time zone but the farthest.
        QTest::newRow("eight days") << now.addDays(-8) << "Mar 2, 2024";
    }

    void lastActiveText()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        QCOMPARE(BrioAccount::lastActiveText(time, QDateTime(QDate(2024, 3, 10), QTime(12, 0), Qt::UTC)), expected);
    }

    // What the group and data panels offer depends on the role in the token.
    void panelsFollowRole_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<bool>("deleteEnabled");
        QTest::addColumn<int>("removeButtons");
        QTest::addColumn<bool>("invitesShown");

        QTest::newRow("owner") << "owner" << false << 2 << true;
        QTest::newRow("member") << "member" << true << 0 << false;
    }

    void panelsFollowRole()
    {
        QFETCH(QString, role);
        QFETCH(bool, deleteEnabled);
        QFETCH(int, removeButtons);
        QFETCH(bool, invitesShown);
        auto screen = openScreen(role);
        QTRY_VERIFY(!buttons(*screen, AccountScreen::GroupPanel, QStringLiteral("Leave Group")).isEmpty());

        const QList<QPushButton *> remove = buttons(*screen, AccountScreen::GroupPanel, QStringLiteral("Remove"));
        QCOMPARE(remove.size(), removeButtons);
        QVERIFY(panelShows(*screen, AccountScreen::GroupPanel, QStringLiteral("3 of 5 seats used")));
        QCOMPARE(panelShows(*screen, AccountScreen::GroupPanel, QStringLiteral("Invite code: K7Q2")), invitesShown);
        QCOMPARE(buttons(*screen, AccountScreen::GroupPanel, QStringLiteral("Generate Invite Code")).size(),
                 invitesShown ? 1 : 0);

        const QList<QPushButton *> deleteButton = buttons(*screen, AccountScreen::DataPanel, QStringLiteral("Delete Account"));
        QCOMPARE(deleteButton.size(), 1);
        QCOMPARE(deleteButton.first()->isEnabled(), deleteEnabled);
        QCOMPARE(panelShows(*screen, AccountScreen::DataPanel,
                            QStringLiteral("You are the group owner. Transfer ownership or remove all members "
                                           "before deleting your account.")),
                 !deleteEnabled);
    }

    void changePassword_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("serverStatus");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("sent");

        QTest::newRow("7 characters") << QStringList{"old-pass"_str, "1234567"_str, "1234567"_str} << 204
                                      << "Password must be at least 8 characters." << false;
        QTest::newRow("mismatch") << QStringList{"old-pass"_str, "12345678"_str, "12345679"_str} << 204
                                  << "Passwords do not match." << false;
        QTest::newRow("accepted") << QStringList{"old-pass"_str, "12345678"_str, "12345678"_str} << 204 << "Password changed."_str
                                  << true;
        QTest::newRow("refused") << QStringList{"wrong"_str, "12345678"_str, "12345678"_str} << 403
                                 << "Failed to change password." << true;
    }

    void changePassword()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, serverStatus);
        QFETCH(QString, status);
        QFETCH(bool, sent);
        const QString path = Auth + QStringLiteral("/users/me/password");
        m_server->route("POST", path, answer(serverStatus));
        auto screen = openScreen(QStringLiteral("member"));
        for (const QString &entry : answers)
            m_log->textAnswers << entry;

        screen->changePassword();
        QTRY_COMPARE(screen->statusLabel()->text(), status);
        settle(*screen);
        QCOMPARE(m_server->requests(path).size(), sent ? 1 : 0);
        if (sent) {
            QCOMPARE(QJsonDocument::fromJson(m_server->requests(path).first().body).object(),
                     (QJsonObject{{"current_password"_str, answers.at(0)}, {"new_password"_str, answers.at(1)}}));
        }
    }

    void deleteAccount_data()
    {
        QTest::addColumn<std::optional<QString>>("typed");
        QTest::addColumn<int>("serverStatus");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<QString>("told");

        QTest::newRow("lower case") << std::optional<QString>(QStringLiteral("delete")) << 204 << false << false
                                    << "";
        QTest::newRow("cancelled") << std::optional<QString>() << 204 << false << false << "";
        QTest::newRow("DELETE") << std::optional<QString>(QStringLiteral("DELETE")) << 204 << true << true
                                << "Account Scheduled for Deletion: Your account will be permanently deleted in 30 "
                                   "days. You can recover it by signing in before then.";
        QTest::newRow("server refuses") << std::optional<QString>(QStringLiteral("DELETE")) << 500 << true << false
                                        << "";
    }

    void deleteAccount()
    {
        QFETCH(std::optional<QString>, typed);
        QFETCH(int, serverStatus);
        QFETCH(bool, sent);
        QFETCH(bool, loggedOut);
        QFETCH(QString, told);
        const QString path = Account + QStringLiteral("/profile");
        m_server->route("DELETE", path, answer(serverStatus));
        auto screen = openScreen(QStringLiteral("member"));
        QSignalSpy logout(screen.get(), &AccountScreen::logoutRequested);
        m_log->textAnswers << typed;

        screen->deleteAccount();
        if (sent)
            QTRY_COMPARE(m_server->requests(path).size(), 1);
        if (loggedOut)
            QTRY_COMPARE(logout.size(), 1);
        if (sent && !loggedOut)
            QTRY_COMPARE(screen->statusLabel()->text(), QStringLiteral("Failed to delete account."));
        settle(*screen);
        QCOMPARE(m_server->requests(path).size(), sent ? 1 : 0);
        QCOMPARE(logout.size(), loggedOut ? 1 : 0);
        QCOMPARE(m_log->told.join(QLatin1Char('\n')), told);
    }
};

LUMORA_TEST_MAIN(AccountScreenTest)
#include "tst_accountscreen.moc"
