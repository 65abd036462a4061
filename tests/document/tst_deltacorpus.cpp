#include "document/deltadocument.h"
#include "document/html.h"
#include "document/markdown.h"

#include "documenttest.h"
#include "testmain.h"

#include <QJsonObject>
#include <QRegularExpression>
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

} // namespace

class TestDeltaCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data();
    void corpus();
};

void TestDeltaCorpus::corpus_data()
{
    QTest::addColumn<QString>("body");
    const QList<QPair<QString, QString>> notes = DocumentTest::corpusNotes();
    QVERIFY(notes.size() >= 30);
    for (const auto &[name, body] : notes)
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

LUMORA_TEST_MAIN(TestDeltaCorpus)
#include "tst_deltacorpus.moc"
