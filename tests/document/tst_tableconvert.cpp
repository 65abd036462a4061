#include "document/tableconvert.h"
#include "document/textformats.h"

#include "testmain.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

class TestTableConvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spacersMarkOnlyNewBlocks_data();
    void spacersMarkOnlyNewBlocks();
};

void TestTableConvert::spacersMarkOnlyNewBlocks_data()
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
void TestTableConvert::spacersMarkOnlyNewBlocks()
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

LUMORA_TEST_MAIN(TestTableConvert)
#include "tst_tableconvert.moc"
