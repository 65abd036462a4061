// Shows the Export Note dialog in the light or dark palette.
//   exportdialogpreview [--dark] [--shot file.png]
// With --shot it saves the dialog as a PNG and quits.
#include "app/thememanager.h"
#include "ui/exportdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/IBMPlexSans.ttf"));
    QFont interfaceFont(QStringLiteral("IBM Plex Sans"));
    interfaceFont.setPointSizeF(QApplication::font().pointSizeF());
    QApplication::setFont(interfaceFont);

    QCommandLineParser parser;
    const QCommandLineOption dark(QStringLiteral("dark"), QStringLiteral("Use the dark theme."));
    const QCommandLineOption shot(QStringLiteral("shot"), QStringLiteral("Save a screenshot and quit."),
                                  QStringLiteral("file"));
    parser.addOptions({dark, shot});
    parser.addHelpOption();
    parser.process(app);
    QApplication::setPalette(parser.isSet(dark) ? ThemeManager::darkPalette() : ThemeManager::lightPalette());

    ExportDialog dialog;
    dialog.show();
    if (parser.isSet(shot)) {
        const QString file = parser.value(shot);
        QTimer::singleShot(400, &dialog, [&dialog, file] {
            if (!dialog.grab().save(file))
                qCritical().noquote() << "Could not save" << file;
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
