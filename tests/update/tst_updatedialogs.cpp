#include "artifact.h"
#include "testhttpserver.h"
#include "testmain.h"
#include "updatedialog.h"
#include "updatetestdata.h"
#include "updateui.h"
#include "whatsnewdialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>

using namespace LumoraTest;
using namespace UpdateTestData;
using namespace BrioUpdate;

namespace {

const QString kName = QStringLiteral("Lumora Notes");
const QString kRunning = QStringLiteral("1.0.2");

template<typename T> QList<T *> openDialogs()
{
    QList<T *> result;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *dialog = qobject_cast<T *>(window))
            result.append(dialog);
    }
    return result;
}

QString labelText(const QWidget *dialog, const char *name)
{
    const auto *label = dialog->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

// latest.json with one artifact for the system the tests run on.
QByteArray manifestForThisSystem(const QJsonObject &artifactJson)
{
    return bytes(root(QJsonObject { { currentPlatformKey(), artifactJson } }));
}

Artifact sampleArtifact(const QUrl &notesUrl = QUrl())
{
    Artifact artifact;
    artifact.version = QStringLiteral("1.1.0");
    artifact.url = QUrl(QStringLiteral("https://downloads.example.org/notes/1.1.0/LumoraNotes-setup.exe"));
    artifact.size = 100;
    artifact.sha256 = QString(64, QLatin1Char('a'));
    artifact.releaseNotesUrl = notesUrl;
    return artifact;
}

} // namespace

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

    UiCallbacks recordingCallbacks()
    {
        UiCallbacks callbacks;
        callbacks.busy = [this](const QString &text) { m_calls.append(QStringLiteral("busy:") + text); };
        callbacks.done = [this] { m_calls.append(QStringLiteral("done")); };
        callbacks.message = [this](const QString &text, int timeoutMs) {
            m_calls.append(QStringLiteral("message:%1|%2").arg(text).arg(timeoutMs));
        };
        return callbacks;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        m_browser.urls.clear();
        m_calls.clear();
    }

    void cleanup() { qDeleteAll(openDialogs<QDialog>()); }

    void updateDialogNotes_data()
    {
        QTest::addColumn<bool>("hasNotesUrl");
        QTest::addColumn<int>("notesStatus");
        QTest::addColumn<QByteArray>("notesBody");
        QTest::addColumn<QString>("shownText"); // empty: no notes browser
        QTest::addColumn<bool>("italic");

        QTest::newRow("no notes url") << false << 200 << QByteArray("# unused") << QString() << false;
        QTest::newRow("notes load") << true << 200 << QByteArray("# Fixes\n\nNo more lost drafts.")
                                    << "Fixes\nNo more lost drafts." << false;
        QTest::newRow("notes missing") << true << 404 << QByteArray("gone")
                                       << "Release notes are not available for this version." << true;
    }

    void updateDialogNotes()
    {
        QFETCH(bool, hasNotesUrl);
        QFETCH(int, notesStatus);
        QFETCH(QByteArray, notesBody);
        QFETCH(QString, shownText);
        QFETCH(bool, italic);

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.1.0/release-notes.md"),
            [&](const HttpRequest &) { return HttpResponse::text(notesBody, notesStatus); });
        const QUrl notesUrl = hasNotesUrl ? server.url(QStringLiteral("/notes/1.1.0/release-notes.md")) : QUrl();

        UpdateDialog dialog(sampleArtifact(notesUrl), kName, kRunning);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Update available"));
        QVERIFY(dialog.isModal());
        QCOMPARE(labelText(&dialog, "headline"), QStringLiteral("A new version of Lumora Notes is available."));
        QCOMPARE(
            labelText(&dialog, "versions"), QStringLiteral("You have version 1.0.2. The latest version is 1.1.0."));

        QTextBrowser *browser = dialog.findChild<QTextBrowser *>();
        QCOMPARE(browser != nullptr, !shownText.isEmpty());
        QCOMPARE(dialog.notesBrowser(), browser);
        if (!browser) {
            QTest::qWait(50);
            QCOMPARE(server.requests().size(), 0);
            return;
        }
        QCOMPARE(browser->placeholderText(), QStringLiteral("Loading release notes…"));
        QVERIFY(browser->openExternalLinks());
        QTRY_COMPARE_WITH_TIMEOUT(browser->toPlainText(), shownText, 5000);
        QCOMPARE(browser->document()->firstBlock().charFormat().fontItalic()
                || browser->document()->firstBlock().begin().fragment().charFormat().fontItalic(),
            italic);
        QVERIFY(server.requests().size() >= 1);
        QCOMPARE(server.requests().constLast().header("User-Agent"), QByteArray("BrioUpdateQt/0.1 (update-dialog)"));
    }

    void checkForUpdates_data()
    {
        QTest::addColumn<QByteArray>("manifestBody");
        QTest::addColumn<bool>("dialogOpens");
        QTest::addColumn<QStringList>("calls");

        const QString busy = QStringLiteral("busy:Checking for updates…");
        QTest::newRow("update available")
            << manifestForThisSystem(artifact()) << true << QStringList { busy, QStringLiteral("done") };
        QTest::newRow("up to date") << manifestForThisSystem(artifact(kRunning)) << false
                                    << QStringList { busy, QStringLiteral("done"),
                                           QStringLiteral("message:Lumora Notes is up to date (version 1.0.2)|5000") };
        QTest::newRow("check failed") << bytes(
            with(root(QJsonObject { { currentPlatformKey(), artifact() } }), QStringLiteral("schema"), 2))
                                      << false
                                      << QStringList { busy, QStringLiteral("done"),
                                             QStringLiteral(
                                                 "message:Update check failed: manifest invalid: unsupported manifest "
                                                 "schema: 2 (expected 1)|5000") };
    }

    void checkForUpdates()
    {
        QFETCH(QByteArray, manifestBody);
        QFETCH(bool, dialogOpens);
        QFETCH(QStringList, calls);
        if (currentPlatformKey().isEmpty())
            QSKIP("no builds are published for this system");

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/stable/latest.json"),
            [&](const HttpRequest &) { return HttpResponse::json(manifestBody); });
        QWidget parent;
        BrioUpdate::checkForUpdates(
            config(server.url(QStringLiteral("/notes/stable/"))), kName, &parent, recordingCallbacks());
        QTRY_COMPARE_WITH_TIMEOUT(m_calls.size(), calls.size(), 5000);
        QTest::qWait(50);
        QCOMPARE(m_calls, calls);

        const QList<UpdateDialog *> dialogs = openDialogs<UpdateDialog>();
        QCOMPARE(dialogs.size(), dialogOpens ? 1 : 0);
        if (dialogOpens) {
            QCOMPARE(dialogs.constFirst()->parentWidget(), &parent);
            QVERIFY(dialogs.constFirst()->isVisible());
            QVERIFY(dialogs.constFirst()->testAttribute(Qt::WA_DeleteOnClose));
            QCOMPARE(labelText(dialogs.constFirst(), "versions"),
                QStringLiteral("You have version 1.0.2. The latest version is 1.0.10."));
        }
    }

    void parentClosedBeforeCheckCompletes()
    {
        if (currentPlatformKey().isEmpty())
            QSKIP("no builds are published for this system");
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/stable/latest.json"),
            [](const HttpRequest &) { return HttpResponse::json(manifestForThisSystem(artifact())).delayed(200); });
        auto *parent = new QWidget;
        parent->show();
        BrioUpdate::checkForUpdates(
            config(server.url(QStringLiteral("/notes/stable/"))), kName, parent, recordingCallbacks());
        QVERIFY(server.waitForRequests(1));
        delete parent;
        QTRY_VERIFY_WITH_TIMEOUT(m_calls.contains(QStringLiteral("done")), 5000);
        QTest::qWait(50);
        QCOMPARE(openDialogs<QDialog>().size(), 0);
    }

    void whatsNew_data()
    {
        QTest::addColumn<int>("runningNotesStatus");
        QTest::addColumn<QString>("offeredVersion"); // in latest.json; empty: the manifest fails
        QTest::addColumn<bool>("offeredHasNotes");
        QTest::addColumn<int>("offeredNotesStatus");
        // Expected: the version of the dialog that opens (empty: none) and the callbacks.
        QTest::addColumn<QString>("dialogVersion");
        QTest::addColumn<bool>("hasDownload");
        QTest::addColumn<QStringList>("calls");

        const QString busy = QStringLiteral("busy:Loading release notes…");
        const QString done = QStringLiteral("done");
        const QStringList nothing { busy, done,
            QStringLiteral("message:No release notes available for Lumora Notes 1.0.2|5000") };
        QTest::newRow("running version's notes")
            << 200 << "1.1.0" << true << 200 << kRunning << false << QStringList { busy, done };
        QTest::newRow("newer release's notes")
            << 404 << "1.1.0" << true << 200 << "1.1.0" << true << QStringList { busy, done };
        QTest::newRow("newer release without notes url")
            << 404 << "1.1.0" << false << 200 << QString() << false << nothing;
        QTest::newRow("check failed") << 404 << QString() << true << 200 << QString() << false << nothing;
    }

    void whatsNew()
    {
        QFETCH(int, runningNotesStatus);
        QFETCH(QString, offeredVersion);
        QFETCH(bool, offeredHasNotes);
        QFETCH(int, offeredNotesStatus);
        QFETCH(QString, dialogVersion);
        QFETCH(bool, hasDownload);
        QFETCH(QStringList, calls);
        if (currentPlatformKey().isEmpty())
            QSKIP("no builds are published for this system");

        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/notes/1.0.2/release-notes.md"),
            [&](const HttpRequest &) { return HttpResponse::text("# Running version", runningNotesStatus); });
        const QString offeredNotes = QStringLiteral("/notes/1.1.0/release-notes.md");
        server.route(offeredNotes,
            [&](const HttpRequest &) { return HttpResponse::text("# Offered version", offeredNotesStatus); });
        QJsonObject offered = artifact(offeredVersion);
        if (offeredHasNotes)
            offered = with(offered, QStringLiteral("release_notes_url"), server.url(offeredNotes).toString());
        const QByteArray manifestBody = offeredVersion.isEmpty() ? QByteArray("{") : manifestForThisSystem(offered);
        server.route(QStringLiteral("/notes/stable/latest.json"),
            [&](const HttpRequest &) { return HttpResponse::json(manifestBody); });

        QWidget parent;
        BrioUpdate::showWhatsNew(
            config(server.url(QStringLiteral("/notes/stable/"))), kName, &parent, recordingCallbacks());
        QTRY_COMPARE_WITH_TIMEOUT(m_calls.size(), calls.size(), 5000);
        QTest::qWait(50);
        QCOMPARE(m_calls, calls);

        const QList<WhatsNewDialog *> dialogs = openDialogs<WhatsNewDialog>();
        QCOMPARE(dialogs.size(), dialogVersion.isEmpty() ? 0 : 1);
        if (dialogs.isEmpty())
            return;
        WhatsNewDialog *dialog = dialogs.constFirst();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("What's New in Lumora Notes ") + dialogVersion);
        QCOMPARE(labelText(dialog, "runningVersion"), QStringLiteral("You are running version 1.0.2"));
        QCOMPARE(dialog->parentWidget(), &parent);
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        auto *download = dialog->findChild<QPushButton *>(QStringLiteral("download"));
        QCOMPARE(download != nullptr, hasDownload);
        if (download) {
            download->click();
            QCOMPARE(m_browser.urls, QList<QUrl> { QUrl(offered.value(QStringLiteral("url")).toString()) });
        }
    }

    void startupWhatsNew_data()
    {
        QTest::addColumn<int>("notesStatus");
        QTest::addColumn<bool>("dialogOpens");

        QTest::newRow("notes published") << 200 << true;
        QTest::newRow("no notes") << 404 << false;
    }

    void startupWhatsNew()
    {
        QFETCH(int, notesStatus);
        QFETCH(bool, dialogOpens);

        TestHttpServer server;
        QVERIFY(server.listen());
        const QString path = QStringLiteral("/notes/1.0.2/release-notes.md");
        server.route(path, [&](const HttpRequest &) { return HttpResponse::text("# 1.0.2", notesStatus); });
        QWidget parent;
        showStartupWhatsNew(config(server.url(QStringLiteral("/notes/stable/"))), kName, &parent);
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests(path).isEmpty(), 5000);
        QTest::qWait(100);

        const QList<WhatsNewDialog *> dialogs = openDialogs<WhatsNewDialog>();
        QCOMPARE(dialogs.size(), dialogOpens ? 1 : 0);
        if (dialogOpens) {
            QCOMPARE(dialogs.constFirst()->windowTitle(), QStringLiteral("What's New in Lumora Notes 1.0.2"));
            QVERIFY(!dialogs.constFirst()->findChild<QPushButton *>(QStringLiteral("download")));
        }
        QCOMPARE(server.requests(QStringLiteral("/notes/stable/latest.json")).size(), 0);
    }

    void feedback_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("opened");

        QTest::newRow("origin") << "https://feedback.example.org"
                                << "https://feedback.example.org/?tags=notes";
        QTest::newRow("folder") << "https://feedback.example.org/lumora"
                                << "https://feedback.example.org/lumora/?tags=notes";
    }

    void feedback()
    {
        QFETCH(QString, site);
        QFETCH(QString, opened);
        openFeedback(FeedbackConfig { QStringLiteral("notes"), QUrl(site) });
        QCOMPARE(m_browser.urls, QList<QUrl> { QUrl(opened) });
    }
};

LUMORA_TEST_MAIN(UpdateDialogsTest)
#include "tst_updatedialogs.moc"
