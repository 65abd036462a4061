// Fills a data directory with generated notes, for benchmarks and for trying
// the program with a large library.

#include "notegenerator.h"
#include "storage/database.h"
#include "storage/datapaths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int failWith(const QString &message)
{
    QTextStream err(stderr);
    err << "lumora-generate-notes: " << message << Qt::endl;
    return 1;
}

bool readInt(const QCommandLineParser &parser, const QString &name, int lowest, int highest, int *value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int parsed = parser.value(name).toInt(&ok);
    if (!ok || parsed < lowest || parsed > highest) {
        *error = QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(lowest)
                     .arg(highest)
                     .arg(parser.value(name));
        return false;
    }
    *value = parsed;
    return true;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora-generate-notes"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fills a Lumora Notes data directory with generated notes."));
    parser.addHelpOption();
    const QCommandLineOption countOption(
        QStringLiteral("count"), QStringLiteral("Number of notes to write."), QStringLiteral("N"));
    const QCommandLineOption dataDirOption(QStringLiteral("data-dir"),
        QStringLiteral("Data directory to fill (default: the program's own)."), QStringLiteral("DIR"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
        QStringLiteral("Random seed; the same seed gives the same notes."), QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption notebooksOption(
        QStringLiteral("notebooks"), QStringLiteral("Number of notebooks."), QStringLiteral("K"), QStringLiteral("5"));
    const QCommandLineOption trashedOption(QStringLiteral("trashed"),
        QStringLiteral("Percentage of the notes put in the trash."), QStringLiteral("PERCENT"), QStringLiteral("3"));
    const QCommandLineOption appendOption(
        QStringLiteral("append"), QStringLiteral("Add to a database that already holds notes."));
    parser.addOptions({ countOption, dataDirOption, seedOption, notebooksOption, trashedOption, appendOption });
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return failWith(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (!parser.isSet(countOption))
        return failWith(QStringLiteral("--count is required (see --help)"));

    GeneratorOptions options;
    QString error;
    if (!readInt(parser, QStringLiteral("count"), 1, 10'000'000, &options.count, &error)
        || !readInt(parser, QStringLiteral("notebooks"), 0, 1000, &options.notebooks, &error)
        || !readInt(parser, QStringLiteral("trashed"), 0, 100, &options.trashedPercent, &error))
        return failWith(error);
    bool seedOk = false;
    options.seed = parser.value(seedOption).toUInt(&seedOk);
    if (!seedOk)
        return failWith(QStringLiteral("--seed must be a whole number from 0 to 4294967295, not \"%1\"")
                            .arg(parser.value(seedOption)));

    if (parser.isSet(dataDirOption)) {
        const QString dir = QFileInfo(parser.value(dataDirOption)).absoluteFilePath();
        if (!QDir().mkpath(dir))
            return failWith(QStringLiteral("can't create the data directory \"%1\"").arg(dir));
        qputenv("NOTES_DATA_DIR", dir.toUtf8());
    }
    const QString dataDir = dataDirectory();
    {
        // Permission bits say little (root, ACLs, read-only mounts): try it.
        QTemporaryFile probe(dataDir + QStringLiteral("/.write-test-XXXXXX"));
        if (!probe.open())
            return failWith(QStringLiteral("can't write to the data directory \"%1\"").arg(dataDir));
    }
    const QString dbPath = databasePath();

    QElapsedTimer timer;
    timer.start();
    auto database = std::make_unique<Database>();
    if (!database->open(dbPath) || !database->migrate())
        return failWith(QStringLiteral("can't open or migrate the database \"%1\"").arg(dbPath));
    const qint64 openMs = timer.elapsed();

    QSqlQuery existing(database->db());
    if (!existing.exec(QStringLiteral("SELECT COUNT(*) FROM notes")) || !existing.next())
        return failWith(QStringLiteral("can't read the notes table of \"%1\"").arg(dbPath));
    const int existingNotes = existing.value(0).toInt();
    existing.finish();
    if (existingNotes > 0 && !parser.isSet(appendOption))
        return failWith(QStringLiteral("\"%1\" already holds %2 notes; pass --append to add to them")
                            .arg(dbPath)
                            .arg(existingNotes));

    timer.restart();
    GenerationSummary summary;
    if (!generateInto(database.get(), options, &summary, &error))
        return failWith(QStringLiteral("nothing was written: ") + error
            + (existingNotes > 0 ? QStringLiteral(" (ids repeat per seed: append with another --seed)") : QString()));
    const qint64 writeMs = timer.elapsed();
    // Closing checkpoints the WAL into the main file, so its size is final.
    database.reset();

    out() << "Data directory: " << dataDir << Qt::endl;
    out() << "Database:       " << dbPath << Qt::endl;
    out() << "Wrote " << summary.notebooks << " notebooks and " << summary.notes << " notes (" << summary.trashed
          << " in the trash, " << summary.withoutNotebook << " without a notebook), seed " << options.seed;
    if (existingNotes > 0)
        out() << ", added to " << existingNotes << " notes already there";
    out() << Qt::endl;
    out() << "Average body:   " << (summary.notes ? summary.bodyChars / summary.notes : 0)
          << " characters of Delta JSON" << Qt::endl;
    for (const auto &rare : std::as_const(summary.rareWordNotes))
        out() << "Rare word:      \"" << rare.first << "\" in " << rare.second << " notes" << Qt::endl;
    out() << "Open + migrate: " << openMs << " ms" << Qt::endl;
    out() << "Generate+write: " << QString::number(double(writeMs) / 1000.0, 'f', 2) << " s ("
          << (writeMs > 0 ? qint64(summary.notes) * 1000 / writeMs : 0) << " notes/s, one transaction)" << Qt::endl;
    out() << "Database size:  " << megabytes(QFileInfo(dbPath).size()) << Qt::endl;
    return 0;
}
