#pragma once

#include "storage/attachmentrepository.h"
#include "storage/note.h"
#include "storage/notebook.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// The notes server's JSON records and the local rows they map to. Servers
// are not trusted: a record whose id or fields have the wrong shape is
// refused (nullopt) rather than stored half-read.
namespace SyncWire {

// Milliseconds since the epoch, as the server wants every time.
qint64 toWireTime(const QDateTime &time);
// A number of milliseconds or an ISO 8601 text (with milliseconds); null
// for anything else, including the empty text.
QDateTime fromWireTime(const QJsonValue &value);
// A positive whole number (a cursor, a size), else 0.
qint64 wireCount(const QJsonValue &value);
// An integer that fits a version column, else fallback.
qint32 wireVersion(const QJsonValue &value, qint32 fallback);

// Ids end up in SQL binds and file names: a bounded, printable text only.
bool isUsableId(const QString &id);

// One element of the push batch.
QJsonObject noteChange(const Note &note);

// A pulled note. local: the row with that id, if any, for the fields the
// record leaves out.
std::optional<Note> noteFromWire(const QJsonObject &json, const std::optional<Note> &local);
std::optional<Notebook> notebookFromWire(const QJsonObject &json);
std::optional<Attachment> attachmentFromWire(const QJsonObject &json);

// The body of a note that keeps the local text of a note the server changed
// at the same time: the same document with the first line marked, so that the
// two notes can be told apart in the list.
QString conflictCopyBody(const QString &body);

} // namespace SyncWire
