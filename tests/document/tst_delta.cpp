#include "document/delta.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>

using DocumentTest::js;

namespace {

// kind:text:length:attributes, one entry per operation, for whole comparisons.
QStringList describe(const QList<DeltaOp> &ops)
{
    QStringList out;
    for (const DeltaOp &op : ops) {
        const QString body = op.kind == DeltaOpKind::InsertEmbed
            ? QString::fromUtf8(QJsonDocument(op.embed).toJson(QJsonDocument::Compact))
            : op.text;
        out << QString::number(int(op.kind)) + QLatin1Char(':') + body + QLatin1Char(':') + QString::number(op.length)
                + QLatin1Char(':') + QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact));
    }
    return out;
}

QStringList describe(const QList<DeltaLine> &lines)
{
    QStringList out;
    for (const DeltaLine &line : lines) {
        QStringList pieces;
        for (const DeltaPiece &piece : line.pieces) {
            pieces << (piece.isEmbed ? QString::fromUtf8(QJsonDocument(piece.embed).toJson(QJsonDocument::Compact))
                                     : piece.text)
                    + QString::fromUtf8(QJsonDocument(piece.attributes).toJson(QJsonDocument::Compact));
        }
        out << pieces.join(QLatin1Char('|')) + QStringLiteral(" / ")
                + QString::fromUtf8(QJsonDocument(line.blockAttributes).toJson(QJsonDocument::Compact))
                + (line.terminated ? QString() : QStringLiteral(" open"));
    }
    return out;
}

} // namespace

class TestDelta : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void lines_data();
    void lines();
    void writerJoinsEqualRuns();
    void compactJsonMatchesQt_data();
    void compactJsonMatchesQt();
};

void TestDelta::parse_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty text") << QString() << QStringList();
    QTest::newRow("not JSON") << QStringLiteral("hello") << QStringList();
    QTest::newRow("object, not array") << js(R"({"insert":"x"})") << QStringList();
    QTest::newRow("non-object elements skipped")
        << js(R"([1,"a",null,[],{"insert":"x"}])") << QStringList { QStringLiteral("0:x:0:{}") };
    QTest::newRow("embed with attributes") << js(R"([{"insert":{"divider":true},"attributes":{"k":1}}])")
                                           << QStringList { QStringLiteral("1:{\"divider\":true}:0:{\"k\":1}") };
    QTest::newRow("retain and delete") << js(R"([{"retain":4},{"delete":2,"attributes":{"b":true}},{"retain":"x"}])")
                                       << QStringList { QStringLiteral("2::4:{}"), QStringLiteral("3::2:{\"b\":true}"),
                                              QStringLiteral("2::0:{}") };
    QTest::newRow("insert wins over retain")
        << js(R"([{"insert":"t","retain":3}])") << QStringList { QStringLiteral("0:t:0:{}") };
    QTest::newRow("no known key is an empty insert")
        << js(R"([{"attributes":{"bold":true}},{"insert":5}])")
        << QStringList { QStringLiteral("0::0:{\"bold\":true}"), QStringLiteral("0::0:{}") };
    QTest::newRow("attributes that are not an object are ignored")
        << js(R"([{"insert":"a","attributes":["bold"]}])") << QStringList { QStringLiteral("0:a:0:{}") };
}

void TestDelta::parse()
{
    QFETCH(QString, json);
    QFETCH(QStringList, expected);
    QCOMPARE(describe(parseDeltaOps(json)), expected);
}

void TestDelta::lines_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty document") << js(R"([{"insert":"\n"}])") << QStringList { QStringLiteral(" / {}") };
    QTest::newRow("attributes of one insert serve both roles")
        << js(R"([{"insert":"a\nb\n","attributes":{"list":"bullet"}}])")
        << QStringList { QStringLiteral("a{\"list\":\"bullet\"} / {\"list\":\"bullet\"}"),
               QStringLiteral("b{\"list\":\"bullet\"} / {\"list\":\"bullet\"}") };
    QTest::newRow("pieces gather until the newline") << js(
        R"([{"insert":"x","attributes":{"bold":true}},{"insert":{"image":"u"}},{"retain":2},{"insert":"y\n","attributes":{"header":1}}])")
                                                     << QStringList { QStringLiteral(
                                                            "x{\"bold\":true}|{\"image\":\"u\"}{}|y{\"header\":1} / "
                                                            "{\"header\":1}") };
    QTest::newRow("blank lines") << js(R"([{"insert":"\n\n"}])")
                                 << QStringList { QStringLiteral(" / {}"), QStringLiteral(" / {}") };
    QTest::newRow("unterminated last line")
        << js(R"([{"insert":"a\nb"},{"insert":{"divider":true}}])")
        << QStringList { QStringLiteral("a{} / {}"), QStringLiteral("b{}|{\"divider\":true}{} / {} open") };
    QTest::newRow("nothing after the last newline adds no line")
        << js(R"([{"insert":"a\n"},{"delete":1},{"insert":""}])") << QStringList { QStringLiteral("a{} / {}") };
}

void TestDelta::lines()
{
    QFETCH(QString, json);
    QFETCH(QStringList, expected);
    QCOMPARE(describe(deltaLines(parseDeltaOps(json))), expected);
}

void TestDelta::writerJoinsEqualRuns()
{
    DeltaWriter writer;
    const QJsonObject bold { { QStringLiteral("bold"), true } };
    writer.insertText(QStringLiteral("a"), bold);
    writer.insertText(QStringLiteral("b"), bold);
    writer.insertText(QString());
    writer.insertText(QStringLiteral("c"));
    writer.insertNewline();
    writer.insertText(QStringLiteral("d"));
    writer.insertEmbed(QJsonObject { { QStringLiteral("divider"), QString() } });
    writer.insertText(QStringLiteral("e"));
    writer.insertNewline(bold);
    QCOMPARE(deltaOpsToCompactJson(writer.takeOps()),
        js(R"([{"attributes":{"bold":true},"insert":"ab"},{"insert":"c"},{"insert":"\n"},{"insert":"d"},)"
           R"({"insert":{"divider":""}},{"insert":"e"},{"attributes":{"bold":true},"insert":"\n"}])"));
    QVERIFY(writer.takeOps().isEmpty());
}

void TestDelta::compactJsonMatchesQt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QJsonObject>("attributes");

    QTest::newRow("escapes") << QStringLiteral("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f") << QJsonObject();
    QTest::newRow("non-ASCII and emoji") << QStringLiteral(u"Grüße 東京 🎉") << QJsonObject();
    QTest::newRow("lone surrogates") << (QString(QChar(0xD83D)) + QStringLiteral("x") + QChar(0xDC00)) << QJsonObject();
    QTest::newRow("numbers, nulls, arrays and nested objects")
        << QStringLiteral("x")
        << QJsonObject { { QStringLiteral("a"), 1.5 }, { QStringLiteral("b"), 1e300 }, { QStringLiteral("c"), -3 },
               { QStringLiteral("d"), QJsonValue() },
               { QStringLiteral("e"), QJsonArray { 1, QStringLiteral("\n"), false } },
               { QStringLiteral("f"), QJsonObject { { QStringLiteral("k\""), 9007199254740993.0 } } },
               { QStringLiteral("link"), QStringLiteral("https://a.example/?q=\"x\"") } };
}

void TestDelta::compactJsonMatchesQt()
{
    QFETCH(QString, text);
    QFETCH(QJsonObject, attributes);
    DeltaWriter writer;
    writer.insertText(text, attributes);
    writer.insertEmbed(QJsonObject { { text, text } });
    writer.insertNewline(attributes);
    const QList<DeltaOp> ops = writer.takeOps();
    QCOMPARE(deltaOpsToCompactJson(ops),
        QString::fromUtf8(QJsonDocument(deltaOpsToJsonArray(ops)).toJson(QJsonDocument::Compact)));
}

LUMORA_TEST_MAIN(TestDelta)
#include "tst_delta.moc"
