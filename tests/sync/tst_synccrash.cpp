#include "synctesting.h"
#include "testenvironment.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sqlite3.h>

using LumoraTest::FakeNotesServer;
using LumoraTest::HttpResponse;
using SyncTesting::Device;

namespace {

const char *ChildDir = "LUMORA_SYNC_CHILD_DIR";
const char *ChildUrl = "LUMORA_SYNC_CHILD_URL";
// "<trigger event> <n>": die on the n-th such write to the notes table.
const char *ChildKill = "LUMORA_SYNC_CHILD_KILL";
// Where the child notes whether its kill came inside a transaction.
const char *ChildMarker = "LUMORA_SYNC_CHILD_MARKER";
constexpr int ServerNotes = 200;
constexpr int LocalNotes = 30;

int g_writesBeforeKill = 0;

// Called by a trigger on every write of the kind asked for: on the chosen one
// it records whether a transaction is open, then dies mid-statement.
void killOnWrite(sqlite3_context *context, int, sqlite3_value **)
{
    if (--g_writesBeforeKill > 0)
        return;
    QFile marker(qEnvironmentVariable(ChildMarker));
    if (marker.open(QIODevice::WriteOnly))
        marker.write(sqlite3_get_autocommit(sqlite3_context_db_handle(context)) ? "autocommit" : "in transaction");
    marker.close();
    std::raise(SIGKILL);
}

// The child: one sync run in the given data directory, in small slices so
// that a kill can land between or inside them. Without a kill asked for, the
// parent kills it while a request is out.
int runChild()
{
    Device device(QUrl(qEnvironmentVariable(ChildUrl)), qEnvironmentVariable(ChildDir));
    device.engine->setPullSliceSize(20);
    device.engine->setPushSliceSize(10);
    const QString kill = qEnvironmentVariable(ChildKill);
    if (!kill.isEmpty()) {
        const qsizetype split = kill.lastIndexOf(QLatin1Char(' '));
        g_writesBeforeKill = kill.mid(split + 1).toInt();
        QSqlDatabase db = device.database->db();
        auto *handle = *static_cast<sqlite3 *const *>(db.driver()->handle().constData());
        if (sqlite3_create_function(handle, "kill_on_write", 0, SQLITE_UTF8, nullptr, killOnWrite, nullptr, nullptr)
                != SQLITE_OK
            || !QSqlQuery(db).exec(QStringLiteral("CREATE TEMP TRIGGER kill_on_write AFTER %1 ON notes "
                                                  "BEGIN SELECT kill_on_write(); END")
                                       .arg(kill.left(split))))
            return 4;
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
        QTest::addColumn<QString>("killOnWrite"); // empty: killed while the push request is out
        QTest::addColumn<int>("pushFault"); // 0 none, 1 answer held after storing, 2 held before storing
        QTest::addColumn<int>("serverNotesAtKill");
        QTest::addColumn<int>("liveAtKill");
        QTest::addColumn<int>("pendingAtKill");

        // Pulled notes are stored 20 to a transaction: none of the open one
        // may remain, every committed one must.
        QTest::newRow("inside a later pull transaction")
            << QStringLiteral("INSERT 30") << 0 << ServerNotes + LocalNotes << LocalNotes + 20 << 0;
        // Push answers are stored 10 to a transaction.
        QTest::newRow("inside a push results transaction")
            << QStringLiteral("UPDATE OF sync_status 15") << 0 << ServerNotes + LocalNotes << LocalNotes << LocalNotes - 10;
        QTest::newRow("during a push, answer lost") << QString() << 1 << ServerNotes + LocalNotes << LocalNotes << LocalNotes;
        QTest::newRow("during a push, before the server stored it") << QString() << 2 << ServerNotes << LocalNotes << LocalNotes;
    }

    void killedMidSync()
    {
        QFETCH(QString, killOnWrite);
        QFETCH(int, pushFault);
        QFETCH(int, serverNotesAtKill);
        QFETCH(int, liveAtKill);
        QFETCH(int, pendingAtKill);

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
        environment.insert(QString::fromLatin1(ChildKill), killOnWrite);
        const QString marker = dir.filePath(QStringLiteral("kill-marker"));
        environment.insert(QString::fromLatin1(ChildMarker), marker);
        environment.insert(QString::fromLatin1(ChildDir), dir.path());
        environment.insert(QString::fromLatin1(ChildUrl), server.baseUrl().toString());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QSignalSpy finished(&child, &QProcess::finished);
        if (killOnWrite.isEmpty()) {
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
        if (!killOnWrite.isEmpty()) {
            QFile written(marker);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), QByteArray("in transaction"));
        }
        {
            // What the kill left: the committed slices, nothing of the open
            // one, and no cursor.
            Device killed(server, dir.path());
            QCOMPARE(int(killed.notes->all().size()), liveAtKill);
            QCOMPARE(int(killed.notes->pending().size()), pendingAtKill);
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
    if (qEnvironmentVariableIsSet(ChildDir)) {
        QApplication app(argc, argv);
        return runChild();
    }
    LumoraTest::TestEnvironment environment;
    QApplication app(argc, argv);
    TestSyncCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_synccrash.moc"
