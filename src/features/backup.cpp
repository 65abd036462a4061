#include "backup.h"

#include "features/ziparchive.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

const QString kManifest = QStringLiteral("manifest.json");
const QString kNotebooksFolder = QStringLiteral("notebooks/");
const QString kNotesFolder = QStringLiteral("notes/");
const QString kAttachmentsFolder = QStringLiteral("attachments/");
const QString kJsonSuffix = QStringLiteral(".json");

// Bounds for reading a hostile archive: far above any real record.
constexpr qint64 kMaxManifestBytes = qint64(1) * 1024 * 1024;
constexpr qint64 kMaxRecordBytes = qint64(64) * 1024 * 1024;

BackupResult failed(const QString &message)
{
    BackupResult result;
    result.errors = 1;
    result.errorMessage = message;
    return result;
}

QDateTime timestampFrom(const QJsonObject &object, const QString &key)
{
    return fromStoredTimestamp(object.value(key).toString());
}

std::optional<QDateTime> optionalTimestampFrom(const QJsonObject &object, const QString &key)
{
    const QString text = object.value(key).toString();
    if (text.isEmpty())
        return std::nullopt;
    // A deletion without a readable time is still a deletion; an invalid
    // time would be written back as "" and read as not deleted.
    const QDateTime time = fromStoredTimestamp(text);
    return time.isValid() ? time : QDateTime::currentDateTimeUtc();
}

qint32 versionFrom(const QJsonObject &object)
{
    const QJsonValue value = object.value(QLatin1String("version"));
    return value.isDouble() ? qint32(value.toInteger(1)) : 1;
}

// The name between a folder prefix and a suffix, when the entry is a direct
// child of that folder: "notes/<id>.json" gives "<id>".
QString childName(const QString &entry, const QString &folder, const QString &suffix)
{
    if (!entry.startsWith(folder) || !entry.endsWith(suffix))
        return QString();
    const QString name = entry.mid(folder.size(), entry.size() - folder.size() - suffix.size());
    return name.contains(QLatin1Char('/')) ? QString() : name;
}

std::filesystem::path fileSystemPath(const QString &path)
{
#if defined(Q_OS_WIN)
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Moves `from` over `to` in one step, replacing an existing file: QFile's
// rename refuses to replace, and removing the old file first would leave a
// moment without any backup.
bool replaceFile(const QString &from, const QString &to, QString *error)
{
    std::error_code code;
    std::filesystem::rename(fileSystemPath(from), fileSystemPath(to), code);
    if (!code)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(code.message().c_str());
    return false;
}

// Re-reads a freshly written archive: every entry must be there and pass its
// checksum, and the manifest's counts must match the records present.
bool verifyArchive(const QString &path, const QHash<QString, qint64> &expected, int noteCount, int notebookCount,
                   const BackupProgress &progress, qint64 doneBefore, qint64 total, QString *error)
{
    ZipReader reader;
    if (!reader.open(path, error))
        return false;
    if (reader.entries().size() != expected.size()) {
        *error = QStringLiteral("the archive holds %1 entries instead of %2").arg(reader.entries().size()).arg(expected.size());
        return false;
    }
    int notes = 0;
    int notebooks = 0;
    qint64 done = doneBefore;
    QByteArray manifest;
    for (const ZipEntry &entry : reader.entries()) {
        const auto size = expected.constFind(entry.name);
        if (size == expected.constEnd()) {
            *error = QStringLiteral("unexpected entry \"%1\"").arg(entry.name);
            return false;
        }
        if (entry.name == kManifest) {
            if (!reader.read(entry.name, *size, &manifest, error))
                return false;
        } else if (!reader.check(entry.name, *size, error)) {
            return false;
        }
        notes += !childName(entry.name, kNotesFolder, kJsonSuffix).isEmpty();
        notebooks += !childName(entry.name, kNotebooksFolder, kJsonSuffix).isEmpty();
        if (progress && !progress(++done, total)) {
            error->clear();
            return false;
        }
    }
    const QJsonObject counts = QJsonDocument::fromJson(manifest).object();
    if (counts.value(QLatin1String("noteCount")).toInt(-1) != noteCount || notes != noteCount
        || counts.value(QLatin1String("notebookCount")).toInt(-1) != notebookCount || notebooks != notebookCount) {
        *error = QStringLiteral("the manifest's counts do not match the records written");
        return false;
    }
    return true;
}

// Holds a read transaction, so that notes and notebooks are taken at one
// moment even while the window keeps saving through its own connection.
class ReadTransaction
{
public:
    explicit ReadTransaction(const QSqlDatabase &db)
        : m_db(db)
    {
        m_open = QSqlQuery(m_db).exec(QStringLiteral("BEGIN"));
    }
    ~ReadTransaction()
    {
        if (m_open)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

private:
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace

QJsonObject noteToBackupJson(const Note &note)
{
    QJsonObject object{
        {QStringLiteral("id"), note.id},
        {QStringLiteral("notebookId"), note.notebookId},
        {QStringLiteral("body"), note.body},
        {QStringLiteral("createdAt"), toStoredTimestamp(note.createdAt)},
        {QStringLiteral("updatedAt"), toStoredTimestamp(note.updatedAt)},
        {QStringLiteral("modifiedAt"), toStoredTimestamp(note.modifiedAt)},
        {QStringLiteral("version"), note.version},
    };
    if (note.deletedAt)
        object.insert(QStringLiteral("deletedAt"), toStoredTimestamp(*note.deletedAt));
    return object;
}

Note noteFromBackupJson(const QJsonObject &object)
{
    Note note;
    note.id = object.value(QLatin1String("id")).toString();
    note.notebookId = object.value(QLatin1String("notebookId")).toString();
    note.body = object.value(QLatin1String("body")).toString();
    note.createdAt = timestampFrom(object, QStringLiteral("createdAt"));
    note.updatedAt = timestampFrom(object, QStringLiteral("updatedAt"));
    note.modifiedAt = timestampFrom(object, QStringLiteral("modifiedAt"));
    note.deletedAt = optionalTimestampFrom(object, QStringLiteral("deletedAt"));
    note.version = versionFrom(object);
    return note;
}

QJsonObject notebookToBackupJson(const Notebook &notebook)
{
    QJsonObject object{
        {QStringLiteral("id"), notebook.id},
        {QStringLiteral("name"), notebook.name},
        {QStringLiteral("isDefault"), notebook.isDefault},
        {QStringLiteral("isShared"), notebook.isShared},
        {QStringLiteral("ownerId"), notebook.ownerId},
        {QStringLiteral("createdAt"), toStoredTimestamp(notebook.createdAt)},
        {QStringLiteral("updatedAt"), toStoredTimestamp(notebook.updatedAt)},
        {QStringLiteral("version"), notebook.version},
    };
    if (notebook.deletedAt)
        object.insert(QStringLiteral("deletedAt"), toStoredTimestamp(*notebook.deletedAt));
    return object;
}

Notebook notebookFromBackupJson(const QJsonObject &object)
{
    Notebook notebook;
    notebook.id = object.value(QLatin1String("id")).toString();
    notebook.name = object.value(QLatin1String("name")).toString();
    notebook.isDefault = object.value(QLatin1String("isDefault")).toBool();
    notebook.isShared = object.value(QLatin1String("isShared")).toBool();
    notebook.ownerId = object.value(QLatin1String("ownerId")).toString();
    notebook.createdAt = timestampFrom(object, QStringLiteral("createdAt"));
    notebook.updatedAt = timestampFrom(object, QStringLiteral("updatedAt"));
    notebook.deletedAt = optionalTimestampFrom(object, QStringLiteral("deletedAt"));
    notebook.version = versionFrom(object);
    return notebook;
}

BackupResult createBackup(const QString &zipPath, Database *database, const BackupProgress &progress)
{
    const QString target = QFileInfo(zipPath).absoluteFilePath();
    const QString folder = QFileInfo(target).absolutePath();
    // The new archive is written beside the target, under a name of its own;
    // it replaces the target only once it has been read back.
    QTemporaryFile partial(folder + QLatin1Char('/') + QFileInfo(target).fileName() + QStringLiteral(".XXXXXX.partial"));
    if (!partial.open())
        return failed(QStringLiteral("Cannot write to the folder %1: %2").arg(QDir::toNativeSeparators(folder), partial.errorString()));
    partial.close();

    NoteRepository notes(database);
    NotebookRepository notebooks(database);
    AttachmentRepository attachments(database);

    QList<Notebook> notebookList;
    QList<Note> noteList;
    {
        ReadTransaction snapshot(database->db());
        notebookList = notebooks.all();
        noteList = notes.all() + notes.trashed();
        // The lists come back empty when a read fails; a backup that
        // silently left notes out would be worse than none.
        const qsizetype stored = notes.countsByNotebook().value(QString()) + notes.trashCount();
        if (stored != noteList.size())
            return failed(QStringLiteral("Cannot read every note: %1 of %2 read").arg(noteList.size()).arg(stored));
    }
    // Only the files the store itself could have named: a restore accepts no
    // other, and anything else in the folder is not an attachment.
    QFileInfoList files;
    const QFileInfoList listed = QDir(attachments.directory()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &file : listed) {
        if (!attachments.filePath(file.fileName()).isEmpty())
            files.append(file);
    }

    // Progress: one step per entry added, per entry compressed, per entry read back.
    const qint64 entryCount = notebookList.size() + noteList.size() + files.size() + 1;
    const qint64 total = 3 * entryCount;
    qint64 done = 0;
    const auto step = [&] { return !progress || progress(++done, total); };
    const QString cancelled = QStringLiteral("Backup cancelled");

    ZipWriter zip;
    QString error;
    if (!zip.open(partial.fileName(), &error))
        return failed(QStringLiteral("Cannot write backup %1: %2").arg(QDir::toNativeSeparators(target), error));
    QHash<QString, qint64> written;
    const auto addJson = [&](const QString &name, const QJsonObject &object) {
        const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Indented);
        if (!zip.addData(name, json, &error))
            return false;
        written.insert(name, json.size());
        return true;
    };

    for (const Notebook &notebook : std::as_const(notebookList)) {
        if (!addJson(kNotebooksFolder + notebook.id + kJsonSuffix, notebookToBackupJson(notebook)))
            return failed(QStringLiteral("Cannot write notebook \"%1\": %2").arg(notebook.name, error));
        if (!step())
            return failed(cancelled);
    }
    for (const Note &note : std::as_const(noteList)) {
        if (!addJson(kNotesFolder + note.id + kJsonSuffix, noteToBackupJson(note)))
            return failed(QStringLiteral("Cannot write note %1: %2").arg(note.id, error));
        if (!step())
            return failed(cancelled);
    }
    for (const QFileInfo &file : files) {
        const QString name = kAttachmentsFolder + file.fileName();
        // Attachments are mostly pictures and PDFs, compressed already.
        if (!zip.addFile(name, file.absoluteFilePath(), &error, ZipWriter::Compression::Store))
            return failed(QStringLiteral("Cannot write attachment %1: %2").arg(file.fileName(), error));
        // The file may change before it is read; the store's limit bounds it.
        written.insert(name, AttachmentRepository::MaxFileBytes);
        if (!step())
            return failed(cancelled);
    }
    const QJsonObject manifest{
        {QStringLiteral("version"), 1},
        {QStringLiteral("exportedAt"), toStoredTimestamp(QDateTime::currentDateTimeUtc())},
        {QStringLiteral("noteCount"), int(noteList.size())},
        {QStringLiteral("notebookCount"), int(notebookList.size())},
    };
    if (!addJson(kManifest, manifest))
        return failed(QStringLiteral("Cannot write the manifest: %1").arg(error));
    step();

    const qint64 beforeCommit = done;
    bool stopped = false;
    const bool committed = zip.commit(&error, [&](double fraction) {
        done = beforeCommit + qint64(fraction * double(entryCount));
        stopped = stopped || (progress && !progress(done, total));
        return !stopped;
    });
    if (!committed)
        return failed(stopped ? cancelled
                              : QStringLiteral("Cannot write backup %1: %2").arg(QDir::toNativeSeparators(target), error));
    if (!verifyArchive(partial.fileName(), written, int(noteList.size()), int(notebookList.size()), progress,
                       beforeCommit + entryCount, total, &error)) {
        if (error.isEmpty())
            return failed(cancelled);
        return failed(QStringLiteral("The backup could not be read back: %1").arg(error));
    }
    if (!replaceFile(partial.fileName(), target, &error))
        return failed(QStringLiteral("Cannot write backup %1: %2").arg(QDir::toNativeSeparators(target), error));
    partial.setAutoRemove(false);

    BackupResult result;
    result.imported = int(noteList.size());
    return result;
}

namespace {

struct ArchiveRecords
{
    QList<Notebook> notebooks;
    QList<Note> notes;
    // Entry name in the archive, file name in the attachments directory.
    QList<QPair<QString, QString>> attachments;
    int errors = 0;
    QString firstError;

    void recordError(const QString &message)
    {
        if (errors++ == 0)
            firstError = message;
    }
};

// Reads every record of the archive before anything is written, so that an
// archive that turns out damaged half-way changes nothing.
bool readArchive(const ZipReader &reader, ArchiveRecords *records, const std::function<bool()> &step, QString *error)
{
    for (const ZipEntry &entry : reader.entries()) {
        if (!isSafeArchiveEntryName(entry.name)) {
            *error = QStringLiteral("Unsafe entry name in archive: \"%1\"").arg(entry.name);
            return false;
        }
    }
    for (const ZipEntry &entry : reader.entries()) {
        if (entry.isFolder)
            continue;
        const bool isNotebook = !childName(entry.name, kNotebooksFolder, kJsonSuffix).isEmpty();
        const bool isNote = !childName(entry.name, kNotesFolder, kJsonSuffix).isEmpty();
        if (isNotebook || isNote) {
            QByteArray bytes;
            if (!reader.read(entry.name, kMaxRecordBytes, &bytes, error))
                return false;
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
            const QJsonObject object = document.object();
            if (!document.isObject() || object.value(QLatin1String("id")).toString().isEmpty()) {
                records->recordError(QStringLiteral("%1 is not a valid record%2")
                                         .arg(entry.name,
                                              parseError.error == QJsonParseError::NoError
                                                  ? QString()
                                                  : QStringLiteral(": ") + parseError.errorString()));
            } else if (isNotebook) {
                records->notebooks.append(notebookFromBackupJson(object));
            } else {
                records->notes.append(noteFromBackupJson(object));
            }
        } else if (entry.name.startsWith(kAttachmentsFolder)) {
            const QString name = entry.name.mid(kAttachmentsFolder.size());
            records->attachments.append({entry.name, name});
        }
        if (!step())
            return false;
    }
    return true;
}

// Decides what a stored record with the same id means under the mode.
template<typename Record>
bool replacesStored(const Record &archived, const Record &stored, RestoreMode mode)
{
    switch (mode) {
    case RestoreMode::Skip:
        return false;
    case RestoreMode::Overwrite:
        return true;
    case RestoreMode::Newer:
        return stored.updatedAt < archived.updatedAt;
    }
    return false;
}

} // namespace

BackupResult restoreBackup(const QString &zipPath, Database *database, RestoreMode mode, const BackupProgress &progress)
{
    ZipReader reader;
    QString error;
    if (!reader.open(zipPath, &error))
        return failed(error);
    QByteArray manifest;
    if (!reader.contains(kManifest) || !reader.read(kManifest, kMaxManifestBytes, &manifest, &error))
        return failed(QStringLiteral("No manifest.json found"));

    // Progress: one step per entry read, per attachment copied, per record written.
    const qint64 entryCount = reader.entries().size();
    qint64 total = 2 * entryCount;
    qint64 done = 0;
    const auto step = [&] { return !progress || progress(++done, total); };
    const QString cancelled = QStringLiteral("Restore cancelled");

    ArchiveRecords records;
    if (!readArchive(reader, &records, step, &error))
        return failed(error.isEmpty() ? cancelled : QStringLiteral("Cannot read backup: %1").arg(error));
    total = done + records.attachments.size() + records.notebooks.size() + records.notes.size();

    NoteRepository notes(database);
    NotebookRepository notebooks(database);
    AttachmentRepository attachments(database);

    // Files first: if the records then fail, the new files are removed again.
    QStringList added;
    const auto undoFiles = [&added] {
        for (const QString &path : std::as_const(added))
            QFile::remove(path);
    };
    for (const auto &[entryName, fileName] : std::as_const(records.attachments)) {
        const QString path = attachments.filePath(fileName);
        if (path.isEmpty()) {
            records.recordError(QStringLiteral("%1 is not a valid attachment name").arg(entryName));
        } else if (!QFileInfo::exists(path)) {
            if (!reader.extractTo(entryName, path, AttachmentRepository::MaxFileBytes, &error)) {
                undoFiles();
                return failed(QStringLiteral("Cannot restore attachment %1: %2").arg(fileName, error));
            }
            added.append(path);
        }
        if (!step()) {
            undoFiles();
            return failed(cancelled);
        }
    }

    // One transaction: a restore that is cancelled, fails or is killed
    // half-way leaves the database as it was. IMMEDIATE takes the write lock
    // now rather than failing on it after the first reads.
    QSqlQuery transaction(database->db());
    if (!transaction.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        undoFiles();
        return failed(QStringLiteral("Cannot write to the database: %1").arg(transaction.lastError().text()));
    }
    const auto abandon = [&](const QString &message) {
        QSqlQuery(database->db()).exec(QStringLiteral("ROLLBACK"));
        undoFiles();
        return failed(message);
    };

    BackupResult result;
    const auto countWrite = [&](bool written, bool replaced, const QString &failure) {
        if (!written)
            records.recordError(failure);
        else if (replaced)
            ++result.imported;
        else
            ++result.skipped;
    };
    for (const Notebook &archived : std::as_const(records.notebooks)) {
        const std::optional<Notebook> stored = notebooks.byId(archived.id);
        bool replaced = false;
        bool written = true;
        if (!stored) {
            written = notebooks.insert(archived);
            replaced = true;
        } else if (replacesStored(archived, *stored, mode)) {
            written = notebooks.update(archived);
            replaced = true;
        }
        countWrite(written, replaced, QStringLiteral("Cannot restore notebook \"%1\"").arg(archived.name));
        if (!step())
            return abandon(cancelled);
    }
    // Notes not stored yet go in as one bulk write; the rest (and a second
    // record of an id) are compared with what is stored, one by one, after.
    QList<QString> ids;
    ids.reserve(records.notes.size());
    for (const Note &archived : std::as_const(records.notes))
        ids.append(archived.id);
    QSet<QString> known = notes.storedIds(ids);
    QList<Note> fresh;
    QList<Note> others;
    for (const Note &archived : std::as_const(records.notes)) {
        if (known.contains(archived.id)) {
            others.append(archived);
        } else {
            known.insert(archived.id);
            fresh.append(archived);
        }
    }
    bool stopped = false;
    QString bulkError;
    const bool inserted = notes.insertMany(fresh, [&](qsizetype i, bool ok) {
        countWrite(ok, true, QStringLiteral("Cannot restore note %1").arg(fresh.at(i).id));
        stopped = !step();
        return !stopped;
    }, &bulkError);
    if (stopped)
        return abandon(cancelled);
    if (!inserted)
        return abandon(QStringLiteral("Cannot restore the notes: %1").arg(bulkError));
    for (const Note &archived : std::as_const(others)) {
        const std::optional<Note> stored = notes.byId(archived.id);
        bool replaced = false;
        bool written = true;
        if (!stored) {
            written = notes.insert(archived);
            replaced = true;
        } else if (replacesStored(archived, *stored, mode)) {
            // What the archive does not carry stays as stored.
            Note merged = archived;
            merged.opVersion = stored->opVersion;
            merged.isSample = stored->isSample;
            merged.ownerId = stored->ownerId;
            merged.isShared = stored->isShared;
            merged.permission = stored->permission;
            written = notes.update(merged);
            replaced = true;
        }
        countWrite(written, replaced, QStringLiteral("Cannot restore note %1").arg(archived.id));
        if (!step())
            return abandon(cancelled);
    }
    if (!QSqlQuery(database->db()).exec(QStringLiteral("COMMIT")))
        return abandon(QStringLiteral("Cannot save the restored notes: %1").arg(database->db().lastError().text()));

    result.errors = records.errors;
    result.errorMessage = records.firstError;
    return result;
}
