#include "convertcommon.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>

namespace DocumentConvert {

QString wrapInlineMarks(const QString &text, const QJsonObject &attributes, std::initializer_list<InlineMark> marks)
{
    QString result = text;
    for (const InlineMark &mark : marks) {
        if (attributes.value(mark.key).toBool())
            result = mark.open + result + mark.close;
    }
    return result;
}

std::optional<TableEmbed> parseTableEmbed(const QJsonValue &embedValue)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(embedValue.toString().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    TableEmbed table;
    table.rows = object.value(QLatin1String("cells")).toArray();
    if (table.rows.isEmpty())
        return std::nullopt;
    table.hasHeader = object.value(QLatin1String("hasHeader")).toBool(true);
    for (const QJsonValue &row : std::as_const(table.rows))
        table.columnCount = std::max(table.columnCount, row.toArray().size());
    return table;
}

QList<DeltaOp> cellTextOps(const QJsonArray &cell)
{
    QList<DeltaOp> ops = parseDeltaOps(cell);
    ops.removeIf([](const DeltaOp &op) { return op.kind != DeltaOpKind::InsertText || op.text.isEmpty(); });
    return ops;
}

qint64 tableCellCount(const TableEmbed &table)
{
    return qint64(table.rows.size()) * qint64(table.columnCount);
}

QString oversizedTableNotice(qint64 rows, qint64 columns)
{
    return QCoreApplication::translate("DocumentConvert", "Table of %1 × %2 cells, kept as text")
        .arg(rows)
        .arg(columns);
}

QString longTextNotice()
{
    return QCoreApplication::translate("DocumentConvert", "Lines after %L1 are kept as plain text").arg(maxReadLines);
}

std::pair<QString, QStringList> splitAtLineBudget(const QString &text)
{
    if (text.size() <= maxReadLines || text.count(QLatin1Char('\n')) <= maxReadLines)
        return { text, {} };
    qsizetype cut = -1;
    for (qsizetype line = 0; line < maxReadLines; ++line)
        cut = text.indexOf(QLatin1Char('\n'), cut + 1);
    QStringList rest = text.mid(cut + 1).split(QLatin1Char('\n'));
    if (rest.constLast().isEmpty())
        rest.removeLast();
    return { text.left(cut), rest };
}

QJsonArray joinedLinesOps(const QStringList &lines)
{
    if (lines.isEmpty())
        return {};
    QJsonArray ops { deltaInsertOp(longTextNotice(), QJsonObject { { QStringLiteral("italic"), true } }),
        deltaInsertOp(QStringLiteral("\n")) };
    for (qsizetype i = 0; i < lines.size(); i += linesPerJoinedParagraph) {
        QStringList group = lines.mid(i, linesPerJoinedParagraph);
        for (QString &line : group) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
        }
        const QString text = group.join(QChar::LineSeparator);
        if (!text.isEmpty())
            ops.append(deltaInsertOp(text));
        ops.append(deltaInsertOp(QStringLiteral("\n")));
    }
    return ops;
}

QList<DeltaOp> tableAsTextOps(const TableEmbed &table)
{
    DeltaWriter writer;
    writer.insertText(oversizedTableNotice(table.rows.size(), table.columnCount),
        QJsonObject { { QStringLiteral("italic"), true } });
    writer.insertNewline();
    for (const QJsonValue &rowValue : table.rows) {
        const QJsonArray row = rowValue.toArray();
        bool lineHasText = false;
        for (const QJsonValue &cell : row) {
            QList<DeltaOp> ops;
            if (cell.isString()) {
                DeltaOp op;
                op.text = cell.toString();
                ops.append(op);
            } else if (cell.isArray()) {
                ops = cellTextOps(cell.toArray());
            }
            bool cellStarted = false;
            for (DeltaOp &op : ops) {
                op.text.replace(QLatin1Char('\n'), QLatin1Char(' '));
                if (op.text.trimmed().isEmpty() && !cellStarted)
                    continue;
                if (lineHasText && !cellStarted)
                    writer.insertText(QStringLiteral("\t"));
                writer.insertText(op.text, op.attributes);
                cellStarted = lineHasText = true;
            }
        }
        if (lineHasText)
            writer.insertNewline();
    }
    return writer.takeOps();
}

} // namespace DocumentConvert
