#include "notegenerator.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "testmain.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>

namespace {

const QDateTime kNow = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);

GeneratorOptions optionsFor(int count, quint32 seed, int notebooks = 5, int trashedPercent = 3)
{
    GeneratorOptions options;
    options.count = count;
    options.seed = seed;
    options.notebooks = notebooks;
    options.trashedPercent = trashedPercent;
    options.now = kNow;
    return options;
}

QSet<QString> ids(const QList<Note> &notes)
{
    QSet<QString> set;
    for (const Note &note : notes)
        set.insert(note.id);
    return set;
}

int queryInt(Database &database, const QString &sql)
{
    QSqlQuery q(database.db());
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestNoteGenerator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bodiesAreValidDelta_data();
    void bodiesAreValidDelta();
    void sameSeedGivesSameNotes();
    void generatedDirectoryHasRequestedCounts_data();
    void generatedDirectoryHasRequestedCounts();
    void rareWordFoundExactlyWhereItOccurs_data();
    void rareWordFoundExactlyWhereItOccurs();
    void toolRejectsBadInputAndKeepsNotes_data();
    void toolRejectsBadInputAndKeepsNotes();
};

void TestNoteGenerator::bodiesAreValidDelta_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2") << 2u;
    QTest::newRow("seed 123456") << 123456u;
}

void TestNoteGenerator::bodiesAreValidDelta()
{
    QFETCH(quint32, seed);
    NoteGenerator generator(optionsFor(300, seed));
    QSet<QString> seen;
    while (!generator.atEnd()) {
        const Note note = generator.next();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(note.body.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError && doc.isArray(), qPrintable(note.body));
        const QJsonArray ops = doc.array();
        QVERIFY(!ops.isEmpty());
        QVERIFY2(ops.last().toObject().value(QLatin1String("insert")).toString().endsWith(QLatin1Char('\n')),
            qPrintable(note.body));
        QVERIFY(!noteTitle(note.body).isEmpty());

        for (const QJsonValue &value : ops) {
            QVERIFY(value.isObject());
            const QJsonObject op = value.toObject();
            const QJsonValue insert = op.value(QLatin1String("insert"));
            QVERIFY(insert.isString() || insert.isObject());
            const QJsonObject attributes = op.value(QLatin1String("attributes")).toObject();
            for (auto it = attributes.begin(); it != attributes.end(); ++it)
                seen.insert(it.key() == QLatin1String("list") ? it.value().toString() : it.key());
            if (attributes.contains(QLatin1String("header"))) {
                const int level = attributes.value(QLatin1String("header")).toInt();
                QVERIFY(level >= 1 && level <= 3);
            }
            if (!insert.isObject())
                continue;
            const QJsonObject embed = insert.toObject();
            QCOMPARE(embed.size(), 1);
            seen.insert(embed.begin().key());
            if (embed.contains(QLatin1String("table"))) {
                const QJsonDocument table
                    = QJsonDocument::fromJson(embed.value(QLatin1String("table")).toString().toUtf8());
                QVERIFY(table.isObject());
                QVERIFY(table.object().value(QLatin1String("cells")).isArray());
                QVERIFY(!table.object().value(QLatin1String("cells")).toArray().isEmpty());
            }
        }
    }
    // The benchmarks and the program's converters should meet every kind of
    // line and embed, not just paragraphs.
    const QStringList expected { QStringLiteral("header"), QStringLiteral("bullet"), QStringLiteral("ordered"),
        QStringLiteral("checked"), QStringLiteral("unchecked"), QStringLiteral("code-block"),
        QStringLiteral("blockquote"), QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("code"),
        QStringLiteral("link"), QStringLiteral("table"), QStringLiteral("divider") };
    for (const QString &kind : expected)
        QVERIFY2(seen.contains(kind), qPrintable(kind));
}

void TestNoteGenerator::sameSeedGivesSameNotes()
{
    NoteGenerator first(optionsFor(50, 77));
    NoteGenerator second(optionsFor(50, 77));
    NoteGenerator other(optionsFor(50, 78));
    QCOMPARE(first.notebooks().size(), second.notebooks().size());
    for (int i = 0; i < first.notebooks().size(); ++i)
        QCOMPARE(first.notebooks().at(i).id, second.notebooks().at(i).id);

    int differing = 0;
    while (!first.atEnd()) {
        const Note a = first.next();
        const Note b = second.next();
        const Note c = other.next();
        QCOMPARE(a.id, b.id);
        QCOMPARE(a.body, b.body);
        QCOMPARE(a.notebookId, b.notebookId);
        QCOMPARE(a.createdAt, b.createdAt);
        QCOMPARE(a.updatedAt, b.updatedAt);
        QCOMPARE(a.modifiedAt, b.modifiedAt);
        QCOMPARE(a.deletedAt, b.deletedAt);
        QCOMPARE(a.version, b.version);
        QVERIFY(a.createdAt >= kNow.addDays(-730) && a.createdAt <= a.updatedAt && a.updatedAt <= kNow);
        if (a.body != c.body)
            ++differing;
    }
    QVERIFY(second.atEnd());
    QCOMPARE(differing, 50);
}

void TestNoteGenerator::generatedDirectoryHasRequestedCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("notebooks");
    QTest::addColumn<int>("trashedPercent");
    QTest::addColumn<int>("trashed");
    QTest::newRow("defaults") << 300 << 5 << 3 << 9;
    QTest::newRow("no notebooks") << 300 << 0 << 20 << 60;
    QTest::newRow("more notebooks than names") << 100 << 30 << 0 << 0;
    QTest::newRow("all trashed") << 40 << 2 << 100 << 40;
}

void TestNoteGenerator::generatedDirectoryHasRequestedCounts()
{
    QFETCH(int, count);
    QFETCH(int, notebooks);
    QFETCH(int, trashedPercent);
    QFETCH(int, trashed);
    LumoraTest::ScopedDataDir dir;
    {
        Database database;
        QVERIFY(database.open(databasePath()) && database.migrate());
        GenerationSummary summary;
        QString error;
        QVERIFY2(generateInto(&database, optionsFor(count, 5, notebooks, trashedPercent), &summary, &error),
            qPrintable(error));
        QCOMPARE(summary.trashed, trashed);
    }

    // Read back the way the program opens it.
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    NoteRepository repository(&database);
    const QList<Note> live = repository.all();
    QCOMPARE(live.size(), count - trashed);
    QCOMPARE(repository.trashed().size(), trashed);
    QCOMPARE(repository.countsByNotebook().value(QString()), count - trashed);
    QCOMPARE(queryInt(database, QStringLiteral("SELECT COUNT(*) FROM notebooks WHERE deleted_at IS NULL")), notebooks);
    QCOMPARE(queryInt(database, QStringLiteral("SELECT COUNT(DISTINCT name) FROM notebooks")), notebooks);
    QCOMPARE(queryInt(database,
                 QStringLiteral("SELECT COUNT(*) FROM notes WHERE notebook_id <> '' AND notebook_id NOT IN "
                                "(SELECT id FROM notebooks)")),
        0);
    if (notebooks > 0 && live.size() >= 100) {
        QVERIFY(repository.countsByNotebook().size() > 1);
        QVERIFY(repository.byNotebook(QString(QLatin1String(""))).size() > 0);
    }
}

void TestNoteGenerator::rareWordFoundExactlyWhereItOccurs_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("typed");
    QTest::newRow("whole word") << QStringLiteral("zyzzogeton") << QStringLiteral("zyzzogeton");
    QTest::newRow("prefix") << QStringLiteral("zyzzogeton") << QStringLiteral("zyzzo");
    QTest::newRow("rarer word") << QStringLiteral("quomodocunquize") << QStringLiteral("quomodocunquize");
}

void TestNoteGenerator::rareWordFoundExactlyWhereItOccurs()
{
    QFETCH(QString, word);
    QFETCH(QString, typed);
    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    const GeneratorOptions options = optionsFor(1000, 3, 5, 20);
    GenerationSummary summary;
    QString error;
    QVERIFY2(generateInto(&database, options, &summary, &error), qPrintable(error));

    NoteRepository repository(&database);
    QSet<QString> expected;
    int withWord = 0;
    int trashedWithWord = 0;
    NoteGenerator replay(options);
    const QList<RareWord> rare = replay.rareWords();
    while (!replay.atEnd()) {
        const Note note = replay.next();
        if (!note.body.contains(word))
            continue;
        ++withWord;
        if (note.isTrashed())
            ++trashedWithWord;
        else
            expected.insert(note.id);
    }
    const auto it = std::find_if(rare.begin(), rare.end(), [&](const RareWord &r) { return r.word == word; });
    QVERIFY(it != rare.end());
    QCOMPARE(withWord, NoteGenerator::notesWithRareWord(*it, options.count));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(ids(repository.search(typed)), expected);
    if (word == QLatin1String("zyzzogeton"))
        QVERIFY2(trashedWithWord > 0, "the seed should put a note with the word in the trash");
}

void TestNoteGenerator::toolRejectsBadInputAndKeepsNotes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no count") << QStringList {} << QStringLiteral("--count is required");
    QTest::newRow("count not a number") << QStringList { QStringLiteral("--count"), QStringLiteral("many") }
                                        << QStringLiteral("--count must be");
    QTest::newRow("trashed over 100") << QStringList { QStringLiteral("--count"), QStringLiteral("5"),
        QStringLiteral("--trashed"), QStringLiteral("101") }
                                      << QStringLiteral("--trashed must be");
    QTest::newRow("data dir under a file") << QStringList { QStringLiteral("--count"), QStringLiteral("5"),
        QStringLiteral("--data-dir"), QStringLiteral("FILE/sub") }
                                           << QStringLiteral("can't create the data directory");
    QTest::newRow("notes already there") << QStringList { QStringLiteral("--count"), QStringLiteral("5") }
                                         << QStringLiteral("pass --append");
}

void TestNoteGenerator::toolRejectsBadInputAndKeepsNotes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    LumoraTest::ScopedDataDir dir;
    QFile file(dir.path() + QStringLiteral("/FILE"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    const auto runTool = [&](QStringList args) {
        if (!args.contains(QLatin1String("--data-dir")))
            args << QStringLiteral("--data-dir") << dir.path();
        args.replaceInStrings(QStringLiteral("FILE/"), dir.path() + QStringLiteral("/FILE/"));
        QProcess process;
        process.start(QStringLiteral(LUMORA_GENERATOR_PATH), args);
        process.waitForFinished(60000);
        return std::make_pair(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError()));
    };

    // A first, valid run leaves notes that a refused run must not touch.
    const auto first
        = runTool({ QStringLiteral("--count"), QStringLiteral("20"), QStringLiteral("--seed"), QStringLiteral("9") });
    QCOMPARE(first.first, 0);

    const auto refused = runTool(arguments);
    QCOMPARE(refused.first, 1);
    QVERIFY2(refused.second.contains(message), qPrintable(refused.second));

    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    QCOMPARE(queryInt(database, QStringLiteral("SELECT COUNT(*) FROM notes")), 20);
}

LUMORA_TEST_MAIN(TestNoteGenerator)
#include "tst_notegenerator.moc"
