#pragma once

#include <QList>
#include <QString>

#include <functional>

class Database;

// One note, notebook or file that was left out, and why.
struct ImportIssue
{
    QString item;
    QString reason;
};

// What an import did. All counts start at 0; a failed or cancelled import
// stores nothing, so its counts of stored things stay 0.
struct ImportResult
{
    int imported = 0;    // notes stored
    int notebooks = 0;   // notebooks stored
    int attachments = 0; // files stored
    int trashed = 0;     // of the notes stored, those that went to the Trash
    int skipped = 0;     // items deliberately left out (encrypted, unsupported)
    int errors = 0;      // items that could not be read or stored
    QString errorMessage;
    bool cancelled = false;
    QList<ImportIssue> skippedItems;
    QList<ImportIssue> failedItems;

    void skip(const QString &item, const QString &reason);
    void fail(const QString &item, const QString &reason);
    // Counts, then every skipped and failed item with its reason: what the
    // wizard shows and copies.
    QString reportText() const;
    // Only the skipped and failed items with their reasons.
    QString issuesText() const;
};

// Called with the notes done so far, how many there are (0 while unknown)
// and what is being done; returning false cancels the import, which then
// stores nothing.
using ImportProgress = std::function<bool(int current, int total, const QString &label)>;

enum class ImportFormat { Joplin, NoteStation };

// Each archive is imported all or nothing: the notes, notebooks and
// attachment rows go in through the connection of `database` in short
// transactions, what was stored is taken back when a later one fails or the
// import is cancelled, and files written for it are removed again. Notes
// trashed in the source land in the Trash.
ImportResult importJex(const QString &path, Database *database, const ImportProgress &progress = {});
ImportResult importNsx(const QString &path, Database *database, const ImportProgress &progress = {});
ImportResult importArchive(ImportFormat format, const QString &path, Database *database,
                           const ImportProgress &progress = {});
