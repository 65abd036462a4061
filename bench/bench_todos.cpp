// Timings of the To-Dos window on generated notes (the realistic mix of the
// note generator: about four notes in ten hold a checklist), through the real
// TodosScreen: the first open (every body read), a refresh with nothing
// changed, a refresh after notes changed while the window was hidden, and a
// tick (write-back into the note, the announcement and the list update).
// Prints median and p95; nothing here passes or fails.
//   bench_todos [--count 10000] [--runs 21]

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
#include <QListWidget>
#include <QTemporaryDir>

#include <ctime>
#include <memory>

using Bench::out;
using Bench::printFigures;

namespace {

void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || message.contains(QLatin1String("propagateSizeHints")))
        return;
    QTextStream(stderr) << message << Qt::endl;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// CPU time of this thread in ms: steadier than wall time on a busy machine,
// but blind to waiting (fsync).
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

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

// Runs the event loop until the widget painted once.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }
    bool wait()
    {
        QElapsedTimer guard;
        guard.start();
        while (!m_painted && guard.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return m_painted;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    bool m_painted = false;
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
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

void timeRefreshes(const QString &name, TodosScreen &screen, int runs)
{
    QList<double> wall;
    QList<double> cpu;
    for (int i = 0; i < runs; ++i)
        timeIt([&screen] { screen.refresh(); }, &wall, &cpu);
    printBoth(name, wall, cpu, QStringLiteral("target 100"));
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    qInstallMessageHandler(quietMessages);
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
        QList<double> warm;
        QList<double> stamps;
        for (int i = 0; i < qMin(runs, 7); ++i) {
            TodoIndex index(state.notes());
            timer.restart();
            index.sync();
            cold.append(elapsedMs(timer));
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
        printFigures(QStringLiteral("to-dos of every note, first read"), cold);
        {
            QList<double> sql, extract;
            for (int i = 0; i < 3; ++i) {
                timer.restart();
                const QList<TaskSourceNote> src = state.notes()->allTaskSourceNotes();
                sql.append(elapsedMs(timer));
                timer.restart();
                int n = 0;
                for (const TaskSourceNote &note : src)
                    n += int(extractTasks(note.id, note.body, QDateTime::currentDateTimeUtc()).size());
                extract.append(elapsedMs(timer));
            }
            printFigures(QStringLiteral("SCRATCH sql"), sql);
            printFigures(QStringLiteral("SCRATCH extract"), extract);
        }
        printFigures(QStringLiteral("to-dos of every note, nothing changed"), warm);
        printFigures(QStringLiteral("  of which the update times"), stamps);
    }

    // The first open of a window: every body that can hold a to-do is read.
    QList<double> firstRefresh;
    QList<double> firstPaint;
    for (int i = 0; i < qMin(runs, 7); ++i) {
        auto screen = std::make_unique<TodosScreen>(&state);
        screen->resize(600, 500);
        PaintWatch paint(screen->taskList()->viewport());
        timer.restart();
        screen->refresh();
        firstRefresh.append(elapsedMs(timer));
        screen->show();
        paint.wait();
        firstPaint.append(elapsedMs(timer));
        if (i == 0) {
            int completed = 0;
            screen->showCompletedBox()->setChecked(true);
            for (int row = 0; row < screen->taskList()->count(); ++row)
                completed += screen->taskList()->item(row)->checkState() == Qt::Checked;
            out() << QStringLiteral("  %1 to-dos listed (%2 completed)").arg(screen->taskList()->count()).arg(completed)
                  << Qt::endl;
        }
    }
    printFigures(QStringLiteral("first open: refresh (bodies read, extracted)"), firstRefresh);
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
        QListWidget *list = screen.taskList();
        for (int i = 0; i < runs; ++i) {
            QListWidgetItem *item = nullptr;
            for (int row = (i * 97) % qMax(1, list->count()); row < list->count(); ++row) {
                QListWidgetItem *candidate = list->item(row);
                if (candidate->flags() & Qt::ItemIsUserCheckable) {
                    item = candidate;
                    break;
                }
            }
            if (!item)
                break;
            const Qt::CheckState next = item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            timeIt([item, next] { item->setCheckState(next); }, &wall, &cpu);
            settle();
        }
        printBoth(showCompleted ? QStringLiteral("tick (write-back + list), completed shown")
                                : QStringLiteral("tick (write-back + list), completed hidden"),
                  wall, cpu, QStringLiteral("target 16"));
    }
    return 0;
}
