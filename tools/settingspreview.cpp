// Shows the preferences window on a throw-away data directory, to look at its
// pages in the light or dark palette.
//   settingspreview [--dark] [--page N] [--signed-in] [--shot file.png]
// With --shot it saves the window as a PNG (at the screen's pixel ratio) and quits.
#include "previewsupport.h"
#include "app/appstate.h"
#include "app/thememanager.h"
#include "storage/preferencesrepository.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("Show page <n> (0 to 4)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption signedIn(QStringLiteral("signed-in"), QStringLiteral("Pretend an account is signed in."));
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, page, signedIn, shot});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark), true);
    if (!session)
        return 1;
    AppState &state = *session;
    // What the main window does when the theme preference changes.
    QObject::connect(state.preferences(), &PreferencesRepository::changed, &state, [&state](const QString &key) {
        if (key == QLatin1String("theme_mode"))
            state.themeManager()->setMode(
                state.preferences()->getString(QStringLiteral("theme_mode"), QStringLiteral("system")));
    });
    state.themeManager()->setMode(parser.isSet(dark) ? QStringLiteral("dark") : QStringLiteral("light"));

    auto *dialog = new SettingsDialog(&state);
    dialog->onCategoryChanged(parser.value(page).toInt());
    if (parser.isSet(signedIn)) {
        dialog->setAccountAvailable(true);
        dialog->setSignedIn(true, QStringLiteral("ana@example.com"));
        dialog->setSyncStatusText(QStringLiteral("Synced 2 minutes ago"));
    }
    dialog->resize(dialog->minimumSize());
    dialog->show();

    Preview::shootLater(dialog, parser.value(shot));
    return app.exec();
}
