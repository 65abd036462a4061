#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <optional>

class Database;
class NoteRepository;

// A note's full body as it stood at one of its versions.
struct NoteSnapshot
{
    QString id;
    QString noteId;
    qint32 version = 0;
    QString body;
    QDateTime createdAt;
};

// The version history of notes. At most one snapshot per note and version:
// a newer one of the same version replaces the older.
class SnapshotRepository : public QObject
{
    Q_OBJECT

public:
    explicit SnapshotRepository(Database *database, QObject *parent = nullptr);

    std::optional<NoteSnapshot> byId(const QString &id) const;
    QList<NoteSnapshot> forNote(const QString &noteId) const;
    bool insert(const NoteSnapshot &snapshot);

private:
    QList<NoteSnapshot> select(const QString &sql, const QString &bind) const;

    QSqlDatabase m_db;
};

// Writes a snapshot of the note as it is stored, at its current version.
// False when the note is missing, has an empty body, or the insert failed.
bool snapshotStoredVersion(SnapshotRepository *snapshots, const NoteRepository *notes, const QString &noteId);
