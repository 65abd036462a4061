#include "appstate.h"

#include "account/accountclient.h"
#include "account/apiclient.h"
#include "account/client.h"
#include "app/thememanager.h"
#include "features/importbatch.h"
#include "features/notesharingservice.h"
#include "features/samplenotes.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "sync/syncengine.h"
#include "ui/notewindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QUuid>

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState()
{
    const QList<NoteWindow *> windows = m_noteWindows.values();
    m_noteWindows.clear();
    m_noteWindowOrder.clear();
    for (NoteWindow *window : windows) {
        disconnect(window, nullptr, this, nullptr);
        window->close();
        delete window;
    }
    // Repositories hold handles on the connection: they go before the database.
    delete m_notes;
    delete m_notebooks;
    delete m_preferences;
    delete m_snapshots;
    delete m_attachments;
    delete m_themeManager;
    delete m_database;
}

bool AppState::initialize(QString *error)
{
    QString problem;
    const auto fail = [&] {
        if (error)
            *error = problem;
        return false;
    };
    const QString dir = dataDirectory();
    if (!checkDataDirectory(dir, &problem))
        return fail();

    m_database = new Database(this);
    const QString path = databasePath();
    qInfo().noquote() << "Opening database at:" << path;
    if (!m_database->open(path, &problem))
        return fail();
    if (!m_database->migrate(&problem)) {
        if (problem.isEmpty())
            problem = QStringLiteral("The database %1 could not be brought up to this version's schema.")
                          .arg(QDir::toNativeSeparators(path));
        return fail();
    }
    // An import stopped half-way by a crash must not show half an archive.
    if (QString importProblem; !takeBackUnfinishedImport(m_database, &importProblem))
        qWarning().noquote() << importProblem;

    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);

    connect(m_notes, &NoteRepository::noteChanged, this, &AppState::noteChanged);
    connect(m_notes, &NoteRepository::noteCountsChanged, this, &AppState::noteCountsChanged);
    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    // A purge deletes the attachment rows with the note, in its transaction;
    // the files go once that has committed.
    connect(m_notes, &NoteRepository::attachmentsPurged, m_attachments, &AttachmentRepository::removeFiles);
    connect(m_notes, &NoteRepository::notePurged, m_attachments, &AttachmentRepository::removeForNote);

    m_themeManager = new ThemeManager(m_preferences, this);
    m_themeManager->setMode(m_preferences->getString(QStringLiteral("theme_mode"), QStringLiteral("system")));

    createAccountClient();

    // Selection from the last run is restored silently: nothing listens yet.
    if (const auto notebookId = m_preferences->value(QStringLiteral("lastNotebookId")))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->value(QStringLiteral("lastNoteId")))
        m_currentNoteId = *noteId;

    // LUMORA_NO_WELCOME_NOTES keeps a fresh library empty (tests, benchmarks).
    if (qEnvironmentVariableIsEmpty("LUMORA_NO_WELCOME_NOTES"))
        createWelcomeNotes(m_notes, m_preferences);

    Q_EMIT databaseReady();
    return true;
}

void AppState::setCurrentNotebookId(const QString &id)
{
    if (id == m_currentNotebookId)
        return;
    m_currentNotebookId = id;
    if (m_preferences)
        m_preferences->setString(QStringLiteral("lastNotebookId"), id);
    Q_EMIT currentNotebookChanged(id);
}

void AppState::setCurrentNoteId(const QString &id)
{
    if (id == m_currentNoteId)
        return;
    m_currentNoteId = id;
    if (m_preferences)
        m_preferences->setString(QStringLiteral("lastNoteId"), id);
    Q_EMIT currentNoteChanged(id);
}

void AppState::createAccountClient()
{
    // The built-in servers; each can be moved by its environment variable.
    const BrioAccount::ClientConfig config = BrioAccount::withEnvironmentOverrides({
        QStringLiteral("https://auth.lumora.app"),
        QStringLiteral("lumora"),
        QStringLiteral("https://api.lumora.app/account/v1"),
        QStringLiteral("a41c7e09b2d85f36e10c9a7b4d2f8e63"),
        QStringLiteral("app.lumora.notes"),
        QStringLiteral("Lumora Notes"),
        QCoreApplication::applicationVersion(),
        QString(),
        QStringLiteral("https://account.lumora.app"),
    });
    const QUrl notesApi
        = BrioAccount::notesApiUrlFromEnvironment(QUrl(QStringLiteral("https://api.lumora.app/notes/v1")));
    qInfo().noquote() << "Auth:" << config.authBaseUrl << "Account:" << config.accountApiBaseUrl
                      << "Sync:" << notesApi.toString();

    m_accountClient = new BrioAccount::Client(config, this);
    m_accountClient->notesApi()->setBaseUrl(notesApi);
    m_noteSharing = new NoteSharingService(m_accountClient->notesApi(), NoteSharingService::Note, this);
    m_notebookSharing = new NoteSharingService(m_accountClient->notesApi(), NoteSharingService::Notebook, this);
    createSyncEngine();

    connect(m_accountClient, &BrioAccount::Client::authStateChanged, this, &AppState::onAuthStateChanged);
    // Joining or leaving changes who there is to share with.
    connect(
        m_accountClient->accountClient(), &BrioAccount::AccountClient::groupChanged, this, &AppState::refreshCanShare);
    m_accountClient->authClient()->initialize();
}

void AppState::createSyncEngine()
{
    m_syncEngine = new SyncEngine(
        m_accountClient->notesApi(), m_database, m_notes, m_notebooks, m_attachments, m_preferences, this);
    // A local change is sent shortly after the last one while signed in.
    connect(m_notes, &NoteRepository::notesChanged, this, [this] {
        if (isSignedIn())
            m_syncEngine->scheduleSync();
    });
    connect(m_syncEngine, &SyncEngine::dataChanged, this, [this] {
        Q_EMIT notesChanged();
        Q_EMIT notebooksChanged();
    });
}

bool AppState::isSignedIn() const
{
    return m_accountClient && m_accountClient->isAuthenticated();
}

void AppState::onAuthStateChanged()
{
    if (isSignedIn()) {
        // In the background as the preferences say, and once now.
        if (m_syncEngine && !m_syncEngine->isAutoSyncStarted())
            m_syncEngine->startAutoSync();
        refreshCanShare();
    } else {
        if (m_syncEngine)
            m_syncEngine->stopAutoSync();
        setCanShare(false);
    }
}

void AppState::setCanShare(bool canShare)
{
    if (canShare == m_canShare)
        return;
    m_canShare = canShare;
    Q_EMIT canShareChanged(canShare);
}

void AppState::refreshCanShare()
{
    if (!isSignedIn() || m_accountClient->claims().groupId.isEmpty()) {
        setCanShare(false);
        return;
    }
    m_accountClient->accountClient()->getGroup([guard = QPointer<AppState>(this)](const BrioAccount::Group &group) {
        // An empty record is a failed request: what was known stays.
        if (guard && !group.id.isEmpty())
            guard->setCanShare(group.members.size() >= 2);
    });
}

NoteWindow *AppState::newNoteWindow()
{
    if (!m_notes)
        return nullptr;
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.notebookId = m_currentNotebookId;
    note.body = emptyNoteBody();
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    if (!m_notes->insert(note))
        return nullptr;
    return showNoteWindow(note.id);
}

void AppState::openNoteWindow(const QString &noteId)
{
    showNoteWindow(noteId);
}

NoteWindow *AppState::showNoteWindow(const QString &noteId)
{
    NoteWindow *window = m_noteWindows.value(noteId);
    if (!window) {
        window = new NoteWindow(this, noteId);
        m_noteWindows.insert(noteId, window);
        m_noteWindowOrder.append(noteId);
        connect(window, &NoteWindow::windowClosed, this, [this](const QString &id) {
            m_noteWindows.remove(id);
            m_noteWindowOrder.removeAll(id);
        });
        window->show();
    }
    window->raise();
    window->activateWindow();
    return window;
}

QStringList AppState::openNoteWindowIds() const
{
    return m_noteWindowOrder;
}

void AppState::notifyNoteUpdated(const QString &noteId, QObject *source)
{
    Q_EMIT noteUpdatedExternally(noteId, source);
}
