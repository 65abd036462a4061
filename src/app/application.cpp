#include "application.h"

#include "app/appstate.h"
#include "app/quitsignals.h"
#include "app/singleinstance.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/notewindow.h"

#include "update/artifact.h"
#include "update/updateconfig.h"
#include "update/updateui.h"

#include <QDebug>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace {
constexpr int UpdateCheckDelayMs = 1500;
// The full database check reads every page; it waits until the window is
// painted and the first reads are done.
constexpr int IntegrityCheckDelayMs = 2000;
const char *const DefaultUpdateUrl = "https://downloads.lumora.app/notes/stable/";
const char *const FeedbackSiteUrl = "https://feedback.lumora.app";
} // namespace

LaunchRequest LaunchRequest::fromArguments(const QStringList &arguments)
{
    LaunchRequest request;
    request.newNote = arguments.contains(QLatin1String("--new-note"));
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--note")) {
            request.noteId = arguments.at(i + 1);
            break;
        }
    }
    return request;
}

namespace {

const char *const UsageLine = "Usage: lumora-notes [--new-note | --note <id>] [--help] [--version]\n";

// Qt's own options, which QApplication takes out of the arguments itself;
// true for those that take a value in the next argument.
const struct {
    const char *name;
    bool takesValue;
} QtOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"session", true},
    {"style", true}, {"stylesheet", true}, {"display", true}, {"reverse", false},
    {"widgetcount", false}, {"nograb", false}, {"dograb", false}, {"qmljsdebugger", false},
};

// -1 when the argument is not one of Qt's options, otherwise how many
// arguments after it belong to it.
int qtOptionValues(const QString &argument)
{
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0)
        name.truncate(equals);
    for (const auto &option : QtOptions) {
        if (name == QLatin1String(option.name))
            return option.takesValue && equals < 0 ? 1 : 0;
    }
    return -1;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.action = Action::Help;
            return result;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            result.action = Action::Version;
            return result;
        }
        if (argument == QLatin1String("--note")) {
            ++i; // the id, whatever it looks like
            continue;
        }
        if (argument == QLatin1String("--new-note") || !argument.startsWith(QLatin1Char('-')))
            continue;
        const int values = qtOptionValues(argument);
        if (values < 0) {
            result.action = Action::Unknown;
            result.unknownOption = argument;
            return result;
        }
        i += values;
    }
    return result;
}

int CommandLine::handle(const QStringList &arguments)
{
    const CommandLine commandLine = parse(arguments);
    switch (commandLine.action) {
    case Action::Run:
        return -1;
    case Action::Help:
        std::fputs(UsageLine, stdout);
        std::fputs("\nA fast, search-first note-taking application.\n\n"
                   "  --new-note    create a new note and open it in its own window\n"
                   "  --note <id>   open that note in its own window\n"
                   "  --help        show this help and exit\n"
                   "  --version     show the version and exit\n\n"
                   "A running instance for the same data directory takes the request over.\n"
                   "NOTES_DATA_DIR chooses the data directory.\n",
                   stdout);
        return 0;
    case Action::Version:
        std::printf("%s %s\n", Application::DisplayName, Application::Version);
        return 0;
    case Action::Unknown:
        std::fprintf(stderr, "lumora-notes: unknown option '%s'\n%s", qPrintable(commandLine.unknownOption),
                     UsageLine);
        return 2;
    }
    return -1;
}

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Lumora"));
    setOrganizationDomain(QStringLiteral("lumora.app"));
    setApplicationName(QStringLiteral("Notes"));
    setApplicationVersion(QString::fromLatin1(Version));
    setApplicationDisplayName(QString::fromLatin1(DisplayName));
    setDesktopFileName(QStringLiteral("app.lumora.Notes"));
    registerFonts();
    setWindowIcon(QIcon(QStringLiteral(":/icons/app-icon.png")));

    m_reportError = [](const QString &title, const QString &text) {
        QMessageBox::critical(nullptr, title, text);
    };
    // The session manager may end the process right after this returns.
    connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { saveOpenNotes(); });
}

void Application::registerFonts()
{
    const char *const fonts[] = {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                                 ":/fonts/IBMPlexMono-Medium.ttf", ":/fonts/MaterialIcons-Regular.otf"};
    for (const char *path : fonts) {
        if (QFontDatabase::addApplicationFont(QString::fromLatin1(path)) < 0)
            qWarning() << "Application: could not register font" << path;
    }
    QFont interfaceFont(QStringLiteral("IBM Plex Sans"));
    interfaceFont.setPointSizeF(font().pointSizeF());
    setFont(interfaceFont);
}

int Application::startUp(const QStringList &args)
{
    m_singleInstance = new SingleInstance(SingleInstance::serverNameFor(configuredDataDirectory()), this);
    if (!m_singleInstance->tryRun(SingleInstance::messageForArguments(args)))
        return 0;
    // The server listens from here on, and building the state can spin an
    // event loop (the keychain): messages that arrive meanwhile wait.
    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::handleMessage);

    m_appState = new AppState(this);
    QString error;
    if (!m_appState->initialize(&error)) {
        m_reportError(QStringLiteral("Database Error"),
                      QStringLiteral("Failed to initialize the database.\n\n") + error);
        return 1;
    }
    connect(m_appState->database(), &Database::corruptionDetected, this,
            [this](const QString &message) { m_reportError(QStringLiteral("Database Error"), message); });
    if (!m_quitSignals) {
        m_quitSignals = new QuitSignals(this);
        connect(m_quitSignals, &QuitSignals::quitRequested, this, &Application::quitSavingNotes);
    }

    const LaunchRequest request = LaunchRequest::fromArguments(args);
    if (request.newNote)
        m_appState->newNoteWindow();
    else if (!request.noteId.isEmpty())
        m_appState->openNoteWindow(request.noteId);

    m_mainWindow = new MainWindow(m_appState);
    PreferencesRepository *prefs = m_appState->preferences();
    const bool startMinimized = prefs->getBool(QStringLiteral("start_minimized"), false);
    if (!request.newNote && request.noteId.isEmpty() && !startMinimized)
        m_mainWindow->show();

    restoreNoteWindows(m_appState);
    // One-shot, like the note windows.
    if (prefs->getBool(QStringLiteral("restore_todos_window"), false)) {
        m_mainWindow->showTodosWindow();
        prefs->remove(QStringLiteral("restore_todos_window"));
    }

    m_ready = true;
    for (const QString &message : std::exchange(m_earlyMessages, {}))
        handleMessage(message);

    showWhatsNewOncePerVersion();
    // Tied to the state so a shut-down start-up never checks late.
    QTimer::singleShot(UpdateCheckDelayMs, m_appState, [this] { startUpdateCheck(); });
    QTimer::singleShot(IntegrityCheckDelayMs, m_appState, [this] { m_appState->database()->startIntegrityCheck(); });
    return -1;
}

void Application::restoreNoteWindows(AppState *state)
{
    PreferencesRepository *prefs = state->preferences();
    const QString restore = prefs->getString(QStringLiteral("restore_note_windows"));
    if (restore.isEmpty())
        return;
    const QStringList ids = restore.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &id : ids)
        state->openNoteWindow(id);
    // One-shot: the next quit writes it afresh.
    prefs->remove(QStringLiteral("restore_note_windows"));
}

BrioUpdate::Config Application::updateConfig()
{
    BrioUpdate::Config config;
    config.app = QStringLiteral("notes");
    config.channel = QStringLiteral("stable");
    // Overridable so that tests and staging never reach the real server.
    const QString override = qEnvironmentVariable("LUMORA_UPDATE_URL");
    config.manifestBaseUrl = QUrl(override.isEmpty() ? QString::fromLatin1(DefaultUpdateUrl) : override);
    config.currentVersion = QString::fromLatin1(Version);
    return config;
}

BrioUpdate::FeedbackConfig Application::feedbackConfig()
{
    return {QStringLiteral("notes"), QUrl(QString::fromLatin1(FeedbackSiteUrl))};
}

void Application::showWhatsNewOncePerVersion()
{
    PreferencesRepository *prefs = m_appState->preferences();
    const QString current = QString::fromLatin1(Version);
    const QString seen = prefs->getString(QStringLiteral("last_whats_new_version"));
    if (!BrioUpdate::isVersionLower(seen, current))
        return;
    // Stored first, so a crash while showing the notes does not repeat them.
    prefs->setString(QStringLiteral("last_whats_new_version"), current);
    BrioUpdate::showStartupWhatsNew(updateConfig(), QString::fromLatin1(DisplayName), m_mainWindow);
}

void Application::startUpdateCheck()
{
    BrioUpdate::checkForUpdatesSilently(updateConfig(), QString::fromLatin1(DisplayName), m_mainWindow);
}

int Application::run()
{
    const int early = startUp(arguments());
    if (early >= 0)
        return early;
    const int code = exec();
    shutDown();
    return code;
}

void Application::shutDown()
{
    delete m_mainWindow;
    m_mainWindow = nullptr;
    delete m_appState;
    m_appState = nullptr;
    delete m_singleInstance;
    m_singleInstance = nullptr;
}

void Application::saveOpenNotes()
{
    if (m_mainWindow)
        m_mainWindow->saveCurrentNote();
    if (!m_appState)
        return;
    const QStringList ids = m_appState->openNoteWindowIds();
    for (const QString &id : ids) {
        if (NoteWindow *window = m_appState->noteWindow(id))
            window->save();
    }
}

void Application::quitSavingNotes()
{
    saveOpenNotes();
    // The windows' own close paths add their snapshots and layout.
    if (m_mainWindow)
        m_mainWindow->closeEveryWindow();
    else
        closeAllWindows();
    quit();
}

void Application::handleMessage(const QString &message)
{
    if (!m_ready) {
        m_earlyMessages.append(message);
        return;
    }
    if (!m_appState)
        return;
    if (message == QLatin1String("new-note")) {
        m_appState->newNoteWindow();
    } else if (message.startsWith(QLatin1String("note:"))) {
        m_appState->openNoteWindow(message.mid(5));
    } else if (m_mainWindow) {
        m_mainWindow->showAndActivate();
    }
}
