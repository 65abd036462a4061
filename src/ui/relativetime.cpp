#include "ui/relativetime.h"

#include <QLocale>

namespace {

QString shortDate(const QDate &date, const QDate &today)
{
    return date.year() == today.year() ? date.toString(QStringLiteral("MMM d"))
                                       : date.toString(QStringLiteral("MMM d, yyyy"));
}

} // namespace

QString relativeTime(const QDateTime &dateTime)
{
    return relativeTime(dateTime, QDateTime::currentDateTime());
}

QString relativeTime(const QDateTime &dateTime, const QDateTime &now)
{
    if (!dateTime.isValid())
        return QString();

    // Calendar comparisons ("Yesterday", weekdays) are about the user's days.
    const QDateTime t = dateTime.toLocalTime();
    const QDateTime current = now.toLocalTime();
    const qint64 s = t.secsTo(current);
    const QDate today = current.date();

    if (s < 0)
        return shortDate(t.date(), today);
    if (s < 60)
        return QStringLiteral("just now");
    if (s < 3600)
        return QStringLiteral("%1m ago").arg(s / 60);
    if (s < 86400)
        return QStringLiteral("%1h ago").arg(s / 3600);

    const QDate date = t.date();
    if (date == today.addDays(-1))
        return QStringLiteral("Yesterday");
    if (date > today.addDays(-7))
        return QLocale().dayName(date.dayOfWeek(), QLocale::LongFormat);
    return shortDate(date, today);
}
