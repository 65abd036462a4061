#include "testhttpserver.h"
#include "testmain.h"
#include "updatedialog.h"
#include "updatetestdata.h"
#include "updateui.h"
#include "whatsnewdialog.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QTextBrowser>

#include <memory>

using namespace LumoraTest;
using namespace UpdateTestData;
using namespace BrioUpdate;

// Stands in for the system browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

class UpdateDialogsTest : public QObject
{
    Q_OBJECT

private:
    UrlCatcher m_browser;
    QStringList m_calls;

    static QList<QDialog *> openDialogs()
    {
        QList<QDialog *> result;
        const QList<QWidget *> windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            if (auto *dialog = qobject_cast<QDialog *>(window))
                result.append(dialog);
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase() { QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    void init()
    {
        m_browser.urls.clear();
        m_calls.clear();
    }
    void cleanup() { qDeleteAll(openDialogs()); }

    void entryPoints_data()
    {
        QTest::addColumn<QString>("action"); // "check", "whatsNew", "startupCheck" or "startup" (no callbacks)
        // Server: the running version's notes, and latest.json offering 1.1.0.
        QTest::addColumn<int>("runningNotesStatus");
        QTest::addColumn<QByteArray>("manifestBody");
        QTest::addColumn<bool>("closeParent"); // before latest.json is answered
        // Expected: the dialog that opens (empty title: none), its notes as Markdown (empty: no notes
        // browser), whether it offers the download, and the callbacks.
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("hasDownload");
        QTest::addColumn<QStringList>("calls");

        // NOTES_URL becomes the server's notes of 1.1.0; NOTES_URL.gone answers 404.
        const auto offer = [](const char *notesUrl) {
            QJsonObject json = artifact(QStringLiteral("1.1.0"));
            if (notesUrl)
                json.insert(QStringLiteral("release_notes_url"), QLatin1String(notesUrl));
            return manifest(json, currentPlatformKey());
        };
        const QString checking = QStringLiteral("busy:Checking for updates…");
        const QString loading = QStringLiteral("busy:Loading release notes…");
        const QString done = QStringLiteral("done");
        const QString update = QStringLiteral("Update available");
        const QString running = QStringLiteral("What's New in Lumora Notes 1.0.2");
        const QString offered = QStringLiteral("# Offered version");
        const QStringList nothing { loading, done,
            QStringLiteral("message:No release notes available for Lumora Notes 1.0.2|5000") };

        QTest::newRow("check: newer with notes") << "check" << 404 << offer("NOTES_URL") << false << update << offered
                                                 << true << QStringList { checking, done };
        QTest::newRow("check: newer, notes fail")
            << "check" << 404 << offer("NOTES_URL.gone") << false << update
            << "*Release notes are not available for this version.*" << true << QStringList { checking, done };
        QTest::newRow("check: up to date")
            << "check" << 404 << manifest(artifact(QStringLiteral("1.0.2")), currentPlatformKey()) << false << QString()
            << QString() << false
            << QStringList { checking, done,
                   QStringLiteral("message:Lumora Notes is up to date (version 1.0.2)|5000") };
        QTest::newRow("check: failed") << "check" << 404 << QByteArray("[]") << false << QString() << QString() << false
                                       << QStringList { checking, done,
                                              QStringLiteral("message:Update check failed: manifest invalid: "
                                                             "manifest root is not a JSON object|5000") };
        QTest::newRow("check: parent closed first") << "check" << 404 << offer(nullptr) << true << QString()
                                                    << QString() << false << QStringList { checking, done };
        QTest::newRow("start-up check: newer, does not block the app")
            << "startupCheck" << 404 << offer(nullptr) << false << update << QString() << true << QStringList();
        QTest::newRow("what's new: running version's notes")
            << "whatsNew" << 200 << offer("NOTES_URL") << false << running << "# Running version" << false
            << QStringList { loading, done };
        QTest::newRow("what's new: newer release's notes")
            << "whatsNew" << 404 << offer("NOTES_URL") << false << QStringLiteral("What's New in Lumora Notes 1.1.0")
            << offered << true << QStringList { loading, done };
        QTest::newRow("what's new: newer without notes url")
            << "whatsNew" << 404 << offer(nullptr) << false << QString() << QString() << false << nothing;
        QTest::newRow("what's new: check failed")
            << "whatsNew" << 404 << QByteArray("{") << false << QString() << QString() << false << nothing;
        QTest::newRow("startup: notes published") << "startup" << 200 << offer("NOTES_URL") << false << running
                                                  << "# Running version" << false << QStringList();
        QTest::newRow("startup: no notes")
            << "startup" << 404 << offer("NOTES_URL") << false << QString() << QString() << false << QStringList();
    }

    void entryPoints()
    {
        QFETCH(QString, action);
        QFETCH(int, runningNotesStatus);
        QFETCH(QByteArray, manifestBody);
        QFETCH(bool, closeParent);
        QFETCH(QString, title);
        QFETCH(QString, notes);
        QFETCH(bool, hasDownload);
        QFETCH(QStringList, calls);
        if (currentPlatformKey().isEmpty())
            QSKIP("no builds are published for this system");

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.0.2/release-notes.md"),
            [&](const HttpRequest &) { return HttpResponse::text("# Running version", runningNotesStatus); });
        server.route(QStringLiteral("/notes/1.1.0/release-notes.md"),
            [](const HttpRequest &) { return HttpResponse::text("# Offered version"); });
        manifestBody.replace("NOTES_URL", server.url(QStringLiteral("/notes/1.1.0/release-notes.md")).toEncoded());
        server.route(QStringLiteral("/notes/stable/latest.json"),
            [&](const HttpRequest &) { return HttpResponse::json(manifestBody).delayed(closeParent ? 200 : 0); });

        auto parent = std::make_unique<QWidget>();
        const Config cfg = config(server.url(QStringLiteral("/notes/stable/")));
        if (action == QLatin1String("check"))
            BrioUpdate::checkForUpdates(cfg, QStringLiteral("Lumora Notes"), parent.get(), recordingCallbacks());
        else if (action == QLatin1String("startupCheck"))
            checkForUpdatesSilently(cfg, QStringLiteral("Lumora Notes"), parent.get());
        else if (action == QLatin1String("whatsNew"))
            showWhatsNew(cfg, QStringLiteral("Lumora Notes"), parent.get(), recordingCallbacks());
        else
            showStartupWhatsNew(cfg, QStringLiteral("Lumora Notes"), parent.get());
        QVERIFY(server.waitForRequests(1));
        if (closeParent)
            parent.reset();
        QTRY_VERIFY_WITH_TIMEOUT(m_calls.size() >= calls.size(), 5000);
        QTest::qWait(100);
        QCOMPARE(m_calls, calls);

        const QList<QDialog *> dialogs = openDialogs();
        QCOMPARE(dialogs.size(), title.isEmpty() ? 0 : 1);
        if (dialogs.isEmpty())
            return;
        QDialog *dialog = dialogs.constFirst();
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(dialog->parentWidget(), parent.get());
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->isModal(), action == QLatin1String("check")); // only what the user asked for may block
        auto *browser = dialog->findChild<QTextBrowser *>();
        QCOMPARE(browser != nullptr, !notes.isEmpty());
        if (browser)
            QTRY_COMPARE_WITH_TIMEOUT(browser->toMarkdown().trimmed(), notes, 5000);
        auto *download = dialog->findChild<QPushButton *>(QStringLiteral("download"));
        QCOMPARE(download != nullptr, hasDownload);
        if (download) {
            download->click();
            QCOMPARE(m_browser.urls,
                QList<QUrl> { QUrl(artifact(QStringLiteral("1.1.0"))[QStringLiteral("url")].toString()) });
        }
    }

    void feedback_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("opened");
        QTest::newRow("origin") << "https://feedback.example.org"
                                << "https://feedback.example.org/?tags=notes";
        QTest::newRow("folder with slash") << "https://feedback.example.org/lumora/"
                                           << "https://feedback.example.org/lumora/?tags=notes";
    }

    void feedback()
    {
        QFETCH(QString, site);
        QFETCH(QString, opened);
        openFeedback(FeedbackConfig { QStringLiteral("notes"), QUrl(site) });
        QCOMPARE(m_browser.urls, QList<QUrl> { QUrl(opened) });
    }

private:
    UiCallbacks recordingCallbacks()
    {
        return UiCallbacks { [this](const QString &text) { m_calls.append(QStringLiteral("busy:") + text); },
            [this] { m_calls.append(QStringLiteral("done")); },
            [this](const QString &text, int timeoutMs) {
                m_calls.append(QStringLiteral("message:%1|%2").arg(text).arg(timeoutMs));
            } };
    }
};

LUMORA_TEST_MAIN(UpdateDialogsTest)
#include "tst_updatedialogs.moc"
