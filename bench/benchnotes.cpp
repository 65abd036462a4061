#include "benchnotes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>

namespace {

QJsonObject op(const QJsonValue &insert, const QJsonObject &attributes = QJsonObject())
{
    QJsonObject object { { QStringLiteral("insert"), insert } };
    if (!attributes.isEmpty())
        object.insert(QStringLiteral("attributes"), attributes);
    return object;
}

QJsonObject attr(const char *key, const QJsonValue &value)
{
    return QJsonObject { { QString::fromLatin1(key), value } };
}

QString sentence(QRandomGenerator &random)
{
    static const QStringList words { QStringLiteral("the"), QStringLiteral("meeting"), QStringLiteral("moved"),
        QStringLiteral("to"), QStringLiteral("Thursday"), QStringLiteral("because"), QStringLiteral("release"),
        QStringLiteral("notes"), QStringLiteral("need"), QStringLiteral("review"), QStringLiteral("and"),
        QStringLiteral("Grüße"), QStringLiteral("database"), QStringLiteral("sync"), QStringLiteral("🙂") };
    QString text;
    const int count = 6 + int(random.bounded(14));
    for (int i = 0; i < count; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += words.at(int(random.bounded(int(words.size()))));
    }
    return text;
}

} // namespace

// A mix of what real notes hold: headings, paragraphs with inline formats,
// lists, checklists, code, quotes, dividers, attachments and small tables.
QString generateBenchNote(qsizetype targetBytes)
{
    QRandomGenerator random(42);
    QJsonArray ops;
    qsizetype bytes = 0;
    int section = 0;
    while (bytes < targetBytes) {
        const qsizetype before = ops.size();
        ops.append(op(QStringLiteral("Section %1").arg(++section)));
        ops.append(op(QStringLiteral("\n"), attr("header", 1 + section % 3)));
        ops.append(op(QString(sentence(random) + QLatin1Char(' '))));
        ops.append(op(sentence(random), attr("bold", true)));
        ops.append(op(QStringLiteral(" see ")));
        ops.append(op(QStringLiteral("docs"), attr("link", QStringLiteral("https://example.com/docs"))));
        ops.append(op(QStringLiteral(" and ")));
        ops.append(op(QStringLiteral("run()"), attr("code", true)));
        ops.append(op(QStringLiteral(".\n")));
        static const char *lists[] = { "bullet", "ordered", "unchecked", "checked" };
        for (int i = 0; i < 5; ++i)
            ops.append(op(QString(sentence(random) + QLatin1Char('\n')),
                attr("list", QString::fromLatin1(lists[(section + i) % 4]))));
        for (int i = 0; i < 3; ++i) {
            ops.append(op(QStringLiteral("let x = %1;").arg(i)));
            ops.append(op(QStringLiteral("\n"), attr("code-block", QStringLiteral("js"))));
        }
        ops.append(op(sentence(random)));
        ops.append(op(QStringLiteral("\n"), attr("blockquote", true)));
        if (section % 4 == 0) {
            ops.append(op(QJsonObject { { QStringLiteral("divider"), true } }));
            ops.append(op(QStringLiteral("\n")));
            ops.append(op(QJsonObject { { QStringLiteral("lumora-notes-attachment"),
                QStringLiteral("lumora-notes://attachment/%1").arg(section) } }));
            ops.append(op(QStringLiteral("\n")));
        }
        if (section % 5 == 0) {
            const QJsonObject table { { QStringLiteral("cells"),
                                          QJsonArray { QJsonArray { QStringLiteral("Owner"), QStringLiteral("Task") },
                                              QJsonArray { QStringLiteral("Ana"), sentence(random) },
                                              QJsonArray { QStringLiteral("Bo"), sentence(random) } } },
                { QStringLiteral("hasHeader"), true } };
            ops.append(op(QJsonObject {
                { QStringLiteral("table"), QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact)) } }));
            ops.append(op(QStringLiteral("\n")));
        }
        QJsonArray added;
        for (qsizetype i = before; i < ops.size(); ++i)
            added.append(ops.at(i));
        bytes += QJsonDocument(added).toJson(QJsonDocument::Compact).size();
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

BenchFigures summarize(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const size_t p95 = std::min(n - 1, size_t(double(n) * 0.95));
    return { samples[n / 2], samples[p95] };
}

