// Imports a generated Joplin archive of 10,000 notes and 500 pictures into
// an empty database and prints notes per second, the time of each phase
// and the peak resident memory. Figures only; nothing is asserted.
// bench_import [--notes N] [--pictures N] [archive.jex]; without an archive
// one is written by lumora-generate-jex from the same folder.

#include "benchsupport.h"
#include "features/import.h"
#include "jexgenerator.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "writerprobe.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <ctime>

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
    QGuiApplication app(argc, argv);

    JexGeneratorOptions options;
    QString archive;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--notes") && i + 1 < args.size())
            options.notes = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--pictures") && i + 1 < args.size())
            options.pictures = args.at(++i).toInt();
        else
            archive = args.at(i);
    }
    QTemporaryDir work;
    if (archive.isEmpty()) {
        archive = work.filePath(QStringLiteral("generated.jex"));
        QElapsedTimer generating;
        generating.start();
        // In a process of its own, so its memory is not counted here.
        QProcess generator;
        generator.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-generate-jex"),
                        {archive, QStringLiteral("--notes"), QString::number(options.notes), QStringLiteral("--pictures"),
                         QString::number(options.pictures)});
        if (!generator.waitForFinished(-1) || generator.exitCode() != 0) {
            Bench::out() << "cannot write the archive: " << generator.errorString()
                         << QString::fromUtf8(generator.readAllStandardError()) << Qt::endl;
            return 1;
        }
        Bench::out() << QStringLiteral("generated %1 notes, %2 pictures: %3 MB in %4 s")
                            .arg(options.notes)
                            .arg(options.pictures)
                            .arg(double(QFileInfo(archive).size()) / (1024 * 1024), 0, 'f', 1)
                            .arg(double(generating.elapsed()) / 1000, 0, 'f', 1)
                     << Qt::endl;
    }

    Database database;
    if (!database.open(databasePath()) || !database.migrate()) {
        Bench::out() << "cannot open the database" << Qt::endl;
        return 1;
    }
    const double rssBefore = Bench::residentMegabytes();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    qint64 convertedAt = 0;
    Bench::WriterProbe probe(databasePath());
    const ImportResult result = importJex(archive, &database, [&](int, int, const QString &label) {
        if (convertedAt == 0 && label.startsWith(QLatin1String("Saving")))
            convertedAt = timer.elapsed();
        return true;
    });
    const qint64 total = timer.elapsed();
    const double longestWait = probe.stop();
    // On a busy machine the wall time says more about the neighbours than
    // about the import; the CPU time (all threads) does not.
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    Bench::out() << QStringLiteral("imported %1 notes, %2 notebooks, %3 attachments, %4 skipped, %5 errors")
                        .arg(result.imported)
                        .arg(result.notebooks)
                        .arg(result.attachments)
                        .arg(result.skipped)
                        .arg(result.errors)
                 << Qt::endl;
    Bench::out() << QStringLiteral("  import            %1 ms   (read and convert %2 ms, store %3 ms)")
                        .arg(total)
                        .arg(convertedAt)
                        .arg(total - convertedAt)
                 << Qt::endl;
    Bench::out() << QStringLiteral("  notes per second  %1").arg(result.imported * 1000.0 / qMax<qint64>(total, 1), 0, 'f', 0)
                 << Qt::endl;
    Bench::out() << QStringLiteral("  CPU time          %1 s on all threads, %2 notes per CPU second, %3 cores")
                        .arg(cpuSeconds, 0, 'f', 2)
                        .arg(result.imported / qMax(cpuSeconds, 0.001), 0, 'f', 0)
                        .arg(QThread::idealThreadCount())
                 << Qt::endl;
    Bench::out() << QStringLiteral("  a save meanwhile  waited at most %1 ms for the write lock (%2 saves, %3 over 100 ms)")
                        .arg(longestWait, 0, 'f', 0)
                        .arg(probe.writes())
                        .arg(probe.slowWrites())
                 << Qt::endl;
    Bench::out() << QStringLiteral("  resident memory   %1 MB before, %2 MB peak (whole process)")
                        .arg(rssBefore, 0, 'f', 1)
                        .arg(Bench::statusMegabytes(QByteArrayLiteral("VmHWM:")), 0, 'f', 1)
                 << Qt::endl;
    return result.imported > 0 ? 0 : 1;
}
