#include "application.h"

#include "app/appstate.h"
#include "app/singleinstance.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"

#include "update/artifact.h"
#include "update/updateconfig.h"
#include "update/updateui.h"

#include <QDebug>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

namespace {
constexpr int UpdateCheckDelayMs = 1500;
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
    m_singleInstance = new SingleInstance(QString::fromLatin1(SingleInstance::DefaultServerName), this);
    if (!m_singleInstance->tryRun(SingleInstance::messageForArguments(args)))
        return 0;

    m_appState = new AppState(this);
    if (!m_appState->initialize()) {
        m_reportError(QStringLiteral("Database Error"),
                      QStringLiteral("Failed to initialize the database.\n\nData directory: %1\n\n"
                                     "Please check file permissions and try again.")
                          .arg(dataDirectory()));
        return 1;
    }

    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::handleMessage);

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

    const QString restore = prefs->getString(QStringLiteral("restore_note_windows"));
    if (!restore.isEmpty()) {
        const QStringList ids = restore.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &id : ids)
            m_appState->openNoteWindow(id);
        prefs->remove(QStringLiteral("restore_note_windows"));
    }

    showWhatsNewOncePerVersion();
    // Tied to the state so a shut-down start-up never checks late.
    QTimer::singleShot(UpdateCheckDelayMs, m_appState, [this] { startUpdateCheck(); });
    return -1;
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

void Application::handleMessage(const QString &message)
{
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
