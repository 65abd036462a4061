#include "convertcommon.h"

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

} // namespace DocumentConvert
