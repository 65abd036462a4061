#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "testmain.h"
#include "typist.h"

#include <QProcess>

#include <algorithm>
#include <csignal>

// A process told to end by the system saves what its windows show first.
class TestShutdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quitSignalSavesEveryWindow_data();
    void quitSignalSavesEveryWindow();
};

void TestShutdown::quitSignalSavesEveryWindow_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestShutdown::quitSignalSavesEveryWindow()
{
    QFETCH(int, signalNumber);
    LumoraTest::ScopedDataDir dir;
    QVERIFY(LumoraTest::markWhatsNewSeen());

    const QString inMain = QStringLiteral("typed in the main window");
    const QString inWindow = QStringLiteral("typed in a note window");
    QProcess child;
    LumoraTest::startTypist(child, {QStringLiteral("shutdown"), inMain, inWindow});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine() || child.state() == QProcess::NotRunning, 20000);
    QCOMPARE(child.readLine().trimmed(), QByteArray("typed"));
    // Well inside the editors' one-second autosave: only the quit path saves.
    ::kill(pid_t(child.processId()), signalNumber);
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    Database database;
    QVERIFY(database.open(databasePath()));
    QStringList texts;
    const QList<Note> notes = NoteRepository(&database).all();
    for (const Note &note : notes)
        texts << deltaToPlainText(note.body).trimmed();
    std::sort(texts.begin(), texts.end());
    QCOMPARE(texts, (QStringList{inWindow, inMain}));
}

LUMORA_TEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
