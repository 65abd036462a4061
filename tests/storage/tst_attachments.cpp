#include "app/appstate.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"

#include "testmain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>

namespace {

Note makeNote(const QString &id)
{
    Note note;
    note.id = id;
    note.body = emptyNoteBody();
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

Attachment makeAttachment(const QString &noteId, const QString &filename, qint64 size, int msOffset = 0)
{
    Attachment a;
    a.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    a.noteId = noteId;
    a.filename = filename;
    a.mimeType = QStringLiteral("application/octet-stream");
    a.sizeBytes = size;
    a.createdAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC).addMSecs(msOffset);
    return a;
}

int count(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toInt();
}

// Every file in the store, temporary ones of an unfinished copy included.
QStringList storedFiles(const AttachmentRepository &repo)
{
    return QDir(repo.directory()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// A file of `size` bytes that takes no room but for a few marks: a byte at
// each offset given, the rest holes of zeros.
bool writeSparseFile(const QString &path, qint64 size, const QList<qint64> &marks)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return false;
    for (qint64 offset : marks) {
        if (!file.seek(offset) || !file.putChar(char(0x41 + offset % 26)))
            return false;
    }
    return true;
}

QByteArray sha1Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result();
}

} // namespace

class TestAttachments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void lifeCycle_data();
    void lifeCycle();
    void idsNeverLeaveTheDirectory();
    void removeForNoteKeepsGoing();
    void purge_data();
    void purge();
    void chunkedCopy();
    void copyRefused_data();
    void copyRefused();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<NoteRepository> m_notes;
    std::unique_ptr<AttachmentRepository> m_attachments;
};

void TestAttachments::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()) && m_database->migrate());
    m_notes = std::make_unique<NoteRepository>(m_database.get());
    m_attachments = std::make_unique<AttachmentRepository>(m_database.get());
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"))));
}

void TestAttachments::cleanup()
{
    m_attachments.reset();
    m_notes.reset();
    m_database.reset();
    m_dir.reset();
}

void TestAttachments::lifeCycle_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("sameNameTwice");
    QTest::addColumn<bool>("fileGoneBeforeDelete");

    QTest::newRow("plain") << QStringLiteral("report.pdf") << QByteArray("%PDF-1.4 body") << false << false;
    QTest::newRow("zero bytes") << QStringLiteral("empty.txt") << QByteArray("") << false << false;
    QTest::newRow("missing file") << QStringLiteral("gone.png") << QByteArray("PNG?") << false << true;
    QTest::newRow("file-name clash") << QStringLiteral("photo.jpg") << QByteArray("first") << true << false;
    QTest::newRow("non-ASCII name") << QStringLiteral("Übersicht – 日本語 ☃.txt") << QByteArray("\xc3\xa9t\xc3\xa9")
                                    << false << false;
}

void TestAttachments::lifeCycle()
{
    QFETCH(QString, filename);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, sameNameTwice);
    QFETCH(bool, fileGoneBeforeDelete);

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QList<Attachment> made;
    QHash<QString, QByteArray> contents;
    for (int i = 0; i < (sameNameTwice ? 2 : 1); ++i) {
        const QByteArray content = bytes + QByteArray(i, 'x');
        Attachment a = makeAttachment(QStringLiteral("n"), filename, content.size(), 10 - i);
        QVERIFY(m_attachments->insert(a));
        QVERIFY(m_attachments->saveFile(a.id, content));
        QCOMPARE(QFileInfo(m_attachments->filePath(a.id)).size(), qint64(content.size()));
        made << a;
        contents.insert(a.id, content);
    }
    QCOMPARE(changed.count(), made.size());

    // Rows read back field by field, oldest first; a clash of names is two
    // attachments with their own bytes.
    const QList<Attachment> listed = m_attachments->forNote(QStringLiteral("n"));
    QCOMPARE(listed.size(), made.size());
    for (int i = 0; i < made.size(); ++i) {
        const Attachment &expected = made.at(made.size() - 1 - i);
        const Attachment &row = listed.at(i);
        QCOMPARE(row.id, expected.id);
        QCOMPARE(row.filename, filename);
        QCOMPARE(row.sizeBytes, expected.sizeBytes);
        QCOMPARE(row.createdAt, expected.createdAt);
        QCOMPARE(row.syncStatus, SyncStatus::Pending);
        QCOMPARE(m_attachments->readFile(row.id), contents.value(row.id));
    }
    QCOMPARE(m_attachments->pending().size(), made.size());
    QVERIFY(m_attachments->markSynced(made.first().id));
    QCOMPARE(m_attachments->byId(made.first().id)->syncStatus, SyncStatus::Synced);
    QCOMPARE(m_attachments->pending().size(), made.size() - 1);
    QCOMPARE(changed.count(), made.size()); // marking synced is silent

    const Attachment &first = made.first();
    if (fileGoneBeforeDelete) {
        QVERIFY(QFile::remove(m_attachments->filePath(first.id)));
        QVERIFY(m_attachments->readFile(first.id).isEmpty());
    }
    QVERIFY(m_attachments->deleteById(first.id));
    QVERIFY(!m_attachments->byId(first.id));
    QVERIFY(!QFileInfo::exists(m_attachments->filePath(first.id)));
    QCOMPARE(storedFiles(*m_attachments).size(), made.size() - 1);
    QCOMPARE(changed.count(), made.size() + 1);
}

void TestAttachments::idsNeverLeaveTheDirectory()
{
    for (const QString &id : {QStringLiteral("../escape"), QStringLiteral(".."), QStringLiteral("a/b"),
                              QStringLiteral("a\\b"), QStringLiteral("C:x"), QString()}) {
        QVERIFY2(m_attachments->filePath(id).isEmpty(), qPrintable(id));
        QVERIFY(!m_attachments->saveFile(id, "bytes"));
        QVERIFY(m_attachments->readFile(id).isEmpty());
    }
    QVERIFY(!QFileInfo::exists(QDir(m_attachments->directory()).filePath(QStringLiteral("../escape"))));
    QVERIFY(storedFiles(*m_attachments).isEmpty());
}

void TestAttachments::removeForNoteKeepsGoing()
{
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        const Attachment a = makeAttachment(QStringLiteral("n"), QStringLiteral("f%1").arg(i), 1, i);
        QVERIFY(m_attachments->insert(a) && m_attachments->saveFile(a.id, "x"));
        ids << a.id;
    }
    QSqlQuery q(m_database->db());
    QVERIFY(q.exec(QStringLiteral("CREATE TEMP TRIGGER keep_one BEFORE DELETE ON attachments WHEN old.id = '%1' "
                                  "BEGIN SELECT RAISE(ABORT, 'kept'); END")
                       .arg(ids.at(1))));

    QVERIFY(!m_attachments->removeForNote(QStringLiteral("n")));
    // The one that failed keeps its row and its bytes; the others are gone.
    const QList<Attachment> left = m_attachments->forNote(QStringLiteral("n"));
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().id, ids.at(1));
    QCOMPARE(storedFiles(*m_attachments), QStringList{ids.at(1)});
}

void TestAttachments::purge_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("wholeTrash");

    QTest::newRow("one note") << QString() << false;
    QTest::newRow("emptied trash, write lock held elsewhere") << QStringLiteral("locked") << true;
    QTest::newRow("one note, note row refuses") << QStringLiteral("trigger") << false;
}

// Through AppState, whose purge path removes the files.
void TestAttachments::purge()
{
    QFETCH(QString, failure);
    QFETCH(bool, wholeTrash);
    cleanup();
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();

    AppState state;
    QVERIFY(state.initialize());
    NoteRepository *notes = state.notes();
    AttachmentRepository *attachments = state.attachments();
    QVERIFY(attachments);
    const QSqlDatabase db = state.database()->db();
    // The note to purge and a note that stays, each with an attachment or two.
    QVERIFY(notes->insert(makeNote(QStringLiteral("gone"))));
    QVERIFY(notes->insert(makeNote(QStringLiteral("kept"))));
    QStringList goneIds, keptIds;
    for (const QString &noteId : {QStringLiteral("gone"), QStringLiteral("gone"), QStringLiteral("kept")}) {
        const Attachment a = makeAttachment(noteId, QStringLiteral("a.bin"), 3);
        QVERIFY(attachments->insert(a) && attachments->saveFile(a.id, "abc"));
        (noteId == QLatin1String("gone") ? goneIds : keptIds) << a.id;
    }
    NoteSnapshot snapshot{QStringLiteral("s"), QStringLiteral("gone"), 1, emptyNoteBody(),
                          QDateTime::currentDateTimeUtc()};
    QVERIFY(state.snapshots()->insert(snapshot));
    QVERIFY(notes->setIncludeInTodos(QStringLiteral("gone"), false));
    QSqlQuery q(db);
    QVERIFY2(q.exec(QStringLiteral("INSERT INTO tasks (id, note_id, text, source, line_index, char_offset, "
                                   "extracted_at, note_updated_at) VALUES ('t', 'gone', 'x', 'checkbox', 0, 0, '', '')")),
             qPrintable(q.lastError().text()));
    QVERIFY(notes->moveToTrash(QStringLiteral("gone")));

    const QString childRows = QStringLiteral(
        "SELECT (SELECT COUNT(*) FROM attachments WHERE note_id = 'gone') + (SELECT COUNT(*) FROM note_snapshots) + "
        "(SELECT COUNT(*) FROM note_task_settings) + (SELECT COUNT(*) FROM tasks) + "
        "(SELECT COUNT(*) FROM notes WHERE id = 'gone')");
    QCOMPARE(count(db, childRows), 6);

    const QString blockerName = QStringLiteral("blocker");
    {
        QSqlDatabase blocker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), blockerName);
        blocker.setDatabaseName(databasePath());
        QVERIFY(blocker.open());
        QSqlQuery bq(blocker);
        if (failure == QLatin1String("locked")) {
            // Waiting out the default five seconds would only slow the test.
            QVERIFY(q.exec(QStringLiteral("PRAGMA busy_timeout = 50")));
            QVERIFY(bq.exec(QStringLiteral("BEGIN IMMEDIATE")));
        } else if (failure == QLatin1String("trigger")) {
            QVERIFY(q.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE DELETE ON notes "
                                          "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        }

        QSignalSpy purged(notes, &NoteRepository::notePurged);
        QString error;
        const bool ok = wholeTrash ? notes->purgeTrash(&error) == 1 : notes->purge(QStringLiteral("gone"), &error);
        bq.exec(QStringLiteral("ROLLBACK"));
        blocker.close();

        QCOMPARE(ok, failure.isEmpty());
        QCOMPARE(error.isEmpty(), failure.isEmpty());
        QCOMPARE(purged.count(), ok ? 1 : 0);
    }
    QSqlDatabase::removeDatabase(blockerName);

    const QStringList files = storedFiles(*attachments);
    if (failure.isEmpty()) {
        QCOMPARE(count(db, childRows), 0);
        QCOMPARE(files, keptIds);
    } else {
        // Nothing deleted: every row, and every file, is still there.
        QCOMPARE(count(db, childRows), 6);
        QCOMPARE(QSet<QString>(files.begin(), files.end()), QSet<QString>({goneIds.at(0), goneIds.at(1), keptIds.at(0)}));
        QVERIFY(notes->byId(QStringLiteral("gone"))->isTrashed());
        QVERIFY(!notes->includeInTodos(QStringLiteral("gone")));
    }
    QCOMPARE(attachments->forNote(QStringLiteral("kept")).size(), 1);
}

void TestAttachments::chunkedCopy()
{
    // Ten full chunks and a short one, marks on both sides of chunk seams.
    constexpr qint64 chunk = AttachmentRepository::CopyChunkBytes;
    const qint64 size = 10 * chunk + 12345;
    QTemporaryDir source;
    const QString path = source.filePath(QStringLiteral("big.iso"));
    QVERIFY(writeSparseFile(path, size, {0, chunk - 1, chunk, 5 * chunk + 7, size - 1}));

    QList<qint64> reported;
    QString error;
    QVERIFY(m_attachments->saveFileFrom(
        QStringLiteral("big"), path,
        [&reported, size](qint64 done, qint64 total) {
            if (total != size)
                return false;
            reported << done;
            return true;
        },
        &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(reported.size(), 11);
    QCOMPARE(reported.first(), chunk);
    QCOMPARE(reported.last(), size);
    QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    const QString stored = m_attachments->filePath(QStringLiteral("big"));
    QCOMPARE(QFileInfo(stored).size(), size);
    QCOMPARE(sha1Of(stored), sha1Of(path));
    QCOMPARE(storedFiles(*m_attachments), QStringList{QStringLiteral("big")});
}

void TestAttachments::copyRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("over the limit") << QStringLiteral("huge") << QStringLiteral("at most 512 MB");
    QTest::newRow("cancelled") << QStringLiteral("cancel") << QString();
    QTest::newRow("missing source") << QStringLiteral("missing") << QStringLiteral("Cannot read");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("not a file");
}

void TestAttachments::copyRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, errorPart);

    QTemporaryDir source;
    QString path = source.filePath(QStringLiteral("file.bin"));
    if (kind == QLatin1String("huge"))
        QVERIFY(writeSparseFile(path, AttachmentRepository::MaxFileBytes + 1, {}));
    else if (kind == QLatin1String("cancel"))
        QVERIFY(writeSparseFile(path, 3 * AttachmentRepository::CopyChunkBytes, {1}));
    else if (kind == QLatin1String("folder"))
        path = source.path();
    // A file that was there keeps its bytes when the new copy fails.
    QVERIFY(m_attachments->saveFile(QStringLiteral("a"), "old"));

    int calls = 0;
    QString error = QStringLiteral("unset");
    QVERIFY(!m_attachments->saveFileFrom(QStringLiteral("a"), path, [&calls](qint64, qint64) { return ++calls < 2; },
                                         &error));
    QVERIFY2(errorPart.isEmpty() ? error.isEmpty() : error.contains(errorPart), qPrintable(error));
    QCOMPARE(calls, kind == QLatin1String("cancel") ? 2 : 0);
    QCOMPARE(m_attachments->readFile(QStringLiteral("a")), QByteArray("old"));
    QCOMPARE(storedFiles(*m_attachments), QStringList{QStringLiteral("a")});
}

LUMORA_TEST_MAIN(TestAttachments)
#include "tst_attachments.moc"
