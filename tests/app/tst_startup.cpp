#include "app/application.h"
#include "app/appstate.h"
#include "app/singleinstance.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/notewindow.h"
#include "ui/todosscreen.h"

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

#include <algorithm>


namespace {

// How the data directory is spoilt before a start.
enum class Spoilt {
    DirectoryIsFile,
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
    void startAndMessages_data();
    void startAndMessages();
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

// A start with a stored preference and arguments, then maybe a message from
// a second launch; "*" stands for the one note the start or message created.
void TestStartup::startAndMessages_data()
{
    QTest::addColumn<QString>("preference"); // key=value
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("message"); // empty: none sent
    QTest::addColumn<QStringList>("windows");
    QTest::addColumn<bool>("mainShown");
    QTest::addColumn<bool>("todosShown");

    const QString minimized = QStringLiteral("start_minimized=1");
    const QString star = QStringLiteral("*");
    QTest::newRow("start minimized") << minimized << QStringList() << QStringList() << QStringList() << false << false;
    QTest::newRow("--note") << QString() << QStringList{QStringLiteral("--note"), QStringLiteral("abc")}
                            << QStringList() << QStringList{QStringLiteral("abc")} << false << false;
    QTest::newRow("--new-note wins over --note")
        << QString() << QStringList{QStringLiteral("--note"), QStringLiteral("abc"), QStringLiteral("--new-note")}
        << QStringList() << QStringList{star} << false << false;
    QTest::newRow("restores note windows once") << QStringLiteral("restore_note_windows=first,,second")
                                                << QStringList() << QStringList()
                                                << QStringList{QStringLiteral("first"), QStringLiteral("second")}
                                                << true << false;
    QTest::newRow("restores the To-Dos window once") << QStringLiteral("restore_todos_window=true") << QStringList()
                                                     << QStringList() << QStringList() << true << true;
    QTest::newRow("message new-note") << minimized << QStringList() << QStringList{QStringLiteral("new-note")}
                                      << QStringList{star} << false << false;
    QTest::newRow("message note id keeps colons") << minimized << QStringList()
                                                  << QStringList{QStringLiteral("note:a:b")}
                                                  << QStringList{QStringLiteral("a:b")} << false << false;
    QTest::newRow("message focus") << minimized << QStringList() << QStringList{QStringLiteral("focus")}
                                   << QStringList() << true << false;
}

void TestStartup::startAndMessages()
{
    QFETCH(QString, preference);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, message);
    QFETCH(QStringList, windows);
    QFETCH(bool, mainShown);
    QFETCH(bool, todosShown);

    LumoraTest::ScopedDataDir dir;
    if (!preference.isEmpty())
        setPreference(preference.section(QLatin1Char('='), 0, 0), preference.section(QLatin1Char('='), 1));
    QCOMPARE(start(arguments), -1);
    QVERIFY(m_errors.isEmpty() && m_app->mainWindow());
    QVERIFY(m_app->singleInstance()->isListening());
    for (const QString &sent : message)
        Q_EMIT m_app->singleInstance()->messageReceived(sent);

    const QList<Note> notes = m_app->appState()->notes()->all();
    const bool created = windows == QStringList{QStringLiteral("*")};
    QCOMPARE(notes.size(), created ? 1 : 0);
    if (created)
        windows = QStringList{notes.first().id};
    QCOMPARE(m_app->appState()->openNoteWindowIds(), windows);
    for (const QString &id : windows)
        QVERIFY(m_app->appState()->noteWindow(id)->isVisible());
    const TodosScreen *todos = m_app->mainWindow()->todosWindow();
    QCOMPARE(todos && todos->isVisible(), todosShown);
    // Restored once: the next start opens them no more.
    QVERIFY(!m_app->appState()->preferences()->value(QStringLiteral("restore_note_windows")));
    QVERIFY(!m_app->appState()->preferences()->value(QStringLiteral("restore_todos_window")));
    QCOMPARE(m_app->mainWindow()->isVisible(), mainShown);
}

template<typename T> static int openWindows()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    return int(std::count_if(
        windows.begin(), windows.end(), [](QWidget *w) { return qobject_cast<T *>(w) && w->isVisible(); }));
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
