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
    QString reason;
    Artifact artifact;
    int signalCount = 0;
};

// Runs one check and collects whatever the client emits until it settles.
CheckResult runCheck(Client &client, int settleMs = 0)
{
    QSignalSpy available(&client, &Client::updateAvailable);
    QSignalSpy upToDate(&client, &Client::upToDate);
    QSignalSpy failed(&client, &Client::checkFailed);
    client.check();
    const auto count = [&] { return available.size() + upToDate.size() + failed.size(); };
    if (!QTest::qWaitFor([&] { return count() > 0; }, 5000))
        return {};
    if (settleMs > 0)
        QTest::qWait(settleMs);

    CheckResult result;
    result.signalCount = int(count());
    if (!available.isEmpty()) {
        result.outcome = Available;
        result.artifact = available.first().first().value<Artifact>();
    } else if (!upToDate.isEmpty()) {
        result.outcome = UpToDate;
    } else if (!failed.isEmpty()) {
        result.outcome = Failed;
        result.reason = failed.first().first().toString();
    }
    return result;
}

QString jsonError(const QByteArray &body)
{
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return QStringLiteral("manifest invalid: JSON parse error: ") + error.errorString();
}

QString invalid(const char *reason)
{
    return QStringLiteral("manifest invalid: ") + QLatin1String(reason);
}

const QString kWindows = QStringLiteral("windows-x64");

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

        QTest::newRow("numeric patch") << "1.0.2"
                                       << "1.0.10" << -1;
        QTest::newRow("numeric patch, reversed") << "1.0.10"
                                                 << "1.0.2" << 1;
        QTest::newRow("minor beats patch") << "1.1.0"
                                           << "1.0.99" << 1;
        QTest::newRow("major beats minor") << "10.0.0"
                                           << "9.99.99" << 1;
        QTest::newRow("equal") << "1.0.2"
                               << "1.0.2" << 0;
        QTest::newRow("missing parts are zero") << "1"
                                                << "1.0.0" << 0;
        QTest::newRow("two parts") << "1.2"
                                   << "1.2.1" << -1;
        QTest::newRow("empty is 0.0.0") << ""
                                        << "0.0.0" << 0;
        QTest::newRow("empty is lower") << ""
                                        << "1.0.2" << -1;
        QTest::newRow("four parts are 0.0.0") << "1.2.3.4"
                                              << "0.0.0" << 0;
        QTest::newRow("suffix is 0.0.0") << "3-beta"
                                         << "0" << 0;
        QTest::newRow("suffix in a later part") << "1.0.2-rc1"
                                                << "0.0.0" << 0;
        QTest::newRow("empty part") << "1..2"
                                    << "0.0.0" << 0;
        QTest::newRow("prefix v") << "v2.0"
                                  << "0.0.0" << 0;
        QTest::newRow("negative part") << "1.-1"
                                       << "1.0" << -1;
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
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QString>("redirectTo");
        // Client side.
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<QString>("platformKey");
        // Expected.
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail"); // the offered version, or the failure reason
        QTest::addColumn<bool>("exact"); // false: detail is a prefix of the reason

        const QString current = QStringLiteral("1.0.2");
        const QJsonObject good = artifact();
        const auto row = [&](const char *name, const QByteArray &body, int outcome, const QString &detail,
                             const QString &version = QStringLiteral("1.0.2"), const QString &key = kWindows) {
            QTest::newRow(name) << 200 << body << 0 << false << QString() << version << key << outcome << detail
                                << true;
        };

        row("newer, numeric comparison", manifest(), Available, QStringLiteral("1.0.10"));
        row("newer minor", manifest(artifact(QStringLiteral("1.1"))), Available, QStringLiteral("1.1"));
        row("same version", manifest(artifact(current)), UpToDate, QString());
        row("older on server", manifest(artifact(QStringLiteral("1.0.1"))), UpToDate, QString());
        row("unparsable running version counts as 0.0.0", manifest(), Available, QStringLiteral("1.0.10"),
            QStringLiteral("1.0.2-dev"));

        row("min_upgradable_from met",
            manifest(with(good, QStringLiteral("min_upgradable_from"), QStringLiteral("1.0.0"))), Available,
            QStringLiteral("1.0.10"));
        row("min_upgradable_from refuses",
            manifest(with(
                artifact(QStringLiteral("1.2.0")), QStringLiteral("min_upgradable_from"), QStringLiteral("1.1.0"))),
            Failed,
            QStringLiteral("current version 1.0.2 is older than min_upgradable_from 1.1.0; please upgrade to an "
                           "intermediate release first"));
        row("min_upgradable_from ignored when up to date",
            manifest(with(artifact(current), QStringLiteral("min_upgradable_from"), QStringLiteral("1.1.0"))), UpToDate,
            QString());

        row("no artifact for this platform",
            bytes(root(QJsonObject { { QStringLiteral("macos-arm64"), good }, { QStringLiteral("linux-x64"), good } })),
            UpToDate, QString());
        row("unknown platform", manifest(), UpToDate, QString(), current, QString());
        if (BrioUpdate::currentPlatformKey() != kWindows) {
            // A Windows installer is no update for another system.
            row("running system gets no Windows build", manifest(), UpToDate, QString(), current,
                BrioUpdate::currentPlatformKey());
        }
        row("bad artifact elsewhere is skipped",
            bytes(root(QJsonObject {
                { QStringLiteral("linux-arm64"), with(good, QStringLiteral("size"), 0) }, { kWindows, good } })),
            Available, QStringLiteral("1.0.10"));
        row("own artifact bad, another fine",
            bytes(root(QJsonObject {
                { QStringLiteral("linux-arm64"), good }, { kWindows, with(good, QStringLiteral("size"), 0) } })),
            UpToDate, QString());

        const QByteArray truncated = manifest().left(40);
        row("truncated JSON", truncated, Failed, jsonError(truncated));
        const QByteArray html = "<html><body>502 Bad Gateway</body></html>";
        row("HTML instead of JSON", html, Failed, jsonError(html));
        row("empty body", QByteArray(), Failed, jsonError(QByteArray()));
        row("root is an array", "[" + manifest() + "]", Failed, invalid("manifest root is not a JSON object"));

        QJsonObject base = root(QJsonObject { { kWindows, good } });
        const auto rootWith
            = [&](const char *key, const QJsonValue &value) { return bytes(with(base, QLatin1String(key), value)); };
        row("schema missing", rootWith("schema", QJsonValue::Undefined), Failed,
            invalid("missing or non-integer field: schema"));
        row("schema as text", rootWith("schema", QStringLiteral("1")), Failed,
            invalid("missing or non-integer field: schema"));
        row("schema fractional", rootWith("schema", 1.5), Failed, invalid("missing or non-integer field: schema"));
        row("schema 2", rootWith("schema", 2), Failed, invalid("unsupported manifest schema: 2 (expected 1)"));
        row("schema 0", rootWith("schema", 0), Failed, invalid("unsupported manifest schema: 0 (expected 1)"));
        row("app missing", rootWith("app", QJsonValue::Undefined), Failed, invalid("missing or non-string field: app"));
        row("channel a number", rootWith("channel", 7), Failed, invalid("missing or non-string field: channel"));
        row("app empty", rootWith("app", QString()), Failed, invalid("manifest failed validation"));
        row("artifacts missing", rootWith("artifacts", QJsonValue::Undefined), Failed,
            invalid("missing or non-object field: artifacts"));
        row("artifacts an array", rootWith("artifacts", QJsonArray { good }), Failed,
            invalid("missing or non-object field: artifacts"));
        row("artifacts empty", rootWith("artifacts", QJsonObject()), Failed, invalid("manifest failed validation"));
        row("artifact not an object", rootWith("artifacts", QJsonObject { { kWindows, QStringLiteral("x") } }), Failed,
            invalid("artifact windows-x64 is not an object"));

        // First error wins.
        base = with(base, QStringLiteral("schema"), 2);
        row("schema 2 and app missing", rootWith("app", QJsonValue::Undefined), Failed,
            invalid("unsupported manifest schema: 2 (expected 1)"));
        base = root(QJsonObject { { kWindows, good } });
        base = with(base, QStringLiteral("app"), QJsonValue::Undefined);
        row("app and channel missing", rootWith("channel", QJsonValue::Undefined), Failed,
            invalid("missing or non-string field: app"));
        row("app missing, artifacts bad", rootWith("artifacts", QJsonArray()), Failed,
            invalid("missing or non-string field: app"));
        row("first bad artifact in key order",
            bytes(root(QJsonObject { { QStringLiteral("b"), with(good, QStringLiteral("url"), QJsonValue::Undefined) },
                { QStringLiteral("a"), with(good, QStringLiteral("sha256"), 1) } })),
            Failed, invalid("missing or non-string field: sha256"));
        row("missing string before broken rule",
            bytes(root(QJsonObject { { QStringLiteral("a"), with(good, QStringLiteral("size"), -5) },
                { QStringLiteral("b"), with(good, QStringLiteral("version"), QJsonValue::Undefined) } })),
            Failed, invalid("artifact a failed validation"));

        const auto artifactWith
            = [&](const char *key, const QJsonValue &value) { return manifest(with(good, QLatin1String(key), value)); };
        const QString validation = invalid("artifact windows-x64 failed validation");
        row("version missing", artifactWith("version", QJsonValue::Undefined), Failed,
            invalid("missing or non-string field: version"));
        row("version a number", artifactWith("version", 2), Failed, invalid("missing or non-string field: version"));
        row("released_at missing", artifactWith("released_at", QJsonValue::Undefined), Failed,
            invalid("missing or non-string field: released_at"));
        row("url missing", artifactWith("url", QJsonValue::Undefined), Failed,
            invalid("missing or non-string field: url"));
        row("sha256 null", artifactWith("sha256", QJsonValue::Null), Failed,
            invalid("missing or non-string field: sha256"));
        row("version empty", artifactWith("version", QString()), Failed, validation);
        row("released_at not a date", artifactWith("released_at", QStringLiteral("yesterday")), Failed, validation);
        row("url empty", artifactWith("url", QString()), Failed, validation);
        row("url malformed", artifactWith("url", QStringLiteral("https://[downloads")), Failed, validation);
        row("size missing", artifactWith("size", QJsonValue::Undefined), Failed, validation);
        row("size zero", artifactWith("size", 0), Failed, validation);
        row("size as text", artifactWith("size", QStringLiteral("100")), Failed, validation);
        row("sha256 of 63 characters", artifactWith("sha256", QString(63, QLatin1Char('c'))), Failed, validation);
        row("sha256 of 65 characters", artifactWith("sha256", QString(65, QLatin1Char('c'))), Failed, validation);

        // Transport.
        QTest::newRow("HTTP 404") << 404 << QByteArray("missing") << 0 << false << QString() << current << kWindows
                                  << int(Failed) << QStringLiteral("network error: ") << false;
        QTest::newRow("HTTP 500") << 500 << manifest() << 0 << false << QString() << current << kWindows << int(Failed)
                                  << QStringLiteral("network error: ") << false;
        QTest::newRow("dropped connection") << 200 << manifest() << 0 << true << QString() << current << kWindows
                                            << int(Failed) << QStringLiteral("network error: ") << false;
        QTest::newRow("timeout") << 200 << manifest() << 1500 << false << QString() << current << kWindows
                                 << int(Failed) << QStringLiteral("network error: ") << false;
        QTest::newRow("slow but in time") << 200 << manifest() << 150 << false << QString() << current << kWindows
                                          << int(Available) << QStringLiteral("1.0.10") << true;
        QTest::newRow("redirect followed") << 200 << manifest() << 0 << false << QStringLiteral("/mirror/latest.json")
                                           << current << kWindows << int(Available) << QStringLiteral("1.0.10") << true;
    }

    void check()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, delayMs);
        QFETCH(bool, drop);
        QFETCH(QString, redirectTo);
        QFETCH(QString, currentVersion);
        QFETCH(QString, platformKey);
        QFETCH(int, outcome);
        QFETCH(QString, detail);
        QFETCH(bool, exact);

        TestHttpServer server;
        QVERIFY(server.listen());
        const QString manifestPath = redirectTo.isEmpty() ? QStringLiteral("/notes/stable/latest.json") : redirectTo;
        server.route(manifestPath, [&](const HttpRequest &) {
            HttpResponse response = HttpResponse::json(body, status).delayed(delayMs);
            response.drop = drop;
            return response;
        });
        if (!redirectTo.isEmpty()) {
            server.route(QStringLiteral("/notes/stable/latest.json"),
                [&](const HttpRequest &) { return HttpResponse::redirect(server.url(redirectTo)); });
        }

        BrioUpdate::Config cfg = config(server.url(QStringLiteral("/notes/stable/")), currentVersion);
        cfg.transferTimeoutMs = 300;
        Client client(cfg);
        client.setPlatformKey(platformKey);
        const CheckResult result = runCheck(client);

        QCOMPARE(result.signalCount, 1);
        QCOMPARE(int(result.outcome), outcome);
        if (outcome == Available)
            QCOMPARE(result.artifact.version, detail);
        if (outcome == Failed && exact)
            QCOMPARE(result.reason, detail);
        if (outcome == Failed && !exact)
            QVERIFY2(
                result.reason.startsWith(detail) && result.reason.size() > detail.size(), qPrintable(result.reason));
        QVERIFY(!client.isInFlight());
    }

    void artifactFields_data()
    {
        QTest::addColumn<QJsonValue>("notesUrl");
        QTest::addColumn<QJsonValue>("mandatory");
        QTest::addColumn<QUrl>("expectedNotesUrl");
        QTest::addColumn<bool>("expectedMandatory");

        QTest::newRow("notes and mandatory")
            << QJsonValue(QStringLiteral("https://downloads.example.org/notes/1.0.10/release-notes.md"))
            << QJsonValue(true) << QUrl(QStringLiteral("https://downloads.example.org/notes/1.0.10/release-notes.md"))
            << true;
        QTest::newRow("optional fields missing")
            << QJsonValue(QJsonValue::Undefined) << QJsonValue(QJsonValue::Undefined) << QUrl() << false;
        QTest::newRow("empty notes url") << QJsonValue(QString()) << QJsonValue(false) << QUrl() << false;
    }

    void artifactFields()
    {
        QFETCH(QJsonValue, notesUrl);
        QFETCH(QJsonValue, mandatory);
        QFETCH(QUrl, expectedNotesUrl);
        QFETCH(bool, expectedMandatory);

        const QJsonObject json = with(
            with(artifact(), QStringLiteral("release_notes_url"), notesUrl), QStringLiteral("mandatory"), mandatory);
        const BrioUpdate::ManifestResult parsed = BrioUpdate::parseManifest(manifest(json));
        QVERIFY2(parsed.valid, qPrintable(parsed.error));
        const Artifact a = parsed.manifest.artifacts.value(kWindows);
        QCOMPARE(a.version, QStringLiteral("1.0.10"));
        QCOMPARE(a.releasedAt, QDateTime(QDate(2026, 11, 20), QTime(9, 30), Qt::UTC));
        QCOMPARE(a.url, QUrl(QStringLiteral("https://downloads.example.org/notes/1.0.10/LumoraNotes-setup.exe")));
        QCOMPARE(a.size, qint64(48213120));
        QCOMPARE(a.sha256, QString(64, QLatin1Char('c')));
        QCOMPARE(a.releaseNotesUrl, expectedNotesUrl);
        QCOMPARE(a.releaseNotesUrl.isValid(), !expectedNotesUrl.isEmpty());
        QCOMPARE(a.mandatory, expectedMandatory);
    }

    void manifestLocation_data()
    {
        QTest::addColumn<QString>("basePath");
        QTest::addColumn<QString>("requestedPath");

        QTest::newRow("trailing slash") << "/notes/stable/"
                                        << "/notes/stable/latest.json";
        QTest::newRow("no trailing slash") << "/notes/stable"
                                           << "/notes/stable/latest.json";
        QTest::newRow("host only") << ""
                                   << "/latest.json";
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
        const HttpRequest request = server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path, requestedPath);
        QCOMPARE(request.header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (notes)"));
    }

    void badConfiguration_data()
    {
        QTest::addColumn<QUrl>("baseUrl");
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<QString>("reason");

        QTest::newRow("no base URL") << QUrl() << "1.0.2"
                                     << "manifestBaseUrl is not valid";
        QTest::newRow("malformed base URL") << QUrl(QStringLiteral("http://[::1/"), QUrl::StrictMode) << "1.0.2"
                                            << "manifestBaseUrl is not valid";
        QTest::newRow("base URL checked first") << QUrl() << ""
                                                << "manifestBaseUrl is not valid";
        QTest::newRow("no current version") << QUrl(QStringLiteral("http://127.0.0.1:9/notes/stable/")) << ""
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
        QVERIFY(!client.isInFlight());
    }

    void secondCheckWhileInFlight()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const HttpRequest &) { return HttpResponse::json(manifest()).delayed(200); });
        Client client(config(server.url(QStringLiteral("/notes/stable/"))));
        client.setPlatformKey(kWindows);
        QSignalSpy available(&client, &Client::updateAvailable);
        QSignalSpy upToDate(&client, &Client::upToDate);
        QSignalSpy failed(&client, &Client::checkFailed);

        client.check();
        QVERIFY(client.isInFlight());
        client.check();
        QVERIFY(available.wait(3000));
        QTest::qWait(300);
        QCOMPARE(available.size(), 1);
        QCOMPARE(upToDate.size() + failed.size(), 0);
        QCOMPARE(server.requests().size(), 1);

        // Once finished, the client checks again.
        client.check();
        QVERIFY(available.wait(3000));
        QCOMPARE(server.requests().size(), 2);
    }

    void connectionRefused()
    {
        quint16 port = 0;
        {
            TestHttpServer closed;
            QVERIFY(closed.listen());
            port = closed.port();
        }
        QUrl base(QStringLiteral("http://127.0.0.1/notes/stable/"));
        base.setPort(port);
        Client client(config(base));
        const CheckResult result = runCheck(client);
        QCOMPARE(result.outcome, Failed);
        QVERIFY2(result.reason.startsWith(QLatin1String("network error: ")), qPrintable(result.reason));
    }
};

LUMORA_TEST_MAIN(UpdateClientTest)
#include "tst_updateclient.moc"
