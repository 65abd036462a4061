#include "backupcommands.h"

#include "app/appstate.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BackupCommands", text);
}

const QString &zipFilter()
{
    static const QString filter = tr("ZIP Archive (*.zip)");
    return filter;
}

using Work = std::function<BackupResult(Database *database, const BackupProgress &progress)>;

BackupResult runInWorker(QWidget *parent, AppState *state, const QString &label, const Work &work)
{
    // Written by the worker, read by the GUI's timer; the result is read
    // only after the thread has finished.
    struct Shared
    {
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
        std::atomic<bool> cancel{false};
        BackupResult result;
    };
    auto shared = std::make_shared<Shared>();
    const QString databasePath = state->database()->db().databaseName();
    std::unique_ptr<QThread> thread(QThread::create([shared, databasePath, work] {
        // A connection of the worker's own: SQLite connections are not shared
        // between threads, and WAL lets the window keep reading meanwhile.
        Database database;
        QString error;
        if (!database.open(databasePath, &error)) {
            shared->result.errors = 1;
            shared->result.errorMessage = error;
            return;
        }
        shared->result = work(&database, [shared](qint64 done, qint64 total) {
            shared->done = done;
            shared->total = total;
            return !shared->cancel;
        });
    }));

    QProgressDialog dialog(label, tr("Cancel"), 0, 0, parent);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(400);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [shared] { shared->cancel = true; });
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&dialog, shared] {
        const qint64 total = shared->total;
        if (total <= 0)
            return;
        // QProgressDialog counts in int; a thousandth is fine enough.
        dialog.setMaximum(1000);
        dialog.setValue(int(qMin<qint64>(1000, shared->done * 1000 / total)));
    });

    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    poll.start();
    if (!thread->isFinished())
        loop.exec();
    // The loop also ends when the application quits: stop the work then.
    shared->cancel = true;
    thread->wait();
    return shared->result;
}

} // namespace

BackupResult runBackup(QWidget *parent, AppState *state, const QString &zipPath)
{
    return runInWorker(parent, state, tr("Writing backup\u2026"),
                       [zipPath](Database *database, const BackupProgress &progress) {
                           return createBackup(zipPath, database, progress);
                       });
}

BackupResult runRestore(QWidget *parent, AppState *state, const QString &zipPath, RestoreMode mode)
{
    const BackupResult result = runInWorker(parent, state, tr("Restoring backup\u2026"),
                                            [zipPath, mode](Database *database, const BackupProgress &progress) {
                                                return restoreBackup(zipPath, database, mode, progress);
                                            });
    // The worker's repositories announced nothing to the window's; what
    // was restored arrived through another connection.
    if (result.imported > 0) {
        Q_EMIT state->notebooks()->notebooksChanged();
        Q_EMIT state->notes()->notesChanged();
    }
    Q_EMIT state->attachments()->attachmentsChanged();
    return result;
}

QString restoreSummary(const BackupResult &result)
{
    QString text = tr("Imported: %1\nSkipped: %2\nErrors: %3").arg(result.imported).arg(result.skipped).arg(result.errors);
    if (!result.errorMessage.isEmpty())
        text += QStringLiteral("\n\n") + result.errorMessage;
    return text;
}

void backupInteractively(QWidget *parent, AppState *state, const std::function<void(const QString &)> &showMessage)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(
        parent, tr("Save Backup"), QDir(folder).filePath(QStringLiteral("lumora-notes-backup.zip")), zipFilter());
    if (path.isEmpty())
        return;
    const BackupResult result = runBackup(parent, state, path);
    if (result.errors > 0) {
        QMessageBox::warning(parent, tr("Backup Failed"), result.errorMessage);
        return;
    }
    showMessage(tr("Backup saved: %1 notes").arg(result.imported));
}

void restoreInteractively(QWidget *parent, AppState *state)
{
    const QString path = QFileDialog::getOpenFileName(parent, tr("Select Backup"), QString(), zipFilter());
    if (path.isEmpty())
        return;
    if (QMessageBox::question(parent, tr("Restore Backup"),
                              tr("Import notes from backup? Existing notes with the same ID will be skipped."),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const BackupResult result = runRestore(parent, state, path, RestoreMode::Skip);
    QMessageBox::information(parent, tr("Restore Complete"), restoreSummary(result));
}
