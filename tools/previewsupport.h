#pragma once

// Start-up shared by the preview tools: the interface fonts, a throw-away
// data directory with the app state on it, and the --shot screenshot.

#include "app/appstate.h"
#include "app/thememanager.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDebug>
#include <QFont>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace Preview {

inline void useInterfaceFonts()
{
    for (const char *font : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                             ":/fonts/IBMPlexMono-Medium.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(font));
    QFont interfaceFont(QStringLiteral("IBM Plex Sans"));
    interfaceFont.setPointSizeF(QApplication::font().pointSizeF());
    QApplication::setFont(interfaceFont);
}

inline QCommandLineOption darkOption()
{
    return QCommandLineOption(QStringLiteral("dark"), QStringLiteral("Use the dark theme."));
}

inline QCommandLineOption shotOption()
{
    return QCommandLineOption(QStringLiteral("shot"), QStringLiteral("Save a screenshot and quit."),
                              QStringLiteral("file"));
}

// The app state on an empty data directory of its own, in the asked theme;
// null (with the reason printed) when it cannot start.
inline std::unique_ptr<AppState> openState(const QTemporaryDir &dataDir, bool dark, bool welcomeNotes = false)
{
    qputenv("NOTES_DATA_DIR", dataDir.path().toLocal8Bit());
    if (!welcomeNotes)
        qputenv("LUMORA_NO_WELCOME_NOTES", "1");
    auto state = std::make_unique<AppState>();
    QString error;
    if (!state->initialize(&error)) {
        qCritical().noquote() << error;
        return nullptr;
    }
    state->themeManager()->setMode(dark ? QStringLiteral("dark") : QStringLiteral("light"));
    return state;
}

// With a file name, saves the widget as a PNG once it has painted and quits.
inline void shootLater(QWidget *widget, const QString &file, int delayMs = 400)
{
    if (file.isEmpty())
        return;
    QTimer::singleShot(delayMs, widget, [widget, file] {
        if (!widget->grab().save(file))
            qCritical().noquote() << "Could not save" << file;
        QCoreApplication::quit();
    });
}

} // namespace Preview
