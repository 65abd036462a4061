#include "export.h"

#include "document/delta.h"
#include "document/html.h"
#include "document/markdown.h"
#include "document/textformats.h"
#include "features/ziparchive.h"
#include "storage/attachmentrepository.h"
#include "storage/note.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

constexpr qsizetype MaxFileNameLength = 50;
// Pictures in a PDF are shown at most this wide (in CSS pixels; the text
// column of an A4 page is about 640), and stored at twice that.
constexpr int PdfPictureWidth = 600;
constexpr int PdfPictureStoredWidth = 2 * PdfPictureWidth;

const QString &attachmentEmbedKey()
{
    static const QString key = QStringLiteral("lumora-notes-attachment");
    return key;
}

ExportResult failure(const QString &reason)
{
    return ExportResult { false, QString(), QStringLiteral("Failed to write file: %1").arg(reason) };
}

ExportResult success(const QString &path)
{
    return ExportResult { true, path, QString() };
}

// Characters no file name may hold on Windows, control characters included.
QString withoutForbiddenCharacters(QString name)
{
    static const QRegularExpression forbidden(QStringLiteral("[<>:\"/\\\\|?*\\x{0}-\\x{1f}]"));
    return name.remove(forbidden).trimmed();
}

// The first count characters, without splitting a surrogate pair.
QString leftWhole(const QString &text, qsizetype count)
{
    if (text.size() <= count)
        return text;
    if (count > 0 && text.at(count - 1).isHighSurrogate())
        --count;
    return text.left(count);
}

QString percentEncoded(const QString &segment)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(segment));
}

// The Delta JSON of a body: a Delta array as it is, a legacy plain-text body
// as lines of text, so that every format reads the same way.
QString deltaBody(const QString &body)
{
    if (body.isEmpty())
        return QString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error == QJsonParseError::NoError && document.isArray())
        return body;
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    DeltaWriter writer;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        writer.insertText(line);
        writer.insertNewline();
    }
    return deltaOpsToCompactJson(writer.takeOps());
}

// The attachment an embed refers to; empty for every other embed.
QString attachmentIdOf(const QJsonObject &embed)
{
    const QString key = deltaEmbedKey(embed);
    const QString value = embed.value(key).toString();
    const bool reference = value.startsWith(attachmentUrlPrefix());
    if (key == attachmentEmbedKey())
        return reference ? value.mid(attachmentUrlPrefix().size()) : value;
    if (key == QLatin1String("image") && reference)
        return value.mid(attachmentUrlPrefix().size());
    return QString();
}

// The address of an image embed that is not an attachment.
QString externalImageOf(const QJsonObject &embed)
{
    const QString key = deltaEmbedKey(embed);
    const QString value = embed.value(key).toString();
    return key == QLatin1String("image") && !value.startsWith(attachmentUrlPrefix()) ? value : QString();
}

QString textFor(const QString &delta, ExportFormat format, const InlineEmbedWriter &embeds = {})
{
    if (delta.isEmpty())
        return QString();
    switch (format) {
    case ExportFormat::Markdown:
        return deltaToMarkdown(delta, embeds);
    case ExportFormat::Html:
    case ExportFormat::Pdf:
        return deltaToHtml(delta, embeds);
    case ExportFormat::PlainText:
        break;
    }
    // A line break inside a line (Shift+Enter) is a line break in a text file.
    return deltaToPlainText(delta).replace(QChar::LineSeparator, QLatin1Char('\n'));
}

// One attachment the note refers to, and whether it leaves with the note.
struct NoteAttachment
{
    QString id;
    // The user's name for it.
    QString name;
    QString sourcePath;
    bool picture = false;
    // Its name in the folder beside the note; empty when it stays behind.
    QString folderEntry;
};

// The attachments of a note that can be read, in the order the body names
// them, each once, with unique names for the folder they travel in.
class AttachmentSet
{
public:
    enum class Travelling { None, Pictures, All };

    AttachmentSet(const QString &delta, const ExportAttachmentResolver &resolver, const QString &folderName,
                  Travelling travelling)
        : m_folderName(folderName)
    {
        if (!resolver || delta.isEmpty())
            return;
        QSet<QString> takenNames;
        const QList<DeltaOp> ops = parseDeltaOps(delta);
        for (const DeltaOp &op : ops) {
            if (op.kind != DeltaOpKind::InsertEmbed)
                continue;
            const QString id = attachmentIdOf(op.embed);
            if (id.isEmpty() || m_index.contains(id))
                continue;
            const std::optional<ExportAttachment> found = resolver(id);
            if (!found || !QFileInfo(found->filePath).isReadable())
                continue;
            NoteAttachment attachment;
            attachment.id = id;
            attachment.name = found->fileName.isEmpty() ? QStringLiteral("Attachment") : found->fileName;
            attachment.sourcePath = found->filePath;
            attachment.picture = found->mimeType.startsWith(QLatin1String("image/"));
            if (travelling == Travelling::All || (travelling == Travelling::Pictures && attachment.picture))
                attachment.folderEntry = uniqueEntryName(*found, id, &takenNames);
            m_index.insert(id, m_attachments.size());
            m_attachments.append(attachment);
        }
    }

    const NoteAttachment *find(const QJsonObject &embed) const
    {
        const auto it = m_index.constFind(attachmentIdOf(embed));
        return it == m_index.constEnd() ? nullptr : &m_attachments.at(*it);
    }

    const QList<NoteAttachment> &all() const { return m_attachments; }
    QString folderName() const { return m_folderName; }

    bool hasTravelling() const
    {
        return std::any_of(m_attachments.cbegin(), m_attachments.cend(),
                           [](const NoteAttachment &a) { return !a.folderEntry.isEmpty(); });
    }

    // The relative address of a travelling attachment, from the note file.
    QString link(const NoteAttachment &attachment) const
    {
        return percentEncoded(m_folderName) + QLatin1Char('/') + percentEncoded(attachment.folderEntry);
    }

private:
    static QString uniqueEntryName(const ExportAttachment &attachment, const QString &id, QSet<QString> *taken)
    {
        static const QRegularExpression edgeDots(QStringLiteral("^[.\\s]+|[.\\s]+$"));
        QString name = withoutForbiddenCharacters(attachment.fileName).remove(edgeDots);
        if (name.isEmpty())
            name = id;
        QString suffix = QFileInfo(name).suffix();
        QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
        // Without an extension a picture opens nowhere.
        if (suffix.isEmpty())
            suffix = QMimeDatabase().mimeTypeForName(attachment.mimeType).preferredSuffix();
        const QString dotSuffix = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
        QString candidate = base + dotSuffix;
        // Case-blind: the folder may land on a case-insensitive file system.
        for (int n = 2; taken->contains(candidate.toCaseFolded()); ++n)
            candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(dotSuffix);
        taken->insert(candidate.toCaseFolded());
        return candidate;
    }

    QString m_folderName;
    QList<NoteAttachment> m_attachments;
    QHash<QString, qsizetype> m_index;
};

QString escapedMarkdownLinkText(QString text)
{
    static const QRegularExpression special(QStringLiteral("([\\\\\\[\\]])"));
    return text.replace(special, QStringLiteral("\\\\1"));
}

InlineEmbedWriter markdownEmbeds(const AttachmentSet &attachments)
{
    return [&attachments](const QJsonObject &embed) -> QString {
        const QString external = externalImageOf(embed);
        if (!external.isEmpty())
            return QStringLiteral("![](%1)").arg(QString::fromUtf8(QUrl(external).toEncoded()));
        const NoteAttachment *attachment = attachments.find(embed);
        if (!attachment)
            return QString();
        if (attachment->folderEntry.isEmpty())
            return attachment->name;
        return QStringLiteral("%1[%2](%3)")
            .arg(attachment->picture ? QStringLiteral("!") : QString(), escapedMarkdownLinkText(attachment->name),
                 attachments.link(*attachment));
    };
}

InlineEmbedWriter htmlEmbeds(const AttachmentSet &attachments)
{
    return [&attachments](const QJsonObject &embed) -> QString {
        const QString external = externalImageOf(embed);
        if (!external.isEmpty())
            return QStringLiteral("<img src=\"%1\" alt=\"\">").arg(external.toHtmlEscaped());
        const NoteAttachment *attachment = attachments.find(embed);
        if (!attachment)
            return QString();
        const QString name = attachment->name.toHtmlEscaped();
        if (attachment->folderEntry.isEmpty())
            return name;
        if (attachment->picture) {
            return QStringLiteral("<img src=\"%1\" alt=\"%2\" style=\"max-width:100%\">")
                .arg(attachments.link(*attachment), name);
        }
        return QStringLiteral("<a href=\"%1\">%2</a>").arg(attachments.link(*attachment), name);
    };
}

// The HTML of a file of its own: declares its encoding and carries a title.
QString standaloneHtml(const QString &html, const QString &title)
{
    static const QLatin1String start("<html><body>");
    if (!html.startsWith(start))
        return html;
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head><body>")
               .arg(title.toHtmlEscaped())
        + html.mid(start.size());
}

// A4 pages of the note's HTML; pictures are drawn from their files.
QByteArray pdfBytes(const QString &delta, const AttachmentSet &attachments, const QString &title)
{
    QTextDocument document;
    QHash<QString, QSize> shownSizes;
    for (const NoteAttachment &attachment : attachments.all()) {
        if (!attachment.picture)
            continue;
        QImageReader reader(attachment.sourcePath);
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.width() > PdfPictureStoredWidth)
            image = image.scaledToWidth(PdfPictureStoredWidth, Qt::SmoothTransformation);
        const int width = std::min(image.width(), PdfPictureWidth);
        shownSizes.insert(attachment.id, QSize(width, int(qint64(image.height()) * width / image.width())));
        document.addResource(QTextDocument::ImageResource, QUrl(attachmentUrlPrefix() + attachment.id), image);
    }
    const InlineEmbedWriter embeds = [&](const QJsonObject &embed) -> QString {
        const NoteAttachment *attachment = attachments.find(embed);
        if (!attachment)
            return QString();
        const auto shown = shownSizes.constFind(attachment->id);
        if (shown != shownSizes.constEnd()) {
            return QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\">")
                .arg(attachmentUrlPrefix() + attachment->id)
                .arg(shown->width())
                .arg(shown->height());
        }
        const QString name = attachment->name.toHtmlEscaped();
        if (attachment->folderEntry.isEmpty())
            return name;
        return QStringLiteral("<a href=\"%1\">%2</a>").arg(attachments.link(*attachment), name);
    };
    document.setHtml(textFor(delta, ExportFormat::Pdf, embeds));

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Lumora Notes"));
    document.print(&writer);
    return bytes;
}

QByteArray fileContent(const QString &delta, ExportFormat format, const AttachmentSet &attachments,
                       const QString &title)
{
    switch (format) {
    case ExportFormat::Markdown:
        return textFor(delta, format, markdownEmbeds(attachments)).toUtf8();
    case ExportFormat::Html: {
        const QString html = textFor(delta, format, htmlEmbeds(attachments));
        return standaloneHtml(html, title).toUtf8();
    }
    case ExportFormat::Pdf:
        return pdfBytes(delta, attachments, title);
    case ExportFormat::PlainText:
        break;
    }
    return textFor(delta, format).toUtf8();
}

bool copyFile(const QString &from, const QString &to, QString *error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(from, source.errorString());
        return false;
    }
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) != source.size() || !target.commit()) {
        *error = QStringLiteral("%1: %2").arg(to, target.errorString());
        return false;
    }
    return true;
}

// The folder of travelling attachments beside the note file. A folder this
// export created is removed again when a file in it fails.
bool writeAttachmentFolder(const QString &folderPath, const AttachmentSet &attachments, QString *error)
{
    const bool existed = QFileInfo::exists(folderPath);
    if (!QDir().mkpath(folderPath)) {
        *error = QStringLiteral("%1: cannot create the folder").arg(folderPath);
        return false;
    }
    for (const NoteAttachment &attachment : attachments.all()) {
        if (attachment.folderEntry.isEmpty())
            continue;
        if (!copyFile(attachment.sourcePath, QDir(folderPath).filePath(attachment.folderEntry), error)) {
            if (!existed)
                QDir(folderPath).removeRecursively();
            return false;
        }
    }
    return true;
}

ExportResult writeNoteFile(const QString &path, const QByteArray &content, const AttachmentSet &attachments)
{
    // The note file appears last, all at once, and only when its pictures did.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    if (file.write(content) != content.size())
        return failure(file.errorString());
    QString error;
    const QString folderPath = QFileInfo(path).dir().filePath(attachments.folderName());
    if (attachments.hasTravelling() && !writeAttachmentFolder(folderPath, attachments, &error)) {
        file.cancelWriting();
        return failure(error);
    }
    if (!file.commit())
        return failure(file.errorString());
    return success(path);
}

ExportResult writeBundle(const QString &bundlePath, const QString &noteFileName, const QByteArray &content,
                         const AttachmentSet &attachments)
{
    ZipWriter zip;
    QString error;
    bool ok = zip.open(bundlePath, &error) && zip.addData(noteFileName, content, &error);
    for (const NoteAttachment &attachment : attachments.all()) {
        if (ok && !attachment.folderEntry.isEmpty())
            ok = zip.addFile(attachments.folderName() + QLatin1Char('/') + attachment.folderEntry,
                             attachment.sourcePath, &error);
    }
    if (!ok || !zip.commit(&error))
        return failure(error);
    return success(bundlePath);
}

} // namespace

ExportAttachmentResolver attachmentResolver(const AttachmentRepository *repository)
{
    if (!repository)
        return {};
    return [repository](const QString &id) -> std::optional<ExportAttachment> {
        const std::optional<Attachment> attachment = repository->byId(id);
        if (!attachment)
            return std::nullopt;
        return ExportAttachment { attachment->filename, attachment->mimeType, repository->filePath(id) };
    };
}

QString exportExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Markdown:
        return QStringLiteral(".md");
    case ExportFormat::Html:
        return QStringLiteral(".html");
    case ExportFormat::Pdf:
        return QStringLiteral(".pdf");
    case ExportFormat::PlainText:
        break;
    }
    return QStringLiteral(".txt");
}

QString renderNote(const QString &body, ExportFormat format)
{
    return textFor(deltaBody(body), format);
}

QString suggestedFileName(const Note &note, ExportFormat format)
{
    QString title = noteTitle(note.body);
    if (title.isEmpty())
        title = QStringLiteral("note-%1").arg(note.id.left(8));
    title = withoutForbiddenCharacters(title);
    if (title.size() > MaxFileNameLength)
        title = leftWhole(title, MaxFileNameLength).trimmed();
    if (title.isEmpty())
        title = QStringLiteral("note");
    return title + exportExtension(format);
}

QString exportBundlePath(const QString &path)
{
    if (path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        return path;
    for (ExportFormat format : { ExportFormat::Markdown, ExportFormat::Html, ExportFormat::Pdf, ExportFormat::PlainText }) {
        if (path.endsWith(exportExtension(format), Qt::CaseInsensitive))
            return path.left(path.size() - exportExtension(format).size()) + QStringLiteral(".zip");
    }
    return path + QStringLiteral(".zip");
}

ExportResult exportNote(const Note &note, const QString &path, ExportFormat format, bool includeAttachments,
                        const ExportAttachmentResolver &attachments)
{
    const QString delta = deltaBody(note.body);
    const QString title = noteTitle(note.body);
    if (includeAttachments) {
        const QString bundlePath = exportBundlePath(path);
        // Names inside the archive must suit every system it is unpacked on.
        QString base = withoutForbiddenCharacters(QFileInfo(bundlePath).completeBaseName());
        if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
            base = QStringLiteral("note");
        const AttachmentSet set(delta, attachments, base + QStringLiteral("_files"), AttachmentSet::Travelling::All);
        return writeBundle(bundlePath, base + exportExtension(format), fileContent(delta, format, set, title), set);
    }
    const bool picturesTravel = format == ExportFormat::Markdown || format == ExportFormat::Html;
    const AttachmentSet set(delta, attachments, QFileInfo(path).completeBaseName() + QStringLiteral("_files"),
                            picturesTravel ? AttachmentSet::Travelling::Pictures : AttachmentSet::Travelling::None);
    return writeNoteFile(path, fileContent(delta, format, set, title), set);
}
