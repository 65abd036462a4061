#include "document/html.h"
#include "document/markdown.h"

#include "convertertest.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr int roundsPerSeed = 500;

// Values in places where the converters expect something else.
const QJsonArray &oddValues()
{
    static const QJsonArray values = { true, false, 0, 7, -1, 2.5, QStringLiteral("bullet"), QString(),
        QJsonValue::Null, QJsonObject(), QJsonArray(),
        QStringLiteral("{\"cells\":[[1,[{\"insert\":{}},{\"insert\":\"|\\n\"}]],7],\"hasHeader\":3}"),
        QStringLiteral("{\"cells\":[[\"a\"") };
    return values;
}

QJsonValue oddValue(QRandomGenerator &random)
{
    return oddValues().at(random.bounded(int(oddValues().size())));
}

// A corpus note with values swapped for odd ones in inserts, embeds and attributes.
QString mutatedDelta(QRandomGenerator &random, const QJsonArray &note)
{
    static const QStringList keys = { QStringLiteral("bold"), QStringLiteral("link"), QStringLiteral("header"),
        QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote") };
    QJsonArray ops = note;
    for (int edit = random.bounded(1, 6); edit > 0 && !ops.isEmpty(); --edit) {
        const int at = random.bounded(int(ops.size()));
        QJsonObject op = ops.at(at).toObject();
        switch (random.bounded(4)) {
        case 0:
            op.insert(QStringLiteral("insert"), oddValue(random));
            break;
        case 1:
            op.insert(QStringLiteral("insert"),
                QJsonObject {
                    { random.bounded(2) ? QStringLiteral("table") : QStringLiteral("divider"), oddValue(random) } });
            break;
        case 2: {
            QJsonObject attributes = op.value(QStringLiteral("attributes")).toObject();
            attributes.insert(keys.at(random.bounded(int(keys.size()))), oddValue(random));
            op.insert(QStringLiteral("attributes"), attributes);
            break;
        }
        default:
            ops.insert(at, oddValue(random));
            continue;
        }
        ops.replace(at, op);
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

// Text cut short, cut into, spliced with other texts and sprinkled with odd characters.
QString mutatedText(QRandomGenerator &random, const QStringList &pool)
{
    static const QList<char16_t> oddCharacters = { 0xFFFC, 0x2028, 0x0000, 0xD800, 0xDC00, 0x00A0, 0xFEFF, 0xFFFD };
    QString text = pool.at(random.bounded(int(pool.size())));
    for (int edit = random.bounded(1, 6); edit > 0; --edit) {
        const qsizetype at = random.bounded(int(text.size()) + 1);
        const qsizetype length = random.bounded(int(text.size() - at) + 1);
        const QString &other = pool.at(random.bounded(int(pool.size())));
        switch (random.bounded(4)) {
        case 0:
            text.truncate(at);
            break;
        case 1:
            text.remove(at, length);
            break;
        case 2:
            text.insert(at, other.mid(random.bounded(int(other.size()) + 1), random.bounded(200)));
            break;
        default:
            text.insert(at, QChar(oddCharacters.at(random.bounded(int(oddCharacters.size())))));
            break;
        }
    }
    return text;
}

} // namespace

class TestConverterRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void randomInput_data();
    void randomInput();

private:
    QList<QJsonArray> m_notes;
    QStringList m_texts;
};

// Starting material: the corpus notes and their Markdown and HTML.
void TestConverterRobustness::initTestCase()
{
    const QList<QPair<QString, QString>> notes = ConverterTest::corpusNotes();
    for (const auto &note : notes) {
        m_notes.append(QJsonDocument::fromJson(note.second.toUtf8()).array());
        m_texts << note.second << deltaToMarkdown(note.second) << deltaToHtml(note.second);
    }
    QVERIFY(m_notes.size() >= 30);
}

void TestConverterRobustness::randomInput_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2024") << 2024u;
}

// Every converter takes every kind of damaged input without crashing or hanging.
void TestConverterRobustness::randomInput()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    for (int round = 0; round < roundsPerSeed; ++round) {
        const QString delta = mutatedDelta(random, m_notes.at(random.bounded(int(m_notes.size()))));
        for (const QString &input : { delta, mutatedText(random, m_texts), mutatedText(random, m_texts) }) {
            const QString markdown = deltaToMarkdown(input);
            QVERIFY2(markdown.isEmpty()
                    || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))),
                qPrintable(input));
            QVERIFY2(deltaToHtml(input).endsWith(QLatin1String("</body></html>")), qPrintable(input));
            QVERIFY2(!markdownToDelta(input).isEmpty(), qPrintable(input));
            QVERIFY2(!htmlToDelta(input).isEmpty(), qPrintable(input));
            (void)simpleMarkdownToDelta(input);
        }
    }
}

LUMORA_TEST_MAIN(TestConverterRobustness)

#include "tst_converterrobustness.moc"
