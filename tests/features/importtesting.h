#pragma once

#include "features/import.h"
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
#include <QSet>
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

    // Folders inside the store count too: nothing may wait there afterwards.
    QStringList attachmentFiles() const
    {
        QStringList found;
        const QDir store(attachmentsDirectory());
        QDirIterator it(store.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            found << store.relativeFilePath(it.next());
        return found;
    }

    // What an import can leave behind, in one line: "notes 0, notebooks 0,
    // attachments 0, files 0" after one that stored nothing.
    QString contents() const
    {
        return QStringLiteral("notes %1, notebooks %2, attachments %3, files %4")
            .arg(count(QStringLiteral("SELECT COUNT(*) FROM notes")))
            .arg(count(QStringLiteral("SELECT COUNT(*) FROM notebooks")))
            .arg(count(QStringLiteral("SELECT COUNT(*) FROM attachments")))
            .arg(attachmentFiles().size());
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

inline QString emptyStore()
{
    return QStringLiteral("notes 0, notebooks 0, attachments 0, files 0");
}

// A real export sample, or an empty path when the samples are absent. They
// are in LUMORA_FIXTURES_DIR, or the shared folder next to the source tree
// (also from a worktree one level further down).
inline QString fixtureFile(const QString &name)
{
    QStringList dirs { qEnvironmentVariable("LUMORA_FIXTURES_DIR") };
    for (const char *relative : { "/../shared/fixtures", "/../../shared/fixtures" })
        dirs << QDir::cleanPath(LumoraTest::sourceDir() + QLatin1String(relative));
    for (const QString &dir : std::as_const(dirs)) {
        if (!dir.isEmpty() && QFileInfo::exists(dir + QLatin1Char('/') + name))
            return dir + QLatin1Char('/') + name;
    }
    return QString();
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

// What every import of a real export shows: each stored file embedded by a
// note, no archive-internal link left, the expected titles among the notes.
inline void verifyRealImport(const Store &store, const ImportResult &result, int attachments,
                             const QStringList &titles)
{
    QCOMPARE(result.errors, 0);
    QCOMPARE(store.attachmentFiles().size(), attachments);
    QSet<QString> shown;
    QStringList storedTitles;
    for (const QString &body : store.strings(QStringLiteral("SELECT body FROM notes"))) {
        const QStringList urls = embeddedAttachments(body);
        shown.unite(QSet<QString>(urls.begin(), urls.end()));
        storedTitles << noteTitle(body);
        QVERIFY2(!body.contains(QStringLiteral("](:/")) && !body.contains(QStringLiteral("transparent.gif")),
                 qPrintable(body));
    }
    QCOMPARE(int(shown.size()), attachments);
    for (const QString &title : titles)
        QVERIFY2(storedTitles.contains(title), qPrintable(title));
    QVERIFY(!store.strings(QStringLiteral("SELECT mime_type FROM attachments")).contains(QStringLiteral("image/jpg")));
}

} // namespace ImportTesting
