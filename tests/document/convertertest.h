#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

namespace ConverterTest {

// Delta JSON written readably: a single quote stands for an escaped double
// quote, so a table object can sit inside its embed string.
inline QString delta(const char *json)
{
    return QString::fromUtf8(json).replace(QLatin1Char('\''), QLatin1String("\\\""));
}

inline QString compact(const QJsonArray &ops)
{
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

// Normalises hand-written Delta JSON to the compact form QJsonDocument writes.
inline QString compact(const char *json)
{
    return compact(QJsonDocument::fromJson(delta(json).toUtf8()).array());
}

} // namespace ConverterTest
