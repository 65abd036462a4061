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
}

void TestMarkdownChunks::split()
{
    QFETCH(QString, markdown);
    QFETCH(int, perChunk);
    QFETCH(int, chunks);
    const QList<QString> pieces = splitMarkdownAtTables(markdown, perChunk);
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
