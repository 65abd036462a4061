#pragma once

#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QPair>
#include <QString>

namespace DocumentTest {

// Delta JSON written readably: a single quote stands for an escaped double
// quote, so a table object can sit inside its embed string. A plain function
// because moc cannot expand macros around raw strings.
inline QString js(const char *json)
{
    return QString::fromUtf8(json).replace(QLatin1Char('\''), QLatin1String("\\\""));
}

// Qt's compact form, except that U+FEFF is escaped as the app's writer does.
inline QString compact(const QJsonArray &ops)
{
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact))
        .replace(QChar(0xFEFF), QLatin1String("\\ufeff"));
}

// Normalises hand-written Delta JSON to the compact form QJsonDocument writes.
inline QString compact(const char *json)
{
    return compact(QJsonDocument::fromJson(js(json).toUtf8()).array());
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

} // namespace DocumentTest
