#include "jeximport.h"

#include "importbatch.h"
#include "tarreader.h"
#include "ziparchive.h"

#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace {

const QString kAttachmentUrl = QStringLiteral("lumora-notes://attachment/");
constexpr qint64 MaxItemBytes = 64 * 1024 * 1024;

QDateTime parseJexTime(const QString &value)
{
    if (value.isEmpty())
        return {};
    QDateTime time = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(value, Qt::ISODate);
    if (!time.isValid()) {
        bool ok = false;
        const qint64 ms = value.toLongLong(&ok);
        if (ok && ms >= 1)
            time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    if (time.isValid() && time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    return time.isValid() ? time.toUTC() : QDateTime();
}

bool isHexId(QStringView text)
{
    if (text.size() != 32)
        return false;
    for (QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
              || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return true;
}

QString firstLine(const QString &text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.left(newline);
}

QString afterFirstLine(const QString &text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? QString() : text.mid(newline + 1);
}

struct ResourceFile
{
    TarReader::Entry entry;
    QString fileName;
};

} // namespace

JexItem parseJexItem(const QString &text)
{
    JexItem item;
    qsizetype metaStart = text.lastIndexOf(QLatin1String("\n\nid: "));
    if (metaStart >= 0)
        metaStart += 2;
    else if (text.startsWith(QLatin1String("id: ")))
        metaStart = 0;

    QHash<QString, QString> meta;
    if (metaStart >= 0) {
        static const QRegularExpression line(QStringLiteral("^(\\w+):[ \\t]?(.*)$"));
        const QStringList lines = text.mid(metaStart).split(QLatin1Char('\n'));
        for (const QString &raw : lines) {
            const QRegularExpressionMatch match = line.match(raw.endsWith(QLatin1Char('\r')) ? raw.chopped(1) : raw);
            if (match.hasMatch())
                meta.insert(match.captured(1), match.captured(2));
        }
    }
    const QString head = metaStart >= 0 ? text.left(metaStart) : text;
    if (metaStart == 0) {
        item.body = QString();
    } else {
        item.title = firstLine(head).trimmed();
        item.body = afterFirstLine(head).trimmed();
    }
    if (meta.contains(QStringLiteral("title")))
        item.title = meta.value(QStringLiteral("title")).replace(QLatin1String("\\n"), QLatin1String(" ")).trimmed();

    item.id = meta.value(QStringLiteral("id")).trimmed();
    item.parentId = meta.value(QStringLiteral("parent_id")).trimmed();
    item.type = meta.value(QStringLiteral("type_")).trimmed().toInt();
    item.isHtml = meta.value(QStringLiteral("markup_language")).trimmed() == QLatin1String("2");
    item.encrypted = meta.value(QStringLiteral("encryption_applied")).trimmed() == QLatin1String("1");
    item.createdTime = parseJexTime(meta.value(QStringLiteral("created_time")).trimmed());
    item.updatedTime = parseJexTime(meta.value(QStringLiteral("updated_time")).trimmed());
    const qint64 deleted = meta.value(QStringLiteral("deleted_time")).trimmed().toLongLong();
    if (deleted > 0)
        item.deletedTime = QDateTime::fromMSecsSinceEpoch(deleted, Qt::UTC);
    item.mime = meta.value(QStringLiteral("mime")).trimmed();
    item.fileExtension = meta.value(QStringLiteral("file_extension")).trimmed();
    return item;
}

QString removeRepeatedTitle(const QString &title, const QString &body)
{
    const QString trimmedTitle = title.trimmed();
    QString result = body;
    if (!trimmedTitle.isEmpty() && firstLine(result).trimmed() == trimmedTitle)
        result = afterFirstLine(result).trimmed();
    const QString line = firstLine(result);
    if (!trimmedTitle.isEmpty() && line.startsWith(QLatin1String("# "))) {
        const QString heading = line.mid(2).trimmed();
        if (heading == trimmedTitle || heading.startsWith(trimmedTitle + QLatin1Char(' '))
            || heading.startsWith(trimmedTitle + QStringLiteral(" \u2013")) || heading.startsWith(trimmedTitle + QLatin1String(" -")))
            result = afterFirstLine(result).trimmed();
    }
    return result;
}

ImportResult importJex(const QString &path, Database *database, const ImportProgress &progress)
{
    ImportResult result;
    const auto report = [&](int current, int total, const QString &label) {
        if (progress && !progress(current, total, label)) {
            result.cancelled = true;
            return false;
        }
        return true;
    };
    const auto cancelled = [&result] { return cancelledImport(result); };
    if (!report(0, 0, QStringLiteral("Reading archive...")))
        return cancelled();

    TarReader tar;
    QString error;
    if (!tar.open(path, &error)) {
        result.errors = 1;
        result.errorMessage = QStringLiteral("Failed to read archive or archive is empty: %1").arg(error);
        return result;
    }

    QList<JexItem> notes;
    QMap<QString, JexItem> folders; // by id, so notebooks come in id order
    QHash<QString, JexItem> resources;
    QHash<QString, ResourceFile> resourceFiles;
    for (const TarReader::Entry &entry : tar.entries()) {
        if (!isSafeArchiveEntryName(entry.name)) {
            result.fail(entry.name, QStringLiteral("unsafe entry name; the entry was not read"));
            continue;
        }
        if (entry.name.startsWith(QLatin1String("resources/"))) {
            const QString fileName = entry.name.mid(10);
            const QString id = fileName.section(QLatin1Char('.'), 0, 0);
            // resources/<id> and resources/<id>.<ext>: the first one wins.
            if (isHexId(id) && !resourceFiles.contains(id.toLower()))
                resourceFiles.insert(id.toLower(), {entry, fileName});
            continue;
        }
        if (!entry.name.endsWith(QLatin1String(".md")) || !isHexId(QStringView(entry.name).chopped(3)))
            continue;
        QByteArray bytes;
        if (!tar.read(entry, MaxItemBytes, &bytes, &error)) {
            result.fail(entry.name, error);
            continue;
        }
        JexItem item = parseJexItem(QString::fromUtf8(bytes));
        if (item.id.isEmpty())
            item.id = entry.name.chopped(3);
        const QString label = item.title.isEmpty() ? entry.name : item.title;
        if (item.encrypted && (item.type == 1 || item.type == 2 || item.type == 4)) {
            result.skip(label, QStringLiteral("encrypted in the source; it cannot be read without its key"));
            continue;
        }
        switch (item.type) {
        case 1:
            item.body = removeRepeatedTitle(item.title, item.body);
            notes.append(item);
            break;
        case 2:
            folders.insert(item.id, item);
            break;
        case 4:
            resources.insert(item.id.toLower(), item);
            break;
        case 6:
            break; // a note-tag link has nothing of its own to show
        case 5:
            result.skip(label, QStringLiteral("tags are not imported"));
            break;
        default:
            if (!item.title.isEmpty() || !item.body.isEmpty())
                result.skip(label, QStringLiteral("items of type %1 are not supported").arg(item.type));
            break;
        }
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportBatch batch(database);
    QHash<QString, QString> notebookIds;
    for (const JexItem &folder : std::as_const(folders)) {
        const QDateTime created = folder.createdTime.isValid() ? folder.createdTime : now;
        const QString name = folder.title.isEmpty() ? QStringLiteral("Imported Folder") : folder.title;
        notebookIds.insert(folder.id,
                           batch.addNotebook(name, created, folder.updatedTime.isValid() ? folder.updatedTime : created));
    }

    const int total = int(notes.size());
    if (!report(0, total, QStringLiteral("Importing %1 notes...").arg(total)))
        return cancelled();
    static const QRegularExpression linkPattern(QStringLiteral(":/([0-9a-fA-F]{32})"));
    static const QRegularExpression fileLinkPattern(QStringLiteral("(?<!!)\\[([^\\]\\n]*)\\]\\(") + kAttachmentUrl);
    QList<NoteSource> sources;
    sources.reserve(total);
    for (int i = 0; i < total; ++i) {
        const JexItem &note = notes.at(i);
        const QString label = note.title.isEmpty() ? QStringLiteral("(untitled)") : note.title;
        if (!report(i + 1, total, QStringLiteral("Reading: %1").arg(label)))
            return cancelled();
        const QString noteId = batch.newNoteId();
        // Taken, not copied: the text lives on in the source only.
        QString body = std::move(notes[i].body);

        QStringList linked;
        for (auto it = linkPattern.globalMatch(body); it.hasNext();) {
            const QString id = it.next().captured(1).toLower();
            if (!linked.contains(id))
                linked.append(id);
        }
        for (const QString &resourceId : std::as_const(linked)) {
            const auto file = resourceFiles.constFind(resourceId);
            if (file == resourceFiles.constEnd()) {
                if (resources.contains(resourceId))
                    result.fail(label, QStringLiteral("the file of resource %1 is not in the archive").arg(resourceId));
                continue; // otherwise a link to another note
            }
            QByteArray bytes;
            if (!tar.read(file->entry, AttachmentRepository::MaxFileBytes, &bytes, &error)) {
                result.fail(label, error);
                continue;
            }
            const JexItem resource = resources.value(resourceId);
            const QString extension = resource.fileExtension.isEmpty()
                ? file->fileName.section(QLatin1Char('.'), 1)
                : resource.fileExtension;
            QString fileName = resource.title;
            if (fileName.isEmpty())
                fileName = extension.isEmpty() ? resourceId : resourceId + QLatin1Char('.') + extension;
            const QString attachmentId =
                batch.addAttachment(noteId, fileName, importMimeType(bytes, fileName, resource.mime), bytes, &error);
            if (attachmentId.isEmpty()) {
                result.fail(label, error);
                continue;
            }
            body.replace(QStringLiteral(":/") + resourceId, kAttachmentUrl + attachmentId, Qt::CaseInsensitive);
        }

        NoteSource source;
        source.label = label;
        source.isHtml = note.isHtml;
        if (note.isHtml) {
            source.text = note.title.isEmpty()
                ? body
                : QStringLiteral("<h1>%1</h1>\n%2").arg(note.title.toHtmlEscaped(), body);
        } else {
            // A file that is not a picture is linked as [name](:/id) in Joplin;
            // as an embed it shows as the attachment's card.
            body.replace(fileLinkPattern, QStringLiteral("![\\1](") + kAttachmentUrl);
            source.text = note.title.isEmpty() ? body : QStringLiteral("# %1\n\n%2").arg(note.title, body);
        }
        Note &record = source.note;
        record.id = noteId;
        record.notebookId = notebookIds.value(note.parentId);
        record.createdAt = note.createdTime.isValid() ? note.createdTime : now;
        record.updatedAt = note.updatedTime.isValid() ? note.updatedTime : record.createdAt;
        record.modifiedAt = record.updatedAt;
        if (note.deletedTime.isValid())
            record.deletedAt = note.deletedTime;
        sources.append(source);
    }
    return finishImport(sources, batch, result, progress);
}
