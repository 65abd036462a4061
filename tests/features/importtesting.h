#pragma once

#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/note.h"
#include "testenvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>

#include <memory>

namespace ImportTesting {

// A fresh data directory with a migrated database, for one test function.
struct Store
{
    LumoraTest::ScopedDataDir dataDir;
    std::unique_ptr<Database> database = std::make_unique<Database>();

    bool open()
    {
        return database->open(databasePath()) && database->migrate();
    }

    int count(const QString &sql) const
    {
        QSqlQuery q(database->db());
        if (!q.exec(sql) || !q.next())
            return -1;
        return q.value(0).toInt();
    }

    QStringList strings(const QString &sql) const
    {
        QStringList values;
        QSqlQuery q(database->db());
        q.exec(sql);
        while (q.next())
            values << q.value(0).toString();
        return values;
    }

    QStringList attachmentFiles() const
    {
        return QDir(attachmentsDirectory()).entryList(QDir::Files | QDir::Hidden);
    }

    // Every file under the data directory's parent folder, for checks that
    // an import wrote nothing outside the attachment store.
    QStringList allFilesUnder(const QString &root) const
    {
        QStringList files;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(root).relativeFilePath(it.next());
        files.sort();
        return files;
    }
};

// The real export samples: LUMORA_FIXTURES_DIR, or the shared folder next
// to the source tree (also from a worktree one level further down).
inline QString fixturesDir()
{
    const QString fromEnv = qEnvironmentVariable("LUMORA_FIXTURES_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    for (const QString &relative : {QStringLiteral("/../shared/fixtures"), QStringLiteral("/../../shared/fixtures")}) {
        const QString candidate = QDir::cleanPath(LumoraTest::sourceDir() + relative);
        if (QFileInfo(candidate).isDir())
            return candidate;
    }
    return QString();
}

// The plain text of a note body, lines joined with "\n".
inline QString bodyText(const QString &body)
{
    return deltaToPlainText(body);
}

// Every attachment URL embedded in a Delta body.
inline QStringList embeddedAttachments(const QString &body)
{
    QStringList urls;
    const QJsonArray ops = QJsonDocument::fromJson(body.toUtf8()).array();
    for (const QJsonValue &op : ops) {
        const QJsonObject insert = op.toObject().value(QStringLiteral("insert")).toObject();
        const QString url = insert.value(QStringLiteral("lumora-notes-attachment")).toString();
        if (!url.isEmpty())
            urls << url;
    }
    return urls;
}

} // namespace ImportTesting
