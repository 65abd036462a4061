#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/notetexts.h"
#include "storage/searchindex.h"

#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSqlQuery>

#include <memory>

namespace {

QString body(const QString &text)
{
    const QJsonArray ops { QJsonObject { { QStringLiteral("insert"), QString(text + QLatin1Char('\n')) } } };
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

Note makeNote(const QString &id, const QString &bodyJson, const QDateTime &updated, const QString &notebookId = {})
{
    Note note;
    note.id = id;
    note.notebookId = notebookId;
    note.body = bodyJson;
    note.createdAt = note.updatedAt = note.modifiedAt = updated;
    return note;
}

using NoteTexts = QList<QPair<QString, QString>>;

QString json(const QJsonValue &value)
{
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

QJsonObject text(const QString &insert, const QJsonObject &attributes = {})
{
    QJsonObject op { { QStringLiteral("insert"), insert } };
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

QJsonObject embed(const QString &key, const QJsonValue &value)
{
    return QJsonObject { { QStringLiteral("insert"), QJsonObject { { key, value } } } };
}

// A table embed as the editor writes it: its value is JSON text.
QJsonObject table(const QJsonArray &rows)
{
    return embed(QStringLiteral("table"),
        json(QJsonObject { { QStringLiteral("cells"), rows }, { QStringLiteral("hasHeader"), true } }));
}

// The words the FTS5 tokenizer would make of a text (letters and digits).
QSet<QString> words(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    const QStringList list = text.toLower().split(separators, Qt::SkipEmptyParts);
    return QSet<QString>(list.begin(), list.end());
}

} // namespace

class TestNoteSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void awkwardTexts_data();
    void awkwardTexts();
    void searchRowIdsOrder_data();
    void searchRowIdsOrder();
    void indexFollowsWrites();
    void failedIndexWriteKeepsNotes();
    void listRowIdsOrderAndFilter();
    void listRowIdsSeeEveryWrite_data();
    void listRowIdsSeeEveryWrite();
    void listRowsReadStoredTexts();
    void searchTextIsWhatTheReaderSees_data();
    void searchTextIsWhatTheReaderSees();
    void quotedQuery_data();
    void quotedQuery();

private:
    QStringList idsOf(const QList<qint64> &rowIds) const;

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteSearch::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    m_notes = std::make_unique<NoteRepository>(m_database.get());
}

void TestNoteSearch::cleanup()
{
    m_notes.reset();
    m_database.reset();
    m_dir.reset();
}

QStringList TestNoteSearch::idsOf(const QList<qint64> &rowIds) const
{
    QStringList ids;
    for (const NoteListRow &row : m_notes->listRows(rowIds))
        ids << row.id;
    return ids;
}

void TestNoteSearch::awkwardTexts_data()
{
    QTest::addColumn<NoteTexts>("notes");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found"); // exactly these, of all the notes

    const auto n = [](const char *id, const QString &text) { return qMakePair(QString::fromLatin1(id), text); };
    const auto ids = [](std::initializer_list<const char *> list) {
        QStringList result;
        for (const char *id : list)
            result << QString::fromLatin1(id);
        return result;
    };
    QTest::newRow("apostrophe") << NoteTexts { n("dont", QStringLiteral("I don't know")),
        n("donation", QStringLiteral("Donation day")) }
                                << QStringLiteral("don't") << ids({ "dont" });
    QTest::newRow("hyphen") << NoteTexts { n("email", QStringLiteral("Send the e-mail today")),
        n("mail", QStringLiteral("The mail room")) }
                            << QStringLiteral("e-mail") << ids({ "email" });
    QTest::newRow("C++ is not a prefix search")
        << NoteTexts { n("cpp", QStringLiteral("Learning C++ templates")), n("cobol", QStringLiteral("Cobol notes")) }
        << QStringLiteral("C++") << ids({ "cpp" });
    QTest::newRow("unbalanced quote") << NoteTexts { n("quote", QStringLiteral("An unbalanced quote")),
        n("other", QStringLiteral("Balanced books")) }
                                      << QStringLiteral("\"unbalanced") << ids({ "quote" });
    QTest::newRow("bare AND") << NoteTexts { n("and", QStringLiteral("This and that")),
        n("android", QStringLiteral("Android phone")), n("none", QStringLiteral("Nothing here")) }
                              << QStringLiteral("AND") << ids({ "and", "android" });
    QTest::newRow("colon is not a column filter") << NoteTexts { n("both", QStringLiteral("Set foo:bar in the config")),
        n("foo", QStringLiteral("foo alone")), n("bar", QStringLiteral("bar alone")) }
                                                  << QStringLiteral("foo:bar") << ids({ "both" });
    QTest::newRow("diaeresis finds the plain word too") << NoteTexts { n("plain", QStringLiteral("A naive idea")),
        n("accent", QStringLiteral("Na\u00efve art")), n("native", QStringLiteral("Native plants")) }
                                                        << QStringLiteral("na\u00efve") << ids({ "accent", "plain" });
    QTest::newRow("emoji") << NoteTexts { n("party", QStringLiteral("Party\U0001F389 tonight")),
        n("quiet", QStringLiteral("Party tonight")) }
                           << QStringLiteral("\U0001F389") << ids({ "party" });
    QTest::newRow("lone star finds nothing")
        << NoteTexts { n("x", QStringLiteral("Anything at all")) } << QStringLiteral("*") << QStringList {};
}

void TestNoteSearch::awkwardTexts()
{
    QFETCH(NoteTexts, notes);
    QFETCH(QString, typed);
    QFETCH(QStringList, found);
    const QDateTime t = QDateTime::currentDateTimeUtc();
    for (const auto &note : notes)
        QVERIFY(m_notes->insert(makeNote(note.first, body(note.second), t)));

    // A bad query is the user still typing: nothing to log.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QStringList byRowIds = idsOf(m_notes->searchRowIds(typed));
    QStringList byNotes;
    for (const Note &note : m_notes->search(typed))
        byNotes << note.id;
    QCOMPARE(byNotes, byRowIds);
    byRowIds.sort();
    QCOMPARE(byRowIds, found);
}

void TestNoteSearch::searchRowIdsOrder_data()
{
    QTest::addColumn<int>("rankedMatchLimit");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("sparse");

    QTest::newRow("few matches: best first")
        << NoteRepository::DefaultRankedMatchLimit
        << QStringList { QStringLiteral("thrice"), QStringLiteral("twice"), QStringLiteral("once") } << false;
    const QStringList newestFirst { QStringLiteral("once"), QStringLiteral("twice"), QStringLiteral("thrice") };
    QTest::newRow("many matches: newest first") << 2 << newestFirst << false;
    QTest::newRow("many matches, sparse rowids") << 2 << newestFirst << true;
}

void TestNoteSearch::searchRowIdsOrder()
{
    QFETCH(int, rankedMatchLimit);
    QFETCH(QStringList, expected);
    QFETCH(bool, sparse);
    const QDateTime t = QDateTime::currentDateTimeUtc();
    // Newest first by date, but the older notes mention the word more often:
    // the concatenated id list must keep FTS5's rank order.
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("thrice"), body(QStringLiteral("kiwi kiwi kiwi")), t.addDays(-2))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("gone"), body(QStringLiteral("kiwi kiwi kiwi kiwi")), t)));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("once"), body(QStringLiteral("kiwi and many other words to dilute it a lot")), t)));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("twice"), body(QStringLiteral("kiwi tart with kiwi jam")), t.addDays(-1))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("other"), body(QStringLiteral("no fruit")), t.addSecs(9))));
    QVERIFY(m_notes->moveToTrash(QStringLiteral("gone")));
    if (sparse) {
        // A rowid far beyond the note count, as after mass deletions.
        QSqlQuery q(m_database->db());
        QVERIFY(q.exec(QStringLiteral("UPDATE notes SET rowid = 50000000 WHERE id = 'once'")));
        QVERIFY(NoteIndexWriter(m_database->db()).write(50000000, body(QStringLiteral("kiwi"))));
    }
    m_notes->setRankedMatchLimit(rankedMatchLimit);
    QCOMPARE(idsOf(m_notes->searchRowIds(QStringLiteral("kiw"))), expected);
}

void TestNoteSearch::indexFollowsWrites()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("a"), body(QStringLiteral("Walrus facts")), t)));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("b"), body(QStringLiteral("Walrus songs")), t)));
    const auto found = [this](const char *word) { return idsOf(m_notes->searchRowIds(QLatin1String(word))); };

    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("a"), body(QStringLiteral("Penguin facts"))),
        NoteRepository::SaveResult::Saved);
    QCOMPARE(found("walrus"), QStringList { QStringLiteral("b") });
    QCOMPARE(found("penguin"), QStringList { QStringLiteral("a") });
    QCOMPARE(m_notes->listRow(QStringLiteral("a"))->texts.title, QStringLiteral("Penguin facts"));

    // A write that keeps the body (sync bookkeeping) keeps the index entry.
    Note b = *m_notes->byId(QStringLiteral("b"));
    b.version = 9;
    QVERIFY(m_notes->update(b));
    QCOMPARE(found("walrus"), QStringList { QStringLiteral("b") });

    QVERIFY(m_notes->moveToTrash(QStringLiteral("b")));
    QVERIFY(found("walrus").isEmpty());
    QVERIFY(m_notes->restore(QStringLiteral("b")));
    QCOMPARE(found("walrus"), QStringList { QStringLiteral("b") });

    // A purged note leaves no index rows behind (checked before a new note
    // could take over its rowid).
    QVERIFY(m_notes->purge(QStringLiteral("b")));
    QVERIFY(m_notes->searchRowIds(QStringLiteral("walrus")).isEmpty());
    QSqlQuery q(m_database->db());
    QVERIFY(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM notes_fts), (SELECT COUNT(*) FROM note_list_texts)")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(q.value(1).toInt(), 1);
    q.finish();

    // A failed insert leaves no index rows either.
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("c"), body(QStringLiteral("Otter notes")), t)));
    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NoteRepository::insert failed: ")));
    QVERIFY(!m_notes->insert(makeNote(QStringLiteral("c"), body(QStringLiteral("Duplicate beaver")), t)));
    QVERIFY(found("beaver").isEmpty());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_notes->byId(QStringLiteral("c"))->body, body(QStringLiteral("Otter notes")));
}

void TestNoteSearch::failedIndexWriteKeepsNotes()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("a"), body(QStringLiteral("Heron")), t)));
    QSqlQuery q(m_database->db());
    QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON note_list_texts "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);

    // The note row and its index rows are written together or not at all.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NoteRepository::insert failed: .*refused")));
    QVERIFY(!m_notes->insert(makeNote(QStringLiteral("b"), body(QStringLiteral("Lynx")), t)));
    QVERIFY(!m_notes->byId(QStringLiteral("b")));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^NoteRepository::saveEditedBody failed: .*refused")));
    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("a"), body(QStringLiteral("Crane"))),
        NoteRepository::SaveResult::Failed);
    QCOMPARE(m_notes->byId(QStringLiteral("a"))->body, body(QStringLiteral("Heron")));
    QCOMPARE(m_notes->byId(QStringLiteral("a"))->version, 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(idsOf(m_notes->searchRowIds(QStringLiteral("heron"))), QStringList { QStringLiteral("a") });
}

void TestNoteSearch::listRowIdsOrderAndFilter()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("old"), body(QStringLiteral("x")), t.addDays(-3), QStringLiteral("A"))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("new"), body(QStringLiteral("x")), t, QStringLiteral("A"))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("mid"), body(QStringLiteral("x")), t.addDays(-1))));
    QVERIFY(m_notes->insert(
        makeNote(QStringLiteral("gone"), body(QStringLiteral("x")), t.addDays(-2), QStringLiteral("A"))));
    QVERIFY(m_notes->moveToTrash(QStringLiteral("gone")));

    const QStringList all { QStringLiteral("new"), QStringLiteral("mid"), QStringLiteral("old") };
    QCOMPARE(idsOf(m_notes->listRowIds()), all);
    QCOMPARE(idsOf(m_notes->searchRowIds(QStringLiteral("  "))), all);
    QCOMPARE(idsOf(m_notes->listRowIds(QStringLiteral("A"))),
        (QStringList { QStringLiteral("new"), QStringLiteral("old") }));
    QVERIFY(m_notes->listRowIds(QStringLiteral("none")).isEmpty());
}

void TestNoteSearch::listRowIdsSeeEveryWrite_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("this repository") << QStringLiteral("this");
    QTest::newRow("another repository on the connection") << QStringLiteral("sibling");
    QTest::newRow("another connection") << QStringLiteral("connection");
}

void TestNoteSearch::listRowIdsSeeEveryWrite()
{
    QFETCH(QString, writer);
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("old"), body(QStringLiteral("x")), t.addDays(-1))));
    QCOMPARE(idsOf(m_notes->listRowIds()), QStringList { QStringLiteral("old") });

    const Note note = makeNote(QStringLiteral("new"), body(QStringLiteral("y")), t);
    const QString sql = QStringLiteral("INSERT INTO notes (id, body, created_at, updated_at, modified_at) "
                                       "VALUES ('new', '', '%1', '%1', '%1')")
                            .arg(toStoredTimestamp(t));
    if (writer == QLatin1String("this")) {
        QVERIFY(m_notes->insert(note));
    } else if (writer == QLatin1String("sibling")) {
        QVERIFY(NoteRepository(m_database.get()).insert(note));
    } else {
        const QString name = QStringLiteral("second");
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            other.setDatabaseName(databasePath());
            QVERIFY(other.open());
            QSqlQuery q(other);
            QVERIFY(q.exec(sql));
        }
        QSqlDatabase::removeDatabase(name);
    }
    QCOMPARE(idsOf(m_notes->listRowIds()), (QStringList { QStringLiteral("new"), QStringLiteral("old") }));
}

void TestNoteSearch::listRowsReadStoredTexts()
{
    const QDateTime t = QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
    const QString tableBody = QStringLiteral(
        "[{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"Cell\\\"]]}\"}},{\"insert\":\"\\nAfter the table\\n\"}]");
    Note shared = makeNote(QStringLiteral("s"), body(QStringLiteral("Title\nSecond line")), t, QStringLiteral("nb"));
    shared.isShared = true;
    shared.syncStatus = SyncStatus::Synced;
    QVERIFY(m_notes->insert(shared));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("u"), tableBody, t.addSecs(-1))));
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("e"), QString(), t.addSecs(-2))));

    const QList<qint64> ids = m_notes->listRowIds();
    // Asked in reverse: rows come back in the order asked, unknown ids skipped.
    const QList<NoteListRow> rows = m_notes->listRows({ ids.at(2), 999999, ids.at(1), ids.at(0) });
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).id, QStringLiteral("e"));
    QCOMPARE(rows.at(1).id, QStringLiteral("u"));
    QCOMPARE(rows.at(2).id, QStringLiteral("s"));
    for (const NoteListRow &row : rows) {
        const NoteListTexts expected = noteListTexts(m_notes->byId(row.id)->body);
        QCOMPARE(row.texts.title, expected.title);
        QCOMPARE(row.texts.preview, expected.preview);
        QCOMPARE(row.texts.untitled, expected.untitled);
    }
    QCOMPARE(rows.at(2).notebookId, QStringLiteral("nb"));
    QCOMPARE(rows.at(2).updatedAt, t);
    QVERIFY(rows.at(2).isShared);
    QCOMPARE(rows.at(2).syncStatus, SyncStatus::Synced);
    QCOMPARE(rows.at(2).rowId, ids.at(0));

    // A note written behind the repository's back still shows its texts.
    QSqlQuery q(m_database->db());
    QVERIFY(q.exec(QStringLiteral("DELETE FROM note_list_texts WHERE note_rowid = %1").arg(ids.at(0))));
    QCOMPARE(m_notes->listRow(QStringLiteral("s"))->texts.title, QStringLiteral("Title"));
    QCOMPARE(m_notes->listRow(QStringLiteral("s"))->texts.preview, QStringLiteral("Second line"));
}

void TestNoteSearch::searchTextIsWhatTheReaderSees_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("absent");

    const QJsonObject bold { { QStringLiteral("bold"), true } };
    QTest::newRow("text inserts, attribute names absent")
        << json(QJsonArray { text(QStringLiteral("Weekly ")), text(QStringLiteral("plan"), bold),
               text(QStringLiteral("\n"), { { QStringLiteral("header"), 1 } }),
               text(QStringLiteral("milk\n"), { { QStringLiteral("list"), QStringLiteral("checked") } }) })
        << QStringLiteral("weekly plan milk") << QStringLiteral("insert attributes bold header list checked");
    QTest::newRow("formatting inside a word keeps it whole") << json(
        QJsonArray { text(QStringLiteral("data")), text(QStringLiteral("base"), bold), text(QStringLiteral("\n")) })
                                                             << QStringLiteral("database")
                                                             << QStringLiteral("data base");
    QTest::newRow("link text without its URL")
        << json(QJsonArray { text(QStringLiteral("Read the handbook"),
                                 { { QStringLiteral("link"), QStringLiteral("https://example.org/guide") } }),
               text(QStringLiteral("\n")) })
        << QStringLiteral("read handbook") << QStringLiteral("link https example org guide");
    QTest::newRow("plain-string table cells, not run together")
        << json(QJsonArray { text(QStringLiteral("Budget\n")),
               table(QJsonArray { QJsonArray { QStringLiteral("Quarter"), QStringLiteral("Revenue") },
                   QJsonArray { QStringLiteral("Q1"), QStringLiteral("1200") } }),
               text(QStringLiteral("\n")) })
        << QStringLiteral("budget quarter revenue q1 1200")
        << QStringLiteral("quarterrevenue revenueq1 cells hasheader table true");
    QTest::newRow("operation-array table cells") << json(
        QJsonArray { table(QJsonArray { QJsonArray { QJsonArray { text(QStringLiteral("Owner"), bold),
                                                         text(QStringLiteral("\n")), text(QStringLiteral("Alice")) },
                         QStringLiteral("Status") } }),
            text(QStringLiteral("\n")) }) << QStringLiteral("owner alice status")
                                                 << QStringLiteral("ownerAlice bold insert");
    QTest::newRow("attachment, image and divider embeds absent")
        << json(QJsonArray { text(QStringLiteral("Photos\n")),
               embed(QStringLiteral("lumora-notes-attachment"), QStringLiteral("lumora-notes://attachment/abc123")),
               embed(QStringLiteral("image"), QStringLiteral("https://cdn.example.com/cat.png")),
               embed(QStringLiteral("divider"), true), text(QStringLiteral("\n")) })
        << QStringLiteral("photos")
        << QStringLiteral("lumora notes attachment abc123 image https cdn example com cat png divider true");
    QTest::newRow("legacy plain text is its own text") << QStringLiteral("Old note\nwith {\"insert\": words}")
                                                       << QStringLiteral("old note with insert words") << QString();
    QTest::newRow("invalid JSON is its own text")
        << QStringLiteral("[{\"insert\":\"broken") << QStringLiteral("insert broken") << QString();
    QTest::newRow("empty body") << QString() << QString() << QStringLiteral("untitled");
    // Nesting deeper than the fast scanner follows makes it give up; the
    // general path must find the same visible text.
    const QString deep = QString(70, QLatin1Char('[')) + QString(70, QLatin1Char(']'));
    QTest::newRow("general path: deep attribute value")
        << QStringLiteral("[{\"insert\":\"Kiwi\\n\",\"attributes\":{\"x\":%1}},"
                          "{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"Mango\\\"]]}\"}},{\"insert\":\"\\n\"}]")
               .arg(deep)
        << QStringLiteral("kiwi mango") << QStringLiteral("cells attributes insert table x");
    QTest::newRow("table value that is not JSON") << json(
        QJsonArray { text(QStringLiteral("Plum\n")), embed(QStringLiteral("table"), QStringLiteral("not json cells")) })
                                                  << QStringLiteral("plum") << QStringLiteral("json cells");
}

void TestNoteSearch::searchTextIsWhatTheReaderSees()
{
    QFETCH(QString, body);
    QFETCH(QString, present);
    QFETCH(QString, absent);
    const NoteBodyTexts texts = noteBodyTexts(body);
    const QSet<QString> indexed = words(texts.searchText);
    for (const QString &word : words(present))
        QVERIFY2(indexed.contains(word), qPrintable(word + QStringLiteral(" missing from: ") + texts.searchText));
    for (const QString &word : words(absent))
        QVERIFY2(!indexed.contains(word), qPrintable(word + QStringLiteral(" indexed in: ") + texts.searchText));

    // Table cells are searchable but never become a title or preview.
    const NoteListTexts list = noteListTexts(body);
    QCOMPARE(texts.list.title, list.title);
    QCOMPARE(texts.list.preview, list.preview);
    QCOMPARE(texts.list.untitled, list.untitled);
}

void TestNoteSearch::quotedQuery_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("query");

    // Only what the end-to-end search table cannot see: the exact terms.
    QTest::newRow("unbalanced quote is doubled")
        << QStringLiteral("say \"hel") << QStringLiteral("\"say\" \"\"\"hel\"*");
    QTest::newRow("trailing space: no prefix") << QStringLiteral("NEAR ( ") << QStringLiteral("\"NEAR\"");
    QTest::newRow("ends in a non-ASCII letter") << QStringLiteral("caf\u00e9") << QStringLiteral("\"caf\u00e9\"*");
    QTest::newRow("punctuation-only words left out") << QStringLiteral("a * - b") << QStringLiteral("\"a\" \"b\"*");
}

void TestNoteSearch::quotedQuery()
{
    QFETCH(QString, typed);
    QFETCH(QString, query);
    QCOMPARE(SearchIndex::quotedQuery(typed), query);
}

LUMORA_TEST_MAIN(TestNoteSearch)
#include "tst_notesearch.moc"
