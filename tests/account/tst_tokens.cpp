#include "accounttest.h"
#include "authclient.h"
#include "jwt.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QSignalSpy>

using namespace AccountTest;
using namespace LumoraTest;
using BrioAccount::AuthClient;
using BrioAccount::MemoryTokenStore;
using BrioAccount::TokenManager;

namespace {

// A refresh endpoint that answers only when the test says so.
struct ManualRefresh
{
    int calls = 0;
    QString lastToken;
    TokenManager::SuccessFn succeed;
    TokenManager::FailureFn fail;

    TokenManager::RefreshFn function()
    {
        return [this](const QString &token, TokenManager::SuccessFn onSuccess, TokenManager::FailureFn onFailure) {
            ++calls;
            lastToken = token;
            succeed = std::move(onSuccess);
            fail = std::move(onFailure);
        };
    }
};

QString storedAccess(MemoryTokenStore *store)
{
    return store->load(QLatin1String(BrioAccount::AccessTokenKey)).value_or(QStringLiteral("<none>"));
}

} // namespace

class TokensTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validity_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("valid");

        QTest::newRow("31 s left") << tokenExpiringIn(31) << true;
        QTest::newRow("20 s left counts as expired") << tokenExpiringIn(20) << false;
        QTest::newRow("no exp") << jwt({{QStringLiteral("sub"), QStringLiteral("u")}}) << false;
        QTest::newRow("one part only") << QStringLiteral("abc") << false;
        QTest::newRow("payload not json") << QStringLiteral("a.") + QString::fromLatin1(base64Url("nope")) + QStringLiteral(".c")
                                          << false;
    }

    void validity()
    {
        QFETCH(QString, token);
        QFETCH(bool, valid);
        TokenManager tokens(new MemoryTokenStore);
        tokens.setTokens(token, QStringLiteral("r"));
        QCOMPARE(tokens.validAccessToken(), valid ? token : QString());
        QCOMPARE(tokens.needsRefresh(), !valid);
        tokens.setTokens(token, QString());
        QVERIFY(!tokens.needsRefresh());
    }

    void claims_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<QString>("groupId");
        QTest::addColumn<QString>("role");

        const auto brio = [](const QJsonObject &inner) {
            return QJsonObject{{QStringLiteral("custom"), QJsonObject{{QStringLiteral("brio"), inner}}}};
        };
        QTest::newRow("wrong type") << brio({{QStringLiteral("group_id"), 7}, {QStringLiteral("role"), QStringLiteral("member")}})
                                    << "" << "member";
        // '-' and '_' of base64url and a payload length that needs padding.
        QTest::newRow("url alphabet") << brio({{QStringLiteral("group_id"), QStringLiteral("~~~>>>???")}, {QStringLiteral("role"), QStringLiteral("m")}})
                                      << "~~~>>>???" << "m";
    }

    void claims()
    {
        QFETCH(QJsonObject, payload);
        const BrioAccount::BrioClaims claims = BrioAccount::claimsFromToken(jwt(payload));
        QTEST(claims.groupId, "groupId");
        QTEST(claims.role, "role");
    }

    // Callers that ask while a refresh runs wait for it and hear in order.
    void oneRefreshAtATime_data()
    {
        QTest::addColumn<bool>("serverAccepts");
        QTest::newRow("accepted") << true;
        QTest::newRow("refused") << false;
    }

    void oneRefreshAtATime()
    {
        QFETCH(bool, serverAccepts);
        auto *store = new MemoryTokenStore;
        TokenManager tokens(store);
        tokens.setTokens(tokenExpiringIn(-5), QStringLiteral("r-1"));
        ManualRefresh endpoint;
        tokens.setRefreshCallback(endpoint.function());

        QList<QPair<int, bool>> heard;
        for (int i = 1; i <= 3; ++i)
            tokens.refresh([&heard, i](bool ok) { heard.append({i, ok}); });
        QCOMPARE(endpoint.calls, 1);
        QCOMPARE(endpoint.lastToken, QStringLiteral("r-1"));
        QVERIFY(tokens.isRefreshing());
        QVERIFY(heard.isEmpty());

        const QString renewed = tokenExpiringIn(600, QStringLiteral("new"));
        if (serverAccepts)
            endpoint.succeed(renewed, QStringLiteral("r-2"));
        else
            endpoint.fail();

        QCOMPARE(heard, (QList<QPair<int, bool>>{{1, serverAccepts}, {2, serverAccepts}, {3, serverAccepts}}));
        QVERIFY(!tokens.isRefreshing());
        // A refused refresh keeps the tokens: the caller decides.
        QCOMPARE(tokens.refreshToken(), serverAccepts ? QStringLiteral("r-2") : QStringLiteral("r-1"));
        QCOMPARE(storedAccess(store), serverAccepts ? renewed : tokens.accessToken());
    }

    void refreshWithoutRefreshTokenFailsAtOnce()
    {
        TokenManager tokens(new MemoryTokenStore);
        ManualRefresh endpoint;
        tokens.setRefreshCallback(endpoint.function());
        QList<bool> heard;
        tokens.refresh([&](bool ok) { heard.append(ok); });
        tokens.refresh([&](bool ok) { heard.append(ok); });
        QCOMPARE(heard, (QList<bool>{false, false}));
        QCOMPARE(endpoint.calls, 0);
    }

    // A continuation may start the next refresh; the lock is not held then.
    void continuationMayRefreshAgain()
    {
        TokenManager tokens(new MemoryTokenStore);
        tokens.setTokens(QString(), QStringLiteral("r-1"));
        ManualRefresh endpoint;
        tokens.setRefreshCallback(endpoint.function());
        QList<bool> heard;
        tokens.refresh([&](bool ok) {
            heard.append(ok);
            tokens.refresh([&](bool again) { heard.append(again); });
        });
        endpoint.fail();
        QCOMPARE(endpoint.calls, 2);
        endpoint.succeed(tokenExpiringIn(600), QStringLiteral("r-2"));
        QCOMPARE(heard, (QList<bool>{false, true}));
    }

    // Signing out while a refresh is under way must not bring tokens back.
    void clearDuringRefreshDiscardsItsTokens()
    {
        auto *store = new MemoryTokenStore;
        TokenManager tokens(store);
        tokens.setTokens(QString(), QStringLiteral("r-1"));
        ManualRefresh endpoint;
        tokens.setRefreshCallback(endpoint.function());
        bool result = true;
        tokens.refresh([&](bool ok) { result = ok; });
        tokens.clearTokens();
        endpoint.succeed(tokenExpiringIn(600), QStringLiteral("r-2"));
        QVERIFY(!result);
        QVERIFY(tokens.refreshToken().isEmpty());
        QVERIFY(store->values().isEmpty());
    }

    // Start-up with what the store holds, and what the refresh endpoint says.
    void startUp_data()
    {
        QTest::addColumn<QString>("storedAccess");
        QTest::addColumn<QString>("storedRefresh");
        QTest::addColumn<int>("refreshStatus");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("refreshes");

        const QString valid = tokenExpiringIn(3600);
        const QString expired = tokenExpiringIn(-60);
        QTest::newRow("valid access token") << valid << "r" << 200 << int(AuthClient::SignedIn) << 0;
        QTest::newRow("expired access, accepted") << expired << "r" << 200 << int(AuthClient::SignedIn) << 1;
        QTest::newRow("refresh refused") << expired << "r" << 401 << int(AuthClient::SignedOut) << 1;
        QTest::newRow("expired, no refresh token") << expired << QString() << 200 << int(AuthClient::SignedOut) << 0;
    }

    void startUp()
    {
        QFETCH(QString, storedAccess);
        QFETCH(QString, storedRefresh);
        QFETCH(int, refreshStatus);
        TestHttpServer server;
        QVERIFY(server.listen());
        const QString renewed = tokenExpiringIn(3600, QStringLiteral("renewed"));
        server.route(RefreshPath, refreshAnswer(renewed, refreshStatus));
        auto *store = new MemoryTokenStore;
        if (!storedAccess.isEmpty())
            store->save(QLatin1String(BrioAccount::AccessTokenKey), storedAccess);
        if (!storedRefresh.isEmpty())
            store->save(QLatin1String(BrioAccount::RefreshTokenKey), storedRefresh);
        BrioAccount::Client client(configFor(server), nullptr, store);
        QSignalSpy states(&client, &BrioAccount::Client::authStateChanged);
        QSignalSpy claims(&client, &BrioAccount::Client::claimsUpdated);

        client.authClient()->initialize();

        QFETCH(int, state);
        QTRY_COMPARE(int(client.authClient()->state()), state);
        QCOMPARE(states.size(), 1);
        QTEST(int(server.requests(RefreshPath).size()), "refreshes");
        QCOMPARE(claims.size(), state == AuthClient::SignedIn ? 1 : 0);
        QCOMPARE(client.isAuthenticated(), state == AuthClient::SignedIn);
    }

    // Signing out, by the user or by a refused refresh, forgets the tokens.
    void signOut_data()
    {
        QTest::addColumn<bool>("byUser");
        QTest::newRow("logout") << true;
        QTest::newRow("refresh refused") << false;
    }

    void signOut()
    {
        QFETCH(bool, byUser);
        TestHttpServer server;
        QVERIFY(server.listen());
        const QString logoutPath = QStringLiteral("/api/v1/realms/test/auth/logout");
        server.route(logoutPath, [](const HttpRequest &) { return HttpResponse::json("{}"); });
        server.route(RefreshPath, refreshAnswer(QString(), 400));
        auto *store = new MemoryTokenStore;
        BrioAccount::Client client(configFor(server), nullptr, store);
        AuthClient *auth = client.authClient();
        const QString access = tokenExpiringIn(600);
        auth->handleCallback(
            QUrl(QStringLiteral("http://localhost/callback#access_token=%1&refresh_token=r").arg(access)));
        QCOMPARE(auth->state(), AuthClient::SignedIn);
        QSignalSpy completed(auth, &AuthClient::logoutCompleted);

        if (byUser) {
            auth->logout();
            QCOMPARE(completed.size(), 1);
        } else {
            std::optional<bool> result;
            auth->refreshToken([&](bool ok) { result = ok; });
            QTRY_COMPARE(result, std::optional<bool>(false));
        }
        QCOMPARE(auth->state(), AuthClient::SignedOut);
        QVERIFY(store->values().isEmpty());
        if (byUser) {
            // The server hears of it with the old token.
            QTRY_COMPARE(server.requests(logoutPath).size(), 1);
            const HttpRequest request = server.requests(logoutPath).constFirst();
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.header("Authorization"), bearer(access));
            QVERIFY(request.body.isEmpty());
        }
    }
};

LUMORA_TEST_MAIN(TokensTest)
#include "tst_tokens.moc"
