// Times the Markdown and HTML exchange converters and the to-do extraction on
// inputs of about 1 MB and prints median and 95th percentile in milliseconds.

#include "document/delta.h"
#include "document/html.h"
#include "document/markdown.h"
#include "features/tasks.h"
#include "notegenerator.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qsizetype targetSize = 1024 * 1024;

QJsonObject op(const QJsonValue &insert, const QJsonObject &attributes = {})
{
    QJsonObject result { { QStringLiteral("insert"), insert } };
    if (!attributes.isEmpty())
        result.insert(QStringLiteral("attributes"), attributes);
    return result;
}

// One screenful of a typical note: heading, formatted prose, lists, code,
// a quote and a divider; every twentieth also a small table.
void appendTable(QJsonArray *ops, const QString &number);

void appendSection(QJsonArray *ops, int n)
{
    const QString number = QString::number(n);
    ops->append(op(QString(QStringLiteral("Section ") + number)));
    ops->append(op(QStringLiteral("\n"), { { QStringLiteral("header"), 2 } }));
    for (int p = 0; p < 3; ++p) {
        ops->append(op(QStringLiteral("Plain prose with some words, a comma & an ampersand <tag> ")));
        ops->append(op(QStringLiteral("bold words"), { { QStringLiteral("bold"), true } }));
        ops->append(op(QStringLiteral(" then "), {}));
        ops->append(op(QStringLiteral("italic"), { { QStringLiteral("italic"), true } }));
        ops->append(op(QStringLiteral(" and "), {}));
        ops->append(op(QStringLiteral("code()"), { { QStringLiteral("code"), true } }));
        ops->append(op(QStringLiteral(" and a "), {}));
        ops->append(
            op(QStringLiteral("link"), { { QStringLiteral("link"), QStringLiteral("https://example.org/a?b=c") } }));
        ops->append(op(QStringLiteral(" to finish the sentence.\n")));
    }
    for (const QString &list : { QStringLiteral("bullet"), QStringLiteral("bullet"), QStringLiteral("ordered"),
             QStringLiteral("unchecked") }) {
        ops->append(op(QStringLiteral("List item text")));
        ops->append(op(QStringLiteral("\n"), { { QStringLiteral("list"), list } }));
    }
    ops->append(op(QStringLiteral("for (int i = 0; i < n; ++i) total += i;")));
    ops->append(op(QStringLiteral("\n"), { { QStringLiteral("code-block"), true } }));
    ops->append(op(QStringLiteral("A quoted remark.")));
    ops->append(op(QStringLiteral("\n"), { { QStringLiteral("blockquote"), true } }));
    if (n % 20 == 0)
        appendTable(ops, number);
    ops->append(op(QJsonObject { { QStringLiteral("divider"), true } }));
    ops->append(op(QStringLiteral("\n")));
}

void appendTable(QJsonArray *ops, const QString &number)
{
    const QJsonObject table {
        { QStringLiteral("cells"),
            QJsonArray { QJsonArray { QStringLiteral("Name"), QStringLiteral("Value") },
                QJsonArray { QStringLiteral("alpha"), number },
                QJsonArray { QJsonArray { op(QStringLiteral("beta"), { { QStringLiteral("bold"), true } }) },
                    QStringLiteral("b|c") } } },
        { QStringLiteral("hasHeader"), true }
    };
    ops->append(op(QJsonObject {
        { QStringLiteral("table"), QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact)) } }));
    ops->append(op(QStringLiteral("\n")));
}

// The smallest Delta document whose measured text reaches the target size.
QString deltaReaching(const std::function<qsizetype(const QString &)> &measure)
{
    QJsonArray ops;
    int sections = 0;
    QString json;
    while (true) {
        const int batch = std::max(1, sections / 4);
        for (int i = 0; i < batch; ++i)
            appendSection(&ops, sections++);
        json = QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
        if (measure(json) >= targetSize)
            return json;
    }
}

void report(const char *name, qsizetype inputSize, int runs, const std::function<void()> &work)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const double median = times.at(times.size() / 2);
    const double p95 = times.at(std::min<qsizetype>(times.size() - 1, qsizetype(0.95 * double(times.size()))));
    std::printf("%-28s input %8lld chars  median %9.2f ms  p95 %9.2f ms\n", name, static_cast<long long>(inputSize),
        median, p95);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 11;

    const QString delta = deltaReaching([](const QString &json) { return json.size(); });
    const QString markdown
        = deltaToMarkdown(deltaReaching([](const QString &json) { return deltaToMarkdown(json).size(); }));
    const QString html = deltaToHtml(deltaReaching([](const QString &json) { return deltaToHtml(json).size(); }));
    std::printf("%d runs each\n", runs);

    report("deltaToMarkdown", delta.size(), runs, [&] { (void)deltaToMarkdown(delta); });
    report("deltaToHtml", delta.size(), runs, [&] { (void)deltaToHtml(delta); });
    report("markdownToDelta", markdown.size(), runs, [&] { (void)markdownToDelta(markdown); });
    report("htmlToDelta", html.size(), runs, [&] { (void)htmlToDelta(html); });
    qsizetype taskCount = 0;
    report("extractTasks", delta.size(), runs,
        [&] { taskCount = extractTasks(QStringLiteral("n"), delta, QDateTime::currentDateTimeUtc()).size(); });
    std::printf("  (%lld tasks)\n", static_cast<long long>(taskCount));
    report("  parseDeltaOps", delta.size(), runs, [&] { (void)parseDeltaOps(delta); });
    const QByteArray utf8 = delta.toUtf8();
    report("  of which QJsonDocument", delta.size(), runs, [&] { (void)QJsonDocument::fromJson(utf8); });
    const QList<DeltaOp> parsed = parseDeltaOps(delta);
    report("  deltaLines", delta.size(), runs, [&] { (void)deltaLines(parsed); });
    {
        // What one refresh of the To-Dos screen spends on a library of typical notes.
        GeneratorOptions options;
        options.count = 10000;
        NoteGenerator generator(options);
        QStringList bodies;
        qsizetype chars = 0;
        while (!generator.atEnd()) {
            bodies << generator.next().body;
            chars += bodies.constLast().size();
        }
        qsizetype libraryTasks = 0;
        report("extractTasks, 10k notes", chars, std::min(runs, 5), [&] {
            libraryTasks = 0;
            for (const QString &body : std::as_const(bodies))
                libraryTasks += extractTasks(QStringLiteral("n"), body, QDateTime()).size();
        });
        std::printf("  (%lld tasks)\n", static_cast<long long>(libraryTasks));
    }

    // Where the reading directions spend their time.
    std::printf("phases:\n");
    report("  stripUnsafeHtml", html.size(), runs, [&] { (void)stripUnsafeHtml(html); });
    report("  QTextDocument::setHtml", html.size(), runs, [&] {
        QTextDocument document;
        document.setHtml(html);
    });
    QString qtHtml;
    report("  QTextDocument::setMarkdown", markdown.size(), runs, [&] {
        QTextDocument document;
        document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    });
    {
        QTextDocument document;
        document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        report("  QTextDocument::toHtml", markdown.size(), runs, [&] { qtHtml = document.toHtml(); });
    }
    report("  htmlToDelta of that HTML", qtHtml.size(), runs, [&] { (void)htmlToDelta(qtHtml); });

    // Qt's Markdown reader slows down with the number of tables in a document.
    std::printf("Markdown tables only:\n");
    for (const int tables : { 250, 500, 1000 }) {
        QJsonArray ops;
        for (int i = 0; i < tables; ++i)
            appendTable(&ops, QString::number(i));
        const QString tableMarkdown
            = deltaToMarkdown(QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact)));
        const QByteArray name = "  markdownToDelta, " + QByteArray::number(tables) + " tables";
        report(
            name.constData(), tableMarkdown.size(), std::min(runs, 3), [&] { (void)markdownToDelta(tableMarkdown); });
    }
    return 0;
}
