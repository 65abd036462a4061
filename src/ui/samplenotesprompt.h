#pragma once

#include <QString>

#include <functional>

class NoteRepository;
class QWidget;

// Asks before inserting the sample notes and reports how many arrived
// through showMessage (the main window shows it in its status bar).
void loadSampleNotesInteractively(QWidget *parent, NoteRepository *notes,
                                  const std::function<void(const QString &)> &showMessage);
