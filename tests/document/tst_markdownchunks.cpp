#include "document/markdown.h"

#include "testmain.h"

#include <QJsonObject>

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

int embedCount(const QJsonArray &ops, const QString &key)
{
    int count = 0;
    for (const QJsonValue &op : ops) {
        if (op.toObject().value(QStringLiteral("insert")).toObject().contains(key))
            ++count;
    }
    return count;
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

class TestMarkdownChunks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split();
    void manyTablesKeepEveryTable();
    void longListReadInPiecesLikeWhole_data();
    void longListReadInPiecesLikeWhole();
    void pictureWithoutAltText_data();
    void pictureWithoutAltText();
};

void TestMarkdownChunks::split_data()
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
    QTest::newRow("text at the margin starts the count again")
        << QString(QStringLiteral("- a\n").repeated(3) + QStringLiteral("text\n") + QStringLiteral("1. a\n").repeated(3))
        << 4 << 1;
    QTest::newRow("sub-items and blank lines keep the count")
        << QStringLiteral("- a\n  - b\n\n").repeated(6) << 4 << 2;
    QTest::newRow("dividers and fenced items are no items")
        << QString(QStringLiteral("- - -\n").repeated(6) + QStringLiteral("```\n") + QStringLiteral("- a\n").repeated(6)
               + QStringLiteral("```\n"))
        << 4 << 1;
}

void TestMarkdownChunks::split()
{
    QFETCH(QString, markdown);
    QFETCH(int, perChunk);
    QFETCH(int, chunks);
    const QList<QString> pieces = splitMarkdown(markdown, perChunk, perChunk);
    QCOMPARE(pieces.size(), chunks);
    QCOMPARE(QStringList(pieces).join(QLatin1Char('\n')), markdown);
}

// Read in pieces or whole, a text of many tables gives the same document.
void TestMarkdownChunks::manyTablesKeepEveryTable()
{
    const QString markdown = QStringLiteral("# Title\n\n") + tables(30) + QStringLiteral("\nLast line\n");
    const QJsonArray ops = markdownToDelta(markdown);
    QCOMPARE(embedCount(ops, QStringLiteral("table")), 30);
    QCOMPARE(tableEmbeds(ops), tableEmbeds(markdownToDelta(tables(30))));
    QCOMPARE(tableEmbeds(ops).mid(0, 8), tableEmbeds(markdownToDelta(tables(8))));
}

void TestMarkdownChunks::longListReadInPiecesLikeWhole_data()
{
    QTest::addColumn<QString>("item");

    QTest::newRow("bullets") << QStringLiteral("- item\n");
    QTest::newRow("checklist") << QStringLiteral("- [ ] item\n");
    QTest::newRow("numbers") << QStringLiteral("1. item\n");
    QTest::newRow("loose") << QStringLiteral("* item\n\n");
    QTest::newRow("with a sub-item") << QStringLiteral("- item\n  - sub\n");
    QTest::newRow("with a second paragraph") << QStringLiteral("- item\n\n  more\n\n");
    QTest::newRow("bold and links") << QStringLiteral("+ **item** [x](https://e.org)\n");
}

// A list longer than a piece gives the lines a list read whole gives.
void TestMarkdownChunks::longListReadInPiecesLikeWhole()
{
    QFETCH(QString, item);
    const QJsonArray whole = markdownToDelta(item.repeated(60));
    QVERIFY(!whole.isEmpty() && whole.size() % 60 == 0);
    const QJsonArray unit = QJsonArray::fromVariantList(whole.toVariantList().mid(0, whole.size() / 60));
    QJsonArray expected;
    for (int i = 0; i < 150; ++i) {
        for (const QJsonValue &op : unit)
            expected.append(op);
    }
    QCOMPARE(markdownToDelta(item.repeated(60)), QJsonArray::fromVariantList(expected.toVariantList().mid(0, whole.size())));
    QCOMPARE(markdownToDelta(item.repeated(150)), expected);
}

void TestMarkdownChunks::pictureWithoutAltText_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<int>("pictures");
    QTest::newRow("empty alt") << QStringLiteral("![](lumora-notes://attachment/abc)") << 1;
    QTest::newRow("empty alt in a line") << QStringLiteral("see ![](lumora-notes://attachment/abc) here") << 1;
    QTest::newRow("with alt") << QStringLiteral("![pic](lumora-notes://attachment/abc)") << 1;
    QTest::newRow("two") << QStringLiteral("![](lumora-notes://attachment/a)\n\n![](lumora-notes://attachment/b)") << 2;
}

void TestMarkdownChunks::pictureWithoutAltText()
{
    QFETCH(QString, markdown);
    QFETCH(int, pictures);
    QCOMPARE(embedCount(markdownToDelta(markdown), QStringLiteral("lumora-notes-attachment")), pictures);
}

LUMORA_TEST_MAIN(TestMarkdownChunks)
#include "tst_markdownchunks.moc"
