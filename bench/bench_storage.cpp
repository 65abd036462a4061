// Timings of the storage layer on generated notes: opening, bulk insert,
// full-text search, listing and counting at 10k and 100k notes, and the
// search-index migration of a version-2 database.
// Prints median and p95 per case; nothing here passes or fails.

#include "benchsupport.h"
#include "notegenerator.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

using Bench::out;
using Bench::printFigures;

// The storage layer reports every open and migration at info level; the
// figures are easier to read without them.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    QTextStream(stderr) << message << Qt::endl;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// A data directory of its own, pointed to by NOTES_DATA_DIR while it lives.
class DataDir
{
public:
    DataDir() { qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8()); }
    ~DataDir() { qunsetenv("NOTES_DATA_DIR"); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

std::unique_ptr<Database> openDatabase()
{
    auto database = std::make_unique<Database>();
    if (!database->open(databasePath()) || !database->migrate()) {
        QTextStream(stderr) << "bench_storage: can't open a database in " << dataDirectory() << Qt::endl;
        return nullptr;
    }
    return database;
}

struct Sizes
{
    int small;
    int large;
    int insertNotes;
    int repsOpen;
    int repsInsert;
    int repsFast;
    int repsSlowSmall;
    int repsSlowLarge;
    int repsFastLarge;
};

void benchOpen(const Sizes &sizes)
{
    QList<double> samples;
    for (int i = 0; i < sizes.repsOpen; ++i) {
        DataDir dir;
        QElapsedTimer timer;
        timer.start();
        Database database;
        const bool ok = database.open(databasePath()) && database.migrate();
        samples << elapsedMs(timer);
        if (!ok) {
            QTextStream(stderr) << "bench_storage: open + migrate failed" << Qt::endl;
            return;
        }
    }
    printFigures(QStringLiteral("open + migrate, fresh database"), samples);
}

// Times one bulk write into a fresh database of its own.
bool timeWrite(const std::function<bool(Database *)> &write, QList<double> *samples)
{
    DataDir dir;
    auto database = openDatabase();
    if (!database)
        return false;
    QElapsedTimer timer;
    timer.start();
    const bool ok = write(database.get());
    samples->append(elapsedMs(timer));
    return ok;
}

void benchInsert(const Sizes &sizes)
{
    GeneratorOptions options;
    options.count = sizes.insertNotes;
    options.seed = 7;
    NoteGenerator generator(options);
    QList<Note> notes;
    notes.reserve(options.count);
    while (!generator.atEnd())
        notes.append(generator.next());

    const auto viaWriter = [&](Database *database) {
        NoteWriter writer(database);
        bool ok = writer.begin();
        for (qsizetype i = 0; ok && i < notes.size(); ++i)
            ok = writer.insertNote(notes.at(i));
        if (!(ok && writer.commit())) {
            QTextStream(stderr) << "bench_storage: insert failed: " << writer.errorText() << Qt::endl;
            return false;
        }
        return true;
    };
    // The same through the repository: a prepare and a signal per note, still
    // inside a single transaction.
    const auto viaRepository = [&](Database *database) {
        NoteRepository repository(database);
        QSqlDatabase db = database->db();
        bool ok = db.transaction();
        for (qsizetype i = 0; ok && i < notes.size(); ++i)
            ok = repository.insert(notes.at(i));
        if (!(ok && db.commit())) {
            QTextStream(stderr) << "bench_storage: NoteRepository::insert failed" << Qt::endl;
            return false;
        }
        return true;
    };

    QList<double> writerSamples;
    QList<double> repositorySamples;
    for (int i = 0; i < sizes.repsInsert; ++i) {
        if (!timeWrite(viaWriter, &writerSamples) || !timeWrite(viaRepository, &repositorySamples))
            return;
    }
    printFigures(QStringLiteral("insert %1 notes, prepared, one transaction").arg(sizes.insertNotes), writerSamples);
    printFigures(
        QStringLiteral("insert %1 notes, NoteRepository::insert, 1 tx").arg(sizes.insertNotes), repositorySamples);
}

template<typename Result> QList<double> timeRuns(int reps, const std::function<Result()> &run, Result *last)
{
    *last = run(); // warm-up: page cache and prepared statement cache
    QList<double> samples;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer timer;
        timer.start();
        *last = run();
        samples << elapsedMs(timer);
    }
    return samples;
}

// Times `run` right after a one-row write, as the list runs it after a save:
// nothing the repository keeps survives the write.
template<typename Result>
QList<double> timeRunsAfterWrite(
    int reps, const std::function<void()> &write, const std::function<Result()> &run, Result *last)
{
    QList<double> samples;
    for (int i = 0; i < reps; ++i) {
        write();
        QElapsedTimer timer;
        timer.start();
        *last = run();
        samples << elapsedMs(timer);
    }
    return samples;
}

void benchQueries(int count, int repsFast, int repsSlow)
{
    DataDir dir;
    GeneratorOptions options;
    options.count = count;
    options.seed = 42;
    GenerationSummary summary;
    QString error;
    QElapsedTimer setup;
    setup.start();
    {
        auto database = openDatabase();
        if (!database)
            return;
        if (!generateInto(database.get(), options, &summary, &error)) {
            QTextStream(stderr) << "bench_storage: generating failed: " << error << Qt::endl;
            return;
        }
    }
    const QString path = databasePath();
    out() << Qt::endl
          << QStringLiteral("%1 notes (%2 live, %3 trashed, %4 notebooks), database %5 MB, generated in %6 s")
                 .arg(summary.notes)
                 .arg(summary.notes - summary.trashed)
                 .arg(summary.trashed)
                 .arg(summary.notebooks)
                 .arg(double(QFileInfo(path).size()) / (1024.0 * 1024.0), 0, 'f', 1)
                 .arg(double(setup.elapsed()) / 1000.0, 0, 'f', 1)
          << Qt::endl;

    // Reopened, as the program would find it at start.
    auto database = openDatabase();
    if (!database)
        return;
    NoteRepository repository(database.get());

    struct SearchCase
    {
        QString text;
        QString what;
        bool slow;
    };
    const QString rare
        = summary.rareWordNotes.isEmpty() ? QStringLiteral("zyzzogeton") : summary.rareWordNotes.first().first;
    const QList<SearchCase> searches {
        { rare, QStringLiteral("rare word"), false },
        { QStringLiteral("project"), QStringLiteral("common word"), true },
        { QStringLiteral("the"), QStringLiteral("most frequent word"), true },
        { QStringLiteral("th"), QStringLiteral("2-letter prefix"), true },
        { QStringLiteral("t"), QStringLiteral("1-letter prefix"), true },
    };
    for (const SearchCase &c : searches) {
        QList<Note> result;
        const QList<double> samples = timeRuns<QList<Note>>(
            c.slow ? repsSlow : repsFast, [&] { return repository.search(c.text); }, &result);
        printFigures(QStringLiteral("search \"%1\" (%2)").arg(c.text, c.what), samples,
            QStringLiteral("%1 results").arg(result.size()));
    }

    // What the note list reads: ids for a whole list or search, then the texts
    // of one page of rows.
    QString notebookId;
    {
        QSqlQuery q(database->db());
        if (q.exec(QStringLiteral("SELECT notebook_id FROM notes WHERE notebook_id <> '' LIMIT 1")) && q.next())
            notebookId = q.value(0).toString();
    }
    QList<qint64> ids;
    QList<double> samples = timeRuns<QList<qint64>>(repsSlow, [&] { return repository.listRowIds(); }, &ids);
    printFigures(QStringLiteral("listRowIds() all, unchanged"), samples, QStringLiteral("%1 ids").arg(ids.size()));
    const QList<qint64> allIds = ids;
    const QString touchedId = repository.listRows(allIds.mid(0, 1)).value(0).id;
    int touches = 0;
    const auto touch = [&] { repository.markSynced(touchedId, ++touches); };
    samples = timeRunsAfterWrite<QList<qint64>>(repsSlow, touch, [&] { return repository.listRowIds(); }, &ids);
    printFigures(QStringLiteral("listRowIds() all, after a write"), samples, QStringLiteral("%1 ids").arg(ids.size()));
    samples = timeRuns<QList<qint64>>(repsSlow, [&] { return repository.listRowIds(notebookId); }, &ids);
    printFigures(QStringLiteral("listRowIds(notebook)"), samples, QStringLiteral("%1 ids").arg(ids.size()));
    for (const SearchCase &c : searches) {
        samples = timeRuns<QList<qint64>>(
            c.slow ? repsSlow : repsFast, [&] { return repository.searchRowIds(c.text); }, &ids);
        printFigures(QStringLiteral("searchRowIds \"%1\" (%2)").arg(c.text, c.what), samples,
            QStringLiteral("%1 ids").arg(ids.size()));
        samples = timeRunsAfterWrite<QList<qint64>>(
            c.slow ? repsSlow : repsFast, touch, [&] { return repository.searchRowIds(c.text); }, &ids);
        printFigures(QStringLiteral("  the same, after a write"), samples);
    }
    // Pages from the middle of the list, a different one each run.
    int page = 0;
    QList<NoteListRow> rows;
    samples = timeRuns<QList<NoteListRow>>(repsFast, [&] {
        const qsizetype from = (qsizetype(page++) * 997) % qMax<qsizetype>(1, allIds.size() - 100);
        return repository.listRows(allIds.mid(from, 100));
    }, &rows);
    printFigures(QStringLiteral("listRows(100 ids)"), samples, QStringLiteral("%1 rows").arg(rows.size()));

    // Saving an edit and reading back its row, as the list does after a save.
    const QString savedId = repository.listRows(allIds.mid(0, 1)).value(0).id;
    const QString savedBody = repository.byId(savedId).value_or(Note()).body;
    int edit = 0;
    std::optional<NoteListRow> savedRow;
    samples = timeRuns<std::optional<NoteListRow>>(repsFast, [&] {
        const QString body = QStringLiteral("[{\"insert\":\"Edit %1\\n\"},").arg(++edit) + savedBody.mid(1);
        repository.saveEditedBody(savedId, body);
        return repository.listRow(savedId);
    }, &savedRow);
    printFigures(QStringLiteral("saveEditedBody + listRow"), samples,
        savedRow ? savedRow->texts.title : QStringLiteral("failed"));

    // The result is read only after the runs: argument order is unspecified.
    QList<Note> all;
    const QList<double> allSamples = timeRuns<QList<Note>>(
        repsSlow, [&] { return repository.all(); }, &all);
    printFigures(QStringLiteral("all()"), allSamples, QStringLiteral("%1 notes").arg(all.size()));

    QHash<QString, int> counts;
    const QList<double> countSamples = timeRuns<QHash<QString, int>>(
        repsFast, [&] { return repository.countsByNotebook(); }, &counts);
    printFigures(QStringLiteral("countsByNotebook()"), countSamples,
        QStringLiteral("%1 keys, total %2").arg(counts.size()).arg(counts.value(QString())));
}

// Turns a freshly generated database back into what release 2 left: the
// full-text index over the raw JSON kept by triggers.
bool downgradeToVersion2(Database *database)
{
    const QStringList statements{
        QStringLiteral("DROP TRIGGER notes_index_ad"),
        QStringLiteral("DROP TABLE notes_fts"),
        QStringLiteral("DROP TABLE note_list_texts"),
        QStringLiteral("DROP INDEX idx_notes_live_updated"),
        QStringLiteral("DROP INDEX idx_notes_notebook_updated"),
        QStringLiteral("CREATE INDEX idx_notes_notebook_id ON notes(notebook_id)"),
        QStringLiteral("CREATE INDEX idx_notes_deleted_at ON notes(deleted_at)"),
        QStringLiteral("CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')"),
        QStringLiteral("CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN INSERT INTO notes_fts(rowid, body) "
                       "VALUES (new.rowid, new.body); END"),
        QStringLiteral("CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN INSERT INTO notes_fts(notes_fts, rowid, "
                       "body) VALUES ('delete', old.rowid, old.body); END"),
        QStringLiteral("CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN INSERT INTO notes_fts(notes_fts, rowid, "
                       "body) VALUES ('delete', old.rowid, old.body); INSERT INTO notes_fts(rowid, body) VALUES "
                       "(new.rowid, new.body); END"),
        QStringLiteral("INSERT INTO notes_fts(notes_fts) VALUES('rebuild')"),
        QStringLiteral("UPDATE schema_version SET version = 2"),
    };
    QSqlQuery q(database->db());
    for (const QString &sql : statements) {
        if (!q.exec(sql)) {
            QTextStream(stderr) << "bench_storage: downgrade failed at " << sql << Qt::endl;
            return false;
        }
    }
    return true;
}

void benchMigration(int count)
{
    DataDir dir;
    GeneratorOptions options;
    options.count = count;
    options.seed = 42;
    QString error;
    {
        auto database = openDatabase();
        if (!database || !generateInto(database.get(), options, nullptr, &error)
            || !downgradeToVersion2(database.get()))
            return;
    }
    Database database;
    if (!database.open(databasePath()))
        return;
    QElapsedTimer timer;
    timer.start();
    const bool ok = database.migrate();
    printFigures(QStringLiteral("migration 3 (index %1 notes)").arg(count), { elapsedMs(timer) },
        ok ? QString() : QStringLiteral("FAILED"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_storage"));
    qInstallMessageHandler(quietMessages);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Storage timings on generated notes."));
    parser.addHelpOption();
    const QCommandLineOption quickOption(
        QStringLiteral("quick"), QStringLiteral("Small data sets and few repetitions, for a smoke run."));
    parser.addOption(quickOption);
    parser.process(app);

    const bool quick = parser.isSet(quickOption);
    const Sizes sizes
        = quick ? Sizes { 1000, 5000, 1000, 3, 1, 3, 2, 1, 3 } : Sizes { 10000, 100000, 10000, 20, 3, 30, 10, 3, 10 };

    {
        DataDir dir;
        auto database = openDatabase();
        if (!database)
            return 1;
        QSqlQuery q(database->db());
        q.exec(QStringLiteral("SELECT sqlite_version()"));
        out() << "bench_storage" << (quick ? " --quick" : "") << ": Qt " << QString::fromLatin1(qVersion())
              << ", SQLite " << (q.next() ? q.value(0).toString() : QStringLiteral("?"))
              << "; times in ms over repeated runs after one warm-up run" << Qt::endl;
    }

    QElapsedTimer total;
    total.start();
    out() << Qt::endl << "Writing" << Qt::endl;
    benchOpen(sizes);
    benchInsert(sizes);
    benchQueries(sizes.small, sizes.repsFast, sizes.repsSlowSmall);
    benchQueries(sizes.large, sizes.repsFastLarge, sizes.repsSlowLarge);
    out() << Qt::endl << "Migrating" << Qt::endl;
    benchMigration(sizes.small);
    benchMigration(sizes.large);
    out() << Qt::endl << "Whole run: " << QString::number(double(total.elapsed()) / 1000.0, 'f', 1) << " s" << Qt::endl;
    return 0;
}
