#include "document/delta.h"
#include "document/deltadocument.h"

#include "documenttest.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSet>

using DocumentTest::saved;

namespace {

QString corpusDir()
{
    return LumoraTest::sourceDir() + QStringLiteral("/tests/data/delta-corpus");
}

QString cellText(const QJsonValue &cell)
{
    if (cell.isString())
        return cell.toString();
    QString text;
    const QList<DeltaOp> ops = parseDeltaOps(cell.toArray());
    for (const DeltaOp &op : ops)
        text += op.text;
    return text;
}

// The readable text of a body: line texts, and the cell texts of tables that
// stand on their own line. Embeds other than those carry no text.
QString visibleText(const QString &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (!doc.isArray())
        return body;
    QStringList lines;
    const QList<DeltaLine> deltaLinesOfBody = deltaLines(parseDeltaOps(doc.array()));
    for (const DeltaLine &line : deltaLinesOfBody) {
        QString text;
        for (const DeltaPiece &piece : line.pieces) {
            if (!piece.isEmbed) {
                text += piece.text;
            } else if (line.pieces.size() == 1 && piece.embed.contains(QLatin1String("table"))) {
                const QJsonObject table
                    = QJsonDocument::fromJson(piece.embed.value(QLatin1String("table")).toString().toUtf8()).object();
                const QJsonArray rows = table.value(QLatin1String("cells")).toArray();
                for (const QJsonValue &row : rows) {
                    const QJsonArray cells = row.toArray();
                    // Short rows come back padded with empty cells.
                    for (const QJsonValue &cell : cells) {
                        if (!cellText(cell).isEmpty())
                            text += cellText(cell) + QLatin1Char('\t');
                    }
                }
            }
        }
        lines << text;
    }
    return lines.join(QLatin1Char('\n'));
}

// Keys outside the known attributes, on text inserts (embeds keep none).
QSet<QString> unknownAttributeKeys(const QString &body)
{
    static const QStringList known { QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"),
        QStringLiteral("strike"), QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"),
        QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align") };
    QSet<QString> keys;
    const QList<DeltaOp> ops = parseDeltaOps(body);
    for (const DeltaOp &op : ops) {
        if (op.kind != DeltaOpKind::InsertText || op.text.isEmpty())
            continue;
        for (auto it = op.attributes.begin(); it != op.attributes.end(); ++it) {
            if (!known.contains(it.key()))
                keys.insert(it.key());
        }
    }
    return keys;
}

} // namespace

class TestDeltaCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpusIsThere();
    void loadSaveIsStable_data();
    void loadSaveIsStable();
};

void TestDeltaCorpus::corpusIsThere()
{
    QVERIFY(QDir(corpusDir()).entryList({ QStringLiteral("*.json") }, QDir::Files).size() >= 30);
}

void TestDeltaCorpus::loadSaveIsStable_data()
{
    QTest::addColumn<QString>("body");
    const QStringList names = QDir(corpusDir()).entryList({ QStringLiteral("*.json") }, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(corpusDir() + QLatin1Char('/') + name);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
        QTest::newRow(qPrintable(name)) << QString::fromUtf8(file.readAll());
    }
}

void TestDeltaCorpus::loadSaveIsStable()
{
    QFETCH(QString, body);
    const QString once = saved(body);
    QVERIFY(QJsonDocument::fromJson(once.toUtf8()).isArray());
    QCOMPARE(saved(once), once);
    QCOMPARE(visibleText(once), visibleText(body));
    const QSet<QString> lost = unknownAttributeKeys(body) - unknownAttributeKeys(once);
    QVERIFY2(lost.isEmpty(), qPrintable(QStringList(lost.begin(), lost.end()).join(QLatin1Char(','))));
}

LUMORA_TEST_MAIN(TestDeltaCorpus)
#include "tst_deltacorpus.moc"
