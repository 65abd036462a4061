#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"

#include "testmain.h"

#include <QSignalSpy>
#include <QSqlQuery>

namespace {

Notebook makeNotebook(const QString &id, const QString &name)
{
    Notebook n;
    n.id = id;
    n.name = name;
    n.createdAt = n.updatedAt = QDateTime(QDate(2024, 2, 2), QTime(2, 2, 2, 22), Qt::UTC);
    return n;
}

QStringList names(const QList<Notebook> &notebooks)
{
    QStringList result;
    for (const Notebook &n : notebooks)
        result << n.name;
    return result;
}

} // namespace

class TestNotebookRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderTrashAndPending();
    void roundTripAndFailures();
};

void TestNotebookRepository::orderTrashAndPending()
{
    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    NotebookRepository repo(&database);
    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);

    QVERIFY(repo.insert(makeNotebook(QStringLiteral("1"), QStringLiteral("b"))));
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("2"), QStringLiteral("A"))));
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("3"), QStringLiteral("Zed"))));
    Notebook legacy = makeNotebook(QStringLiteral("4"), QStringLiteral("zz default"));
    legacy.isDefault = true;
    legacy.syncStatus = SyncStatus::Synced;
    QVERIFY(repo.insert(legacy));
    QCOMPARE(changed.count(), 4);
    // A legacy default first, then byte-wise: every upper-case name before "b".
    QCOMPARE(names(repo.all()),
             (QStringList{QStringLiteral("zz default"), QStringLiteral("A"), QStringLiteral("Zed"), QStringLiteral("b")}));

    QSqlQuery q(database.db());
    QVERIFY(q.exec(QStringLiteral("UPDATE notebooks SET sync_status='synced' WHERE id='3'")));
    QVERIFY(repo.moveToTrash(QStringLiteral("3")));
    QCOMPARE(changed.count(), 5);
    QVERIFY(!names(repo.all()).contains(QStringLiteral("Zed")));
    const std::optional<Notebook> trashed = repo.byId(QStringLiteral("3"));
    QVERIFY(trashed && trashed->deletedAt);
    QCOMPARE(trashed->syncStatus, SyncStatus::Pending);
    QCOMPARE(names(repo.pending()), (QStringList{QStringLiteral("A"), QStringLiteral("Zed"), QStringLiteral("b")}));
}

void TestNotebookRepository::roundTripAndFailures()
{
    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    NotebookRepository repo(&database);

    Notebook n = makeNotebook(QStringLiteral("x"), QStringLiteral("Travel"));
    n.isShared = true;
    n.ownerId = QStringLiteral("owner-1");
    n.version = 3;
    n.syncStatus = SyncStatus::Conflict;
    QVERIFY(repo.insert(n));
    Notebook read = *repo.byId(QStringLiteral("x"));
    QCOMPARE(read.name, n.name);
    QVERIFY(read.isShared && !read.isDefault && !read.deletedAt);
    QCOMPARE(read.ownerId, n.ownerId);
    QCOMPARE(read.createdAt, n.createdAt);
    QCOMPARE(read.version, 3);
    QCOMPARE(read.syncStatus, SyncStatus::Conflict);

    // Renaming as the sidebar does; an own notebook stores owner_id as NULL.
    read.name = QStringLiteral("Trips");
    read.ownerId.clear();
    read.version += 1;
    QVERIFY(repo.update(read));
    QSqlQuery q(database.db());
    QVERIFY(q.exec(QStringLiteral("SELECT name, owner_id IS NULL, version FROM notebooks WHERE id='x'")) && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("Trips"));
    QVERIFY(q.value(1).toBool());
    QCOMPARE(q.value(2).toInt(), 4);

    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NotebookRepository::insert failed: ")));
    QVERIFY(!repo.insert(n)); // same id
    QCOMPARE(changed.count(), 0);
    QVERIFY(!repo.byId(QStringLiteral("missing")));
}

LUMORA_TEST_MAIN(TestNotebookRepository)
#include "tst_notebookrepository.moc"
