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

enum Outcome { Available, UpToDate, Failed };

const QString kWindows = QStringLiteral("windows-x64");

QString invalid(const char *reason)
{
    return QStringLiteral("manifest invalid: ") + QLatin1String(reason);
}

} // namespace

class UpdateClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_data()
    {
        // Server behaviour.
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("delayMs");
        // Client.
        QTest::addColumn<QString>("platformKey");
        QTest::addColumn<QString>("current");
        // Expected; a detail ending in ": " is a prefix of the reason.
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail");

        const auto row = [](const char *name, const QByteArray &body, Outcome outcome, const QString &detail = {},
                             const QString &key = kWindows, const QString &current = QStringLiteral("1.0.2")) {
            QTest::newRow(name) << body << 200 << 0 << key << current << int(outcome) << detail;
        };
        const auto transport = [](const char *name, int status, int delayMs) {
            QTest::newRow(name) << manifest() << status << delayMs << kWindows << QStringLiteral("1.0.2") << int(Failed)
                                << QStringLiteral("network error: ");
        };
        const QJsonObject good = artifact();
        const auto artifactWith
            = [&](const char *key, const QJsonValue &value) { return manifest(with(good, QLatin1String(key), value)); };
        const QJsonObject base = root(QJsonObject { { kWindows, good } });
        const auto rootWith
            = [&](const char *key, const QJsonValue &value) { return bytes(with(base, QLatin1String(key), value)); };

        row("1.0.10 is newer than 1.0.2", manifest(), Available, QStringLiteral("1.0.10"));
        row("same version", manifest(), UpToDate, {}, kWindows, QStringLiteral("1.0.10"));
        row("missing parts are zero", manifest(artifact(QStringLiteral("1.1"))), UpToDate, {}, kWindows,
            QStringLiteral("1.1.0"));
        row("older on server", manifest(artifact(QStringLiteral("1.0.1"))), UpToDate);
        row("no current version", manifest(), Failed, QStringLiteral("currentVersion is empty"), kWindows, QString());
        row("min_upgradable_from refuses", artifactWith("min_upgradable_from", QStringLiteral("1.0.5")), Failed,
            QStringLiteral("current version 1.0.2 is older than min_upgradable_from 1.0.5; please upgrade to an "
                           "intermediate release first"));
        row("url with spaces",
            artifactWith("url", QStringLiteral("https://downloads.example.org/Lumora Notes 1.0.10.exe")), Available,
            QStringLiteral("1.0.10"));
        row("no artifact for this platform", manifest(good, QStringLiteral("macos-arm64")), UpToDate);
        if (BrioUpdate::currentPlatformKey() != kWindows) // a Windows installer is no update elsewhere
            row("running system", manifest(), UpToDate, {}, BrioUpdate::currentPlatformKey());
        row("bad artifact of another platform is skipped",
            bytes(root(QJsonObject {
                { QStringLiteral("linux-arm64"), with(good, QStringLiteral("size"), 0) }, { kWindows, good } })),
            Available, QStringLiteral("1.0.10"));

        // Failure reasons; the first one found is reported.
        row("HTML instead of JSON", "<html>502 Bad Gateway</html>", Failed, invalid("JSON parse error: "));
        row("schema 2", rootWith("schema", 2), Failed, invalid("unsupported manifest schema: 2 (expected 1)"));
        row("artifacts empty", rootWith("artifacts", QJsonObject()), Failed, invalid("manifest failed validation"));
        row("version missing", artifactWith("version", QJsonValue::Undefined), Failed,
            invalid("missing or non-string field: version"));
        row("sha256 of 63 characters", artifactWith("sha256", QString(63, QLatin1Char('c'))), Failed,
            invalid("artifact windows-x64 failed validation"));
        row("first error wins: artifacts in key order",
            bytes(root(QJsonObject { { QStringLiteral("a"), with(good, QStringLiteral("size"), -5) },
                { QStringLiteral("b"), with(good, QStringLiteral("version"), 1) } })),
            Failed, invalid("artifact a failed validation"));

        transport("HTTP 404 with a valid body", 404, 0);
        transport("timeout", 200, 1500);
    }

    void check()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(int, delayMs);
        QFETCH(QString, platformKey);
        QFETCH(QString, current);
        QFETCH(int, outcome);
        QFETCH(QString, detail);

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/stable/latest.json"),
            [&](const HttpRequest &) { return HttpResponse::json(body, status).delayed(delayMs); });
        // No trailing slash: latest.json still goes below the channel folder.
        BrioUpdate::Config cfg = config(server.url(QStringLiteral("/notes/stable")), current);
        cfg.transferTimeoutMs = 300;
        Client client(cfg);
        client.setPlatformKey(platformKey);
        QSignalSpy available(&client, &Client::updateAvailable);
        QSignalSpy upToDate(&client, &Client::upToDate);
        QSignalSpy failed(&client, &Client::checkFailed);
        client.check();
        QTRY_VERIFY_WITH_TIMEOUT(available.size() + upToDate.size() + failed.size() > 0, 5000);

        QCOMPARE(available.size() + upToDate.size() + failed.size(), 1);
        const int got = !available.isEmpty() ? Available : !failed.isEmpty() ? Failed : UpToDate;
        QCOMPARE(got, outcome);
        const QString gotDetail = !available.isEmpty() ? available.first().first().value<Artifact>().version
            : !failed.isEmpty()                        ? failed.first().first().toString()
                                                       : QString();
        if (detail.endsWith(QLatin1String(": ")))
            QVERIFY2(gotDetail.startsWith(detail) && gotDetail.size() > detail.size(), qPrintable(gotDetail));
        else
            QCOMPARE(gotDetail, detail);
        QCOMPARE(server.requests().size(), current.isEmpty() ? 0 : 1);
        for (const HttpRequest &request : server.requests())
            QCOMPARE(request.header("User-Agent"), kUserAgent);
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
        QCOMPARE(server.requests().constFirst().path, QStringLiteral("/notes/stable/latest.json"));

        client.check(); // finished, so it checks again
        QVERIFY(available.wait(3000));
    }
};

LUMORA_TEST_MAIN(UpdateClientTest)
#include "tst_updateclient.moc"
