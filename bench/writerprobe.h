#pragma once

// Another connection to the same database that takes the write lock now and
// then, as the window's saves do while an import or a restore runs: how long
// it had to wait is how long a save would have hung.

#include "storage/database.h"

#include <QElapsedTimer>
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
    // Saves that waited longer than a tenth of a second.
    int slowWrites() const { return m_slowWrites; }

private:
    void run(const QString &databaseFile)
    {
        // Opened as the program opens its own, busy handling included.
        Database database;
        if (!database.open(databaseFile))
            return;
        QSqlQuery q(database.db());
        while (!m_stop) {
            QElapsedTimer waited;
            waited.start();
            if (q.exec(QStringLiteral("BEGIN IMMEDIATE")) && q.exec(QStringLiteral("COMMIT")))
                ++m_writes;
            const double ms = double(waited.nsecsElapsed()) / 1e6;
            m_longestMs = std::max(m_longestMs.load(), ms);
            if (ms > 100)
                ++m_slowWrites;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::atomic_bool m_stop { false };
    std::atomic<double> m_longestMs { 0 };
    std::atomic_int m_writes { 0 };
    std::atomic_int m_slowWrites { 0 };
    std::thread m_thread;
};

} // namespace Bench
