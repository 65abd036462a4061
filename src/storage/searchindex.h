#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// What is derived from a note body when it is stored, keyed by the note's
// rowid: notes_fts holds the text the reader sees (see noteBodyTexts()) and
// note_list_texts what the note list shows, so that neither searching nor
// listing reads bodies. NoteRepository (and the bulk note writer of the
// generator) write both in the same transaction as the note row; an AFTER
// DELETE trigger on notes removes them.
//
// Keying by rowid is safe because nothing renumbers the notes table: the
// program never runs VACUUM, and a migration that rebuilds the table must
// rebuild this index too (migration 3 does so from the bodies).
namespace SearchIndex {

// Creates notes_fts, note_list_texts and the delete trigger (no IF NOT
// EXISTS: migration 3 relies on a leftover object failing it).
QStringList schemaStatements();

// Characters the index and the queries treat as words of their own besides
// letters and digits: emoji and other symbols, so that "🎉" finds
// "party🎉". Both sides apply the same rule through this function.
QString separateSymbols(const QString &text);

// The MATCH argument used when the search text is not valid FTS5 syntax:
// each whitespace-separated word double-quoted (inner quotes doubled), words
// without letters, digits or symbols left out, and the last one a prefix
// only when the text ends in a letter or digit. Empty when nothing is left
// to search for.
QString quotedQuery(const QString &text);

// The MATCH argument for the text as typed: FTS5 syntax passes through and
// the last word matches as a prefix.
QString rawQuery(const QString &text);

} // namespace SearchIndex

// Writes the index rows of one note after another, reusing its prepared
// statements; keep it for one batch of writes only.
class NoteIndexWriter
{
public:
    explicit NoteIndexWriter(const QSqlDatabase &db);

    // Indexes `body` for the note stored under `rowId`, replacing what the
    // index held for it.
    bool write(qint64 rowId, const QString &body, QString *error = nullptr);

private:
    QSqlDatabase m_db;
    QSqlQuery m_text;
    QSqlQuery m_listTexts;
    bool m_prepared = false;
};
