#include "ui/relativetime.h"

#include <QLocale>

namespace {

QString shortDate(const QDate &date, const QDate &today)
{
    return date.year() == today.year() ? date.toString(QStringLiteral("MMM d"))
                                       : date.toString(QStringLiteral("MMM d, yyyy"));
}

QString ago(qint64 count, const char *one, const char *many)
{
    return count == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(count);
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

QString trashedAgo(const QDateTime &trashedAt, const QDateTime &now)
{
    if (!trashedAt.isValid())
        return QString();
    // A clock set back since then reads as "just now" rather than the future.
    const qint64 s = qMax<qint64>(0, trashedAt.secsTo(now));
    const qint64 days = s / 86400;
    QString span;
    if (s < 60)
        return QStringLiteral("Trashed just now");
    if (s < 3600)
        span = ago(s / 60, "1 minute", "%1 minutes");
    else if (s < 86400)
        span = ago(s / 3600, "1 hour", "%1 hours");
    else if (days < 14)
        span = ago(days, "1 day", "%1 days");
    else if (days < 60)
        span = ago(days / 7, "1 week", "%1 weeks");
    else if (days < 365)
        span = ago(days / 30, "1 month", "%1 months");
    else
        span = ago(days / 365, "1 year", "%1 years");
    return QStringLiteral("Trashed %1 ago").arg(span);
}
