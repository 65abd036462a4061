#include "samplenotesprompt.h"

#include "features/samplenotes.h"

#include <QCoreApplication>
#include <QMessageBox>

void loadSampleNotesInteractively(QWidget *parent, NoteRepository *notes,
                                  const std::function<void(const QString &)> &showMessage)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, QCoreApplication::translate("SampleNotes", "Load Sample Notes"),
        QCoreApplication::translate("SampleNotes",
                                    "Insert 7 sample notes into this database?\n\nThey'll appear in the unorganized "
                                    "pool with staggered dates from today to 28 days ago. Existing notes are not "
                                    "modified."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const int count = loadSampleNotes(notes);
    if (showMessage)
        showMessage(QCoreApplication::translate("SampleNotes", "Loaded %n sample note(s).", nullptr, count));
}
