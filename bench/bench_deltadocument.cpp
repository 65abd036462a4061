// Load (setJson) and save (toJson) times of DeltaDocument for generated notes
// of about 10 KB, 100 KB and 1 MB. Prints wall-clock median and p95 in
// milliseconds, and the median CPU time, which stays meaningful when other
// processes share the machine.

#include "benchnotes.h"
#include "document/deltadocument.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>
#include <ctime>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);

    struct Size
    {
        const char *label;
        qsizetype bytes;
        int runs;
    };
    const Size sizes[] = { { "10 KB", 10 * 1024, 200 }, { "100 KB", 100 * 1024, 40 }, { "1 MB", 1024 * 1024, 15 } };
    std::printf("%-7s %9s %6s %5s %8s %8s %8s %8s %8s %8s\n", "note", "bytes", "blocks", "runs", "load med", "load p95",
        "load cpu", "save med", "save p95", "save cpu");
    for (const Size &size : sizes) {
        const QString json = generateBenchNote(size.bytes);
        DeltaDocument doc;
        // Give the document a layout as the editor does; loading pays for
        // what it lays out up front (the rest is laid out in the background).
        doc.document()->setTextWidth(800);
        std::vector<double> loads;
        std::vector<double> saves;
        std::vector<double> loadCpu;
        std::vector<double> saveCpu;
        QString saved;
        for (int run = 0; run < size.runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            std::clock_t cpu = std::clock();
            doc.setJson(json);
            loads.push_back(double(timer.nsecsElapsed()) / 1e6);
            loadCpu.push_back(double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
            timer.restart();
            cpu = std::clock();
            saved = doc.toJson();
            saves.push_back(double(timer.nsecsElapsed()) / 1e6);
            saveCpu.push_back(double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
        }
        const BenchFigures load = summarize(loads);
        const BenchFigures save = summarize(saves);
        std::printf("%-7s %9lld %6d %5d %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f\n", size.label,
            qlonglong(json.toUtf8().size()), doc.document()->blockCount(), size.runs, load.median, load.p95,
            summarize(loadCpu).median, save.median, save.p95, summarize(saveCpu).median);
    }
    return 0;
}
