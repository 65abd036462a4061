#pragma once

#include <QString>

#include <functional>
#include <optional>

struct Note;

enum class ExportFormat { Markdown = 0, Html = 1, Pdf = 2, PlainText = 3 };

struct ExportResult
{
    bool success = false;
    // The file written: the note file, or the ZIP bundle holding it.
    QString path;
    QString error;
};

// An attachment of the exported note, as the attachment store knows it.
struct ExportAttachment
{
    QString fileName;
    QString mimeType;
    // Where its bytes are.
    QString filePath;
};

// The attachment of that id; nothing when it is unknown.
using ExportAttachmentResolver = std::function<std::optional<ExportAttachment>(const QString &attachmentId)>;

// ".md", ".html", ".pdf", ".txt"
QString exportExtension(ExportFormat format);

// The note body as text of that format (HTML for Pdf), for the clipboard.
// An empty body gives empty text; a legacy plain-text body is read as lines
// of text. Attachments are left out.
QString renderNote(const QString &body, ExportFormat format);

// The note's title made safe as a file name (at most 50 characters), plus
// the format's extension.
QString suggestedFileName(const Note &note, ExportFormat format);

// Where a bundle is written for the path a user chose: that path when it
// ends in ".zip", otherwise the path with ".zip" in place of the format's
// extension.
QString exportBundlePath(const QString &path);

// Writes the note to path. Pictures travel with Markdown and HTML in a folder
// "<name>_files" beside the file, which the text links to; a PDF holds them.
// With includeAttachments the note file and a folder of all its attachments
// are written as one ZIP archive instead (see exportBundlePath). Nothing is
// left half-written when a write fails.
ExportResult exportNote(const Note &note, const QString &path, ExportFormat format, bool includeAttachments,
                        const ExportAttachmentResolver &attachments = {});
