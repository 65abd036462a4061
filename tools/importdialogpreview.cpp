// Runs the Import Notes wizard on an archive in a throw-away data directory,
// in the light or dark palette, and can save its progress and report pages.
//   importdialogpreview [--dark] [--nsx] [--progress-shot a.png] [--report-shot b.png] archive
// With --report-shot it quits once the report page is saved.
#include "app/appstate.h"
#include "app/thememanager.h"
#include "ui/importdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
    QApplication app(argc, argv);
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexSans.ttf"));
    QFont interfaceFont(QStringLiteral("IBM Plex Sans"));
    interfaceFont.setPointSizeF(QApplication::font().pointSizeF());
    QApplication::setFont(interfaceFont);

    QCommandLineParser parser;
    const QCommandLineOption dark(QStringLiteral("dark"), QStringLiteral("Use the dark theme."));
    const QCommandLineOption nsx(QStringLiteral("nsx"), QStringLiteral("The archive is a NoteStation export."));
    const QCommandLineOption progressShot(QStringLiteral("progress-shot"),
                                          QStringLiteral("Save the progress page while importing."),
                                          QStringLiteral("file"));
    const QCommandLineOption reportShot(QStringLiteral("report-shot"), QStringLiteral("Save the report page and quit."),
                                        QStringLiteral("file"));
    parser.addOptions({dark, nsx, progressShot, reportShot});
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("The .jex or .nsx file."));
    parser.addHelpOption();
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    AppState state;
    QString error;
    if (!state.initialize(&error)) {
        qCritical().noquote() << error;
        return 1;
    }
    // After the start-up, which applies the stored theme.
    QApplication::setPalette(parser.isSet(dark) ? ThemeManager::darkPalette() : ThemeManager::lightPalette());
    ImportDialog dialog(&state);
    dialog.formatButton(parser.isSet(nsx) ? ImportFormat::NoteStation : ImportFormat::Joplin)->setChecked(true);
    dialog.setFilePath(parser.positionalArguments().first());
    dialog.resize(560, 420);
    dialog.show();
    dialog.next();
    dialog.next();

    bool progressSaved = false;
    if (parser.isSet(progressShot)) {
        const QString file = parser.value(progressShot);
        // The first page of progress that names a note.
        QObject::connect(dialog.progressBar(), &QProgressBar::valueChanged, &dialog, [&dialog, &progressSaved, file](int value) {
            if (progressSaved || value < 1 || dialog.progressBar()->maximum() < 2)
                return;
            progressSaved = true;
            // The label's new text is laid out before the shot.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            if (!dialog.grab().save(file))
                qCritical().noquote() << "Could not save" << file;
        });
    }
    if (parser.isSet(reportShot)) {
        const QString file = parser.value(reportShot);
        QObject::connect(&dialog, &ImportDialog::importFinished, &dialog, [&dialog, file] {
            QTimer::singleShot(300, &dialog, [&dialog, file] {
                if (!dialog.grab().save(file))
                    qCritical().noquote() << "Could not save" << file;
                QCoreApplication::quit();
            });
        });
    }
    return app.exec();
}
