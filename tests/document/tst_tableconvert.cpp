#include "document/tableconvert.h"
#include "document/textformats.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

using DocumentTest::js;

namespace {

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QTextTable *firstTable(QTextDocument &doc)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (QTextTable *table = QTextCursor(block).currentTable())
            return table;
    }
    return nullptr;
}

} // namespace

class TestTableConvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void rejectsBadTables_data();
    void rejectsBadTables();
    void spacersMarkOnlyNewBlocks_data();
    void spacersMarkOnlyNewBlocks();
    void headerCellsAreShaded();
    void objectCharactersAreDroppedFromCells();
};

void TestTableConvert::roundTrip_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("expected");

    QTest::newRow("missing hasHeader means header") << js(
        R"({"cells":[["H"]]})") << js(R"({"cells":[[[{"attributes":{"bold":true},"insert":"H"}]]],"hasHeader":true})");
    QTest::newRow("no header, uneven rows padded with empty cells")
        << js(R"({"cells":[["a"],["b","c","d"]],"hasHeader":false})")
        << js(R"({"cells":[[[{"insert":"a"}],[],[]],[[{"insert":"b"}],[{"insert":"c"}],)"
              R"([{"insert":"d"}]]],"hasHeader":false})");
    QTest::newRow("array cell with paragraphs and inline formats")
        << js(R"({"cells":[[[{"insert":"x","attributes":{"italic":true}},{"insert":"y\nz"},)"
              R"({"insert":{"image":"u"}},{"insert":"w","attributes":{"link":"https://a.b","x-c":1}}]]],)"
              R"("hasHeader":false})")
        << js(R"({"cells":[[[{"attributes":{"italic":true},"insert":"x"},{"insert":"y"},)"
              R"({"insert":"\n"},{"insert":"z"},{"attributes":{"link":"https://a.b","x-c":1},"insert":"w"}]]],)"
              R"("hasHeader":false})");
    QTest::newRow("non-text cell values are empty")
        << js(R"({"cells":[[5,null,{"a":1},"t"]],"hasHeader":false})")
        << js(R"({"cells":[[[],[],[],[{"insert":"t"}]]],"hasHeader":false})");
}

void TestTableConvert::roundTrip()
{
    QFETCH(QString, json);
    QFETCH(QString, expected);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QVERIFY(insertTableFromJson(cursor, json));
    QTextTable *table = firstTable(doc);
    QVERIFY(table);
    QCOMPARE(cursor.position(), table->lastPosition() + 1);
    QCOMPARE(compact(tableObjectFromTextTable(table)), expected);
}

void TestTableConvert::rejectsBadTables_data()
{
    QTest::addColumn<QString>("json");
    QTest::newRow("not json") << QStringLiteral("{cells");
    QTest::newRow("array") << QStringLiteral("[[\"a\"]]");
    QTest::newRow("no cells") << js(R"({"hasHeader":true})");
    QTest::newRow("empty rows") << js(R"({"cells":[[],[]]})");
    QTest::newRow("cells not an array") << js(R"({"cells":"a"})");
}

void TestTableConvert::rejectsBadTables()
{
    QFETCH(QString, json);
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("before"));
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    QVERIFY(!insertTableFromJson(cursor, json));
    QCOMPARE(doc.blockCount(), 1);
    QCOMPARE(doc.toPlainText(), QStringLiteral("before"));
    QVERIFY(!firstTable(doc));
}

void TestTableConvert::spacersMarkOnlyNewBlocks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("spacerBefore");
    QTest::addColumn<bool>("spacerAfter");

    // The block holding the cursor stays before the table; only a block
    // Qt had to add after it is new.
    QTest::newRow("empty document") << QString() << 0 << false << true;
    QTest::newRow("end of a text block") << QStringLiteral("intro") << 5 << false << true;
    QTest::newRow("start of a text block") << QStringLiteral("tail") << 0 << false << true;
    QTest::newRow("middle of a block") << QStringLiteral("ab") << 1 << false << true;
}

void TestTableConvert::spacersMarkOnlyNewBlocks()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(bool, spacerBefore);
    QFETCH(bool, spacerAfter);

    QTextDocument doc;
    doc.setPlainText(text);
    QTextCursor cursor(&doc);
    cursor.setPosition(position);
    QTextTable *table = insertNoteTable(cursor, 2, 2, false);
    QVERIFY(table);
    const QTextBlock before = table->cellAt(0, 0).firstCursorPosition().block().previous();
    const QTextBlock after = table->cellAt(1, 1).lastCursorPosition().block().next();
    QVERIFY(before.isValid());
    QVERIFY(after.isValid());
    QCOMPARE(before.blockFormat().boolProperty(TableSpacerProperty), spacerBefore);
    QCOMPARE(after.blockFormat().boolProperty(TableSpacerProperty), spacerAfter);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        QVERIFY(!block.blockFormat().hasProperty(TableInsertMarkProperty));
    QCOMPARE(cursor.position(), table->cellAt(0, 0).firstPosition());
}

void TestTableConvert::headerCellsAreShaded()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextTable *table = insertNoteTable(cursor, 2, 1, true);
    QVERIFY(table);
    const QPalette palette = QGuiApplication::palette();
    QCOMPARE(table->cellAt(0, 0).format().background().color(), palette.color(QPalette::AlternateBase));
    QCOMPARE(table->cellAt(1, 0).format().background().style(), Qt::NoBrush);
    QCOMPARE(table->cellAt(0, 0).firstCursorPosition().blockCharFormat().fontWeight(), int(QFont::Bold));
    QCOMPARE(table->cellAt(1, 0).firstCursorPosition().blockCharFormat().fontWeight(), int(QFont::Normal));
    QCOMPARE(table->format().headerRowCount(), 1);
}

void TestTableConvert::objectCharactersAreDroppedFromCells()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextTable *table = insertNoteTable(cursor, 1, 1, false);
    QTextCursor cell = table->cellAt(0, 0).firstCursorPosition();
    cell.insertText(QStringLiteral("a"));
    QTextCharFormat object;
    object.setObjectType(DividerObject);
    cell.insertText(QString(QChar(0xFFFC)), object);
    cell.insertBlock();
    cell.insertText(QString(QChar(0xFFFC)), object);
    QCOMPARE(compact(tableObjectFromTextTable(table)),
        js(R"({"cells":[[[{"insert":"a"},{"insert":"\n"}]]],"hasHeader":false})"));
}

LUMORA_TEST_MAIN(TestTableConvert)
#include "tst_tableconvert.moc"
