#include "app/application.h"
#include "app/appstate.h"
#include "app/singleinstance.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/notewindow.h"

#include "databasefiles.h"
#include "testenvironment.h"
#include "testhttpserver.h"
#include "update/artifact.h"
#include "update/updatedialog.h"
#include "update/whatsnewdialog.h"
#include "updatetestdata.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// How the data directory is spoilt before a start.
enum class Spoilt {
    DirectoryIsFile,
    DirectoryUnderFile,
    DirectoryReadOnly,
    ForeignFile,
    TruncatedDatabase,
    DamagedSchema,
    DamagedSmallTable,
    NewerSchema,
};

} // namespace

// Drives the real start-up sequence of the application object in-process.
class TestStartup : public QObject
{
    Q_OBJECT

public:
    explicit TestStartup(Application *app)
        : m_app(app)
    {
    }

private Q_SLOTS:
    void cleanup();

    void unusableDataIsRefused_data();
    void unusableDataIsRefused();
    void damageFoundAfterStartIsReported();
    void plainStartShowsMainWindow();
    void startMinimizedShowsNothing();
    void noteArgumentShowsOnlyThatNote();
    void newNoteWinsOverNote();
    void restoresNoteWindowsOnce();
    void messages_data();
    void messages();
    void whatsNewOncePerVersionThenUpdateCheck();

private:
    void setPreference(const QString &key, const QString &value);
    int start(const QStringList &arguments);

    Application *m_app;
    QList<QPair<QString, QString>> m_errors;
};

void TestStartup::cleanup()
{
    m_app->shutDown();
    m_errors.clear();
}

void TestStartup::setPreference(const QString &key, const QString &value)
{
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    PreferencesRepository(&database).setString(key, value);
}

int TestStartup::start(const QStringList &arguments)
{
    m_app->setErrorReporter([this](const QString &title, const QString &text) { m_errors.append({title, text}); });
    return m_app->startUp(QStringList{QStringLiteral("lumora-notes")} + arguments);
}

void TestStartup::unusableDataIsRefused_data()
{
    QTest::addColumn<Spoilt>("spoilt");
    QTest::addColumn<QString>("fragment");

    QTest::newRow("folder is a file") << Spoilt::DirectoryIsFile << QStringLiteral("is a file, not a folder");
    QTest::newRow("folder cannot be made") << Spoilt::DirectoryUnderFile
                                           << QStringLiteral("does not exist and cannot be created");
    QTest::newRow("folder read-only") << Spoilt::DirectoryReadOnly << QStringLiteral("is not writable");
    QTest::newRow("not a database") << Spoilt::ForeignFile << QStringLiteral("is not a Lumora Notes database");
    QTest::newRow("cut short") << Spoilt::TruncatedDatabase << QStringLiteral("is damaged (the file holds");
    QTest::newRow("schema page damaged") << Spoilt::DamagedSchema << QStringLiteral("is damaged");
    QTest::newRow("small table damaged") << Spoilt::DamagedSmallTable << QStringLiteral("is damaged");
    QTest::newRow("newer program")
        << Spoilt::NewerSchema
        << QStringLiteral("written by a newer version of Lumora Notes (schema version %1;")
               .arg(Database::SchemaVersion + 1);
}

void TestStartup::unusableDataIsRefused()
{
    QFETCH(Spoilt, spoilt);
    QFETCH(QString, fragment);

    LumoraTest::ScopedDataDir root;
    QString dataDir = root.path() + QStringLiteral("/data");
    QString named = dataDir; // the path the message must name
    const auto writeFile = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    const auto prepareDatabase = [&](int notes) {
        QDir().mkpath(dataDir);
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
        named = databasePath();
        return LumoraTest::writeDatabaseWithNotes(named, notes);
    };

    switch (spoilt) {
    case Spoilt::DirectoryIsFile:
        QVERIFY(writeFile(dataDir, "notes\n"));
        break;
    case Spoilt::DirectoryUnderFile:
        QVERIFY(writeFile(root.path() + QStringLiteral("/blocker"), "x"));
        named = dataDir = root.path() + QStringLiteral("/blocker/data");
        break;
    case Spoilt::DirectoryReadOnly:
        // Root may write anywhere; the refusal itself is covered with an
        // injected probe in tst_database.
#ifdef Q_OS_UNIX
        if (::geteuid() == 0)
            QSKIP("running as root: permission bits do not stop root");
#else
        QSKIP("read-only folders need ACLs on Windows");
#endif
        QVERIFY(QDir().mkpath(dataDir));
        QVERIFY(QFile::setPermissions(dataDir, QFile::ReadOwner | QFile::ExeOwner));
        break;
    case Spoilt::ForeignFile:
        QVERIFY(QDir().mkpath(dataDir));
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
        named = databasePath();
        QVERIFY(writeFile(named, QByteArray("My shopping list\n").repeated(300)));
        break;
    case Spoilt::TruncatedDatabase:
        QVERIFY(prepareDatabase(40));
        QVERIFY(QFile::resize(named, QFileInfo(named).size() / 2));
        break;
    case Spoilt::DamagedSchema:
        QVERIFY(prepareDatabase(5));
        // Page 1's b-tree header, right after the 100-byte file header.
        QVERIFY(LumoraTest::overwriteAt(named, 100, QByteArray(8, '\xff')));
        break;
    case Spoilt::DamagedSmallTable:
        QVERIFY(prepareDatabase(5));
        QVERIFY(LumoraTest::execOn(named, QStringLiteral("INSERT INTO preferences VALUES ('theme_mode', 'dark')")));
        QVERIFY(LumoraTest::overwriteRootPage(named, QStringLiteral("preferences"), 0, QByteArray(12, '\x7f')));
        break;
    case Spoilt::NewerSchema:
        QVERIFY(prepareDatabase(5));
        QVERIFY(LumoraTest::execOn(
            named, QStringLiteral("UPDATE schema_version SET version = %1").arg(Database::SchemaVersion + 1)));
        // Out of WAL mode, so that even switching it back would show as a change.
        QVERIFY(LumoraTest::execOn(named, QStringLiteral("PRAGMA journal_mode=DELETE")));
        break;
    }
    qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    const QMap<QString, QByteArray> before = LumoraTest::fingerprint(root.path());

    QCOMPARE(start({}), 1);
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(m_errors.first().first, QStringLiteral("Database Error"));
    const QString text = m_errors.first().second;
    QVERIFY2(text.contains(fragment), qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(named)), qPrintable(text));
    QVERIFY(!m_app->mainWindow());
    m_app->shutDown();
    QCOMPARE(LumoraTest::fingerprint(root.path()), before);
}

void TestStartup::damageFoundAfterStartIsReported()
{
    LumoraTest::ScopedDataDir dir;
    const QString path = databasePath();
    QVERIFY(LumoraTest::writeDatabaseWithNotes(path, 60));
    // Past the checks made before the window: only the full check sees it.
    QVERIFY(LumoraTest::overwriteRootPage(path, QStringLiteral("notes"), 0, QByteArray(16, '\x7f')));

    QCOMPARE(start({}), -1);
    QTRY_COMPARE_WITH_TIMEOUT(m_errors.size(), 1, 20000);
    QCOMPARE(m_errors.first().first, QStringLiteral("Database Error"));
    const QString text = m_errors.first().second;
    QVERIFY2(text.contains(path) && text.contains(QStringLiteral("is damaged"))
                 && text.contains(QStringLiteral("Changes are no longer saved")),
             qPrintable(text));
    QVERIFY(m_app->appState()->database()->isCorrupt());
}

void TestStartup::plainStartShowsMainWindow()
{
    LumoraTest::ScopedDataDir dir;
    QCOMPARE(start({}), -1);
    QVERIFY(m_errors.isEmpty());
    QVERIFY(m_app->mainWindow());
    QVERIFY(m_app->mainWindow()->isVisible());
    QCOMPARE(m_app->mainWindow()->windowTitle(), QStringLiteral("Lumora Notes"));
    QVERIFY(m_app->singleInstance()->isListening());
}

void TestStartup::startMinimizedShowsNothing()
{
    LumoraTest::ScopedDataDir dir;
    setPreference(QStringLiteral("start_minimized"), QStringLiteral("1"));
    QCOMPARE(start({}), -1);
    QVERIFY(!m_app->mainWindow()->isVisible());
    QVERIFY(m_app->appState()->openNoteWindowIds().isEmpty());
}

void TestStartup::noteArgumentShowsOnlyThatNote()
{
    LumoraTest::ScopedDataDir dir;
    QCOMPARE(start({QStringLiteral("--note"), QStringLiteral("abc")}), -1);
    QVERIFY(!m_app->mainWindow()->isVisible());
    QCOMPARE(m_app->appState()->openNoteWindowIds(), QStringList{QStringLiteral("abc")});
    QVERIFY(m_app->appState()->noteWindow(QStringLiteral("abc"))->isVisible());
}

void TestStartup::newNoteWinsOverNote()
{
    LumoraTest::ScopedDataDir dir;
    QCOMPARE(start({QStringLiteral("--note"), QStringLiteral("abc"), QStringLiteral("--new-note")}), -1);
    const QStringList open = m_app->appState()->openNoteWindowIds();
    QCOMPARE(open.size(), 1);
    QVERIFY(open.first() != QLatin1String("abc"));
    QVERIFY(m_app->appState()->notes()->byId(open.first()));
    QVERIFY(!m_app->mainWindow()->isVisible());
}

void TestStartup::restoresNoteWindowsOnce()
{
    LumoraTest::ScopedDataDir dir;
    setPreference(QStringLiteral("restore_note_windows"), QStringLiteral("first,,second"));
    QCOMPARE(start({}), -1);
    QCOMPARE(m_app->appState()->openNoteWindowIds(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    QVERIFY(!m_app->appState()->preferences()->value(QStringLiteral("restore_note_windows")));
    QVERIFY(m_app->mainWindow()->isVisible());
}

void TestStartup::messages_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("expectNewNote");
    QTest::addColumn<QString>("expectWindowFor");
    QTest::addColumn<bool>("expectMainShown");

    QTest::newRow("new-note") << QStringLiteral("new-note") << true << QString() << false;
    QTest::newRow("note:id") << QStringLiteral("note:xyz") << false << QStringLiteral("xyz") << false;
    QTest::newRow("note id keeps colons") << QStringLiteral("note:a:b") << false << QStringLiteral("a:b") << false;
    QTest::newRow("focus") << QStringLiteral("focus") << false << QString() << true;
    QTest::newRow("empty") << QString() << false << QString() << true;
    QTest::newRow("unknown") << QStringLiteral("NOTE:xyz") << false << QString() << true;
}

void TestStartup::messages()
{
    QFETCH(QString, message);
    QFETCH(bool, expectNewNote);
    QFETCH(QString, expectWindowFor);
    QFETCH(bool, expectMainShown);

    LumoraTest::ScopedDataDir dir;
    setPreference(QStringLiteral("start_minimized"), QStringLiteral("1"));
    QCOMPARE(start({}), -1);
    QVERIFY(!m_app->mainWindow()->isVisible());

    Q_EMIT m_app->singleInstance()->messageReceived(message);

    const QStringList open = m_app->appState()->openNoteWindowIds();
    QCOMPARE(m_app->appState()->notes()->all().size(), expectNewNote ? 1 : 0);
    if (expectNewNote)
        QCOMPARE(open, QStringList{m_app->appState()->notes()->all().first().id});
    else if (!expectWindowFor.isEmpty())
        QCOMPARE(open, QStringList{expectWindowFor});
    else
        QVERIFY(open.isEmpty());
    QCOMPARE(m_app->mainWindow()->isVisible(), expectMainShown);
}

template<typename T> static int openWindows()
{
    int count = 0;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<T *>(window) && window->isVisible())
            ++count;
    }
    return count;
}

void TestStartup::whatsNewOncePerVersionThenUpdateCheck()
{
    using namespace UpdateTestData;
    LumoraTest::TestHttpServer server;
    QVERIFY(server.listen());
    const QString notesPath = QStringLiteral("/notes/1.0.2/release-notes.md");
    const QString manifestPath = QStringLiteral("/notes/stable/latest.json");
    server.route(notesPath, [](const LumoraTest::HttpRequest &) {
        return LumoraTest::HttpResponse::text("# Lumora Notes 1.0.2\n\nFaster search.");
    });
    server.route(manifestPath, [](const LumoraTest::HttpRequest &) {
        return LumoraTest::HttpResponse::json(
            bytes(root(QJsonObject{{BrioUpdate::currentPlatformKey(), artifact(QStringLiteral("1.1.0"))}})));
    });
    const QByteArray previousUrl = qgetenv("LUMORA_UPDATE_URL");
    qputenv("LUMORA_UPDATE_URL", server.url(QStringLiteral("/notes/stable/")).toEncoded());
    const auto restoreUrl = qScopeGuard([&previousUrl] { qputenv("LUMORA_UPDATE_URL", previousUrl); });

    LumoraTest::ScopedDataDir dir;
    setPreference(QStringLiteral("last_whats_new_version"), QStringLiteral("1.0.1"));
    QCOMPARE(start({}), -1);
    QCOMPARE(m_app->appState()->preferences()->getString(QStringLiteral("last_whats_new_version")),
             QStringLiteral("1.0.2"));
    QTRY_COMPARE(openWindows<BrioUpdate::WhatsNewDialog>(), 1);
    QCOMPARE(server.requests(manifestPath).size(), 0);
    // The update check follows on its own after start-up.
    QTRY_COMPARE_WITH_TIMEOUT(openWindows<BrioUpdate::UpdateDialog>(), 1, 10000);
    QCOMPARE(server.requests(manifestPath).size(), 1);

    m_app->shutDown();
    QTRY_COMPARE(openWindows<BrioUpdate::UpdateDialog>() + openWindows<BrioUpdate::WhatsNewDialog>(), 0);

    // Same version again: no release notes, but the update check still runs.
    QCOMPARE(start({}), -1);
    QTRY_COMPARE_WITH_TIMEOUT(server.requests(manifestPath).size(), 2, 10000);
    QCOMPARE(server.requests(notesPath).size(), 1);
    QCOMPARE(openWindows<BrioUpdate::WhatsNewDialog>(), 0);
}

int main(int argc, char *argv[])
{
    LumoraTest::TestEnvironment environment;
    Application app(argc, argv);
    TestStartup test(&app);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
