// Backup and restore of a generated library: 10,000 notes (a few trashed)
// in five notebooks and 200 attachment files of 20 KB to 1 MB of
// incompressible bytes (like photos).
//  - createBackup: time, archive size, peak memory;
//  - restoreBackup into an empty data directory: time, peak memory;
//  - the same restore again, where every record is skipped.
// Peak memory is the process's high-water mark (VmHWM), reset before each
// step where the kernel allows it. Prints figures; asserts nothing.
//   bench_backup [--notes N] [--attachments N]

#include "benchsupport.h"
#include "writerprobe.h"
#include "features/backup.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "notegenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using Bench::out;

namespace {

// Forgets the peak so far, so the next VmHWM reading is of one step only.
bool resetPeakMemory()
{
#if defined(__GLIBC__)
    // Freed memory of the step before goes back to the system first, or it
    // would count as this step's.
    malloc_trim(0);
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

struct Step
{
    double ms = 0;
    double peakMb = 0;
    double residentBeforeMb = 0;
};

template<typename Work>
Step measure(const Work &work)
{
    Step step;
    const bool reset = resetPeakMemory();
    step.residentBeforeMb = Bench::residentMegabytes();
    QElapsedTimer timer;
    timer.start();
    work();
    step.ms = double(timer.nsecsElapsed()) / 1e6;
    step.peakMb = reset ? Bench::statusMegabytes(QByteArrayLiteral("VmHWM:")) : -1;
    return step;
}

void printStep(const QString &name, const Step &step, const BackupResult &result)
{
    out() << QStringLiteral("  %1 %2 ms   peak RSS %3 MB (%4 MB before)   imported %5 skipped %6 errors %7")
                 .arg(name, -34)
                 .arg(step.ms, 9, 'f', 0)
                 .arg(step.peakMb, 6, 'f', 0)
                 .arg(step.residentBeforeMb, 4, 'f', 0)
                 .arg(result.imported)
                 .arg(result.skipped)
                 .arg(result.errors)
          << Qt::endl;
    if (result.errors > 0)
        out() << "    " << result.errorMessage << Qt::endl;
}

std::unique_ptr<Database> openLibrary(const QString &dir)
{
    qputenv("NOTES_DATA_DIR", QFile::encodeName(dir));
    auto database = std::make_unique<Database>();
    if (!database->open(databasePath()) || !database->migrate())
        return nullptr;
    return database;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption notesOption(QStringLiteral("notes"), QStringLiteral("Notes to generate."),
                                         QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption filesOption(QStringLiteral("attachments"), QStringLiteral("Attachment files."),
                                         QStringLiteral("n"), QStringLiteral("200"));
    parser.addOptions({notesOption, filesOption});
    parser.addHelpOption();
    parser.process(app);
    const int noteCount = parser.value(notesOption).toInt();
    const int fileCount = parser.value(filesOption).toInt();

    QTemporaryDir root;
    const QString sourceDir = root.filePath(QStringLiteral("source"));
    const QString targetDir = root.filePath(QStringLiteral("target"));
    const QString zipPath = root.filePath(QStringLiteral("backup.zip"));

    out() << "Backup and restore, " << noteCount << " notes, " << fileCount << " attachment files" << Qt::endl;
    qint64 attachmentBytes = 0;
    {
        std::unique_ptr<Database> source = openLibrary(sourceDir);
        GeneratorOptions options;
        options.count = noteCount;
        options.now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
        QString error;
        if (!source || !generateInto(source.get(), options, nullptr, &error)) {
            out() << "  could not generate the library: " << error << Qt::endl;
            return 1;
        }
        AttachmentRepository attachments(source.get());
        QRandomGenerator random(42);
        for (int i = 0; i < fileCount; ++i) {
            QByteArray bytes(int(random.bounded(20 * 1024, 1024 * 1024)), Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            attachmentBytes += bytes.size();
            attachments.saveFile(QStringLiteral("attachment-%1").arg(i, 4, 10, QLatin1Char('0')), bytes);
        }
        out() << QStringLiteral("  library: database %1 MB, attachments %2 MB")
                     .arg(double(QFileInfo(databasePath()).size()) / 1048576.0, 0, 'f', 1)
                     .arg(double(attachmentBytes) / 1048576.0, 0, 'f', 1)
              << Qt::endl;

        BackupResult result;
        const Step backup = measure([&] { result = createBackup(zipPath, source.get()); });
        printStep(QStringLiteral("createBackup"), backup, result);
        out() << QStringLiteral("  archive %1 MB").arg(double(QFileInfo(zipPath).size()) / 1048576.0, 0, 'f', 1)
              << Qt::endl;
    }

    std::unique_ptr<Database> target = openLibrary(targetDir);
    if (!target) {
        out() << "  could not open an empty library" << Qt::endl;
        return 1;
    }
    BackupResult result;
    Bench::WriterProbe probe(databasePath());
    Step step = measure([&] { result = restoreBackup(zipPath, target.get(), RestoreMode::Skip); });
    const double longestWait = probe.stop();
    printStep(QStringLiteral("restoreBackup, empty library"), step, result);
    out() << QStringLiteral("    a save meanwhile waited at most %1 ms for the write lock (%2 saves, %3 over 100 ms)")
                 .arg(longestWait, 0, 'f', 0)
                 .arg(probe.writes())
                        .arg(probe.slowWrites())
          << Qt::endl;
    step = measure([&] { result = restoreBackup(zipPath, target.get(), RestoreMode::Skip); });
    printStep(QStringLiteral("restoreBackup again, all skipped"), step, result);
    qunsetenv("NOTES_DATA_DIR");
    return 0;
}
