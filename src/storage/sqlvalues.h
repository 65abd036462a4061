#pragma once

#include "note.h"

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
