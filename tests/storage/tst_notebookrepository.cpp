#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include "testmain.h"

#include <QSignalSpy>
#include <QSqlQuery>

#include <memory>

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

Note makeNote(const QString &id, const QString &notebookId, bool trashed = false)
{
    Note n;
    n.id = id;
    n.notebookId = notebookId;
    n.body = QStringLiteral("[{\"insert\":\"Note %1\\n\"}]").arg(id);
    n.createdAt = n.updatedAt = n.modifiedAt = QDateTime(QDate(2024, 3, 3), QTime(3, 3), Qt::UTC);
    if (trashed)
        n.deletedAt = n.updatedAt;
    n.syncStatus = SyncStatus::Synced;
    return n;
}

// Both tables as text, to see that a failed write left every row as it was.
QString tablesText(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    const bool ok = q.exec(QStringLiteral(
                        "SELECT (SELECT group_concat(r, ';') FROM (SELECT id || ':' || notebook_id || ':' "
                        "|| sync_status || ':' || modified_at AS r FROM notes ORDER BY id)) || ' | ' || "
                        "(SELECT group_concat(r, ';') FROM (SELECT id || ':' || name || ':' || sync_status || ':' "
                        "|| ifnull(deleted_at, '-') || ':' || version AS r FROM notebooks ORDER BY id))"))
        && q.next();
    return ok ? q.value(0).toString() : QStringLiteral("(unreadable)");
}

struct Library
{
    Library()
    {
        ok = database.open(databasePath()) && database.migrate();
        notebooks = std::make_unique<NotebookRepository>(&database);
        notes = std::make_unique<NoteRepository>(&database);
    }
    LumoraTest::ScopedDataDir dir;
    Database database;
    bool ok = false;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<NoteRepository> notes;
};

} // namespace

class TestNotebookRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderTrashAndPending();
    void roundTripAndFailures();
    void create_data();
    void create();
    void rename_data();
    void rename();
    void removeMovesNotesOut();
    void removeIsAllOrNothing_data();
    void removeIsAllOrNothing();
};

void TestNotebookRepository::orderTrashAndPending()
{
    Library lib;
    QVERIFY(lib.ok);
    NotebookRepository &repo = *lib.notebooks;
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
        (QStringList {
            QStringLiteral("zz default"), QStringLiteral("A"), QStringLiteral("Zed"), QStringLiteral("b") }));

    QSqlQuery q(lib.database.db());
    QVERIFY(q.exec(QStringLiteral("UPDATE notebooks SET sync_status='synced' WHERE id='3'")));
    QVERIFY(repo.moveToTrash(QStringLiteral("3")));
    QCOMPARE(changed.count(), 5);
    QVERIFY(!names(repo.all()).contains(QStringLiteral("Zed")));
    const std::optional<Notebook> trashed = repo.byId(QStringLiteral("3"));
    QVERIFY(trashed && trashed->deletedAt);
    QCOMPARE(trashed->syncStatus, SyncStatus::Pending);
    QCOMPARE(names(repo.pending()), (QStringList { QStringLiteral("A"), QStringLiteral("Zed"), QStringLiteral("b") }));
}

void TestNotebookRepository::roundTripAndFailures()
{
    Library lib;
    QVERIFY(lib.ok);
    NotebookRepository &repo = *lib.notebooks;

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

    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NotebookRepository::insert failed: ")));
    QVERIFY(!repo.insert(n)); // same id
    QCOMPARE(changed.count(), 0);
    QVERIFY(!repo.byId(QStringLiteral("missing")));
}

void TestNotebookRepository::create_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored"); // "" = refused

    QTest::newRow("trimmed") << QStringLiteral("  Work \t") << QStringLiteral("Work");
    QTest::newRow("only spaces") << QStringLiteral("   ") << QString();
}

void TestNotebookRepository::create()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    Library lib;
    QVERIFY(lib.ok);
    QSignalSpy changed(lib.notebooks.get(), &NotebookRepository::notebooksChanged);

    QString error;
    const std::optional<Notebook> created = lib.notebooks->create(name, &error);
    if (stored.isEmpty()) {
        QVERIFY(!created);
        QVERIFY(!error.isEmpty());
        QVERIFY(lib.notebooks->pending().isEmpty());
        QCOMPARE(changed.count(), 0);
        return;
    }
    QVERIFY2(created, qPrintable(error));
    QCOMPARE(changed.count(), 1);
    const std::optional<Notebook> read = lib.notebooks->byId(created->id);
    QVERIFY(read);
    QCOMPARE(read->name, stored);
    QCOMPARE(read->createdAt, read->updatedAt);
    QCOMPARE(read->syncStatus, SyncStatus::Pending);
    QCOMPARE(read->version, 1);
    QVERIFY(!read->isDefault && !read->isShared && !read->deletedAt);
    // Two notebooks of the same name are two notebooks.
    QVERIFY(lib.notebooks->create(name)->id != created->id);
}

void TestNotebookRepository::rename_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("writes");

    QTest::newRow("new name") << QStringLiteral("x") << QStringLiteral(" Trips ") << true << true;
    QTest::newRow("case only") << QStringLiteral("x") << QStringLiteral("travel") << true << true;
    QTest::newRow("unchanged after trimming") << QStringLiteral("x") << QStringLiteral("  Travel ") << true << false;
    QTest::newRow("only spaces") << QStringLiteral("x") << QStringLiteral("  ") << false << false;
    QTest::newRow("missing notebook") << QStringLiteral("nope") << QStringLiteral("Trips") << false << false;
    QTest::newRow("deleted notebook") << QStringLiteral("gone") << QStringLiteral("Trips") << false << false;
}

void TestNotebookRepository::rename()
{
    QFETCH(QString, id);
    QFETCH(QString, newName);
    QFETCH(bool, succeeds);
    QFETCH(bool, writes);
    Library lib;
    QVERIFY(lib.ok);
    Notebook synced = makeNotebook(QStringLiteral("x"), QStringLiteral("Travel"));
    synced.syncStatus = SyncStatus::Synced;
    synced.version = 4;
    QVERIFY(lib.notebooks->insert(synced));
    QVERIFY(lib.notebooks->insert(makeNotebook(QStringLiteral("gone"), QStringLiteral("Old"))));
    QVERIFY(lib.notebooks->moveToTrash(QStringLiteral("gone")));
    const QString before = tablesText(lib.database.db());
    QSignalSpy changed(lib.notebooks.get(), &NotebookRepository::notebooksChanged);

    QString error;
    QCOMPARE(lib.notebooks->rename(id, newName, &error), succeeds);
    QCOMPARE(error.isEmpty(), succeeds);
    QCOMPARE(changed.count(), writes ? 1 : 0);
    if (!writes) {
        // Looking at a name and keeping it writes nothing, not even a version.
        QCOMPARE(tablesText(lib.database.db()), before);
        return;
    }
    const Notebook read = *lib.notebooks->byId(id);
    QCOMPARE(read.name, newName.trimmed());
    QCOMPARE(read.version, 5);
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QVERIFY(read.updatedAt > synced.updatedAt);
    QCOMPARE(read.createdAt, synced.createdAt);
}

void TestNotebookRepository::removeMovesNotesOut()
{
    Library lib;
    QVERIFY(lib.ok);
    QVERIFY(lib.notebooks->insert(makeNotebook(QStringLiteral("nb"), QStringLiteral("Doomed"))));
    QVERIFY(lib.notebooks->insert(makeNotebook(QStringLiteral("keep"), QStringLiteral("Kept"))));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("a"), QStringLiteral("nb"))));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("b"), QStringLiteral("nb"), true)));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("c"), QStringLiteral("keep"))));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("d"), QString())));
    QSignalSpy notebooksChanged(lib.notebooks.get(), &NotebookRepository::notebooksChanged);
    QSignalSpy notesChanged(lib.notes.get(), &NoteRepository::notesChanged);
    QSignalSpy noteChanged(lib.notes.get(), &NoteRepository::noteChanged);

    QString error;
    QVERIFY2(lib.notebooks->removeMovingNotesOut(QStringLiteral("nb"), lib.notes.get(), &error), qPrintable(error));
    QCOMPARE(notebooksChanged.count(), 1);
    QCOMPARE(notesChanged.count(), 1);
    QCOMPARE(noteChanged.count(), 0); // a write to many notes is announced once

    // Deleted, not gone: the deletion still has to be synchronised.
    const std::optional<Notebook> removed = lib.notebooks->byId(QStringLiteral("nb"));
    QVERIFY(removed && removed->deletedAt);
    QCOMPARE(removed->syncStatus, SyncStatus::Pending);
    QCOMPARE(names(lib.notebooks->all()), QStringList { QStringLiteral("Kept") });

    // Its notes, the trashed one too, belong to no notebook and are sent again;
    // none is deleted and the other notes are untouched.
    for (const QString &id : { QStringLiteral("a"), QStringLiteral("b") }) {
        const Note note = *lib.notes->byId(id);
        QVERIFY(note.notebookId.isEmpty());
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QCOMPARE(note.body, makeNote(id, QString()).body);
    }
    QVERIFY(!lib.notes->byId(QStringLiteral("a"))->isTrashed());
    QVERIFY(lib.notes->byId(QStringLiteral("b"))->isTrashed());
    const Note other = *lib.notes->byId(QStringLiteral("c"));
    QCOMPARE(other.notebookId, QStringLiteral("keep"));
    QCOMPARE(other.syncStatus, SyncStatus::Synced);
    QCOMPARE(lib.notes->byId(QStringLiteral("d"))->syncStatus, SyncStatus::Synced);
    QCOMPARE(lib.notes->countsByNotebook().value(QString()), 3);

    // A second delete of the same notebook is refused and changes nothing.
    const QString after = tablesText(lib.database.db());
    QVERIFY(!lib.notebooks->removeMovingNotesOut(QStringLiteral("nb"), lib.notes.get(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(tablesText(lib.database.db()), after);
    QCOMPARE(notebooksChanged.count(), 1);
}

void TestNotebookRepository::removeIsAllOrNothing_data()
{
    QTest::addColumn<QString>("failingTable");

    // Notes move first: a refused notebook write must take their move back.
    QTest::newRow("notes refused") << QStringLiteral("notes");
    QTest::newRow("notebook refused") << QStringLiteral("notebooks");
}

void TestNotebookRepository::removeIsAllOrNothing()
{
    QFETCH(QString, failingTable);
    Library lib;
    QVERIFY(lib.ok);
    QVERIFY(lib.notebooks->insert(makeNotebook(QStringLiteral("nb"), QStringLiteral("Doomed"))));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("a"), QStringLiteral("nb"))));
    QVERIFY(lib.notes->insert(makeNote(QStringLiteral("b"), QStringLiteral("nb"))));
    QSqlQuery q(lib.database.db());
    QVERIFY(q.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON main.%1 "
                                  "BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
                       .arg(failingTable)));
    const QString before = tablesText(lib.database.db());
    QSignalSpy notebooksChanged(lib.notebooks.get(), &NotebookRepository::notebooksChanged);
    QSignalSpy notesChanged(lib.notes.get(), &NoteRepository::notesChanged);

    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(QStringLiteral("^NotebookRepository::removeMovingNotesOut failed: .*refused")));
    QString error;
    QVERIFY(!lib.notebooks->removeMovingNotesOut(QStringLiteral("nb"), lib.notes.get(), &error));
    QVERIFY(error.contains(QStringLiteral("Doomed")));
    QCOMPARE(tablesText(lib.database.db()), before);
    QCOMPARE(notebooksChanged.count(), 0);
    QCOMPARE(notesChanged.count(), 0);

    // Nothing was left open: once the table takes writes again, the delete works.
    QVERIFY(q.exec(QStringLiteral("DROP TRIGGER temp.refuse")));
    QVERIFY(lib.notebooks->removeMovingNotesOut(QStringLiteral("nb"), lib.notes.get(), &error));
    QVERIFY(lib.notes->byId(QStringLiteral("a"))->notebookId.isEmpty());
}

LUMORA_TEST_MAIN(TestNotebookRepository)
#include "tst_notebookrepository.moc"
