#include "attachmentrepository.h"

#include "database.h"
#include "datapaths.h"
#include "sqlvalues.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// Ids come from note bodies and from the server as well as from here; only
// plain names may become file names.
bool isSafeFileName(const QString &id)
{
    if (id.isEmpty() || id.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : id) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'-' || c == u'_' || c == u'.';
        if (!plain)
            return false;
    }
    return true;
}

QString fileError(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(path), reason);
}

} // namespace

QString attachmentSizeText(qint64 bytes)
{
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / 1048576.0, 0, 'f', 1);
}

AttachmentRepository::AttachmentRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_db(database->db())
    , m_directory(attachmentsDirectory())
{
}

QString AttachmentRepository::filePath(const QString &id) const
{
    if (!isSafeFileName(id))
        return QString();
    return m_directory + QLatin1Char('/') + id;
}

bool AttachmentRepository::saveFile(const QString &id, const QByteArray &bytes, const QString &directory)
{
    QString path = filePath(id);
    if (!directory.isEmpty() && !path.isEmpty())
        path = directory + QLatin1Char('/') + id;
    QSaveFile file(path.isEmpty() ? m_directory + QStringLiteral("/.invalid") : path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "AttachmentRepository::saveFile open failed:"
                             << (path.isEmpty() ? QStringLiteral("invalid id %1").arg(id) : file.errorString());
        return false;
    }
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        qWarning().noquote() << "AttachmentRepository::saveFile short write:"
                             << QStringLiteral("%1/%2").arg(qMax<qint64>(written, 0)).arg(bytes.size());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << "AttachmentRepository::saveFile open failed:" << file.errorString();
        return false;
    }
    return true;
}

bool copyFileInChunks(const QString &sourcePath, const QString &targetPath, const CopyProgress &progress,
                      QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    QFile source(sourcePath);
    if (!QFileInfo(sourcePath).isFile() || !source.open(QIODevice::ReadOnly))
        return fail(fileError(QStringLiteral("Cannot read"), sourcePath,
                              source.error() == QFile::NoError ? QStringLiteral("not a file") : source.errorString()));
    const qint64 total = source.size();
    QSaveFile target(targetPath);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly))
        return fail(fileError(QStringLiteral("Cannot write"), targetPath, target.errorString()));
    QByteArray chunk(int(qBound<qint64>(1, total, AttachmentRepository::CopyChunkBytes)), Qt::Uninitialized);
    qint64 done = 0;
    while (done < total) {
        const qint64 read = source.read(chunk.data(), qMin<qint64>(chunk.size(), total - done));
        if (read <= 0) {
            target.cancelWriting();
            return fail(fileError(QStringLiteral("Cannot read"), sourcePath,
                                  read < 0 ? source.errorString() : QStringLiteral("the file got shorter")));
        }
        if (target.write(chunk.constData(), read) != read) {
            const QString reason = target.errorString();
            target.cancelWriting();
            return fail(fileError(QStringLiteral("Cannot write"), targetPath, reason));
        }
        done += read;
        if (progress && !progress(done, total)) {
            target.cancelWriting();
            return fail(QString());
        }
    }
    if (!target.commit())
        return fail(fileError(QStringLiteral("Cannot write"), targetPath, target.errorString()));
    return true;
}

bool AttachmentRepository::saveFileFrom(const QString &id, const QString &sourcePath, const CopyProgress &progress,
                                        QString *error)
{
    QString problem;
    const QString path = filePath(id);
    const qint64 size = QFileInfo(sourcePath).size();
    if (path.isEmpty())
        problem = QStringLiteral("Invalid attachment id \"%1\".").arg(id);
    else if (size > MaxFileBytes)
        problem = QStringLiteral("\"%1\" (%2) is too big: attachments can be at most %3 MB.")
                      .arg(QFileInfo(sourcePath).fileName(), attachmentSizeText(size))
                      .arg(MaxFileBytes / (1024 * 1024));
    if (problem.isEmpty() && copyFileInChunks(sourcePath, path, progress, &problem))
        return true;
    if (!problem.isEmpty())
        qWarning().noquote() << "AttachmentRepository::saveFileFrom:" << problem;
    if (error)
        *error = problem;
    return false;
}

QByteArray AttachmentRepository::readFile(const QString &id) const
{
    QFile file(filePath(id));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool AttachmentRepository::insert(const Attachment &attachment)
{
    QSqlQuery q(m_db);
    if (!runPrepared(q,
                     QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, "
                                    "created_at, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                     {attachment.id, notNull(attachment.noteId), notNull(attachment.filename),
                      notNull(attachment.mimeType), attachment.sizeBytes, toStoredTimestamp(attachment.createdAt),
                      syncStatusToText(attachment.syncStatus)})) {
        qWarning().noquote() << "AttachmentRepository::insert failed:" << q.lastError().text();
        return false;
    }
    Q_EMIT attachmentsChanged();
    return true;
}

QList<Attachment> AttachmentRepository::select(const QString &sql, const QVariantList &binds) const
{
    QList<Attachment> result;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!runPrepared(q, sql, binds))
        return result;
    const QSqlRecord r = q.record();
    const int id = r.indexOf(QStringLiteral("id")), noteId = r.indexOf(QStringLiteral("note_id")),
              filename = r.indexOf(QStringLiteral("filename")), mimeType = r.indexOf(QStringLiteral("mime_type")),
              size = r.indexOf(QStringLiteral("size_bytes")), createdAt = r.indexOf(QStringLiteral("created_at")),
              syncStatus = r.indexOf(QStringLiteral("sync_status"));
    while (q.next()) {
        Attachment a;
        a.id = q.value(id).toString();
        a.noteId = q.value(noteId).toString();
        a.filename = q.value(filename).toString();
        a.mimeType = q.value(mimeType).toString();
        a.sizeBytes = q.value(size).toLongLong();
        a.createdAt = fromStoredTimestamp(q.value(createdAt).toString());
        a.syncStatus = syncStatusFromText(q.value(syncStatus).toString());
        result.append(a);
    }
    return result;
}

std::optional<Attachment> AttachmentRepository::byId(const QString &id) const
{
    const QList<Attachment> found = select(QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Attachment> AttachmentRepository::forNote(const QString &noteId) const
{
    return select(QStringLiteral("SELECT * FROM attachments WHERE note_id = ? ORDER BY created_at ASC"), {noteId});
}

QList<Attachment> AttachmentRepository::pending() const
{
    return select(QStringLiteral("SELECT * FROM attachments WHERE sync_status = 'pending' ORDER BY created_at ASC"));
}

bool AttachmentRepository::markSynced(const QString &id)
{
    QSqlQuery q(m_db);
    if (!runPrepared(q, QStringLiteral("UPDATE attachments SET sync_status = 'synced' WHERE id = ?"), {id})) {
        qWarning().noquote() << "AttachmentRepository::markSynced failed:" << q.lastError().text();
        return false;
    }
    return true;
}

bool AttachmentRepository::deleteById(const QString &id)
{
    // The row goes first: if it stays, so do its bytes. A file left behind
    // by a failed removal only takes space; a row without a file would be a
    // broken attachment.
    QSqlQuery q(m_db);
    if (!runPrepared(q, QStringLiteral("DELETE FROM attachments WHERE id = ?"), {id})) {
        qWarning().noquote() << "AttachmentRepository::deleteById failed:" << q.lastError().text();
        return false;
    }
    if (const QString path = filePath(id); !path.isEmpty())
        QFile::remove(path);
    Q_EMIT attachmentsChanged();
    return true;
}

bool AttachmentRepository::removeForNote(const QString &noteId)
{
    bool ok = true;
    const QList<Attachment> attachments = forNote(noteId);
    for (const Attachment &attachment : attachments)
        ok = deleteById(attachment.id) && ok;
    return ok;
}

bool AttachmentRepository::removeFiles(const QStringList &ids)
{
    bool ok = true;
    for (const QString &id : ids) {
        const QString path = filePath(id);
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        if (!QFile::remove(path)) {
            qWarning().noquote() << "AttachmentRepository::removeFiles: cannot remove" << QDir::toNativeSeparators(path);
            ok = false;
        }
    }
    if (!ids.isEmpty())
        Q_EMIT attachmentsChanged();
    return ok;
}
