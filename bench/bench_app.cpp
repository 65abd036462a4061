// Timings of the main window's own paths on generated notes, through the real
// MainWindow, note list and editor: search (after the typing pause) to a
// painted list, save to an updated list, opening a 1 MB note, a keystroke in
// it, memory after 20 searches and a cold start of lumora-notes to its first
// painted list. Prints median and p95; nothing here passes or fails.
//   bench_app [--counts 10000,100000] [--data-dir DIR] [--runs N] [--quick]

#include "benchgui.h"
#include "benchsupport.h"
#include "notegenerator.h"

#include "app/application.h"
#include "app/appstate.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/notebooklistwidget.h"
#include "ui/notelistwidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <ctime>
#include <memory>

using Bench::elapsedMs;
using Bench::out;
using Bench::PaintWatch;
using Bench::printFigures;
using Bench::settle;
using Bench::threadCpuMs;

namespace {

QString megabyteNoteBody(NoteGenerator &generator)
{
    QString body = QStringLiteral("[{\"insert\":\"A very long note\\n\"}");
    while (body.size() < 1024 * 1024) {
        const QString part = generator.body();
        body += QLatin1Char(',') + QStringView(part).mid(1, part.size() - 2);
    }
    return body + QLatin1Char(']');
}

// A generated data directory kept under /tmp so reruns start at once.
bool ensureGenerated(const QString &dir, int count, QString *error)
{
    QDir().mkpath(dir);
    if (!QDir(dir).entryList({QStringLiteral("*.db")}, QDir::Files).isEmpty())
        return true;
    out() << "generating " << count << " notes into " << dir << " ..." << Qt::endl;
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

// A throw-away copy, so the benchmark's writes never reach the cached notes.
bool copyDataDir(const QString &from, const QString &to, QString *error)
{
    const QFileInfoList files = QDir(from).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        if (!QFile::copy(file.absoluteFilePath(), to + QLatin1Char('/') + file.fileName())) {
            *error = QStringLiteral("can't copy %1").arg(file.absoluteFilePath());
            return false;
        }
    }
    return true;
}

// The 1 MB note sits at the top of the list (a date ahead of every save);
// the start-up release notes are marked as seen so no dialog opens.
bool prepare(const QString &dir, QString *bigNoteId, QString *error)
{
    qputenv("NOTES_DATA_DIR", dir.toUtf8());
    AppState state;
    if (!state.initialize()) {
        *error = QStringLiteral("can't open the copied data in %1").arg(dir);
        return false;
    }
    GeneratorOptions options;
    options.count = 1;
    options.seed = 99;
    NoteGenerator generator(options);
    Note note = generator.next();
    note.id = QStringLiteral("bench-megabyte-note");
    note.body = megabyteNoteBody(generator);
    note.deletedAt.reset();
    note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc().addDays(1);
    if (!state.notes()->byId(note.id) && !state.notes()->insert(note)) {
        *error = QStringLiteral("can't insert the 1 MB note");
        return false;
    }
    state.preferences()->setString(QStringLiteral("last_whats_new_version"), QString::fromLatin1(Application::Version));
    *bigNoteId = note.id;
    return true;
}

void benchColdStart(const QString &dir, int runs)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-notes");
    QTemporaryDir home;
    QList<double> samples;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NOTES_DATA_DIR"), dir);
        env.insert(QStringLiteral("LUMORA_BENCH_EXIT_AFTER_PAINT"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        // Never the real update server.
        env.insert(QStringLiteral("LUMORA_UPDATE_URL"), QStringLiteral("http://127.0.0.1:9/"));
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(program, {});
        // The hook prints one line once the list has painted.
        while (process.state() != QProcess::NotRunning && !process.canReadLine())
            process.waitForReadyRead(20000);
        const double ms = elapsedMs(timer);
        const QByteArray line = process.readLine().trimmed();
        process.waitForFinished(20000);
        if (!line.startsWith("first list paint")) {
            out() << "  cold start: no paint reported (" << process.readAllStandardError().left(300) << ")"
                  << Qt::endl;
            return;
        }
        samples.append(ms);
    }
    printFigures(QStringLiteral("cold start to painted list"), samples, QStringLiteral("target 300 / 500"));
}

void fireSearch(QLineEdit *field, QTimer *debounce, const QString &text)
{
    field->setText(text);
    // The pause after typing is not the app's time: fire the timer at once.
    debounce->stop();
    QMetaObject::invokeMethod(debounce, "timeout", Qt::DirectConnection);
}

void clickRow(NoteListWidget *list, int row)
{
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &press);
    QCoreApplication::sendEvent(list->viewport(), &release);
}

void benchWindow(const QString &dir, const QString &bigNoteId, int runs)
{
    qputenv("NOTES_DATA_DIR", dir.toUtf8());
    const double rssBefore = Bench::residentMegabytes();
    AppState state;
    if (!state.initialize())
        return;
    MainWindow window(&state);
    window.show();
    QElapsedTimer guard;
    guard.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && guard.elapsed() < 5000)
        QCoreApplication::processEvents();
    auto *list = window.findChild<NoteListWidget *>();
    auto *field = window.findChild<QLineEdit *>();
    QTimer *debounce = nullptr;
    for (QTimer *timer : window.findChildren<QTimer *>()) {
        if (timer->isSingleShot() && timer->interval() == 300)
            debounce = timer;
    }
    if (!list || !field || !debounce) {
        out() << "  the window has no list, search field or search timer" << Qt::endl;
        return;
    }
    PaintWatch listPaint(list->viewport());
    PaintWatch editorPaint(window.editor()->viewport());
    settle();
    out() << QStringLiteral("  window shown: %1 rows, RSS %2 MB (%3 MB before the window)")
                 .arg(list->model()->rowCount())
                 .arg(Bench::residentMegabytes(), 0, 'f', 1)
                 .arg(rssBefore, 0, 'f', 1)
          << Qt::endl;

    struct Kind
    {
        QString name;
        QString text;
        QString before; // shown first, unmeasured, so every sample changes the list
    };
    const QString rare = QStringLiteral("quomodocunquize");
    const QList<Kind> kinds{
        {QStringLiteral("search rare word"), rare, QString()},
        {QStringLiteral("search \"project\""), QStringLiteral("project"), QString()},
        {QStringLiteral("search \"the\""), QStringLiteral("the"), QString()},
        {QStringLiteral("search prefix \"t\""), QStringLiteral("t"), QString()},
        {QStringLiteral("clear the search"), QString(), rare},
    };

    // Memory: exactly 20 searches of every kind first.
    for (int i = 0; i < 20; ++i) {
        fireSearch(field, debounce, kinds.at(i % 4).text);
        settle();
    }
    fireSearch(field, debounce, QString());
    settle();
    out() << QStringLiteral("  RSS after 20 searches: %1 MB   (target 80 / 150)")
                 .arg(Bench::residentMegabytes(), 0, 'f', 1)
          << Qt::endl;

    for (const Kind &kind : kinds) {
        QList<double> samples;
        int rows = 0;
        for (int i = 0; i < runs; ++i) {
            fireSearch(field, debounce, kind.before);
            listPaint.reset();
            listPaint.wait();
            settle();
            listPaint.reset();
            QElapsedTimer timer;
            timer.start();
            fireSearch(field, debounce, kind.text);
            if (!listPaint.wait())
                out() << "  (no list paint)" << Qt::endl;
            samples.append(elapsedMs(timer));
            rows = list->model()->rowCount();
        }
        printFigures(kind.name, samples, QStringLiteral("%1 rows, target 16 / 50").arg(rows));
    }
    // Where the time goes: the repository's query on its own.
    for (const Kind &kind : kinds) {
        QList<double> samples;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            const QList<qint64> ids = state.notes()->searchRowIds(kind.text);
            samples.append(elapsedMs(timer));
            Q_UNUSED(ids)
        }
        printFigures(QStringLiteral("  of which the row id query"), samples, kind.name);
    }
    // ... the list taking the ids, and its paint.
    for (const Kind &kind : kinds) {
        const QList<qint64> ids = state.notes()->searchRowIds(kind.text);
        const QList<qint64> other = state.notes()->searchRowIds(kind.before);
        QList<double> fills;
        QList<double> paints;
        for (int i = 0; i < runs; ++i) {
            list->setRowIds(other);
            settle();
            listPaint.reset();
            QElapsedTimer timer;
            timer.start();
            list->setRowIds(ids);
            fills.append(elapsedMs(timer));
            timer.restart();
            listPaint.wait();
            paints.append(elapsedMs(timer));
        }
        printFigures(QStringLiteral("  of which the list fill"), fills, kind.name);
        printFigures(QStringLiteral("  of which the paint"), paints, kind.name);
    }

    // A click on a notebook in the sidebar, and back on All Notes, to the
    // repainted list.
    if (NotebookListWidget *sidebar = window.notebookList()) {
        const int notebookRow = sidebar->rowOfKind(NotebookListWidget::NotebookRow);
        const int allRow = sidebar->rowOfKind(NotebookListWidget::AllNotesRow);
        auto clickSidebar = [sidebar](int row) {
            const QPoint at = sidebar->visualItemRect(sidebar->item(row)).center();
            QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, at);
        };
        for (const auto &[name, row] : {std::pair{QStringLiteral("click a notebook"), notebookRow},
                                        std::pair{QStringLiteral("click All Notes"), allRow}}) {
            if (row < 0)
                continue;
            QList<double> samples;
            for (int i = 0; i < runs; ++i) {
                clickSidebar(row == allRow ? notebookRow : allRow);
                settle();
                listPaint.reset();
                QElapsedTimer timer;
                timer.start();
                clickSidebar(row);
                if (!listPaint.wait())
                    out() << "  (no list paint)" << Qt::endl;
                samples.append(elapsedMs(timer));
            }
            printFigures(name, samples, QStringLiteral("%1 rows").arg(list->model()->rowCount()));
        }
        clickSidebar(allRow);
        settle();
    }

    // Save: an edit in the open note, saved at once, to the repainted list.
    clickRow(list, 3);
    settle();
    NoteEditor *editor = window.editor();
    {
        QList<double> samples;
        for (int i = 0; i < runs; ++i) {
            QTextCursor cursor(editor->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QStringLiteral(" x"));
            settle();
            listPaint.reset();
            QElapsedTimer timer;
            timer.start();
            Q_EMIT editor->noteModified();
            if (!listPaint.wait())
                out() << "  (no list paint)" << Qt::endl;
            samples.append(elapsedMs(timer));
        }
        printFigures(QStringLiteral("save + list update"), samples, QStringLiteral("target 8 at 10k"));

        // Where the time goes: the write alone (no one told), then the list's
        // update of that one row alone.
        const QString id = window.openNoteId();
        QList<double> writes;
        QList<double> updates;
        for (int i = 0; i < runs; ++i) {
            const QString body = state.notes()->byId(id)->body;
            QElapsedTimer timer;
            {
                const QSignalBlocker quiet(state.notes());
                timer.start();
                // One more paragraph, so the body stays valid Delta JSON.
                state.notes()->saveEditedBody(id, body.chopped(1) + QStringLiteral(",{\"insert\":\"y\\n\"}]"));
                writes.append(elapsedMs(timer));
            }
            timer.restart();
            list->updateNote(id);
            updates.append(elapsedMs(timer));
        }
        printFigures(QStringLiteral("  of which the repository write"), writes);
        printFigures(QStringLiteral("  of which the list row update"), updates);
    }

    // Opening the 1 MB note: a click on its row to the painted editor.
    {
        QList<double> samples;
        for (int i = 0; i < qMax(3, runs / 2); ++i) {
            clickRow(list, 1);
            settle();
            editorPaint.reset();
            QElapsedTimer timer;
            timer.start();
            clickRow(list, 0);
            editorPaint.wait();
            samples.append(elapsedMs(timer));
        }
        if (window.openNoteId() != bigNoteId)
            out() << "  (the 1 MB note did not open)" << Qt::endl;
        printFigures(QStringLiteral("open the 1 MB note"), samples);
    }

    // A keystroke at the end of the 1 MB note to the painted editor.
    {
        editor->moveCursor(QTextCursor::End);
        QList<double> samples;
        for (int i = 0; i < runs; ++i) {
            settle();
            editorPaint.reset();
            QElapsedTimer timer;
            timer.start();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(editor, &press);
            QCoreApplication::sendEvent(editor, &release);
            editorPaint.wait();
            samples.append(elapsedMs(timer));
        }
        printFigures(QStringLiteral("keystroke in the 1 MB note"), samples);
    }

    // The save round of the 1 MB note: a keystroke, then the editor's save
    // handling end to end (what a keystroke landing on it waits for). Its
    // parts are then timed one by one on a fresh keystroke each: the Delta
    // serialisation, the repository write (row and index, no one told), the
    // list's row update; "the rest" is what the round spends beyond them
    // (the reload check of the saving window, notifications).
    {
        const QString id = window.openNoteId();
        const auto type = [editor] {
            editor->moveCursor(QTextCursor::End);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
            QCoreApplication::sendEvent(editor, &press);
            QCoreApplication::sendEvent(editor, &release);
            settle();
        };
        QList<double> rounds;
        QList<double> roundCpu;
        QList<double> serialisations;
        QList<double> writes;
        QList<double> writeCpu;
        QList<double> updates;
        QList<double> rests;
        for (int i = 0; i < runs; ++i) {
            type();
            QElapsedTimer timer;
            const double cpuStart = threadCpuMs();
            timer.start();
            Q_EMIT editor->noteModified();
            const double round = elapsedMs(timer);
            roundCpu.append(threadCpuMs() - cpuStart);
            rounds.append(round);
            settle();

            type();
            timer.restart();
            const QString json = editor->currentJson();
            const double serialisation = elapsedMs(timer);
            double write = 0;
            {
                const QSignalBlocker quiet(state.notes());
                const double writeCpuStart = threadCpuMs();
                timer.restart();
                if (state.notes()->saveEditedBody(id, json) != NoteRepository::SaveResult::Saved)
                    out() << "  (the 1 MB note was not written)" << Qt::endl;
                write = elapsedMs(timer);
                writeCpu.append(threadCpuMs() - writeCpuStart);
            }
            timer.restart();
            list->updateNote(id);
            const double update = elapsedMs(timer);
            serialisations.append(serialisation);
            writes.append(write);
            updates.append(update);
            rests.append(qMax(0.0, round - serialisation - write - update));
            // Let the editor take the stored body as its own again.
            Q_EMIT editor->noteModified();
            settle();
        }
        if (id != bigNoteId)
            out() << "  (the 1 MB note is not open)" << Qt::endl;
        printFigures(QStringLiteral("save round of the 1 MB note"), rounds, QStringLiteral("target 16"));
        printFigures(QStringLiteral("  the same round in CPU time"), roundCpu);
        printFigures(QStringLiteral("  of which toJson"), serialisations);
        printFigures(QStringLiteral("  of which the repository write + index"), writes);
        printFigures(QStringLiteral("  the same write in CPU time"), writeCpu);
        printFigures(QStringLiteral("  of which the list row update"), updates);
        printFigures(QStringLiteral("  of which the rest (reload check, signals)"), rests);
    }
    window.close();
}

} // namespace

int main(int argc, char *argv[])
{
    Bench::defaultToOffscreen();
    QApplication app(argc, argv);
    qInstallMessageHandler(Bench::quietMessages);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the main window on generated notes."));
    parser.addHelpOption();
    const QCommandLineOption countsOption(QStringLiteral("counts"),
        QStringLiteral("Note counts to generate, comma separated (default 10000,100000)."), QStringLiteral("N,..."),
        QStringLiteral("10000,100000"));
    const QCommandLineOption dataDirOption(QStringLiteral("data-dir"),
        QStringLiteral("An existing generated data directory to use instead (it is copied, not changed)."),
        QStringLiteral("DIR"));
    const QCommandLineOption runsOption(
        QStringLiteral("runs"), QStringLiteral("Samples per case (default 15)."), QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("10k notes only, 5 samples."));
    parser.addOptions({countsOption, dataDirOption, runsOption, quickOption});
    parser.process(app);

    const bool quick = parser.isSet(quickOption);
    const int runs = quick ? 5 : qMax(1, parser.value(runsOption).toInt());
    QStringList sources;
    if (parser.isSet(dataDirOption)) {
        sources.append(QFileInfo(parser.value(dataDirOption)).absoluteFilePath());
    } else {
        const QStringList counts = quick ? QStringList{QStringLiteral("10000")}
                                         : parser.value(countsOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &count : counts) {
            const QString dir = QDir::tempPath() + QStringLiteral("/lumora-bench-notes-") + count;
            QString error;
            if (!ensureGenerated(dir, count.toInt(), &error)) {
                QTextStream(stderr) << "bench_app: " << error << Qt::endl;
                return 1;
            }
            sources.append(dir);
        }
    }

    for (const QString &source : sources) {
        QTemporaryDir work;
        QString bigNoteId;
        QString error;
        if (!work.isValid() || !copyDataDir(source, work.path(), &error)
            || !prepare(work.path(), &bigNoteId, &error)) {
            QTextStream(stderr) << "bench_app: " << error << Qt::endl;
            return 1;
        }
        out() << "Main window on " << source << Qt::endl;
        benchColdStart(work.path(), quick ? 3 : 5);
        benchWindow(work.path(), bigNoteId, runs);
    }
    return 0;
}
