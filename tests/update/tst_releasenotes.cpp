#include "releasenotesfetcher.h"
#include "testhttpserver.h"
#include "testmain.h"
#include "updatetestdata.h"

#include <QSignalSpy>

using namespace LumoraTest;
using BrioUpdate::ReleaseNotesFetcher;

namespace {

struct FetchResult
{
    bool ready = false;
    QString markdown;
    int signalCount = 0;
};

FetchResult runFetch(ReleaseNotesFetcher &fetcher)
{
    QSignalSpy ready(&fetcher, &ReleaseNotesFetcher::notesReady);
    QSignalSpy unavailable(&fetcher, &ReleaseNotesFetcher::notesUnavailable);
    fetcher.fetch();
    FetchResult result;
    if (!QTest::qWaitFor([&] { return !ready.isEmpty() || !unavailable.isEmpty(); }, 5000))
        return result;
    QTest::qWait(20); // a second signal would be a fault
    result.signalCount = int(ready.size() + unavailable.size());
    result.ready = !ready.isEmpty();
    if (result.ready)
        result.markdown = ready.first().first().toString();
    return result;
}

// A canned answer for one notes file; status 0 means the connection drops.
HttpResponse answer(int status, const QByteArray &body)
{
    return status == 0 ? HttpResponse::dropped() : HttpResponse::text(body, status);
}

} // namespace

class ReleaseNotesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void location_data()
    {
        QTest::addColumn<QString>("baseUrl");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");

        QTest::newRow("channel folder") << "https://downloads.example.org/notes/stable/"
                                        << "1.0.2"
                                        << "https://downloads.example.org/notes/1.0.2/release-notes.md";
        QTest::newRow("no trailing slash") << "https://downloads.example.org/notes/stable"
                                           << "1.0.2"
                                           << "https://downloads.example.org/notes/1.0.2/release-notes.md";
        QTest::newRow("channel at the root") << "http://127.0.0.1:8080/stable/"
                                             << "2.0.0"
                                             << "http://127.0.0.1:8080/2.0.0/release-notes.md";
    }

    void location()
    {
        QFETCH(QString, baseUrl);
        QFETCH(QString, version);
        QFETCH(QString, expected);
        QCOMPARE(ReleaseNotesFetcher::releaseNotesUrl(QUrl(baseUrl), version), QUrl(expected));
    }

    void localizedUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");

        const QString notes = QStringLiteral("https://d.example.org/notes/1.0.2/release-notes.md");
        QTest::newRow("german") << notes << "de"
                                << "https://d.example.org/notes/1.0.2/release-notes.de.md";
        QTest::newRow("english has none") << notes << "en"
                                          << "";
        QTest::newRow("no language") << notes << ""
                                     << "";
        QTest::newRow("not markdown") << "https://d.example.org/notes/1.0.2/notes.txt"
                                      << "fr"
                                      << "";
    }

    void localizedUrl()
    {
        QFETCH(QString, url);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        QCOMPARE(ReleaseNotesFetcher::localizedUrl(QUrl(url), language), QUrl(expected));
    }

    void fetch_data()
    {
        // Server: status (0 drops the connection) and body of both files.
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("variantStatus");
        QTest::addColumn<QByteArray>("variantBody");
        QTest::addColumn<int>("defaultStatus");
        QTest::addColumn<QByteArray>("defaultBody");
        // Expected.
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QStringList>("requested");

        const QString de = QStringLiteral("/notes/1.0.2/release-notes.de.md");
        const QString en = QStringLiteral("/notes/1.0.2/release-notes.md");
        const QByteArray english = "# Lumora Notes 1.0.2\n\n- Faster search";
        const QByteArray german = "# Lumora Notes 1.0.2\n\n- Schnellere Suche";

        QTest::newRow("english reads the default")
            << "en" << 200 << german << 200 << english << true << QString::fromUtf8(english) << QStringList { en };
        QTest::newRow("german variant") << "de" << 200 << german << 200 << english << true << QString::fromUtf8(german)
                                        << QStringList { de };
        QTest::newRow("variant missing") << "de" << 404 << QByteArray() << 200 << english << true
                                         << QString::fromUtf8(english) << QStringList { de, en };
        QTest::newRow("variant blank") << "de" << 200 << QByteArray(" \n\t\n") << 200 << english << true
                                       << QString::fromUtf8(english) << QStringList { de, en };
        QTest::newRow("variant dropped") << "de" << 0 << QByteArray() << 200 << english << true
                                         << QString::fromUtf8(english) << QStringList { de, en };
        QTest::newRow("both missing") << "de" << 404 << QByteArray() << 404 << QByteArray("Not Found") << false
                                      << QString() << QStringList { de, en };
        QTest::newRow("default blank") << "en" << 200 << german << 200 << QByteArray("\n   \n") << false << QString()
                                       << QStringList { en };
        QTest::newRow("default server error")
            << "en" << 200 << german << 500 << english << false << QString() << QStringList { en };
        QTest::newRow("default dropped") << "" << 200 << german << 0 << english << false << QString()
                                         << QStringList { en };
        QTest::newRow("trimmed UTF-8") << "en" << 200 << german << 200
                                       << QByteArray("\n\n  Gr\xc3\xb6\xc3\x9f"
                                                     "e \xe2\x9c\x93 \n")
                                       << true << QStringLiteral("Gr\u00f6\u00dfe \u2713") << QStringList { en };
    }

    void fetch()
    {
        QFETCH(QString, language);
        QFETCH(int, variantStatus);
        QFETCH(QByteArray, variantBody);
        QFETCH(int, defaultStatus);
        QFETCH(QByteArray, defaultBody);
        QFETCH(bool, ready);
        QFETCH(QString, markdown);
        QFETCH(QStringList, requested);

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.0.2/release-notes.de.md"),
            [&](const HttpRequest &) { return answer(variantStatus, variantBody); });
        server.route(QStringLiteral("/notes/1.0.2/release-notes.md"),
            [&](const HttpRequest &) { return answer(defaultStatus, defaultBody); });

        ReleaseNotesFetcher fetcher(UpdateTestData::config(server.url(QStringLiteral("/notes/stable/"))));
        fetcher.setLanguage(language);
        const FetchResult result = runFetch(fetcher);

        QCOMPARE(result.signalCount, 1);
        QCOMPARE(result.ready, ready);
        QCOMPARE(result.markdown, markdown);
        QStringList paths;
        for (const HttpRequest &request : server.requests()) {
            // A dropped idempotent request may be retried once; count each path once.
            if (!paths.contains(request.path))
                paths.append(request.path);
            QCOMPARE(request.header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (notes)"));
        }
        QCOMPARE(paths, requested);
    }

    void explicitUrl()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(
            QStringLiteral("/rel/1.1.0/notes.md"), [](const HttpRequest &) { return HttpResponse::text("## 1.1.0"); });
        ReleaseNotesFetcher fetcher(server.url(QStringLiteral("/rel/1.1.0/notes.md")), QStringLiteral("update-dialog"));
        fetcher.setLanguage(QStringLiteral("fr"));
        const FetchResult result = runFetch(fetcher);

        QVERIFY(result.ready);
        QCOMPARE(result.markdown, QStringLiteral("## 1.1.0"));
        const QList<HttpRequest> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).path, QStringLiteral("/rel/1.1.0/notes.fr.md"));
        QCOMPARE(requests.at(1).header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (update-dialog)"));
    }
};

LUMORA_TEST_MAIN(ReleaseNotesTest)
#include "tst_releasenotes.moc"
