// Times hostile inputs at the doors text comes in by (pasted HTML and
// Markdown, stored note bodies) and prints milliseconds, output size and the
// peak memory of the process. Each case runs in a process of its own so that
// its peak is its own: without arguments the program runs itself once per case.

#include "document/deltadocument.h"
#include "document/html.h"
#include "document/markdown.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

constexpr int oneMegabyte = 1024 * 1024;

QString repeatedTo(const char *piece, qsizetype size)
{
    const QString unit = QString::fromUtf8(piece);
    return unit.repeated(std::max<qsizetype>(1, size / unit.size()));
}

QString nestedTables(int levels)
{
    return QStringLiteral("<table><tr><td>").repeated(levels);
}

// The note of the report: 8 KB of Delta JSON whose table asks for 1,300 rows
// of 1,800 cells (one full row, the others empty).
QString wideTableNote(int rows, int columns)
{
    QJsonArray first;
    for (int c = 0; c < columns; ++c)
        first.append(QString());
    QJsonArray cells { first };
    for (int r = 1; r < rows; ++r)
        cells.append(QJsonArray());
    const QString table = QString::fromUtf8(
        QJsonDocument(QJsonObject { { QStringLiteral("cells"), cells } }).toJson(QJsonDocument::Compact));
    const QJsonArray ops { QJsonObject { { QStringLiteral("insert"), QJsonObject { { QStringLiteral("table"), table } } } },
        QJsonObject { { QStringLiteral("insert"), QStringLiteral("\n") } } };
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

// A note of one long list: "item N" lines of the given list type.
QString listNote(int items, const char *listType)
{
    QString json = QStringLiteral("[");
    const QString line = QStringLiteral("{\"insert\":\"item %1\"},{\"insert\":\"\\n\",\"attributes\":{\"list\":\"")
        + QLatin1String(listType) + QStringLiteral("\"}},");
    for (int i = 0; i < items; ++i)
        json += line.arg(i);
    json.chop(1);
    return json + QLatin1Char(']');
}

QString unclosedCells(int columns, int rows)
{
    return QStringLiteral("<table><tr>") + QStringLiteral("<td>").repeated(columns) + QStringLiteral("<tr>").repeated(rows);
}

// QtLines: the input as plain lines straight into a bare QTextDocument, the
// least any reader of that many lines costs before our own code runs.
enum class Door { Html, Markdown, Text, NoteBody, Strip, QtLines };

struct Case
{
    const char *name;
    Door door;
    std::function<QString()> input;
};

const QList<Case> &cases()
{
    static const QList<Case> all = {
        { "note: table 1300 x 1800 cells (8 KB)", Door::NoteBody, [] { return wideTableNote(1300, 1800); } },
        { "note: table 200 x 200 cells", Door::NoteBody, [] { return wideTableNote(200, 200); } },
        { "note: table 100 x 100 cells (largest kept)", Door::NoteBody, [] { return wideTableNote(100, 100); } },
        { "note: checklist of 20,000 items", Door::NoteBody, [] { return listNote(20000, "unchecked"); } },
        { "note: bullet list of 100,000 items", Door::NoteBody, [] { return listNote(100000, "bullet"); } },
        { "note: numbered list of 20,000 items", Door::NoteBody, [] { return listNote(20000, "ordered"); } },
        { "html: <td> x 400 + <tr> x 400 (3 KB)", Door::Html, [] { return unclosedCells(400, 400); } },
        { "html: <td> x 125000 + <tr> x 125000 (1 MB)", Door::Html, [] { return unclosedCells(125000, 125000); } },
        { "html: nested tables x 270 (4 KB)", Door::Html, [] { return nestedTables(270); } },
        { "html: nested tables x 540 (8 KB)", Door::Html, [] { return nestedTables(540); } },
        { "html: nested tables (1 MB)", Door::Html, [] { return nestedTables(oneMegabyte / 15); } },
        { "strip: <style> x n (256 KB)", Door::Strip, [] { return repeatedTo("<style>", 256 * 1024); } },
        { "strip: <style> x n (512 KB)", Door::Strip, [] { return repeatedTo("<style>", 512 * 1024); } },
        { "strip: <style> x n (1 MB)", Door::Strip, [] { return repeatedTo("<style>", oneMegabyte); } },
        { "html: <style> x n (1 MB)", Door::Html, [] { return repeatedTo("<style>", oneMegabyte); } },
        { "html: <b>x nested (1 MB)", Door::Html, [] { return repeatedTo("<b>x", oneMegabyte); } },
        { "html: <div>x nested (1 MB)", Door::Html, [] { return repeatedTo("<div>x", oneMegabyte); } },
        { "html: <ul><li>x nested (1 MB)", Door::Html, [] { return repeatedTo("<ul><li>x", oneMegabyte); } },
        { "html: <ul> + <li>x flat list (1 MB)", Door::Html, []() -> QString { return QStringLiteral("<ul>") + repeatedTo("<li>x", oneMegabyte); } },
        { "qt alone: 262,144 lines into a document", Door::QtLines, [] { return repeatedTo("x\n", 512 * 1024); } },
        { "html: <p>x paragraphs (1 MB)", Door::Html, [] { return repeatedTo("<p>x", oneMegabyte); } },
        { "html: x<br> (1 MB)", Door::Html, [] { return repeatedTo("x<br>", oneMegabyte); } },
        { "html: <pre> of lines (1 MB)", Door::Html, []() -> QString { return QStringLiteral("<pre>") + repeatedTo("x\n", oneMegabyte); } },
        { "text: plain lines (1 MB)", Door::Text, [] { return repeatedTo("x\n", oneMegabyte); } },
        { "markdown: plain lines (1 MB)", Door::Markdown, [] { return repeatedTo("x\n", oneMegabyte); } },
        { "html: '<' (1 MB)", Door::Html, [] { return repeatedTo("<", oneMegabyte); } },
        { "html: <a x=\" unclosed (1 MB)", Door::Html, [] { return repeatedTo("<a x=\"", oneMegabyte); } },
        { "html: <!-- unclosed (1 MB)", Door::Html, [] { return repeatedTo("<!--", oneMegabyte); } },
        { "html: <scr<script> (1 MB)", Door::Html, [] { return repeatedTo("<scr<script></script>ipt>", oneMegabyte); } },
        { "markdown: '>' quotes (1 MB)", Door::Markdown, [] { return repeatedTo(">", oneMegabyte); } },
        { "markdown: '[' (1 MB)", Door::Markdown, [] { return repeatedTo("[", oneMegabyte); } },
        { "markdown: '*a' (20 KB)", Door::Markdown, [] { return repeatedTo("*a", 20 * 1024); } },
        { "markdown: '*a' (200 KB)", Door::Markdown, [] { return repeatedTo("*a", 200 * 1024); } },
        { "markdown: '- x' flat list (1 MB)", Door::Markdown, [] { return repeatedTo("- x\n", oneMegabyte); } },
        { "markdown: '1. x' numbered list (256 KB)", Door::Markdown, [] { return repeatedTo("1. x\n", 256 * 1024); } },
        { "markdown: table rows (1 MB)", Door::Markdown,
            []() -> QString { return QStringLiteral("| a | b |\n|---|---|\n") + repeatedTo("| c | d |\n", oneMegabyte); } },
        { "markdown: table 60 columns (1 MB)", Door::Markdown,
            []() -> QString {
                return QStringLiteral("| h ").repeated(60) + QStringLiteral("|\n") + QStringLiteral("|---").repeated(60)
                    + QStringLiteral("|\n") + repeatedTo("| c |\n", oneMegabyte);
            } },
        { "markdown: nested lists (1 MB)", Door::Markdown,
            []() -> QString {
                QString markdown;
                for (int i = 0; markdown.size() < oneMegabyte; ++i)
                    markdown += QString((i % 2000) * 2, QLatin1Char(' ')) + QStringLiteral("- item\n");
                return markdown;
            } },
    };
    return all;
}

long peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void runCase(const Case &c)
{
    const QString input = c.input();
    QElapsedTimer timer;
    timer.start();
    qint64 outputSize = 0;
    QString extra;
    switch (c.door) {
    case Door::Strip:
        outputSize = stripUnsafeHtml(input).size();
        break;
    case Door::Html:
    case Door::Markdown:
    case Door::Text: {
        const QJsonArray ops = c.door == Door::Html ? htmlToDelta(input)
            : c.door == Door::Markdown              ? markdownToDelta(input)
                                                    : plainTextToDelta(input);
        const qint64 convert = timer.elapsed();
        // What a paste does next: the editor loads the operations.
        DeltaDocument document;
        document.setDelta(ops);
        outputSize = document.toJson().size();
        extra = QStringLiteral("  (convert %1 ms)").arg(convert);
        break;
    }
    case Door::QtLines: {
        QTextDocument document;
        QTextCursor(&document).insertText(input);
        outputSize = document.characterCount();
        break;
    }
    case Door::NoteBody: {
        DeltaDocument document;
        document.setJson(input);
        const qint64 load = timer.elapsed();
        outputSize = document.toJson().size();
        extra = QStringLiteral("  (load %1 ms, save %2 ms)").arg(load).arg(timer.elapsed() - load);
        break;
    }
    }
    std::printf("%-46s in %8lld chars  %7lld ms  out %8lld chars  peak %5ld MB%s\n", c.name,
        static_cast<long long>(input.size()), static_cast<long long>(timer.elapsed()),
        static_cast<long long>(outputSize), peakMegabytes(), qPrintable(extra));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() > 1) {
        const int index = arguments.at(1).toInt();
        if (index >= 0 && index < cases().size())
            runCase(cases().at(index));
        std::fflush(stdout);
        return 0;
    }
    for (int i = 0; i < cases().size(); ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), { QString::number(i) });
        // Slow cases are the point of the figures; they are not cut short.
        child.waitForFinished(-1);
    }
    return 0;
}
