#include "appstate.h"

#include "app/thememanager.h"
#include "features/samplenotes.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/notewindow.h"

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

void AppState::refreshCanShare()
{
    // No account client yet: the session always behaves as signed out.
    if (m_canShare) {
        m_canShare = false;
        Q_EMIT canShareChanged(false);
    }
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
