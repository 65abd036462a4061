#pragma once

// Small helpers shared by the GUI benchmarks: figures, memory, headless start.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace Bench {

inline QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Benchmarks run headless unless told otherwise; call before the application object.
inline void defaultToOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

inline double percentile(QList<double> samples, double fraction)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: with few samples p95 is simply the slowest run.
    const qsizetype rank = qsizetype(std::ceil(fraction * double(samples.size())));
    return samples.at(qBound(qsizetype(0), rank - 1, samples.size() - 1));
}

inline void printFigures(const QString &name, const QList<double> &samples, const QString &note = QString())
{
    out() << QStringLiteral("  %1 median %2 ms   p95 %3 ms   (n=%4)")
                 .arg(name, -48)
                 .arg(percentile(samples, 0.5), 9, 'f', 2)
                 .arg(percentile(samples, 0.95), 9, 'f', 2)
                 .arg(samples.size(), 2);
    if (!note.isEmpty())
        out() << "   " << note;
    out() << Qt::endl;
}

// A memory figure of this process in MB ("VmRSS:", "VmHWM:" ...), from
// /proc; -1 where there is none.
inline double statusMegabytes(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Resident set size of this process in MB.
inline double residentMegabytes()
{
    return statusMegabytes(QByteArrayLiteral("VmRSS:"));
}

} // namespace Bench
