// Timings of NoteListWidget::setNotes on generated notes: 1k and 10k rows,
// each refresh keeping a current note. Prints median and p95 per case.

#include "benchsupport.h"
#include "notegenerator.h"
#include "ui/notelistwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>

namespace {

using Bench::out;
using Bench::printFigures;

void runCase(int count, int runs)
{
    GeneratorOptions options;
    options.count = count;
    options.trashedPercent = 0;
    options.seed = 7;
    NoteGenerator generator(options);
    QHash<QString, QString> notebookNames;
    for (const GeneratedNotebook &notebook : generator.notebooks())
        notebookNames.insert(notebook.id, notebook.name);
    QList<Note> notes;
    qint64 bodyChars = 0;
    while (!generator.atEnd()) {
        notes.append(generator.next());
        bodyChars += notes.last().body.size();
    }

    NoteListWidget list;
    list.setNotebookNameResolver([&notebookNames](const QString &id) { return notebookNames.value(id); });
    list.setNotes(notes); // warm-up
    list.setCurrentRow(count / 2);

    QList<double> samples;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        list.setNotes(notes);
        samples.append(double(timer.nsecsElapsed()) / 1e6);
    }
    printFigures(QStringLiteral("setNotes %1 notes").arg(count), samples,
                 QStringLiteral("avg body %1 chars").arg(bodyChars / qMax(1, count)));
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    QApplication app(argc, argv);
    out() << "NoteListWidget::setNotes" << Qt::endl;
    runCase(1000, 30);
    runCase(10000, 15);
    return 0;
}
