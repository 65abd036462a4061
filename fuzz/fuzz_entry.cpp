// One libFuzzer entry point per parser of outside input (document
// converters, archive readers, server records), chosen by LUMORA_FUZZ_ENTRY
// at compile time. Besides crashes and sanitizer reports, each checks the
// promises its parser makes about any input, and aborts when one is broken.

#include "artifact.h"
#include "document/convertcommon.h"
#include "document/deltadocument.h"
#include "document/html.h"
#include "document/markdown.h"
#include "features/backup.h"
#include "features/import.h"
#include "features/jeximport.h"
#include "features/tarreader.h"
#include "features/ziparchive.h"
#include "jwt.h"
#include "records.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "sync/syncwire.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTemporaryFile>

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

QJsonObject jsonObject(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// The tar reader works on a file, so each input is written to one.
void fuzzTar(const QByteArray &bytes)
{
    static QTemporaryFile file;
    require(file.isOpen() || file.open(), "a temporary file for the archive");
    file.resize(0);
    file.seek(0);
    file.write(bytes);
    file.flush();
    TarReader tar;
    QString error;
    if (!tar.open(file.fileName(), &error)) {
        require(!error.isEmpty(), "a refused archive says why");
        return;
    }
    for (const TarReader::Entry &entry : tar.entries()) {
        require(entry.offset >= 0 && entry.size >= 0 && entry.offset + entry.size <= bytes.size(),
            "every entry lies inside the archive");
        QByteArray data;
        require(tar.read(entry, bytes.size(), &data, &error) && data.size() == entry.size,
            "every listed entry can be read in full");
        if (entry.name.endsWith(QLatin1String(".md")))
            parseJexItem(QString::fromUtf8(data));
    }
}

void fuzzJexItem(const QString &input)
{
    const JexItem item = parseJexItem(input);
    require(item.title == item.title.trimmed() && item.id == item.id.trimmed(), "titles and ids come trimmed");
    require(removeRepeatedTitle(item.title, item.body).size() <= item.body.size(), "dropping a title never adds text");
}

// A NoteStation archive around the input as its one note, imported into a
// scratch database; the rows are cleared again after each input.
void fuzzNsxNote(const QByteArray &bytes)
{
    static QTemporaryDir dataDir(QDir::tempPath() + QStringLiteral("/lumora-fuzz-XXXXXX"));
    static Database *database = [] {
        qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
        auto *opened = new Database;
        require(opened->open(databasePath()) && opened->migrate(), "a scratch database");
        return opened;
    }();
    const QString archive = dataDir.filePath(QStringLiteral("fuzz.nsx"));
    ZipWriter zip;
    QString error;
    require(zip.open(archive, &error)
            && zip.addData(QStringLiteral("config.json"),
                   R"({"notebook":["nb1"],"note":["note1","absent"]})", &error)
            && zip.addData(QStringLiteral("nb1"), R"({"title":"Book","ctime":1700000000,"mtime":1700000001})", &error)
            && zip.addData(QStringLiteral("note1"), bytes, &error)
            && zip.addData(QStringLiteral("file_3858f62230ac3c915f300c664312c63f"), "foobar", &error)
            && zip.commit(&error),
        "a NoteStation archive around the input");
    const ImportResult result = importNsx(archive, database);
    QSqlQuery query(database->db());
    require(query.exec(QStringLiteral("SELECT COUNT(*) FROM notes")) && query.next(), "notes can be counted");
    const int stored = query.value(0).toInt();
    require(stored == result.imported && stored <= 1, "the import reports the notes it stored");
    // Attachments first: their rows point at the notes.
    for (const char *table : {"attachments", "notes", "notebooks"})
        require(query.exec(QStringLiteral("DELETE FROM ") + QLatin1String(table)), "the scratch rows are cleared");
    QDir attachments(attachmentsDirectory());
    for (const QString &name : attachments.entryList(QDir::Files))
        attachments.remove(name);
}

void fuzzBackupRecord(const QByteArray &bytes)
{
    // A restored record, backed up again and restored, comes back the same.
    const QJsonObject object = jsonObject(bytes);
    const QJsonObject note = noteToBackupJson(noteFromBackupJson(object));
    require(noteToBackupJson(noteFromBackupJson(note)) == note, "a note record survives a second round trip");
    const QJsonObject notebook = notebookToBackupJson(notebookFromBackupJson(object));
    require(notebookToBackupJson(notebookFromBackupJson(notebook)) == notebook,
        "a notebook record survives a second round trip");
}

void fuzzSyncPull(const QByteArray &bytes)
{
    const QJsonObject body = jsonObject(bytes);
    require(SyncWire::wireCount(body.value(QStringLiteral("timestamp"))) >= 0, "cursors are never negative");
    for (const QJsonValue &value : body.value(QStringLiteral("changes")).toArray()) {
        const std::optional<Note> note = SyncWire::noteFromWire(value.toObject(), std::nullopt);
        if (!note)
            continue;
        require(SyncWire::isUsableId(note->id) && note->createdAt.isValid(), "a taken note has a usable id and time");
        if (QJsonDocument::fromJson(note->body.toUtf8()).isArray()) {
            const QString copy = SyncWire::conflictCopyBody(note->body);
            require(QJsonDocument::fromJson(copy.toUtf8()).isArray(), "a conflict copy of a document is a document");
        }
    }
    for (const QJsonValue &value : body.value(QStringLiteral("notebooks")).toArray()) {
        if (const std::optional<Notebook> notebook = SyncWire::notebookFromWire(value.toObject()))
            require(SyncWire::isUsableId(notebook->id), "a taken notebook has a usable id");
    }
    for (const QJsonValue &value : body.value(QStringLiteral("attachments")).toArray()) {
        if (const std::optional<Attachment> attachment = SyncWire::attachmentFromWire(value.toObject()))
            require(SyncWire::isUsableId(attachment->id) && attachment->sizeBytes >= 0, "a taken file has a usable id");
    }
}

void fuzzAccountRecords(const QString &input, const QByteArray &bytes)
{
    using namespace BrioAccount;
    const QJsonObject json = jsonObject(bytes);
    User::fromJson(json);
    Profile::fromJson(json);
    Group::fromJson(json);
    recordsFromArray<Session>(json, QStringLiteral("sessions"));
    recordsFromArray<Device>(json, QStringLiteral("devices"));
    recordsFromArray<ShareMember>(json, QStringLiteral("members"));
    // The same bytes as a token: its payload is read without a signature check.
    tokenExpiry(input);
    claimsFromToken(input);
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
    } else if (entry == QLatin1String("tarArchive")) {
        fuzzTar(bytes);
    } else if (entry == QLatin1String("jexItem")) {
        fuzzJexItem(input);
    } else if (entry == QLatin1String("nsxNote")) {
        fuzzNsxNote(bytes);
    } else if (entry == QLatin1String("backupRecord")) {
        fuzzBackupRecord(bytes);
    } else if (entry == QLatin1String("syncPull")) {
        fuzzSyncPull(bytes);
    } else if (entry == QLatin1String("accountRecords")) {
        fuzzAccountRecords(input, bytes);
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
