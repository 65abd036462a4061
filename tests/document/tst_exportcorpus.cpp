#include "document/html.h"
#include "document/markdown.h"

#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

QStringList words(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("[\\s\\x{2028}\\x{2029}]+"));
    return text.split(space, Qt::SkipEmptyParts);
}

void appendOpsWords(const QJsonArray &ops, QStringList *result);

void appendTableWords(const QString &tableJson, QStringList *result)
{
    const QJsonArray rows
        = QJsonDocument::fromJson(tableJson.toUtf8()).object().value(QLatin1String("cells")).toArray();
    for (const QJsonValue &row : rows) {
        const QJsonArray cells = row.toArray();
        for (const QJsonValue &cell : cells) {
            if (cell.isString())
                *result += words(cell.toString());
            else
                appendOpsWords(cell.toArray(), result);
        }
    }
}

// Words of every text insert and table cell, each insert on its own so that a
// word split by formatting is looked for in parts.
void appendOpsWords(const QJsonArray &ops, QStringList *result)
{
    for (const QJsonValue &value : ops) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            *result += words(insert.toString());
        else if (insert.toObject().value(QLatin1String("table")).isString())
            appendTableWords(insert.toObject().value(QLatin1String("table")).toString(), result);
    }
}

QStringList deltaWords(const QJsonArray &ops)
{
    QStringList result;
    appendOpsWords(ops, &result);
    return result;
}

QString htmlText(const QString &html)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = html;
    text.replace(tag, QStringLiteral(" "));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

QString markdownText(const QString &markdown)
{
    QString text = markdown;
    text.replace(QLatin1String("\\|"), QLatin1String("|"));
    return text;
}

QStringList missingWords(const QStringList &expected, const QString &text)
{
    QStringList missing;
    for (const QString &word : expected) {
        if (!text.contains(word))
            missing.append(word);
    }
    return missing;
}

} // namespace

class TestExportCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data();
    void exportKeepsText();
    void exportKeepsText_data() { corpus_data(); }
    void reimportKeepsText();
    void reimportKeepsText_data() { corpus_data(); }
};

void TestExportCorpus::corpus_data()
{
    QTest::addColumn<QString>("body");
    const QDir dir(LumoraTest::sourceDir() + QStringLiteral("/tests/data/delta-corpus"));
    const QStringList files = dir.entryList({ QStringLiteral("*.json") }, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= 30, qPrintable(dir.path()));
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(name.toUtf8().constData()) << QString::fromUtf8(file.readAll());
    }
}

void TestExportCorpus::exportKeepsText()
{
    QFETCH(QString, body);
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    const QStringList expected = deltaWords(doc.array());

    const QString markdown = deltaToMarkdown(body);
    QVERIFY(markdown.isEmpty() || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))));
    QStringList missing = missingWords(expected, markdownText(markdown));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown lost: ") + missing.join(QLatin1Char(' '))));

    const QString html = deltaToHtml(body);
    QVERIFY(html.startsWith(QLatin1String("<html><body>\n")) && html.endsWith(QLatin1String("</body></html>")));
    missing = missingWords(expected, htmlText(html));
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML lost: ") + missing.join(QLatin1Char(' '))));
}

// Our own exports read back in keep every word.
void TestExportCorpus::reimportKeepsText()
{
    QFETCH(QString, body);
    const QStringList expected = deltaWords(QJsonDocument::fromJson(body.toUtf8()).array());

    const QString fromHtml = deltaWords(htmlToDelta(deltaToHtml(body))).join(QLatin1Char(' '));
    QStringList missing = missingWords(expected, fromHtml);
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("HTML import lost: ") + missing.join(QLatin1Char(' '))));

    const QString fromMarkdown = deltaWords(markdownToDelta(deltaToMarkdown(body))).join(QLatin1Char(' '));
    missing = missingWords(expected, fromMarkdown);
    QVERIFY2(missing.isEmpty(), qPrintable(QLatin1String("Markdown import lost: ") + missing.join(QLatin1Char(' '))));
}

LUMORA_TEST_MAIN(TestExportCorpus)

#include "tst_exportcorpus.moc"
