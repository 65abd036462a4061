#pragma once

#include <QJsonArray>
#include <QString>

// Markdown for a Delta JSON text; ends with exactly one newline, or is empty.
QString deltaToMarkdown(const QString &deltaJson);

// Full Markdown (GitHub dialect) to Delta operations, read through HTML.
QJsonArray markdownToDelta(const QString &markdown);

// A small line-based reader: headings 1 to 3, lists, checklists, quotes and
// bold or italic marks.
QJsonArray simpleMarkdownToDelta(const QString &markdown);
