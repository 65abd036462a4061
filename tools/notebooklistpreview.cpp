// Shows the notebook sidebar with a few notebooks (one shared, one empty, one
// with a long name) and counts, to look at the row painting in the light or
// dark palette. QT_SCALE_FACTOR=2 shows it at a device pixel ratio of 2.
//   notebooklistpreview [--dark]
#include "app/thememanager.h"
#include "ui/notebooklistwidget.h"

#include <QApplication>
#include <QFontDatabase>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexSans.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexMono-Medium.ttf"));
    if (app.arguments().contains(QStringLiteral("--dark")))
        QApplication::setPalette(ThemeManager::darkPalette());

    const QStringList names{QStringLiteral("Books to read"), QStringLiteral("Household"),
                            QStringLiteral("Lumora release planning and everything around it"),
                            QStringLiteral("Recipes"), QStringLiteral("Team"), QStringLiteral("Travel")};
    QList<Notebook> notebooks;
    QHash<QString, int> counts;
    int total = 0;
    for (int i = 0; i < names.size(); ++i) {
        Notebook notebook;
        notebook.id = QStringLiteral("nb-%1").arg(i);
        notebook.name = names.at(i);
        notebook.isShared = notebook.name == QLatin1String("Team");
        notebooks.append(notebook);
        const int count = i == 1 ? 0 : (i * 37) % 120 + 3;
        if (count > 0)
            counts.insert(notebook.id, count);
        total += count;
    }
    counts.insert(QString(), total + 1284);

    NotebookListWidget list;
    list.setNotebooks(notebooks, counts, QStringLiteral("nb-5"), 14);
    list.setWindowTitle(QStringLiteral("NotebookListWidget preview"));
    list.resize(220, 420);
    list.move(0, 0);
    list.show();
    return app.exec();
}
