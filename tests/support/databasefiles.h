#pragma once

// Databases made and damaged on purpose, and fingerprints of folders, for the
// tests of refused data. Header-only: it needs the storage library, which
// the support library does not link.

#include "storage/database.h"
#include "storage/noterepository.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QSqlQuery>
#include <QUuid>

namespace LumoraTest {

// A migrated database at path holding `count` notes of a few KB each, closed
// again (so no -wal or -shm is left).
inline bool writeDatabaseWithNotes(const QString &path, int count)
{
    Database database;
    if (!database.open(path) || !database.migrate())
        return false;
    NoteRepository notes(&database);
    for (int i = 0; i < count; ++i) {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = QStringLiteral("[{\"insert\":\"Note %1 %2\\n\"}]").arg(i).arg(QString(3000, QLatin1Char('x')));
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        if (!notes.insert(note))
            return false;
    }
    return true;
}

// Runs one statement on the file through a connection of its own.
inline bool execOn(const QString &path, const QString &sql)
{
    const QString name = QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(sql);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

inline bool overwriteAt(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(offset) && file.write(bytes) == bytes.size();
}

// Writes bytes into the root page of a table (or index), at an offset into
// that page; false when the table was not found.
inline bool overwriteRootPage(const QString &path, const QString &table, int offset, const QByteArray &bytes)
{
    const QString name = QUuid::createUuid().toString();
    qint64 pageSize = 0;
    qint64 rootPage = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA page_size")) && q.next())
                pageSize = q.value(0).toLongLong();
            q.prepare(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = ?"));
            q.addBindValue(table);
            if (q.exec() && q.next())
                rootPage = q.value(0).toLongLong();
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return pageSize > 0 && rootPage > 0 && overwriteAt(path, (rootPage - 1) * pageSize + offset, bytes);
}

// Every file and folder under root, with a hash of each file's content.
inline QMap<QString, QByteArray> fingerprint(const QString &root)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString key = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            result.insert(key, QByteArray("folder"));
            continue;
        }
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
        result.insert(key, hash.result().toHex());
    }
    return result;
}

} // namespace LumoraTest
