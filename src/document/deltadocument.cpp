#include "deltadocument.h"

#include "convertcommon.h"
#include "delta.h"
#include "tableconvert.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <utility>
#include <vector>

namespace {

constexpr QChar kObjectReplacement(0xFFFC);

// Adding an item makes Qt touch every item of its list, so long runs of
// items are loaded as several lists. Bullets look the same either way; a
// numbered list keeps counting across the parts only where Qt can be told
// where a list starts, elsewhere it stays whole up to a thousand items.
int listRunLimit(QTextListFormat::Style style)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 6, 0)
    if (style == QTextListFormat::ListDecimal)
        return 1000;
#else
    Q_UNUSED(style)
#endif
    return 64;
}

QString embedKey(const QJsonObject &embed)
{
    return embed.isEmpty() ? QString() : embed.begin().key();
}

// A non-string value, such as a divider's true, reads as the empty string;
// embedFormat() keeps the value itself for saving.
QString embedValue(const QJsonObject &embed)
{
    return embed.isEmpty() ? QString() : embed.begin().value().toString();
}

bool isAttachmentEmbed(const QString &key, const QString &value)
{
    return key == QLatin1String("lumora-notes-attachment")
        || (key == QLatin1String("image") && value.startsWith(attachmentUrlPrefix()));
}

bool holdsImage(const DeltaLine &line)
{
    for (const DeltaPiece &piece : line.pieces) {
        if (!piece.isEmbed)
            continue;
        const QString key = embedKey(piece.embed);
        if (key == QLatin1String("lumora-notes-attachment") || key == QLatin1String("image"))
            return true;
    }
    return false;
}

QTextCharFormat embedFormat(const QTextCharFormat &base, const QJsonObject &embed)
{
    const QString key = embedKey(embed);
    QString value = embedValue(embed);
    QTextCharFormat format = base;
    if (isAttachmentEmbed(key, value)) {
        if (!value.startsWith(attachmentUrlPrefix()))
            value = attachmentUrlPrefix() + value;
        format.setObjectType(AttachmentObject);
    } else if (key == QLatin1String("divider")) {
        format.setObjectType(DividerObject);
    } else if (key == QLatin1String("table")) {
        format.setObjectType(TableEmbedObject);
    }
    format.setProperty(EmbedKeyProperty, key);
    format.setProperty(EmbedValueProperty, value);
    if (!embed.isEmpty() && !embed.begin().value().isString())
        format.setProperty(EmbedJsonValueProperty,
                           QString::fromUtf8(QJsonDocument(QJsonArray { embed.begin().value() }).toJson(QJsonDocument::Compact)));
    return format;
}

// Object replacement characters in text are never saved, so they are dropped
// on loading too; a piece of nothing else does not count as a piece.
QString withoutObjectCharacters(const QString &text)
{
    if (!text.contains(kObjectReplacement))
        return text;
    QString stripped = text;
    stripped.remove(kObjectReplacement);
    return stripped;
}

// Embeds the editor keeps; the others are dropped when the note is saved.
bool isKeptEmbed(const QJsonObject &embed)
{
    const QString key = embedKey(embed);
    return isAttachmentEmbed(key, embedValue(embed)) || key == QLatin1String("divider")
        || key == QLatin1String("table");
}

// The table embed standing alone on its line, or null. Pieces that saving
// drops do not count, or the line would become a table line only on the
// next load.
const DeltaPiece *tableLinePiece(const DeltaLine &line)
{
    const DeltaPiece *table = nullptr;
    for (const DeltaPiece &piece : line.pieces) {
        if (piece.isEmbed ? !isKeptEmbed(piece.embed) : withoutObjectCharacters(piece.text).isEmpty())
            continue;
        if (table || !piece.isEmbed || embedKey(piece.embed) != QLatin1String("table"))
            return nullptr;
        table = &piece;
    }
    return table;
}

// Values built from attribute objects, remembered for one load: a note
// repeats a handful of attribute sets many times over.
template<typename Value> class AttributeMemo
{
public:
    template<typename Build> Value get(const QJsonObject &attributes, Build build)
    {
        for (const auto &entry : std::as_const(m_entries)) {
            if (entry.first == attributes)
                return entry.second;
        }
        if (m_entries.size() >= 32)
            m_entries.removeFirst();
        m_entries.append({ attributes, build(attributes) });
        return m_entries.last().second;
    }

private:
    QList<std::pair<QJsonObject, Value>> m_entries;
};

// Rebuilding a document under a layout with a page size lays the whole note
// out synchronously at the end of the edit (hundreds of milliseconds for a
// 1 MB note). Without a page size the layout skips the change; restoring the
// size then starts a fresh layout, which does what is shown first and the
// rest in the background.
class LayoutPause
{
public:
    explicit LayoutPause(QTextDocument *document)
        : m_document(document)
        , m_pageSize(document->pageSize())
    {
        m_document->setPageSize(QSizeF(0, 0));
    }
    ~LayoutPause() { m_document->setPageSize(m_pageSize); }
    LayoutPause(const LayoutPause &) = delete;
    LayoutPause &operator=(const LayoutPause &) = delete;

private:
    QTextDocument *m_document;
    QSizeF m_pageSize;
};

struct LineFormats
{
    QTextBlockFormat block;
    QTextCharFormat base;
};

bool isSavedObject(const QTextCharFormat &format)
{
    const int type = format.objectType();
    return type == AttachmentObject || type == DividerObject || type == TableEmbedObject;
}

// A spacer stays out of the note while it holds nothing that saving writes:
// no text, and no object character but those of dropped embeds. An image
// put into the empty line below a table is content.
bool isSpacerBlock(const QTextBlock &block)
{
    if (!block.blockFormat().boolProperty(TableSpacerProperty))
        return false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QString text = fragment.text();
        for (const QChar c : text) {
            if (c != kObjectReplacement)
                return false;
        }
        if (isSavedObject(fragment.charFormat()) && !fragment.charFormat().stringProperty(EmbedKeyProperty).isEmpty())
            return false;
    }
    return true;
}

// Embeds of a known kind; equal neighbouring objects share one fragment.
void writeObjects(DeltaWriter &writer, const QTextFragment &fragment)
{
    const QTextCharFormat format = fragment.charFormat();
    const QString key = format.stringProperty(EmbedKeyProperty);
    if (key.isEmpty())
        return;
    QJsonObject embed;
    const QString jsonValue = format.stringProperty(EmbedJsonValueProperty);
    embed.insert(key, jsonValue.isEmpty() ? QJsonValue(format.stringProperty(EmbedValueProperty))
                                          : QJsonDocument::fromJson(jsonValue.toUtf8()).array().first());
    const QString text = fragment.text();
    for (const QChar c : text) {
        if (c == kObjectReplacement)
            writer.insertEmbed(embed);
    }
}

} // namespace

DeltaDocument::DeltaDocument(QObject *parent)
    : QObject(parent)
    , m_document(new QTextDocument(this))
{
    QFont font = m_document->defaultFont();
    font.setPixelSize(effectiveBodyFontPixelSize());
    m_document->setDefaultFont(font);
    m_document->setDocumentMargin(16);
    connect(m_document, &QTextDocument::contentsChanged, this, &DeltaDocument::contentsChanged);
}

void DeltaDocument::setDelta(const QJsonArray &ops)
{
    m_delta = ops;
    load(parseDeltaOps(ops));
    m_document->clearUndoRedoStacks();
}

void DeltaDocument::setJson(const QString &json)
{
    if (!json.isEmpty()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && doc.isArray()) {
            setDelta(doc.array());
            return;
        }
    }
    // Plain text and the empty note load as the lines they are, formatted
    // like the same lines typed, so spacing does not jump on the next load.
    m_delta = QJsonArray();
    const LayoutPause pause(m_document);
    const bool signalsWereBlocked = m_document->blockSignals(true);
    const bool undoWasEnabled = m_document->isUndoRedoEnabled();
    m_document->setUndoRedoEnabled(false);
    m_document->setPlainText(json);
    const QTextBlockFormat body = blockFormatFromAttributes(QJsonObject());
    const QTextCharFormat bodyChars = baseCharFormatForBlock(body);
    QTextCursor all(m_document);
    all.select(QTextCursor::Document);
    all.setBlockFormat(body);
    all.setBlockCharFormat(bodyChars);
    all.setCharFormat(bodyChars);
    m_document->setUndoRedoEnabled(undoWasEnabled);
    m_document->blockSignals(signalsWereBlocked);
}

void DeltaDocument::load(const QList<DeltaOp> &ops)
{
    const LayoutPause pause(m_document);
    const bool signalsWereBlocked = m_document->blockSignals(true);
    // Undo history is dropped after loading anyway; not recording it keeps
    // large notes fast.
    const bool undoWasEnabled = m_document->isUndoRedoEnabled();
    m_document->setUndoRedoEnabled(false);
    m_document->clear();
    if (!ops.isEmpty()) {
        QTextCursor cursor(m_document);
        cursor.beginEditBlock();
        bool atFreshBlock = true;
        AttributeMemo<LineFormats> lineFormats;
        AttributeMemo<QTextCharFormat> charFormats;
        const auto buildLineFormats = [](const QJsonObject &attributes) {
            const QTextBlockFormat block = blockFormatFromAttributes(attributes);
            return LineFormats { block, baseCharFormatForBlock(block) };
        };
        const auto loadLine = [&](const DeltaLine &line) {
            const LineFormats formats = lineFormats.get(line.blockAttributes, buildLineFormats);
            QTextBlockFormat blockFormat = formats.block;
            const QTextCharFormat &base = formats.base;
            if (holdsImage(line))
                setSingleLineHeight(blockFormat);
            const QString listType = blockFormat.stringProperty(ListTypeProperty);
            const QTextList *continuedList = nullptr;
            if (listType.isEmpty()) {
                blockFormat.clearProperty(ListTypeProperty);
            } else {
                // What the list applier does, folded into the one block
                // insertion: a line continuing the list above joins it.
                // Adding an item costs Qt time in the length of the list, so
                // very long runs of items start a new list now and then.
                setListItemProperties(blockFormat, listType);
                QTextList *previous = atFreshBlock ? nullptr : cursor.block().textList();
                const QTextListFormat::Style style = listStyleFor(listType);
                if (previous && previous->format().style() == style) {
                    if (previous->count() < listRunLimit(style))
                        blockFormat.setObjectIndex(previous->objectIndex());
                    else
                        continuedList = previous;
                }
            }
            if (atFreshBlock) {
                cursor.setBlockFormat(blockFormat);
                cursor.setBlockCharFormat(base);
            } else {
                cursor.insertBlock(blockFormat, base);
            }
            atFreshBlock = false;
            if (!listType.isEmpty() && !cursor.currentList()) {
                QTextListFormat listFormat;
                listFormat.setStyle(listStyleFor(listType));
                listFormat.setIndent(1);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
                if (continuedList)
                    listFormat.setStart(continuedList->format().start() + continuedList->count());
#else
                Q_UNUSED(continuedList)
#endif
                cursor.createList(listFormat);
            } else if (listType.isEmpty() && cursor.currentList()) {
                applyListToBlock(cursor, QString());
            }

            for (const DeltaPiece &piece : line.pieces) {
                if (piece.isEmbed) {
                    cursor.insertText(QString(kObjectReplacement), embedFormat(base, piece.embed));
                } else if (QString text = withoutObjectCharacters(piece.text); !text.isEmpty()) {
                    // A CR of a CRLF line end would make Qt start an extra block.
                    if (line.terminated && &piece == &line.pieces.last() && text.endsWith(QLatin1Char('\r')))
                        text.chop(1);
                    QTextCharFormat format = base;
                    format.merge(charFormats.get(piece.attributes, charFormatFromAttributes));
                    cursor.insertText(text, format);
                }
            }
        };
        const QList<DeltaLine> lines = deltaLines(ops);
        for (const DeltaLine &line : lines) {
            const DeltaPiece *tablePiece = tableLinePiece(line);
            if (!tablePiece) {
                loadLine(line);
                continue;
            }
            // A fresh empty block stands for no line of the note (the
            // document's first block, or the block after a table), so
            // it must not be saved as an empty line before this table.
            if (atFreshBlock && cursor.block().length() == 1)
                makeTableSpacer(cursor.block());
            const QString json = embedValue(tablePiece->embed);
            if (insertTableFromJson(cursor, json)) {
                atFreshBlock = true;
                continue;
            }
            // Too large to edit as a table: its text as lines of their own.
            const std::optional<DocumentConvert::TableEmbed> table = DocumentConvert::parseTableEmbed(json);
            if (table && DocumentConvert::tableCellCount(*table) > DocumentConvert::maxTableCells) {
                const QList<DeltaLine> textLines = deltaLines(DocumentConvert::tableAsTextOps(*table));
                for (const DeltaLine &textLine : textLines)
                    loadLine(textLine);
            }
        }
        cursor.endEditBlock();
    }
    m_document->setUndoRedoEnabled(undoWasEnabled);
    m_document->blockSignals(signalsWereBlocked);
}

QList<DeltaOp> DeltaDocument::collectOps() const
{
    // Top-level tables in document order; a block belongs to the table whose
    // range holds it (nested frames count as their outermost table).
    QList<QTextTable *> topTables;
    const QList<QTextFrame *> frames = m_document->rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            topTables.append(table);
    }

    std::vector<QTextBlock> blocks;
    std::vector<QTextTable *> tables;
    blocks.reserve(size_t(m_document->blockCount()));
    tables.reserve(size_t(m_document->blockCount()));
    qsizetype nextTable = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int position = block.position();
        while (nextTable < topTables.size() && topTables.at(nextTable)->lastPosition() < position)
            ++nextTable;
        QTextTable *table = nullptr;
        if (nextTable < topTables.size() && topTables.at(nextTable)->firstPosition() <= position)
            table = topTables.at(nextTable);
        blocks.push_back(block);
        tables.push_back(table);
    }

    // Blocks that table insertion created next to a table, still empty.
    const size_t count = blocks.size();
    std::vector<bool> skip(count, false);
    for (size_t i = 0; i < count; ++i) {
        if (!tables[i])
            continue;
        if (i > 0 && !tables[i - 1] && isSpacerBlock(blocks[i - 1]))
            skip[i - 1] = true;
        if (i + 1 < count && !tables[i + 1] && isSpacerBlock(blocks[i + 1]))
            skip[i + 1] = true;
    }

    // Notes reuse few formats; read each one once.
    QHash<int, QJsonObject> charAttributes;
    QHash<int, QJsonObject> blockAttributes;
    const auto inlineAttributes = [&](const QTextFragment &fragment) -> const QJsonObject & {
        const int index = fragment.charFormatIndex();
        auto it = charAttributes.find(index);
        if (it == charAttributes.end())
            it = charAttributes.insert(index, inlineAttributesFromCharFormat(fragment.charFormat()));
        return *it;
    };

    DeltaWriter writer;
    // A table's blocks are contiguous, so it is written at its first block.
    const QTextTable *lastTable = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (skip[i])
            continue;
        if (const QTextTable *table = tables[i]) {
            if (table == lastTable)
                continue;
            lastTable = table;
            const QJsonObject object = tableObjectFromTextTable(table);
            QJsonObject embed;
            embed.insert(
                QStringLiteral("table"), QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
            writer.insertEmbed(embed);
            writer.insertNewline();
            continue;
        }
        const QTextBlock &block = blocks[i];
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (isSavedObject(format)) {
                writeObjects(writer, fragment);
                continue;
            }
            QString text = fragment.text();
            text.remove(kObjectReplacement);
            if (!text.isEmpty())
                writer.insertText(text, inlineAttributes(fragment));
        }
        const int index = block.blockFormatIndex();
        auto it = blockAttributes.find(index);
        if (it == blockAttributes.end())
            it = blockAttributes.insert(index, blockAttributesFromBlockFormat(block.blockFormat()));
        writer.insertNewline(*it);
    }
    return writer.takeOps();
}

QJsonArray DeltaDocument::toDelta() const
{
    return deltaOpsToJsonArray(collectOps());
}

QString DeltaDocument::toJson() const
{
    return deltaOpsToCompactJson(collectOps());
}
