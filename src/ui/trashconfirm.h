#pragma once

#include <QString>

class NoteRepository;
class QWidget;

// Asks "Move "<title>" to Trash?" (Yes/No, No by default) for the note.
bool confirmMoveToTrash(QWidget *parent, const NoteRepository *notes, const QString &noteId);
