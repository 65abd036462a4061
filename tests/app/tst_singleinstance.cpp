#include "app/singleinstance.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// The guard's name for the data directory in NOTES_DATA_DIR now.
QString currentServerName()
{
    return SingleInstance::serverNameFor(configuredDataDirectory());
}

QString socketPath(const QString &serverName = currentServerName())
{
    return QDir::tempPath() + QLatin1Char('/') + serverName;
}

QProcessEnvironment environmentFor(const QString &dataDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
    return environment;
}

// Runs the real program with these arguments while this process's event loop
// keeps serving its own socket; returns the exit code (-1 on a hang or crash).
int launchSecond(const QStringList &arguments, const QString &dataDir = configuredDataDirectory())
{
    QProcess process;
    process.setProcessEnvironment(environmentFor(dataDir));
    process.start(QStringLiteral(LUMORA_APP_BINARY), arguments);
    if (!QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 10000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Starts the real program on dataDir and waits for its socket.
bool startFirst(QProcess &process, const QString &dataDir = configuredDataDirectory())
{
    process.setProcessEnvironment(environmentFor(dataDir));
    process.start(QStringLiteral(LUMORA_APP_BINARY), QStringList());
    const QString path = socketPath(SingleInstance::serverNameFor(dataDir));
    return QTest::qWaitFor([&path] { return QFileInfo::exists(path); }, 15000);
}

// The notes stored in dataDir, each as its body.
QStringList noteBodies(const QString &dataDir)
{
    const QByteArray previous = qgetenv("NOTES_DATA_DIR");
    qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    QStringList bodies;
    Database database;
    if (database.open(databasePath())) {
        for (const Note &note : NoteRepository(&database).all())
            bodies << note.body;
    }
    qputenv("NOTES_DATA_DIR", previous);
    return bodies;
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverNames();
    void eachDataDirectoryHasItsOwnInstance();
    void messageForArguments_data();
    void messageForArguments();
    void staleSocketDoesNotBlock();
};

void TestSingleInstance::serverNames()
{
    const QString base = QDir::tempPath() + QStringLiteral("/names");
    QVERIFY(QDir().mkpath(defaultDataDirectory()));
    QVERIFY(QDir().mkpath(base + QStringLiteral("/folder")));
    QFile::link(base + QStringLiteral("/folder"), base + QStringLiteral("/link"));
    QVERIFY(QFileInfo(base + QStringLiteral("/link")).isSymLink());

    const QString folder = SingleInstance::serverNameFor(base + QStringLiteral("/folder"));
    const QRegularExpression derived(QStringLiteral("^lumora-notes-instance-[0-9a-f]{16}$"));
    QVERIFY2(derived.match(folder).hasMatch(), qPrintable(folder));
    // A folder not made yet still gets a name of its own.
    QVERIFY(folder != SingleInstance::serverNameFor(base + QStringLiteral("/second")));
    // Other spellings of a folder, and links to it, reach the same instance.
    QCOMPARE(SingleInstance::serverNameFor(defaultDataDirectory() + QStringLiteral("/../Notes/./")),
             QLatin1String(SingleInstance::DefaultServerName));
    QCOMPARE(SingleInstance::serverNameFor(base + QStringLiteral("/link")), folder);
}

// A launch on each directory reaches the real instance of that directory,
// which creates one empty note.
void TestSingleInstance::eachDataDirectoryHasItsOwnInstance()
{
    QTemporaryDir one;
    QTemporaryDir two;
    QProcess first;
    QProcess second;
    QVERIFY(startFirst(first, one.path()));
    QVERIFY(startFirst(second, two.path()));

    QCOMPARE(launchSecond({QStringLiteral("--new-note")}, two.path()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(noteBodies(two.path()), QStringList{emptyNoteBody()}, 10000);
    QCOMPARE(noteBodies(one.path()).size(), 0);
    QCOMPARE(launchSecond({QStringLiteral("--new-note")}, one.path()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(noteBodies(one.path()).size(), 1, 10000);
    QCOMPARE(noteBodies(two.path()).size(), 1);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(second.state(), QProcess::Running);

    stop(first);
    stop(second);
}

void TestSingleInstance::messageForArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString app = QStringLiteral("lumora-notes");
    QTest::newRow("note with id") << QStringList{app, QStringLiteral("--note"), QStringLiteral("abc")}
                                  << QStringLiteral("note:abc");
    QTest::newRow("note as last argument") << QStringList{app, QStringLiteral("--note")} << QStringLiteral("focus");
    QTest::newRow("new note wins") << QStringList{app, QStringLiteral("--note"), QStringLiteral("abc"),
                                                  QStringLiteral("--new-note")}
                                   << QStringLiteral("new-note");
    QTest::newRow("other arguments ignored") << QStringList{app, QStringLiteral("--verbose")}
                                             << QStringLiteral("focus");
}

void TestSingleInstance::messageForArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QCOMPARE(SingleInstance::messageForArguments(arguments), message);
}

void TestSingleInstance::staleSocketDoesNotBlock()
{
    LumoraTest::ScopedDataDir dir;
    QProcess crashed;
    QVERIFY(startFirst(crashed));
    crashed.kill(); // SIGKILL: the socket file stays behind
    QVERIFY(crashed.waitForFinished());
    QVERIFY(QFileInfo::exists(socketPath()));

    SingleInstance guard(currentServerName());
    QTest::failOnWarning(QRegularExpression(QStringLiteral("SingleInstance")));
    QVERIFY(guard.tryRun(QStringLiteral("focus")));
    QVERIFY(guard.isListening());

    // And it really serves the next launch.
    QSignalSpy received(&guard, &SingleInstance::messageReceived);
    QCOMPARE(launchSecond({QStringLiteral("--new-note")}), 0);
    QTRY_VERIFY(received.count() >= 1);
    QCOMPARE(received.first().first().toString(), QStringLiteral("new-note"));
}

LUMORA_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
