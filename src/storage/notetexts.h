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
