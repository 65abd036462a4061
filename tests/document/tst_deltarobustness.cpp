#include "document/delta.h"
#include "document/deltadocument.h"

#include "testmain.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTextDocument>

namespace {

class RandomDelta
{
public:
    explicit RandomDelta(quint32 seed)
        : m_random(seed)
    {
    }

    int below(int n) { return int(m_random.bounded(n)); }

    QString text()
    {
        static const QStringList words { QStringLiteral("note"), QStringLiteral("\n"), QStringLiteral(" "),
            QStringLiteral("Grüße"), QStringLiteral("東京"), QStringLiteral("🎉"), QStringLiteral("\n\n"),
            QString(QChar(0xFFFC)), QStringLiteral("\t"), QString(), QStringLiteral("\"q\\ \x01\x1f\r\b\f"),
            QString(QChar(0xD800)) + QStringLiteral("x"), QStringLiteral("a/b\x7f") };
        QString out;
        for (int i = below(4); i >= 0; --i)
            out += words.at(below(int(words.size())));
        return out;
    }

    QJsonValue value()
    {
        switch (below(6)) {
        case 0:
            return true;
        case 1:
            return false;
        case 2:
            return below(9) - 1;
        case 3:
            return text();
        case 4:
            return QJsonValue();
        default:
            return QJsonArray { 1, QStringLiteral("x") };
        }
    }

    QJsonObject attributes()
    {
        static const QStringList keys { QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"),
            QStringLiteral("strike"), QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"),
            QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align"),
            QStringLiteral("color") };
        static const QStringList lists { QStringLiteral("bullet"), QStringLiteral("ordered"), QStringLiteral("checked"),
            QStringLiteral("unchecked") };
        QJsonObject attributes;
        for (int i = below(4); i > 0; --i) {
            const QString key = keys.at(below(int(keys.size())));
            if (key == QLatin1String("list") && below(2))
                attributes.insert(key, lists.at(below(int(lists.size()))));
            else
                attributes.insert(key, value());
        }
        return attributes;
    }

    QJsonValue cell()
    {
        if (below(2))
            return text();
        QJsonArray ops;
        for (int i = below(3); i >= 0; --i)
            ops.append(QJsonObject { { QStringLiteral("insert"), below(5) ? QJsonValue(text()) : value() },
                { QStringLiteral("attributes"), attributes() } });
        return ops;
    }

    QJsonObject embed()
    {
        switch (below(6)) {
        case 0:
            return { { QStringLiteral("divider"), value() } };
        case 1:
            return { { QStringLiteral("lumora-notes-attachment"), text() } };
        case 2:
            return { { QStringLiteral("image"), below(2) ? QStringLiteral("lumora-notes://attachment/x") : text() } };
        case 3:
            return { { QStringLiteral("other"), value() } };
        default: {
            QJsonArray rows;
            for (int r = below(4); r > 0; --r) {
                QJsonArray row;
                for (int c = below(4); c > 0; --c)
                    row.append(cell());
                rows.append(row);
            }
            QJsonObject table { { QStringLiteral("cells"), rows } };
            if (below(2))
                table.insert(QStringLiteral("hasHeader"), value());
            return { { QStringLiteral("table"),
                below(8) ? QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact)) : text() } };
        }
        }
    }

    QJsonArray document()
    {
        QJsonArray ops;
        for (int i = below(25); i >= 0; --i) {
            QJsonObject op;
            switch (below(10)) {
            case 0:
                op.insert(QStringLiteral("insert"), embed());
                break;
            case 1:
                op.insert(below(2) ? QStringLiteral("retain") : QStringLiteral("delete"), value());
                break;
            case 2:
                op.insert(QStringLiteral("insert"), QStringLiteral("\n"));
                break;
            default:
                op.insert(QStringLiteral("insert"), text());
                break;
            }
            if (below(2))
                op.insert(QStringLiteral("attributes"), attributes());
            ops.append(op);
        }
        return ops;
    }

    QString mangle(const QString &json)
    {
        QString out = json.left(below(int(json.size()) + 1));
        static const QString noise = QStringLiteral("[]{}\",:\\\n0tfn");
        for (int i = below(4); i > 0 && !out.isEmpty(); --i)
            out[below(int(out.size()))] = noise.at(below(int(noise.size())));
        return out;
    }

private:
    QRandomGenerator m_random;
};

} // namespace

class TestDeltaRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomDocumentsReachAFixedPoint();
    void mangledJsonIsHandled();
};

void TestDeltaRobustness::randomDocumentsReachAFixedPoint()
{
    RandomDelta random(20240514);
    DeltaDocument doc;
    for (int round = 0; round < 400; ++round) {
        const QString json = QString::fromUtf8(QJsonDocument(random.document()).toJson(QJsonDocument::Compact));
        doc.setJson(json);
        const QString once = doc.toJson();
        QCOMPARE(once, QString::fromUtf8(QJsonDocument(doc.toDelta()).toJson(QJsonDocument::Compact)));
        doc.setJson(once);
        QVERIFY2(doc.toJson() == once, qPrintable(QStringLiteral("round %1: %2").arg(round).arg(json)));
    }
}

void TestDeltaRobustness::mangledJsonIsHandled()
{
    RandomDelta random(7);
    DeltaDocument doc;
    for (int round = 0; round < 600; ++round) {
        const QString json = random.mangle(QString::fromUtf8(QJsonDocument(random.document()).toJson()));
        const QList<DeltaOp> ops = parseDeltaOps(json);
        const QList<DeltaLine> lines = deltaLines(ops);
        QVERIFY(lines.size() <= json.size() + 1);
        doc.setJson(json);
        const QString saved = doc.toJson();
        QVERIFY2(QJsonDocument::fromJson(saved.toUtf8()).isArray(), qPrintable(json));
        // Whatever did not parse as a Delta array survives as plain text.
        if (!QJsonDocument::fromJson(json.toUtf8()).isArray())
            QCOMPARE(doc.document()->toPlainText(), json.isEmpty() ? QString() : json);
    }
}

LUMORA_TEST_MAIN(TestDeltaRobustness)
#include "tst_deltarobustness.moc"
