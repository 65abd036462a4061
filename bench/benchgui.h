#pragma once

// Helpers shared by the benchmarks that drive windows: quiet logging, wall
// and CPU clocks, waiting for a paint.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTextStream>
#include <QWidget>

#include <ctime>

namespace Bench {

inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The offscreen platform's notice about size hints says nothing here.
    if (type == QtDebugMsg || type == QtInfoMsg || message.contains(QLatin1String("propagateSizeHints")))
        return;
    QTextStream(stderr) << message << Qt::endl;
}

inline double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// CPU time of this thread in ms: steadier than wall time on a busy machine,
// but blind to waiting (fsync).
inline double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Notes whether a widget has painted since the last reset.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }
    void reset() { m_painted = false; }
    // Runs the event loop until the widget painted; false after 10 s without.
    bool wait()
    {
        QElapsedTimer guard;
        guard.start();
        while (!m_painted && guard.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return m_painted;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    bool m_painted = false;
};

inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace Bench
