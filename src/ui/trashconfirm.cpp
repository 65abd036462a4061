#include "trashconfirm.h"

#include "storage/noterepository.h"

#include <QMessageBox>

bool confirmMoveToTrash(QWidget *parent, const NoteRepository *notes, const QString &noteId)
{
    const std::optional<Note> note = notes->byId(noteId);
    const QString title = note ? noteTitle(note->body) : QString();
    const QString name = title.isEmpty() ? QStringLiteral("this note") : title;
    return QMessageBox::question(parent, QStringLiteral("Move to Trash"),
                                 QStringLiteral("Move \"%1\" to Trash?").arg(name), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}
