#pragma once

#include "document/delta.h"

#include <QJsonArray>
#include <QString>

class QTextDocument;

// A small, self-contained HTML document for a Delta JSON text. Attachments
// and images are written by embedHtml, when given.
QString deltaToHtml(const QString &deltaJson, const InlineEmbedWriter &embedHtml = {});

// Any HTML to Delta operations; never empty (at least one empty line).
QJsonArray htmlToDelta(const QString &html);

enum class DocumentReader { Html, Markdown };

// The Delta operations of a document read by Qt's HTML or Markdown reader
// (what each leaves behind differs a little); never empty. Links and
// pictures that would run script are left out, as the HTML cleaning does:
// Markdown may carry raw HTML that nothing cleaned.
QJsonArray textDocumentToDelta(const QTextDocument &document, DocumentReader reader);

// The HTML without script, style, navigation, header, footer, aside, iframe
// and noscript elements and their contents, without event handler attributes
// and script URLs. An opening tag without its end tag goes alone; a '<' that
// starts no tag is escaped. Linear in the length of the text.
QString stripUnsafeHtml(const QString &html);
