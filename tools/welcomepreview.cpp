// Shows the first-run welcome screen, or one of the welcome notes in the
// editor, in the light or dark palette.
//   welcomepreview [--dark] [--note 1|2|3]
#include "app/application.h"
#include "app/thememanager.h"
#include "features/samplenotes.h"
#include "ui/noteeditor.h"
#include "ui/welcomescreen.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--dark")))
        QApplication::setPalette(ThemeManager::darkPalette());

    const qsizetype noteArg = args.indexOf(QStringLiteral("--note"));
    const int note = noteArg > 0 && noteArg + 1 < args.size() ? args.at(noteArg + 1).toInt() : 0;
    if (note >= 1 && note <= welcomeNotes().size()) {
        auto *editor = new NoteEditor;
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->resize(900, 950);
        editor->setWindowTitle(welcomeNotes().at(note - 1).title);
        editor->loadNote(QStringLiteral("preview"), welcomeNotes().at(note - 1).text);
        editor->show();
    } else {
        auto *screen = new WelcomeScreen;
        screen->setAttribute(Qt::WA_DeleteOnClose);
        screen->resize(900, 700);
        screen->setWindowTitle(QStringLiteral("WelcomeScreen preview"));
        screen->show();
    }
    return app.exec();
}
