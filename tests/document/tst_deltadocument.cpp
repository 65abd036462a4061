#include "document/deltadocument.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

using DocumentTest::js;
using DocumentTest::saved;

class TestDeltaDocument : public QObject
{
    Q_OBJECT

private:
    void addInlineAndBlockRows();
    void addTableRows();

private Q_SLOTS:
    void cleanup() { setBodyFontPixelSize(0); }
    void roundTrip_data();
    void roundTrip();
    void setJsonForms_data();
    void setJsonForms();
    void blockDecoration_data();
    void blockDecoration();
    void characterFormats_data();
    void characterFormats();
    void listsShareByStyle_data();
    void listsShareByStyle();
    void checkedMarkerWinsOverListType();
    void embedsBecomeObjectCharacters_data();
    void embedsBecomeObjectCharacters();
    void tableLineLeavesNoEmptyParagraph();
    void loadingIsSilentAndNotUndoable();
    void bodySizeFollowsSetting();
    void darkPaletteColours();
};

void TestDeltaDocument::addInlineAndBlockRows()
{
    const QString empty = js(R"([{"insert":"\n"}])");
    QTest::newRow("empty document") << empty << empty;
    QTest::newRow("inline attributes")
        << js(R"([{"insert":"b","attributes":{"bold":true}},{"insert":"i","attributes":{"italic":true}},)"
              R"({"insert":"u","attributes":{"underline":true}},{"insert":"s","attributes":{"strike":true}},)"
              R"({"insert":"c","attributes":{"code":true}},{"insert":"l","attributes":{"link":"https://a.example/?q=1"}},)"
              R"({"insert":"\n"}])")
        << js(R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"italic":true},"insert":"i"},)"
              R"({"attributes":{"underline":true},"insert":"u"},{"attributes":{"strike":true},"insert":"s"},)"
              R"({"attributes":{"code":true},"insert":"c"},{"attributes":{"link":"https://a.example/?q=1"},"insert":"l"},)"
              R"({"insert":"\n"}])");
    QTest::newRow("false values set nothing") << js(
        R"([{"insert":"x","attributes":{"bold":false,"italic":false,"code":false}},{"insert":"\n","attributes":{"blockquote":false}}])")
                                              << js(R"([{"insert":"x"},{"insert":"\n"}])");
    QTest::newRow("underline of a link is the link's own")
        << js(R"([{"insert":"l","attributes":{"link":"https://x","underline":true,"bold":true}},{"insert":"\n"}])")
        << js(R"([{"attributes":{"bold":true,"link":"https://x"},"insert":"l"},{"insert":"\n"}])");
    QTest::newRow("level 2 heading makes runs bold") << js(
        R"([{"insert":"Big","attributes":{"bold":true}},{"insert":" title"},{"insert":"\n","attributes":{"header":2}}])")
                                                     << js(R"([{"attributes":{"bold":true},"insert":"Big title"},)"
                                                           R"({"attributes":{"header":2},"insert":"\n"}])");
    QTest::newRow("level 3 stays unbold, 7 and 0 are no heading")
        << js(R"([{"insert":"a"},{"insert":"\n","attributes":{"header":3}},{"insert":"b"},)"
              R"({"insert":"\n","attributes":{"header":7}},{"insert":"c"},{"insert":"\n","attributes":{"header":0}}])")
        << js(R"([{"insert":"a"},{"attributes":{"header":3},"insert":"\n"},{"insert":"b"},{"insert":"\n"},)"
              R"({"insert":"c"},{"insert":"\n"}])");
    QTest::newRow("one insert, two bullet lines")
        << js(R"([{"insert":"eggs\nmilk\n","attributes":{"list":"bullet"}}])")
        << js(R"([{"insert":"eggs"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
              R"({"insert":"milk"},{"attributes":{"list":"bullet"},"insert":"\n"}])");
    QTest::newRow("list kinds")
        << js(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"b"},)"
              R"({"insert":"\n","attributes":{"list":"checked"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
              R"({"insert":"d"},{"insert":"\n","attributes":{"list":"dashed"}}])")
        << js(R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"b"},)"
              R"({"attributes":{"list":"checked"},"insert":"\n"},{"insert":"c"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
              R"({"insert":"d"},{"attributes":{"list":"dashed"},"insert":"\n"}])");
    QTest::newRow("code block language and code text")
        << js(R"([{"insert":"x = 1"},{"insert":"\n","attributes":{"code-block":"python"}},)"
              R"({"insert":"y"},{"insert":"\n","attributes":{"code-block":true}}])")
        << js(R"([{"attributes":{"code":true},"insert":"x = 1"},{"attributes":{"code-block":"python"},"insert":"\n"},)"
              R"({"attributes":{"code":true},"insert":"y"},{"attributes":{"code-block":true},"insert":"\n"}])");
    QTest::newRow("quote and alignments")
        << js(R"([{"insert":"q"},{"insert":"\n","attributes":{"blockquote":true,"align":"center"}},)"
              R"({"insert":"r"},{"insert":"\n","attributes":{"align":"right"}},{"insert":"j"},)"
              R"({"insert":"\n","attributes":{"align":"justify"}},{"insert":"l"},{"insert":"\n","attributes":{"align":"left"}}])")
        << js(R"([{"insert":"q"},{"attributes":{"align":"center","blockquote":true},"insert":"\n"},)"
              R"({"insert":"r"},{"attributes":{"align":"right"},"insert":"\n"},{"insert":"j"},)"
              R"({"attributes":{"align":"justify"},"insert":"\n"},{"insert":"l"},{"insert":"\n"}])");
    QTest::newRow("unknown attributes survive")
        << js(R"([{"insert":"hi","attributes":{"color":"#f00","size":{"pt":3},"list":"bullet","bold":true}},)"
              R"({"insert":"\n","attributes":{"indent":2,"direction":"rtl","bold":true,"header":1}}])")
        << js(R"([{"attributes":{"bold":true,"color":"#f00","size":{"pt":3}},"insert":"hi"},)"
              R"({"attributes":{"direction":"rtl","header":1,"indent":2},"insert":"\n"}])");
    QTest::newRow("missing final newline is added") << js(
        R"([{"insert":"a\nlast"}])") << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"last"},{"insert":"\n"}])");
    QTest::newRow("CRLF line ends")
        << js(R"([{"insert":"a\r\nb\r\n"},{"insert":"t\r"},{"insert":"\n","attributes":{"header":2}}])")
        << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"t"},)"
              R"({"attributes":{"header":2},"insert":"\n"}])");
    QTest::newRow("retain, delete and empty operations contribute nothing")
        << js(R"([{"retain":3},{"insert":"a"},{"delete":1},{"attributes":{"bold":true}},7,{"insert":"\n"}])")
        << js(R"([{"insert":"a"},{"insert":"\n"}])");
    QTest::newRow("divider value becomes empty, named value kept")
        << js(R"([{"insert":{"divider":true}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"divider":""}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])");
    QTest::newRow("attachment gains its prefix, image reference stays image")
        << js(R"([{"insert":{"lumora-notes-attachment":"abc"}},{"insert":"\n"},)"
              R"({"insert":{"image":"lumora-notes://attachment/def"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/abc"}},{"insert":"\n"},)"
              R"({"insert":{"image":"lumora-notes://attachment/def"}},{"insert":"\n"}])");
    QTest::newRow("external image and unknown embed are dropped") << js(
        R"([{"insert":"a"},{"insert":{"image":"https://e.x/p.png"}},{"insert":{"video":"v"}},{"insert":{}},{"insert":"b\n"}])")
                                                                  << js(R"([{"insert":"ab"},{"insert":"\n"}])");
    QTest::newRow("adjacent equal embeds stay separate")
        << js(R"([{"insert":{"divider":"hr"}},{"insert":{"divider":"hr"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"divider":"hr"}},{"insert":{"divider":"hr"}},{"insert":"\n"}])");
}

void TestDeltaDocument::roundTrip()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const QString once = saved(input);
    QCOMPARE(once, expected);
    QCOMPARE(saved(once), once);
}

void TestDeltaDocument::roundTrip_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addInlineAndBlockRows();
    addTableRows();
}

void TestDeltaDocument::addTableRows()
{
    const QString table = js(R"({\"cells\":[[\"a\"]],\"hasHeader\":false})");
    const QString savedTable = js(R"({\"cells\":[[[{\"insert\":\"a\"}]]],\"hasHeader\":false})");
    QTest::newRow("table then text") << js(R"([{"insert":"x\n"},{"insert":{"table":")") + table
            + js(R"("}},{"insert":"\ny\n"}])")
                                     << js(R"([{"insert":"x"},{"insert":"\n"},{"insert":{"table":")") + savedTable
            + js(R"("}},{"insert":"\n"},{"insert":"y"},{"insert":"\n"}])");
    QTest::newRow("table first and last")
        << js(R"([{"insert":{"table":")") + table + js(R"("}},{"insert":"\n"}])")
        << js(R"([{"insert":{"table":")") + savedTable + js(R"("}},{"insert":"\n"}])");
    QTest::newRow("two tables in a row") << js(R"([{"insert":{"table":")") + table
            + js(R"("}},{"insert":"\n"},{"insert":{"table":")") + table + js(R"("}},{"insert":"\n"}])")
                                         << js(R"([{"insert":{"table":")") + savedTable
            + js(R"("}},{"insert":"\n"},{"insert":{"table":")") + savedTable + js(R"("}},{"insert":"\n"}])");
    QTest::newRow("block attributes of a table line are not used")
        << js(R"([{"insert":{"table":")") + table + js(R"("}},{"insert":"\n","attributes":{"header":1}}])")
        << js(R"([{"insert":{"table":")") + savedTable + js(R"("}},{"insert":"\n"}])");
    QTest::newRow("bad table is lost, neighbours stay apart")
        << js(R"([{"insert":"a\n"},{"insert":{"table":"{\"cells\":[]}"}},{"insert":"\n"},{"insert":{"table":"nope"}},)"
              R"({"insert":"\n"},{"insert":{"table":true}},{"insert":"\nb\n"}])")
        << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])");
    QTest::newRow("stray object character does not share a table's line")
        << js("[{\"insert\":{\"table\":\"") + table + js("\"}},{\"insert\":\"\xef\xbf\xbc\\n\"}]")
        << js(R"([{"insert":{"table":")") + savedTable + js(R"("}},{"insert":"\n"}])");
    QTest::newRow("pieces that saving drops do not share a table's line")
        << js(R"([{"insert":{"table":")") + table + js(R"("}},{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])")
        << js(R"([{"insert":{"table":")") + savedTable + js(R"("}},{"insert":"\n"}])");
    QTest::newRow("table sharing its line is an embed character")
        << js(R"([{"insert":"t "},{"insert":{"table":"{}"}},{"insert":"\n"}])")
        << js(R"([{"insert":"t "},{"insert":{"table":"{}"}},{"insert":"\n"}])");
}

void TestDeltaDocument::setJsonForms_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("plainText");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty text") << QString() << QString() << 1 << js(R"([{"insert":"\n"}])");
    QTest::newRow("empty array") << QStringLiteral("[]") << QString() << 1 << js(R"([{"insert":"\n"}])");
    QTest::newRow("plain text") << QStringLiteral("old note\nsecond") << QStringLiteral("old note\nsecond") << 2
                                << js(R"([{"insert":"old note"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])");
    QTest::newRow("JSON object is plain text") << js(R"({"insert":"x"})") << js(R"({"insert":"x"})") << 1
                                               << js(R"([{"insert":"{\"insert\":\"x\"}"},{"insert":"\n"}])");
    QTest::newRow("truncated array is plain text") << js(R"([{"insert":"x)") << js(R"([{"insert":"x)") << 1
                                                   << js(R"([{"insert":"[{\"insert\":\"x"},{"insert":"\n"}])");
}

void TestDeltaDocument::setJsonForms()
{
    QFETCH(QString, input);
    QFETCH(QString, plainText);
    QFETCH(int, blocks);
    QFETCH(QString, expected);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"previous\n"}])"));
    doc.setJson(input);
    QCOMPARE(doc.document()->toPlainText(), plainText);
    QCOMPARE(doc.document()->blockCount(), blocks);
    QCOMPARE(doc.toJson(), expected);
}

void TestDeltaDocument::blockDecoration_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("lineHeight");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("background");

    QTest::newRow("paragraph") << QStringLiteral("{}") << 0 << 8 << 150 << 0 << 0 << false;
    QTest::newRow("h6 wins over code") << js(R"({"header":6,"code-block":true})") << 8 << 4 << 140 << 0 << 0 << false;
    QTest::newRow("code wins over quote")
        << js(R"({"code-block":"js","blockquote":true})") << 8 << 8 << 140 << 12 << 12 << true;
    QTest::newRow("quote") << js(R"({"blockquote":true})") << 0 << 8 << 150 << 16 << 0 << false;
}

void TestDeltaDocument::blockDecoration()
{
    QFETCH(QString, attributes);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, lineHeight);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(bool, background);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"x"},{"insert":"\n","attributes":)") + attributes + QStringLiteral("}]"));
    const QTextBlockFormat format = doc.document()->firstBlock().blockFormat();
    QCOMPARE(format.topMargin(), qreal(top));
    QCOMPARE(format.bottomMargin(), qreal(bottom));
    QCOMPARE(format.lineHeight(), qreal(lineHeight));
    QCOMPARE(format.lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
    QCOMPARE(format.leftMargin(), qreal(left));
    QCOMPARE(format.rightMargin(), qreal(right));
    QCOMPARE(format.background().style() != Qt::NoBrush, background);
    if (background)
        QCOMPARE(format.background().color(), codeBlockBackgroundColor(false));
}

void TestDeltaDocument::characterFormats_data()
{
    QTest::addColumn<QString>("blockAttributes");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("monospace");
    QTest::addColumn<QColor>("foreground");

    QTest::newRow("body") << QStringLiteral("{}") << 16 << -1 << false << QColor();
    QTest::newRow("h1") << js(R"({"header":1})") << 28 << 700 << false << QColor();
    QTest::newRow("h2") << js(R"({"header":2})") << 22 << 700 << false << QColor();
    QTest::newRow("h6 muted") << js(R"({"header":6})") << 13 << 600 << false << QColor(0x44, 0x47, 0x4E);
    QTest::newRow("code block") << js(R"({"code-block":true})") << 14 << -1 << true << QColor(0x44, 0x47, 0x4E);
}

void TestDeltaDocument::characterFormats()
{
    QFETCH(QString, blockAttributes);
    QFETCH(int, pixelSize);
    QFETCH(int, weight);
    QFETCH(bool, monospace);
    QFETCH(QColor, foreground);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"x"},{"insert":"\n","attributes":)") + blockAttributes + QStringLiteral("}]"));
    const QTextBlock block = doc.document()->firstBlock();
    for (const QTextCharFormat &format : { block.charFormat(), block.begin().fragment().charFormat() }) {
        QCOMPARE(format.intProperty(QTextFormat::FontPixelSize), pixelSize);
        if (weight > 0)
            QCOMPARE(format.fontWeight(), weight);
        else
            QVERIFY(!format.hasProperty(QTextFormat::FontWeight));
        QCOMPARE(format.fontFixedPitch(), monospace);
        if (foreground.isValid())
            QCOMPARE(format.foreground().color(), foreground);
        else
            QCOMPARE(format.foreground().style(), Qt::NoBrush);
    }
}

void TestDeltaDocument::listsShareByStyle_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<int>>("listIds"); // equal ids share a list

    QTest::newRow("ordered pair") << QStringList { QStringLiteral("ordered"), QStringLiteral("ordered") }
                                  << QList<int> { 0, 0 };
    QTest::newRow("bullet then ordered") << QStringList { QStringLiteral("bullet"), QStringLiteral("ordered") }
                                         << QList<int> { 0, 1 };
    QTest::newRow("bullets and checklist share") << QStringList { QStringLiteral("bullet"), QStringLiteral("unchecked"),
        QStringLiteral("checked") } << QList<int> { 0, 0, 0 };
    QTest::newRow("paragraph breaks a list")
        << QStringList { QStringLiteral("ordered"), QString(), QStringLiteral("ordered") } << QList<int> { 0, -1, 1 };
}

void TestDeltaDocument::listsShareByStyle()
{
    QFETCH(QStringList, types);
    QFETCH(QList<int>, listIds);
    QJsonArray ops;
    for (const QString &type : types) {
        ops.append(QJsonObject { { QStringLiteral("insert"), QStringLiteral("item") } });
        QJsonObject newline { { QStringLiteral("insert"), QStringLiteral("\n") } };
        if (!type.isEmpty())
            newline.insert(QStringLiteral("attributes"), QJsonObject { { QStringLiteral("list"), type } });
        ops.append(newline);
    }
    DeltaDocument doc;
    doc.setDelta(ops);
    QList<QTextList *> seen;
    QTextBlock block = doc.document()->firstBlock();
    for (qsizetype i = 0; i < types.size(); ++i, block = block.next()) {
        QTextList *list = block.textList();
        if (listIds.at(i) < 0) {
            QVERIFY(!list);
            continue;
        }
        QVERIFY(list);
        if (!seen.contains(list))
            seen.append(list);
        QCOMPARE(seen.indexOf(list), listIds.at(i));
        QCOMPARE(list->format().indent(), 1);
        QCOMPARE(list->format().style(),
            types.at(i) == QLatin1String("ordered") ? QTextListFormat::ListDecimal : QTextListFormat::ListDisc);
        QCOMPARE(block.blockFormat().stringProperty(ListTypeProperty), types.at(i));
    }
}

void TestDeltaDocument::checkedMarkerWinsOverListType()
{
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},)"
                   R"({"insert":"b"},{"insert":"\n","attributes":{"list":"checked"}}])"));
    QCOMPARE(doc.document()->lastBlock().blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);
    QTextCursor cursor(doc.document()->firstBlock());
    QTextBlockFormat format = cursor.blockFormat();
    format.setMarker(QTextBlockFormat::MarkerType::Checked);
    cursor.setBlockFormat(format);
    cursor.setPosition(doc.document()->lastBlock().position());
    format = cursor.blockFormat();
    format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
    cursor.setBlockFormat(format);
    QCOMPARE(doc.toJson(),
        js(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"));
}

void TestDeltaDocument::embedsBecomeObjectCharacters_data()
{
    QTest::addColumn<QString>("embed");
    QTest::addColumn<int>("objectType");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("singleHeight");

    QTest::newRow("attachment") << js(R"({"lumora-notes-attachment":"id1"})") << int(AttachmentObject)
                                << QStringLiteral("lumora-notes-attachment")
                                << QStringLiteral("lumora-notes://attachment/id1") << true;
    QTest::newRow("attachment image") << js(R"({"image":"lumora-notes://attachment/id2"})") << int(AttachmentObject)
                                      << QStringLiteral("image") << QStringLiteral("lumora-notes://attachment/id2")
                                      << true;
    QTest::newRow("external image") << js(R"({"image":"https://x/y.png"})") << int(QTextFormat::NoObject)
                                    << QStringLiteral("image") << QStringLiteral("https://x/y.png") << true;
    QTest::newRow("divider") << js(R"({"divider":true})") << int(DividerObject) << QStringLiteral("divider")
                             << QString() << false;
    QTest::newRow("unknown") << js(R"({"formula":"x^2"})") << int(QTextFormat::NoObject) << QStringLiteral("formula")
                             << QStringLiteral("x^2") << false;
}

void TestDeltaDocument::embedsBecomeObjectCharacters()
{
    QFETCH(QString, embed);
    QFETCH(int, objectType);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, singleHeight);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":)") + embed + js(R"(},{"insert":"\n"}])"));
    const QTextBlock block = doc.document()->firstBlock();
    QCOMPARE(block.text(), QString(QChar(0xFFFC)));
    const QTextCharFormat format = block.begin().fragment().charFormat();
    QCOMPARE(format.objectType(), objectType);
    QCOMPARE(format.stringProperty(EmbedKeyProperty), key);
    QCOMPARE(format.stringProperty(EmbedValueProperty), value);
    QCOMPARE(block.blockFormat().lineHeightType() == QTextBlockFormat::SingleHeight, singleHeight);
}

void TestDeltaDocument::tableLineLeavesNoEmptyParagraph()
{
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"x\n"},{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]]}"}},)"
                   R"({"insert":"\n"},{"insert":"after"},{"insert":"\n","attributes":{"header":1}}])"));
    const QTextBlock first = doc.document()->firstBlock();
    QCOMPARE(first.text(), QStringLiteral("x"));
    QTextTable *table = QTextCursor(first.next()).currentTable();
    QVERIFY(table);
    QCOMPARE(table->columns(), 2);
    const QTextBlock after = table->cellAt(0, 1).lastCursorPosition().block().next();
    QCOMPARE(after.text(), QStringLiteral("after"));
    QCOMPARE(after.blockFormat().intProperty(HeadingLevelProperty), 1);
    QVERIFY(!after.blockFormat().hasProperty(TableSpacerProperty));
    QVERIFY(!after.next().isValid());
}

void TestDeltaDocument::loadingIsSilentAndNotUndoable()
{
    DeltaDocument doc;
    QSignalSpy spy(&doc, &DeltaDocument::contentsChanged);
    doc.setJson(js(R"([{"insert":"a\n"},{"insert":{"table":"{\"cells\":[[\"c\"]]}"}},{"insert":"\n"}])"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!doc.document()->isUndoAvailable());
    QVERIFY(doc.document()->isUndoRedoEnabled());
    QTextCursor(doc.document()).insertText(QStringLiteral("z"));
    QCOMPARE(spy.count(), 1);
    QVERIFY(doc.document()->isUndoAvailable());
}

void TestDeltaDocument::bodySizeFollowsSetting()
{
    {
        DeltaDocument doc;
        QCOMPARE(doc.document()->defaultFont().pixelSize(), 16);
        QCOMPARE(doc.document()->documentMargin(), 16.0);
    }
    setBodyFontPixelSize(20);
    DeltaDocument doc;
    QCOMPARE(doc.document()->defaultFont().pixelSize(), 20);
    doc.setJson(js(R"([{"insert":"x\n"},{"insert":"h"},{"insert":"\n","attributes":{"header":4}}])"));
    QCOMPARE(doc.document()->firstBlock().charFormat().intProperty(QTextFormat::FontPixelSize), 20);
    QCOMPARE(doc.document()->lastBlock().charFormat().intProperty(QTextFormat::FontPixelSize), 16);
}

void TestDeltaDocument::darkPaletteColours()
{
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xF5, 0xF5, 0xF5));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    QPalette darker;
    darker.setColor(QPalette::Window, QColor(0x10, 0x10, 0x10));
    QVERIFY(!isDarkPalette(light));
    QVERIFY(isDarkPalette(dark));
    QVERIFY(isDarkPalette(darker));

    const QPalette original = QGuiApplication::palette();
    QGuiApplication::setPalette(dark);
    DeltaDocument doc;
    doc.setJson(js(R"([{"insert":"c","attributes":{"code":true}},{"insert":"\n","attributes":{"code-block":true}}])"));
    QGuiApplication::setPalette(original);
    const QTextBlock block = doc.document()->firstBlock();
    QCOMPARE(block.blockFormat().background().color(), QColor(0x2A, 0x2D, 0x31));
    const QTextCharFormat code = block.begin().fragment().charFormat();
    QCOMPARE(code.foreground().color(), QColor(0xD6, 0xE3, 0xF7));
    QCOMPARE(code.background().color(), QColor(0x33, 0x44, 0x5C));
}

LUMORA_TEST_MAIN(TestDeltaDocument)
#include "tst_deltadocument.moc"
