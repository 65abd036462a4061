#include "synctesting.h"
#include "sync/syncwire.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using LumoraTest::FakeNotesServer;
using LumoraTest::HttpResponse;
using SyncTesting::Device;
using SyncTesting::status;

Q_DECLARE_METATYPE(LumoraTest::HttpResponse)
Q_DECLARE_METATYPE(SyncStatus)

namespace {

QJsonObject pushedChange(const FakeNotesServer &server)
{
    const QList<LumoraTest::HttpRequest> pushes = server.http()->requests(QStringLiteral("/notes/v1/sync/push"));
    if (pushes.isEmpty())
        return {};
    return QJsonDocument::fromJson(pushes.last().body).object().value(QStringLiteral("changes")).toArray().at(0).toObject();
}

// The run's requests without the pull phases every run ends with.
QStringList pushRequests(const FakeNotesServer &server)
{
    QStringList log = server.requestLog();
    log.removeIf([](const QString &entry) { return entry.startsWith(QLatin1String("GET ")); });
    return log;
}

} // namespace

class TestSyncEngine : public SyncTesting::ServerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void nothingPendingStartsWithPull()
    {
        Device device(server());
        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(server().requestLog(),
                 QStringList({QStringLiteral("GET /sync/pull"), QStringLiteral("GET /notebooks"),
                              QStringLiteral("GET /attachments")}));
        QCOMPARE(device.preferences->getString(SyncEngine::notesCursorKey()), QString::number(server().clock()));
    }

    void notePush_data()
    {
        QTest::addColumn<bool>("trashed");
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<SyncStatus>("expectedStatus");
        QTest::addColumn<int>("expectedState");
        QTest::addColumn<QString>("expectedError");

        QTest::newRow("edit accepted") << false << false << SyncStatus::Synced << int(SyncEngine::Idle) << QString();
        QTest::newRow("trash accepted") << true << false << SyncStatus::Synced << int(SyncEngine::Idle) << QString();
        QTest::newRow("connection dropped") << false << true << SyncStatus::Pending << int(SyncEngine::Error)
                                            << QStringLiteral("Note push failed (HTTP 0)");
    }

    void notePush()
    {
        QFETCH(bool, trashed);
        QFETCH(bool, dropped);
        QFETCH(SyncStatus, expectedStatus);
        QFETCH(int, expectedState);
        QFETCH(QString, expectedError);

        Device device(server());
        const Note note = device.addNote(QStringLiteral("Groceries"));
        if (trashed)
            QVERIFY(device.notes->moveToTrash(note.id));
        if (dropped)
            server().addFault("POST", QStringLiteral("/sync/push"), HttpResponse::dropped());
        QSignalSpy failed(device.engine.get(), &SyncEngine::syncFailed);

        QCOMPARE(int(device.syncNow()), expectedState);
        QCOMPARE(device.notes->byId(note.id)->syncStatus, expectedStatus);
        QCOMPARE(device.engine->lastError(), expectedError);
        QCOMPARE(failed.size(), expectedError.isEmpty() ? 0 : 1);
        // A failed push stops the run before any pull.
        QCOMPARE(server().requestCount(QStringLiteral("GET /sync/pull")), expectedError.isEmpty() ? 1 : 0);

        const QJsonObject change = pushedChange(server());
        QCOMPARE(change.value(QStringLiteral("action")).toString(), trashed ? QStringLiteral("delete") : QStringLiteral("update"));
        QCOMPARE(change.value(QStringLiteral("entity_type")).toString(), QStringLiteral("note"));
        const QJsonObject data = change.value(QStringLiteral("data")).toObject();
        QCOMPARE(data.contains(QStringLiteral("deleted_at")), trashed);
        QVERIFY(!data.contains(QStringLiteral("notebook_id")));
        QCOMPARE(qint64(data.value(QStringLiteral("created_at")).toDouble()), note.createdAt.toMSecsSinceEpoch());
        QCOMPARE(data.value(QStringLiteral("body")).toString(), note.body);
    }

    // An edit made while the push was on its way must still go up.
    void editDuringPushStaysPending()
    {
        Device device(server());
        const Note note = device.addNote(QStringLiteral("first"));
        server().addFault("POST", QStringLiteral("/sync/push"), FakeNotesServer::held(300), FakeNotesServer::FaultMode::After, 1);
        connect(server().http(), &LumoraTest::TestHttpServer::requestReceived, this,
                [&](const LumoraTest::HttpRequest &request) {
                    if (request.path.endsWith(QLatin1String("/sync/push")))
                        device.notes->saveEditedBody(note.id, Device::bodyOf(QStringLiteral("second")));
                });
        device.syncNow();
        QCOMPARE(device.notes->byId(note.id)->syncStatus, SyncStatus::Pending);
        QCOMPARE(device.textOf(note.id), QStringLiteral("second\n"));
        device.syncNow();
        QCOMPARE(device.notes->byId(note.id)->syncStatus, SyncStatus::Synced);
        QCOMPARE(server().notes().value(note.id).data.value(QStringLiteral("body")).toString(),
                 Device::bodyOf(QStringLiteral("second")));
    }

    void notebookPush_data()
    {
        QTest::addColumn<bool>("serverKnows");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<QByteArray>("faultMethod");
        QTest::addColumn<int>("faultStatus");
        QTest::addColumn<QStringList>("expectedRequests");
        QTest::addColumn<SyncStatus>("expectedStatus");

        const QString put = QStringLiteral("PUT /notebooks/nb-1");
        const QString post = QStringLiteral("POST /notebooks");
        const QString del = QStringLiteral("DELETE /notebooks/nb-1");
        QTest::newRow("unknown: PUT 404 then POST") << false << false << QByteArray() << 0 << QStringList{put, post} << SyncStatus::Synced;
        QTest::newRow("known: PUT") << true << false << QByteArray() << 0 << QStringList{put} << SyncStatus::Synced;
        QTest::newRow("PUT 500 stays pending") << true << false << QByteArray("PUT") << 500 << QStringList{put} << SyncStatus::Pending;
        QTest::newRow("deleted, 404 counts as done") << false << true << QByteArray() << 0 << QStringList{del} << SyncStatus::Synced;
        QTest::newRow("deleted, 500 stays pending") << true << true << QByteArray("DELETE") << 500 << QStringList{del} << SyncStatus::Pending;
    }

    void notebookPush()
    {
        QFETCH(bool, serverKnows);
        QFETCH(bool, deleted);
        QFETCH(QByteArray, faultMethod);
        QFETCH(int, faultStatus);
        QFETCH(QStringList, expectedRequests);
        QFETCH(SyncStatus, expectedStatus);

        Device device(server());
        const Notebook notebook = device.addNotebook(QStringLiteral("nb-1"), QStringLiteral("Work"));
        if (serverKnows)
            server().putNotebook(notebook.id, QStringLiteral("Old name"), 1);
        if (deleted)
            QVERIFY(device.notebooks->moveToTrash(notebook.id));
        if (faultStatus)
            server().addFault(faultMethod, QStringLiteral("/notebooks/nb-1"), status(faultStatus));

        // Notebook failures are logged, never stop the run.
        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(pushRequests(server()), expectedRequests);
        QCOMPARE(device.notebooks->byId(notebook.id)->syncStatus, expectedStatus);
        if (!deleted && expectedStatus == SyncStatus::Synced)
            QCOMPARE(server().notebooks().value(notebook.id).name, QStringLiteral("Work"));
    }

    void attachmentUpload_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<int>("serverStatus");
        QTest::addColumn<SyncStatus>("expectedStatus");
        QTest::addColumn<int>("expectedUploads");

        QTest::newRow("uploaded") << true << 0 << SyncStatus::Synced << 1;
        QTest::newRow("413 is never retried") << true << 413 << SyncStatus::Synced << 1;
        QTest::newRow("500 stays pending") << true << 500 << SyncStatus::Pending << 1;
        QTest::newRow("missing file is dropped") << false << 0 << SyncStatus::Synced << 0;
    }

    void attachmentUpload()
    {
        QFETCH(bool, fileExists);
        QFETCH(int, serverStatus);
        QFETCH(SyncStatus, expectedStatus);
        QFETCH(int, expectedUploads);

        Device device(server());
        const Note note = device.addNote(QStringLiteral("with file"));
        const Attachment attachment = device.addAttachment(note.id, fileExists ? QByteArray("\x89PNG", 4) : QByteArray(),
                                                           QStringLiteral("photo \"1\".png"), QStringLiteral("image/png"));
        if (serverStatus)
            server().addFault("POST", QStringLiteral("/attachments"), status(serverStatus));

        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        const int uploads = server().requestCount(QStringLiteral("POST /attachments"));
        QCOMPARE(uploads, expectedUploads);
        QCOMPARE(device.attachments->byId(attachment.id)->syncStatus, expectedStatus);
        if (expectedUploads && !serverStatus) {
            const auto stored = server().attachments().value(attachment.id);
            QCOMPARE(stored.noteId, note.id);
            QCOMPARE(stored.bytes, QByteArray("\x89PNG", 4));
            QCOMPARE(stored.mimeType, QStringLiteral("image/png"));
        }
        // The next run tries again only what is still pending.
        server().clearFaults();
        device.syncNow();
        QCOMPARE(server().requestCount(QStringLiteral("POST /attachments")),
                 uploads + (expectedStatus == SyncStatus::Pending ? 1 : 0));
        QCOMPARE(device.attachments->byId(attachment.id)->syncStatus, fileExists ? SyncStatus::Synced : expectedStatus);
    }

    void attachmentSizeFromWire_data()
    {
        QTest::addColumn<QJsonValue>("size");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("bytes") << QJsonValue(2048) << qint64(2048);
        QTest::newRow("negative") << QJsonValue(-5) << qint64(0);
        QTest::newRow("beyond any file, beyond qint64") << QJsonValue(1e308) << qint64(0);
    }

    void attachmentSizeFromWire()
    {
        QFETCH(QJsonValue, size);
        QFETCH(qint64, expected);
        const std::optional<Attachment> attachment = SyncWire::attachmentFromWire(QJsonObject{
            { QStringLiteral("id"), QStringLiteral("a-1") }, { QStringLiteral("note_id"), QStringLiteral("n-1") },
            { QStringLiteral("size_bytes"), size } });
        QVERIFY(attachment);
        QCOMPARE(attachment->sizeBytes, expected);
    }

    void pulledNoteVersions_data()
    {
        QTest::addColumn<int>("localVersion");
        QTest::addColumn<bool>("localPending");
        QTest::addColumn<int>("serverVersion");
        QTest::addColumn<QString>("serverText");
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<SyncStatus>("expectedStatus");
        QTest::addColumn<QStringList>("expectedAllTexts");

        // The local note reads "local"; pending rows were edited here.
        const QString local = QStringLiteral("local\n");
        QTest::newRow("lower version kept") << 3 << false << 2 << QStringLiteral("server") << local << SyncStatus::Synced
                                            << QStringList{local};
        QTest::newRow("equal version overwrites") << 3 << false << 3 << QStringLiteral("server") << QStringLiteral("server\n")
                                                  << SyncStatus::Synced << QStringList{QStringLiteral("server\n")};
        QTest::newRow("both edited: local text kept as a copy")
            << 3 << true << 4 << QStringLiteral("server") << QStringLiteral("server\n") << SyncStatus::Conflict
            << QStringList{QStringLiteral("local (conflicting copy)\n"), QStringLiteral("server\n")};
        QTest::newRow("pending, same text: synced") << 3 << true << 3 << QStringLiteral("local") << local
                                                    << SyncStatus::Synced << QStringList{local};
    }

    void pulledNoteVersions()
    {
        QFETCH(int, localVersion);
        QFETCH(bool, localPending);
        QFETCH(int, serverVersion);
        QFETCH(QString, serverText);
        QFETCH(QString, expectedText);
        QFETCH(SyncStatus, expectedStatus);
        QFETCH(QStringList, expectedAllTexts);

        Device device(server());
        Note note = device.addNote(QStringLiteral("local"));
        QVERIFY(device.notes->markSynced(note.id, localVersion));
        if (localPending) {
            note = *device.notes->byId(note.id);
            note.syncStatus = SyncStatus::Pending;
            QVERIFY(device.notes->update(note));
        }
        server().putNote(note.id, Device::bodyOf(serverText), serverVersion);
        // Keep the push out of the picture: only the pull decides here.
        server().addFault("POST", QStringLiteral("/sync/push"), HttpResponse::json(R"({"results":[]})"));
        QSignalSpy changed(device.notes.get(), &NoteRepository::notesChanged);

        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(device.textOf(note.id), expectedText);
        QCOMPARE(device.notes->byId(note.id)->syncStatus, expectedStatus);
        QCOMPARE(device.allTexts(), expectedAllTexts);
        QCOMPARE(changed.isEmpty(), expectedText == QStringLiteral("local\n") && expectedStatus == SyncStatus::Synced
                                        && !localPending);
    }

    // Lists reload on notesChanged: a pull in many slices tells them a few
    // times, not once per slice, and the last time every note is there.
    void pullAnnouncesNotesSparingly()
    {
        Device device(server());
        for (int i = 0; i < 300; ++i)
            server().putNote(QStringLiteral("server-%1").arg(i), Device::bodyOf(QStringLiteral("n %1").arg(i)), 1);
        device.engine->setPullSliceSize(3);
        int announced = 0;
        qsizetype shownLast = -1;
        connect(device.notes.get(), &NoteRepository::notesChanged, this, [&] {
            ++announced;
            shownLast = device.allTexts().size();
        });
        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QVERIFY2(announced >= 1 && announced < 20, qPrintable(QString::number(announced)));
        QCOMPARE(shownLast, qsizetype(300));
    }

    void pulledNotebooks_data()
    {
        QTest::addColumn<SyncStatus>("localStatus");
        QTest::addColumn<int>("localVersion");
        QTest::addColumn<int>("serverVersion");
        QTest::addColumn<QString>("expectedName");

        QTest::newRow("synced, same version") << SyncStatus::Synced << 2 << 2 << QStringLiteral("Server");
        QTest::newRow("synced, older on server") << SyncStatus::Synced << 3 << 2 << QStringLiteral("Local");
        QTest::newRow("pending is never overwritten") << SyncStatus::Pending << 1 << 5 << QStringLiteral("Local");
    }

    void pulledNotebooks()
    {
        QFETCH(SyncStatus, localStatus);
        QFETCH(int, localVersion);
        QFETCH(int, serverVersion);
        QFETCH(QString, expectedName);

        Device device(server());
        const Notebook notebook = device.addNotebook(QStringLiteral("nb-7"), QStringLiteral("Local"), localStatus, localVersion);
        server().putNotebook(notebook.id, QStringLiteral("Server"), serverVersion);
        server().addFault("PUT", QStringLiteral("/notebooks/*"), status(500));
        server().putNotebook(QStringLiteral("nb-new"), QStringLiteral("New"), 1);

        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(device.notebooks->byId(notebook.id)->name, expectedName);
        QCOMPARE(device.notebooks->byId(QStringLiteral("nb-new"))->name, QStringLiteral("New"));
        QCOMPARE(device.notebooks->byId(QStringLiteral("nb-new"))->syncStatus, SyncStatus::Synced);
    }

    // The stored cursor is sent as "since"; an answer without a timestamp
    // leaves it where it was.
    void pullWithoutTimestampKeepsCursor()
    {
        Device device(server());
        device.preferences->setString(SyncEngine::notesCursorKey(), QStringLiteral("1000"));
        server().addFault("GET", QStringLiteral("/sync/pull"), HttpResponse::json(R"({"changes":[]})"));
        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(device.preferences->getString(SyncEngine::notesCursorKey()), QStringLiteral("1000"));
        const auto pulls = server().http()->requests(QStringLiteral("/notes/v1/sync/pull"));
        QCOMPARE(QUrlQuery(pulls.first().query).queryItemValue(QStringLiteral("since")), QStringLiteral("1000"));
    }

    void syncDuringRunRunsOnceMore()
    {
        Device device(server());
        server().addFault("GET", QStringLiteral("/sync/pull"), FakeNotesServer::held(200), FakeNotesServer::FaultMode::After, 1);
        QSignalSpy completed(device.engine.get(), &SyncEngine::syncCompleted);
        QSignalSpy states(device.engine.get(), &SyncEngine::stateChanged);
        device.engine->sync();
        device.engine->sync();
        device.engine->sync();
        device.engine->sync();
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 2, 20000);
        // A third run would have started from the second one's finish.
        QCOMPARE(server().requestCount(QStringLiteral("GET /sync/pull")), 2);
        QCOMPARE(device.engine->state(), SyncEngine::Idle);
        // Idle → Syncing → Idle → Syncing → Idle.
        QCOMPARE(states.size(), 4);
    }

    // A burst of local changes makes one run.
    void debounce()
    {
        Device device(server());
        QSignalSpy completed(device.engine.get(), &SyncEngine::syncCompleted);
        device.engine->scheduleSync();
        device.engine->scheduleSync();
        device.engine->scheduleSync();
        QCOMPARE(device.engine->state(), SyncEngine::Idle);
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, 20000);
        QCOMPARE(server().requestCount(QStringLiteral("GET /sync/pull")), 1);
    }

    void autoSyncFollowsPreferences_data()
    {
        // Preference values as stored; empty: not stored. The expected
        // periods are in minutes, 0 for no periodic timer.
        QTest::addColumn<QString>("autoSync");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("expectedMinutes");
        QTest::addColumn<QString>("laterAutoSync");
        QTest::addColumn<QString>("laterMinutes");
        QTest::addColumn<int>("expectedLaterMinutes");

        QTest::newRow("defaults, then a new interval") << QString() << QString() << 5 << QString() << "30" << 30;
        QTest::newRow("stored interval, switched off") << "1" << "15" << 15 << "0" << QString() << 0;
        QTest::newRow("off, switched on") << "0" << "10" << 0 << "1" << QString() << 10;
        QTest::newRow("out of range is clamped") << QString() << "0" << 1 << QString() << "500" << 120;
    }

    void autoSyncFollowsPreferences()
    {
        QFETCH(QString, autoSync);
        QFETCH(QString, minutes);
        QFETCH(int, expectedMinutes);
        QFETCH(QString, laterAutoSync);
        QFETCH(QString, laterMinutes);
        QFETCH(int, expectedLaterMinutes);

        Device device(server());
        const auto store = [&device](const QString &key, const QString &value) {
            if (!value.isEmpty())
                device.preferences->setString(key, value);
        };
        store(SyncEngine::autoSyncKey(), autoSync);
        store(SyncEngine::syncIntervalKey(), minutes);
        device.engine->startAutoSync();
        QCOMPARE(device.engine->periodicIntervalMs(), expectedMinutes * 60000);
        // Switched on, it runs at once; switched off, nothing runs by itself.
        QCOMPARE(device.engine->state(), expectedMinutes ? SyncEngine::Syncing : SyncEngine::Idle);
        QTRY_COMPARE_WITH_TIMEOUT(device.engine->state(), SyncEngine::Idle, 20000);
        if (!expectedMinutes) {
            device.engine->scheduleSync(); // a local change
            QTest::qWait(SyncEngine::DebounceMs + 500);
        }
        QCOMPARE(server().requestCount(QStringLiteral("GET /sync/pull")), expectedMinutes ? 1 : 0);

        // Changed in the settings while running.
        store(SyncEngine::autoSyncKey(), laterAutoSync);
        store(SyncEngine::syncIntervalKey(), laterMinutes);
        QCOMPARE(device.engine->periodicIntervalMs(), expectedLaterMinutes * 60000);

        // Once stopped, the preferences start nothing.
        device.engine->stopAutoSync();
        device.preferences->setString(SyncEngine::autoSyncKey(), QStringLiteral("1"));
        device.preferences->setString(SyncEngine::syncIntervalKey(), QStringLiteral("2"));
        QCOMPARE(device.engine->periodicIntervalMs(), 0);
    }

    void authenticationRequired()
    {
        Device device(server());
        device.client->tokenManager()->setTokens(AccountTest::tokenExpiringIn(-60), QStringLiteral("refresh-1"));
        const Note note = device.addNote(QStringLiteral("unsent"));
        QSignalSpy failed(device.engine.get(), &SyncEngine::syncFailed);
        QCOMPARE(device.syncNow(), SyncEngine::Error);
        QCOMPARE(device.engine->lastError(), QStringLiteral("Authentication required"));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Authentication required"));
        QCOMPARE(device.notes->byId(note.id)->syncStatus, SyncStatus::Pending);
        QCOMPARE(server().requestCount(QStringLiteral("POST /sync/push")), 0);
    }

    void hostileServer_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<int>("expectedState");
        QTest::addColumn<QString>("expectedError");

        const int error = SyncEngine::Error;
        const int idle = SyncEngine::Idle;
        const QString pull = QStringLiteral("/sync/pull");
        QTest::newRow("pull: garbage") << QByteArray("GET") << pull << HttpResponse::json("{not json at all")
                                       << error << QStringLiteral("Pull failed (unreadable answer)");
        QTest::newRow("pull: records of the wrong types")
            << QByteArray("GET") << pull
            << HttpResponse::json(R"({"changes":[7,"x",null,{"id":5},{"id":"../../etc"},{"id":"n1","body":[1]},)"
                                  R"({"id":"n2","body":"[]","version":"high","notebook_id":{}}],"timestamp":"soon"})")
            << idle << QString();
        QTest::newRow("push: garbage") << QByteArray("POST") << QStringLiteral("/sync/push") << HttpResponse::json("<html>")
                                       << error << QStringLiteral("Note push failed (unreadable answer)");
        QTest::newRow("push: results for other notes")
            << QByteArray("POST") << QStringLiteral("/sync/push")
            << HttpResponse::json(R"({"results":[{"entity_id":"someone-else","status":"ok","version":9},5]})") << idle << QString();
        QTest::newRow("notebooks: 502") << QByteArray("GET") << QStringLiteral("/notebooks") << status(502) << error
                                        << QStringLiteral("Notebook list failed (HTTP 502)");
        QTest::newRow("attachment list: path ids")
            << QByteArray("GET") << QStringLiteral("/attachments")
            << HttpResponse::json(R"({"attachments":[{"id":"../escape","note_id":"n"},{"id":"a1","note_id":"../x"}]})") << idle
            << QString();
        QTest::newRow("attachment download: 500") << QByteArray("GET") << QStringLiteral("/attachments/*") << status(500)
                                                  << idle << QString();
    }

    void hostileServer()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(HttpResponse, response);
        QFETCH(int, expectedState);
        QFETCH(QString, expectedError);

        Device device(server());
        const Notebook notebook = device.addNotebook(QStringLiteral("nb-local"), QStringLiteral("Kept"), SyncStatus::Synced);
        const Note synced = device.addNote(QStringLiteral("synced note"), notebook.id);
        QVERIFY(device.notes->markSynced(synced.id, 1));
        const Note pending = device.addNote(QStringLiteral("pending note"));
        server().putAttachment(QStringLiteral("att-1"), synced.id, "bytes");
        server().addFault(method, path, response);

        QCOMPARE(int(device.syncNow()), expectedState);
        QCOMPARE(device.engine->lastError(), expectedError);
        QCOMPARE(device.allTexts(), QStringList({QStringLiteral("pending note\n"), QStringLiteral("synced note\n")}));
        QCOMPARE(device.notebooks->byId(notebook.id)->name, QStringLiteral("Kept"));
        QVERIFY(!device.notes->byId(synced.id)->isTrashed());
        QVERIFY(QDir(device.attachments->directory()).entryList(QDir::Files).size() <= 1);
        QVERIFY(!QFile::exists(QDir(device.attachments->directory()).absoluteFilePath(QStringLiteral("../escape"))));

        // A well-behaved server afterwards brings everything in line.
        server().clearFaults();
        QCOMPARE(device.syncNow(), SyncEngine::Idle);
        QCOMPARE(device.notes->byId(pending.id)->syncStatus, SyncStatus::Synced);
        QCOMPARE(device.attachments->readFile(QStringLiteral("att-1")), QByteArray("bytes"));
    }

    void wireTimes_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QDateTime>("expected");

        const QDateTime time = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
        QTest::newRow("milliseconds") << QJsonValue(1700000000123.0) << time;
        QTest::newRow("ISO with offset") << QJsonValue(QStringLiteral("2023-11-15T00:13:20.123+02:00")) << time;
        QTest::newRow("absurd number") << QJsonValue(1e300) << QDateTime();
    }

    void wireTimes()
    {
        QFETCH(QJsonValue, value);
        QFETCH(QDateTime, expected);
        const QDateTime parsed = SyncWire::fromWireTime(value);
        QCOMPARE(parsed, expected);
        if (parsed.isValid())
            QCOMPARE(parsed.timeSpec(), Qt::UTC);
    }

    // The copy's title says what it is; the rest of the document is kept.
    void conflictCopyBody_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expected");

        QTest::newRow("heading keeps its line format")
            << QStringLiteral(R"j([{"insert":"Plan"},{"insert":"\n","attributes":{"header":1}},{"insert":"body\n"}])j")
            << QStringLiteral(R"j([{"insert":"Plan"},{"insert":" (conflicting copy)"},{"attributes":{"header":1},"insert":"\n"},{"insert":"body\n"}])j");
        QTest::newRow("empty first line") << QStringLiteral(R"j([{"insert":"\nsecond\n"}])j")
                                          << QStringLiteral(R"j([{"insert":"(conflicting copy)"},{"insert":"\nsecond\n"}])j");
        QTest::newRow("no line break") << QStringLiteral(R"j([{"insert":"x"}])j")
                                       << QStringLiteral(R"j([{"insert":"x"},{"insert":"(conflicting copy)\n"}])j");
        QTest::newRow("not JSON") << QStringLiteral("legacy text") << QStringLiteral("legacy text (conflicting copy)");
    }

    void conflictCopyBody()
    {
        QFETCH(QString, body);
        QFETCH(QString, expected);
        QCOMPARE(SyncWire::conflictCopyBody(body), expected);
    }
};


LUMORA_TEST_MAIN(TestSyncEngine)
#include "tst_syncengine.moc"
