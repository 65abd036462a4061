#pragma once

// Helpers shared by the Markdown and HTML converters.

#include "document/delta.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <utility>

namespace DocumentConvert {

// An inline attribute written as text before and after the run it marks.
struct InlineMark
{
    QLatin1String key;
    QLatin1String open;
    QLatin1String close;
};

// Wraps text in every mark whose attribute is true; the first mark is the
// innermost.
QString wrapInlineMarks(const QString &text, const QJsonObject &attributes, std::initializer_list<InlineMark> marks);

// The table object carried as JSON text by a "table" embed.
struct TableEmbed
{
    QJsonArray rows;
    bool hasHeader = true;
    // Length of the longest row.
    qsizetype columnCount = 0;
};

// Nothing when the value is not the JSON text of an object or has no rows.
std::optional<TableEmbed> parseTableEmbed(const QJsonValue &embedValue);

// The non-empty text inserts of a cell given as Delta operations.
QList<DeltaOp> cellTextOps(const QJsonArray &cell);

// Tables with more cells are kept as text: beyond this, loading and saving
// a table in the editor takes longer than a keystroke may.
constexpr qint64 maxTableCells = 10000;

// Rows times the longest row: the cells an editor table for it would hold.
qint64 tableCellCount(const TableEmbed &table);

// "Table of 3 × 4 cells, kept as text", the line above a table that was too
// large to become a table.
QString oversizedTableNotice(qint64 rows, qint64 columns);

// A table as lines of text: the notice in italics, then one line per row
// holding the text of its cells, tab-separated, with their inline marks.
// Empty cells and rows are left out, so the text is never larger than the
// table's own.
QList<DeltaOp> tableAsTextOps(const TableEmbed &table);

// Qt needs about a second to hold 250,000 lines in one document, and a
// paste or an import reads its text twice, so a text is read line by line
// only up to this many lines. What follows stays, as plain paragraphs of
// linesPerJoinedParagraph lines each, parted by line separators: the same
// lines on screen, a fraction of the blocks.
constexpr qsizetype maxReadLines = 20000;
constexpr qsizetype linesPerJoinedParagraph = 64;

// The text's first maxReadLines lines, and the lines after them (none for a
// shorter text).
std::pair<QString, QStringList> splitAtLineBudget(const QString &text);

// "Lines after 20,000 are kept as plain text", the line above the rest of
// a text read beyond maxReadLines.
QString longTextNotice();

// The notice in italics, then the lines joined linesPerJoinedParagraph to a
// paragraph. Their text is kept as it came, markup included.
QJsonArray joinedLinesOps(const QStringList &lines);

inline const QString &dividerKey()
{
    static const QString key = QStringLiteral("divider");
    return key;
}

inline const QString &tableKey()
{
    static const QString key = QStringLiteral("table");
    return key;
}

} // namespace DocumentConvert
