// Shows the update and what's-new dialogs against canned release data served
// from 127.0.0.1, to look at them without a release server.
//   updatedialogpreview [--dark] [--newer-notes] [--notes-missing] [--quit-after <ms>]
// --newer-notes: the running version has no notes, so what's new shows the
//                offered release with its download button.
// --notes-missing: the offered release's notes fail to load.
#include "artifact.h"
#include "testhttpserver.h"
#include "updateconfig.h"
#include "updatedialog.h"
#include "updateui.h"
#include "whatsnewdialog.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QStyleFactory>
#include <QTimer>

namespace {

const char kOfferedNotes[] = R"(## Highlights

- **Search as you type** now ranks titles above body text.
- Checklists keep their ticks when a note is pasted into another one.
- The To-Dos window remembers its size.

## Fixes

- Sync no longer stalls after the computer wakes from sleep.
- Exported PDFs keep the table borders.

See the [full changelog](https://downloads.example.org/notes/1.1.0/changelog.html).
)";

const char kRunningNotes[] = R"(## Welcome to Lumora Notes 1.0.2

- Faster start-up on large libraries.
- Images can be dragged straight into a note.
- A new dark theme that follows the system.

### Known issues

- Printing a note with very wide tables may cut the last column.
)";

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2d, 0x31);
    const QColor base(0x1e, 0x1f, 0x22);
    const QColor text(0xe6, 0xe6, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window.lighter(115));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8d, 0x93));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7b, 0xd9));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6c, 0xa8, 0xff));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x70, 0x70, 0x70));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x70, 0x70, 0x70));
    return p;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QStringList args = QApplication::arguments();
    if (args.contains(QLatin1String("--dark")))
        QApplication::setPalette(darkPalette());
    const qsizetype quitAt = args.indexOf(QLatin1String("--quit-after"));
    if (quitAt > 0 && quitAt + 1 < args.size())
        QTimer::singleShot(args.at(quitAt + 1).toInt(), &app, &QApplication::quit);

    LumoraTest::TestHttpServer server;
    if (!server.listen())
        qFatal("updatedialogpreview: cannot listen on 127.0.0.1");
    const QString offeredNotes = QStringLiteral("/notes/1.1.0/release-notes.md");
    const QJsonObject artifact {
        { QStringLiteral("version"), QStringLiteral("1.1.0") },
        { QStringLiteral("released_at"), QStringLiteral("2026-11-20T09:30:00Z") },
        { QStringLiteral("url"),
            QStringLiteral("https://downloads.example.org/notes/1.1.0/LumoraNotes-1.1.0-setup.exe") },
        { QStringLiteral("size"), 48213120 },
        { QStringLiteral("sha256"), QString(64, QLatin1Char('c')) },
        { QStringLiteral("release_notes_url"), server.url(offeredNotes).toString() },
    };
    const QJsonObject manifest { { QStringLiteral("schema"), 1 }, { QStringLiteral("app"), QStringLiteral("notes") },
        { QStringLiteral("channel"), QStringLiteral("stable") },
        { QStringLiteral("artifacts"), QJsonObject { { BrioUpdate::currentPlatformKey(), artifact } } } };
    const QByteArray manifestJson = QJsonDocument(manifest).toJson();
    server.route(QStringLiteral("/notes/stable/latest.json"),
        [&](const LumoraTest::HttpRequest &) { return LumoraTest::HttpResponse::json(manifestJson); });
    const bool newerNotes = args.contains(QLatin1String("--newer-notes"));
    const bool notesMissing = args.contains(QLatin1String("--notes-missing"));
    server.route(offeredNotes, [notesMissing](const LumoraTest::HttpRequest &) {
        return LumoraTest::HttpResponse::text(QByteArray(kOfferedNotes), notesMissing ? 404 : 200);
    });
    server.route(QStringLiteral("/notes/1.0.2/release-notes.md"), [newerNotes](const LumoraTest::HttpRequest &) {
        return LumoraTest::HttpResponse::text(QByteArray(kRunningNotes), newerNotes ? 404 : 200);
    });

    BrioUpdate::Config config;
    config.app = QStringLiteral("notes");
    config.channel = QStringLiteral("stable");
    config.manifestBaseUrl = server.url(QStringLiteral("/notes/stable/"));
    config.currentVersion = QStringLiteral("1.0.2");
    const QString name = QStringLiteral("Lumora Notes");

    BrioUpdate::UiCallbacks callbacks;
    callbacks.message = [](const QString &text, int) { qInfo("%s", qPrintable(text)); };
    if (newerNotes)
        BrioUpdate::showWhatsNew(config, name, nullptr, callbacks);
    else
        BrioUpdate::showStartupWhatsNew(config, name, nullptr);
    BrioUpdate::checkForUpdates(config, name, nullptr, callbacks);

    // Side by side, so one screenshot shows both.
    QTimer::singleShot(800, &app, [] {
        const QList<QWidget *> windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            if (qobject_cast<BrioUpdate::WhatsNewDialog *>(window))
                window->move(40, 40);
            else if (qobject_cast<BrioUpdate::UpdateDialog *>(window))
                window->move(700, 40);
        }
    });
    return app.exec();
}
