#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

enum class SyncStatus { Pending = 0, Synced = 1, Conflict = 2 };

QString syncStatusToText(SyncStatus status);
SyncStatus syncStatusFromText(const QString &text);

// One row of the notes table.
struct Note
{
    QString id;
    QString notebookId;
    QString body;
    QDateTime createdAt;
    QDateTime updatedAt;
    QDateTime modifiedAt;
    std::optional<QDateTime> deletedAt;
    qint32 version = 1;
    qint32 opVersion = 0;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isSample = false;
    QString ownerId;
    bool isShared = false;
    QString permission;

    bool isTrashed() const { return deletedAt.has_value(); }
};

// The body of a new, empty note: one empty line.
inline QString emptyNoteBody()
{
    return QStringLiteral("[{\"insert\":\"\\n\"}]");
}

// Texts derived from a note body (Delta JSON, or legacy plain text).
QString deltaToPlainText(const QString &body);
QString noteTitle(const QString &body);
QString notePreview(const QString &body);
// The same rules applied to plain text already extracted from a body.
QString titleFromPlainText(const QString &text);
QString previewFromPlainText(const QString &text);

// Timestamps are stored as ISO 8601 text with milliseconds in UTC.
QString toStoredTimestamp(const QDateTime &dateTime);
QDateTime fromStoredTimestamp(const QString &text);
