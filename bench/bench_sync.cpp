// First sync of many notes against the in-memory notes server on 127.0.0.1:
// one device pushes them all, a second, empty one pulls them. Prints the
// times and the longest the GUI thread's event loop went without turning
// during each (what a user would feel as a frozen window). The server runs on
// a thread of its own, as a real one would be elsewhere: its work is not the
// client's stall.

#include "benchsupport.h"
#include "synctesting.h"
#include "testenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QThread>

namespace {

// Longest gap between turns of the event loop while it runs.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_worst = qMax(m_worst, m_clock.restart());
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

void fill(SyncTesting::Device &device, int count)
{
    QSqlDatabase db = device.database->db();
    db.transaction();
    const QSignalBlocker blocker(device.notes.get());
    for (int i = 0; i < count; ++i) {
        device.addNote(QStringLiteral("Note %1 about the quarterly plan\nLine two of note %1 with some words to index, "
                                      "and a third clause so that bodies are not trivially small.")
                           .arg(i));
    }
    db.commit();
}

int run(const LumoraTest::FakeNotesServer &server, int count)
{
    SyncTesting::Device sender(server);
    SyncTesting::Device receiver(server);
    QElapsedTimer fillClock;
    fillClock.start();
    fill(sender, count);
    const qint64 fillMs = fillClock.elapsed();

    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    meter.start();
    const SyncEngine::SyncState pushState = sender.syncNow(600000);
    const qint64 pushMs = clock.elapsed();
    const qint64 pushStall = meter.stop();

    clock.restart();
    meter.start();
    const SyncEngine::SyncState pullState = receiver.syncNow(600000);
    const qint64 pullMs = clock.elapsed();
    const qint64 pullStall = meter.stop();

    const int received = int(receiver.notes->all().size());
    Bench::out() << QStringLiteral("first sync of %1 notes against the local fake server").arg(count) << Qt::endl;
    Bench::out() << QStringLiteral("  push (one batch) + empty pull      %1 ms   longest GUI-thread stall %2 ms   %3")
                        .arg(pushMs, 7)
                        .arg(pushStall, 5)
                        .arg(pushState == SyncEngine::Idle ? QStringLiteral("ok") : QStringLiteral("FAILED"))
                 << Qt::endl;
    Bench::out() << QStringLiteral("  pull into an empty library          %1 ms   longest GUI-thread stall %2 ms   %3 notes stored, %4")
                        .arg(pullMs, 7)
                        .arg(pullStall, 5)
                        .arg(received)
                        .arg(pullState == SyncEngine::Idle ? QStringLiteral("ok") : QStringLiteral("FAILED"))
                 << Qt::endl;
    Bench::out() << QStringLiteral("  (for scale: inserting the %1 notes locally in one transaction took %2 ms)").arg(count).arg(fillMs)
                 << Qt::endl;
    Bench::out() << QStringLiteral("  resident memory %1 MB").arg(Bench::residentMegabytes(), 0, 'f', 1) << Qt::endl;
    return pushState == SyncEngine::Idle && pullState == SyncEngine::Idle && received == count ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    LumoraTest::TestEnvironment environment;
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;

    QThread serverThread;
    auto *server = new LumoraTest::FakeNotesServer;
    server->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(server, [server, &listening] { listening = server->listen(); },
                              Qt::BlockingQueuedConnection);
    if (!listening)
        return 1;
    const int status = run(*server, count);
    serverThread.quit();
    serverThread.wait();
    return status;
}
