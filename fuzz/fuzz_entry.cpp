// One libFuzzer entry point per document converter and the update manifest
// parser, chosen by LUMORA_FUZZ_ENTRY at compile time. Besides crashes and
// sanitizer reports, each checks the promises its converter makes about any
// input, and aborts when one is broken.

#include "artifact.h"
#include "document/convertcommon.h"
#include "document/deltadocument.h"
#include "document/html.h"
#include "document/markdown.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool holds, const char *promise)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

void checkOps(const QJsonArray &ops)
{
    require(!ops.isEmpty(), "converters never return an empty document");
    for (const QJsonValue &op : ops) {
        const QJsonValue table = op.toObject().value(QStringLiteral("insert")).toObject().value(QStringLiteral("table"));
        if (table.isUndefined())
            continue;
        const std::optional<DocumentConvert::TableEmbed> embed = DocumentConvert::parseTableEmbed(table);
        require(embed && DocumentConvert::tableCellCount(*embed) <= DocumentConvert::maxTableCells,
            "pasted tables stay within the cell limit");
    }
}

void fuzz(const QString &input, const QByteArray &bytes)
{
    const QString entry = QStringLiteral(LUMORA_FUZZ_ENTRY);
    if (entry == QLatin1String("deltaToMarkdown")) {
        const QString markdown = deltaToMarkdown(input);
        require(markdown.isEmpty() || (markdown.endsWith(QLatin1Char('\n')) && !markdown.endsWith(QLatin1String("\n\n"))),
            "Markdown ends with exactly one newline");
    } else if (entry == QLatin1String("deltaToHtml")) {
        const QString html = deltaToHtml(input);
        require(html.startsWith(QLatin1String("<html><body>")) && html.endsWith(QLatin1String("</body></html>")),
            "HTML is one whole document");
    } else if (entry == QLatin1String("deltaDocument")) {
        DeltaDocument document;
        document.setJson(input);
        const QString saved = document.toJson();
        QJsonParseError error;
        const QJsonDocument parsed = QJsonDocument::fromJson(saved.toUtf8(), &error);
        require(error.error == QJsonParseError::NoError && parsed.isArray(), "a saved note is a JSON array");
    } else if (entry == QLatin1String("htmlToDelta")) {
        checkOps(htmlToDelta(input));
    } else if (entry == QLatin1String("markdownToDelta")) {
        checkOps(markdownToDelta(input));
    } else if (entry == QLatin1String("simpleMarkdownToDelta")) {
        simpleMarkdownToDelta(input);
    } else if (entry == QLatin1String("stripUnsafeHtml")) {
        static const QRegularExpression scriptTag(
            QStringLiteral("<script([\\s/>]|$)"), QRegularExpression::CaseInsensitiveOption);
        const QString cleaned = stripUnsafeHtml(input);
        require(!cleaned.contains(scriptTag), "no script tag survives cleaning");
        require(stripUnsafeHtml(cleaned) == cleaned, "cleaning leaves nothing for a second pass");
    } else if (entry == QLatin1String("parseManifest")) {
        // Whatever the bytes: no crash, no sanitizer report.
        BrioUpdate::parseManifest(bytes);
    } else {
        require(false, "known entry point");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps the references for the life of the application.
    static int qtArgc = *argc;
    static QGuiApplication app(qtArgc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz(QString::fromUtf8(bytes), bytes);
    return 0;
}
