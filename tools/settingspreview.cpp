// Shows the preferences window on a throw-away data directory, to look at its
// pages in the light or dark palette.
//   settingspreview [--dark] [--page N] [--signed-in] [--shot file.png]
// With --shot it saves the window as a PNG (at the screen's pixel ratio) and quits.
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
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexSans.ttf"));
    QFont interfaceFont(QStringLiteral("IBM Plex Sans"));
    interfaceFont.setPointSizeF(QApplication::font().pointSizeF());
    QApplication::setFont(interfaceFont);

    QCommandLineParser parser;
    const QCommandLineOption dark(QStringLiteral("dark"), QStringLiteral("Use the dark theme."));
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("Show page <n> (0 to 4)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption signedIn(QStringLiteral("signed-in"), QStringLiteral("Pretend an account is signed in."));
    const QCommandLineOption shot(QStringLiteral("shot"), QStringLiteral("Save a screenshot and quit."),
                                  QStringLiteral("file"));
    parser.addOptions({dark, page, signedIn, shot});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toLocal8Bit());
    AppState state;
    QString error;
    if (!state.initialize(&error)) {
        qCritical().noquote() << error;
        return 1;
    }
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

    if (parser.isSet(shot)) {
        const QString file = parser.value(shot);
        QTimer::singleShot(400, dialog, [dialog, file] {
            if (!dialog->grab().save(file))
                qCritical().noquote() << "Could not save" << file;
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
