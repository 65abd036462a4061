#include "app/singleinstance.h"
#include "storage/datapaths.h"

#include "testmain.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>

// The real program's answers to its command line.
class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realProgram_data();
    void realProgram();
};

void TestCommandLine::realProgram_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("handedOver"); // the message the running instance gets, if any

    const QString usage = QStringLiteral("Usage: lumora-notes [--new-note | --note <id>]");
    const QString version = QStringLiteral("Lumora Notes 1.0.2\n");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << usage << QString() << QString();
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << version << QString() << QString();
    QTest::newRow("Qt option with its value, then help")
        << QStringList{QStringLiteral("-style"), QStringLiteral("--bogus"), QStringLiteral("--help")} << 0 << usage
        << QString() << QString();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2 << QString()
                                    << QStringLiteral("unknown option '--bogus'\n") + usage << QString();
    // Qt's own options go through to the start-up, which hands over.
    QTest::newRow("Qt options pass") << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                    QStringLiteral("--platformtheme=x"), QStringLiteral("--new-note")}
                                     << 0 << QString() << QString() << QStringLiteral("new-note");
}

void TestCommandLine::realProgram()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, handedOver);

    LumoraTest::ScopedDataDir dir;
    SingleInstance running(SingleInstance::serverNameFor(dir.path()));
    QVERIFY(running.tryRun(QString()));
    QSignalSpy received(&running, &SingleInstance::messageReceived);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Answering must not need a display: a GUI start-up would abort here.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LUMORA_APP_BINARY), arguments);
    QVERIFY(process.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);

    const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(stdOut.contains(out) && (!out.isEmpty() || stdOut.isEmpty()), qPrintable(stdOut));
    if (!err.isEmpty())
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    if (handedOver.isEmpty()) {
        QCOMPARE(received.count(), 0);
    } else {
        QTRY_VERIFY(received.count() >= 1);
        QCOMPARE(received.first().first().toString(), handedOver);
    }
    // Nothing was made in the data directory.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

LUMORA_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
