#include "jexgenerator.h"

#include "document/markdown.h"
#include "notegenerator.h"
#include "tarwriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QRandomGenerator>

namespace {

QString joplinTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString hexId(QRandomGenerator &rng)
{
    QString id;
    for (int i = 0; i < 4; ++i)
        id += QStringLiteral("%1").arg(rng.generate(), 8, 16, QLatin1Char('0'));
    return id;
}

// A photo-sized picture would make the archive huge; noise keeps the PNG
// from compressing to nothing, so the bytes are realistic for a screenshot.
QByteArray picture(QRandomGenerator &rng)
{
    QImage image(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = rng.generate() | 0xff000000u;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

bool writeGeneratedJex(const QString &path, const JexGeneratorOptions &options, QString *error)
{
    QRandomGenerator rng(options.seed);
    GeneratorOptions noteOptions;
    noteOptions.count = options.notes;
    noteOptions.seed = options.seed;
    noteOptions.now = QDateTime(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
    NoteGenerator generator(noteOptions);

    QMap<QString, QByteArray> items; // by name: the exporter writes in name order
    QStringList folderIds;
    for (int i = 0; i < options.folders; ++i) {
        const QString id = hexId(rng);
        folderIds << id;
        items.insert(id + QStringLiteral(".md"),
                     joplinItem(QStringLiteral("Folder %1").arg(i + 1), QString(),
                                {{QStringLiteral("id"), id},
                                 {QStringLiteral("created_time"), joplinTime(noteOptions.now.addDays(-700))},
                                 {QStringLiteral("updated_time"), joplinTime(noteOptions.now.addDays(-600))},
                                 {QStringLiteral("parent_id"), i > 2 ? folderIds.first() : QString()},
                                 {QStringLiteral("deleted_time"), QStringLiteral("0")},
                                 {QStringLiteral("type_"), QStringLiteral("2")}}));
    }
    QList<QPair<QString, QByteArray>> resources;
    const int pictureEvery = options.pictures > 0 ? qMax(1, options.notes / options.pictures) : 0;
    for (int i = 0; i < options.notes && !generator.atEnd(); ++i) {
        const Note note = generator.next();
        QString markdown = deltaToMarkdown(note.body).trimmed();
        const QString title = noteTitle(note.body);
        if (pictureEvery > 0 && i % pictureEvery == 0 && resources.size() < options.pictures) {
            const QString resourceId = hexId(rng);
            resources.append({resourceId, picture(rng)});
            markdown += QStringLiteral("\n\n![](:/%1)\n").arg(resourceId);
            items.insert(resourceId + QStringLiteral(".md"),
                         joplinItem(QString(), QString(),
                                    {{QStringLiteral("id"), resourceId},
                                     {QStringLiteral("mime"), QStringLiteral("image/png")},
                                     {QStringLiteral("filename"), QString()},
                                     {QStringLiteral("created_time"), joplinTime(note.createdAt)},
                                     {QStringLiteral("updated_time"), joplinTime(note.createdAt)},
                                     {QStringLiteral("file_extension"), QStringLiteral("png")},
                                     {QStringLiteral("size"), QString::number(resources.last().second.size())},
                                     {QStringLiteral("ocr_text"), QString()},
                                     {QStringLiteral("ocr_status"), QStringLiteral("0")},
                                     {QStringLiteral("ocr_error"), QString()},
                                     {QStringLiteral("type_"), QStringLiteral("4")}}));
        }
        const QString id = hexId(rng);
        items.insert(id + QStringLiteral(".md"),
                     joplinItem(title, markdown,
                                {{QStringLiteral("id"), id},
                                 {QStringLiteral("parent_id"), folderIds.value(int(rng.bounded(folderIds.size() + 1)))},
                                 {QStringLiteral("created_time"), joplinTime(note.createdAt)},
                                 {QStringLiteral("updated_time"), joplinTime(note.updatedAt)},
                                 {QStringLiteral("is_todo"), QStringLiteral("0")},
                                 {QStringLiteral("todo_completed"), QStringLiteral("0")},
                                 {QStringLiteral("source_application"), QStringLiteral("net.cozic.joplin-desktop")},
                                 {QStringLiteral("order"), QString::number(note.createdAt.toMSecsSinceEpoch())},
                                 {QStringLiteral("markup_language"), QStringLiteral("1")},
                                 {QStringLiteral("deleted_time"),
                                  note.deletedAt ? QString::number(note.deletedAt->toMSecsSinceEpoch()) : QStringLiteral("0")},
                                 {QStringLiteral("type_"), QStringLiteral("1")}}));
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    TarWriter tar(&file);
    bool ok = true;
    for (auto it = items.constBegin(); ok && it != items.constEnd(); ++it)
        ok = tar.addFile(it.key(), it.value());
    for (const auto &[id, bytes] : std::as_const(resources)) {
        if (ok)
            ok = tar.addFile(QStringLiteral("resources/%1.png").arg(id), bytes);
    }
    if (!ok || !tar.finish()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
