#include "importbatch.h"

#include "document/html.h"
#include "document/markdown.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void ImportResult::skip(const QString &item, const QString &reason)
{
    ++skipped;
    skippedItems.append({ item, reason });
}

void ImportResult::fail(const QString &item, const QString &reason)
{
    ++errors;
    failedItems.append({ item, reason });
}

QString ImportResult::reportText() const
{
    QStringList lines;
    if (cancelled)
        lines << QStringLiteral("The import was cancelled; nothing was imported.");
    lines << QStringLiteral("Imported: %1 notes").arg(imported);
    lines << QStringLiteral("Notebooks: %1").arg(notebooks);
    lines << QStringLiteral("Attachments: %1").arg(attachments);
    if (skipped > 0)
        lines << QStringLiteral("Skipped: %1").arg(skipped);
    if (errors > 0)
        lines << QStringLiteral("Errors: %1").arg(errors);
    if (trashed > 0)
        lines << QStringLiteral("In the Trash: %1").arg(trashed);
    if (!errorMessage.isEmpty())
        lines << QString() << errorMessage;
    const QString issues = issuesText();
    if (!issues.isEmpty())
        lines << QString() << issues;
    return lines.join(QLatin1Char('\n'));
}

QString ImportResult::issuesText() const
{
    QStringList lines;
    const auto list = [&lines](const QString &heading, const QList<ImportIssue> &issues) {
        if (issues.isEmpty())
            return;
        if (!lines.isEmpty())
            lines << QString();
        lines << heading;
        for (const ImportIssue &issue : issues)
            lines << QStringLiteral("- %1: %2").arg(issue.item, issue.reason);
    };
    list(QStringLiteral("Skipped items:"), skippedItems);
    list(QStringLiteral("Failed items:"), failedItems);
    return lines.join(QLatin1Char('\n'));
}

namespace {

// How long one transaction of a commit may hold the write lock before it
// commits and lets a waiting save in.
constexpr qint64 kMillisecondsPerTransaction = 40;

QString journalPath(const Database *database)
{
    return database->path() + QStringLiteral(".import-journal");
}

const QLatin1String kStagingPrefix(".importing-");

QJsonArray idArray(const QStringList &ids)
{
    return QJsonArray::fromStringList(ids);
}

QStringList idList(const QJsonValue &value)
{
    QStringList ids;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &id : array) {
        if (id.isString())
            ids.append(id.toString());
    }
    return ids;
}

} // namespace

bool takeBackUnfinishedImport(Database *database, QString *error)
{
    // Files of an import killed before its journal was written.
    const QDir store(attachmentsDirectory());
    const QStringList staged = store.entryList(
        { kStagingPrefix + QLatin1Char('*') }, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : staged)
        QDir(store.filePath(name)).removeRecursively();
    QFile file(journalPath(database));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The unfinished import in %1 could not be read: %2")
                     .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    const QJsonObject journal = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    NoteRepository notes(database);
    NotebookRepository notebooks(database);
    QString purgeError;
    if (!notes.purgeMany(idList(journal.value(QLatin1String("notes"))), &purgeError)
        || !notebooks.removeEmpty(idList(journal.value(QLatin1String("notebooks"))))) {
        *error = QStringLiteral("An unfinished import could not be taken back: %1").arg(purgeError);
        return false;
    }
    const AttachmentRepository attachments(database);
    const QStringList files = idList(journal.value(QLatin1String("files")));
    for (const QString &id : files)
        QFile::remove(attachments.filePath(id));
    qInfo().noquote() << "Took back an unfinished import of" << journal.value(QLatin1String("notes")).toArray().size()
                      << "notes";
    return file.remove() || !file.exists();
}

ImportBatch::ImportBatch(Database *database)
    : m_database(database)
    , m_attachments(database)
{
}

ImportBatch::~ImportBatch()
{
    if (!m_committed)
        discard();
}

QString newImportId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString ImportBatch::addNotebook(const QString &name, const QDateTime &createdAt, const QDateTime &updatedAt)
{
    Notebook notebook;
    notebook.id = newImportId();
    notebook.name = name;
    notebook.createdAt = createdAt;
    notebook.updatedAt = updatedAt;
    m_notebooks.append(notebook);
    return notebook.id;
}

QString ImportBatch::newNoteId()
{
    return newImportId();
}

QString ImportBatch::addAttachment(
    const QString &noteId, const QString &filename, const QString &mimeType, const QByteArray &bytes, QString *error)
{
    Attachment attachment;
    attachment.id = newImportId();
    attachment.noteId = noteId;
    attachment.filename = filename;
    attachment.mimeType = mimeType;
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    // Files wait in a folder of their own until the journal lists them: a
    // kill before that leaves only the folder, which the next start removes.
    if (m_stagingDirectory.isEmpty()) {
        const QString staging = m_attachments.directory() + QLatin1Char('/') + kStagingPrefix + newImportId();
        if (!QDir().mkpath(staging)) {
            *error = QStringLiteral("the folder %1 could not be made").arg(QDir::toNativeSeparators(staging));
            return QString();
        }
        m_stagingDirectory = staging;
    }
    if (!m_attachments.saveFile(attachment.id, bytes, m_stagingDirectory)) {
        *error = QStringLiteral("the file could not be written to %1").arg(m_attachments.directory());
        return QString();
    }
    m_writtenFiles.append(attachment.id);
    m_attachmentRows.append(attachment);
    return attachment.id;
}

void ImportBatch::addNote(const Note &note, const QString &label)
{
    m_notes.append({ note, label });
}

void ImportBatch::discard()
{
    for (const QString &id : std::as_const(m_writtenFiles))
        QFile::remove(m_attachments.filePath(id));
    m_writtenFiles.clear();
    if (!m_stagingDirectory.isEmpty())
        QDir(m_stagingDirectory).removeRecursively();
    m_stagingDirectory.clear();
}

bool ImportBatch::commit(ImportResult *result, const ImportProgress &progress)
{
    QSqlDatabase db = m_database->db();
    NoteRepository notes(m_database);
    NotebookRepository notebooks(m_database);
    // Notes go in a few hundred per transaction, so that a save from the
    // window waits for one of those rather than for the whole archive. What
    // earlier transactions stored is taken back when a later step fails or
    // is cancelled: the archive comes in whole or not at all.
    QStringList storedNoteIds;
    QStringList storedNotebookIds;
    const QString journal = journalPath(m_database);
    const auto rollBack = [&](const QString &message) {
        db.rollback();
        QString undoError;
        if (!notes.purgeMany(storedNoteIds, &undoError) || !notebooks.removeEmpty(storedNotebookIds))
            qWarning().noquote() << "An import could not take back what it had stored:" << undoError;
        else
            QFile::remove(journal);
        discard();
        result->imported = result->notebooks = result->attachments = result->trashed = 0;
        if (!message.isEmpty()) {
            result->errors += 1;
            result->errorMessage = message;
        }
        return false;
    };
    const auto begin = [&] {
        return db.transaction() ? QString()
                                : QStringLiteral("The database cannot be written: %1").arg(db.lastError().text());
    };
    // Written before the first transaction: a kill between two of them
    // leaves it behind, and the next start takes the stored part back.
    {
        QStringList noteIds;
        noteIds.reserve(m_notes.size());
        for (const PendingNote &pending : std::as_const(m_notes))
            noteIds.append(pending.note.id);
        QStringList notebookIds;
        for (const Notebook &notebook : std::as_const(m_notebooks))
            notebookIds.append(notebook.id);
        QSaveFile file(journal);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(QJsonDocument(QJsonObject { { QStringLiteral("notes"), idArray(noteIds) },
                                            { QStringLiteral("notebooks"), idArray(notebookIds) },
                                            { QStringLiteral("files"), idArray(m_writtenFiles) } })
                              .toJson(QJsonDocument::Compact))
                < 0
            || !file.commit())
            return rollBack(QStringLiteral("The import could not be started: %1").arg(file.errorString()));
    }
    if (!m_stagingDirectory.isEmpty()) {
        for (const QString &id : std::as_const(m_writtenFiles)) {
            if (!QFile::rename(m_stagingDirectory + QLatin1Char('/') + id, m_attachments.filePath(id)))
                return rollBack(QStringLiteral("The file %1 could not be moved into %2.")
                                    .arg(id, QDir::toNativeSeparators(m_attachments.directory())));
        }
        QDir().rmdir(m_stagingDirectory);
        m_stagingDirectory.clear();
    }
    if (const QString error = begin(); !error.isEmpty())
        return rollBack(error);

    QStringList notebookIds;
    for (const Notebook &notebook : std::as_const(m_notebooks)) {
        if (!notebooks.insert(notebook))
            return rollBack(QStringLiteral("The notebook \"%1\" could not be stored.").arg(notebook.name));
        notebookIds.append(notebook.id);
        ++result->notebooks;
    }

    QHash<QString, QList<qsizetype>> attachmentsOfNote;
    for (qsizetype i = 0; i < m_attachmentRows.size(); ++i)
        attachmentsOfNote[m_attachmentRows.at(i).noteId].append(i);
    QSet<QString> attachedRows;
    QStringList chunkNoteIds;
    const int total = int(m_notes.size());
    int from = 0;
    do {
        if (from > 0) {
            Database::letWaitingWritersIn();
            if (progress && !progress(from, total, QStringLiteral("Saving notes...")))
                return rollBack(QString());
            if (const QString error = begin(); !error.isEmpty())
                return rollBack(error);
        }
        const int most = std::min(total, from + m_notesPerTransaction);
        QList<Note> chunk;
        chunk.reserve(most - from);
        for (int i = from; i < most; ++i)
            chunk.append(m_notes.at(i).note);
        chunkNoteIds.clear();
        // A transaction also ends once it has held the lock for a while: on a
        // busy machine a few hundred notes can take a second.
        QElapsedTimer held;
        held.start();
        int to = from;
        bool cancelled = false;
        QString error;
        notes.insertMany(
            chunk,
            [&](qsizetype k, bool ok) {
                const PendingNote &pending = m_notes.at(from + int(k));
                if (ok) {
                    chunkNoteIds.append(pending.note.id);
                    ++result->imported;
                    if (pending.note.deletedAt)
                        ++result->trashed;
                } else {
                    result->fail(pending.label, QStringLiteral("the note could not be stored"));
                }
                to = from + int(k) + 1;
                cancelled = progress && to % 64 == 0 && !progress(to, total, QStringLiteral("Saving notes..."));
                return !cancelled && held.elapsed() < kMillisecondsPerTransaction;
            },
            &error);
        if (cancelled)
            return rollBack(QString());
        if (to < most && !error.isEmpty())
            return rollBack(QStringLiteral("The notes could not be stored: %1").arg(error));
        for (const QString &noteId : std::as_const(chunkNoteIds)) {
            for (const qsizetype index : attachmentsOfNote.value(noteId)) {
                if (m_attachments.insert(m_attachmentRows.at(index))) {
                    attachedRows.insert(m_attachmentRows.at(index).id);
                    ++result->attachments;
                }
            }
        }
        if (to == total && progress && !progress(total, total, QStringLiteral("Saving notes...")))
            return rollBack(QString());
        if (!db.commit())
            return rollBack(QStringLiteral("The import could not be saved: %1").arg(db.lastError().text()));
        storedNoteIds += chunkNoteIds;
        storedNotebookIds = notebookIds;
        from = to;
    } while (from < total);
    m_committed = true;
    QFile::remove(journal);
    // Files of notes that could not be stored, or whose row could not be.
    for (const Attachment &attachment : std::as_const(m_attachmentRows)) {
        if (!attachedRows.contains(attachment.id))
            QFile::remove(m_attachments.filePath(attachment.id));
    }
    return true;
}

QString importMimeType(const QByteArray &bytes, const QString &fileName, const QString &declared)
{
    static const QMimeDatabase mimeDatabase;
    const QMimeType byContent = mimeDatabase.mimeTypeForData(bytes);
    // Plain bytes and text say little: the name or the declared type know more.
    if (byContent.isValid() && !byContent.isDefault() && !byContent.inherits(QStringLiteral("text/plain")))
        return byContent.name();
    if (!fileName.isEmpty()) {
        const QMimeType byName = mimeDatabase.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
        if (byName.isValid() && !byName.isDefault())
            return byName.name();
    }
    const QString trimmed = declared.trimmed().toLower();
    if (trimmed.contains(QLatin1Char('/'))) {
        const QMimeType named = mimeDatabase.mimeTypeForName(trimmed);
        return named.isValid() ? named.name() : trimmed;
    }
    if (byContent.isValid() && !byContent.isDefault())
        return byContent.name();
    return QStringLiteral("application/octet-stream");
}

QDateTime importTimeFromEpoch(qint64 value, const QDateTime &fallback)
{
    constexpr qint64 MillisecondsFrom = 100000000000LL; // 10^11 s is the year 5138
    constexpr qint64 Latest = 4102444800LL; // 2100-01-01
    if (value > MillisecondsFrom)
        value /= 1000;
    if (value < 1 || value > Latest)
        return fallback;
    return QDateTime::fromSecsSinceEpoch(value, Qt::UTC);
}

ImportResult cancelledImport(ImportResult result)
{
    result.imported = result.notebooks = result.attachments = 0;
    result.cancelled = true;
    return result;
}

ImportResult finishImport(
    QList<NoteSource> &sources, ImportBatch &batch, ImportResult result, const ImportProgress &progress)
{
    if (!convertNoteBodies(sources, progress))
        return cancelledImport(result);
    for (const NoteSource &source : std::as_const(sources))
        batch.addNote(source.note, source.label);
    if (!batch.commit(&result, progress))
        result.cancelled = result.errorMessage.isEmpty();
    return result;
}

bool convertNoteBodies(QList<NoteSource> &sources, const ImportProgress &progress)
{
    const int total = int(sources.size());
    std::atomic_int next { 0 };
    std::atomic_int done { 0 };
    std::atomic_bool stop { false };
    const auto convert = [&sources](int i) {
        NoteSource &source = sources[i];
        const QJsonArray delta = source.isHtml ? htmlToDelta(source.text) : markdownToDelta(source.text);
        source.note.body = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
        source.text.clear();
    };
    const auto work = [&] {
        for (int i = next++; i < total && !stop; i = next++) {
            convert(i);
            ++done;
        }
    };
    // Small imports are not worth the threads.
    const int helpers = total < 64 ? 0 : qBound(0, QThread::idealThreadCount() - 1, 3);
    std::vector<std::thread> threads;
    for (int k = 0; k < helpers; ++k)
        threads.emplace_back(work);
    for (int i = next++; i < total && !stop; i = next++) {
        convert(i);
        ++done;
        if (progress && !progress(done, total, QStringLiteral("Importing: %1").arg(sources.at(i).label)))
            stop = true;
    }
    for (std::thread &thread : threads)
        thread.join();
    return !stop;
}
