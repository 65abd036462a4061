#include "delta.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <utility>

namespace {

DeltaOp parseOp(const QJsonObject &object)
{
    DeltaOp op;
    const QJsonValue insert = object.value(QLatin1String("insert"));
    if (insert.isString()) {
        op.kind = DeltaOpKind::InsertText;
        op.text = insert.toString();
    } else if (insert.isObject()) {
        op.kind = DeltaOpKind::InsertEmbed;
        op.embed = insert.toObject();
    } else if (object.contains(QLatin1String("retain"))) {
        op.kind = DeltaOpKind::Retain;
        op.length = object.value(QLatin1String("retain")).toInt(0);
    } else if (object.contains(QLatin1String("delete"))) {
        op.kind = DeltaOpKind::Delete;
        op.length = object.value(QLatin1String("delete")).toInt(0);
    }
    const QJsonValue attributes = object.value(QLatin1String("attributes"));
    if (attributes.isObject())
        op.attributes = attributes.toObject();
    return op;
}

} // namespace

QList<DeltaOp> parseDeltaOps(const QJsonArray &ops)
{
    QList<DeltaOp> result;
    result.reserve(ops.size());
    for (const QJsonValue &value : ops) {
        if (value.isObject())
            result.append(parseOp(value.toObject()));
    }
    return result;
}

QList<DeltaOp> parseDeltaOps(const QString &json)
{
    if (json.isEmpty())
        return {};
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return {};
    return parseDeltaOps(doc.array());
}

QList<DeltaLine> deltaLines(const QList<DeltaOp> &ops)
{
    QList<DeltaLine> lines;
    DeltaLine current;
    for (const DeltaOp &op : ops) {
        switch (op.kind) {
        case DeltaOpKind::Retain:
        case DeltaOpKind::Delete:
            break;
        case DeltaOpKind::InsertEmbed: {
            DeltaPiece piece;
            piece.isEmbed = true;
            piece.embed = op.embed;
            piece.attributes = op.attributes;
            current.pieces.append(piece);
            break;
        }
        case DeltaOpKind::InsertText: {
            qsizetype start = 0;
            while (true) {
                const qsizetype newline = op.text.indexOf(QLatin1Char('\n'), start);
                const qsizetype end = newline < 0 ? op.text.size() : newline;
                if (end > start) {
                    DeltaPiece piece;
                    piece.text = op.text.mid(start, end - start);
                    piece.attributes = op.attributes;
                    current.pieces.append(piece);
                }
                if (newline < 0)
                    break;
                current.blockAttributes = op.attributes;
                current.terminated = true;
                lines.append(current);
                current = DeltaLine();
                start = newline + 1;
            }
            break;
        }
        }
    }
    if (!current.pieces.isEmpty()) {
        current.terminated = false;
        lines.append(current);
    }
    return lines;
}

QJsonObject deltaInsertOp(const QJsonValue &insert, const QJsonObject &attributes)
{
    QJsonObject op;
    op.insert(QStringLiteral("insert"), insert);
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

void DeltaWriter::insertText(const QString &text, const QJsonObject &attributes)
{
    if (text.isEmpty())
        return;
    if (!m_text.isEmpty() && attributes != m_attributes)
        flush();
    m_text += text;
    m_attributes = attributes;
}

void DeltaWriter::insertEmbed(const QJsonObject &embed)
{
    flush();
    m_ops.append(deltaInsertOp(embed));
}

void DeltaWriter::insertNewline(const QJsonObject &blockAttributes)
{
    flush();
    m_ops.append(deltaInsertOp(QStringLiteral("\n"), blockAttributes));
}

QJsonArray DeltaWriter::takeOps()
{
    flush();
    return std::exchange(m_ops, QJsonArray());
}

void DeltaWriter::flush()
{
    if (m_text.isEmpty())
        return;
    m_ops.append(deltaInsertOp(m_text, m_attributes));
    m_text.clear();
    m_attributes = QJsonObject();
}
