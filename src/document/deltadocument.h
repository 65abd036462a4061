#pragma once

#include "document/textformats.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>

class QTextDocument;
struct DeltaOp;

// The editor's rich-text document and its conversions to and from Delta.
// One per editor; the QTextDocument is owned by this object.
class DeltaDocument : public QObject
{
    Q_OBJECT

public:
    explicit DeltaDocument(QObject *parent = nullptr);

    QTextDocument *document() const { return m_document; }

    // Rebuilds the document from the operations and clears undo and redo.
    void setDelta(const QJsonArray &ops);
    // A JSON array goes to setDelta; any other text (empty, bodies from
    // before Delta, plain text) loads as unformatted lines.
    void setJson(const QString &json);
    // The array last handed to setDelta (empty after plain text or clearing).
    QJsonArray loadedDelta() const { return m_delta; }

    QJsonArray toDelta() const;
    // Compact JSON of toDelta(): what is stored as a note's body.
    QString toJson() const;

Q_SIGNALS:
    void contentsChanged();

private:
    void load(const QList<DeltaOp> &ops);
    QList<DeltaOp> collectOps() const;

    QTextDocument *m_document = nullptr;
    QJsonArray m_delta;
};
