// A child process for the shutdown and crash tests: the real start-up on
// NOTES_DATA_DIR, then typing into real editors as a user would.
//
//   typist shutdown <text-main> <text-window>
//       types the first text into a new note in the main window and the second
//       into a new note window, prints "typed" and waits to be told to quit.
//   typist crash <seed> <burst-words> <pause-ms>
//       opens the first note (or makes one) and appends words from the seeded
//       stream for ever, one every 50 ms, pausing after every burst; prints
//       "typed <chars> <msecs-since-epoch>" after each word.

#include "app/application.h"
#include "app/appstate.h"
#include "storage/noterepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/notewindow.h"
#include "typist.h"

#include <QDateTime>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int WordIntervalMs = 50;

void typeAtEnd(NoteEditor *editor, const QString &text)
{
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, text);
}

int typeForShutdown(Application &app, const QString &mainText, const QString &windowText)
{
    app.mainWindow()->newNote();
    NoteWindow *window = app.appState()->newNoteWindow();
    if (!window)
        return 3;
    typeAtEnd(app.mainWindow()->editor(), mainText);
    typeAtEnd(window->editor(), windowText);
    std::printf("typed\n");
    std::fflush(stdout);
    return -1;
}

void typeForCrash(Application &app, quint32 seed, int burstWords, int pauseMs)
{
    MainWindow *window = app.mainWindow();
    const QList<Note> notes = app.appState()->notes()->all();
    if (notes.isEmpty())
        window->newNote();
    else
        window->selectNote(notes.first().id);

    auto words = std::make_shared<LumoraTest::WordStream>(seed);
    auto *timer = new QTimer(&app);
    timer->setSingleShot(true);
    auto typed = std::make_shared<qint64>(0);
    auto inBurst = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, &app, [=] {
        const QString word = words->next();
        typeAtEnd(window->editor(), word);
        *typed += word.size();
        std::printf("typed %lld %lld\n", static_cast<long long>(*typed),
                    static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
        // Pauses let a debounced save happen while typing goes on.
        *inBurst = (*inBurst + 1) % burstWords;
        timer->start(*inBurst == 0 ? pauseMs : WordIntervalMs);
    });
    timer->start(WordIntervalMs);
}

} // namespace

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    const QStringList args = app.arguments();
    const int started = app.startUp({QStringLiteral("lumora-notes")});
    if (started >= 0)
        return started;

    if (args.size() == 4 && args.at(1) == QLatin1String("shutdown")) {
        const int code = typeForShutdown(app, args.at(2), args.at(3));
        if (code >= 0)
            return code;
    } else if (args.size() == 5 && args.at(1) == QLatin1String("crash")) {
        typeForCrash(app, args.at(2).toUInt(), qMax(1, args.at(3).toInt()), args.at(4).toInt());
    } else {
        std::fprintf(stderr, "usage: typist shutdown <text> <text> | crash <seed> <burst-words> <pause-ms>\n");
        return 2;
    }
    const int code = app.exec();
    app.shutDown();
    return code;
}
