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
