#pragma once

#include <QString>

#include <functional>

class AppState;
class QWidget;

// The account library's windows opened from the application: the share
// dialogs for a note or a notebook and the account screen.

// Modeless, deleted on close. Nothing opens without a signed-in account
// client and a sharing service.
void showNoteShareDialog(AppState *state, const QString &noteId, QWidget *parent);
void showNotebookShareDialog(AppState *state, const QString &notebookId, QWidget *parent);

// One account screen per owner window; asking again reloads it and brings it
// forward.
// signOut runs when the account is scheduled for deletion.
void showAccountScreen(AppState *state, QWidget *owner, std::function<void()> signOut);
