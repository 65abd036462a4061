#pragma once

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QPair>
#include <QString>

#include "testenvironment.h"

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

// The notes of the shared Delta corpus as (file name, body), by name.
inline QList<QPair<QString, QString>> corpusNotes()
{
    const QDir dir(LumoraTest::sourceDir() + QStringLiteral("/tests/data/delta-corpus"));
    QList<QPair<QString, QString>> notes;
    const QStringList files = dir.entryList({ QStringLiteral("*.json") }, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            notes.append({ name, QString::fromUtf8(file.readAll()) });
    }
    return notes;
}

} // namespace ConverterTest
