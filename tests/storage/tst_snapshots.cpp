#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"

#include "testmain.h"

class TestSnapshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameVersionReplacesNewestFirst();
    void snapshotStoredVersion_data();
    void snapshotStoredVersion();
};

void TestSnapshots::sameVersionReplacesNewestFirst()
{
    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    SnapshotRepository snapshots(&database);
    QVERIFY(snapshots.forNote(QStringLiteral("n")).isEmpty());
    Note note;
    note.id = QStringLiteral("n");
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(NoteRepository(&database).insert(note)); // snapshots belong to an existing note

    const QDateTime t(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC);
    QVERIFY(snapshots.insert({QStringLiteral("s1"), QStringLiteral("n"), 1, QStringLiteral("one"), t}));
    QVERIFY(snapshots.insert({QStringLiteral("s2"), QStringLiteral("n"), 2, QStringLiteral("two"), t}));
    QVERIFY(snapshots.insert({QStringLiteral("s3"), QStringLiteral("n"), 1, QStringLiteral("one again"), t.addSecs(5)}));

    const QList<NoteSnapshot> list = snapshots.forNote(QStringLiteral("n"));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).version, 2);
    QCOMPARE(list.at(1).id, QStringLiteral("s3"));
    QCOMPARE(list.at(1).body, QStringLiteral("one again"));
    QCOMPARE(list.at(1).createdAt, t.addSecs(5));
    QVERIFY(!snapshots.byId(QStringLiteral("s1")));
    QCOMPARE(snapshots.byId(QStringLiteral("s2"))->body, QStringLiteral("two"));

    // An empty body is stored as one, not refused as NULL.
    QVERIFY(snapshots.insert({QStringLiteral("s4"), QStringLiteral("n"), 3, QString(), t}));
    QCOMPARE(snapshots.byId(QStringLiteral("s4"))->body, QString());
}

void TestSnapshots::snapshotStoredVersion_data()
{
    QTest::addColumn<QString>("storedBody");
    QTest::addColumn<QString>("askedId");
    QTest::addColumn<bool>("written");

    QTest::newRow("stored note") << QStringLiteral("[{\"insert\":\"b\\n\"}]") << QStringLiteral("n") << true;
    QTest::newRow("empty body") << QString() << QStringLiteral("n") << false;
    QTest::newRow("missing note") << QStringLiteral("[{\"insert\":\"b\\n\"}]") << QStringLiteral("gone") << false;
}

void TestSnapshots::snapshotStoredVersion()
{
    QFETCH(QString, storedBody);
    QFETCH(QString, askedId);
    QFETCH(bool, written);

    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    NoteRepository notes(&database);
    SnapshotRepository snapshots(&database);
    Note note;
    note.id = QStringLiteral("n");
    note.body = storedBody;
    note.version = 7;
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(notes.insert(note));

    QCOMPARE(::snapshotStoredVersion(&snapshots, &notes, askedId), written);
    const QList<NoteSnapshot> list = snapshots.forNote(QStringLiteral("n"));
    QCOMPARE(list.size(), written ? 1 : 0);
    if (written) {
        QCOMPARE(list.first().version, 7);
        QCOMPARE(list.first().body, storedBody);
    }
}

LUMORA_TEST_MAIN(TestSnapshots)
#include "tst_snapshots.moc"
