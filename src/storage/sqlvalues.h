#pragma once

#include "note.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>

// How record fields are bound: empty optional texts and absent times as SQL
// NULL, and never a NULL where a NOT NULL text column expects ''.
inline QVariant nullableText(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

inline QVariant nullableTimestamp(const std::optional<QDateTime> &dateTime)
{
    return dateTime ? QVariant(toStoredTimestamp(*dateTime)) : QVariant(QMetaType(QMetaType::QString));
}

inline QString notNull(const QString &text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Prepares sql, binds the values positionally and runs it; false when either
// step fails, with the error left on the query.
inline bool runPrepared(QSqlQuery &query, const QString &sql, const QVariantList &binds)
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : binds)
        query.addBindValue(value);
    return query.exec();
}
