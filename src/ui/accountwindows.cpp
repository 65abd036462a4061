#include "accountwindows.h"

#include "account/accountscreen.h"
#include "account/client.h"
#include "account/sharemembersdialog.h"
#include "app/appstate.h"
#include "features/notesharingservice.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AccountWindows", text);
}

// New shares may change the item: both sides can edit it.
const QString SharePermission = QStringLiteral("edit");

void showShareDialog(AppState *state, BrioAccount::SharingBackend *sharing, const QString &itemId,
                     const BrioAccount::ShareDialogTexts &texts, QWidget *parent)
{
    BrioAccount::Client *account = state->accountClient();
    if (!account || !sharing || itemId.isEmpty())
        return;
    auto *dialog = new BrioAccount::ShareMembersDialog(sharing, account->accountClient(), itemId, texts,
                                                        SharePermission, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

} // namespace

void showNoteShareDialog(AppState *state, const QString &noteId, QWidget *parent)
{
    const std::optional<Note> note = state->notes() ? state->notes()->byId(noteId) : std::nullopt;
    if (!note)
        return;
    const QString title = noteTitle(note->body);
    BrioAccount::ShareDialogTexts texts;
    texts.windowTitle = tr("Share Note");
    texts.heading = tr("Sharing: %1").arg(title.isEmpty() ? tr("Untitled") : title);
    texts.description = tr("Share this note with members of your Lumora family group. They'll see the latest "
                           "version synced to their devices.");
    texts.removeQuestion = tr("Remove %1's access to this note?");
    showShareDialog(state, state->noteSharing(), note->id, texts, parent);
}

void showNotebookShareDialog(AppState *state, const QString &notebookId, QWidget *parent)
{
    const std::optional<Notebook> notebook = state->notebooks() ? state->notebooks()->byId(notebookId)
                                                                : std::nullopt;
    if (!notebook)
        return;
    BrioAccount::ShareDialogTexts texts;
    texts.windowTitle = tr("Share Notebook");
    texts.heading = tr("Sharing: %1").arg(notebook->name);
    texts.description = tr("Share this notebook with members of your Lumora family group. They'll see every note "
                           "inside it on their devices.");
    texts.removeQuestion = tr("Remove %1's access to this notebook?");
    showShareDialog(state, state->notebookSharing(), notebook->id, texts, parent);
}

void showAccountScreen(AppState *state, QWidget *owner, std::function<void()> signOut)
{
    BrioAccount::Client *account = state->accountClient();
    if (!account)
        return;
    if (auto *open = owner->findChild<BrioAccount::AccountScreen *>(QString(), Qt::FindDirectChildrenOnly)) {
        // Asked for again, it shows the account as it is now.
        open->refresh();
        open->raise();
        open->activateWindow();
        return;
    }
    auto *screen = new BrioAccount::AccountScreen(account, owner);
    screen->setWindowFlag(Qt::Window);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->setWindowTitle(tr("Account \u2014 Lumora Notes"));
    screen->resize(860, 600);
    QObject::connect(screen, &BrioAccount::AccountScreen::logoutRequested, screen, [screen, signOut] {
        if (signOut)
            signOut();
        screen->close();
    });
    // Signed out (here or elsewhere) there is no account left to show.
    QObject::connect(account, &BrioAccount::Client::authStateChanged, screen, [screen](BrioAccount::AuthState s) {
        if (s != BrioAccount::AuthClient::SignedIn)
            screen->close();
    });
    screen->show();
}
