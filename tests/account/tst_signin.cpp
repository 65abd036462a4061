#include "accounttest.h"
#include "apiclient.h"
#include "authclient.h"
#include "testenvironment.h"
#include "testmain.h"
#include "tokenmanager.h"
#include "webauthhandler.h"

#include <QDirIterator>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <memory>

using namespace AccountTest;
using namespace LumoraTest;
using BrioAccount::AuthClient;
using BrioAccount::WebAuthHandler;

namespace {

// What a browser sends to the loopback server; the answer it got back. The
// server lives in this thread, so the waits spin the event loop.
QByteArray sendRaw(quint16 port, const QByteArray &request, bool *connected = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState
                                       || socket.state() == QAbstractSocket::UnconnectedState; },
                          3000);
    const bool ok = socket.state() == QAbstractSocket::ConnectedState;
    if (connected)
        *connected = ok;
    if (!ok)
        return {};
    socket.write(request);
    (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 3000);
    return socket.readAll();
}

QByteArray callbackRequest(const QString &target, const QByteArray &extraHeaders = {})
{
    return "GET " + target.toUtf8() + " HTTP/1.1\r\nHost: localhost\r\n" + extraHeaders + "\r\n";
}

QStringList s_messages;

void captureMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    s_messages.append(QString::fromLatin1(context.category ? context.category : "") + QLatin1Char(' ') + message);
}

} // namespace

class SignInTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<BrioAccount::Client> m_client;
    QList<QUrl> m_opened;

    AuthClient *auth() const { return m_client->authClient(); }

    // Starts a sign-in whose "browser" only records the page it was sent to.
    quint16 startLogin()
    {
        auth()->login();
        return auth()->pendingLogin() ? auth()->pendingLogin()->port() : 0;
    }

    QString state() const
    {
        return QUrlQuery(m_opened.value(0)).queryItemValue(QStringLiteral("state"));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_client = std::make_unique<BrioAccount::Client>(configFor(*m_server), nullptr, new BrioAccount::MemoryTokenStore);
        m_opened.clear();
        auth()->setUrlOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
        auth()->initialize();
    }

    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    void loginPage()
    {
        const quint16 port = startLogin();
        QVERIFY(port != 0);
        QCOMPARE(m_opened.size(), 1);
        const QUrl page = m_opened.constFirst();
        QCOMPARE(page.toString(QUrl::RemoveQuery), m_server->url(QStringLiteral("/test/account/login")).toString());
        const QString redirect = QStringLiteral("http://localhost:%1/callback").arg(port);
        QVERIFY2(page.toEncoded().contains(QByteArray("client_id=0123456789abcdef0123456789abcdef&redirect_uri="
                                                      + QUrl::toPercentEncoding(redirect))),
                 page.toEncoded().constData());
        QCOMPARE(state().size(), 32);
        // Waiting for the browser changes nothing yet.
        QCOMPARE(auth()->state(), AuthClient::SignedOut);
    }

    // The browser's requests to the loopback server, and what comes of them.
    void loopback_data()
    {
        // What the browser sends first; "%s" stands for the sign-in's state.
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("headers");
        // Expected.
        QTest::addColumn<bool>("answered"); // the fixed page, and the server stops
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("failure");

        const QString tokens = QStringLiteral("access_token=%1&refresh_token=r-1").arg(tokenExpiringIn(600));
        QTest::newRow("tokens in the query") << QStringLiteral("/callback?") + tokens << QByteArray() << true
                                             << int(AuthClient::SignedIn) << QString();
        QTest::newRow("with our state") << QStringLiteral("/callback?state=%s&") + tokens << QByteArray() << true
                                        << int(AuthClient::SignedIn) << QString();
        QTest::newRow("no tokens") << QStringLiteral("/callback?error=access_denied") << QByteArray() << true
                                   << int(AuthClient::SignedOut) << QStringLiteral("No tokens received");
        QTest::newRow("foreign state is turned away") << QStringLiteral("/callback?state=forged&") + tokens
                                                      << QByteArray() << false << int(AuthClient::SignedOut)
                                                      << QString();
        QTest::newRow("other path is turned away") << QStringLiteral("/favicon.ico") << QByteArray() << false
                                                   << int(AuthClient::SignedOut) << QString();
        QTest::newRow("request from another web page") << QStringLiteral("/callback?") + tokens
                                                       << QByteArray("Origin: https://evil.example\r\n") << false
                                                       << int(AuthClient::SignedOut) << QString();
    }

    void loopback()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, headers);
        QFETCH(bool, answered);
        QFETCH(QString, failure);
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        QSignalSpy failed(auth(), &AuthClient::loginFailed);
        const quint16 port = startLogin();
        QVERIFY(port != 0);

        const QByteArray reply = sendRaw(port, callbackRequest(QString(target).replace(QStringLiteral("%s"), state()), headers));

        if (answered) {
            QCOMPARE(reply, WebAuthHandler::replyText());
        } else {
            QVERIFY2(reply.startsWith("HTTP/1.1 400 "), reply.constData());
        }
        QTRY_COMPARE(succeeded.size() + failed.size(), answered ? 1 : 0);
        QTEST(int(auth()->state()), "state");
        if (!failure.isEmpty())
            QCOMPARE(failed.constFirst().constFirst().toString(), failure);

        // Only the answered request ends the server: a second one finds nobody.
        bool connected = false;
        const QByteArray second = sendRaw(port, callbackRequest(QStringLiteral("/callback?state=%1&access_token=%2&refresh_token=late")
                                                                   .arg(state(), tokenExpiringIn(600))), &connected);
        if (answered) {
            QVERIFY(!connected || second.isEmpty());
            QCOMPARE(succeeded.size() + failed.size(), 1);
        } else {
            QCOMPARE(second, WebAuthHandler::replyText());
            QTRY_COMPARE(succeeded.size(), 1);
            QCOMPARE(m_client->tokenManager()->refreshToken(), QStringLiteral("late"));
        }
    }

    // Requests already queued when the first one arrives are not served.
    void secondConnectionIgnored()
    {
        const quint16 port = startLogin();
        QTcpSocket early;
        early.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(early.waitForConnected(3000));
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        const QByteArray reply = sendRaw(port, callbackRequest(QStringLiteral("/callback?access_token=a&refresh_token=b")));
        QCOMPARE(reply, WebAuthHandler::replyText());
        early.write(callbackRequest(QStringLiteral("/callback?access_token=c&refresh_token=d")));
        early.flush();
        (void)QTest::qWaitFor([&] { return early.bytesAvailable() > 0; }, 500);
        QCOMPARE(early.readAll(), QByteArray());
        QCOMPARE(succeeded.size(), 1);
        QCOMPARE(m_client->tokenManager()->refreshToken(), QStringLiteral("b"));
    }

    void preferredPortBusy()
    {
        QTcpServer squatter;
        // Taken by this test or by someone else: busy either way.
        squatter.listen(QHostAddress::LocalHost, WebAuthHandler::PreferredPort);
        const quint16 port = startLogin();
        QVERIFY(port != 0);
        QVERIFY(port != WebAuthHandler::PreferredPort);
        QVERIFY(QUrl::fromPercentEncoding(m_opened.constFirst().toEncoded())
                    .contains(QStringLiteral("redirect_uri=http://localhost:%1/callback").arg(port)));
        QCOMPARE(sendRaw(port, callbackRequest(QStringLiteral("/callback?access_token=a&refresh_token=b"))),
                 WebAuthHandler::replyText());
        QTRY_COMPARE(auth()->state(), AuthClient::SignedIn);
    }

    void listensOnLoopbackOnly()
    {
        QHostAddress outside;
        const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
        for (const QHostAddress &address : addresses) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                outside = address;
        }
        if (outside.isNull())
            QSKIP("This machine has no address besides the loopback one to try from.");
        const quint16 port = startLogin();
        QTcpSocket socket;
        socket.connectToHost(outside, port);
        QVERIFY(!socket.waitForConnected(2000));
        QCOMPARE(auth()->pendingLogin()->isListening(), true);
    }

    // A second sign-in gives up the first one's server.
    void newLoginReplacesPending()
    {
        const quint16 first = startLogin();
        QPointer<WebAuthHandler> firstHandler = auth()->pendingLogin();
        const quint16 second = startLogin();
        QVERIFY(firstHandler.isNull());
        QVERIFY(second != 0);
        QCOMPARE(m_opened.size(), 2);
        Q_UNUSED(first);
    }

    void callbackParsing_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("refresh");

        QTest::newRow("fragment") << "http://localhost:1/callback#access_token=A&refresh_token=R" << "A" << "R";
        QTest::newRow("fragment wins") << "http://localhost:1/callback?access_token=Q&refresh_token=Q#access_token=A&refresh_token=R"
                                       << "A" << "R";
        QTest::newRow("percent-encoded") << "http://localhost:1/callback?access_token=a%2Bb%3D&refresh_token=r%20s" << "a+b="
                                         << "r s";
    }

    void callbackParsing()
    {
        QFETCH(QString, url);
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QSignalSpy failed(auth(), &AuthClient::loginFailed);
        auth()->handleCallback(QUrl(url));
        QCOMPARE(m_client->tokenManager()->accessToken(), access);
        QCOMPARE(m_client->tokenManager()->refreshToken(), refresh);
        QVERIFY(failed.isEmpty());
    }

    // No token reaches the log, whatever path it travels, and none is
    // written to a file.
    void tokensStayOutOfLogsAndFiles()
    {
        const QString access = tokenExpiringIn(600, QStringLiteral("secret-access"));
        const QString expiring = tokenExpiringIn(5, QStringLiteral("secret-expiring"));
        const QString refresh = QStringLiteral("secret-refresh-0f3e");
        const QString renewedRefresh = QStringLiteral("secret-refresh-next");
        const QString renewed = tokenExpiringIn(600, QStringLiteral("secret-renewed"));
        m_server->route(RefreshPath, [&](const HttpRequest &) {
            return HttpResponse::json(jsonBytes({{QStringLiteral("access_token"), renewed}, {QStringLiteral("refresh_token"), renewedRefresh}}));
        });
        m_server->route(QStringLiteral("/account/v1/profile"), [](const HttpRequest &) { return HttpResponse::json("{}", 401); });
        m_server->setFallback([](const HttpRequest &) { return HttpResponse::dropped(); });

        s_messages.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        const quint16 port = startLogin();
        sendRaw(port, callbackRequest(QStringLiteral("/callback?state=forged&access_token=%1&refresh_token=%2").arg(access, refresh)));
        sendRaw(port, callbackRequest(QStringLiteral("/callback?access_token=%1&refresh_token=%2").arg(expiring, refresh)));
        QTRY_COMPARE(auth()->state(), AuthClient::SignedIn);
        bool done = false;
        // Renewed before sending, then 401, renewed again, 401 again.
        m_client->accountApi()->get(QStringLiteral("/profile"), [&](bool, int, const QJsonObject &) { done = true; });
        QTRY_VERIFY(done);
        done = false;
        m_client->accountApi()->get(QStringLiteral("/elsewhere"), [&](bool, int, const QJsonObject &) { done = true; });
        QTRY_VERIFY(done);
        auth()->logout();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());

        QVERIFY(m_server->requests(RefreshPath).size() >= 2);
        QVERIFY2(s_messages.size() >= 3, qPrintable(s_messages.join(QLatin1Char('\n'))));
        // A JWT's payload part alone would give it away too.
        const auto payload = [](const QString &token) { return token.section(QLatin1Char('.'), 1, 1); };
        for (const QString &secret : {access, expiring, refresh, renewed, renewedRefresh, payload(access),
                                      payload(expiring), payload(renewed)}) {
            for (const QString &line : std::as_const(s_messages))
                QVERIFY2(!line.contains(secret), qPrintable(line));
        }

        // Files: everything this test process may write lives under one root.
        const QString root = QFileInfo(qEnvironmentVariable("NOTES_DATA_DIR")).path();
        QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(!bytes.contains(refresh.toUtf8()) && !bytes.contains(renewedRefresh.toUtf8()),
                     qPrintable(file.fileName()));
        }
    }
};

LUMORA_TEST_MAIN(SignInTest)
#include "tst_signin.moc"
