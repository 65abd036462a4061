#include "releasenotesfetcher.h"
#include "testhttpserver.h"
#include "testmain.h"
#include "updatetestdata.h"

#include <QSignalSpy>

using namespace LumoraTest;
using BrioUpdate::ReleaseNotesFetcher;

class ReleaseNotesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fetch_data()
    {
        // Server: status and body of the German and the default file.
        QTest::addColumn<int>("variantStatus");
        QTest::addColumn<QByteArray>("variantBody");
        QTest::addColumn<int>("defaultStatus");
        QTest::addColumn<QByteArray>("defaultBody");
        // Client.
        QTest::addColumn<QString>("basePath");
        QTest::addColumn<QString>("language");
        // Expected: the notes (empty: unavailable) and the paths asked for.
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QStringList>("requested");

        const QString de = QStringLiteral("/notes/1.0.2/release-notes.de.md");
        const QString en = QStringLiteral("/notes/1.0.2/release-notes.md");
        const QString base = QStringLiteral("/notes/stable/");
        const QByteArray english = "# 1.0.2\n\n- Faster search";
        const QByteArray german = "# 1.0.2\n\n- Schnellere Suche";

        QTest::newRow("english reads the default")
            << 200 << german << 200 << english << base << "en" << QString::fromUtf8(english) << QStringList { en };
        QTest::newRow("no language, base without trailing slash")
            << 200 << german << 200 << english << "/notes/stable"
            << "" << QString::fromUtf8(english) << QStringList { en };
        QTest::newRow("latest.json at the server root")
            << 200 << german << 200 << english << "/"
            << "" << QString() << QStringList { QStringLiteral("/1.0.2/release-notes.md") };
        QTest::newRow("german variant") << 200 << german << 200 << english << base << "de" << QString::fromUtf8(german)
                                        << QStringList { de };
        QTest::newRow("variant missing") << 404 << QByteArray("Not Found") << 200 << english << base << "de"
                                         << QString::fromUtf8(english) << QStringList { de, en };
        QTest::newRow("variant blank, default trimmed UTF-8")
            << 200 << QByteArray(" \n\t") << 200
            << QByteArray("\n Gr\xc3\xb6\xc3\x9f"
                          "e \xe2\x9c\x93\n")
            << base << "de" << QStringLiteral("Gr\u00f6\u00dfe \u2713") << QStringList { de, en };
        QTest::newRow("neither usable") << 404 << QByteArray("Not Found") << 200 << QByteArray("\n  \n") << base << "de"
                                        << QString() << QStringList { de, en };
    }

    void fetch()
    {
        QFETCH(int, variantStatus);
        QFETCH(QByteArray, variantBody);
        QFETCH(int, defaultStatus);
        QFETCH(QByteArray, defaultBody);
        QFETCH(QString, basePath);
        QFETCH(QString, language);
        QFETCH(QString, notes);
        QFETCH(QStringList, requested);

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.0.2/release-notes.de.md"),
            [&](const HttpRequest &) { return HttpResponse::text(variantBody, variantStatus); });
        server.route(QStringLiteral("/notes/1.0.2/release-notes.md"),
            [&](const HttpRequest &) { return HttpResponse::text(defaultBody, defaultStatus); });

        ReleaseNotesFetcher fetcher(UpdateTestData::config(server.url(basePath)));
        fetcher.setLanguage(language);
        QSignalSpy ready(&fetcher, &ReleaseNotesFetcher::notesReady);
        QSignalSpy unavailable(&fetcher, &ReleaseNotesFetcher::notesUnavailable);
        fetcher.fetch();
        QTRY_COMPARE_WITH_TIMEOUT(ready.size() + unavailable.size(), 1, 5000);
        QTest::qWait(20);
        QCOMPARE(ready.size() + unavailable.size(), 1);
        QCOMPARE(ready.isEmpty() ? QString() : ready.first().first().toString(), notes);

        QStringList paths;
        for (const HttpRequest &request : server.requests()) {
            paths.append(request.path);
            QCOMPARE(request.header("User-Agent"), UpdateTestData::kUserAgent);
        }
        QCOMPARE(paths, requested);
    }
};

LUMORA_TEST_MAIN(ReleaseNotesTest)
#include "tst_releasenotes.moc"
