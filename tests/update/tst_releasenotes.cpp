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
        // Server: status (0 drops the connection) and body of both files.
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
        const QString englishText = QString::fromUtf8(english);

        QTest::newRow("english reads the default")
            << 200 << german << 200 << english << base << "en" << englishText << QStringList { en };
        QTest::newRow("base without trailing slash") << 200 << german << 200 << english << "/notes/stable"
                                                     << "" << englishText << QStringList { en };
        QTest::newRow("german variant") << 200 << german << 200 << english << base << "de" << QString::fromUtf8(german)
                                        << QStringList { de };
        QTest::newRow("variant missing") << 404 << QByteArray() << 200 << english << base << "de" << englishText
                                         << QStringList { de, en };
        QTest::newRow("variant blank") << 200 << QByteArray(" \n\t") << 200 << english << base << "de" << englishText
                                       << QStringList { de, en };
        QTest::newRow("variant dropped") << 0 << QByteArray() << 200 << english << base << "de" << englishText
                                         << QStringList { de, en };
        QTest::newRow("both missing") << 404 << QByteArray() << 404 << QByteArray("Not Found") << base << "de"
                                      << QString() << QStringList { de, en };
        QTest::newRow("default blank") << 200 << german << 200 << QByteArray("\n  \n") << base << "en" << QString()
                                       << QStringList { en };
        QTest::newRow("trimmed UTF-8") << 200 << german << 200
                                       << QByteArray("\n Gr\xc3\xb6\xc3\x9f"
                                                     "e \xe2\x9c\x93\n")
                                       << base << "en" << QStringLiteral("Gr\u00f6\u00dfe \u2713")
                                       << QStringList { en };
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

        const auto answer = [](int status, const QByteArray &body) {
            return status == 0 ? HttpResponse::dropped() : HttpResponse::text(body, status);
        };
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.0.2/release-notes.de.md"),
            [&](const HttpRequest &) { return answer(variantStatus, variantBody); });
        server.route(QStringLiteral("/notes/1.0.2/release-notes.md"),
            [&](const HttpRequest &) { return answer(defaultStatus, defaultBody); });

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
            if (!paths.contains(request.path)) // a dropped GET may be retried once
                paths.append(request.path);
            QCOMPARE(request.header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (notes)"));
        }
        QCOMPARE(paths, requested);
    }
};

LUMORA_TEST_MAIN(ReleaseNotesTest)
#include "tst_releasenotes.moc"
