// Shows the Export Note dialog, or the print preview of a sample note, in
// the light or dark palette.
//   exportdialogpreview [--dark] [--print-preview] [--shot file.png]
// With --shot it saves the window as a PNG and quits.
#include "previewsupport.h"
#include "app/thememanager.h"
#include "document/deltadocument.h"
#include "ui/exportdialog.h"
#include "ui/noteoutput.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>

#include <memory>

namespace {

const char *const SampleNote =
    R"([{"insert":"Trip to the coast"},{"insert":"\n","attributes":{"header":1}},)"
    R"({"insert":"Leave on "},{"insert":"Friday","attributes":{"bold":true}},{"insert":" at eight; the )"
    R"(ferry timetable is on "},{"insert":"the harbour site","attributes":{"link":"https://example.org"}},)"
    R"({"insert":".\nPacking"},{"insert":"\n","attributes":{"header":2}},{"insert":"Rain jackets"},)"
    R"({"insert":"\n","attributes":{"list":"checked"}},{"insert":"Camera"},)"
    R"({"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"Snacks for the drive"},)"
    R"({"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"divider":true}},{"insert":"\n"},)"
    R"({"insert":"ferry --depart 09:40"},{"insert":"\n","attributes":{"code-block":true}},)"
    R"({"insert":"Book the cabin before Wednesday."},{"insert":"\n","attributes":{"blockquote":true}}])";

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption preview(QStringLiteral("print-preview"),
                                     QStringLiteral("Show the print preview of a sample note."));
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, preview, shot});
    parser.addHelpOption();
    parser.process(app);
    QApplication::setPalette(parser.isSet(dark) ? ThemeManager::darkPalette() : ThemeManager::lightPalette());

    DeltaDocument note;
    note.setJson(QString::fromUtf8(SampleNote));
    const PrintableNote printable(note.document(), nullptr);
    QPrinter printer(QPrinter::HighResolution);
    std::unique_ptr<QDialog> window;
    if (parser.isSet(preview)) {
        auto *previewDialog = new QPrintPreviewDialog(&printer);
        previewDialog->setWindowTitle(QStringLiteral("Print Preview \u2014 Trip to the coast"));
        previewDialog->resize(900, 700);
        QObject::connect(previewDialog, &QPrintPreviewDialog::paintRequested, previewDialog,
                         [&printable](QPrinter *target) { printable.print(target); });
        window.reset(previewDialog);
    } else {
        window = std::make_unique<ExportDialog>();
    }
    QDialog &dialog = *window;
    dialog.show();
    Preview::shootLater(&dialog, parser.value(shot));
    return app.exec();
}
