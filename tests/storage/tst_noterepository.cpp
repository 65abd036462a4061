#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"

#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <memory>

namespace {

// One text insert and one "\n" insert per line, the way the editor saves.
QString body(const QString &text)
{
    QJsonArray ops;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.isEmpty())
            ops.append(QJsonObject { { QStringLiteral("insert"), line } });
        ops.append(QJsonObject { { QStringLiteral("insert"), QStringLiteral("\n") } });
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

Note makeNote(const QString &id, const QString &text, const QString &notebookId = QString(),
    const QDateTime &updated = QDateTime::currentDateTimeUtc())
{
    Note note;
    note.id = id;
    note.notebookId = notebookId;
    note.body = body(text);
    note.createdAt = note.updatedAt = note.modifiedAt = updated;
    return note;
}

QStringList ids(const QList<Note> &notes)
{
    QStringList result;
    for (const Note &note : notes)
        result << note.id;
    return result;
}

} // namespace

class TestNoteRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void roundTripsEveryField();
    void listsExcludeTrash();
    void search_data();
    void search();
    void lifecycle();
    void saveEditedBody();
    void derivedTexts_data();
    void derivedTexts();
    void storedTimestamps_data();
    void storedTimestamps();
    void snapshotsOfAVersionReplaceEachOther();
    void snapshotStoredVersion_data();
    void snapshotStoredVersion();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteRepository::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    m_notes = std::make_unique<NoteRepository>(m_database.get());
}

void TestNoteRepository::cleanup()
{
    m_notes.reset();
    m_database.reset();
    m_dir.reset();
}

void TestNoteRepository::roundTripsEveryField()
{
    Note note = makeNote(QStringLiteral("a"), QStringLiteral("Title\nBody"), QStringLiteral("nb"));
    note.createdAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC);
    note.updatedAt = note.createdAt.addSecs(60);
    note.modifiedAt = note.createdAt.addSecs(120);
    note.deletedAt = note.createdAt.addDays(1);
    note.version = 4;
    note.opVersion = 9;
    note.syncStatus = SyncStatus::Conflict;
    note.isSample = true;
    note.ownerId = QStringLiteral("owner");
    note.isShared = true;
    note.permission = QStringLiteral("write");
    QVERIFY(m_notes->insert(note));

    const std::optional<Note> read = m_notes->byId(QStringLiteral("a"));
    QVERIFY(read);
    QCOMPARE(read->notebookId, note.notebookId);
    QCOMPARE(read->body, note.body);
    QCOMPARE(read->createdAt, note.createdAt);
    QCOMPARE(read->updatedAt, note.updatedAt);
    QCOMPARE(read->modifiedAt, note.modifiedAt);
    QCOMPARE(read->deletedAt, note.deletedAt);
    QCOMPARE(read->version, 4);
    QCOMPARE(read->opVersion, 9);
    QCOMPARE(read->syncStatus, SyncStatus::Conflict);
    QVERIFY(read->isSample && read->isShared);
    QCOMPARE(read->ownerId, note.ownerId);
    QCOMPARE(read->permission, note.permission);

    QSqlQuery q(m_database->db());
    QVERIFY(q.exec(QStringLiteral("SELECT created_at FROM notes WHERE id = 'a'")) && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("2024-05-01T09:30:00.123Z"));

    QVERIFY(!m_notes->byId(QStringLiteral("missing")));

    // Unknown status text reads as pending.
    QVERIFY(q.exec(QStringLiteral("UPDATE notes SET sync_status = 'weird' WHERE id = 'a'")));
    QCOMPARE(m_notes->byId(QStringLiteral("a"))->syncStatus, SyncStatus::Pending);
}

void TestNoteRepository::listsExcludeTrash()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("old"), QStringLiteral("gamma old"), QStringLiteral("A"), t.addDays(-2))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("new"), QStringLiteral("gamma new"), QStringLiteral("A"), t)));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("gone"), QStringLiteral("gamma gone"), QStringLiteral("A"), t.addDays(-1))));
    QVERIFY(
        m_notes->insert(makeNote(QStringLiteral("loose"), QStringLiteral("gamma loose"), QString(), t.addDays(-3))));
    QVERIFY(m_database->db().exec(QStringLiteral("UPDATE notes SET sync_status='synced'")).lastError().type()
        == QSqlError::NoError);
    QVERIFY(m_notes->moveToTrash(QStringLiteral("gone")));

    const QStringList inA { QStringLiteral("new"), QStringLiteral("old") };
    QCOMPARE(ids(m_notes->all()), inA + QStringList { QStringLiteral("loose") });
    QCOMPARE(ids(m_notes->byNotebook(QStringLiteral("A"))), inA);
    QCOMPARE(ids(m_notes->search(QStringLiteral("gamma"))).size(), 3);
    QCOMPARE(ids(m_notes->trashed()), QStringList { QStringLiteral("gone") });
    QCOMPARE(m_notes->trashCount(), 1);
    QCOMPARE(ids(m_notes->pending()), QStringList { QStringLiteral("gone") });
    // Per notebook, and under the empty key every note outside the trash.
    const QHash<QString, int> counts = m_notes->countsByNotebook();
    QCOMPARE(counts.size(), 2);
    QCOMPARE(counts.value(QStringLiteral("A")), 2);
    QCOMPARE(counts.value(QString()), 3);
}

void TestNoteRepository::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    const QStringList all { QStringLiteral("apple"), QStringLiteral("banana"), QStringLiteral("cherry") };
    QTest::newRow("two words, last as prefix")
        << QStringLiteral("yellow curv") << QStringList { QStringLiteral("banana") };
    QTest::newRow("OR operator passes through")
        << QStringLiteral("orchard OR stone") << QStringList { QStringLiteral("apple"), QStringLiteral("cherry") };
    QTest::newRow("phrase") << QStringLiteral("\"red stone\"") << QStringList { QStringLiteral("cherry") };
    QTest::newRow("middle of word does not match") << QStringLiteral("chard") << QStringList {};
    QTest::newRow("only spaces lists everything") << QStringLiteral("   ") << all;
}

void TestNoteRepository::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("apple"), QStringLiteral("Apple\nfruit from the orchard"), {}, t)));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("banana"), QStringLiteral("Banana\nyellow curved fruit"), {}, t.addSecs(-1))));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("cherry"), QStringLiteral("Cherry\nfruit with a red stone"), {}, t.addSecs(-2))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("durian"), QStringLiteral("Durian smells"), {}, t.addSecs(-3))));
    QVERIFY(m_notes->moveToTrash(QStringLiteral("durian")));

    QStringList found = ids(m_notes->search(query));
    found.sort();
    QCOMPARE(found, expected);
}

void TestNoteRepository::lifecycle()
{
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("a"), QStringLiteral("x"))));
    QVERIFY(m_notes->includeInTodos(QStringLiteral("a")));
    QVERIFY(m_notes->setIncludeInTodos(QStringLiteral("a"), false));
    QVERIFY(!m_notes->includeInTodos(QStringLiteral("a")));

    QStringList order;
    connect(m_notes.get(), &NoteRepository::notesChanged, this, [&order] { order << QStringLiteral("changed"); });
    connect(m_notes.get(), &NoteRepository::noteDeleted, this,
        [&order](const QString &id) { order << QStringLiteral("deleted:") + id; });
    connect(m_notes.get(), &NoteRepository::notePurged, this,
        [&order](const QString &id) { order << QStringLiteral("purged:") + id; });

    QVERIFY(m_notes->markSynced(QStringLiteral("a"), 3)); // silent
    QVERIFY(m_notes->pending().isEmpty());
    QVERIFY(m_notes->moveToTrash(QStringLiteral("a")));
    std::optional<Note> note = m_notes->byId(QStringLiteral("a"));
    QVERIFY(note->deletedAt);
    QVERIFY(qAbs(note->deletedAt->secsTo(QDateTime::currentDateTimeUtc())) < 5);
    QCOMPARE(note->syncStatus, SyncStatus::Pending);
    QCOMPARE(note->version, 3);

    QVERIFY(m_notes->restore(QStringLiteral("a")));
    QVERIFY(!m_notes->byId(QStringLiteral("a"))->deletedAt);
    QVERIFY(m_notes->purge(QStringLiteral("a")));
    QVERIFY(!m_notes->byId(QStringLiteral("a")));

    QCOMPARE(order,
        (QStringList { QStringLiteral("deleted:a"), QStringLiteral("changed"), QStringLiteral("changed"),
            QStringLiteral("purged:a"), QStringLiteral("changed") }));
}

void TestNoteRepository::saveEditedBody()
{
    const QDateTime then = QDateTime(QDate(2023, 3, 3), QTime(3, 3), Qt::UTC);
    Note note = makeNote(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("A"), then);
    note.version = 4;
    note.opVersion = 7;
    note.syncStatus = SyncStatus::Synced;
    note.ownerId = QStringLiteral("owner");
    note.isShared = true;
    note.permission = QStringLiteral("edit");
    QVERIFY(m_notes->insert(note));
    // A neighbour that must keep its row.
    Note b = makeNote(QStringLiteral("b"), QStringLiteral("x"), QStringLiteral("A"), then);
    b.syncStatus = SyncStatus::Synced;
    QVERIFY(m_notes->insert(b));
    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);

    // An echo of the stored body writes nothing.
    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("a"), note.body), NoteRepository::SaveResult::Unchanged);
    QCOMPARE(changed.count(), 0);

    const QString edited = body(QStringLiteral("x\ny"));
    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("a"), edited), NoteRepository::SaveResult::Saved);
    QCOMPARE(changed.count(), 1);
    const Note saved = *m_notes->byId(QStringLiteral("a"));
    QCOMPARE(saved.body, edited);
    QCOMPARE(saved.version, 5);
    QCOMPARE(saved.syncStatus, SyncStatus::Pending);
    QVERIFY(saved.updatedAt > then);
    QCOMPARE(saved.modifiedAt, saved.updatedAt);
    QCOMPARE(saved.createdAt, then);
    QCOMPARE(saved.notebookId, QStringLiteral("A"));
    // A save writes the body and its stamps, nothing else of the note.
    QCOMPARE(saved.opVersion, 7);
    QCOMPARE(saved.ownerId, QStringLiteral("owner"));
    QVERIFY(saved.isShared);
    QCOMPARE(saved.permission, QStringLiteral("edit"));
    QVERIFY(!saved.deletedAt);
    const Note neighbour = *m_notes->byId(QStringLiteral("b"));
    QCOMPARE(neighbour.body, body(QStringLiteral("x")));
    QCOMPARE(neighbour.updatedAt, then);

    // Saving the stored body again is an echo too, and keeps the version.
    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("a"), edited), NoteRepository::SaveResult::Unchanged);
    QCOMPARE(m_notes->byId(QStringLiteral("a"))->version, 5);
    QCOMPARE(changed.count(), 1);

    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("missing"), edited), NoteRepository::SaveResult::Failed);

    // A move is no content change: it keeps updatedAt and the version.
    QVERIFY(m_notes->moveToNotebook(QStringLiteral("b"), QString()));
    const Note moved = *m_notes->byId(QStringLiteral("b"));
    QCOMPARE(moved.notebookId, QString());
    QCOMPARE(moved.updatedAt, then);
    QVERIFY(moved.modifiedAt > then);
    QCOMPARE(moved.version, 1);
    QCOMPARE(moved.syncStatus, SyncStatus::Pending);
    QCOMPARE(m_notes->countsByNotebook().value(QStringLiteral("A")), 1);
}

void TestNoteRepository::derivedTexts_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");

    const QString line200(200, QLatin1Char('w'));
    QTest::newRow("empty document") << emptyNoteBody() << QStringLiteral("\n") << QString() << QString();
    QTest::newRow("title and lines") << QStringLiteral(
        "[{\"insert\":\"  Shopping \\n\"},{\"insert\":\"milk\",\"attributes\":{\"bold\":true}},"
        "{\"insert\":\"\\n\",\"attributes\":{\"list\":\"bullet\"}},{\"insert\":\"eggs\\n\\n\"}]")
                                     << QStringLiteral("  Shopping \nmilk\neggs\n\n") << QStringLiteral("Shopping")
                                     << QStringLiteral("milk eggs");
    QTest::newRow("embeds contribute nothing")
        << QStringLiteral("[{\"insert\":\"A\\n\"},{\"insert\":{\"divider\":true}},{\"insert\":\"\\nB\\n\"}]")
        << QStringLiteral("A\n\nB\n") << QStringLiteral("A") << QStringLiteral("B");
    QTest::newRow("no newline") << QStringLiteral("[{\"insert\":\" lone \"}]") << QStringLiteral(" lone ")
                                << QStringLiteral("lone") << QString();
    QTest::newRow("legacy plain text") << QStringLiteral("Old note\nsecond line")
                                       << QStringLiteral("Old note\nsecond line") << QStringLiteral("Old note")
                                       << QStringLiteral("second line");
    QTest::newRow("long second line is cut to 120 plus dots")
        << QStringLiteral("[{\"insert\":\"T\\n%1\\n\"}]").arg(line200) << QStringLiteral("T\n%1\n").arg(line200)
        << QStringLiteral("T") << QString(line200.left(120) + QStringLiteral("..."));
    QTest::newRow("exactly 120 is not cut")
        << QStringLiteral("[{\"insert\":\"T\\n%1\"}]").arg(line200.left(120))
        << QStringLiteral("T\n%1").arg(line200.left(120)) << QStringLiteral("T") << line200.left(120);
    QTest::newRow("non-string inserts and non-objects skipped")
        << QStringLiteral("[1,\"x\",{\"insert\":5},{\"insert\":\"\u00e9t\u00e9 \U0001F600\\n\"}]")
        << QStringLiteral("\u00e9t\u00e9 \U0001F600\n") << QStringLiteral("\u00e9t\u00e9 \U0001F600") << QString();
}

void TestNoteRepository::derivedTexts()
{
    QFETCH(QString, body);
    QFETCH(QString, plain);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QCOMPARE(deltaToPlainText(body), plain);
    QCOMPARE(noteTitle(body), title);
    QCOMPARE(notePreview(body), preview);
}

void TestNoteRepository::storedTimestamps_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("stored form") << QStringLiteral("2024-05-01T09:30:00.123Z");
    QTest::newRow("offset instead of Z") << QStringLiteral("2024-05-01T11:30:00.123+02:00");
    QTest::newRow("no milliseconds") << QStringLiteral("2024-05-01T09:30:00Z");
    QTest::newRow("no leap day") << QStringLiteral("2023-02-29T00:00:00.000Z");
}

void TestNoteRepository::storedTimestamps()
{
    QFETCH(QString, text);
    // The fast path must agree with Qt's own reading of every form.
    const QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
    const QDateTime actual = fromStoredTimestamp(text);
    QCOMPARE(actual.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(actual, expected);
        QCOMPARE(actual.timeSpec(), Qt::UTC);
        QCOMPARE(toStoredTimestamp(actual), toStoredTimestamp(expected));
    }
}

void TestNoteRepository::snapshotsOfAVersionReplaceEachOther()
{
    SnapshotRepository snapshots(m_database.get());
    QVERIFY(snapshots.forNote(QStringLiteral("n")).isEmpty());
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x")))); // snapshots belong to a note

    const QDateTime t(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC);
    QVERIFY(snapshots.insert({ QStringLiteral("s1"), QStringLiteral("n"), 1, QStringLiteral("one"), t }));
    QVERIFY(snapshots.insert({ QStringLiteral("s2"), QStringLiteral("n"), 2, QStringLiteral("two"), t }));
    QVERIFY(
        snapshots.insert({ QStringLiteral("s3"), QStringLiteral("n"), 1, QStringLiteral("one again"), t.addSecs(5) }));

    // Newest first; the second snapshot of version 1 took the first one's place.
    const QList<NoteSnapshot> list = snapshots.forNote(QStringLiteral("n"));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).version, 2);
    QCOMPARE(list.at(1).id, QStringLiteral("s3"));
    QCOMPARE(list.at(1).body, QStringLiteral("one again"));
    QCOMPARE(list.at(1).createdAt, t.addSecs(5));
    QVERIFY(!snapshots.byId(QStringLiteral("s1")));
    QCOMPARE(snapshots.byId(QStringLiteral("s2"))->body, QStringLiteral("two"));

    // An empty body is stored as one, not refused as NULL.
    QVERIFY(snapshots.insert({ QStringLiteral("s4"), QStringLiteral("n"), 3, QString(), t }));
    QCOMPARE(snapshots.byId(QStringLiteral("s4"))->body, QString());
}

void TestNoteRepository::snapshotStoredVersion_data()
{
    QTest::addColumn<QString>("storedBody");
    QTest::addColumn<QString>("askedId");
    QTest::addColumn<bool>("written");

    QTest::newRow("stored note") << QStringLiteral("[{\"insert\":\"b\\n\"}]") << QStringLiteral("n") << true;
    QTest::newRow("empty body") << QString() << QStringLiteral("n") << false;
    QTest::newRow("missing note") << QStringLiteral("[{\"insert\":\"b\\n\"}]") << QStringLiteral("gone") << false;
}

void TestNoteRepository::snapshotStoredVersion()
{
    QFETCH(QString, storedBody);
    QFETCH(QString, askedId);
    QFETCH(bool, written);
    SnapshotRepository snapshots(m_database.get());
    Note note = makeNote(QStringLiteral("n"), QString());
    note.body = storedBody;
    note.version = 7;
    QVERIFY(m_notes->insert(note));

    QCOMPARE(::snapshotStoredVersion(&snapshots, m_notes.get(), askedId), written);
    const QList<NoteSnapshot> list = snapshots.forNote(QStringLiteral("n"));
    QCOMPARE(list.size(), written ? 1 : 0);
    if (written) {
        QCOMPARE(list.first().version, 7);
        QCOMPARE(list.first().body, storedBody);
    }
}

LUMORA_TEST_MAIN(TestNoteRepository)
#include "tst_noterepository.moc"
