#include "document/markdown.h"

#include "convertertest.h"
#include "testmain.h"

#include <QTest>

using ConverterTest::compact;
using ConverterTest::delta;

class TestMarkdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deltaToMarkdownLines_data();
    void deltaToMarkdownLines();
    void deltaToMarkdownTables_data();
    void deltaToMarkdownTables();
    void markdownToDelta_data();
    void markdownToDelta();
    void simpleMarkdownToDelta_data();
    void simpleMarkdownToDelta();
};

void TestMarkdown::deltaToMarkdownLines_data()
{
    QTest::addColumn<QString>("delta");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("empty document") << delta(R"([{"insert":"\n"}])") << QString();
    QTest::newRow("invalid json") << QStringLiteral("not json") << QString();
    QTest::newRow("paragraphs") << delta(R"([{"insert":"One\nTwo\n"}])") << QStringLiteral("One\n\nTwo\n");
    QTest::newRow("last line without newline")
        << delta(R"([{"insert":"One\nTail"}])") << QStringLiteral("One\n\nTail\n");
    QTest::newRow("retain and delete skipped")
        << delta(R"([{"retain":3},{"insert":"Kept"},{"delete":2},{"insert":"\n"}])") << QStringLiteral("Kept\n");
    QTest::newRow("marks innermost first") << delta(
        R"([{"insert":"x","attributes":{"bold":true,"italic":true,"code":true,"strike":true,"link":"https://a.b"}},{"insert":"\n"}])")
                                           << QStringLiteral("[~~`***x***`~~](https://a.b)\n");
    QTest::newRow("false marks ignored, text not escaped")
        << delta(R"([{"insert":"a*b_c<d>","attributes":{"bold":false,"underline":true}},{"insert":"\n"}])")
        << QStringLiteral("a*b_c<d>\n");
    QTest::newRow("heading without bold marks") << delta(
        R"([{"insert":"Bold","attributes":{"bold":true}},{"insert":" title","attributes":{"italic":true}},{"insert":"\n","attributes":{"header":2}}])")
                                                << QStringLiteral("## Bold* title*\n");
    QTest::newRow("heading levels out of range") << delta(
        R"([{"insert":"Six"},{"insert":"\n","attributes":{"header":6}},{"insert":"Seven"},{"insert":"\n","attributes":{"header":7}},{"insert":"Zero"},{"insert":"\n","attributes":{"header":0}}])")
                                                 << QStringLiteral("###### Six\n\nSeven\n\nZero\n");
    QTest::newRow("empty heading keeps previous kind") << delta(
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"  "},{"insert":"\n","attributes":{"header":1}},{"insert":"b"},{"insert":"\n","attributes":{"list":"bullet"}}])")
                                                       << QStringLiteral("- a\n- b\n");
    QTest::newRow("bullets then paragraph")
        << delta(R"([{"insert":"a\nb\n","attributes":{"list":"bullet"}},{"insert":"After\n"}])")
        << QStringLiteral("- a\n- b\n\nAfter\n");
    QTest::newRow("ordered items all numbered 1") << delta(
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"ordered"}}])")
                                                  << QStringLiteral("1. a\n1. b\n1. c\n");
    QTest::newRow("checklist and unknown list value") << delta(
        R"([{"insert":"Intro\ndone"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"todo"},{"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"odd"},{"insert":"\n","attributes":{"list":"dashed"}}])")
                                                      << QStringLiteral("Intro\n\n- [x] done\n- [ ] todo\nodd\n");
    QTest::newRow("code wins over quote")
        << delta(R"([{"insert":"x = 1"},{"insert":"\n","attributes":{"code-block":"cpp","blockquote":true}}])")
        << QStringLiteral("    x = 1\n");
    QTest::newRow("code between paragraphs") << delta(
        R"([{"insert":"Before\nint a;"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"int b;"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"After\n"}])")
                                             << QStringLiteral("Before\n\n    int a;\n    int b;\n\nAfter\n");
    QTest::newRow("list right after code") << delta(
        R"([{"insert":"c"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"item"},{"insert":"\n","attributes":{"list":"bullet"}}])")
                                           << QStringLiteral("    c\n\n- item\n");
    QTest::newRow("list right after heading") << delta(
        R"([{"insert":"H"},{"insert":"\n","attributes":{"header":1}},{"insert":"item"},{"insert":"\n","attributes":{"list":"bullet"}}])")
                                              << QStringLiteral("# H\n\n- item\n");
    QTest::newRow("quotes") << delta(
        R"([{"insert":"q1"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"q2"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"p\n"}])")
                            << QStringLiteral("> q1\n\n> q2\n\np\n");
    QTest::newRow("blank lines collapse") << delta(R"([{"insert":"a\n\n   \n\nb\n"}])") << QStringLiteral("a\n\nb\n");
    QTest::newRow("blank line after list")
        << delta(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"\nb\n"}])")
        << QStringLiteral("- a\n\nb\n");
    QTest::newRow("leading blank lines dropped")
        << delta(R"([{"insert":"\n\nText  \n\n"}])") << QStringLiteral("Text\n");
    QTest::newRow("divider between paragraphs")
        << delta(R"([{"insert":"a\n"},{"insert":{"divider":true}},{"insert":"\nb\n"}])")
        << QStringLiteral("a\n\n---\n\nb\n");
    QTest::newRow("divider closes pending text")
        << delta(R"([{"insert":"before"},{"insert":{"divider":true}},{"insert":"\nafter\n"}])")
        << QStringLiteral("before\n\n---\n\nafter\n");
    QTest::newRow("divider after list") << delta(
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"divider":""}},{"insert":"\n"}])")
                                        << QStringLiteral("- a\n\n---\n");
    QTest::newRow("list after divider") << delta(
        R"([{"insert":{"divider":true}},{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}}])")
                                        << QStringLiteral("---\n\n- a\n");
    QTest::newRow("only an image") << delta(R"([{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])") << QString();
    QTest::newRow("attachment inside text") << delta(
        R"([{"insert":"see "},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/1"}},{"insert":"here\n"}])")
                                            << QStringLiteral("see here\n");
    QTest::newRow("trailing attachment without newline")
        << delta(R"([{"insert":"a\n"},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/1"}}])")
        << QStringLiteral("a\n");
}

void TestMarkdown::deltaToMarkdownLines()
{
    QFETCH(QString, delta);
    QFETCH(QString, markdown);
    QCOMPARE(deltaToMarkdown(delta), markdown);
}

void TestMarkdown::deltaToMarkdownTables_data()
{
    QTest::addColumn<QString>("delta");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("header row, short second row")
        << delta(R"([{"insert":{"table":"{'cells':[['a','b'],['c']],'hasHeader':true}"}},{"insert":"\n"}])")
        << QStringLiteral("| a | b |\n| --- | --- |\n| c |  |\n");
    QTest::newRow("no header still separated")
        << delta(R"([{"insert":{"table":"{'cells':[['a'],['b']],'hasHeader':false}"}},{"insert":"\n"}])")
        << QStringLiteral("| a |\n| --- |\n| b |\n");
    QTest::newRow("bar and newline in string cell")
        << delta(R"([{"insert":{"table":"{'cells':[['x|y\\nz']]}"}},{"insert":"\n"}])")
        << QStringLiteral("| x\\|y z |\n| --- |\n");
    QTest::newRow("operation cells, header bold dropped") << delta(
        R"([{"insert":{"table":"{'cells':[[[{'insert':'H','attributes':{'bold':true,'italic':true}}]],[[{'insert':'a|b','attributes':{'bold':true,'code':true,'strike':true}},{'insert':'\\n'},{'insert':{'image':'x'}},{'insert':''},{'insert':'l','attributes':{'link':'u'}}]],[7]]}"}},{"insert":"\n"}])")
                                                          << QStringLiteral(
                                                                 "| *H* |\n| --- |\n| ~~**`a\\|b`**~~[l](u) |\n|  |\n");
    QTest::newRow("bold kept when no header") << delta(
        R"([{"insert":{"table":"{'cells':[[[{'insert':'B','attributes':{'bold':true}}]]],'hasHeader':false}"}},{"insert":"\n"}])")
                                              << QStringLiteral("| **B** |\n| --- |\n");
    QTest::newRow("between paragraph and text")
        << delta(R"([{"insert":"Before\n"},{"insert":{"table":"{'cells':[['a']]}"}},{"insert":"\nAfter\n"}])")
        << QStringLiteral("Before\n\n| a |\n| --- |\n\nAfter\n");
    QTest::newRow("after list") << delta(
        R"([{"insert":"i"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"table":"{'cells':[['a']]}"}},{"insert":"\n"}])")
                                << QStringLiteral("- i\n\n| a |\n| --- |\n");
    // An unreadable table still ends its place with a newline.
    QTest::newRow("not an object") << delta(R"([{"insert":"a\n"},{"insert":{"table":"[1,2]"}},{"insert":"\nb\n"}])")
                                   << QStringLiteral("a\n\n\nb\n");
    QTest::newRow("no cells") << delta(R"([{"insert":{"table":"{'cells':[]}"}},{"insert":"\nb\n"}])")
                              << QStringLiteral("\n\nb\n");
    QTest::newRow("only empty rows") << delta(R"([{"insert":{"table":"{'cells':[[],[]]}"}},{"insert":"\n"}])")
                                     << QString();
}

void TestMarkdown::deltaToMarkdownTables()
{
    QFETCH(QString, delta);
    QFETCH(QString, markdown);
    QCOMPARE(deltaToMarkdown(delta), markdown);
}

void TestMarkdown::markdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("delta");

    QTest::newRow("whitespace") << QStringLiteral(" \n\t\n") << compact(R"([{"insert":"\n"}])");
    QTest::newRow("heading")
        << QStringLiteral("## Sub")
        << compact(R"([{"insert":"Sub","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":2}}])");
    QTest::newRow("inline marks")
        << QStringLiteral("a **b** *c* ~~d~~ `e` [f](https://g.h)")
        << compact(
               R"([{"insert":"a "},{"insert":"b","attributes":{"bold":true}},{"insert":" "},{"insert":"c","attributes":{"italic":true}},{"insert":" "},{"insert":"d","attributes":{"strike":true}},{"insert":" "},{"insert":"e","attributes":{"code":true}},{"insert":" "},{"insert":"f","attributes":{"link":"https://g.h"}},{"insert":"\n"}])");
    QTest::newRow("lists, boxes become bullets")
        << QStringLiteral("- a\n- [x] b\n\n1. c\n")
        << compact(
               R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"ordered"}}])");
    QTest::newRow("quote becomes plain line")
        << QStringLiteral("> q") << compact(R"([{"insert":"q"},{"insert":"\n"}])");
    QTest::newRow("fenced code keeps code marks")
        << QStringLiteral("```\nx\n```") << compact(R"([{"insert":"x","attributes":{"code":true}},{"insert":"\n"}])");
    // Qt's document keeps a paragraph before and after a table.
    QTest::newRow("table always with header")
        << QStringLiteral("| h |\n|---|\n| c |\n")
        << compact(
               R"([{"insert":"\n"},{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'h'}]],[[{'insert':'c'}]]],'hasHeader':true}"}},{"insert":"\n"},{"insert":"\n"}])");
    QTest::newRow("image")
        << QStringLiteral("![alt](lumora-notes://attachment/42)")
        << compact(R"([{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/42"}},{"insert":"\n"}])");
}

void TestMarkdown::markdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, delta);
    QCOMPARE(compact(::markdownToDelta(markdown)), delta);
}

void TestMarkdown::simpleMarkdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("delta");

    QTest::newRow("empty") << QString() << QStringLiteral("[]");
    QTest::newRow("headings")
        << QStringLiteral("# One\n## Two\n### Three\n#### Four\n")
        << compact(
               R"([{"insert":"One"},{"insert":"\n","attributes":{"header":1}},{"insert":"Two"},{"insert":"\n","attributes":{"header":2}},{"insert":"Three"},{"insert":"\n","attributes":{"header":3}},{"insert":"#### Four"},{"insert":"\n"}])");
    QTest::newRow("lists and quote")
        << QStringLiteral("- [ ] a\n- [x] b\n- [X] c\n- d\n* e\n> f\n  12. g\n1.h")
        << compact(
               R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"d"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"e"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"f"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"g"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"1.h"},{"insert":"\n"}])");
    QTest::newRow("bold plain italic")
        << QStringLiteral("**bold** plain *it*")
        << compact(
               R"([{"insert":"bold","attributes":{"bold":true}},{"insert":" plain "},{"insert":"it","attributes":{"italic":true}},{"insert":"\n"}])");
    QTest::newRow("bold and italic together in heading")
        << QStringLiteral("## ***both*** end")
        << compact(
               R"([{"insert":"both","attributes":{"bold":true,"italic":true}},{"insert":" end"},{"insert":"\n","attributes":{"header":2}}])");
    QTest::newRow("inner empty lines kept") << QStringLiteral(
        "a\n\nb\n") << compact(R"([{"insert":"a"},{"insert":"\n"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])");
    QTest::newRow("unclosed mark runs to the end") << QStringLiteral(
        "x **y") << compact(R"([{"insert":"x "},{"insert":"y","attributes":{"bold":true}},{"insert":"\n"}])");
}

void TestMarkdown::simpleMarkdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, delta);
    QCOMPARE(compact(::simpleMarkdownToDelta(markdown)), delta);
}

LUMORA_TEST_MAIN(TestMarkdown)

#include "tst_markdown.moc"
