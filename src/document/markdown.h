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

// The text cut outside code fences: at blank lines, each piece holding about
// tablesPerChunk tables, and before an item at the left margin once the list
// above has itemsPerChunk items in this piece. One piece when nothing is cut.
// The pieces joined with "\n" give the text back.
QList<QString> splitMarkdown(const QString &markdown, int tablesPerChunk, int itemsPerChunk);

// Each line of a plain text a line without attributes, up to the line budget
// of the other readers; never empty.
QJsonArray plainTextToDelta(const QString &text);

// A small line-based reader: headings 1 to 3, lists, checklists, quotes and
// bold or italic marks.
QJsonArray simpleMarkdownToDelta(const QString &markdown);
