#include "document/html.h"
#include "document/markdown.h"

#include "testmain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr int inputsPerKind = 150;

QString pick(QRandomGenerator &random, const QStringList &choices)
{
    return choices.at(random.bounded(int(choices.size())));
}

// Odd characters that converters must carry or drop, never trip over.
QString oddCharacter(QRandomGenerator &random)
{
    static const QList<char16_t> odd = { 0xFFFC, 0x2028, 0x0000, 0xD800, 0xDC00, 0x00A0, 0x200B, 0xFEFF, 0xFFFD };
    return QString(QChar(odd.at(random.bounded(int(odd.size())))));
}

QString soup(QRandomGenerator &random, const QStringList &tokens, int maxTokens)
{
    QString text;
    const int count = random.bounded(maxTokens);
    for (int i = 0; i < count; ++i) {
        const int roll = random.bounded(10);
        if (roll == 0)
            text += oddCharacter(random);
        else if (roll == 1)
            text += QString::number(random.bounded(1000));
        else
            text += pick(random, tokens);
    }
    return text;
}

QString randomMarkdown(QRandomGenerator &random)
{
    static const QStringList tokens = { QStringLiteral("# "), QStringLiteral("### "), QStringLiteral("**"),
        QStringLiteral("*"), QStringLiteral("_"), QStringLiteral("`"), QStringLiteral("```\n"), QStringLiteral("~~"),
        QStringLiteral("- "), QStringLiteral("- [ ] "), QStringLiteral("- [x] "), QStringLiteral("1. "),
        QStringLiteral("> "), QStringLiteral("| a | b |\n"), QStringLiteral("|---|---|\n"), QStringLiteral("[link]("),
        QStringLiteral(")"), QStringLiteral("![img](lumora-notes://attachment/1)"), QStringLiteral("<b>"),
        QStringLiteral("&amp;"), QStringLiteral("\n"), QStringLiteral("\n\n"), QStringLiteral("    "),
        QStringLiteral("word "), QStringLiteral("---\n"), QStringLiteral("\\"), QStringLiteral("<script>"),
        QStringLiteral("\t") };
    return soup(random, tokens, 200);
}

QString randomHtml(QRandomGenerator &random)
{
    static const QStringList tokens = { QStringLiteral("<p>"), QStringLiteral("</p>"), QStringLiteral("<table>"),
        QStringLiteral("</table>"), QStringLiteral("<tr>"), QStringLiteral("<td>"), QStringLiteral("</td>"),
        QStringLiteral("<th colspan=\"3\">"), QStringLiteral("<td rowspan=\"2\">"), QStringLiteral("<ol type=\"i\">"),
        QStringLiteral("<ul>"), QStringLiteral("<li>"), QStringLiteral("</ol>"),
        QStringLiteral("<img src=\"lumora-notes://attachment/x\">"), QStringLiteral("<img src=\"\">"),
        QStringLiteral("<img>"), QStringLiteral("<script>"), QStringLiteral("</script>"), QStringLiteral("<style"),
        QStringLiteral("<nav>"), QStringLiteral("</NAV>"), QStringLiteral("<h1>"), QStringLiteral("<h7>"),
        QStringLiteral("<a href=\""), QStringLiteral("\">"), QStringLiteral("</a>"), QStringLiteral("<pre>"),
        QStringLiteral("<code>"), QStringLiteral("<b><i><u><s>"), QStringLiteral("&#65532;"), QStringLiteral("&#0;"),
        QStringLiteral("&bogus;"), QStringLiteral("<br>"), QStringLiteral("<hr>"), QStringLiteral("text "),
        QStringLiteral("<"), QStringLiteral(">"),
        QStringLiteral("<span style=\"font-family:Courier New;font-weight:900\">"), QStringLiteral("<!--") };
    return soup(random, tokens, 200);
}

QJsonValue randomScalar(QRandomGenerator &random)
{
    switch (random.bounded(6)) {
    case 0:
        return true;
    case 1:
        return false;
    case 2:
        return random.bounded(-3, 10);
    case 3:
        return QStringLiteral("bullet");
    case 4:
        return QJsonValue::Null;
    default:
        return QJsonObject { { QStringLiteral("x"), 1 } };
    }
}

QJsonObject randomAttributes(QRandomGenerator &random)
{
    static const QStringList keys = { QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"),
        QStringLiteral("strike"), QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"),
        QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align"),
        QStringLiteral("color") };
    QJsonObject attributes;
    const int count = random.bounded(4);
    for (int i = 0; i < count; ++i)
        attributes.insert(pick(random, keys), randomScalar(random));
    return attributes;
}

QJsonValue randomTableText(QRandomGenerator &random)
{
    if (random.bounded(5) == 0)
        return QStringLiteral("{\"cells\":[[\"a\"");
    QJsonArray rows;
    const int rowCount = random.bounded(4);
    for (int r = 0; r < rowCount; ++r) {
        QJsonArray row;
        const int cellCount = random.bounded(4);
        for (int c = 0; c < cellCount; ++c) {
            if (random.bounded(2))
                row.append(QString(QStringLiteral("c|\n") + oddCharacter(random)));
            else
                row.append(QJsonArray { QJsonObject { { QStringLiteral("insert"), QStringLiteral("x\ny") },
                                            { QStringLiteral("attributes"), randomAttributes(random) } },
                    QJsonObject { { QStringLiteral("insert"), randomScalar(random) } } });
        }
        rows.append(random.bounded(8) == 0 ? QJsonValue(7) : QJsonValue(row));
    }
    const QJsonObject table { { QStringLiteral("cells"), rows },
        { QStringLiteral("hasHeader"), randomScalar(random) } };
    return QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact));
}

QString randomDelta(QRandomGenerator &random)
{
    static const QStringList texts = { QStringLiteral("a"), QStringLiteral("\n"), QStringLiteral("word\n\nx"),
        QStringLiteral("<&>\""), QStringLiteral("**"), QStringLiteral("|") };
    QJsonArray ops;
    const int count = random.bounded(40);
    for (int i = 0; i < count; ++i) {
        QJsonObject op;
        switch (random.bounded(8)) {
        case 0:
            op.insert(QStringLiteral("insert"), QJsonObject { { QStringLiteral("divider"), randomScalar(random) } });
            break;
        case 1:
            op.insert(QStringLiteral("insert"), QJsonObject { { QStringLiteral("table"), randomTableText(random) } });
            break;
        case 2:
            op.insert(QStringLiteral("insert"),
                QJsonObject { { pick(random,
                                    { QStringLiteral("image"), QStringLiteral("lumora-notes-attachment"),
                                        QStringLiteral("video") }),
                    randomScalar(random) } });
            break;
        case 3:
            op.insert(pick(random, { QStringLiteral("retain"), QStringLiteral("delete") }), randomScalar(random));
            break;
        case 4:
            op.insert(QStringLiteral("insert"), randomScalar(random));
            break;
        default:
            op.insert(QStringLiteral("insert"), QString(pick(random, texts) + oddCharacter(random)));
            break;
        }
        if (random.bounded(2))
            op.insert(QStringLiteral("attributes"), random.bounded(6) ? QJsonValue(randomAttributes(random)) : 3);
        ops.append(random.bounded(20) ? QJsonValue(op) : QJsonValue(QStringLiteral("stray")));
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

QString truncated(QRandomGenerator &random, const QString &text)
{
    return text.left(random.bounded(int(text.size()) + 1));
}

void checkDeltaInput(const QString &delta)
{
    const QString markdown = deltaToMarkdown(delta);
    QVERIFY(markdown.isEmpty() || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))));
    const QString html = deltaToHtml(delta);
    QVERIFY(html.startsWith(QLatin1String("<html><body>\n")) && html.endsWith(QLatin1String("</body></html>")));
}

void checkTextInput(const QString &text)
{
    QVERIFY(!markdownToDelta(text).isEmpty());
    QVERIFY(!htmlToDelta(text).isEmpty());
    const QJsonArray simple = simpleMarkdownToDelta(text);
    QCOMPARE(simple.isEmpty(), text.isEmpty() || text == QLatin1String("\n"));
    QVERIFY(stripUnsafeHtml(text).size() <= text.size());
}

} // namespace

class TestConverterRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomInput_data();
    void randomInput();
};

void TestConverterRobustness::randomInput_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2024") << 2024u;
}

// Every converter takes every kind of input, whole and cut short.
void TestConverterRobustness::randomInput()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    for (int i = 0; i < inputsPerKind; ++i) {
        const QString delta = randomDelta(random);
        const QString markdown = randomMarkdown(random);
        const QString html = randomHtml(random);
        for (const QString &input :
            { delta, truncated(random, delta), markdown, truncated(random, markdown), html, truncated(random, html) }) {
            checkDeltaInput(input);
            checkTextInput(input);
            if (QTest::currentTestFailed()) {
                qWarning("input: %s", qPrintable(input));
                return;
            }
        }
    }
}

LUMORA_TEST_MAIN(TestConverterRobustness)

#include "tst_converterrobustness.moc"
