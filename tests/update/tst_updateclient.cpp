#include "client.h"
#include "testhttpserver.h"
#include "testmain.h"
#include "updatetestdata.h"

#include <QJsonArray>
#include <QSignalSpy>

using namespace LumoraTest;
using namespace UpdateTestData;
using BrioUpdate::Artifact;
using BrioUpdate::Client;

namespace {

enum Outcome { Available, UpToDate, Failed, Nothing };

struct CheckResult
{
    Outcome outcome = Nothing;
    QString detail; // the offered version or the failure reason
    int signalCount = 0;
};

// Runs one check and collects whatever the client emits.
CheckResult runCheck(Client &client)
{
    QSignalSpy available(&client, &Client::updateAvailable);
    QSignalSpy upToDate(&client, &Client::upToDate);
    QSignalSpy failed(&client, &Client::checkFailed);
    client.check();
    const auto count = [&] { return int(available.size() + upToDate.size() + failed.size()); };
    if (!QTest::qWaitFor([&] { return count() > 0; }, 5000))
        return {};
    if (!available.isEmpty())
        return { Available, available.first().first().value<Artifact>().version, count() };
    if (!failed.isEmpty())
        return { Failed, failed.first().first().toString(), count() };
    return { UpToDate, QString(), count() };
}

QString invalid(const QString &reason)
{
    return QStringLiteral("manifest invalid: ") + reason;
}

QString jsonError(const QByteArray &body)
{
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return invalid(QStringLiteral("JSON parse error: ") + error.errorString());
}

const QString kWindows = QStringLiteral("windows-x64");
const QString kNetworkError = QStringLiteral("network error: ");

} // namespace

class UpdateClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compareVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");

        QTest::newRow("numeric, not textual") << "1.0.2"
                                              << "1.0.10" << -1;
        QTest::newRow("minor beats patch") << "1.1.0"
                                           << "1.0.99" << 1;
        QTest::newRow("major beats minor") << "10.0.0"
                                           << "9.99.99" << 1;
        QTest::newRow("missing parts are zero") << "1"
                                                << "1.0.0" << 0;
        QTest::newRow("empty is lower") << ""
                                        << "1.0.2" << -1;
        QTest::newRow("four parts are 0.0.0") << "1.2.3.4"
                                              << "0" << 0;
        QTest::newRow("suffix is 0.0.0") << "1.0.2-rc1"
                                         << "0" << 0;
        QTest::newRow("empty part is 0.0.0") << "1..2"
                                             << "0" << 0;
    }

    void compareVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(BrioUpdate::compareVersions(a, b), expected);
        QCOMPARE(BrioUpdate::compareVersions(b, a), -expected);
    }

    void check_data()
    {
        // Server behaviour.
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("redirect");
        // Client.
        QTest::addColumn<QString>("platformKey");
        // Expected; a detail ending in ": " is a prefix of the reason.
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail");

        const auto row = [](const char *name, const QByteArray &body, Outcome outcome, const QString &detail,
                             const QString &key = kWindows) {
            QTest::newRow(name) << body << 200 << 0 << false << false << key << int(outcome) << detail;
        };
        const auto transport = [](const char *name, int status, int delayMs, bool drop, bool redirect, Outcome outcome,
                                   const QString &detail) {
            QTest::newRow(name) << manifest() << status << delayMs << drop << redirect << kWindows << int(outcome)
                                << detail;
        };
        const QJsonObject good = artifact();
        const QString none;

        row("1.0.10 is newer than 1.0.2", manifest(), Available, QStringLiteral("1.0.10"));
        row("same version", manifest(artifact(QStringLiteral("1.0.2"))), UpToDate, none);
        row("older on server", manifest(artifact(QStringLiteral("1.0.1"))), UpToDate, none);
        row("min_upgradable_from refuses",
            manifest(with(
                artifact(QStringLiteral("1.2.0")), QStringLiteral("min_upgradable_from"), QStringLiteral("1.1.0"))),
            Failed,
            QStringLiteral("current version 1.0.2 is older than min_upgradable_from 1.1.0; please upgrade to an "
                           "intermediate release first"));
        row("min_upgradable_from met",
            manifest(with(good, QStringLiteral("min_upgradable_from"), QStringLiteral("1.0.0"))), Available,
            QStringLiteral("1.0.10"));
        row("no artifact for this platform", bytes(root(QJsonObject { { QStringLiteral("macos-arm64"), good } })),
            UpToDate, none);
        row("unknown platform", manifest(), UpToDate, none, QString());
        if (BrioUpdate::currentPlatformKey() != kWindows) // a Windows installer is no update elsewhere
            row("running system", manifest(), UpToDate, none, BrioUpdate::currentPlatformKey());
        row("bad artifact of another platform is skipped",
            bytes(root(QJsonObject {
                { QStringLiteral("linux-arm64"), with(good, QStringLiteral("size"), 0) }, { kWindows, good } })),
            Available, QStringLiteral("1.0.10"));

        const QByteArray html = "<html><body>502 Bad Gateway</body></html>";
        row("HTML instead of JSON", html, Failed, jsonError(html));
        row("truncated JSON", manifest().left(40), Failed, jsonError(manifest().left(40)));
        row("root is an array", "[]", Failed, invalid(QStringLiteral("manifest root is not a JSON object")));

        const QJsonObject base = root(QJsonObject { { kWindows, good } });
        const auto rootWith
            = [&](const char *key, const QJsonValue &value) { return bytes(with(base, QLatin1String(key), value)); };
        const QString schema = invalid(QStringLiteral("missing or non-integer field: schema"));
        row("schema missing", rootWith("schema", QJsonValue::Undefined), Failed, schema);
        row("schema as text", rootWith("schema", QStringLiteral("1")), Failed, schema);
        row("schema fractional", rootWith("schema", 1.5), Failed, schema);
        row("schema 2", rootWith("schema", 2), Failed,
            invalid(QStringLiteral("unsupported manifest schema: 2 (expected 1)")));
        row("app missing", rootWith("app", QJsonValue::Undefined), Failed,
            invalid(QStringLiteral("missing or non-string field: app")));
        row("channel a number", rootWith("channel", 7), Failed,
            invalid(QStringLiteral("missing or non-string field: channel")));
        row("app empty", rootWith("app", QString()), Failed, invalid(QStringLiteral("manifest failed validation")));
        row("artifacts an array", rootWith("artifacts", QJsonArray { good }), Failed,
            invalid(QStringLiteral("missing or non-object field: artifacts")));
        row("artifacts empty", rootWith("artifacts", QJsonObject()), Failed,
            invalid(QStringLiteral("manifest failed validation")));
        row("artifact not an object", rootWith("artifacts", QJsonObject { { kWindows, 3 } }), Failed,
            invalid(QStringLiteral("artifact windows-x64 is not an object")));
        row("first error wins: schema before app",
            bytes(with(with(base, QStringLiteral("schema"), 2), QStringLiteral("app"), QJsonValue::Undefined)), Failed,
            invalid(QStringLiteral("unsupported manifest schema: 2 (expected 1)")));
        row("first error wins: artifacts in key order",
            bytes(root(QJsonObject { { QStringLiteral("a"), with(good, QStringLiteral("size"), -5) },
                { QStringLiteral("b"), with(good, QStringLiteral("version"), 1) } })),
            Failed, invalid(QStringLiteral("artifact a failed validation")));

        const auto artifactWith
            = [&](const char *key, const QJsonValue &value) { return manifest(with(good, QLatin1String(key), value)); };
        const QString validation = invalid(QStringLiteral("artifact windows-x64 failed validation"));
        row("version missing", artifactWith("version", QJsonValue::Undefined), Failed,
            invalid(QStringLiteral("missing or non-string field: version")));
        row("released_at a number", artifactWith("released_at", 5), Failed,
            invalid(QStringLiteral("missing or non-string field: released_at")));
        row("sha256 null", artifactWith("sha256", QJsonValue::Null), Failed,
            invalid(QStringLiteral("missing or non-string field: sha256")));
        row("sha256 of 63 characters", artifactWith("sha256", QString(63, QLatin1Char('c'))), Failed, validation);
        row("released_at not a date", artifactWith("released_at", QStringLiteral("yesterday")), Failed, validation);
        row("url malformed", artifactWith("url", QStringLiteral("https://[downloads")), Failed, validation);
        row("size missing", artifactWith("size", QJsonValue::Undefined), Failed, validation);

        transport("HTTP 404", 404, 0, false, false, Failed, kNetworkError);
        transport("dropped connection", 200, 0, true, false, Failed, kNetworkError);
        transport("timeout", 200, 1500, false, false, Failed, kNetworkError);
        transport("redirect followed", 200, 0, false, true, Available, QStringLiteral("1.0.10"));
    }

    void check()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(int, delayMs);
        QFETCH(bool, drop);
        QFETCH(bool, redirect);
        QFETCH(QString, platformKey);
        QFETCH(int, outcome);
        QFETCH(QString, detail);

        TestHttpServer server;
        QVERIFY(server.listen());
        const QString mirror = QStringLiteral("/mirror/latest.json");
        server.route(redirect ? mirror : QStringLiteral("/notes/stable/latest.json"), [&](const HttpRequest &) {
            HttpResponse response = HttpResponse::json(body, status).delayed(delayMs);
            response.drop = drop;
            return response;
        });
        if (redirect) {
            server.route(QStringLiteral("/notes/stable/latest.json"),
                [&](const HttpRequest &) { return HttpResponse::redirect(server.url(mirror)); });
        }
        BrioUpdate::Config cfg = config(server.url(QStringLiteral("/notes/stable/")));
        cfg.transferTimeoutMs = 300;
        Client client(cfg);
        client.setPlatformKey(platformKey);
        const CheckResult result = runCheck(client);

        QCOMPARE(result.signalCount, 1);
        QCOMPARE(int(result.outcome), outcome);
        if (detail.endsWith(QLatin1String(": ")))
            QVERIFY2(
                result.detail.startsWith(detail) && result.detail.size() > detail.size(), qPrintable(result.detail));
        else
            QCOMPARE(result.detail, detail);
        QVERIFY(!client.isInFlight());
    }

    void manifestLocation_data()
    {
        QTest::addColumn<QString>("basePath");
        QTest::addColumn<QString>("requestedPath");

        QTest::newRow("trailing slash") << "/notes/stable/"
                                        << "/notes/stable/latest.json";
        QTest::newRow("no trailing slash") << "/notes/stable"
                                           << "/notes/stable/latest.json";
    }

    void manifestLocation()
    {
        QFETCH(QString, basePath);
        QFETCH(QString, requestedPath);

        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const HttpRequest &) { return HttpResponse::json(manifest()); });
        Client client(config(server.url(basePath)));
        client.setPlatformKey(kWindows);
        QCOMPARE(runCheck(client).outcome, Available);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().path, requestedPath);
        QCOMPARE(server.requests().constFirst().header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (notes)"));
    }

    void badConfiguration_data()
    {
        QTest::addColumn<QUrl>("baseUrl");
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<QString>("reason");

        QTest::newRow("no base URL") << QUrl() << ""
                                     << "manifestBaseUrl is not valid";
        QTest::newRow("no version") << QUrl(QStringLiteral("http://127.0.0.1:9/")) << ""
                                    << "currentVersion is empty";
    }

    void badConfiguration()
    {
        QFETCH(QUrl, baseUrl);
        QFETCH(QString, currentVersion);
        QFETCH(QString, reason);
        Client client(config(baseUrl, currentVersion));
        QSignalSpy failed(&client, &Client::checkFailed);
        client.check();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), reason);
    }

    void secondCheckWhileInFlight()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const HttpRequest &) { return HttpResponse::json(manifest()).delayed(200); });
        Client client(config(server.url(QStringLiteral("/notes/stable/"))));
        client.setPlatformKey(kWindows);
        QSignalSpy available(&client, &Client::updateAvailable);

        client.check();
        client.check();
        QVERIFY(available.wait(3000));
        QTest::qWait(300);
        QCOMPARE(available.size(), 1);
        QCOMPARE(server.requests().size(), 1);

        client.check(); // finished, so it checks again
        QVERIFY(available.wait(3000));
    }

    void connectionRefused()
    {
        QUrl base;
        {
            TestHttpServer closed;
            QVERIFY(closed.listen());
            base = closed.url(QStringLiteral("/notes/stable/"));
        }
        Client client(config(base));
        const CheckResult result = runCheck(client);
        QCOMPARE(result.outcome, Failed);
        QVERIFY2(result.detail.startsWith(kNetworkError), qPrintable(result.detail));
    }
};

LUMORA_TEST_MAIN(UpdateClientTest)
#include "tst_updateclient.moc"
