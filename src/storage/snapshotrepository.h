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

// Called when the user leaves a note: writes a snapshot of body at the note's
// current version when body is not empty and differs from *remembered (the
// body as opened, or as last snapshotted), which then becomes body. Returns
// true when a snapshot was written.
bool snapshotIfChanged(SnapshotRepository *snapshots, const NoteRepository *notes, const QString &noteId,
                       const QString &body, QString *remembered);
