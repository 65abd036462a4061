#include "synctesting.h"
#include "testenvironment.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using LumoraTest::FakeNotesServer;
using LumoraTest::HttpResponse;
using SyncTesting::Device;

namespace {

const char *ChildMode = "LUMORA_SYNC_CHILD";
const char *ChildDir = "LUMORA_SYNC_CHILD_DIR";
const char *ChildUrl = "LUMORA_SYNC_CHILD_URL";
constexpr int ServerNotes = 200;
constexpr int LocalNotes = 30;

// The child: one sync run in the given data directory. In "pull" mode it
// dies by SIGKILL right after the first slice of pulled notes committed;
// otherwise the parent kills it while a request is out.
int runChild()
{
    Device device(QUrl(qEnvironmentVariable(ChildUrl)), qEnvironmentVariable(ChildDir));
    if (qEnvironmentVariable(ChildMode) == QLatin1String("pull")) {
        device.engine->setPullSliceSize(20);
        QObject::connect(device.notes.get(), &NoteRepository::notesChanged, device.notes.get(), [] { std::raise(SIGKILL); });
    }
    device.syncNow();
    return 3; // the kill should have come first
}

} // namespace

class TestSyncCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedMidSync_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("pushFault"); // 0 none, 1 answer held after storing, 2 held before storing
        QTest::addColumn<int>("serverNotesAtKill");

        QTest::newRow("during a pull batch") << QStringLiteral("pull") << 0 << ServerNotes + LocalNotes;
        QTest::newRow("during a push, answer lost") << QStringLiteral("push") << 1 << ServerNotes + LocalNotes;
        QTest::newRow("during a push, before the server stored it") << QStringLiteral("push") << 2 << ServerNotes;
    }

    void killedMidSync()
    {
        QFETCH(QString, mode);
        QFETCH(int, pushFault);
        QFETCH(int, serverNotesAtKill);

        FakeNotesServer server;
        QVERIFY(server.listen());
        for (int i = 0; i < ServerNotes; ++i)
            server.putNote(QStringLiteral("server-%1").arg(i), Device::bodyOf(QStringLiteral("from server %1").arg(i)), 1 + i % 3);
        QTemporaryDir dir;
        QStringList localIds;
        {
            Device local(server, dir.path());
            for (int i = 0; i < LocalNotes; ++i)
                localIds.append(local.addNote(QStringLiteral("written here %1").arg(i)).id);
        }
        if (pushFault) {
            // Held long enough for the kill to land first.
            server.addFault("POST", QStringLiteral("/sync/push"),
                            pushFault == 1 ? FakeNotesServer::held(120000) : HttpResponse::text("late").delayed(120000),
                            pushFault == 1 ? FakeNotesServer::FaultMode::After : FakeNotesServer::FaultMode::Instead, 1);
        }

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ChildMode), mode);
        environment.insert(QString::fromLatin1(ChildDir), dir.path());
        environment.insert(QString::fromLatin1(ChildUrl), server.baseUrl().toString());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QSignalSpy finished(&child, &QProcess::finished);
        if (pushFault) {
            connect(server.http(), &LumoraTest::TestHttpServer::requestReceived, &child,
                    [&child](const LumoraTest::HttpRequest &request) {
                        if (request.path.endsWith(QLatin1String("/sync/push")))
                            child.kill();
                    });
        }
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 60000);
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(int(server.notes().size()), serverNotesAtKill);
        server.clearFaults();
        {
            // What the kill left: a pull stopped between two slices, or every
            // pushed note still waiting for its answer. No cursor either way.
            Device killed(server, dir.path());
            const int live = int(killed.notes->all().size());
            if (mode == QLatin1String("pull")) {
                QVERIFY(live > LocalNotes && live < LocalNotes + ServerNotes);
            } else {
                QCOMPARE(live, LocalNotes);
                QCOMPARE(int(killed.notes->pending().size()), LocalNotes);
            }
            QVERIFY(killed.preferences->getString(SyncEngine::notesCursorKey()).isEmpty());
        }

        // The next start finishes the job.
        Device restarted(server, dir.path());
        QCOMPARE(restarted.syncNow(), SyncEngine::Idle);
        QCOMPARE(restarted.syncNow(), SyncEngine::Idle);
        const QList<Note> notes = restarted.notes->all();
        QCOMPARE(int(notes.size()), ServerNotes + LocalNotes);
        QVERIFY(restarted.notes->pending().isEmpty());
        QCOMPARE(int(server.notes().size()), ServerNotes + LocalNotes);
        for (const Note &note : notes) {
            QCOMPARE(note.syncStatus, SyncStatus::Synced);
            QCOMPARE(server.notes().value(note.id).data.value(QStringLiteral("body")).toString(), note.body);
            QCOMPARE(server.notes().value(note.id).version, note.version);
        }
        for (const QString &id : std::as_const(localIds))
            QVERIFY(restarted.textOf(id).startsWith(QLatin1String("written here")));
        QCOMPARE(restarted.preferences->getString(SyncEngine::notesCursorKey()), QString::number(server.clock()));
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(ChildMode)) {
        QApplication app(argc, argv);
        return runChild();
    }
    LumoraTest::TestEnvironment environment;
    QApplication app(argc, argv);
    TestSyncCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_synccrash.moc"
