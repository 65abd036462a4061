// A shown NoteEditor on generated notes of about 10 KB, 100 KB and 1 MB:
// opening a note (loadNote, pending events and a repaint of the viewport,
// as a list click does) and single keystrokes in the middle of the note
// (key press, pending events and repaint), the slowest key typed while the
// rest of a fresh note is laid out, and the save round after an edit.
// Prints wall-clock median and p95 in milliseconds and median CPU times.
// Then pastes of 1 MB clipboards of many short lines into an empty note:
// the paste itself, the longest event-loop turn while the rest is laid out
// in the background, when that layout is done, a key typed at the top of the
// paste once it is laid out, and the save after them (BENCH_PASTE_KB sets another size; "paste" as the only argument runs just
// these).

#include "benchnotes.h"
#include "ui/noteeditor.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QElapsedTimer>
#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QTextDocument>

#include <cstdio>
#include <ctime>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

struct Sample
{
    std::vector<double> wall;
    std::vector<double> cpu;

    void time(const std::function<void()> &work)
    {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        work();
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC);
    }
};

void settle(NoteEditor &editor)
{
    QApplication::processEvents();
    editor.viewport()->repaint();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);

    NoteEditor editor;
    editor.resize(900, 700);
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor)) {
        std::fprintf(stderr, "the editor window was not shown\n");
        return 1;
    }
    editor.setFocus();

    struct Size
    {
        const char *label;
        qsizetype bytes;
        int opens;
        int keys;
    };
    const Size sizes[] = { { "10 KB", 10 * 1024, 40, 60 }, { "100 KB", 100 * 1024, 20, 60 },
        { "1 MB", 1024 * 1024, 10, 60 } };
    std::printf("%-7s %6s %8s %8s %8s %8s %8s %9s %8s %8s %8s %8s %8s\n", "note", "blocks", "load med", "open med",
        "open p95", "open cpu", "rest cpu", "early max", "key med", "key p95", "key max", "key cpu", "save cpu");
    // Labels given on the command line ("1 MB") limit the run to those sizes.
    const QStringList only = app.arguments().mid(1);
    for (const Size &size : sizes) {
        if (!only.isEmpty() && !only.contains(QLatin1String(size.label)))
            continue;
        const QString json = generateBenchNote(size.bytes);
        Sample opens;
        Sample loads;
        Sample rest;
        for (int run = 0; run < size.opens; ++run) {
            // Alternate notes, as clicking through a list does.
            const QString id = QStringLiteral("note-%1").arg(run % 2);
            opens.time([&] {
                loads.time([&] { editor.loadNote(id, json); });
                settle(editor);
            });
            // The rest of the note is laid out in the background in steps;
            // here it is finished at once, timed on its own.
            rest.time([&] { editor.document()->documentLayout()->documentSize(); });
        }

        // Typing at the top right after opening, while the rest of the note
        // is still being laid out in the background: the slowest key.
        editor.loadNote(QStringLiteral("fresh"), json);
        settle(editor);
        Sample early;
        QElapsedTimer typing;
        typing.start();
        while (typing.elapsed() < 1500) {
            early.time([&] {
                QTest::keyClick(&editor, Qt::Key_E);
                settle(editor);
            });
            QTest::qWait(20);
        }
        editor.document()->documentLayout()->documentSize();

        QTextCursor middle(editor.document());
        middle.setPosition(editor.document()->characterCount() / 2);
        middle.movePosition(QTextCursor::EndOfBlock);
        editor.setTextCursor(middle);
        settle(editor);
        Sample keys;
        for (int run = 0; run < size.keys; ++run) {
            const Qt::Key key = run % 6 == 5 ? Qt::Key_Space : Qt::Key(Qt::Key_A + run % 26);
            keys.time([&] {
                QTest::keyClick(&editor, key);
                settle(editor);
            });
        }
        // What a save round costs after those edits: the Delta to store.
        Sample saves;
        for (int run = 0; run < 5; ++run) {
            QTest::keyClick(&editor, Qt::Key_B);
            saves.time([&] { editor.changedJson(); });
        }
        const BenchFigures open = summarize(opens.wall);
        const BenchFigures key = summarize(keys.wall);
        std::printf("%-7s %6d %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f %8.2f %8.2f %8.2f %8.2f %8.2f\n", size.label,
            editor.document()->blockCount(), summarize(loads.wall).median, open.median, open.p95,
            summarize(opens.cpu).median, summarize(rest.cpu).median,
            *std::max_element(early.wall.begin(), early.wall.end()), key.median, key.p95,
            *std::max_element(keys.wall.begin(), keys.wall.end()), summarize(keys.cpu).median,
            summarize(saves.cpu).median);
        std::fflush(stdout);
    }

    struct Paste
    {
        const char *label;
        const char *format;
        QString text;
    };
    const int pasteBytes = qEnvironmentVariableIntValue("BENCH_PASTE_KB") > 0
        ? qEnvironmentVariableIntValue("BENCH_PASTE_KB") * 1024
        : 1024 * 1024;
    const auto lines = [&](const char *line) {
        const QString piece = QString::fromUtf8(line);
        return piece.repeated(int(pasteBytes / piece.size()));
    };
    const Paste pastes[] = {
        { "html <p>x", "text/html", lines("<p>x") },
        { "html <li>x", "text/html", QStringLiteral("<ul>") + lines("<li>x") },
        { "html <pre> lines", "text/html", QStringLiteral("<pre>") + lines("x\n") },
        { "html <br> lines", "text/html", QStringLiteral("<p>") + lines("x<br>") },
        { "markdown - x", "text/markdown", lines("- x\n") },
        { "plain lines", "text/plain", lines("x\n") },
    };
    std::printf("\n%-18s %8s %8s %8s %8s %8s %8s\n", "paste (1 MB)", "blocks", "paste", "stall", "laid out", "key top",
        "save");
    for (const Paste &paste : pastes) {
        if (!only.isEmpty() && !only.contains(QLatin1String("paste")))
            break;
        editor.loadNote(QStringLiteral("paste"), QString());
        settle(editor);
        auto *data = new QMimeData;
        if (QLatin1String(paste.format) == QLatin1String("text/plain"))
            data->setText(paste.text);
        else
            data->setData(QString::fromLatin1(paste.format), paste.text.toUtf8());
        QGuiApplication::clipboard()->setMimeData(data);
        Sample pasted;
        pasted.time([&] { editor.paste(); });
        // Then the event loop until the rest is laid out (five seconds at most):
        // its longest turn is how long the editor stops answering keys.
        double longestTurn = 0;
        double laidOut = -1;
        {
            QElapsedTimer clock, turn;
            clock.start();
            turn.start();
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
                longestTurn = std::max(longestTurn, double(turn.nsecsElapsed()) / 1e6);
                turn.start();
                if (laidOut < 0 && editor.document()->lastBlock().layout()->lineCount() > 0)
                    laidOut = double(clock.nsecsElapsed()) / 1e6;
            });
            ticker.start(0);
            while (clock.elapsed() < 5000 && laidOut < 0)
                QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        // The first line of the paste is where a long paragraph would sit.
        QTextCursor top(editor.document());
        top.movePosition(QTextCursor::NextCharacter);
        editor.setTextCursor(top);
        settle(editor);
        Sample key;
        for (int run = 0; run < 5; ++run)
            key.time([&] {
                QTest::keyClick(&editor, Qt::Key_K);
                settle(editor);
            });
        Sample saved;
        saved.time([&] { editor.changedJson(); });
        std::printf("%-18s %8d %8.0f %8.0f %8.0f %8.0f %8.0f\n", paste.label, editor.document()->blockCount(),
            pasted.wall.front(), longestTurn, laidOut, *std::max_element(key.wall.begin(), key.wall.end()),
            saved.wall.front());
        std::fflush(stdout);
    }
    return 0;
}
