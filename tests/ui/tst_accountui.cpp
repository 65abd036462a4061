#include "account/apiclient.h"
#include "account/authclient.h"
#include "account/client.h"
#include "app/appstate.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"
#include "ui/welcomescreen.h"

#include "testhttpserver.h"
#include "testmain.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>

#include <memory>

using namespace LumoraTest;

namespace {

QString tokenWithGroup(const QString &groupId)
{
    const QJsonObject payload{{QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + 3600},
                              {QStringLiteral("custom"),
                               QJsonObject{{QStringLiteral("brio"), QJsonObject{{QStringLiteral("group_id"), groupId},
                                                                               {QStringLiteral("role"), QStringLiteral("member")}}}}}};
    const auto part = [](const QByteArray &bytes) {
        return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    return part("{}") + QLatin1Char('.') + part(QJsonDocument(payload).toJson(QJsonDocument::Compact))
           + QStringLiteral(".x");
}

QByteArray groupOf(int members)
{
    QByteArray list;
    for (int i = 0; i < members; ++i)
        list += (i ? "," : "") + QByteArray(R"({"account_id":"a)") + QByteArray::number(i) + "\"}";
    return R"({"id":"g1","name":"Family","members":[)" + list + "]}";
}

} // namespace

class TestAccountUi : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScopedDataDir> m_dir;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;

    QWidget *currentPage() const
    {
        auto *stack = qobject_cast<QStackedWidget *>(m_window->welcomePage()->parentWidget());
        return stack ? stack->currentWidget() : nullptr;
    }

    BrioAccount::AuthClient *auth() const { return m_state->accountClient()->authClient(); }

    void signIn(const QString &groupId)
    {
        auth()->handleCallback(QUrl(QStringLiteral("http://localhost/callback?access_token=%1&refresh_token=r")
                                        .arg(tokenWithGroup(groupId))));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScopedDataDir>();
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        const QByteArray origin = "http://127.0.0.1:" + QByteArray::number(m_server->port());
        qputenv("AUTH_BASE_URL", origin);
        qputenv("ACCOUNT_API_URL", origin + "/account/v1");
        qputenv("SYNC_API_URL", origin + "/notes/v1");
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_window = std::make_unique<MainWindow>(m_state.get());
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_server.reset();
        m_dir.reset();
    }

    void startsSignedOut()
    {
        QVERIFY(!m_state->isSignedIn());
        QCOMPARE(m_window->findChild<StatusBar *>()->syncText(), QStringLiteral("Not signed in"));
        QVERIFY(m_window->signInAction()->isVisible());
        QVERIFY(!m_window->signOutAction()->isVisible());
        QCOMPARE(currentPage(), m_window->welcomePage());
        QVERIFY(m_window->welcomePage()->signInButton()->isEnabled());
        // Nothing went to any server.
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(m_state->accountClient()->notesApi()->baseUrl(), m_server->url(QStringLiteral("/notes/v1")));
    }

    void welcomeButtonOpensLoginPage()
    {
        QList<QUrl> opened;
        auth()->setUrlOpener([&](const QUrl &url) {
            opened << url;
            return true;
        });
        m_window->welcomePage()->signInButton()->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.constFirst().toString(QUrl::RemoveQuery), m_server->url(QStringLiteral("/lumora/account/login")).toString());
        QVERIFY(auth()->pendingLogin());
    }

    // Sharing needs a signed-in member of a group with someone else in it.
    void signInAndOut_data()
    {
        QTest::addColumn<QString>("groupId");
        // Server behaviour.
        QTest::addColumn<int>("groupStatus");
        QTest::addColumn<int>("members");
        // Expected.
        QTest::addColumn<bool>("canShare");
        QTest::addColumn<int>("groupRequests");

        QTest::newRow("two members") << "g1" << 200 << 2 << true << 1;
        QTest::newRow("alone in the group") << "g1" << 200 << 1 << false << 1;
        QTest::newRow("no group in the token") << "" << 200 << 3 << false << 0;
        QTest::newRow("group request fails") << "g1" << 500 << 3 << false << 1;
    }

    void signInAndOut()
    {
        QFETCH(QString, groupId);
        QFETCH(int, groupStatus);
        QFETCH(int, members);
        QFETCH(bool, canShare);
        m_server->route(QStringLiteral("/account/v1/group"),
                        [&](const HttpRequest &) { return HttpResponse::json(groupOf(members), groupStatus); });
        m_server->route(QStringLiteral("/api/v1/realms/lumora/auth/logout"),
                        [](const HttpRequest &) { return HttpResponse::json("{}"); });
        QSignalSpy shareChanges(m_state.get(), &AppState::canShareChanged);

        signIn(groupId);

        QVERIFY(m_state->isSignedIn());
        QCOMPARE(m_window->findChild<StatusBar *>()->syncText(), QStringLiteral("Signed in"));
        QVERIFY(!m_window->signInAction()->isVisible());
        QVERIFY(m_window->signOutAction()->isVisible());
        QVERIFY(currentPage() != m_window->welcomePage());
        QFETCH(int, groupRequests);
        if (groupRequests > 0)
            QVERIFY(m_server->waitForRequests(groupRequests));
        QTRY_COMPARE(m_state->canShare(), canShare);
        QCOMPARE(shareChanges.size(), canShare ? 1 : 0);

        m_window->signOutAction()->trigger();

        QVERIFY(!m_state->isSignedIn());
        QVERIFY(!m_state->canShare());
        // Once on, once off; never for a value that did not change.
        QCOMPARE(shareChanges.size(), canShare ? 2 : 0);
        QCOMPARE(m_window->findChild<StatusBar *>()->syncText(), QStringLiteral("Not signed in"));
        QVERIFY(m_window->signInAction()->isVisible());
        QCOMPARE(currentPage(), m_window->welcomePage());
        QTRY_COMPARE(m_server->requests(QStringLiteral("/api/v1/realms/lumora/auth/logout")).size(), 1);
        QTEST(int(m_server->requests(QStringLiteral("/account/v1/group")).size()), "groupRequests");
    }
};

LUMORA_TEST_MAIN(TestAccountUi)
#include "tst_accountui.moc"
