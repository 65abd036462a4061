// Shows the main window's note view (header bar, formatting toolbar and
// editor) over a note with real content, to look at the bars in the light or
// dark palette.
//   chromepreview [--dark] [--shot file.png] [--scale 2] [--bars | --menu]
// With --shot it saves the note view as a PNG and quits; --scale sets the
// device pixel ratio of the picture, --bars keeps only the two bars, --menu
// takes the header's More menu instead.
#include "previewsupport.h"
#include "app/appstate.h"
#include "app/thememanager.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "ui/editortoolbar.h"
#include "ui/mainwindow.h"
#include "ui/notechrome.h"
#include "ui/noteeditor.h"
#include "ui/noteheaderbar.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

namespace {

const char SampleNote[] = R"json([
{"insert":"Quarterly planning"},{"insert":"\n","attributes":{"header":1}},
{"insert":"Agreed with "},{"insert":"Ana","attributes":{"bold":true}},{"insert":" and Ben on the "},
{"insert":"three","attributes":{"italic":true}},{"insert":" things that ship first; see "},
{"insert":"the board","attributes":{"link":"https://example.org/board"}},{"insert":".\n"},
{"insert":"Goals"},{"insert":"\n","attributes":{"header":3}},
{"insert":"Editor toolbar with every format"},{"insert":"\n","attributes":{"list":"checked"}},
{"insert":"Header bar with the note's commands"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Screenshots in both themes"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Keep the bars readable in the dark."},{"insert":"\n","attributes":{"blockquote":true}},
{"insert":"toolbar->setEditor(editor);"},{"insert":"\n","attributes":{"code-block":true}},
{"insert":"Review on Friday"},{"insert":"\n","attributes":{"align":"center"}}
])json";

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption shot = Preview::shotOption();
    const QCommandLineOption scale(QStringLiteral("scale"), QStringLiteral("Device pixel ratio of the shot."),
                                   QStringLiteral("ratio"), QStringLiteral("2"));
    const QCommandLineOption bars(QStringLiteral("bars"), QStringLiteral("Only the header bar and the toolbar."));
    const QCommandLineOption menu(QStringLiteral("menu"), QStringLiteral("The header's More menu, open."));
    parser.addOptions({dark, shot, scale, bars, menu});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dataDir.path());
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark));
    if (!session)
        return 1;
    AppState &state = *session;

    const std::optional<Notebook> notebook = state.notebooks()->create(QStringLiteral("Work projects"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note note;
    note.id = QStringLiteral("plan");
    note.notebookId = notebook ? notebook->id : QString();
    note.body = QString::fromUtf8(SampleNote);
    note.createdAt = now.addDays(-3);
    note.updatedAt = note.modifiedAt = now.addSecs(-5 * 60);
    state.notes()->insert(note);
    state.setCurrentNoteId(note.id);

    MainWindow window(&state);
    window.resize(1320, 640);
    if (parser.isSet(bars)) {
        // Narrow, with the lists hidden, so that the bars fill a small picture.
        window.setFocusMode(true);
        window.resize(820, 640);
    }
    window.show();
    // The cursor in the checklist, so that the toolbar lights a list.
    QTextCursor cursor(window.editor()->document()->findBlockByNumber(3));
    cursor.movePosition(QTextCursor::EndOfBlock);
    window.editor()->setTextCursor(cursor);

    QMenu *more = window.noteChrome()->headerBar()->findChild<QToolButton *>(QStringLiteral("moreButton"))->menu();
    if (parser.isSet(menu))
        more->popup(window.mapToGlobal(QPoint(window.width() - 200, 40)));

    if (parser.isSet(shot)) {
        const QString file = parser.value(shot);
        const qreal ratio = parser.value(scale).toDouble();
        const bool barsOnly = parser.isSet(bars);
        QWidget *view = parser.isSet(menu) ? static_cast<QWidget *>(more) : window.noteView();
        QTimer::singleShot(400, &window, [&window, view, file, ratio, barsOnly] {
            QSize size = view->size();
            if (barsOnly)
                size.setHeight(window.noteChrome()->headerBar()->height() + window.noteChrome()->toolbar()->height());
            QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            view->render(&painter, QPoint(), QRegion(QRect(QPoint(), size)));
            painter.end();
            if (!image.save(file))
                qCritical().noquote() << "Could not save" << file;
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
