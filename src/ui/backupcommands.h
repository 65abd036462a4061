#pragma once

#include "features/backup.h"

#include <QString>

#include <functional>

class AppState;
class QWidget;

// Backup and restore run on a worker thread with a database connection of
// their own, while a window-modal progress dialog (with Cancel) keeps the
// window painting. These return when the work is done.
BackupResult runBackup(QWidget *parent, AppState *state, const QString &zipPath);
// Views refresh afterwards when anything arrived.
BackupResult runRestore(QWidget *parent, AppState *state, const QString &zipPath, RestoreMode mode);

// "Imported: 3\nSkipped: 1\nErrors: 0", plus the first error's text.
QString restoreSummary(const BackupResult &result);

// The File menu commands: ask for the file, run, report. showMessage puts a
// short result in the status bar.
void backupInteractively(QWidget *parent, AppState *state, const std::function<void(const QString &)> &showMessage);
void restoreInteractively(QWidget *parent, AppState *state);
