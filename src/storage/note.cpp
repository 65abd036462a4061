#include "note.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

QString syncStatusToText(SyncStatus status)
{
    switch (status) {
    case SyncStatus::Synced:
        return QStringLiteral("synced");
    case SyncStatus::Conflict:
        return QStringLiteral("conflict");
    case SyncStatus::Pending:
        break;
    }
    return QStringLiteral("pending");
}

SyncStatus syncStatusFromText(const QString &text)
{
    if (text == QLatin1String("synced"))
        return SyncStatus::Synced;
    if (text == QLatin1String("conflict"))
        return SyncStatus::Conflict;
    return SyncStatus::Pending;
}

QString deltaToPlainText(const QString &body)
{
    if (body.isEmpty())
        return QString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return body;

    QString text;
    const QJsonArray ops = doc.array();
    for (const QJsonValue &op : ops) {
        if (!op.isObject())
            continue;
        const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

namespace {

// A line break inside a paragraph (a pasted "<br>") ends the first line as
// a paragraph's end does: the title is the line the reader sees first.
qsizetype firstLineEnd(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n') || text.at(i) == QChar::LineSeparator)
            return i;
    }
    return -1;
}

} // namespace

QString titleFromPlainText(const QString &text)
{
    const qsizetype end = firstLineEnd(text);
    return (end < 0 ? text : text.left(end)).trimmed();
}

QString previewFromPlainText(const QString &text)
{
    const qsizetype end = firstLineEnd(text);
    if (end < 0)
        return QString();
    QString rest = text.mid(end + 1).trimmed();
    for (QChar &c : rest) {
        if (c == QLatin1Char('\n') || c == QChar::LineSeparator)
            c = QLatin1Char(' ');
    }
    if (rest.size() > 120)
        return rest.left(120) + QStringLiteral("...");
    return rest;
}

QString noteTitle(const QString &body)
{
    return titleFromPlainText(deltaToPlainText(body));
}

QString notePreview(const QString &body)
{
    return previewFromPlainText(deltaToPlainText(body));
}

QString toStoredTimestamp(const QDateTime &dateTime)
{
    return dateTime.toUTC().toString(Qt::ISODateWithMs);
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = int(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool readDigits(const QString &text, int pos, int count, int *value)
{
    int v = 0;
    for (int i = pos; i < pos + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
    }
    *value = v;
    return true;
}

// The exact form this program writes, "2024-05-01T09:30:00.123Z", parsed
// without QDateTime's general parser: listing notes reads three per row.
bool parseStoredForm(const QString &text, QDateTime *result)
{
    if (text.size() != 24 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T' || text.at(13) != u':'
        || text.at(16) != u':' || text.at(19) != u'.' || text.at(23) != u'Z')
        return false;
    int y, mo, d, h, mi, sec, ms;
    if (!readDigits(text, 0, 4, &y) || !readDigits(text, 5, 2, &mo) || !readDigits(text, 8, 2, &d)
        || !readDigits(text, 11, 2, &h) || !readDigits(text, 14, 2, &mi) || !readDigits(text, 17, 2, &sec)
        || !readDigits(text, 20, 3, &ms))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > QDate(y, mo, 1).daysInMonth() || h > 23 || mi > 59 || sec > 59)
        return false;
    const qint64 msecs = ((daysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60000LL + sec * 1000LL + ms;
    *result = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    return true;
}

} // namespace

QDateTime fromStoredTimestamp(const QString &text)
{
    QDateTime result;
    if (parseStoredForm(text, &result))
        return result;
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}
