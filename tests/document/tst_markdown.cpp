#include "document/markdown.h"

#include "documenttest.h"
#include "testmain.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>

using DocumentTest::compact;
using DocumentTest::js;

namespace {

QString table(int n)
{
    return QStringLiteral("| h%1 | v |\n| --- | --- |\n| a%1 | b |\n").arg(n);
}

QString tables(int count, const QString &between = QStringLiteral("\n"))
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << table(i);
    return parts.join(between);
}

QStringList tableEmbeds(const QJsonArray &ops)
{
    QStringList found;
    for (const QJsonValue &op : ops) {
        const QJsonObject insert = op.toObject().value(QStringLiteral("insert")).toObject();
        if (insert.contains(QStringLiteral("table")))
            found << insert.value(QStringLiteral("table")).toString();
    }
    return found;
}

} // namespace

class TestMarkdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deltaToMarkdown_data();
    void deltaToMarkdown();
    void markdownToDelta_data();
    void markdownToDelta();
    void simpleMarkdownToDelta_data();
    void simpleMarkdownToDelta();
    void split_data();
    void split();
    void manyTablesKeepEveryTable();
    void longListReadInPiecesLikeWhole_data();
    void longListReadInPiecesLikeWhole();
};

void TestMarkdown::deltaToMarkdown_data()
{
    QTest::addColumn<QString>("delta");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("empty document") << js(R"([{"insert":"\n"}])") << QString();
    QTest::newRow("not json") << QStringLiteral("[{") << QString();
    QTest::newRow("marks innermost first, text not escaped") << js(
        R"([{"insert":"x","attributes":{"bold":true,"italic":true,"code":true,"strike":true,"link":"https://a.b"}},{"insert":" a*b<c>","attributes":{"bold":false,"underline":true}},{"insert":"\n"}])")
                                                             << QStringLiteral("[~~`***x***`~~](https://a.b) a*b<c>\n");
    // The empty heading is dropped and leaves the list running.
    QTest::newRow("headings") << js(
        R"([{"insert":"Bold","attributes":{"bold":true}},{"insert":" title","attributes":{"italic":true}},{"insert":"\n","attributes":{"header":2}},{"insert":"Six"},{"insert":"\n","attributes":{"header":6}},{"insert":"Seven"},{"insert":"\n","attributes":{"header":7}},{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"  "},{"insert":"\n","attributes":{"header":1}},{"insert":"b"},{"insert":"\n","attributes":{"list":"bullet"}}])")
                              << QStringLiteral("## Bold* title*\n\n###### Six\n\nSeven\n\n- a\n- b\n");
    QTest::newRow("lists") << js(
        R"([{"insert":"Intro\na\nb\n","attributes":{"list":"bullet"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"d"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"e"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"f"},{"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"g"},{"insert":"\n","attributes":{"list":"dashed"}},{"insert":"After\n"}])")
                           << QStringLiteral("- Intro\n- a\n- b\n1. c\n1. d\n- [x] e\n- [ ] f\ng\n\nAfter\n");
    QTest::newRow("code and quotes") << js(
        R"([{"insert":"P\nx"},{"insert":"\n","attributes":{"code-block":"cpp","blockquote":true}},{"insert":"y"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"i"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"q1"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"q2"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"end\n"}])")
                                     << QStringLiteral("P\n\n    x\n    y\n\n- i\n\n> q1\n\n> q2\n\nend\n");
    QTest::newRow("blank lines") << js(
        R"([{"retain":3},{"insert":"\n\nText  \n\n   \n"},{"delete":1},{"insert":"i"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"\nlast  "}])")
                                 << QStringLiteral("Text  \n\n- i\n\nlast\n");
    QTest::newRow("dividers") << js(
        R"([{"insert":"before"},{"insert":{"divider":true}},{"insert":"\na"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"divider":""}},{"insert":"\n"}])")
                              << QStringLiteral("before\n\n---\n\n- a\n\n---\n");
    QTest::newRow("attachments and images") << js(
        R"([{"insert":"see "},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/1"}},{"insert":"here\n"},{"insert":{"image":"x.png"}}])")
                                            << QStringLiteral("see here\n");
    QTest::newRow("only an image") << js(R"([{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])") << QString();
    QTest::newRow("tables") << js(
        R"([{"insert":"Before\n"},{"insert":{"table":"{'cells':[['H|1',[{'insert':'B','attributes':{'bold':true,'italic':true}}]],[[{'insert':'a|b','attributes':{'bold':true,'code':true,'strike':true}},{'insert':'\\n'},{'insert':{'image':'x'}},{'insert':''},{'insert':'l','attributes':{'link':'u'}}]],[7,'x\\ny']]}"}},{"insert":"\ni"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"table":"{'cells':[[[{'insert':'B','attributes':{'bold':true}}]],['c']],'hasHeader':false}"}},{"insert":"\n"},{"insert":{"table":"{'cells':[[],[]]}"}}])")
                            << QStringLiteral("Before\n\n| H\\|1 | *B* |\n| --- | --- |\n| ~~**`a\\|b`**~~[l](u) |  "
                                              "|\n|  | x y |\n\n- i\n\n"
                                              "| **B** |\n| --- |\n| c |\n");
    QTest::newRow("line breaks inside lines") << js(
        R"([{"insert":"a\u2028b\n"},{"insert":"i\u2028j"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"q\u2028r"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"c\u2028d"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"H\u2028e"},{"insert":"\n","attributes":{"header":2}}])")
                                              << QStringLiteral(
                                                     "a\\\nb\n\n- i\\\n  j\n\n> q\\\n> r\n\n    c\n    d\n\n## H e\n");
    // An unreadable table still ends its place with a newline.
    QTest::newRow("unreadable table") << js(R"([{"insert":"a\n"},{"insert":{"table":"[1,2]"}},{"insert":"\nb\n"}])")
                                      << QStringLiteral("a\n\n\nb\n");
}

void TestMarkdown::deltaToMarkdown()
{
    QFETCH(QString, delta);
    QFETCH(QString, markdown);
    QCOMPARE(::deltaToMarkdown(delta), markdown);
}

void TestMarkdown::markdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("delta");
    QTest::addColumn<bool>("monospaceAppFont");

    QTest::newRow("whitespace") << QStringLiteral(" \n\t\n") << compact(R"([{"insert":"\n"}])") << false;
    QTest::newRow("what survives")
        << QStringLiteral(
               "## Sub\n\na **b** *c* ~~d~~ `e` [f](https://g.h)\n\n- a\n- [x] b\n\n1. c\n\n> q\n\n```\nx\n```\n\n"
               "![alt](lumora-notes://attachment/42)")
        << compact(
               R"([{"insert":"Sub","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":2}},{"insert":"a "},{"insert":"b","attributes":{"bold":true}},{"insert":" "},{"insert":"c","attributes":{"italic":true}},{"insert":" "},{"insert":"d","attributes":{"strike":true}},{"insert":" "},{"insert":"e","attributes":{"code":true}},{"insert":" "},{"insert":"f","attributes":{"link":"https://g.h"}},{"insert":"\n"},{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"q"},{"insert":"\n"},{"insert":"x","attributes":{"code":true}},{"insert":"\n"},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/42"}},{"insert":"\n"}])")
        << false;
    QTest::newRow("monospace application font")
        << QStringLiteral("a *b* `c`")
        << compact(
               R"([{"insert":"a "},{"insert":"b","attributes":{"italic":true}},{"insert":" "},{"insert":"c","attributes":{"code":true}},{"insert":"\n"}])")
        << true;
    // Raw HTML in Markdown reaches the document uncleaned: script targets
    // must go there too, in text and in table cells; the text stays.
    QTest::newRow("script links lose their target")
        << QStringLiteral("[x](javascript:alert(1)) [y](https://ok.example) <a href=\"jav&#x61;script:c\">c</a>")
        << compact(
               R"([{"insert":"x "},{"insert":"y","attributes":{"link":"https://ok.example"}},{"insert":" "},{"insert":"c","attributes":{"underline":true}},{"insert":"\n"}])")
        << false;
    QTest::newRow("script pictures are dropped")
        << QStringLiteral("![p](javascript:alert(1)) ![q](lumora-notes://attachment/7)")
        << compact(
               R"([{"insert":" "},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/7"}},{"insert":"\n"}])")
        << false;
    QTest::newRow("script link in a table cell")
        << QStringLiteral("| h |\n|---|\n| <a href=\"javascript:alert(3)\">c</a> |\n")
        << compact(
               R"([{"insert":"\n"},{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'h'}]],[[{'insert':'c'}]]],'hasHeader':true}"}},{"insert":"\n"},{"insert":"\n"}])")
        << false;
    QTest::newRow("picture without alt text")
        << QStringLiteral("see ![](lumora-notes://attachment/abc) here")
        << compact(
               R"([{"insert":"see "},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/abc"}},{"insert":" here"},{"insert":"\n"}])")
        << false;
    // Qt's document keeps a paragraph before and after a table.
    QTest::newRow("table always with header")
        << QStringLiteral("| h |\n|---|\n| c |\n")
        << compact(
               R"([{"insert":"\n"},{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'h'}]],[[{'insert':'c'}]]],'hasHeader':true}"}},{"insert":"\n"},{"insert":"\n"}])")
        << false;
}

void TestMarkdown::markdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, delta);
    QFETCH(bool, monospaceAppFont);
    const QFont appFont = QGuiApplication::font();
    if (monospaceAppFont)
        QGuiApplication::setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QString result = compact(::markdownToDelta(markdown));
    QGuiApplication::setFont(appFont);
    QCOMPARE(result, delta);
}

void TestMarkdown::simpleMarkdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("delta");

    QTest::newRow("empty") << QString() << QStringLiteral("[]");
    QTest::newRow("block prefixes")
        << QStringLiteral("# 1\n## 2\n### 3\n#### 4\n\n- [ ] a\n- [x] b\n- [X] c\n- d\n* e\n> f\n  12. g\n1.h\n")
        << compact(
               R"([{"insert":"1"},{"insert":"\n","attributes":{"header":1}},{"insert":"2"},{"insert":"\n","attributes":{"header":2}},{"insert":"3"},{"insert":"\n","attributes":{"header":3}},{"insert":"#### 4"},{"insert":"\n"},{"insert":"\n"},{"insert":"a"},{"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"d"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"e"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"f"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"g"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"1.h"},{"insert":"\n"}])");
    QTest::newRow("marks: alone, nested and unclosed")
        << QStringLiteral("## **b** ***both*** *i* **y")
        << compact(
               R"([{"insert":"b","attributes":{"bold":true}},{"insert":" "},{"insert":"both","attributes":{"bold":true,"italic":true}},{"insert":" "},{"insert":"i","attributes":{"italic":true}},{"insert":" "},{"insert":"y","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":2}}])");
}

void TestMarkdown::simpleMarkdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, delta);
    QCOMPARE(compact(::simpleMarkdownToDelta(markdown)), delta);
}

void TestMarkdown::split_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<int>("perChunk");
    QTest::addColumn<int>("chunks");

    QTest::newRow("few tables stay whole") << tables(3) << 8 << 1;
    QTest::newRow("twenty tables by eight") << tables(20) << 8 << 3;
    QTest::newRow("no blank line, no cut") << tables(20, QStringLiteral("text\n")) << 8 << 1;
    QTest::newRow("fence holding table rows is not cut")
        << QString(QStringLiteral("```\n") + tables(10) + QStringLiteral("```\n\nafter\n")) << 2 << 1;
    QTest::newRow("blank line before indented text waits")
        << QString(table(1) + QStringLiteral("\n    code\n\n") + table(2) + QStringLiteral("\nend")) << 1 << 3;
    // The same numbers as items per piece.
    QTest::newRow("ten items by four") << QStringLiteral("- a\n").repeated(10) << 4 << 3;
    QTest::newRow("text at the margin starts the count again") << QString(
        QStringLiteral("- a\n").repeated(3) + QStringLiteral("text\n") + QStringLiteral("1. a\n").repeated(3))
                                                               << 4 << 1;
    QTest::newRow("sub-items and blank lines keep the count") << QStringLiteral("- a\n  - b\n\n").repeated(6) << 4 << 2;
    QTest::newRow("dividers and fenced items are no items") << QString(QStringLiteral("- - -\n").repeated(6)
        + QStringLiteral("```\n") + QStringLiteral("- a\n").repeated(6) + QStringLiteral("```\n"))
                                                            << 4 << 1;
}

void TestMarkdown::split()
{
    QFETCH(QString, markdown);
    QFETCH(int, perChunk);
    QFETCH(int, chunks);
    const QList<QString> pieces = splitMarkdown(markdown, perChunk, perChunk);
    QCOMPARE(pieces.size(), chunks);
    QCOMPARE(QStringList(pieces).join(QLatin1Char('\n')), markdown);
}

// Read in pieces or whole, a text of many tables gives the same document.
void TestMarkdown::manyTablesKeepEveryTable()
{
    const QString markdown = QStringLiteral("# Title\n\n") + tables(30) + QStringLiteral("\nLast line\n");
    const QJsonArray ops = ::markdownToDelta(markdown);
    QCOMPARE(tableEmbeds(ops).size(), 30);
    QCOMPARE(tableEmbeds(ops), tableEmbeds(::markdownToDelta(tables(30))));
    QCOMPARE(tableEmbeds(ops).mid(0, 8), tableEmbeds(::markdownToDelta(tables(8))));
}

void TestMarkdown::longListReadInPiecesLikeWhole_data()
{
    QTest::addColumn<QString>("item");

    QTest::newRow("bullets") << QStringLiteral("- item\n");
    QTest::newRow("numbers") << QStringLiteral("1. item\n");
    QTest::newRow("loose") << QStringLiteral("* item\n\n");
    QTest::newRow("with a sub-item") << QStringLiteral("- item\n  - sub\n");
    QTest::newRow("with a second paragraph") << QStringLiteral("- item\n\n  more\n\n");
    QTest::newRow("bold and links") << QStringLiteral("+ **item** [x](https://e.org)\n");
}

// A list longer than a piece gives the lines a list read whole gives.
void TestMarkdown::longListReadInPiecesLikeWhole()
{
    QFETCH(QString, item);
    const QJsonArray whole = ::markdownToDelta(item.repeated(60));
    QVERIFY(!whole.isEmpty() && whole.size() % 60 == 0);
    const QJsonArray unit = QJsonArray::fromVariantList(whole.toVariantList().mid(0, whole.size() / 60));
    QJsonArray expected;
    for (int i = 0; i < 150; ++i) {
        for (const QJsonValue &op : unit)
            expected.append(op);
    }
    QCOMPARE(::markdownToDelta(item.repeated(60)),
        QJsonArray::fromVariantList(expected.toVariantList().mid(0, whole.size())));
    QCOMPARE(::markdownToDelta(item.repeated(150)), expected);
}

LUMORA_TEST_MAIN(TestMarkdown)

#include "tst_markdown.moc"
