#include "html.h"

#include "convertcommon.h"
#include "delta.h"
#include "htmlcleaner.h"
#include "tableconvert.h"
#include "textformats.h"

#include <QFontInfo>
#include <QJsonDocument>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

using namespace DocumentConvert;

namespace {

const QChar objectReplacement(0xFFFC);

// Escaped and wrapped text of one run, as in a line or a table cell.
QString inlineHtml(const QString &text, const QJsonObject &attributes)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    escaped.replace(QChar::LineSeparator, QLatin1String("<br>"));
    const QString wrapped = wrapInlineMarks(escaped, attributes,
        { { QLatin1String("bold"), QLatin1String("<strong>"), QLatin1String("</strong>") },
            { QLatin1String("italic"), QLatin1String("<em>"), QLatin1String("</em>") },
            { QLatin1String("underline"), QLatin1String("<u>"), QLatin1String("</u>") },
            { QLatin1String("strike"), QLatin1String("<del>"), QLatin1String("</del>") },
            { QLatin1String("code"), QLatin1String("<code>"), QLatin1String("</code>") } });
    if (!attributes.contains(QLatin1String("link")))
        return wrapped;
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(attributes.value(QLatin1String("link")).toString().toHtmlEscaped(), wrapped);
}

QString lineHtml(const DeltaLine &line, const InlineEmbedWriter &embedHtml)
{
    QString text;
    for (const DeltaPiece &piece : line.pieces) {
        if (!piece.isEmbed)
            text += inlineHtml(piece.text, piece.attributes);
        else if (embedHtml)
            text += embedHtml(piece.embed);
    }
    const QJsonObject &block = line.blockAttributes;
    const int level = block.value(QLatin1String("header")).toInt();
    if (level >= 1 && level <= 6)
        return QStringLiteral("<h%1>%2</h%1>\n").arg(QString::number(level), text);
    if (block.value(QLatin1String("blockquote")).toBool())
        return QLatin1String("<blockquote>") + text + QLatin1String("</blockquote>\n");
    if (block.contains(QLatin1String("code-block")))
        return QLatin1String("<pre><code>") + text + QLatin1String("</code></pre>\n");
    return QLatin1String("<p>") + text + QLatin1String("</p>\n");
}

QString cellHtml(const QJsonValue &cell)
{
    if (cell.isString())
        return cell.toString().toHtmlEscaped();
    QString html;
    const QList<DeltaOp> ops = cellTextOps(cell.toArray());
    for (const DeltaOp &op : ops) {
        if (op.text == QLatin1String("\n"))
            html += QLatin1String("<br>");
        else
            html += inlineHtml(op.text, op.attributes);
    }
    return html;
}

QString tableHtml(const QJsonValue &embedValue)
{
    const std::optional<TableEmbed> table = parseTableEmbed(embedValue);
    if (!table)
        return QString();
    QString html = QStringLiteral(
        "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n");
    for (qsizetype r = 0; r < table->rows.size(); ++r) {
        const bool header = table->hasHeader && r == 0;
        html += QLatin1String("  <tr>");
        const QJsonArray row = table->rows.at(r).toArray();
        for (const QJsonValue &cell : row) {
            QString content = cellHtml(cell);
            if (content.isEmpty())
                content = QStringLiteral("&nbsp;");
            html += header ? QLatin1String("<th>") + content + QLatin1String("</th>")
                           : QLatin1String("<td>") + content + QLatin1String("</td>");
        }
        html += QLatin1String("</tr>\n");
    }
    html += QLatin1String("</table>\n");
    return html;
}

// The editor's reader knows "monospace" and the fixed-pitch flag; pasted HTML
// also names fixed-pitch families such as Courier New. Only a real link hides
// the underline: Qt also marks the first character of an element with an id
// or a name as an anchor, one without a target.
QJsonObject inlineAttributesFromHtmlFormat(const QTextCharFormat &format)
{
    QJsonObject attributes = inlineAttributesFromCharFormat(format);
    // Markdown may carry raw HTML that no cleaning has seen.
    if (isScriptUrl(attributes.value(QLatin1String("link")).toString()))
        attributes.remove(QLatin1String("link"));
    if (format.fontUnderline() && !attributes.contains(QLatin1String("link")))
        attributes.insert(QLatin1String("underline"), true);
    if (!attributes.contains(QLatin1String("code")) && format.hasProperty(QTextFormat::FontFamilies)
        && QFontInfo(format.font()).fixedPitch())
        attributes.insert(QLatin1String("code"), true);
    return attributes;
}

QJsonObject blockAttributesFromBlock(const QTextBlock &block)
{
    QJsonObject attributes;
    const int level = block.blockFormat().headingLevel();
    if (level >= 1 && level <= 6)
        attributes.insert(QLatin1String("header"), level);
    if (const QTextList *list = block.textList()) {
        switch (list->format().style()) {
        case QTextListFormat::ListDecimal:
        case QTextListFormat::ListLowerAlpha:
        case QTextListFormat::ListUpperAlpha:
        case QTextListFormat::ListLowerRoman:
        case QTextListFormat::ListUpperRoman:
            attributes.insert(QLatin1String("list"), QStringLiteral("ordered"));
            break;
        case QTextListFormat::ListDisc:
        case QTextListFormat::ListCircle:
        case QTextListFormat::ListSquare:
            attributes.insert(QLatin1String("list"), QStringLiteral("bullet"));
            break;
        default:
            break;
        }
    }
    return attributes;
}

// Qt lays out a paragraph as a whole, and again for every key typed in it,
// so a paragraph of thousands of line breaks is kept as paragraphs of
// linesPerJoinedParagraph lines, as the text past the line budget is.
void appendRun(QJsonArray *ops, const QString &text, const QJsonObject &attributes, const QJsonObject &blockAttributes,
    int *lineBreaks)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QChar::LineSeparator || ++*lineBreaks < linesPerJoinedParagraph)
            continue;
        if (i > from)
            ops->append(deltaInsertOp(text.mid(from, i - from), attributes));
        ops->append(deltaInsertOp(QStringLiteral("\n"), blockAttributes));
        *lineBreaks = 0;
        from = i + 1;
    }
    // A run without a split, nearly every run, goes in as it is, uncopied.
    if (from == 0 && !text.isEmpty())
        ops->append(deltaInsertOp(text, attributes));
    else if (from < text.size())
        ops->append(deltaInsertOp(text.mid(from), attributes));
}

void appendBlock(QJsonArray *ops, const QTextBlock &block, DocumentReader reader)
{
    // The Markdown reader makes a heading bold only up to its first mark;
    // through HTML the heading's own weight reached every run.
    const bool boldHeading = reader == DocumentReader::Markdown && block.blockFormat().headingLevel() > 0;
    // From Markdown, neighbouring runs whose formats differ only in what a
    // note does not keep are one insert, as the HTML round trip made them.
    const bool joinRuns = reader == DocumentReader::Markdown;
    const QJsonObject blockAttributes = blockAttributesFromBlock(block);
    int lineBreaks = 0;
    QString runText;
    QJsonObject runAttributes;
    const auto flush = [&] {
        appendRun(ops, runText, runAttributes, blockAttributes, &lineBreaks);
        runText.clear();
    };
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        if (format.isImageFormat()) {
            const QString name = format.toImageFormat().name();
            if (name.isEmpty() || isScriptUrl(name))
                continue;
            flush();
            const QString key = name.startsWith(attachmentUrlPrefix()) ? QStringLiteral("lumora-notes-attachment")
                                                                       : QStringLiteral("image");
            // Equal neighbouring images share one fragment, one character each.
            for (qsizetype i = 0; i < fragment.length(); ++i)
                ops->append(deltaInsertOp(QJsonObject { { key, name } }));
            continue;
        }
        QString text = fragment.text();
        text.remove(objectReplacement);
        if (text.isEmpty())
            continue;
        QJsonObject attributes = inlineAttributesFromHtmlFormat(format);
        if (boldHeading)
            attributes.insert(QLatin1String("bold"), true);
        if (!joinRuns || attributes != runAttributes)
            flush();
        runText += text;
        runAttributes = attributes;
    }
    flush();
    ops->append(deltaInsertOp(QStringLiteral("\n"), blockAttributes));
}

// Table cells are read by the editor's own reader, which trusts its links.
// From Markdown a cell is one line: a line break before its text is an empty
// paragraph Qt's reader leaves in the first cell after a code block.
void cleanTableCells(QJsonObject *table, DocumentReader reader)
{
    const QJsonObject lineBreak { { QLatin1String("insert"), QStringLiteral("\n") } };
    const QLatin1String link("link");
    QJsonArray rows = table->value(QLatin1String("cells")).toArray();
    bool changed = false;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QJsonArray cells = rows.at(r).toArray();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            QJsonArray ops = cells.at(c).toArray();
            if (reader == DocumentReader::Markdown && ops.size() > 1 && ops.first().toObject() == lineBreak) {
                ops.removeFirst();
                cells[c] = ops;
                rows[r] = cells;
                changed = true;
            }
            for (qsizetype o = 0; o < ops.size(); ++o) {
                QJsonObject op = ops.at(o).toObject();
                QJsonObject attributes = op.value(QLatin1String("attributes")).toObject();
                if (!isScriptUrl(attributes.value(link).toString()))
                    continue;
                attributes.remove(link);
                if (attributes.isEmpty())
                    op.remove(QLatin1String("attributes"));
                else
                    op.insert(QLatin1String("attributes"), attributes);
                ops[o] = op;
                cells[c] = ops;
                rows[r] = cells;
                changed = true;
            }
        }
    }
    if (changed)
        table->insert(QLatin1String("cells"), rows);
}

QJsonArray emptyLine()
{
    return QJsonArray { deltaInsertOp(QStringLiteral("\n")) };
}

// Tables inside table cells come out flattened by the cleaning; should one
// slip through, its text still belongs to the outermost table.
const QTextTable *outermostTable(const QTextBlock &block)
{
    const QTextTable *table = QTextCursor(block).currentTable();
    for (QTextFrame *frame = table ? table->parentFrame() : nullptr; frame; frame = frame->parentFrame()) {
        if (const auto *outer = qobject_cast<const QTextTable *>(frame))
            table = outer;
    }
    return table;
}

} // namespace

QString deltaToHtml(const QString &deltaJson, const InlineEmbedWriter &embedHtml)
{
    QString html = QStringLiteral("<html><body>\n");
    const QList<DeltaLine> lines = deltaLines(parseDeltaOps(deltaJson), { dividerKey(), tableKey() });
    for (const DeltaLine &line : lines) {
        if (!line.standaloneEmbed) {
            html += lineHtml(line, embedHtml);
            continue;
        }
        const QJsonObject &embed = line.pieces.constFirst().embed;
        if (deltaEmbedKey(embed) == dividerKey())
            html += QLatin1String("<hr>\n");
        else
            html += tableHtml(embed.value(tableKey()));
    }
    html += QLatin1String("</body></html>");
    return html;
}

QString stripUnsafeHtml(const QString &html)
{
    return cleanHtml(html, HtmlCleaning::Safe);
}

QJsonArray htmlToDelta(const QString &html)
{
    if (html.trimmed().isEmpty())
        return emptyLine();
    const QString cleaned = cleanHtml(html, HtmlCleaning::Readable);
    QTextDocument document;
    document.setHtml(cleaned);
    QJsonArray ops = textDocumentToDelta(document, DocumentReader::Html);
    if (!cleaned.contains(QChar(joinedLineMark)))
        return ops;
    for (qsizetype i = 0; i < ops.size(); ++i) {
        QJsonObject op = ops.at(i).toObject();
        const QJsonValue insert = op.value(QLatin1String("insert"));
        if (!insert.isString() || !insert.toString().contains(QChar(joinedLineMark)))
            continue;
        op.insert(QLatin1String("insert"), insert.toString().replace(QChar(joinedLineMark), QChar::LineSeparator));
        ops[i] = op;
    }
    return ops;
}

QJsonArray textDocumentToDelta(const QTextDocument &document, DocumentReader reader)
{
    QJsonArray ops;
    QSet<const QTextTable *> seenTables;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (const QTextTable *table = outermostTable(block)) {
            if (seenTables.contains(table))
                continue;
            seenTables.insert(table);
            QJsonObject object = tableObjectFromTextTable(table);
            object.insert(QLatin1String("hasHeader"), table->rows() >= 1);
            cleanTableCells(&object, reader);
            const QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
            ops.append(deltaInsertOp(QJsonObject { { tableKey(), json } }));
            ops.append(deltaInsertOp(QStringLiteral("\n")));
            continue;
        }
        appendBlock(&ops, block, reader);
    }
    return ops.isEmpty() ? emptyLine() : ops;
}
