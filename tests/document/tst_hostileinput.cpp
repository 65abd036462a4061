// Hostile input at the three doors text comes in by: pasted HTML, pasted
// Markdown and stored note bodies. Each row names the input and what must
// come of it; every row also checks that no word of the input is lost.

#include "document/convertcommon.h"
#include "document/deltadocument.h"
#include "document/html.h"
#include "document/htmlcleaner.h"
#include "document/markdown.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

namespace {

// The most cells a table may have and still load as a table.
constexpr qint64 tableLimit = 10000;

QString repeated(const char *piece, int times)
{
    return QString::fromUtf8(piece).repeated(times);
}

// Words the rows plant in their input, numbered so each is told apart.
QStringList words(const char *stem, int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(QString::fromUtf8(stem) + QString::number(i));
    return result;
}

// An HTML table of `rows` rows of 100 cells each.
QString grid(int rows)
{
    const QString row = QStringLiteral("<tr>") + repeated("<td>cell</td>", 100) + QStringLiteral("</tr>");
    return QStringLiteral("<table>") + row.repeated(rows) + QStringLiteral("</table>");
}

QString nestedTables(int levels)
{
    QString html;
    for (int i = 0; i < levels; ++i)
        html += QStringLiteral("<table><tr><td>level%1 ").arg(i);
    return html;
}

struct Outcome
{
    QString text;
    int tables = 0;
    qint64 largestTable = 0;
    bool notice = false;
};

// Everything a person would read in the operations, table cells included.
void collect(const QJsonArray &ops, Outcome *outcome)
{
    for (const QJsonValue &value : ops) {
        const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
        if (insert.isString()) {
            const QString text = insert.toString();
            outcome->text += text;
            if (text.startsWith(QStringLiteral("Table of ")) && text.endsWith(QStringLiteral("cells, kept as text")))
                outcome->notice = true;
            continue;
        }
        const QJsonValue table = insert.toObject().value(QStringLiteral("table"));
        if (table.isUndefined())
            continue;
        const std::optional<DocumentConvert::TableEmbed> embed = DocumentConvert::parseTableEmbed(table);
        QVERIFY(embed);
        ++outcome->tables;
        outcome->largestTable = std::max(outcome->largestTable, qint64(embed->rows.size()) * embed->columnCount);
        for (const QJsonValue &row : embed->rows) {
            for (const QJsonValue &cell : row.toArray()) {
                outcome->text += QLatin1Char(' ');
                if (cell.isString())
                    outcome->text += cell.toString();
                else
                    collect(cell.toArray(), outcome);
            }
        }
    }
}

Outcome outcomeOf(const QJsonArray &ops)
{
    Outcome outcome;
    collect(ops, &outcome);
    return outcome;
}

void verifyNothingLost(const Outcome &outcome, const QStringList &expectedWords)
{
    for (const QString &word : expectedWords) {
        if (!outcome.text.contains(word))
            QFAIL(qPrintable(QStringLiteral("lost \"%1\"").arg(word)));
    }
}

// A table embed of rows x columns whose first row holds every cell; the
// others are empty, so a few kilobytes describe the whole grid.
QString wideTableBody(int rows, int columns, const QString &firstWord)
{
    QJsonArray first;
    first.append(firstWord);
    for (int c = 1; c < columns; ++c)
        first.append(QString());
    QJsonArray cells { first };
    for (int r = 1; r < rows; ++r)
        cells.append(QJsonArray());
    cells.append(QJsonArray { QStringLiteral("lastrow") });
    const QString table = QString::fromUtf8(
        QJsonDocument(QJsonObject { { QStringLiteral("cells"), cells } }).toJson(QJsonDocument::Compact));
    const QJsonArray ops { QJsonObject { { QStringLiteral("insert"), QStringLiteral("before\n") } },
        QJsonObject { { QStringLiteral("insert"), QJsonObject { { QStringLiteral("table"), table } } } },
        QJsonObject { { QStringLiteral("insert"), QStringLiteral("\nafter\n") } } };
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void doors_data();
    void doors();
    void longTextKeepsEveryLine_data();
    void longTextKeepsEveryLine();
    void longListsKeepEveryItem_data();
    void longListsKeepEveryItem();
    void cleanedHtmlRunsNoScript_data();
    void cleanedHtmlRunsNoScript();
};

void TestHostileInput::doors_data()
{
    QTest::addColumn<QString>("door"); // pasted "html", pasted "markdown" or a stored "note"
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("tables");
    QTest::addColumn<bool>("notice");

    const QString html = QStringLiteral("html");
    const QString markdown = QStringLiteral("markdown");
    const QString note = QStringLiteral("note");
    QTest::newRow("cells and rows never closed, 401 x 400")
        << html
        << QString(QStringLiteral("<table><tr><td>first") + repeated("<td>", 400) + repeated("<tr>", 400)
               + QStringLiteral("<td>last"))
        << QStringList { QStringLiteral("first"), QStringLiteral("last") } << 0 << true;
    QTest::newRow("a colspan asking for a million columns")
        << html << QStringLiteral("<table><tr><td colspan=\"1000000\">wide</td></tr><tr><td>below</td></tr></table>")
        << QStringList { QStringLiteral("wide"), QStringLiteral("below") } << 0 << true;
    QTest::newRow("100 x 100 cells stay a table")
        << html << grid(100) << QStringList { QStringLiteral("cell") } << 1 << false;
    QTest::newRow("101 x 100 cells become text")
        << html << grid(101) << QStringList { QStringLiteral("cell") } << 0 << true;
    QTest::newRow("cells outside a table, one a million columns wide")
        << html
        << QStringLiteral("<th>head</th><td colspan=1000000>wide<tr><td>next</td><table><tr><td>in</td></tr></table>")
        << QStringList { QStringLiteral("head"), QStringLiteral("wide"), QStringLiteral("next"), QStringLiteral("in") }
        << 1 << false;
    QTest::newRow("270 tables, each in a cell of the one before")
        << html << nestedTables(270) << words("level", 270) << 1 << false;
    QTest::newRow("closed nested tables flatten into their cell")
        << html
        << QStringLiteral("<table><tr><td>out<table><tr><td>in1</td><td>in2</td></tr><tr><td>in3</td></tr></table>"
                          "</td><td>side</td></tr></table><p>after</p>")
        << QStringList { QStringLiteral("out"), QStringLiteral("in1"), QStringLiteral("in2"), QStringLiteral("in3"),
               QStringLiteral("side"), QStringLiteral("after") }
        << 1 << false;
    QTest::newRow("5000 bold elements never closed") << html << QString(repeated("<b>x", 5000) + QStringLiteral("deep"))
                                                     << QStringList { QStringLiteral("deep") } << 0 << false;
    QTest::newRow("5000 lists, each inside the one before")
        << html << QString(repeated("<ul><li>item", 5000) + QStringLiteral("deep"))
        << QStringList { QStringLiteral("deep") } << 0 << false;
    QTest::newRow("10000 style tags never closed")
        << html << QString(repeated("<style>", 10000) + QStringLiteral("shown"))
        << QStringList { QStringLiteral("shown") } << 0 << false;
    QTest::newRow("script tag hidden in a tag name")
        << html << QStringLiteral("<scr<script></script>ipt>alert(1)</script>after")
        << QStringList { QStringLiteral("alert(1)"), QStringLiteral("after") } << 0 << false;
    QTest::newRow("tag open at the end") << html << QStringLiteral("<p>before</p><a href=\"x>dangling")
                                         << QStringList { QStringLiteral("before"), QStringLiteral("dangling") } << 0
                                         << false;
    QTest::newRow("comparisons in text") << html << QStringLiteral("<p>a < b and c<d, 1<2</p>")
                                         << QStringList { QStringLiteral("a < b and c<d, 1<2") } << 0 << false;
    QTest::newRow("table of 60 columns and 200 rows")
        << markdown
        << QString(QStringLiteral("| head ") + repeated("| h ", 59) + QStringLiteral("|\n") + repeated("|---", 60)
               + QStringLiteral("|\n") + repeated("| body |\n", 199))
        << QStringList { QStringLiteral("head"), QStringLiteral("body") } << 0 << true;
    QTest::newRow("table of 2 columns and 20000 rows")
        << markdown
        << QString(QStringLiteral("| head | h |\n|---|---|\n") + repeated("| body | b |\n", 19999)
               + QStringLiteral("| last | l |\n\nafter\n"))
        << QStringList { QStringLiteral("head"), QStringLiteral("body"), QStringLiteral("last"),
               QStringLiteral("after") }
        << 0 << true;
    QTest::newRow("table in a code fence is text") << markdown
                                                   << QString(QStringLiteral("```\n| a | b |\n|---|---|\n")
                                                          + repeated("| c | d |\n", 6000) + QStringLiteral("```\n"))
                                                   << QStringList { QStringLiteral("| c | d |") } << 0 << false;
    QTest::newRow("small table stays") << markdown << QStringLiteral("| a | b |\n|---|---|\n| c | d |\n")
                                       << QStringList { QStringLiteral("a"), QStringLiteral("d") } << 1 << false;
    QTest::newRow("raw HTML of nested tables") << markdown << QString(QStringLiteral("text\n\n") + nestedTables(50))
                                               << QStringList { QStringLiteral("text") } << 0 << false;
    QTest::newRow("5000 emphasis marks in one paragraph")
        << markdown << QString(repeated("*a", 5000) + QStringLiteral(" tail")) << QStringList { QStringLiteral("tail") }
        << 0 << false;
    QTest::newRow("1000 nested quotes") << markdown << QString(repeated(">", 1000) + QStringLiteral(" quoted"))
                                        << QStringList { QStringLiteral("quoted") } << 0 << false;
    QTest::newRow("500 nested lists") << markdown << [] {
        QString text;
        for (int i = 0; i < 500; ++i)
            text += QString(i * 2, QLatin1Char(' ')) + QStringLiteral("- item%1\n").arg(i);
        return text;
    }() << words("item", 500) << 0 << false;
    QTest::newRow("table of 300 x 400 cells in a few kilobytes")
        << note << wideTableBody(300, 400, QStringLiteral("corner"))
        << QStringList { QStringLiteral("before"), QStringLiteral("corner"), QStringLiteral("lastrow"),
               QStringLiteral("after") }
        << 0 << true;
    QTest::newRow("table of exactly 10000 cells")
        << note << wideTableBody(99, 100, QStringLiteral("corner"))
        << QStringList { QStringLiteral("corner"), QStringLiteral("after") } << 1 << false;
    QTest::newRow("one cell more") << note << wideTableBody(100, 100, QStringLiteral("corner"))
                                   << QStringList { QStringLiteral("corner"), QStringLiteral("lastrow") } << 0 << true;
    QTest::newRow("cut-off JSON loads as its text")
        << note << QStringLiteral("[{\"insert\":\"kept words\\n\"},{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"a")
        << QStringList { QStringLiteral("kept words") } << 0 << false;
}

void TestHostileInput::doors()
{
    QFETCH(QString, door);
    QFETCH(QString, input);
    QFETCH(QStringList, words);
    QFETCH(int, tables);
    QFETCH(bool, notice);

    QJsonArray ops;
    if (door == QLatin1String("note")) {
        DeltaDocument document;
        document.setJson(input);
        const QString saved = document.toJson();
        ops = QJsonDocument::fromJson(saved.toUtf8()).array();
        // A table pads its rows to the longest, so a note may grow by its
        // empty cells, never by more than a table may hold.
        QVERIFY2(saved.size() <= 2 * input.size() + 4 * tableLimit, qPrintable(QString::number(saved.size())));
    } else {
        ops = door == QLatin1String("html") ? htmlToDelta(input) : markdownToDelta(input);
    }
    const Outcome outcome = outcomeOf(ops);
    verifyNothingLost(outcome, words);
    QCOMPARE(outcome.tables, tables);
    QCOMPARE(outcome.notice, notice);
    QVERIFY(outcome.largestTable <= tableLimit);
}

// Long lists are read as several lists in a row; no item may go missing or
// lose its kind on the way.
void TestHostileInput::longTextKeepsEveryLine_data()
{
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("before");
    QTest::addColumn<qsizetype>("lines");

    using DocumentConvert::maxReadLines;
    // Past the budget, 6,400 more lines: a hundred joined paragraphs.
    const qsizetype over = maxReadLines + 6400;
    QTest::newRow("html paragraphs in a page")
        << QStringLiteral("html") << QStringLiteral("<p>w%1</p>\n")
        << QStringLiteral("<html><head><title>t</title></head><body><!--StartFragment-->") << over;
    QTest::newRow("html paragraphs, at the budget")
        << QStringLiteral("html") << QStringLiteral("<p>w%1</p>\n") << QString() << maxReadLines;
    QTest::newRow("html line breaks") << QStringLiteral("html") << QStringLiteral("w%1<br>") << QString() << over;
    QTest::newRow("html list in a table cell")
        << QStringLiteral("html") << QStringLiteral("<li>w%1") << QStringLiteral("<table><tr><td><ul>") << over;
    QTest::newRow("html preformatted, empty lines kept")
        << QStringLiteral("html") << QStringLiteral("w%1\n\n") << QStringLiteral("<pre>") << over;
    QTest::newRow("markdown bullets") << QStringLiteral("markdown") << QStringLiteral("- w%1\n") << QString() << over;
    QTest::newRow("markdown, at the budget")
        << QStringLiteral("markdown") << QStringLiteral("- w%1\n") << QString() << maxReadLines;
    QTest::newRow("plain text, CRLF") << QStringLiteral("text") << QStringLiteral("w%1\r\n") << QString() << over;
}

void TestHostileInput::longTextKeepsEveryLine()
{
    QFETCH(QString, door);
    QFETCH(QString, line);
    QFETCH(QString, before);
    QFETCH(qsizetype, lines);

    QString input = before;
    QStringList planted;
    for (qsizetype i = 0; i < lines; ++i) {
        planted.append(QStringLiteral("w%1").arg(i));
        input += line.arg(i);
    }
    const QJsonArray ops = door == QLatin1String("html") ? htmlToDelta(input)
        : door == QLatin1String("markdown")              ? markdownToDelta(input)
                                                         : plainTextToDelta(input);

    QString text = outcomeOf(ops).text;
    const qsizetype blocks = text.count(QLatin1Char('\n'));
    const bool joined = lines > DocumentConvert::maxReadLines;
    const QString notice = DocumentConvert::longTextNotice();
    const qsizetype noticeAt = text.indexOf(notice);
    QCOMPARE(noticeAt >= 0, joined);
    // Every line, in order, each on a line of its own.
    text.remove(notice);
    QStringList found;
    for (const QString &piece : text.split(QRegularExpression(QStringLiteral("[\\n\\x{2028}]")))) {
        const QString word = piece.trimmed().remove(QRegularExpression(QStringLiteral("^- ")));
        if (!word.isEmpty())
            found.append(word);
    }
    QCOMPARE(found, planted);
    QVERIFY(!text.contains(QLatin1Char('\r')));
    // Every paragraph, read or joined, stays short enough to lay out at
    // every keystroke.
    for (const QString &paragraph : text.split(QLatin1Char('\n')))
        QVERIFY(paragraph.count(QChar::LineSeparator) < DocumentConvert::linesPerJoinedParagraph);
    const qsizetype joinedBlocks = (std::max(lines, input.count(QLatin1Char('\n'))) - DocumentConvert::maxReadLines)
        / DocumentConvert::linesPerJoinedParagraph;
    QVERIFY2(
        blocks <= DocumentConvert::maxReadLines + (joined ? joinedBlocks + 3 : 1), qPrintable(QString::number(blocks)));
    if (line.contains(QLatin1String("\n\n")))
        QVERIFY(text.contains(QStringLiteral("w20001\u2028\u2028w20002")));
}

void TestHostileInput::longListsKeepEveryItem_data()
{
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("items");

    QTest::newRow("pasted bullets") << QStringLiteral("html") << QStringLiteral("bullet") << 250;
    QTest::newRow("pasted numbers") << QStringLiteral("html") << QStringLiteral("ordered") << 250;
    QTest::newRow("stored checklist") << QStringLiteral("note") << QStringLiteral("unchecked") << 2500;
    QTest::newRow("stored numbers") << QStringLiteral("note") << QStringLiteral("ordered") << 2500;
}

void TestHostileInput::longListsKeepEveryItem()
{
    QFETCH(QString, door);
    QFETCH(QString, kind);
    QFETCH(int, items);

    QJsonArray ops;
    if (door == QLatin1String("html")) {
        const QString tag = kind == QLatin1String("ordered") ? QStringLiteral("ol") : QStringLiteral("ul");
        QString html = QLatin1Char('<') + tag + QLatin1Char('>');
        for (int i = 0; i < items; ++i)
            html += QStringLiteral("<li>item%1").arg(i);
        ops = htmlToDelta(html);
    } else {
        QJsonArray body;
        for (int i = 0; i < items; ++i) {
            body.append(QJsonObject { { QStringLiteral("insert"), QStringLiteral("item%1").arg(i) } });
            body.append(QJsonObject { { QStringLiteral("insert"), QStringLiteral("\n") },
                { QStringLiteral("attributes"), QJsonObject { { QStringLiteral("list"), kind } } } });
        }
        DeltaDocument document;
        document.setDelta(body);
        ops = document.toDelta();
        // Opening a note must not change it: loaded in runs, saved the same.
        QCOMPARE(ops, body);
        // Long lists load in parts; numbers must still count on where Qt
        // can be told a list's start, and up to a thousand elsewhere.
        const int counted = QT_VERSION >= QT_VERSION_CHECK(6, 6, 0) ? items : std::min(items, 1000);
        int number = 0;
        for (QTextBlock block = document.document()->begin(); block.isValid() && number < counted;
             block = block.next()) {
            if (!block.textList())
                continue;
            ++number;
            if (kind == QLatin1String("ordered"))
                QCOMPARE(block.textList()->itemText(block), QString::number(number) + QLatin1Char('.'));
        }
        QCOMPARE(number, counted);
    }
    verifyNothingLost(outcomeOf(ops), words("item", items));
    int listLines = 0;
    for (const QJsonValue &op : std::as_const(ops)) {
        if (op.toObject().value(QStringLiteral("attributes")).toObject().value(QStringLiteral("list")) == kind)
            ++listLines;
    }
    QCOMPARE(listLines, items);
}

void TestHostileInput::cleanedHtmlRunsNoScript_data()
{
    QTest::addColumn<QString>("html");

    const QStringList vectors = { QStringLiteral("<scr<script></script>ipt>alert(1)</script>"),
        QStringLiteral("<SCRIPT SRC=//x.y/a.js></SCRIPT>"), QStringLiteral("<script/x>alert(1)</script x>"),
        QStringLiteral("<script\n>alert(1)</script\t>"), QStringLiteral("<<script>script>alert(1)<</script>/script>"),
        QStringLiteral("<script>alert(1)"), QStringLiteral("<scr\x01ipt>alert(1)</script>"),
        QStringLiteral("<img src=x onerror=alert(1)>"), QStringLiteral("<img src=x ONERROR = \"alert(1)\">"),
        QStringLiteral("<svg/onload=alert(1)>"), QStringLiteral("<body onload='alert(1)'>"),
        QStringLiteral("<a href=\"javascript:alert(1)\">x</a>"),
        QStringLiteral("<a href=\" JaVaScRiPt:alert(1)\">x</a>"),
        QStringLiteral("<a href=\"java\tscript:alert(1)\">x</a>"),
        QStringLiteral("<a href=\"&#106;avascript&#58;alert(1)\">x</a>"),
        QStringLiteral("<a href=\"&#x6A;avascript&colon;alert(1)\">x</a>"),
        QStringLiteral("<a href=javascript&#0000058alert(1)>x</a>"), QStringLiteral("<iframe src=\"vbscript:x\">"),
        QStringLiteral("<!--<script>alert(1)</script>-->"), QStringLiteral("<![CDATA[<script>alert(1)</script>]]>"),
        QStringLiteral("<a title=\"x\" onclick=\"y\" href=\"ok\" onmouseover=z>t</a>"),
        QStringLiteral("<style><script>alert(1)</script>"), QStringLiteral("<h3 id=\"a><script>x()</script>\">t</h3>"),
        QString(QStringLiteral("<ul onclick=\"x()\">") + repeated("<li>item", 150)) };
    for (const QString &vector : vectors)
        QTest::newRow(qPrintable(vector.left(60))) << vector;
}

void TestHostileInput::cleanedHtmlRunsNoScript()
{
    QFETCH(QString, html);
    static const QRegularExpression scriptTag(
        QStringLiteral("<script[\\s/>]|<script$"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression handler(
        QStringLiteral("<[^<>]*[\\s/\"']on[a-z]+\\s*="), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scriptUrl(
        QStringLiteral("<[^<>]*(javascript|vbscript|&#)"), QRegularExpression::CaseInsensitiveOption);

    const QString cleaned = stripUnsafeHtml(html);
    // What the HTML reader is given: also bounded, never less safe.
    const QString readable = DocumentConvert::cleanHtml(html, DocumentConvert::HtmlCleaning::Readable);
    for (const QString &output : { cleaned, readable }) {
        QVERIFY2(!output.contains(scriptTag), qPrintable(output));
        QVERIFY2(!output.contains(handler), qPrintable(output));
        QVERIFY2(!output.contains(scriptUrl), qPrintable(output));
    }
    // One pass leaves nothing for a second pass to find.
    QCOMPARE(stripUnsafeHtml(cleaned), cleaned);
}

LUMORA_TEST_MAIN(TestHostileInput)

#include "tst_hostileinput.moc"
