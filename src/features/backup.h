#pragma once

#include "storage/note.h"
#include "storage/notebook.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

class Database;

// For a backup, imported holds the number of notes written.
struct BackupResult
{
    int imported = 0;
    int skipped = 0;
    int errors = 0;
    QString errorMessage;
};

// What a restore does with a record whose id is already stored.
enum class RestoreMode {
    Skip = 0,
    Overwrite = 1,
    // Replaces only when the archive's updatedAt is later than the stored one.
    Newer = 2,
};

// Called now and then with the work done so far out of the total; returning
// false cancels. Runs on the thread doing the work.
using BackupProgress = std::function<bool(qint64 done, qint64 total)>;

// The archive's records: camel-case JSON; a missing key reads as the
// record's default, deletedAt only when it is a non-empty string.
QJsonObject noteToBackupJson(const Note &note);
Note noteFromBackupJson(const QJsonObject &object);
QJsonObject notebookToBackupJson(const Notebook &notebook);
Notebook notebookFromBackupJson(const QJsonObject &object);

// Writes every live notebook, every note (trashed ones too) and every file of
// the attachments directory into a ZIP archive at zipPath. The archive is
// written beside the target, read back in full, and only then renamed over
// it: a failed backup leaves an existing file at zipPath untouched.
// Uses database's connection, so it runs on the thread that opened it.
BackupResult createBackup(const QString &zipPath, Database *database, const BackupProgress &progress = {});

// Reads a backup archive back. Records are written in one transaction and
// attachment files that are not there yet are added; an archive that cannot
// be read in full, a cancel or a failed commit changes nothing. A record that
// cannot be parsed is counted in errors and the rest are restored.
BackupResult restoreBackup(const QString &zipPath, Database *database, RestoreMode mode,
                           const BackupProgress &progress = {});
