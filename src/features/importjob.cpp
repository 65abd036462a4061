#include "importjob.h"

#include "storage/database.h"

#include <QElapsedTimer>
#include <QThread>

ImportJob::ImportJob(ImportFormat format, const QString &archivePath, const QString &databasePath, QObject *parent)
    : QObject(parent)
    , m_format(format)
    , m_archivePath(archivePath)
    , m_databasePath(databasePath)
{
}

ImportJob::~ImportJob()
{
    if (m_thread) {
        cancel();
        m_thread->wait();
        delete m_thread;
    }
}

void ImportJob::start()
{
    if (m_thread)
        return;
    m_cancel = false;
    m_thread = QThread::create([this] { run(); });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        Q_EMIT finished();
    });
    m_thread->start();
}

void ImportJob::cancel()
{
    m_cancel = true;
}

void ImportJob::run()
{
    ImportResult result;
    {
        Database database;
        QString error;
        if (!database.open(m_databasePath, &error)) {
            result.errors = 1;
            result.errorMessage = error;
        } else {
            QElapsedTimer sinceReport;
            sinceReport.start();
            int lastTotal = -1;
            result = importArchive(m_format, m_archivePath, &database,
                                   [this, &sinceReport, &lastTotal](int current, int total, const QString &label) {
                                       if (m_cancel)
                                           return false;
                                       // A few updates a second are enough to watch.
                                       if (total != lastTotal || current == total || sinceReport.elapsed() >= 40) {
                                           lastTotal = total;
                                           sinceReport.restart();
                                           Q_EMIT progress(current, total, label);
                                       }
                                       return true;
                                   });
        }
    }
    // Read on the owning thread only after the worker has ended.
    m_result = result;
}
