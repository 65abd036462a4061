#include "document/html.h"
#include "document/markdown.h"

#include "convertertest.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

QStringList words(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("[\\s\\x{2028}]+"));
    return text.split(space, Qt::SkipEmptyParts);
}

// Words of every text insert and table cell, each insert on its own so that a
// word split by formatting is looked for in parts.
QStringList deltaWords(const QJsonArray &ops)
{
    QStringList result;
    for (const QJsonValue &value : ops) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            result += words(insert.toString());
        const QString table = insert.toObject().value(QLatin1String("table")).toString();
        const QJsonArray rows
            = QJsonDocument::fromJson(table.toUtf8()).object().value(QLatin1String("cells")).toArray();
        for (const QJsonValue &row : rows) {
            const QJsonArray cells = row.toArray();
            for (const QJsonValue &cell : cells)
                result += cell.isString() ? words(cell.toString()) : deltaWords(cell.toArray());
        }
    }
    return result;
}

QString htmlText(QString html)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    html.replace(tag, QStringLiteral(" "));
    html.replace(QLatin1String("&lt;"), QLatin1String("<")).replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&quot;"), QLatin1String("\"")).replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    return html.replace(QLatin1String("&amp;"), QLatin1String("&"));
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

class TestExportCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportKeepsText_data();
    void exportKeepsText();
};

void TestExportCorpus::exportKeepsText_data()
{
    QTest::addColumn<QString>("body");
    const QList<QPair<QString, QString>> notes = ConverterTest::corpusNotes();
    QVERIFY(notes.size() >= 30);
    for (const auto &[name, body] : notes)
        QTest::newRow(name.toUtf8().constData()) << body;
}

// Export keeps every word, and so does reading our own export back in.
void TestExportCorpus::exportKeepsText()
{
    QFETCH(QString, body);
    const QStringList expected = deltaWords(QJsonDocument::fromJson(body.toUtf8()).array());

    const QString markdown = deltaToMarkdown(body);
    QVERIFY(markdown.isEmpty() || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))));
    QString missing = missingWords(expected, QString(markdown).replace(QLatin1String("\\|"), QLatin1String("|")));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown lost: ") + missing));

    const QString html = deltaToHtml(body);
    QVERIFY(html.startsWith(QLatin1String("<html><body>\n")) && html.endsWith(QLatin1String("</body></html>")));
    missing = missingWords(expected, htmlText(html));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML lost: ") + missing));

    missing = missingWords(expected, deltaWords(htmlToDelta(html)).join(QLatin1Char(' ')));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML import lost: ") + missing));
    missing = missingWords(expected, deltaWords(markdownToDelta(markdown)).join(QLatin1Char(' ')));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown import lost: ") + missing));
}

LUMORA_TEST_MAIN(TestExportCorpus)

#include "tst_exportcorpus.moc"
