#pragma once

#include "import.h"

#include <QObject>
#include <QString>

#include <atomic>

class QThread;

// Runs one import on a worker thread with a database connection of its own,
// so the window stays responsive. Progress and the end are signalled on the
// thread that owns the job. Destroying a running job cancels it and waits.
class ImportJob : public QObject
{
    Q_OBJECT

public:
    ImportJob(ImportFormat format, const QString &archivePath, const QString &databasePath,
              QObject *parent = nullptr);
    ~ImportJob() override;

    void start();
    // The import stops at its next step and stores nothing.
    void cancel();
    bool isRunning() const { return m_thread != nullptr; }
    // Valid once finished() was emitted.
    const ImportResult &result() const { return m_result; }

Q_SIGNALS:
    void progress(int current, int total, const QString &label);
    void finished();

private:
    void run();

    ImportFormat m_format;
    QString m_archivePath;
    QString m_databasePath;
    QThread *m_thread = nullptr;
    std::atomic_bool m_cancel{false};
    ImportResult m_result;
};
