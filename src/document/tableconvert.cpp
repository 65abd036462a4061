#include "tableconvert.h"

#include "convertcommon.h"
#include "delta.h"
#include "textformats.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace {

constexpr QChar kObjectReplacement(0xFFFC);

void setBlockMark(const QTextBlock &block, bool marked)
{
    if (!block.isValid() || block.blockFormat().boolProperty(TableInsertMarkProperty) == marked)
        return;
    QTextBlockFormat format = block.blockFormat();
    if (marked)
        format.setProperty(TableInsertMarkProperty, true);
    else
        format.clearProperty(TableInsertMarkProperty);
    QTextCursor(block).setBlockFormat(format);
}

void markAsSpacerUnlessMarked(const QTextBlock &block)
{
    if (block.isValid() && !block.blockFormat().boolProperty(TableInsertMarkProperty))
        makeTableSpacer(block);
}

QJsonArray cellOperations(const QTextDocument *document, const QTextTableCell &cell)
{
    // Blocks found by position: a cursor made outside an edit block lays the
    // document out up to its block, which made reading a table quadratic.
    DeltaWriter writer;
    QTextBlock block = document->findBlock(cell.firstPosition());
    const QTextBlock last = document->findBlock(cell.lastPosition());
    while (block.isValid()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QString text = fragment.text();
            text.remove(kObjectReplacement);
            if (!text.isEmpty())
                writer.insertText(text, inlineAttributesFromCharFormat(fragment.charFormat()));
        }
        if (block == last)
            break;
        writer.insertNewline();
        block = block.next();
    }
    return deltaOpsToJsonArray(writer.takeOps());
}

void insertCellText(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
{
    qsizetype start = 0;
    while (true) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype end = newline < 0 ? text.size() : newline;
        if (end > start)
            cursor.insertText(text.mid(start, end - start), format);
        if (newline < 0)
            return;
        cursor.insertBlock(cursor.blockFormat(), cursor.blockCharFormat());
        start = newline + 1;
    }
}

void fillCell(QTextTableCell cell, const QJsonValue &content)
{
    QTextCursor cursor = cell.firstCursorPosition();
    const QTextCharFormat cellFormat = cursor.blockCharFormat();
    if (content.isString()) {
        cursor.insertText(content.toString(), cellFormat);
        return;
    }
    if (!content.isArray())
        return;
    const QList<DeltaOp> ops = parseDeltaOps(content.toArray());
    for (const DeltaOp &op : ops) {
        if (op.kind != DeltaOpKind::InsertText)
            continue;
        QTextCharFormat format = cellFormat;
        format.merge(charFormatFromAttributes(op.attributes));
        insertCellText(cursor, op.text, format);
    }
}

} // namespace

QJsonObject tableObjectFromTextTable(const QTextTable *table)
{
    QJsonArray rows;
    if (table) {
        for (int row = 0; row < table->rows(); ++row) {
            QJsonArray cells;
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                const bool origin = cell.isValid() && cell.row() == row && cell.column() == column;
                cells.append(origin ? cellOperations(table->document(), cell) : QJsonArray());
            }
            rows.append(cells);
        }
    }
    QJsonObject object;
    object.insert(QStringLiteral("cells"), rows);
    object.insert(QStringLiteral("hasHeader"), table && table->format().headerRowCount() >= 1);
    return object;
}

QTextTableFormat noteTableFormat(const QPalette &palette, bool hasHeader)
{
    const QColor base = palette.color(QPalette::Base);
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(base.lightness() >= 128 ? base.darker(150) : base.lighter(220));
    format.setBorderCollapse(true);
    format.setCellPadding(6);
    format.setCellSpacing(0);
    format.setHeaderRowCount(hasHeader ? 1 : 0);
    return format;
}

void makeTableSpacer(const QTextBlock &block)
{
    QTextBlockFormat format = blockFormatFromAttributes(QJsonObject());
    format.setProperty(TableSpacerProperty, true);
    QTextCursor cursor(block);
    cursor.setBlockFormat(format);
    cursor.setBlockCharFormat(baseCharFormatForBlock(format));
}

QTextTable *insertNoteTable(QTextCursor &cursor, int rows, int columns, bool hasHeader)
{
    if (rows < 1 || columns < 1)
        return nullptr;
    // Only the cursor's block and its neighbours can end up next to the new
    // table, so marking those is enough to tell which neighbours are new.
    const QTextBlock current = cursor.block();
    setBlockMark(current.previous(), true);
    setBlockMark(current, true);
    setBlockMark(current.next(), true);

    const QPalette palette = QGuiApplication::palette();
    QTextTable *table = cursor.insertTable(rows, columns, noteTableFormat(palette, hasHeader));
    const QTextBlock first = table->cellAt(0, 0).firstCursorPosition().block();
    const QTextBlock last = table->cellAt(rows - 1, columns - 1).lastCursorPosition().block();
    markAsSpacerUnlessMarked(first.previous());
    markAsSpacerUnlessMarked(last.next());

    // A split block may leave a marked copy on either side; three steps
    // reach every block that can carry a mark.
    QTextBlock before = first.previous();
    QTextBlock after = last.next();
    for (int step = 0; step < 3; ++step) {
        setBlockMark(before, false);
        setBlockMark(after, false);
        if (before.isValid())
            before = before.previous();
        if (after.isValid())
            after = after.next();
    }

    if (hasHeader) {
        for (int column = 0; column < columns; ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat cellFormat = cell.format();
            cellFormat.setBackground(palette.color(QPalette::AlternateBase));
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            QTextCharFormat textFormat = cellCursor.blockCharFormat();
            textFormat.setFontWeight(QFont::Bold);
            cellCursor.setBlockCharFormat(textFormat);
        }
    }
    cursor = table->cellAt(0, 0).firstCursorPosition();
    return table;
}

bool insertTableFromJson(QTextCursor &cursor, const QString &json)
{
    const std::optional<DocumentConvert::TableEmbed> parsed = DocumentConvert::parseTableEmbed(json);
    if (!parsed || parsed->columnCount == 0 || DocumentConvert::tableCellCount(*parsed) > DocumentConvert::maxTableCells)
        return false;
    const QJsonArray &rows = parsed->rows;
    QTextTable *table = insertNoteTable(cursor, int(rows.size()), int(parsed->columnCount), parsed->hasHeader);
    if (!table)
        return false;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const QJsonArray cells = rows.at(row).toArray();
        for (qsizetype column = 0; column < cells.size(); ++column)
            fillCell(table->cellAt(int(row), int(column)), cells.at(column));
    }
    cursor.setPosition(table->lastPosition() + 1);
    return true;
}
