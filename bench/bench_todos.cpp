// Timings of the To-Dos window on generated notes (the realistic mix of the
// note generator: about four notes in ten hold a checklist), through the real
// TodosScreen: the first open (every body read), a refresh with nothing
// changed, a refresh after notes changed while the window was hidden, and a
// tick (write-back into the note, the announcement and the list update).
// Prints median and p95; nothing here passes or fails.
//   bench_todos [--count 10000] [--runs 21]

#include "benchgui.h"
#include "benchsupport.h"
#include "notegenerator.h"

#include "app/appstate.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "features/todoindex.h"
#include "ui/todosscreen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QAbstractItemModel>
#include <QListView>
#include <QTemporaryDir>

#include <ctime>
#include <memory>

using Bench::elapsedMs;
using Bench::out;
using Bench::PaintWatch;
using Bench::printFigures;
using Bench::settle;
using Bench::threadCpuMs;

namespace {

// Wall and CPU time of one call, in ms.
template<typename Work> void timeIt(Work work, QList<double> *wall, QList<double> *cpu)
{
    QElapsedTimer timer;
    const double cpuBefore = threadCpuMs();
    timer.start();
    work();
    wall->append(elapsedMs(timer));
    cpu->append(threadCpuMs() - cpuBefore);
}

void printBoth(const QString &name, const QList<double> &wall, const QList<double> &cpu, const QString &note = {})
{
    printFigures(name + QStringLiteral(", wall"), wall, note);
    printFigures(name + QStringLiteral(", CPU"), cpu);
}

bool generate(const QString &dir, int count, QString *error)
{
    qputenv("NOTES_DATA_DIR", dir.toUtf8());
    Database database;
    if (!database.open(databasePath()) || !database.migrate()) {
        *error = QStringLiteral("can't open a database in %1").arg(dir);
        return false;
    }
    GeneratorOptions options;
    options.count = count;
    options.seed = 1;
    GenerationSummary summary;
    return generateInto(&database, options, &summary, error);
}

// Until the list has painted again: what the user waits for.
void timeRefreshes(const QString &name, TodosScreen &screen, int runs)
{
    QList<double> wall;
    QList<double> cpu;
    PaintWatch paint(screen.taskList()->viewport());
    for (int i = 0; i < runs; ++i) {
        paint.reset();
        timeIt(
            [&screen, &paint] {
                screen.refresh();
                paint.wait();
            },
            &wall, &cpu);
    }
    printBoth(name + QStringLiteral(" (to paint)"), wall, cpu, QStringLiteral("target 100"));
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    qInstallMessageHandler(Bench::quietMessages);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Notes to generate."),
                                         QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Samples per figure."),
                                        QStringLiteral("n"), QStringLiteral("21"));
    parser.addOptions({countOption, runsOption});
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int runs = qMax(3, parser.value(runsOption).toInt());

    QTemporaryDir dir;
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!dir.isValid() || !generate(dir.path(), count, &error)) {
        out() << "generation failed: " << error << Qt::endl;
        return 1;
    }
    out() << "generated " << count << " notes in " << timer.elapsed() << " ms" << Qt::endl;

    AppState state;
    if (!state.initialize()) {
        out() << "can't open the generated notes" << Qt::endl;
        return 1;
    }

    // The to-dos alone, without the list: what reading the notes costs.
    {
        QList<double> cold;
        QList<double> coldCpu;
        QList<double> warm;
        QList<double> stamps;
        for (int i = 0; i < qMin(runs, 7); ++i) {
            TodoIndex index(state.notes());
            timeIt([&index] { index.sync(); }, &cold, &coldCpu);
            timer.restart();
            index.sync();
            warm.append(elapsedMs(timer));
            timer.restart();
            const QList<NoteStamp> all = state.notes()->liveNoteStamps();
            stamps.append(elapsedMs(timer));
            if (i == 0) {
                out() << QStringLiteral("  %1 of %2 live notes hold to-dos; %3 bodies read")
                             .arg(index.notesWithTodos().size())
                             .arg(all.size())
                             .arg(index.bodiesRead())
                      << Qt::endl;
            }
        }
        printBoth(QStringLiteral("to-dos of every note, first read"), cold, coldCpu);
        printFigures(QStringLiteral("to-dos of every note, nothing written since"), warm);
        printFigures(QStringLiteral("update times of every note (after a write)"), stamps);
    }

    // The first open of a window: every body that can hold a to-do is read.
    QList<double> firstRefresh;
    QList<double> firstRefreshCpu;
    QList<double> firstPaint;
    for (int i = 0; i < qMin(runs, 7); ++i) {
        auto screen = std::make_unique<TodosScreen>(&state);
        screen->resize(600, 500);
        PaintWatch paint(screen->taskList()->viewport());
        timer.restart();
        timeIt([&screen] { screen->refresh(); }, &firstRefresh, &firstRefreshCpu);
        screen->show();
        paint.wait();
        firstPaint.append(elapsedMs(timer));
        if (i == 0) {
            int completed = 0;
            screen->showCompletedBox()->setChecked(true);
            const QAbstractItemModel *model = screen->taskList()->model();
            for (int row = 0; row < model->rowCount(); ++row)
                completed += model->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
            out() << QStringLiteral("  %1 to-dos listed (%2 completed)").arg(model->rowCount()).arg(completed)
                  << Qt::endl;
        }
    }
    printBoth(QStringLiteral("first open: refresh (bodies read, extracted)"), firstRefresh, firstRefreshCpu);
    printFigures(QStringLiteral("first open: to first paint"), firstPaint);

    TodosScreen screen(&state);
    screen.resize(600, 500);
    screen.show();
    screen.refresh();
    settle();

    timeRefreshes(QStringLiteral("refresh, open to-dos, by note updated"), screen, runs);
    screen.showCompletedBox()->setChecked(true);
    timeRefreshes(QStringLiteral("refresh, all to-dos, by note updated"), screen, runs);
    screen.sortBox()->setCurrentIndex(screen.sortBox()->findData(QStringLiteral("alpha")));
    timeRefreshes(QStringLiteral("refresh, all to-dos, alphabetical"), screen, runs);
    screen.sortBox()->setCurrentIndex(0);
    screen.showCompletedBox()->setChecked(false);

    // Notes saved elsewhere while the window was hidden: their bodies only.
    {
        NoteRepository *notes = state.notes();
        const QList<qint64> rowIds = notes->listRowIds();
        QList<double> wall;
        QList<double> cpu;
        for (int i = 0; i < runs; ++i) {
            screen.hide();
            for (int k = 0; k < 20; ++k) {
                const QString id = notes->listRows({rowIds.at((i * 20 + k) * 37 % rowIds.size())}).value(0).id;
                std::optional<Note> note = notes->byId(id);
                if (!note)
                    continue;
                note->body = note->body.replace(QLatin1String("\"}]"), QStringLiteral(" %1\"}]").arg(i));
                note->updatedAt = note->modifiedAt = QDateTime::currentDateTimeUtc();
                notes->update(*note);
            }
            screen.show();
            timeIt([&screen] { screen.refresh(); }, &wall, &cpu);
        }
        printBoth(QStringLiteral("refresh after 20 notes saved while hidden"), wall, cpu, QStringLiteral("target 100"));
    }

    // A tick: from the check box to the stored note and the updated list.
    for (const bool showCompleted : {false, true}) {
        screen.showCompletedBox()->setChecked(showCompleted);
        QList<double> wall;
        QList<double> cpu;
        QAbstractItemModel *model = screen.taskList()->model();
        PaintWatch paint(screen.taskList()->viewport());
        for (int i = 0; i < runs; ++i) {
            QModelIndex item;
            for (int row = (i * 97) % qMax(1, model->rowCount()); row < model->rowCount(); ++row) {
                const QModelIndex candidate = model->index(row, 0);
                if (candidate.flags() & Qt::ItemIsUserCheckable) {
                    item = candidate;
                    break;
                }
            }
            if (!item.isValid())
                break;
            const Qt::CheckState next =
                item.data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            paint.reset();
            timeIt(
                [model, item, next, &paint] {
                    model->setData(item, next, Qt::CheckStateRole);
                    paint.wait();
                },
                &wall, &cpu);
            settle();
        }
        printBoth(showCompleted ? QStringLiteral("tick (write-back + list), completed shown")
                                : QStringLiteral("tick (write-back + list), completed hidden"),
                  wall, cpu, QStringLiteral("target 16, to paint"));
    }
    return 0;
}
