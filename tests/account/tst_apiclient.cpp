#include "accounttest.h"
#include "apiclient.h"
#include "clientconfig.h"
#include "formdata.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QHttpMultiPart>
#include <QSignalSpy>

#include <memory>

using namespace AccountTest;
using namespace LumoraTest;
using BrioAccount::ApiClient;
using BrioAccount::Client;

namespace {

const QString ItemPath = QStringLiteral("/notes/v1/item");

struct Result
{
    bool called = false;
    int calls = 0;
    bool success = false;
    int status = -1;
    QJsonObject body;
};

ApiClient::JsonCallback recordInto(std::shared_ptr<Result> result)
{
    return [result](bool success, int status, const QJsonObject &body) {
        ++result->calls;
        result->called = true;
        result->success = success;
        result->status = status;
        result->body = body;
    };
}

// Status -1 drops the connection instead of answering.
HttpResponse answer(int status, const QByteArray &body)
{
    if (status < 0)
        return HttpResponse::dropped();
    return HttpResponse::json(body, status);
}

} // namespace

class ApiClientTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<Client> m_client;
    QString m_access;

    ApiClient *notes() const { return m_client->notesApi(); }

    // Runs one request through the notes client and waits for its callback.
    std::shared_ptr<Result> run(const QByteArray &method, const QJsonObject &json = {})
    {
        auto result = std::make_shared<Result>();
        notes()->send(method, QStringLiteral("/item"), json, recordInto(result));
        if (!result->called)
            (void)QTest::qWaitFor([&] { return result->called; }, 5000);
        return result;
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_client = std::make_unique<Client>(configFor(*m_server), nullptr, new BrioAccount::MemoryTokenStore);
        notes()->setBaseUrl(m_server->url(QStringLiteral("/notes/v1")));
        m_access = tokenExpiringIn(3600, QStringLiteral("first"));
        m_client->tokenManager()->setTokens(m_access, QStringLiteral("refresh-1"));
    }

    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    // What a JSON request hands its caller, for each way the server can
    // answer, and how often the resource and the refresh endpoint were asked.
    void jsonRequest_data()
    {
        // Server behaviour.
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("firstStatus"); // -1: connection dropped
        QTest::addColumn<QByteArray>("firstBody");
        QTest::addColumn<int>("refreshStatus");
        QTest::addColumn<int>("repeatStatus");
        QTest::addColumn<QByteArray>("repeatBody");
        // Expected.
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("bodyValue"); // body["v"]; empty: empty body
        QTest::addColumn<int>("requests"); // -1: not counted
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<int>("authRequired");
        QTest::addColumn<int>("networkErrors");

        const QByteArray a = R"({"v":"a"})";
        const QByteArray again = R"({"v":"again"})";
        QTest::newRow("200 object") << QByteArray("GET") << 200 << a << 0 << 0 << QByteArray() //
                                    << true << 200 << "a" << 1 << 0 << 0 << 0;
        QTest::newRow("204 empty body") << QByteArray("DELETE") << 204 << QByteArray() << 0 << 0 << QByteArray()
                                        << true << 204 << "" << 1 << 0 << 0 << 0;
        // Large answers are read on a worker thread; the caller sees no difference.
        const QByteArray large = "{\"v\":\"large\",\"pad\":\"" + QByteArray(400 * 1024, 'x') + "\"}";
        QTest::newRow("large answer") << QByteArray("GET") << 200 << large << 0 << 0 << QByteArray() //
                                      << true << 200 << "large" << 1 << 0 << 0 << 0;
        QTest::newRow("404 keeps its body") << QByteArray("GET") << 404 << a << 0 << 0 << QByteArray() //
                                            << false << 404 << "a" << 1 << 0 << 0 << 0;
        QTest::newRow("500 not json") << QByteArray("POST") << 500 << QByteArray("<html>oops") << 0 << 0
                                      << QByteArray() << false << 500 << "" << 1 << 0 << 0 << 0;
        QTest::newRow("401, refresh, repeat succeeds") << QByteArray("GET") << 401 << a << 200 << 200 << again
                                                       << true << 200 << "again" << 2 << 1 << 0 << 0;
        QTest::newRow("401 twice reaches the caller") << QByteArray("PATCH") << 401 << a << 200 << 401 << again
                                                      << false << 401 << "again" << 2 << 1 << 0 << 0;
        QTest::newRow("401, refresh refused") << QByteArray("POST") << 401 << a << 400 << 0 << QByteArray() //
                                              << false << 401 << "" << 1 << 1 << 1 << 0;
        // Qt itself may send a request again once when the connection drops.
        QTest::newRow("transport failure") << QByteArray("GET") << -1 << QByteArray() << 0 << -1 << QByteArray()
                                           << false << 0 << "" << -1 << 0 << 0 << 1;
        QTest::newRow("unknown method sends nothing") << QByteArray("OPTIONS") << 200 << a << 0 << 0 << QByteArray()
                                                      << false << 0 << "" << 0 << 0 << 0 << 0;
    }

    void jsonRequest()
    {
        QFETCH(QByteArray, method);
        QFETCH(int, firstStatus);
        QFETCH(QByteArray, firstBody);
        QFETCH(int, refreshStatus);
        QFETCH(int, repeatStatus);
        QFETCH(QByteArray, repeatBody);

        const QString renewed = tokenExpiringIn(3600, QStringLiteral("renewed"));
        int served = 0;
        m_server->route(ItemPath, [&](const HttpRequest &) {
            return ++served == 1 ? answer(firstStatus, firstBody) : answer(repeatStatus, repeatBody);
        });
        m_server->route(RefreshPath, refreshAnswer(renewed, refreshStatus));
        QSignalSpy authRequired(notes(), &ApiClient::authenticationRequired);
        QSignalSpy networkErrors(notes(), &ApiClient::networkError);

        const auto result = run(method, QJsonObject{{QStringLiteral("k"), 1}});

        QVERIFY(result->called);
        QTEST(result->success, "success");
        QTEST(result->status, "status");
        QFETCH(QString, bodyValue);
        if (bodyValue.isEmpty())
            QVERIFY2(result->body.isEmpty(), QJsonDocument(result->body).toJson().constData());
        else
            QCOMPARE(result->body.value(QStringLiteral("v")).toString(), bodyValue);
        QFETCH(int, requests);
        if (requests >= 0)
            QCOMPARE(int(m_server->requests(ItemPath).size()), requests);
        QTEST(int(m_server->requests(RefreshPath).size()), "refreshes");
        QTEST(int(authRequired.size()), "authRequired");
        QTEST(int(networkErrors.size()), "networkErrors");
        QCOMPARE(result->calls, 1);

        const QList<HttpRequest> sent = m_server->requests(ItemPath);
        const bool renewedBetween = !m_server->requests(RefreshPath).isEmpty();
        for (qsizetype i = 0; i < sent.size(); ++i) {
            QCOMPARE(sent.at(i).method, method);
            // The repeat is the same request with the new token.
            QCOMPARE(sent.at(i).header("Authorization"), bearer(i > 0 && renewedBetween ? renewed : m_access));
            if (method != "GET" && method != "DELETE")
                QCOMPARE(sent.at(i).body, QByteArray(R"({"k":1})"));
        }
        if (!m_server->requests(RefreshPath).isEmpty()) {
            const HttpRequest refresh = m_server->requests(RefreshPath).constFirst();
            QCOMPARE(refresh.header("Authorization"), QByteArray());
            QCOMPARE(refresh.body, QByteArray(R"({"refresh_token":"refresh-1"})"));
        }
    }

    // Every request names the application; signed out, it carries no bearer.
    void headers()
    {
        m_server->route(ItemPath, [](const HttpRequest &) { return HttpResponse::json("{}"); });
        QVERIFY(run("POST", QJsonObject{{QStringLiteral("x"), true}})->called);
        m_client->tokenManager()->clearTokens();
        QVERIFY(run("POST")->called);

        const QList<HttpRequest> sent = m_server->requests(ItemPath);
        QCOMPARE(sent.size(), 2);
        for (const HttpRequest &request : sent) {
            QCOMPARE(request.header("X-App-Id"), QByteArray("app.lumora.notes.test"));
            QCOMPARE(request.header("X-App-Version"), QByteArray("9.8.7"));
            QCOMPARE(request.header("X-Platform"), QByteArray("testos"));
            QCOMPARE(request.header("Accept"), QByteArray("application/json"));
            QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        }
        QCOMPARE(sent.at(0).header("Authorization"), bearer(m_access));
        QCOMPARE(sent.at(0).body, QByteArray(R"({"x":true})"));
        QCOMPARE(sent.at(1).header("Authorization"), QByteArray());
        QCOMPARE(sent.at(1).body, QByteArray());
    }

    // Before sending, an access token that is about to expire is renewed;
    // when the renewal is refused nothing is sent.
    void refreshBeforeRequest_data()
    {
        QTest::addColumn<int>("refreshStatus");
        QTest::newRow("renewed first") << 200;
        QTest::newRow("renewal refused: nothing sent") << 401;
    }

    void refreshBeforeRequest()
    {
        QFETCH(int, refreshStatus);
        const QString renewed = tokenExpiringIn(3600, QStringLiteral("renewed"));
        m_client->tokenManager()->setTokens(tokenExpiringIn(20), QStringLiteral("refresh-1"));
        m_server->route(ItemPath, [](const HttpRequest &) { return HttpResponse::json("{}"); });
        m_server->route(RefreshPath, refreshAnswer(renewed, refreshStatus));
        QSignalSpy authRequired(notes(), &ApiClient::authenticationRequired);

        const auto result = run("GET");

        const bool refused = refreshStatus != 200;
        QCOMPARE(result->status, refused ? 401 : 200);
        QCOMPARE(m_server->requests(RefreshPath).size(), 1);
        QCOMPARE(m_server->requests(ItemPath).size(), refused ? 0 : 1);
        QCOMPARE(authRequired.size(), refused ? 1 : 0);
        if (!refused)
            QCOMPARE(m_server->requests(ItemPath).constFirst().header("Authorization"), bearer(renewed));
    }

    void binary_data()
    {
        QTest::addColumn<int>("firstStatus"); // -1: connection dropped
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("requests"); // -1: not counted

        QTest::newRow("401, refresh, repeat") << 401 << true << 200 << QByteArray("\x89PNG\r\n\x1a\n\0\1\2", 11) << 2;
        QTest::newRow("dropped") << -1 << false << 0 << QByteArray() << -1;
    }

    void binary()
    {
        QFETCH(int, firstStatus);
        QFETCH(QByteArray, bytes);
        const QByteArray png("\x89PNG\r\n\x1a\n\0\1\2", 11);
        int served = 0;
        m_server->route(QStringLiteral("/notes/v1/attachments/a1"), [&](const HttpRequest &) {
            if (firstStatus < 0)
                return HttpResponse::dropped();
            return HttpResponse::withBody(png, ++served > 1 ? 200 : firstStatus, "image/png");
        });
        m_server->route(RefreshPath, refreshAnswer(tokenExpiringIn(3600, QStringLiteral("r"))));

        bool called = false;
        bool success = false;
        int status = -1;
        QByteArray received;
        notes()->getBinary(QStringLiteral("/attachments/a1"), [&](bool ok, int code, const QByteArray &body) {
            called = true;
            success = ok;
            status = code;
            received = body;
        });
        QTRY_VERIFY(called);
        QTEST(success, "success");
        QTEST(status, "status");
        QCOMPARE(received, bytes);
        QFETCH(int, requests);
        if (requests >= 0)
            QCOMPARE(int(m_server->requests(QStringLiteral("/notes/v1/attachments/a1")).size()), requests);
    }

    // The attachment upload: the fields before the file, the file's name made
    // safe for the disposition header, and its bytes untouched. (The sync
    // tests read the same upload back through the test server's parser.)
    void multipartLayout()
    {
        m_server->route(QStringLiteral("/notes/v1/attachments"),
                        [](const HttpRequest &) { return HttpResponse::json(R"({"id":"a1"})", 201); });
        static const char bytes[] = "\0\1binary\r\n--not-a-boundary\r\n";
        const QByteArray file(bytes, sizeof bytes - 1);
        QHttpMultiPart *body = BrioAccount::createFormData({
            {QStringLiteral("note_id"), "n-1", {}, {}},
            {QStringLiteral("id"), "a-1", {}, {}},
            {QStringLiteral("file"), file, QStringLiteral("photo \"1\".png"), QString()},
        });
        auto result = std::make_shared<Result>();
        notes()->postMultipart(QStringLiteral("/attachments"), body, recordInto(result));
        QTRY_VERIFY(result->called);
        QVERIFY(result->success);
        QCOMPARE(result->body.value(QStringLiteral("id")).toString(), QStringLiteral("a1"));

        const HttpRequest request = m_server->requests(QStringLiteral("/notes/v1/attachments")).constFirst();
        QCOMPARE(request.header("Authorization"), bearer(m_access));
        QVERIFY2(request.header("Content-Type").startsWith("multipart/form-data"),
                 request.header("Content-Type").constData());
        const QByteArray lower = request.body.toLower();
        const qsizetype noteId = lower.indexOf("content-disposition: form-data; name=\"note_id\"\r\n\r\nn-1\r\n");
        const qsizetype id = lower.indexOf("content-disposition: form-data; name=\"id\"\r\n\r\na-1\r\n");
        const qsizetype name = lower.indexOf("name=\"file\"; filename=\"photo _1_.png\"");
        QVERIFY2(noteId >= 0 && noteId < id && id < name, request.body.constData());
        QVERIFY(lower.contains("content-type: application/octet-stream"));
        QVERIFY(request.body.contains(QByteArray("\r\n\r\n" + file + "\r\n--")));
    }

    void multipartFailures_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("uploads");

        QTest::newRow("null body") << "null" << 0 << 0;
        QTest::newRow("renewal refused") << "refused" << 401 << 0;
        QTest::newRow("401 is not repeated") << "401" << 401 << 1;
    }

    void multipartFailures()
    {
        QFETCH(QString, scenario);
        if (scenario == QLatin1String("refused"))
            m_client->tokenManager()->setTokens(tokenExpiringIn(-1), QStringLiteral("refresh-1"));
        m_server->route(RefreshPath, refreshAnswer(QString(), 403));
        m_server->route(QStringLiteral("/notes/v1/attachments"),
                        [](const HttpRequest &) { return HttpResponse::json("{}", 401); });
        QPointer<QHttpMultiPart> body =
            scenario == QLatin1String("null") ? nullptr : BrioAccount::createFormData({{QStringLiteral("id"), "x", {}, {}}});
        auto result = std::make_shared<Result>();
        notes()->postMultipart(QStringLiteral("/attachments"), body, recordInto(result));
        QTRY_VERIFY(result->called);
        QVERIFY(!result->success);
        QTEST(result->status, "status");
        QTEST(int(m_server->requests(QStringLiteral("/notes/v1/attachments")).size()), "uploads");
        QCOMPARE(m_server->requests(RefreshPath).size(), scenario == QLatin1String("refused") ? 1 : 0);
        // The parts are freed with the transfer, or at once when nothing is sent.
        QTRY_VERIFY(body.isNull());
    }

    void platform_data()
    {
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("expected");
        QTest::newRow("darwin") << "darwin" << "macos";
        QTest::newRow("winnt") << "winnt" << "windows";
        QTest::newRow("other kernels pass") << "FreeBSD" << "freebsd";
    }

    void platform()
    {
        QFETCH(QString, kernel);
        QTEST(BrioAccount::platformName(kernel), "expected");
    }

    void emptyPlatformIsDetected()
    {
        BrioAccount::ClientConfig config = configFor(*m_server);
        config.platform.clear();
        Client client(config, nullptr, new BrioAccount::MemoryTokenStore);
        QCOMPARE(client.platform(), BrioAccount::platformName(QSysInfo::kernelType()));
        QCOMPARE(client.accountApi()->platform(), client.platform());
    }
};

LUMORA_TEST_MAIN(ApiClientTest)
#include "tst_apiclient.moc"
