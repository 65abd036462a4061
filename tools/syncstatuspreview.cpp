// The sync status as the main window's status bar shows it while idle,
// syncing with progress and after a failed run, above the Sync page of the
// preferences, in one picture, to look at in the light or dark palette.
//   syncstatuspreview [--dark] [--shot file.png]
// The window is the real one, wired to the app's sync engine; the engine's
// signals are sent as a run sends them, so no server or account is needed.
#include "previewsupport.h"
#include "app/appstate.h"
#include "storage/noterepository.h"
#include "sync/syncengine.h"
#include "ui/mainwindow.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QPainter>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

namespace {

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(150, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window's bottom strip: the foot of the panes and the status bar.
QImage bottomStrip(QMainWindow *window)
{
    const int height = window->statusBar()->height() + 16;
    const QRect area(0, window->height() - height, window->width(), height);
    return window->grab(area).toImage();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, shot});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dataDir.path());
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark), true);
    if (!session)
        return 1;
    AppState &state = *session;
    SyncEngine *engine = state.syncEngine();

    MainWindow window(&state);
    window.resize(1000, 520);
    window.show();
    settle();

    QList<QImage> strips;
    Q_EMIT engine->stateChanged(SyncEngine::Syncing);
    Q_EMIT engine->stateChanged(SyncEngine::Idle);
    settle();
    strips.append(bottomStrip(&window));
    Q_EMIT engine->stateChanged(SyncEngine::Syncing);
    Q_EMIT engine->syncProgress(SyncEngine::tr("Uploading notes"), 1750, 10000);
    settle();
    strips.append(bottomStrip(&window));
    Q_EMIT engine->stateChanged(SyncEngine::Error);
    Q_EMIT engine->syncFailed(SyncEngine::tr("Pull failed (HTTP %1)").arg(503));
    settle();
    strips.append(bottomStrip(&window));

    auto *dialog = new SettingsDialog(&state);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->onCategoryChanged(3);
    dialog->setAccountAvailable(true);
    dialog->setSignedIn(true, QStringLiteral("ana@example.com"));
    dialog->setSyncStatusText(SyncEngine::stateText(SyncEngine::Idle));
    dialog->resize(dialog->minimumSize());
    dialog->show();
    settle();
    const QImage settings = dialog->grab().toImage();

    const int gap = 12;
    int width = settings.width();
    int height = settings.height();
    for (const QImage &image : std::as_const(strips)) {
        width = qMax(width, image.width());
        height += image.height() + gap;
    }
    QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QApplication::palette().color(QPalette::Window));
    QPainter painter(&picture);
    int y = 0;
    for (const QImage &image : std::as_const(strips)) {
        painter.drawImage(0, y, image);
        y += image.height() + gap;
    }
    painter.drawImage(0, y, settings);
    painter.end();

    const QString file = parser.value(shot);
    if (file.isEmpty())
        return app.exec();
    if (!picture.save(file)) {
        qCritical().noquote() << "Could not save" << file;
        return 1;
    }
    return 0;
}
