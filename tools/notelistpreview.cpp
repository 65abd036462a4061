// Shows the note list filled with generated notes of every kind (titled,
// untitled, shared, pending, in conflict, of various ages), to look at the
// row painting in the light or dark palette.
//   notelistpreview [--dark] [--signed-in]
#include "app/thememanager.h"
#include "notegenerator.h"
#include "ui/notelistwidget.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHash>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexSans.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexMono-Medium.ttf"));
    if (app.arguments().contains(QStringLiteral("--dark")))
        QApplication::setPalette(ThemeManager::darkPalette());

    const QDateTime now = QDateTime::currentDateTime();
    GeneratorOptions options;
    options.count = 30;
    options.trashedPercent = 0;
    options.seed = 3;
    options.now = now;
    NoteGenerator generator(options);
    QHash<QString, QString> notebookNames;
    for (const GeneratedNotebook &notebook : generator.notebooks())
        notebookNames.insert(notebook.id, notebook.name);

    // Ages from seconds to years, so every relative-time form shows up.
    const qint64 ages[] = {20, 300, 4000, 30000, 90000, 200000, 400000, 700000, 5000000, 40000000};
    QList<Note> notes;
    for (int i = 0; !generator.atEnd(); ++i) {
        Note note = generator.next();
        note.updatedAt = now.addSecs(-ages[i % std::size(ages)] - i * 7);
        note.syncStatus = i % 5 == 1 ? SyncStatus::Pending : i % 7 == 3 ? SyncStatus::Conflict : SyncStatus::Synced;
        note.isShared = i % 4 == 2;
        if (i % 9 == 4)
            note.body = emptyNoteBody();
        else if (i % 9 == 7)
            note.body = QStringLiteral("[{\"insert\":\"\\nA note that starts with an empty line\\n\"}]");
        notes.append(note);
    }
    notes[0].updatedAt = now.addDays(2); // edited on a device with a fast clock

    NoteListWidget list;
    list.setSyncEnabled(app.arguments().contains(QStringLiteral("--signed-in")));
    list.setNotebookNameResolver([&notebookNames](const QString &id) { return notebookNames.value(id); });
    list.setNotes(notes);
    list.selectNote(notes.at(2).id);
    list.setWindowTitle(QStringLiteral("NoteListWidget preview"));
    list.resize(380, 980);
    list.move(0, 0);
    list.show();
    return app.exec();
}
