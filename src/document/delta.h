#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

enum class DeltaOpKind { InsertText, InsertEmbed, Retain, Delete };

// One parsed operation of a Delta document.
struct DeltaOp
{
    DeltaOpKind kind = DeltaOpKind::InsertText;
    QString text;
    QJsonObject embed;
    QJsonObject attributes;
    qint32 length = 0;
};

// Empty, invalid or non-array JSON gives an empty list; non-object elements
// are skipped.
QList<DeltaOp> parseDeltaOps(const QString &json);
QList<DeltaOp> parseDeltaOps(const QJsonArray &ops);

// A piece of a line: a run of text with inline attributes, or an embed.
struct DeltaPiece
{
    bool isEmbed = false;
    QString text;
    QJsonObject embed;
    QJsonObject attributes;
};

// One line of a Delta document with the block attributes of its "\n".
struct DeltaLine
{
    QList<DeltaPiece> pieces;
    QJsonObject blockAttributes;
    // False for a trailing line whose pieces were not closed by a "\n", and
    // for pieces closed early by a standalone embed.
    bool terminated = true;
    // The line is one embed whose key was asked to stand alone.
    bool standaloneEmbed = false;
};

// The line-reading rule every converter applies: text inserts split at "\n",
// the newline's attributes become the line's block attributes, retain and
// delete are skipped, and pieces left over form a last, unterminated line.
// An embed whose key (its first key) is in standaloneEmbedKeys first closes the
// pending pieces as an unterminated line without block attributes, then comes
// back as a line of its own marked standaloneEmbed.
QList<DeltaLine> deltaLines(const QList<DeltaOp> &ops, const QStringList &standaloneEmbedKeys = {});

// The kind of an embed: its object's first key.
QString deltaEmbedKey(const QJsonObject &embed);

// The text a converter writes for an embed that sits inside a line (an
// attachment or an image). Without one, converters leave such embeds out.
using InlineEmbedWriter = std::function<QString(const QJsonObject &embed)>;

// One Delta operation {"insert": insert, "attributes": attributes}, the
// attributes left out when empty.
QJsonObject deltaInsertOp(const QJsonValue &insert, const QJsonObject &attributes = QJsonObject());

// Collects insert operations; neighbouring text inserts with equal
// attributes become one insert, so a document reads back the same however its
// runs happened to be split.
class DeltaWriter
{
public:
    void insertText(const QString &text, const QJsonObject &attributes = QJsonObject());
    void insertEmbed(const QJsonObject &embed);
    // Ends a line; never joined with the text before it.
    void insertNewline(const QJsonObject &blockAttributes = QJsonObject());
    QList<DeltaOp> takeOps();

private:
    void flush();

    QList<DeltaOp> m_ops;
    QString m_text;
    QJsonObject m_attributes;
};

QJsonArray deltaOpsToJsonArray(const QList<DeltaOp> &ops);
// The same text QJsonDocument writes in compact form for
// deltaOpsToJsonArray(ops), written without building the JSON values.
QString deltaOpsToCompactJson(const QList<DeltaOp> &ops);
