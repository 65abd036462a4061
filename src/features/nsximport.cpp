#include "importbatch.h"
#include "ziparchive.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString kAttachmentUrl = QStringLiteral("lumora-notes://attachment/");
constexpr qint64 MaxJsonBytes = 64 * 1024 * 1024;

// Reads one JSON object of the archive; empty with *error set otherwise.
QJsonObject readObject(const ZipReader &zip, const QString &name, QString *error)
{
    if (!isSafeArchiveEntryName(name)) {
        *error = QStringLiteral("unsafe entry name");
        return {};
    }
    QByteArray bytes;
    if (!zip.read(name, MaxJsonBytes, &bytes, error))
        return {};
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (!document.isObject()) {
        *error = parseError.error == QJsonParseError::NoError ? QStringLiteral("not a JSON object")
                                                              : QStringLiteral("malformed JSON: %1").arg(parseError.errorString());
        return {};
    }
    return document.object();
}

QDateTime epochField(const QJsonObject &object, const QString &key, const QDateTime &fallback)
{
    // Beyond qint64 the conversion is undefined; such a number is no time anyway.
    const double value = object.value(key).toDouble();
    if (!(value > -9.0e18 && value < 9.0e18))
        return fallback;
    return importTimeFromEpoch(qint64(value), fallback);
}

} // namespace

ImportResult importNsx(const QString &path, Database *database, const ImportProgress &progress)
{
    ImportResult result;
    const auto report = [&](int current, int total, const QString &label) {
        return !progress || progress(current, total, label);
    };
    const auto cancelled = [&result] { return cancelledImport(result); };
    const auto failed = [&result](const QString &message) {
        result.errors = 1;
        result.errorMessage = message;
        return result;
    };
    if (!report(0, 0, QStringLiteral("Extracting archive...")))
        return cancelled();

    ZipReader zip;
    QString error;
    if (!zip.open(path, &error))
        return failed(QStringLiteral("Failed to extract archive: %1").arg(error));
    if (!zip.contains(QStringLiteral("config.json")))
        return failed(QStringLiteral("No config.json found in archive"));
    const QJsonObject config = readObject(zip, QStringLiteral("config.json"), &error);
    if (config.isEmpty())
        return failed(QStringLiteral("No config.json found in archive (%1)").arg(error));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportBatch batch(database);
    QHash<QString, QString> notebookIds;
    const QJsonArray notebookList = config.value(QStringLiteral("notebook")).toArray();
    for (const QJsonValue &value : notebookList) {
        const QString sourceId = value.toString();
        const QJsonObject notebook = readObject(zip, sourceId, &error);
        if (notebook.isEmpty()) {
            result.fail(QStringLiteral("notebook %1").arg(sourceId), error);
            continue;
        }
        const QString title = notebook.value(QStringLiteral("title")).toString().trimmed();
        const QDateTime created = epochField(notebook, QStringLiteral("ctime"), now);
        notebookIds.insert(sourceId,
                           batch.addNotebook(title.isEmpty() ? QStringLiteral("Imported Notebook") : title, created,
                                             epochField(notebook, QStringLiteral("mtime"), created)));
    }

    const QJsonArray noteList = config.value(QStringLiteral("note")).toArray();
    const int total = int(noteList.size());
    if (!report(0, total, QStringLiteral("Importing %1 notes...").arg(total)))
        return cancelled();
    QList<NoteSource> sources;
    static const QRegularExpression refImage(QStringLiteral("<img\\b[^>]*\\sref=\"([^\"]*)\"[^>]*>"));
    for (int i = 0; i < total; ++i) {
        const QString sourceId = noteList.at(i).toString();
        if (!zip.contains(sourceId)) {
            if (!report(i + 1, total, QStringLiteral("Reading: %1").arg(sourceId)))
                return cancelled();
            result.skip(QStringLiteral("note %1").arg(sourceId),
                        QStringLiteral("not in the archive (NoteStation leaves encrypted notes out of its exports)"));
            continue;
        }
        const QJsonObject note = readObject(zip, sourceId, &error);
        const QString title = note.value(QStringLiteral("title")).toString().trimmed();
        const QString label = title.isEmpty() ? QStringLiteral("(untitled)") : title;
        if (!report(i + 1, total, QStringLiteral("Reading: %1").arg(label)))
            return cancelled();
        if (note.isEmpty()) {
            result.fail(QStringLiteral("note %1").arg(sourceId), error);
            continue;
        }
        if (note.value(QStringLiteral("encrypt")).toBool()) {
            result.skip(label, QStringLiteral("encrypted in the source; it cannot be read without its password"));
            continue;
        }

        const QString noteId = batch.newNoteId();
        // Two attachments of one note may share their bytes: one file for both.
        QHash<QString, QString> attachmentByMd5;
        QHash<QString, QString> attachmentByRef;
        QStringList notInline;
        const QJsonObject attachments = note.value(QStringLiteral("attachment")).toObject();
        for (auto it = attachments.constBegin(); it != attachments.constEnd(); ++it) {
            const QJsonObject attachment = it.value().toObject();
            const QString md5 = attachment.value(QStringLiteral("md5")).toString();
            const QString ref = attachment.value(QStringLiteral("ref")).toString();
            const QString ext = attachment.value(QStringLiteral("ext")).toString();
            const QString type = attachment.value(QStringLiteral("type")).toString();
            QString name = attachment.value(QStringLiteral("name")).toString().section(QLatin1Char('/'), -1);
            if (name.isEmpty())
                name = QStringLiteral("attachment.%1").arg(ext.isEmpty() ? QStringLiteral("bin") : ext);
            if (md5.isEmpty())
                continue;
            QString attachmentId = attachmentByMd5.value(md5);
            if (attachmentId.isEmpty()) {
                QByteArray bytes;
                const QString entry = QStringLiteral("file_") + md5;
                if (!isSafeArchiveEntryName(entry) || !zip.contains(entry)) {
                    result.fail(label, QStringLiteral("the attachment \"%1\" is not in the archive").arg(name));
                    continue;
                }
                if (!zip.read(entry, AttachmentRepository::MaxFileBytes, &bytes, &error)) {
                    result.fail(label, QStringLiteral("the attachment \"%1\" cannot be read: %2").arg(name, error));
                    continue;
                }
                QString declared = type.contains(QLatin1Char('/')) ? type : QString();
                if (type == QLatin1String("image"))
                    declared = QStringLiteral("image/%1").arg(ext.isEmpty() ? QStringLiteral("png") : ext);
                attachmentId =
                    batch.addAttachment(noteId, name, importMimeType(bytes, name, declared), bytes, &error);
                if (attachmentId.isEmpty()) {
                    result.fail(label, error);
                    continue;
                }
                attachmentByMd5.insert(md5, attachmentId);
                notInline.append(attachmentId);
            }
            if (!ref.isEmpty())
                attachmentByRef.insert(ref, attachmentId);
        }

        // A picture is an <img> whose ref attribute names its attachment; its
        // src is a placeholder. The whole attribute is matched: "href=" is not one.
        QString content = note.value(QStringLiteral("content")).toString();
        QString html;
        qsizetype last = 0;
        for (auto it = refImage.globalMatch(content); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const QString attachmentId = attachmentByRef.value(match.captured(1));
            if (attachmentId.isEmpty())
                continue;
            html += QStringView(content).mid(last, match.capturedStart() - last);
            html += QStringLiteral("<img src=\"%1%2\">").arg(kAttachmentUrl, attachmentId);
            last = match.capturedEnd();
            notInline.removeAll(attachmentId);
        }
        html += QStringView(content).mid(last);
        // Files the text does not show are added at its end, so they can be seen.
        for (const QString &attachmentId : std::as_const(notInline))
            html += QStringLiteral("<p><img src=\"%1%2\"></p>").arg(kAttachmentUrl, attachmentId);
        if (!title.isEmpty())
            html = QStringLiteral("<h1>%1</h1>\n%2").arg(title.toHtmlEscaped(), html);

        const QString parentId = note.value(QStringLiteral("parent_id")).toString();
        NoteSource source;
        source.label = label;
        source.text = html;
        source.isHtml = true;
        Note &record = source.note;
        record.id = noteId;
        record.notebookId = notebookIds.value(parentId);
        record.createdAt = epochField(note, QStringLiteral("ctime"), now);
        record.updatedAt = epochField(note, QStringLiteral("mtime"), record.createdAt);
        record.modifiedAt = record.updatedAt;
        // The trash of NoteStation is a notebook of its own, "<uid>_#00000000".
        if (parentId.endsWith(QLatin1String("_#00000000")))
            record.deletedAt = record.updatedAt;
        sources.append(source);
    }
    return finishImport(sources, batch, result, progress);
}

ImportResult importArchive(ImportFormat format, const QString &path, Database *database, const ImportProgress &progress)
{
    return format == ImportFormat::Joplin ? importJex(path, database, progress) : importNsx(path, database, progress);
}
