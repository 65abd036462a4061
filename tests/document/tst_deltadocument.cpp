#include "document/deltadocument.h"
#include "document/tableconvert.h"
#include "document/wordcount.h"

#include "documenttest.h"
#include "testmain.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <memory>

using DocumentTest::compact;
using DocumentTest::js;

namespace {

QString describeCharFormat(const QTextCharFormat &format)
{
    QString out = QStringLiteral("%1px").arg(format.intProperty(QTextFormat::FontPixelSize));
    if (format.hasProperty(QTextFormat::FontWeight))
        out += QStringLiteral(" weight %1").arg(format.fontWeight());
    if (format.fontFixedPitch())
        out += QStringLiteral(" fixed");
    if (format.foreground().style() != Qt::NoBrush)
        out += QLatin1Char(' ') + format.foreground().color().name();
    if (format.background().style() != Qt::NoBrush)
        out += QStringLiteral(" on ") + format.background().color().name();
    return out;
}

// The first block's text, margins (top bottom left right), line height and
// background, then its first character's format and any embed it holds.
QString describeFirstBlock(const QTextDocument *document)
{
    const QTextBlock block = document->firstBlock();
    const QTextBlockFormat format = block.blockFormat();
    const QTextCharFormat first = block.begin().fragment().charFormat();
    QString out = block.text().replace(QChar(0xFFFC), QStringLiteral("[obj]"))
        + QString::asprintf(
            ": %g %g %g %g ", format.topMargin(), format.bottomMargin(), format.leftMargin(), format.rightMargin());
    out += format.lineHeightType() == QTextBlockFormat::ProportionalHeight
        ? QString::asprintf("%g%%", format.lineHeight())
        : QStringLiteral("single");
    if (format.background().style() != Qt::NoBrush)
        out += QStringLiteral(" on ") + format.background().color().name();
    out += QStringLiteral(", ") + describeCharFormat(first);
    if (describeCharFormat(block.charFormat()) != describeCharFormat(first))
        out += QStringLiteral(", block ") + describeCharFormat(block.charFormat());
    if (first.hasProperty(EmbedKeyProperty))
        out += QString::asprintf(", object %d ", first.objectType()) + first.stringProperty(EmbedKeyProperty)
            + QLatin1Char('=') + first.stringProperty(EmbedValueProperty);
    return out;
}

// Per block: "-" outside a list, else the list's index by first use, its
// style (-1 disc, -4 decimal), indent, list type and checkbox marker.
QString describeLists(const QTextDocument *document)
{
    QStringList out;
    QList<QTextList *> lists;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextList *list = block.textList();
        if (list && !lists.contains(list))
            lists.append(list);
        out << (list ? QString::asprintf(
                           "%d %d %d ", int(lists.indexOf(list)), int(list->format().style()), list->format().indent())
                    + block.blockFormat().stringProperty(ListTypeProperty)
                    + QString::asprintf(" %d", int(block.blockFormat().marker()))
                     : QStringLiteral("-"));
    }
    return out.join(QStringLiteral(" | "));
}

} // namespace

class TestDeltaDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setBodyFontPixelSize(0); }
    void roundTrip_data();
    void roundTrip();
    void blockLook_data();
    void blockLook();
    void lists_data();
    void lists();
    void checkedMarkerWinsOverListType();
    void loadingATable();
    void blockRuns_data();
    void blockRuns();
    void printingCopy();
    void objectsInTableSpacers_data();
    void objectsInTableSpacers();
    void wordCount_data();
    void wordCount();
    void spacersMarkOnlyNewBlocks_data();
    void spacersMarkOnlyNewBlocks();
};

// An empty expected body means the input comes back unchanged.
void TestDeltaDocument::roundTrip_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    const QString empty = js(R"([{"insert":"\n"}])");
    QTest::newRow("empty text") << QString() << empty;
    QTest::newRow("empty array") << QStringLiteral("[]") << empty;
    QTest::newRow("plain text") << QStringLiteral("old note\nsecond")
                                << js(R"([{"insert":"old note"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])");
    QTest::newRow("inline attributes") << js(
        R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"italic":true},"insert":"i"},)"
        R"({"attributes":{"underline":true},"insert":"u"},{"attributes":{"strike":true},"insert":"s"},)"
        R"({"attributes":{"code":true},"insert":"c"},{"attributes":{"link":"https://a.example/?q=1"},"insert":"l"},)"
        R"({"insert":"\n"}])") << QString();
    QTest::newRow("escapes, non-ASCII and lone surrogates")
        << js(R"([{"insert":"q\"b\\s/\b\f\t\u0001\u001f Grüße 東京 🎉 \ud83dx\udc00"},{"insert":"\n"}])") << QString();
    // A link's underline is the link's own; false values set nothing.
    QTest::newRow("ignored operations, values and keys")
        << js(R"([{"retain":3},{"insert":"a","attributes":{"bold":false,"italic":false,"code":false}},{"delete":1},)"
              R"({"attributes":{"bold":true}},7,{"insert":"t","retain":3},)"
              R"({"insert":"l","attributes":{"link":"https://x","underline":true}},)"
              R"({"insert":"\n","attributes":{"blockquote":false}},{"delete":1},{"insert":""}])")
        << js(R"([{"insert":"at"},{"attributes":{"link":"https://x"},"insert":"l"},{"insert":"\n"}])");
    QTest::newRow("headings: 1 and 2 make runs bold, 7 and 0 are none")
        << js(R"([{"insert":"Big","attributes":{"bold":true}},{"insert":" title"},{"insert":"\n","attributes":{"header":2}},)"
              R"({"insert":"a"},{"attributes":{"header":3},"insert":"\n"},{"insert":"b"},)"
              R"({"attributes":{"header":7},"insert":"\n"},{"insert":"c"},{"attributes":{"header":0},"insert":"\n"}])")
        << js(R"([{"attributes":{"bold":true},"insert":"Big title"},{"attributes":{"header":2},"insert":"\n"},)"
              R"({"insert":"a"},{"attributes":{"header":3},"insert":"\n"},{"insert":"b"},{"insert":"\n"},)"
              R"({"insert":"c"},{"insert":"\n"}])");
    QTest::newRow("lists; one insert makes two bullet lines")
        << js(R"([{"insert":"eggs\nmilk\n","attributes":{"list":"bullet"}},{"insert":"a"},)"
              R"({"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},)"
              R"({"insert":"c"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"d"},)"
              R"({"attributes":{"list":"dashed"},"insert":"\n"}])")
        << js(R"([{"insert":"eggs"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"milk"},)"
              R"({"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
              R"({"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"c"},)"
              R"({"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"d"},{"attributes":{"list":"dashed"},"insert":"\n"}])");
    QTest::newRow("code block language and code text")
        << js(R"([{"insert":"x = 1"},{"insert":"\n","attributes":{"code-block":"python"}},)"
              R"({"insert":"y"},{"insert":"\n","attributes":{"code-block":true}}])")
        << js(R"([{"attributes":{"code":true},"insert":"x = 1"},{"attributes":{"code-block":"python"},"insert":"\n"},)"
              R"({"attributes":{"code":true},"insert":"y"},{"attributes":{"code-block":true},"insert":"\n"}])");
    QTest::newRow("quote and alignments")
        << js(R"([{"insert":"q"},{"attributes":{"align":"center","blockquote":true},"insert":"\n"},{"insert":"r"},)"
              R"({"attributes":{"align":"right"},"insert":"\n"},{"insert":"j"},{"attributes":{"align":"justify"},"insert":"\n"},)"
              R"({"insert":"l"},{"attributes":{"align":"left"},"insert":"\n"}])")
        << js(R"([{"insert":"q"},{"attributes":{"align":"center","blockquote":true},"insert":"\n"},{"insert":"r"},)"
              R"({"attributes":{"align":"right"},"insert":"\n"},{"insert":"j"},{"attributes":{"align":"justify"},"insert":"\n"},)"
              R"({"insert":"l"},{"insert":"\n"}])");
    QTest::newRow("unknown attributes survive")
        << js(R"([{"insert":"hi","attributes":{"color":"#f00","size":{"pt":3,"k\"":[1.5,1e300,-3,null,9007199254740993]},)"
              R"("list":"bullet","bold":true}},{"insert":"f","attributes":{"font":"serif"}},)"
              R"({"insert":"\n","attributes":{"indent":2,"direction":"rtl","bold":true,"header":1}}])")
        << js(R"([{"attributes":{"bold":true,"color":"#f00","size":{"k\"":[1.5,1e+300,-3,null,9007199254740993],"pt":3}},)"
              R"("insert":"hi"},{"attributes":{"bold":true,"font":"serif"},"insert":"f"},)"
              R"({"attributes":{"direction":"rtl","header":1,"indent":2},"insert":"\n"}])");
    QTest::newRow("CRLF line ends, missing final newline")
        << js(R"([{"insert":"a\r\nb\r\n"},{"insert":"t\r"},{"insert":"\n","attributes":{"header":2}},{"insert":"last"}])")
        << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"t"},)"
              R"({"attributes":{"header":2},"insert":"\n"},{"insert":"last"},{"insert":"\n"}])");
    QTest::newRow("dividers: values kept as they came, equal ones stay apart")
        << js(R"([{"insert":"a"},{"insert":{"divider":true}},{"insert":"b\n"},)"
              R"({"insert":{"divider":"hr"}},{"insert":{"divider":"hr"}},{"insert":"\n"}])")
        << js(R"([{"insert":"a"},{"insert":{"divider":true}},{"insert":"b"},{"insert":"\n"},)"
              R"({"insert":{"divider":"hr"}},{"insert":{"divider":"hr"}},{"insert":"\n"}])");
    // An attachment gains its prefix, an image of an attachment stays an
    // image; external images and unknown embeds are dropped.
    QTest::newRow("embeds")
        << js(R"([{"insert":{"lumora-notes-attachment":"abc"}},{"insert":"\n"},)"
              R"({"insert":{"image":"lumora-notes://attachment/def"}},{"insert":"\n"},{"insert":"a"},)"
              R"({"insert":{"image":"https://e.x/p.png"}},{"insert":{"video":"v"}},{"insert":{}},{"insert":"b\n"}])")
        << js(R"([{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/abc"}},{"insert":"\n"},)"
              R"({"insert":{"image":"lumora-notes://attachment/def"}},{"insert":"\n"},{"insert":"ab"},{"insert":"\n"}])");
    QTest::newRow("uneven table between text lines")
        << js(R"([{"insert":"x\n"},{"insert":{"table":"{'cells':[['a'],['b','c','d']],'hasHeader':false}"}},)"
              R"({"insert":"\ny\n"}])")
        << js(R"([{"insert":"x"},{"insert":"\n"},{"insert":{"table":"{'cells':[[[{'insert':'a'}],[],[]],)"
              R"([[{'insert':'b'}],[{'insert':'c'}],[{'insert':'d'}]]],'hasHeader':false}"}},{"insert":"\n"},)"
              R"({"insert":"y"},{"insert":"\n"}])");
    QTest::newRow("table alone: header by default, its line's attributes unused")
        << js(R"([{"insert":{"table":"{'cells':[['H']]}"}},{"insert":"\n","attributes":{"header":1}}])")
        << js(R"([{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'H'}]]],'hasHeader':true}"}},)"
              R"({"insert":"\n"}])");
    QTest::newRow("cell contents")
        << js(R"([{"insert":{"table":"{'cells':[[[{'insert':'x','attributes':{'italic':true}},{'insert':'y\\nz'},)"
              R"({'insert':{'image':'u'}},{'insert':'w','attributes':{'link':'https://a.b','x-c':1}}]],)"
              R"([5,null,{'a':1},'t\\uFFFC\\n\\uFFFC']],'hasHeader':false}"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"table":"{'cells':[[[{'attributes':{'italic':true},'insert':'x'},{'insert':'y'},)"
              R"({'insert':'\\n'},{'insert':'z'},{'attributes':{'link':'https://a.b','x-c':1},'insert':'w'}],[],[],[]],)"
              R"([[],[],[],[{'insert':'t'},{'insert':'\\n'}]]],'hasHeader':false}"}},{"insert":"\n"}])");
    // Neither a stray object character nor a piece that saving drops may
    // share a table's line.
    QTest::newRow("two tables in a row")
        << js(R"([{"insert":{"table":"{'cells':[['a']]}"}},{"insert":"\uFFFC\n"},)"
              R"({"insert":{"table":"{'cells':[['b']]}"}},{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'a'}]]],'hasHeader':true}"}},)"
              R"({"insert":"\n"},{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'b'}]]],)"
              R"('hasHeader':true}"}},{"insert":"\n"}])");
    QTest::newRow("bad tables are lost, neighbours stay apart")
        << js(R"([{"insert":"a\n"},{"insert":{"table":"{'cells':[]}"}},{"insert":"\n"},{"insert":{"table":"nope"}},)"
              R"({"insert":"\n"},{"insert":{"table":true}},{"insert":"\n"},{"insert":{"table":"[['a']]"}},{"insert":"\n"},)"
              R"({"insert":{"table":"{'cells':[[],[]]}"}},{"insert":"\nb\n"}])")
        << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])");
    QTest::newRow("byte order mark at the start of a text survives")
        << js(R"([{"insert":"\uFEFFx\n"},{"insert":"\uFEFF"},{"insert":"\n"}])")
        << js(R"([{"insert":"\ufeffx"},{"insert":"\n"},{"insert":"\ufeff"},{"insert":"\n"}])");
    QTest::newRow("table sharing its line is an embed character")
        << js(R"([{"insert":"t "},{"insert":{"table":"{}"}},{"insert":"\n"}])") << QString();
}

// Loads into a document that held another note, saves, and loads the saved
// body again.
void TestDeltaDocument::roundTrip()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"previous\n"}])"));
    doc.setJson(input);
    const QString once = doc.toJson();
    QCOMPARE(once, expected.isEmpty() ? input : expected);
    QCOMPARE(once, compact(doc.toDelta()));
    doc.setJson(once);
    QCOMPARE(doc.toJson(), once);
}

void TestDeltaDocument::blockLook_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<QColor>("window"); // set as the palette's window colour
    QTest::addColumn<QString>("expected");

    const auto line = [](const char *attributes) -> QString {
        return js(R"([{"insert":"x"},{"insert":"\n","attributes":)") + QString::fromUtf8(attributes)
            + QStringLiteral("}]");
    };
    const QString code
        = js(R"([{"insert":"c","attributes":{"code":true}},{"insert":"\n","attributes":{"code-block":true}}])");
    // The default body size and palette.
    const auto row = [](const char *name, const QString &json, const char *expected) {
        QTest::newRow(name) << json << 0 << QColor() << QString::fromUtf8(expected);
    };
    row("paragraph", line("{}"), "x: 4 8 0 0 150%, 16px");
    row("h1", line(R"({"header":1})"), "x: 24 12 0 0 130%, 28px weight 700");
    row("h6 muted, wins over code", line(R"({"header":6,"code-block":true})"),
        "x: 8 4 0 0 140%, 13px weight 600 #44474e");
    row("code wins over quote", line(R"({"code-block":"js","blockquote":true})"),
        "x: 0 0 12 12 150%, 14px fixed #44474e");
    row("quote", line(R"({"blockquote":true})"), "x: 4 8 16 0 150%, 16px");
    QTest::newRow("body size") << line("{}") << 20 << QColor() << QStringLiteral("x: 4 8 0 0 150%, 20px");
    QTest::newRow("h4 ignores body size")
        << line(R"({"header":4})") << 20 << QColor() << QStringLiteral("x: 12 6 0 0 140%, 16px weight 600");
    QTest::newRow("code, light palette")
        << code << 0 << QColor(0xF5, 0xF5, 0xF5)
        << QStringLiteral("c: 0 0 12 12 150%, 14px fixed #0e1b2c on #dce6f4, block 14px fixed #44474e");
    QTest::newRow("code, dark palette")
        << code << 0 << QColor(0x1E, 0x1E, 0x1E)
        << QStringLiteral("c: 0 0 12 12 150%, 14px fixed #d6e3f7 on #33445c, block 14px fixed #c4c6cf");
    row("attachment", js(R"([{"insert":{"lumora-notes-attachment":"id1"}},{"insert":"\n"}])"),
        "[obj]: 4 8 0 0 single, 16px, object 4097 lumora-notes-attachment=lumora-notes://attachment/id1");
    row("attachment image", js(R"([{"insert":{"image":"lumora-notes://attachment/id2"}},{"insert":"\n"}])"),
        "[obj]: 4 8 0 0 single, 16px, object 4097 image=lumora-notes://attachment/id2");
    row("external image", js(R"([{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])"),
        "[obj]: 4 8 0 0 single, 16px, object 0 image=https://x/y.png");
    row("divider", js(R"([{"insert":{"divider":true}},{"insert":"\n"}])"),
        "[obj]: 4 8 0 0 150%, 16px, object 4098 divider=");
    row("unknown embed", js(R"([{"insert":{"formula":"x^2"}},{"insert":"\n"}])"),
        "[obj]: 4 8 0 0 150%, 16px, object 0 formula=x^2");
}

void TestDeltaDocument::blockLook()
{
    QFETCH(QString, json);
    QFETCH(int, bodySize);
    QFETCH(QColor, window);
    QFETCH(QString, expected);
    setBodyFontPixelSize(bodySize);
    const QPalette original = QGuiApplication::palette();
    if (window.isValid()) {
        QPalette palette = original;
        palette.setColor(QPalette::Window, window);
        QGuiApplication::setPalette(palette);
    }
    DeltaDocument doc;
    doc.setJson(json);
    QGuiApplication::setPalette(original);
    QCOMPARE(doc.document()->defaultFont().pixelSize(), bodySize ? bodySize : 16);
    QCOMPARE(doc.document()->documentMargin(), 16.0);
    QCOMPARE(describeFirstBlock(doc.document()), expected);
}

// Types are space-separated; "-" is a paragraph outside any list.
void TestDeltaDocument::lists_data()
{
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ordered pair") << QStringLiteral("ordered ordered")
                                  << QStringLiteral("0 -4 1 ordered 0 | 0 -4 1 ordered 0");
    QTest::newRow("bullet then ordered") << QStringLiteral("bullet ordered")
                                         << QStringLiteral("0 -1 1 bullet 0 | 1 -4 1 ordered 0");
    QTest::newRow("bullets and checklist share") << QStringLiteral(
        "bullet unchecked checked") << QStringLiteral("0 -1 1 bullet 0 | 0 -1 1 unchecked 1 | 0 -1 1 checked 2");
    QTest::newRow("paragraph breaks a list")
        << QStringLiteral("ordered - ordered") << QStringLiteral("0 -4 1 ordered 0 | - | 1 -4 1 ordered 0");
}

void TestDeltaDocument::lists()
{
    QFETCH(QString, types);
    QFETCH(QString, expected);
    QStringList ops;
    for (const QString &type : types.split(QLatin1Char(' ')))
        ops << (type == QLatin1String("-")
                ? js(R"({"insert":"item\n"})")
                : js(R"({"insert":"item"},{"insert":"\n","attributes":{"list":"%1"}})").arg(type));
    DeltaDocument doc;
    doc.setJson(QLatin1Char('[') + ops.join(QLatin1Char(',')) + QLatin1Char(']'));
    QCOMPARE(describeLists(doc.document()), expected);
}

void TestDeltaDocument::checkedMarkerWinsOverListType()
{
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},)"
                   R"({"insert":"b"},{"insert":"\n","attributes":{"list":"checked"}}])"));
    for (QTextBlock block = doc.document()->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        format.setMarker(block.text() == QLatin1String("a") ? QTextBlockFormat::MarkerType::Checked
                                                            : QTextBlockFormat::MarkerType::Unchecked);
        QTextCursor(block).setBlockFormat(format);
    }
    QCOMPARE(doc.toJson(),
        js(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"));
}

// Loading emits no change and leaves nothing to undo; the line after a
// table is the next line of the note, not an empty paragraph.
void TestDeltaDocument::blockRuns_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("codeCells"); // every table cell becomes a code line
    QTest::addColumn<int>("from"); // block numbers asked about; -1 is the last block
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("expected"); // "kind first-last" per run, by block number

    const auto lines = [](std::initializer_list<const char *> attributes) -> QString {
        QString json = QStringLiteral("[");
        int i = 0;
        for (const char *line : attributes) {
            json += QStringLiteral(R"({"insert":"l%1"},{"insert":"\n","attributes":%2},)")
                        .arg(QString::number(i++), QString::fromUtf8(line));
        }
        json.chop(1);
        return json + QStringLiteral("]");
    };
    const char *code = R"({"code-block":true})";
    const char *python = R"({"code-block":"python"})";
    const char *quote = R"({"blockquote":true})";
    const char *plain = "{}";
    QTest::newRow("code, paragraph, code") << lines({ code, plain, code }) << false << 0 << -1 << "code 0-0, code 2-2";
    QTest::newRow("code then quote") << lines({ code, quote, quote }) << false << 0 << -1 << "code 0-0, quote 1-2";
    QTest::newRow("languages share a run") << lines({ python, code }) << false << 0 << -1 << "code 0-1";
    QTest::newRow("a heading ends a run")
        << lines({ code, R"({"header":2,"code-block":true})", code }) << false << 0 << -1 << "code 0-0, code 2-2";
    QTest::newRow("asked about the middle: the whole run")
        << lines({ plain, code, code, code, code, plain }) << false << 3 << 3 << "code 1-4";
    QTest::newRow("run after the range is left out")
        << lines({ code, plain, plain, code }) << false << 0 << 1 << "code 0-0";
    QTest::newRow("no runs") << lines({ plain, plain }) << false << 0 << -1 << "";
    // Blocks: 0 before the table, 1 and 2 its two cells, 3 after it.
    QTest::newRow("table cells") << js(R"([{"insert":"a"},{"insert":"\n","attributes":{"code-block":true}},)"
                                       R"({"insert":{"table":"{'cells':[['x','y']]}"}},{"insert":"\n"},)"
                                       R"({"insert":"b"},{"insert":"\n","attributes":{"code-block":true}}])")
                                 << true << 0 << -1 << "code 0-0, code 1-1, code 2-2, code 3-3";
}

void TestDeltaDocument::blockRuns()
{
    QFETCH(QString, json);
    QFETCH(bool, codeCells);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, expected);
    DeltaDocument doc;
    doc.setJson(json);
    QTextDocument *document = doc.document();
    if (codeCells) {
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            if (!QTextCursor(block).currentTable())
                continue;
            QTextBlockFormat format = block.blockFormat();
            format.setProperty(CodeBlockProperty, true);
            QTextCursor(block).setBlockFormat(format);
        }
    }
    const QTextBlock last = document->lastBlock();
    const QList<BlockRun> runs = ::blockRuns(
        from < 0 ? last : document->findBlockByNumber(from), to < 0 ? last : document->findBlockByNumber(to));
    QStringList out;
    for (const BlockRun &run : runs) {
        const QString kind = run.kind == BlockRun::Code ? QStringLiteral("code") : QStringLiteral("quote");
        out << QStringLiteral("%1 %2-%3")
                   .arg(kind, QString::number(run.first.blockNumber()), QString::number(run.last.blockNumber()));
    }
    QCOMPARE(out.join(QStringLiteral(", ")), expected);
}

void TestDeltaDocument::printingCopy()
{
    DeltaDocument doc;
    const QString json = js(R"([{"insert":"x"},{"insert":"\n","attributes":{"code-block":true}},)"
                            R"({"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},)"
                            R"({"insert":"b"},{"insert":"\n","attributes":{"list":"checked"}}])");
    doc.setJson(json);
    const QString saved = doc.toJson();
    const QTextBlock code = doc.document()->firstBlock();
    QCOMPARE(code.blockFormat().background().style(), Qt::NoBrush); // the editor paints it
    QVERIFY(drawsOwnListMarker(code.next().blockFormat()));

    std::unique_ptr<QTextDocument> copy(doc.document()->clone());
    decorateForPrinting(copy.get());
    const QTextBlock printedCode = copy->firstBlock();
    QCOMPARE(printedCode.blockFormat().background().color(), codeBlockBackgroundColor(false));
    for (QTextBlock item = printedCode.next(); item.isValid(); item = item.next()) {
        QVERIFY(item.textList());
        QVERIFY(!drawsOwnListMarker(item.blockFormat()));
    }
    QCOMPARE(copy->lastBlock().blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);
    // The note itself is untouched.
    QVERIFY(drawsOwnListMarker(doc.document()->lastBlock().blockFormat()));
    QCOMPARE(doc.toJson(), saved);
}

void TestDeltaDocument::loadingATable()
{
    DeltaDocument doc;
    QSignalSpy spy(&doc, &DeltaDocument::contentsChanged);
    doc.setJson(js(R"([{"insert":"x\n"},{"insert":{"table":"{'cells':[['a','b']]}"}},)"
                   R"({"insert":"\n"},{"insert":"after"},{"insert":"\n","attributes":{"header":1}}])"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!doc.document()->isUndoAvailable());
    QVERIFY(doc.document()->isUndoRedoEnabled());
    QTextTable *table = QTextCursor(doc.document()->firstBlock().next()).currentTable();
    QVERIFY(table);
    QCOMPARE(table->columns(), 2);
    const QTextBlock after = table->cellAt(0, 1).lastCursorPosition().block().next();
    QCOMPARE(after.text(), QStringLiteral("after"));
    QCOMPARE(after.blockFormat().intProperty(HeadingLevelProperty), 1);
    QVERIFY(!after.blockFormat().hasProperty(TableSpacerProperty));
    QVERIFY(!after.next().isValid());
    QTextCursor(doc.document()).insertText(QStringLiteral("z"));
    QCOMPARE(spy.count(), 1);
    QVERIFY(doc.document()->isUndoAvailable());
}

// One object character put into the empty block after (or before) a loaded
// table: its object type and its embed as key=value, if any.
void TestDeltaDocument::objectsInTableSpacers_data()
{
    QTest::addColumn<bool>("afterTable");
    QTest::addColumn<int>("objectType");
    QTest::addColumn<QString>("embed");
    QTest::addColumn<QString>("expected");

    const QString table = js(R"({"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'a'}]]],)"
                             R"('hasHeader':true}"}},{"insert":"\n"})");
    const QString image = js(R"({"insert":{"image":"lumora-notes://attachment/i"}},{"insert":"\n"})");
    const QString attached = QStringLiteral("image=lumora-notes://attachment/i");
    const auto ops = [](const QStringList &parts) -> QString {
        return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
    };
    QTest::newRow("stray object character after") << true << 0 << QString() << ops({ table });
    QTest::newRow("dropped embed before") << false << 0 << QStringLiteral("video=v") << ops({ table });
    QTest::newRow("attachment after") << true << int(AttachmentObject) << attached << ops({ table, image });
    QTest::newRow("attachment before") << false << int(AttachmentObject) << attached << ops({ image, table });
}

// The empty blocks around a loaded table are no lines of the note, but an
// embed put into one is content and is saved.
void TestDeltaDocument::objectsInTableSpacers()
{
    QFETCH(bool, afterTable);
    QFETCH(int, objectType);
    QFETCH(QString, embed);
    QFETCH(QString, expected);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":{"table":"{'cells':[['a']]}"}},{"insert":"\n"}])"));
    QTextCursor cursor(doc.document());
    if (afterTable)
        cursor.movePosition(QTextCursor::End);
    QVERIFY(cursor.blockFormat().boolProperty(TableSpacerProperty));
    QTextCharFormat format;
    if (objectType)
        format.setObjectType(objectType);
    if (!embed.isEmpty()) {
        format.setProperty(EmbedKeyProperty, embed.section(QLatin1Char('='), 0, 0));
        format.setProperty(EmbedValueProperty, embed.section(QLatin1Char('='), 1));
    }
    cursor.insertText(QString(QChar(0xFFFC)), format);
    QCOMPARE(doc.toJson(), expected);
}

void TestDeltaDocument::wordCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("words");
    QTest::newRow("only spaces") << QStringLiteral(" \t ") << 0;
    QTest::newRow("spaces around") << QStringLiteral("  one two  ") << 2;
    QTest::newRow("no-break space separates") << QStringLiteral("one\u00A0two") << 2;
    QTest::newRow("soft line break separates") << QStringLiteral("one\u2028two") << 2;
    QTest::newRow("punctuation and emoji are word characters") << QStringLiteral("end. \U0001F642 x-y") << 3;
}

void TestDeltaDocument::wordCount()
{
    QFETCH(QString, text);
    QFETCH(int, words);
    QCOMPARE(countWords(text), words);
    // The same text as lines of a document, counted per block.
    QTextDocument document;
    QTextCursor(&document).insertText(text + QLatin1Char('\n') + text);
    QCOMPARE(DocumentWordCount(&document).count(), 2 * words);
}

void TestDeltaDocument::spacersMarkOnlyNewBlocks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");

    QTest::newRow("empty document") << QString() << 0;
    QTest::newRow("end of a text block") << QStringLiteral("intro") << 5;
    QTest::newRow("start of a text block") << QStringLiteral("tail") << 0;
    QTest::newRow("middle of a block") << QStringLiteral("ab") << 1;
}

// The block holding the cursor stays before the table; only the block Qt has
// to add after it is new, and no insertion mark is left behind. Header cells
// are shaded.
void TestDeltaDocument::spacersMarkOnlyNewBlocks()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QTextDocument doc;
    doc.setPlainText(text);
    QTextCursor cursor(&doc);
    cursor.setPosition(position);
    QTextTable *table = insertNoteTable(cursor, 2, 2, true);
    QVERIFY(table);
    const QTextBlock before = table->cellAt(0, 0).firstCursorPosition().block().previous();
    const QTextBlock after = table->cellAt(1, 1).lastCursorPosition().block().next();
    QVERIFY(before.isValid() && after.isValid());
    QVERIFY(!before.blockFormat().boolProperty(TableSpacerProperty));
    QVERIFY(after.blockFormat().boolProperty(TableSpacerProperty));
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        QVERIFY(!block.blockFormat().hasProperty(TableInsertMarkProperty));
    QCOMPARE(cursor.position(), table->cellAt(0, 0).firstPosition());
    QCOMPARE(
        table->cellAt(0, 1).format().background().color(), QGuiApplication::palette().color(QPalette::AlternateBase));
    QCOMPARE(table->cellAt(1, 0).format().background().style(), Qt::NoBrush);
}

LUMORA_TEST_MAIN(TestDeltaDocument)
#include "tst_deltadocument.moc"
