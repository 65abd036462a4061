#include "document/deltadocument.h"
#include "document/html.h"
#include "document/markdown.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

QStringList words(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("[\\s\\x{2028}]+"));
    return text.split(space, Qt::SkipEmptyParts);
}

// The text of every insert and table cell, with `separator` after each
// insert, so that a word split by formatting can be looked for in parts.
QString deltaText(const QJsonArray &ops, const QString &separator)
{
    QString text;
    for (const QJsonValue &value : ops) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        text += insert.toString() + separator;
        const QString table = insert.toObject().value(QLatin1String("table")).toString();
        const QJsonArray rows
            = QJsonDocument::fromJson(table.toUtf8()).object().value(QLatin1String("cells")).toArray();
        for (const QJsonValue &row : rows) {
            const QJsonArray cells = row.toArray();
            for (const QJsonValue &cell : cells)
                text += QLatin1Char(' ') + (cell.isString() ? cell.toString() : deltaText(cell.toArray(), separator))
                    + QLatin1Char(' ');
        }
    }
    return text;
}

// The words of a stored body; a body that is no Delta array loads as plain text.
QStringList bodyWords(const QString &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    return words(doc.isArray() ? deltaText(doc.array(), QString()) : body);
}

QString missingWords(const QStringList &expected, const QString &text)
{
    QStringList missing;
    for (const QString &word : expected) {
        if (!text.contains(word))
            missing.append(word);
    }
    return missing.join(QLatin1Char(' '));
}

constexpr int roundsPerSeed = 300;

// Values in places where the converters expect something else.
const QJsonArray &oddValues()
{
    static const QJsonArray values = { true, false, 0, 7, -1, 2.5, 1e300, 9007199254740993.0, QStringLiteral("bullet"),
        QStringLiteral("checked"), QStringLiteral("center"), QString(), QJsonValue::Null, QJsonObject(), QJsonArray(),
        QJsonArray { 1, QStringLiteral("\n"), false },
        QJsonObject { { QStringLiteral("k\""), QStringLiteral("\x01") } },
        QStringLiteral(u"\"q\\ \x01\x1f\r\n\b\f\t/\x7f Grüße 東京 🎉 \n\n\uFFFC"),
        QString(QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDC00)),
        QStringLiteral("{\"cells\":[[1,[{\"insert\":{}},{\"insert\":\"|\\n\"}]],7],\"hasHeader\":3}"),
        QStringLiteral("{\"cells\":[[\"a\\nb\",[{\"insert\":\"c\",\"attributes\":{\"bold\":true,\"x\":1}}]],[]]}"),
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
    static const QStringList keys = { QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"),
        QStringLiteral("strike"), QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"),
        QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align"),
        QStringLiteral("color") };
    static const QStringList embeds = { QStringLiteral("table"), QStringLiteral("divider"),
        QStringLiteral("lumora-notes-attachment"), QStringLiteral("image") };
    QJsonArray ops = note;
    for (int edit = random.bounded(1, 6); edit > 0 && !ops.isEmpty(); --edit) {
        const int at = random.bounded(int(ops.size()));
        QJsonObject op = ops.at(at).toObject();
        switch (random.bounded(4)) {
        case 0:
            if (random.bounded(3))
                op.insert(QStringLiteral("insert"), oddValue(random));
            else
                op = { { random.bounded(2) ? QStringLiteral("retain") : QStringLiteral("delete"), oddValue(random) } };
            break;
        case 1:
            op.insert(QStringLiteral("insert"),
                QJsonObject { { embeds.at(random.bounded(int(embeds.size()))), oddValue(random) } });
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
    return DocumentTest::compact(ops);
}

// Text cut short, cut into, spliced with other texts and sprinkled with odd characters.
QString mutatedText(QRandomGenerator &random, const QStringList &pool)
{
    static const QList<char16_t> oddCharacters
        = { 0xFFFC, 0x2028, 0x0000, 0xD800, 0xDC00, 0x00A0, 0x200B, 0xFEFF, 0xFFFD };
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

class TestDeltaCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void corpus_data();
    void corpus();
    void randomInput_data();
    void randomInput();

private:
    QList<QPair<QString, QString>> m_corpus;
    QList<QJsonArray> m_notes;
    QStringList m_texts;
};

// Starting material for the random inputs: the corpus notes and their
// Markdown and HTML.
void TestDeltaCorpus::initTestCase()
{
    m_corpus = DocumentTest::corpusNotes();
    QVERIFY(m_corpus.size() >= 30);
    for (const auto &note : std::as_const(m_corpus)) {
        m_notes.append(QJsonDocument::fromJson(note.second.toUtf8()).array());
        m_texts << note.second << deltaToMarkdown(note.second) << deltaToHtml(note.second);
    }
}

void TestDeltaCorpus::corpus_data()
{
    QTest::addColumn<QString>("body");
    for (const auto &[name, body] : std::as_const(m_corpus))
        QTest::newRow(name.toUtf8().constData()) << body;
}

// Saving reaches a fixed point after one load and keeps every word in order;
// export keeps every word, and so does reading our own export back in.
void TestDeltaCorpus::corpus()
{
    QFETCH(QString, body);
    DeltaDocument doc;
    doc.setJson(body);
    const QString once = doc.toJson();
    doc.setJson(once);
    QCOMPARE(doc.toJson(), once);
    QCOMPARE(bodyWords(once), bodyWords(body));

    const QStringList expected = words(deltaText(QJsonDocument::fromJson(body.toUtf8()).array(), QStringLiteral(" ")));
    const QString markdown = deltaToMarkdown(body);
    QVERIFY(markdown.isEmpty() || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))));
    QString missing = missingWords(expected, QString(markdown).replace(QLatin1String("\\|"), QLatin1String("|")));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown lost: ") + missing));

    const QString html = deltaToHtml(body);
    QVERIFY(html.startsWith(QLatin1String("<html><body>\n")) && html.endsWith(QLatin1String("</body></html>")));
    missing = missingWords(expected, QTextDocumentFragment::fromHtml(html).toPlainText());
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML lost: ") + missing));
    missing = missingWords(expected, deltaText(htmlToDelta(html), QStringLiteral(" ")));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML import lost: ") + missing));
    missing = missingWords(expected, deltaText(markdownToDelta(markdown), QStringLiteral(" ")));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown import lost: ") + missing));
}

void TestDeltaCorpus::randomInput_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2024") << 2024u;
}

// The editor document reaches a fixed point after one load, writes the JSON
// Qt would write, and keeps whatever is no Delta array as plain text. Every
// converter takes every kind of damaged input without crashing or hanging.
void TestDeltaCorpus::randomInput()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    DeltaDocument doc;
    for (int round = 0; round < roundsPerSeed; ++round) {
        const QString delta = mutatedDelta(random, m_notes.at(random.bounded(int(m_notes.size()))));
        for (const QString &input : { delta, mutatedText(random, m_texts), mutatedText(random, m_texts) }) {
            doc.setJson(input);
            const QString once = doc.toJson();
            QVERIFY2(once == DocumentTest::compact(doc.toDelta()), qPrintable(input));
            // toPlainText() writes a line separator as a newline and a no-break space as a space.
            if (!QJsonDocument::fromJson(input.toUtf8()).isArray()) {
                const QString plain
                    = QString(input).replace(QChar(0x2028), QLatin1Char('\n')).replace(QChar(0xA0), QLatin1Char(' '));
                QVERIFY2(doc.document()->toPlainText() == plain, qPrintable(input));
            }
            doc.setJson(once);
            QVERIFY2(doc.toJson() == once, qPrintable(input));

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

LUMORA_TEST_MAIN(TestDeltaCorpus)
#include "tst_deltacorpus.moc"
