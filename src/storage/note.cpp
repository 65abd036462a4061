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

QString noteTitle(const QString &body)
{
    const QString text = deltaToPlainText(body);
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return (newline < 0 ? text : text.left(newline)).trimmed();
}

QString notePreview(const QString &body)
{
    const QString text = deltaToPlainText(body);
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    if (newline < 0)
        return QString();
    QString rest = text.mid(newline + 1).trimmed();
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (rest.size() > 120)
        return rest.left(120) + QStringLiteral("...");
    return rest;
}

QString toStoredTimestamp(const QDateTime &dateTime)
{
    return dateTime.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromStoredTimestamp(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}
