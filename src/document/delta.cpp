#include "delta.h"

#include <QJsonArray>
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

QString deltaEmbedKey(const QJsonObject &embed)
{
    return embed.isEmpty() ? QString() : embed.constBegin().key();
}

QList<DeltaLine> deltaLines(const QList<DeltaOp> &ops, const QStringList &standaloneEmbedKeys)
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
            if (!standaloneEmbedKeys.isEmpty() && standaloneEmbedKeys.contains(deltaEmbedKey(op.embed))) {
                if (!current.pieces.isEmpty()) {
                    current.terminated = false;
                    lines.append(current);
                    current = DeltaLine();
                }
                DeltaLine alone;
                alone.pieces.append(piece);
                alone.terminated = false;
                alone.standaloneEmbed = true;
                lines.append(alone);
                break;
            }
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
    DeltaOp op;
    op.kind = DeltaOpKind::InsertEmbed;
    op.embed = embed;
    m_ops.append(std::move(op));
}

void DeltaWriter::insertNewline(const QJsonObject &blockAttributes)
{
    flush();
    DeltaOp op;
    op.text = QStringLiteral("\n");
    op.attributes = blockAttributes;
    m_ops.append(std::move(op));
}

QList<DeltaOp> DeltaWriter::takeOps()
{
    flush();
    return std::exchange(m_ops, QList<DeltaOp>());
}

void DeltaWriter::flush()
{
    if (m_text.isEmpty())
        return;
    DeltaOp op;
    op.text = std::exchange(m_text, QString());
    op.attributes = std::exchange(m_attributes, QJsonObject());
    m_ops.append(std::move(op));
}

namespace {

QJsonObject toJsonObject(const DeltaOp &op)
{
    switch (op.kind) {
    case DeltaOpKind::InsertText:
        return deltaInsertOp(op.text, op.attributes);
    case DeltaOpKind::InsertEmbed:
        return deltaInsertOp(op.embed, op.attributes);
    case DeltaOpKind::Retain:
    case DeltaOpKind::Delete: {
        QJsonObject object;
        object.insert(op.kind == DeltaOpKind::Retain ? QStringLiteral("retain") : QStringLiteral("delete"), op.length);
        if (!op.attributes.isEmpty())
            object.insert(QStringLiteral("attributes"), op.attributes);
        return object;
    }
    }
    return {};
}

QChar hexDigit(uint value)
{
    return QLatin1Char(value < 10 ? char('0' + value) : char('a' + value - 10));
}

void appendEscapedCodeUnit(QString &out, char16_t unit)
{
    out += QLatin1String("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hexDigit((unit >> shift) & 0xF);
}

// Escapes as QJsonDocument does: quote, backslash and control characters,
// and unpaired surrogates as escaped code units; the rest is written as is.
// One addition: U+FEFF is escaped too, because Qt's reader drops it raw at
// the start of a string and a note would lose it on the next load.
void appendJsonString(QString &out, QStringView text)
{
    out += QLatin1Char('"');
    qsizetype runStart = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0x20 && unit != u'"' && unit != u'\\' && unit != 0xFEFF && !QChar::isSurrogate(unit))
            continue;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        out += text.mid(runStart, i - runStart);
        runStart = i + 1;
        switch (unit) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\b':
            out += QLatin1String("\\b");
            break;
        case u'\f':
            out += QLatin1String("\\f");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            appendEscapedCodeUnit(out, unit);
            break;
        }
    }
    out += text.mid(runStart);
    out += QLatin1Char('"');
}

void appendJsonValue(QString &out, const QJsonValue &value);

void appendJsonObject(QString &out, const QJsonObject &object)
{
    out += QLatin1Char('{');
    bool first = true;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!first)
            out += QLatin1Char(',');
        first = false;
        appendJsonString(out, it.key());
        out += QLatin1Char(':');
        appendJsonValue(out, it.value());
    }
    out += QLatin1Char('}');
}

void appendJsonValue(QString &out, const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        appendJsonString(out, value.toString());
        break;
    case QJsonValue::Bool:
        out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
        break;
    case QJsonValue::Object:
        appendJsonObject(out, value.toObject());
        break;
    default: {
        // Numbers and arrays are rare in notes; let Qt format them.
        const QByteArray json = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
        out += QString::fromUtf8(json.mid(1, json.size() - 2));
        break;
    }
    }
}

} // namespace

QJsonArray deltaOpsToJsonArray(const QList<DeltaOp> &ops)
{
    QJsonArray array;
    for (const DeltaOp &op : ops)
        array.append(toJsonObject(op));
    return array;
}

QString deltaOpsToCompactJson(const QList<DeltaOp> &ops)
{
    QString out;
    qsizetype estimate = 2;
    for (const DeltaOp &op : ops)
        estimate += op.text.size() + 48;
    out.reserve(estimate);
    out += QLatin1Char('[');
    bool first = true;
    for (const DeltaOp &op : ops) {
        if (!first)
            out += QLatin1Char(',');
        first = false;
        if (op.kind != DeltaOpKind::InsertText && op.kind != DeltaOpKind::InsertEmbed) {
            appendJsonObject(out, toJsonObject(op));
            continue;
        }
        // Keys in sorted order, as QJsonObject keeps them.
        out += QLatin1Char('{');
        if (!op.attributes.isEmpty()) {
            out += QLatin1String("\"attributes\":");
            appendJsonObject(out, op.attributes);
            out += QLatin1Char(',');
        }
        out += QLatin1String("\"insert\":");
        if (op.kind == DeltaOpKind::InsertText)
            appendJsonString(out, op.text);
        else
            appendJsonObject(out, op.embed);
        out += QLatin1Char('}');
    }
    out += QLatin1Char(']');
    return out;
}
