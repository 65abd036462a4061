#include "syncwire.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace SyncWire {

namespace {

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// Absent and null read as "no value"; any other non-string is refused.
std::optional<QString> optionalText(const QJsonObject &json, const char *name, bool *ok)
{
    const QJsonValue value = json.value(key(name));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString()) {
        *ok = false;
        return std::nullopt;
    }
    return value.toString();
}

bool wireBool(const QJsonValue &value)
{
    return value.isBool() ? value.toBool() : false;
}

} // namespace

qint64 toWireTime(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QDateTime fromWireTime(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double ms = value.toDouble();
        // Beyond year 9999 or NaN: not a time.
        if (!std::isfinite(ms) || std::abs(ms) > 253402300799999.0)
            return {};
        return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
    }
    if (value.isString()) {
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
        return parsed.isValid() ? parsed.toUTC() : QDateTime();
    }
    return {};
}

qint64 wireCount(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Beyond 2^53 a double is no exact integer, and far beyond, no qint64.
    if (!std::isfinite(number) || number <= 0 || number > 9.0e15)
        return 0;
    return qint64(number);
}

qint32 wireVersion(const QJsonValue &value, qint32 fallback)
{
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < 0
        || number > double(std::numeric_limits<qint32>::max()))
        return fallback;
    return qint32(number);
}

bool isUsableId(const QString &id)
{
    if (id.isEmpty() || id.size() > 128)
        return false;
    for (const QChar c : id) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) || c.unicode() > 127)
            return false;
    }
    return true;
}

QJsonObject noteChange(const Note &note)
{
    QJsonObject data{{key("body"), note.body},
                     {key("created_at"), toWireTime(note.createdAt)},
                     {key("updated_at"), toWireTime(note.updatedAt)},
                     {key("modified_at"), toWireTime(note.modifiedAt)}};
    if (!note.notebookId.isEmpty())
        data.insert(key("notebook_id"), note.notebookId);
    if (note.deletedAt)
        data.insert(key("deleted_at"), toWireTime(*note.deletedAt));
    return QJsonObject{{key("entity_type"), key("note")},
                       {key("entity_id"), note.id},
                       {key("action"), note.deletedAt ? key("delete") : key("update")},
                       {key("version"), note.version},
                       {key("data"), data}};
}

std::optional<Note> noteFromWire(const QJsonObject &json, const std::optional<Note> &local)
{
    bool ok = true;
    const std::optional<QString> id = optionalText(json, "id", &ok);
    if (!id || !isUsableId(*id))
        return std::nullopt;
    const std::optional<QString> body = optionalText(json, "body", &ok);
    const std::optional<QString> notebookId = optionalText(json, "notebook_id", &ok);
    const std::optional<QString> ownerId = optionalText(json, "owner_id", &ok);
    const std::optional<QString> permission = optionalText(json, "permission", &ok);
    if (!ok || (notebookId && !notebookId->isEmpty() && !isUsableId(*notebookId)))
        return std::nullopt;

    Note note;
    note.id = *id;
    note.notebookId = notebookId.value_or(QString());
    // A record without a body (a bare deletion) keeps the text it had here.
    if (body)
        note.body = *body;
    else
        note.body = local ? local->body : emptyNoteBody();
    note.version = wireVersion(json.value(key("version")), 0);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime created = fromWireTime(json.value(key("created_at")));
    const QDateTime updated = fromWireTime(json.value(key("updated_at")));
    const QDateTime modified = fromWireTime(json.value(key("modified_at")));
    note.createdAt = created.isValid() ? created : (local ? local->createdAt : now);
    note.updatedAt = updated.isValid() ? updated : note.createdAt;
    note.modifiedAt = modified.isValid() ? modified : note.updatedAt;
    const QJsonValue deleted = json.value(key("deleted_at"));
    if (!deleted.isUndefined() && !deleted.isNull()) {
        const QDateTime deletedAt = fromWireTime(deleted);
        // A deletion without a readable time is still a deletion.
        note.deletedAt = deletedAt.isValid() ? deletedAt : now;
    }
    note.opVersion = 0;
    note.syncStatus = SyncStatus::Synced;
    note.isSample = false;
    note.ownerId = ownerId.value_or(QString());
    note.isShared = wireBool(json.value(key("is_shared")));
    note.permission = permission.value_or(QString());
    return note;
}

std::optional<Notebook> notebookFromWire(const QJsonObject &json)
{
    const QJsonValue id = json.value(key("id"));
    const QJsonValue name = json.value(key("name"));
    if (!id.isString() || !isUsableId(id.toString()) || !name.isString())
        return std::nullopt;
    Notebook notebook;
    notebook.id = id.toString();
    notebook.name = name.toString();
    notebook.isDefault = wireBool(json.value(key("is_default")));
    notebook.isShared = wireBool(json.value(key("is_shared")));
    notebook.version = wireVersion(json.value(key("version")), 0);
    // The notebook list carries numbers only.
    const QJsonValue created = json.value(key("created_at"));
    const QJsonValue updated = json.value(key("updated_at"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    notebook.createdAt = created.isDouble() ? fromWireTime(created) : now;
    if (!notebook.createdAt.isValid())
        notebook.createdAt = now;
    notebook.updatedAt = updated.isDouble() ? fromWireTime(updated) : notebook.createdAt;
    if (!notebook.updatedAt.isValid())
        notebook.updatedAt = notebook.createdAt;
    notebook.syncStatus = SyncStatus::Synced;
    return notebook;
}

std::optional<Attachment> attachmentFromWire(const QJsonObject &json)
{
    bool ok = true;
    const std::optional<QString> id = optionalText(json, "id", &ok);
    const std::optional<QString> noteId = optionalText(json, "note_id", &ok);
    const std::optional<QString> filename = optionalText(json, "filename", &ok);
    const std::optional<QString> mimeType = optionalText(json, "mime_type", &ok);
    if (!ok || !id || !isUsableId(*id) || !noteId || !isUsableId(*noteId))
        return std::nullopt;
    Attachment attachment;
    attachment.id = *id;
    attachment.noteId = *noteId;
    attachment.filename = filename.value_or(QString());
    attachment.mimeType = mimeType.value_or(QString());
    // A size no file can have reads as unknown, like a missing one.
    attachment.sizeBytes = wireCount(json.value(key("size_bytes")));
    attachment.createdAt = fromWireTime(json.value(key("created_at")));
    if (!attachment.createdAt.isValid())
        attachment.createdAt = QDateTime::currentDateTimeUtc();
    attachment.syncStatus = SyncStatus::Synced;
    return attachment;
}

QString conflictCopyBody(const QString &body)
{
    const QString marker = QStringLiteral(" (conflicting copy)");
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return QString(body + marker);
    QJsonArray ops = document.array();
    // The marker goes before the first line break, which ends the title.
    for (qsizetype i = 0; i < ops.size(); ++i) {
        QJsonObject op = ops.at(i).toObject();
        const QJsonValue insert = op.value(key("insert"));
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        const qsizetype newline = text.indexOf(QLatin1Char('\n'));
        if (newline < 0)
            continue;
        // A line's attributes sit on its newline op; the marker must not take
        // over that op's formatting, so it goes in as plain text before it.
        QJsonArray result;
        for (qsizetype j = 0; j < i; ++j)
            result.append(ops.at(j));
        if (newline > 0) {
            QJsonObject before = op;
            before.insert(key("insert"), text.left(newline));
            result.append(before);
        }
        const QString markerText = newline > 0 || i > 0 ? marker : marker.trimmed();
        result.append(QJsonObject{{key("insert"), markerText}});
        QJsonObject rest = op;
        rest.insert(key("insert"), text.mid(newline));
        result.append(rest);
        for (qsizetype j = i + 1; j < ops.size(); ++j)
            result.append(ops.at(j));
        return QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact));
    }
    ops.append(QJsonObject{{key("insert"), QString(marker.trimmed() + QLatin1Char('\n'))}});
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

} // namespace SyncWire
