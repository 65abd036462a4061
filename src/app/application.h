#pragma once

#include <QApplication>
#include <QStringList>

#include <functional>

namespace BrioUpdate {
struct Config;
struct FeedbackConfig;
}

class AppState;
class MainWindow;
class QuitSignals;
class SingleInstance;

// What the command line asks for: "--new-note" wins over "--note <id>".
struct LaunchRequest
{
    bool newNote = false;
    QString noteId;

    static LaunchRequest fromArguments(const QStringList &arguments);
};

// The options that end the process before any window or file is touched:
// "--help" and "--version" print and exit 0; an option this program does not
// know (other than Qt's own, such as -platform or -style) prints a usage line
// to stderr and exits 2.
struct CommandLine
{
    enum class Action { Run, Help, Version, Unknown };
    Action action = Action::Run;
    QString unknownOption;

    static CommandLine parse(const QStringList &arguments);
    // Prints what the action asks for; the exit code, or -1 to start up.
    static int handle(const QStringList &arguments);
};

class Application : public QApplication
{
    Q_OBJECT

public:
    static constexpr const char *Version = "1.0.2";
    static constexpr const char *DisplayName = "Lumora Notes";

    Application(int &argc, char **argv);

    // The whole start-up; returns the process exit code.
    int run();

    AppState *appState() const { return m_appState; }
    MainWindow *mainWindow() const { return m_mainWindow; }
    SingleInstance *singleInstance() const { return m_singleInstance; }

    // How a fatal start-up error reaches the user; tests replace it.
    using ErrorReporter = std::function<void(const QString &title, const QString &text)>;
    void setErrorReporter(ErrorReporter reporter) { m_reportError = std::move(reporter); }

    // Runs the start-up for these arguments (program first) up to, not
    // including, the event loop. Returns -1 when the event loop should follow,
    // otherwise the exit code to return.
    int startUp(const QStringList &arguments);

    void handleMessage(const QString &message);

    // Reopens the note windows left open at the last quit, once.
    static void restoreNoteWindows(AppState *state);

    // The release channel handed to the update library, built afresh each time.
    static BrioUpdate::Config updateConfig();
    static BrioUpdate::FeedbackConfig feedbackConfig();

    // Closes the windows and releases the state and the instance guard.
    void shutDown();

    // Saves what the main window and every note window show. Session end
    // calls it; quitting does it first.
    void saveOpenNotes();
    // Saves, closes every window and leaves the event loop: what a
    // termination signal does.
    void quitSavingNotes();

private:
    void registerFonts();
    void showWhatsNewOncePerVersion();
    void startUpdateCheck();

    AppState *m_appState = nullptr;
    MainWindow *m_mainWindow = nullptr;
    SingleInstance *m_singleInstance = nullptr;
    QuitSignals *m_quitSignals = nullptr;
    ErrorReporter m_reportError;
    bool m_ready = false;
    QStringList m_earlyMessages;
};
