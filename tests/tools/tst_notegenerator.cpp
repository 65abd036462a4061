#include "notegenerator.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "testmain.h"

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
    return GeneratorOptions { count, notebooks, trashedPercent, seed, kNow };
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
    // Every body is a delta with a title and ends a line; the same seed gives
    // the same notes, another seed other bodies.
    void notesAreValidAndRepeatable()
    {
        NoteGenerator generator(optionsFor(300, 1));
        NoteGenerator same(optionsFor(300, 1));
        NoteGenerator other(optionsFor(300, 2));
        const auto fingerprint = [](const Note &n) {
            return QStringList { n.id, n.notebookId, n.createdAt.toString(Qt::ISODateWithMs),
                n.updatedAt.toString(Qt::ISODateWithMs), n.modifiedAt.toString(Qt::ISODateWithMs),
                n.deletedAt ? n.deletedAt->toString(Qt::ISODateWithMs) : QString(), QString::number(n.version),
                n.body };
        };
        QSet<QString> seen;
        int differing = 0;
        while (!generator.atEnd()) {
            const Note note = generator.next();
            QCOMPARE(fingerprint(note), fingerprint(same.next()));
            differing += other.next().body != note.body;
            QVERIFY(note.createdAt >= kNow.addDays(-730) && note.createdAt <= note.updatedAt
                    && note.updatedAt <= kNow);
            const QJsonDocument doc = QJsonDocument::fromJson(note.body.toUtf8());
            const QJsonArray ops = doc.array();
            QVERIFY2(doc.isArray() && !ops.isEmpty(), qPrintable(note.body));
            QVERIFY2(ops.last()[QLatin1String("insert")].toString().endsWith(QLatin1Char('\n')), qPrintable(note.body));
            QVERIFY(!noteTitle(note.body).isEmpty());
            for (const QJsonValue &op : ops) {
                const QJsonValue insert = op[QLatin1String("insert")];
                QVERIFY2(insert.isString() || insert.toObject().size() == 1, qPrintable(note.body));
                const QJsonObject attributes = op[QLatin1String("attributes")].toObject();
                for (auto it = attributes.begin(); it != attributes.end(); ++it)
                    seen.insert(it.key() == QLatin1String("list") ? it.value().toString() : it.key());
                if (!insert.isObject())
                    continue;
                seen.insert(insert.toObject().begin().key());
                const QString table = insert[QLatin1String("table")].toString();
                if (!table.isNull())
                    QVERIFY(!QJsonDocument::fromJson(table.toUtf8())[QLatin1String("cells")].toArray().isEmpty());
            }
        }
        QVERIFY(same.atEnd());
        QCOMPARE(differing, 300);
        // Every kind of line, span and embed turns up, not just paragraphs.
        const QStringList kinds = QStringLiteral("header bullet ordered checked unchecked code-block blockquote bold "
                                                 "italic code link table divider")
                                      .split(QLatin1Char(' '));
        for (const QString &kind : kinds)
            QVERIFY2(seen.contains(kind), qPrintable(kind));
    }

    // 1000 notes in 5 notebooks, a fifth of them in the trash.
    void generatedLibrary()
    {
        const int notebooks = 5;
        const int trashed = 200;
        const GeneratorOptions options = optionsFor(1000, 3, notebooks, 20);
        LumoraTest::ScopedDataDir dir;
        {
            Database database;
            QVERIFY(database.open(databasePath()) && database.migrate());
            QString error;
            QVERIFY2(generateInto(&database, options, nullptr, &error), qPrintable(error));
        }

        // Read back the way the program opens it.
        Database database;
        QVERIFY(database.open(databasePath()) && database.migrate());
        NoteRepository repository(&database);
        QCOMPARE(repository.all().size(), 1000 - trashed);
        QCOMPARE(repository.trashed().size(), trashed);
        QCOMPARE(queryInt(database, QStringLiteral("SELECT COUNT(DISTINCT name) FROM notebooks")), notebooks);

        // Search finds each rare word, whole or as a prefix, in exactly the live notes that have it.
        NoteGenerator replay(options);
        QHash<QString, QSet<QString>> live;
        QHash<QString, int> all;
        bool trashedHit = false;
        while (!replay.atEnd()) {
            const Note note = replay.next();
            for (const RareWord &rare : replay.rareWords()) {
                if (!note.body.contains(rare.word))
                    continue;
                ++all[rare.word];
                if (note.isTrashed())
                    trashedHit = true;
                else
                    live[rare.word].insert(note.id);
            }
        }
        for (const RareWord &rare : replay.rareWords()) {
            QCOMPARE(all.value(rare.word), NoteGenerator::notesWithRareWord(rare, 1000));
            QVERIFY(!live.value(rare.word).isEmpty());
            for (const QString &typed : { rare.word, rare.word.left(5) }) {
                QSet<QString> found;
                for (const Note &note : repository.search(typed))
                    found.insert(note.id);
                QCOMPARE(found, live.value(rare.word));
            }
        }
        QVERIFY2(trashedHit, "the seed should put a note with a rare word in the trash");
    }

    void toolRefusesAndKeepsNotes_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no count") << "" << "--count is required";
        QTest::newRow("count not a number") << "--count many" << "--count must be";
        QTest::newRow("notes already there") << "--count 5" << "pass --append";
    }

    void toolRefusesAndKeepsNotes()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        LumoraTest::ScopedDataDir dir;
        QString errors;
        const auto runTool = [&](const QString &args) {
            QProcess process;
            process.start(QStringLiteral(LUMORA_GENERATOR_PATH),
                args.split(QLatin1Char(' '), Qt::SkipEmptyParts) << QStringLiteral("--data-dir") << dir.path());
            process.waitForFinished(60000);
            errors = QString::fromUtf8(process.readAllStandardError());
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        // A first, valid run leaves notes that a refused run must not touch.
        QCOMPARE(runTool(QStringLiteral("--count 20 --seed 9")), 0);
        QCOMPARE(runTool(arguments), 1);
        QVERIFY2(errors.contains(message), qPrintable(errors));

        Database database;
        QVERIFY(database.open(databasePath()) && database.migrate());
        QCOMPARE(queryInt(database, QStringLiteral("SELECT COUNT(*) FROM notes")), 20);
    }
};

LUMORA_TEST_MAIN(TestNoteGenerator)
#include "tst_notegenerator.moc"
