#include "markdown.h"

#include "convertcommon.h"
#include "delta.h"
#include "html.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

using namespace DocumentConvert;

namespace {

enum class LineKind { Start, Paragraph, Heading, List, Code, Quote, Divider };

bool isListOrCode(LineKind kind)
{
    return kind == LineKind::List || kind == LineKind::Code;
}

const InlineMark boldMark { QLatin1String("bold"), QLatin1String("**"), QLatin1String("**") };
const InlineMark italicMark { QLatin1String("italic"), QLatin1String("*"), QLatin1String("*") };
const InlineMark codeMark { QLatin1String("code"), QLatin1String("`"), QLatin1String("`") };
const InlineMark strikeMark { QLatin1String("strike"), QLatin1String("~~"), QLatin1String("~~") };

QString withLink(const QString &text, const QJsonObject &attributes)
{
    if (!attributes.contains(QLatin1String("link")))
        return text;
    return QStringLiteral("[%1](%2)").arg(text, attributes.value(QLatin1String("link")).toString());
}

QString cellText(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('|'), QLatin1String("\\|"));
    escaped.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return escaped;
}

QString cellMarkdown(const QJsonValue &cell, bool headerRow)
{
    if (cell.isString())
        return cellText(cell.toString());
    QString markdown;
    const QList<DeltaOp> ops = cellTextOps(cell.toArray());
    for (const DeltaOp &op : ops) {
        if (op.text == QLatin1String("\n"))
            continue;
        QJsonObject attributes = op.attributes;
        // Header cells are bold already.
        if (headerRow)
            attributes.remove(QLatin1String("bold"));
        markdown += withLink(
            wrapInlineMarks(cellText(op.text), attributes, { codeMark, boldMark, italicMark, strikeMark }), attributes);
    }
    return markdown;
}

QString tableMarkdown(const QJsonValue &embedValue)
{
    const std::optional<TableEmbed> table = parseTableEmbed(embedValue);
    if (!table || table->columnCount == 0)
        return QString();
    QString markdown;
    for (qsizetype r = 0; r < table->rows.size(); ++r) {
        const QJsonArray row = table->rows.at(r).toArray();
        const bool headerRow = table->hasHeader && r == 0;
        markdown += QLatin1Char('|');
        for (qsizetype c = 0; c < table->columnCount; ++c)
            markdown += QLatin1Char(' ') + cellMarkdown(row.at(c), headerRow) + QLatin1String(" |");
        markdown += QLatin1Char('\n');
        // Markdown tables always need a separator after their first row.
        if (r == 0) {
            markdown += QLatin1Char('|');
            for (qsizetype c = 0; c < table->columnCount; ++c)
                markdown += QLatin1String(" --- |");
            markdown += QLatin1Char('\n');
        }
    }
    return markdown;
}

class MarkdownWriter
{
public:
    explicit MarkdownWriter(const InlineEmbedWriter &embedMarkdown)
        : m_embedMarkdown(embedMarkdown)
    {
    }

    void writeLine(const DeltaLine &line);
    void writeDivider();
    void writeTable(const QJsonValue &embedValue);
    QString finish();

private:
    void endWithBlankLine();

    const InlineEmbedWriter &m_embedMarkdown;
    QString m_output;
    LineKind m_previous = LineKind::Start;
};

void MarkdownWriter::endWithBlankLine()
{
    if (m_output.isEmpty() || m_output.endsWith(QLatin1String("\n\n")))
        return;
    m_output += m_output.endsWith(QLatin1Char('\n')) ? QLatin1String("\n") : QLatin1String("\n\n");
}

void MarkdownWriter::writeLine(const DeltaLine &line)
{
    const QJsonObject &block = line.blockAttributes;
    const int level = block.value(QLatin1String("header")).toInt();
    const bool heading = level >= 1 && level <= 6;
    const QString list = block.value(QLatin1String("list")).toString();

    QString text;
    for (const DeltaPiece &piece : line.pieces) {
        if (piece.isEmbed) {
            if (m_embedMarkdown)
                text += m_embedMarkdown(piece.embed);
            continue;
        }
        QJsonObject attributes = piece.attributes;
        if (heading)
            attributes.remove(QLatin1String("bold"));
        text += withLink(
            wrapInlineMarks(piece.text, attributes, { boldMark, italicMark, codeMark, strikeMark }), attributes);
    }

    QString prefix;
    LineKind kind = LineKind::Paragraph;
    if (heading) {
        if (text.trimmed().isEmpty())
            return;
        prefix = QString(level, QLatin1Char('#')) + QLatin1Char(' ');
        kind = LineKind::Heading;
    } else if (!list.isEmpty()) {
        if (list == QLatin1String("bullet"))
            prefix = QStringLiteral("- ");
        else if (list == QLatin1String("ordered"))
            prefix = QStringLiteral("1. ");
        else if (list == QLatin1String("checked"))
            prefix = QStringLiteral("- [x] ");
        else if (list == QLatin1String("unchecked"))
            prefix = QStringLiteral("- [ ] ");
        kind = LineKind::List;
    } else if (block.contains(QLatin1String("code-block"))) {
        prefix = QStringLiteral("    ");
        kind = LineKind::Code;
    } else if (block.value(QLatin1String("blockquote")).toBool()) {
        prefix = QStringLiteral("> ");
        kind = LineKind::Quote;
    } else if (text.trimmed().isEmpty()) {
        endWithBlankLine();
        m_previous = LineKind::Paragraph;
        return;
    }

    // A line break inside a line (Shift+Enter, or lines joined past the
    // readers' budget) stays one, in the line's own block.
    if (text.contains(QChar::LineSeparator)) {
        if (kind == LineKind::Heading)
            text.replace(QChar::LineSeparator, QLatin1Char(' '));
        else if (kind == LineKind::Code)
            text.replace(QChar::LineSeparator, QLatin1Char('\n') + prefix);
        else if (kind == LineKind::Quote)
            text.replace(QChar::LineSeparator, QLatin1String("\\\n") + prefix);
        else
            text.replace(QChar::LineSeparator, QLatin1String("\\\n") + QString(prefix.size(), QLatin1Char(' ')));
    }

    if (isListOrCode(m_previous) && kind != m_previous)
        endWithBlankLine();
    if (isListOrCode(kind) && !isListOrCode(m_previous) && m_previous != LineKind::Start)
        endWithBlankLine();
    m_output += prefix + text + (isListOrCode(kind) ? QLatin1String("\n") : QLatin1String("\n\n"));
    m_previous = kind;
}

void MarkdownWriter::writeDivider()
{
    if (isListOrCode(m_previous))
        endWithBlankLine();
    m_output += QLatin1String("---\n\n");
    m_previous = LineKind::Divider;
}

void MarkdownWriter::writeTable(const QJsonValue &embedValue)
{
    if (isListOrCode(m_previous))
        endWithBlankLine();
    m_output += tableMarkdown(embedValue) + QLatin1Char('\n');
    m_previous = LineKind::Paragraph;
}

QString MarkdownWriter::finish()
{
    qsizetype end = m_output.size();
    while (end > 0 && (m_output.at(end - 1) == QLatin1Char('\n') || m_output.at(end - 1) == QLatin1Char(' ')))
        --end;
    m_output.truncate(end);
    if (!m_output.isEmpty())
        m_output += QLatin1Char('\n');
    return m_output;
}

bool hasContent(const DeltaLine &line, bool writesEmbeds)
{
    return std::any_of(line.pieces.cbegin(), line.pieces.cend(),
                       [writesEmbeds](const DeltaPiece &p) { return writesEmbeds || !p.isEmbed; });
}

// "**" toggles bold and a single "*" italic; each run becomes one insert.
void appendInlineRuns(QJsonArray *ops, const QString &text)
{
    bool bold = false;
    bool italic = false;
    QString run;
    auto flush = [&] {
        if (run.isEmpty())
            return;
        QJsonObject attributes;
        if (bold)
            attributes.insert(QLatin1String("bold"), true);
        if (italic)
            attributes.insert(QLatin1String("italic"), true);
        ops->append(deltaInsertOp(run, attributes));
        run.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('*')) {
            run += text.at(i);
            continue;
        }
        flush();
        if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('*')) {
            bold = !bold;
            ++i;
        } else {
            italic = !italic;
        }
    }
    flush();
}

} // namespace

QString deltaToMarkdown(const QString &deltaJson, const InlineEmbedWriter &embedMarkdown)
{
    MarkdownWriter writer(embedMarkdown);
    const QList<DeltaLine> lines = deltaLines(parseDeltaOps(deltaJson), { dividerKey(), tableKey() });
    for (const DeltaLine &line : lines) {
        if (line.standaloneEmbed) {
            const QJsonObject &embed = line.pieces.constFirst().embed;
            if (deltaEmbedKey(embed) == dividerKey())
                writer.writeDivider();
            else
                writer.writeTable(embed.value(tableKey()));
        } else if (line.terminated || hasContent(line, bool(embedMarkdown))) {
            // Without a writer, attachments and images have no Markdown form:
            // an unclosed line of only those is no line at all.
            writer.writeLine(line);
        }
    }
    return writer.finish();
}

namespace {

QJsonArray markdownChunkToDelta(const QString &markdown)
{
    QTextDocument document;
    // Inside an edit block Qt's reader does not lay out the paragraph it
    // writes to after every run, which made a paragraph of many marks
    // quadratic (20 KB of "*a" took seconds).
    QTextCursor editBlock(&document);
    editBlock.beginEditBlock();
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    editBlock.endEditBlock();
    return textDocumentToDelta(document, DocumentReader::Markdown);
}

} // namespace

namespace {

// The row under a table's header: cells of dashes with optional colons.
const QRegularExpression &tableDelimiterRow()
{
    static const QRegularExpression row(QStringLiteral("^\\s*\\|?\\s*:?-+:?\\s*(\\|\\s*:?-+:?\\s*)*\\|?\\s*$"));
    return row;
}

const QRegularExpression &codeFence()
{
    static const QRegularExpression fence(QStringLiteral("^\\s{0,3}(```|~~~)"));
    return fence;
}

// Qt's reader takes time quadratic in the rows of a table, before any later
// limit can see it: a table of more cells than a note keeps as a table loses
// its delimiter row, so it is read as text under a notice.
QString withOversizedTablesAsText(const QString &markdown)
{
    QStringList lines = markdown.split(QLatin1Char('\n'));
    bool inFence = false;
    bool changed = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (codeFence().match(line).hasMatch()) {
            inFence = !inFence;
            continue;
        }
        if (inFence || i == 0 || !line.contains(QLatin1Char('|')) || !lines.at(i - 1).contains(QLatin1Char('|'))
            || !tableDelimiterRow().match(line).hasMatch())
            continue;
        const QStringList cells = line.split(QLatin1Char('|'));
        const qint64 columns = std::count_if(
            cells.begin(), cells.end(), [](const QString &cell) { return !cell.trimmed().isEmpty(); });
        qsizetype end = i + 1;
        while (end < lines.size() && lines.at(end).contains(QLatin1Char('|')) && !lines.at(end).trimmed().isEmpty())
            ++end;
        const qint64 rows = end - i;
        if (rows * columns > maxTableCells) {
            lines[i] = QLatin1String("\n*") + oversizedTableNotice(rows, columns) + QLatin1String("*\n");
            changed = true;
        }
        i = end - 1;
    }
    return changed ? lines.join(QLatin1Char('\n')) : markdown;
}

} // namespace

namespace {

// A list item at the left margin: a marker, a space, then text. A line of
// only markers ("- - -") is a divider instead.
bool isTopLevelListItem(const QString &line)
{
    static const QRegularExpression item(QStringLiteral("^(?:[-+*]|\\d{1,9}[.)])[ \\t]+\\S"));
    static const QRegularExpression divider(QStringLiteral("^([-*_])(?:[ \\t]*\\1){2,}[ \\t]*$"));
    return item.match(line).hasMatch() && !divider.match(line).hasMatch();
}

} // namespace

QList<QString> splitMarkdown(const QString &markdown, int tablesPerChunk, int itemsPerChunk)
{
    const QRegularExpression &delimiterRow = tableDelimiterRow();
    const QRegularExpression &fence = codeFence();
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    QList<QString> chunks;
    QStringList current;
    int tables = 0;
    int items = 0;
    bool inFence = false;
    const auto indented = [](const QString &line) {
        return line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'));
    };
    const auto cut = [&] {
        chunks.append(current.join(QLatin1Char('\n')));
        current.clear();
        tables = 0;
        items = 0;
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (fence.match(line).hasMatch()) {
            inFence = !inFence;
        } else if (!inFence && isTopLevelListItem(line)) {
            // A new item at the margin starts a fresh list in the next piece;
            // lines of a note do not know which list they came from.
            if (items >= itemsPerChunk && !current.isEmpty())
                cut();
            ++items;
        } else if (!inFence) {
            if (line.contains(QLatin1Char('|')) && delimiterRow.match(line).hasMatch())
                ++tables;
            // Text at the margin ends the list (or continues an item lazily,
            // where a cut would change it).
            if (!indented(line) && !line.trimmed().isEmpty())
                items = 0;
        }
        current.append(line);
        // A table ends at a blank line; one followed by an indented line may
        // belong to a list item or a code block, so the cut waits.
        const bool nextIndented = i + 1 < lines.size() && indented(lines.at(i + 1));
        if (tables >= tablesPerChunk && !inFence && line.trimmed().isEmpty() && !nextIndented)
            cut();
    }
    if (!current.isEmpty())
        chunks.append(current.join(QLatin1Char('\n')));
    return chunks;
}

QJsonArray markdownToDelta(const QString &markdown)
{
    if (markdown.trimmed().isEmpty())
        return QJsonArray { deltaInsertOp(QStringLiteral("\n")) };
    const auto [head, rest] = splitAtLineBudget(markdown);
    if (!rest.isEmpty()) {
        QJsonArray ops = markdownToDelta(head);
        for (const QJsonValue &op : joinedLinesOps(rest))
            ops.append(op);
        return ops;
    }
    // Qt's reader drops a picture without alt text.
    static const QRegularExpression emptyAlt(QStringLiteral("!\\[\\]\\("));
    QString text = withOversizedTablesAsText(markdown);
    text.replace(emptyAlt, QStringLiteral("![image]("));
    // Qt's reader takes time quadratic in the number of tables and in the
    // items of a list, so a text of many tables or a long list is read in
    // pieces.
    constexpr int TablesPerChunk = 8;
    constexpr int ItemsPerChunk = 64;
    const QList<QString> chunks = splitMarkdown(text, TablesPerChunk, ItemsPerChunk);
    if (chunks.size() == 1)
        return markdownChunkToDelta(text);
    QJsonArray ops;
    for (const QString &chunk : chunks) {
        if (chunk.trimmed().isEmpty())
            continue;
        const QJsonArray part = markdownChunkToDelta(chunk);
        for (const QJsonValue &op : part)
            ops.append(op);
    }
    return ops.isEmpty() ? QJsonArray { deltaInsertOp(QStringLiteral("\n")) } : ops;
}

QJsonArray plainTextToDelta(const QString &text)
{
    const auto [head, rest] = splitAtLineBudget(text);
    QJsonArray ops;
    for (QStringView line : QStringView(head).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.isEmpty())
            ops.append(deltaInsertOp(line.toString()));
        ops.append(deltaInsertOp(QStringLiteral("\n")));
    }
    for (const QJsonValue &op : joinedLinesOps(rest))
        ops.append(op);
    return ops;
}

QJsonArray simpleMarkdownToDelta(const QString &markdown)
{
    struct Prefix
    {
        QLatin1String text;
        QLatin1String key;
        QJsonValue value;
    };
    static const QList<Prefix> prefixes = {
        { QLatin1String("### "), QLatin1String("header"), 3 },
        { QLatin1String("## "), QLatin1String("header"), 2 },
        { QLatin1String("# "), QLatin1String("header"), 1 },
        { QLatin1String("- [ ] "), QLatin1String("list"), QStringLiteral("unchecked") },
        { QLatin1String("- [x] "), QLatin1String("list"), QStringLiteral("checked") },
        { QLatin1String("- [X] "), QLatin1String("list"), QStringLiteral("checked") },
        { QLatin1String("- "), QLatin1String("list"), QStringLiteral("bullet") },
        { QLatin1String("* "), QLatin1String("list"), QStringLiteral("bullet") },
        { QLatin1String("> "), QLatin1String("blockquote"), true },
    };
    static const QRegularExpression ordered(QStringLiteral("^\\s*(\\d+)\\.\\s+(.*)$"));

    QStringList lines = markdown.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();

    QJsonArray ops;
    for (const QString &line : std::as_const(lines)) {
        QJsonObject block;
        QString text = line;
        bool matched = false;
        for (const Prefix &prefix : prefixes) {
            if (line.startsWith(prefix.text)) {
                block.insert(prefix.key, prefix.value);
                text = line.mid(prefix.text.size());
                matched = true;
                break;
            }
        }
        if (!matched) {
            const QRegularExpressionMatch match = ordered.match(line);
            if (match.hasMatch()) {
                block.insert(QLatin1String("list"), QStringLiteral("ordered"));
                text = match.captured(2);
            }
        }
        appendInlineRuns(&ops, text);
        ops.append(deltaInsertOp(QStringLiteral("\n"), block));
    }
    return ops;
}
