#pragma once

#include "note.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Database;

// Called after every chunk of a copy with the bytes copied so far and the
// total; returning false cancels the copy.
using CopyProgress = std::function<bool(qint64 done, qint64 total)>;

// Streams a file into targetPath a chunk at a time, never holding it whole;
// the target is replaced only by a complete copy. On failure or cancel the
// target is left as it was and *error says why (empty when cancelled).
bool copyFileInChunks(const QString &sourcePath, const QString &targetPath, const CopyProgress &progress,
                      QString *error = nullptr);

// One row of the attachments table; the bytes live in a file named by the id.
struct Attachment
{
    QString id;
    QString noteId;
    QString filename;
    QString mimeType;
    qint64 sizeBytes = 0;
    QDateTime createdAt;
    SyncStatus syncStatus = SyncStatus::Pending;

    bool isImage() const { return mimeType.startsWith(QLatin1String("image/")); }
};

// The files attached to notes: a row per file, the bytes in the attachments
// directory under the attachment's id.
class AttachmentRepository : public QObject
{
    Q_OBJECT

public:
    // Files bigger than this are refused: every copy of the data directory
    // (backup, sync) has to carry them.
    static constexpr qint64 MaxFileBytes = qint64(512) * 1024 * 1024;
    // Big files are copied this much at a time, never held whole.
    static constexpr qint64 CopyChunkBytes = qint64(4) * 1024 * 1024;

    // Uses the attachments directory of the data directory current now.
    explicit AttachmentRepository(Database *database, QObject *parent = nullptr);

    QString directory() const { return m_directory; }
    // Empty for an id that could name a file outside the directory.
    QString filePath(const QString &id) const;

    // The file is replaced as a whole or not at all; in the store, or in
    // another folder (one inside it) when directory is given.
    bool saveFile(const QString &id, const QByteArray &bytes, const QString &directory = QString());
    // Copies sourcePath into the store with copyFileInChunks(). Refuses files
    // above MaxFileBytes. On failure or cancel no file is left and *error
    // says why (empty when cancelled).
    bool saveFileFrom(const QString &id, const QString &sourcePath, const CopyProgress &progress,
                      QString *error = nullptr);
    QByteArray readFile(const QString &id) const;

    bool insert(const Attachment &attachment);
    std::optional<Attachment> byId(const QString &id) const;
    QList<Attachment> forNote(const QString &noteId) const;
    QList<Attachment> pending() const;
    bool markSynced(const QString &id);
    bool deleteById(const QString &id);
    // Every attachment of the note; all are tried, true only if all went.
    bool removeForNote(const QString &noteId);
    // Files whose rows were already deleted (a purge): removes them, missing
    // ones count as removed.
    bool removeFiles(const QStringList &ids);

Q_SIGNALS:
    void attachmentsChanged();

private:
    QList<Attachment> select(const QString &sql, const QVariantList &binds = {}) const;

    QSqlDatabase m_db;
    QString m_directory;
};

// "12.5 KB" below a megabyte, "3.2 MB" above.
QString attachmentSizeText(qint64 bytes);
