#pragma once

#include <QString>

// What a list row shows for a note body. For a note without a title the
// preview moves up into the title's place ("Untitled" when there is none).
struct NoteListTexts
{
    QString title;
    QString preview;
    bool untitled = false;
};

// Parses the body once; the same texts as noteTitle() and notePreview().
NoteListTexts noteListTexts(const QString &body);

// Everything derived from a body when it is stored: the list texts and the
// text the full-text index holds. That is the text the reader sees: every
// text insert (link texts included) and the cell texts of tables, but no JSON
// keys, attributes, link targets or embed values such as image URLs. A body
// that is not a JSON array (a legacy note, or broken JSON) is its own text.
struct NoteBodyTexts
{
    NoteListTexts list;
    QString searchText;
};

NoteBodyTexts noteBodyTexts(const QString &body);
