#pragma once

// Another connection to the same database that takes the write lock now and
// then, as the window's saves do while an import or a restore runs: how long
// it had to wait is how long a save would have hung.

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace Bench {

class WriterProbe
{
public:
    explicit WriterProbe(const QString &databaseFile)
        : m_thread([this, databaseFile] { run(databaseFile); })
    {
    }
    ~WriterProbe() { stop(); }
    WriterProbe(const WriterProbe &) = delete;
    WriterProbe &operator=(const WriterProbe &) = delete;

    // Stops probing; the longest wait for the lock in milliseconds.
    double stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_longestMs;
    }
    int writes() const { return m_writes; }

private:
    void run(const QString &databaseFile)
    {
        const QString name = QStringLiteral("writer-probe");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(databaseFile);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=600000"));
            if (db.open()) {
                QSqlQuery q(db);
                while (!m_stop) {
                    QElapsedTimer waited;
                    waited.start();
                    if (q.exec(QStringLiteral("BEGIN IMMEDIATE")) && q.exec(QStringLiteral("COMMIT")))
                        ++m_writes;
                    m_longestMs = std::max(m_longestMs.load(), double(waited.nsecsElapsed()) / 1e6);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
    }

    std::atomic_bool m_stop { false };
    std::atomic<double> m_longestMs { 0 };
    std::atomic_int m_writes { 0 };
    std::thread m_thread;
};

} // namespace Bench
