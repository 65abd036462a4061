#pragma once

#include "document/delta.h"

#include <QJsonArray>
#include <QString>

// Markdown for a Delta JSON text; ends with exactly one newline, or is empty.
// Attachments and images are written by embedMarkdown, when given.
QString deltaToMarkdown(const QString &deltaJson, const InlineEmbedWriter &embedMarkdown = {});

// Full Markdown (GitHub dialect) to Delta operations, read through HTML.
// Pictures without alt text are kept.
QJsonArray markdownToDelta(const QString &markdown);

// The text cut at blank lines outside code fences, each piece holding about
// tablesPerChunk tables; one piece when it has fewer. The pieces joined with
// "\n" give the text back.
QList<QString> splitMarkdownAtTables(const QString &markdown, int tablesPerChunk);

// A small line-based reader: headings 1 to 3, lists, checklists, quotes and
// bold or italic marks.
QJsonArray simpleMarkdownToDelta(const QString &markdown);
