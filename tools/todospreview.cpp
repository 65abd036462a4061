// Shows the To-Dos window over a few notes with checklists, typed boxes and
// TODO lines, to look at it in the light or dark palette.
//   todospreview [--dark] [--completed] [--alpha] [--filter text] [--shot file.png]
// With --shot it saves the window as a PNG and quits.
#include "previewsupport.h"
#include "storage/noterepository.h"
#include "ui/todosscreen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct SampleNote
{
    const char *id;
    int minutesAgo;
    const char *body;
};

const SampleNote Samples[] = {
    {"trip", 12,
     R"([{"insert":"Trip to Lisbon"},{"insert":"\n","attributes":{"header":1}},)"
     R"({"insert":"Passport\nAdapter plug\n","attributes":{"list":"checked"}},)"
     R"({"insert":"Sunscreen and a hat for the afternoons by the river\nBook the Sintra train\n","attributes":{"list":"unchecked"}}])"},
    {"groceries", 45,
     R"([{"insert":"Groceries\n"},{"insert":"Oat milk"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
     R"({"insert":"Coffee beans"},{"insert":"\n","attributes":{"list":"checked"}},)"
     R"({"insert":"Lemons"},{"insert":"\n","attributes":{"list":"unchecked"}}])"},
    {"release", 180,
     R"([{"insert":"Release 1.0.3"},{"insert":"\n","attributes":{"header":2}},)"
     R"({"insert":"Changelog reviewed"},{"insert":"\n","attributes":{"list":"checked"}},)"
     R"({"insert":"TODO: ask Rita about the installer signing\n- [ ] typed box from an imported note\n- [x] typed and done\n"},)"
     R"({"insert":"Tag the build"},{"insert":"\n","attributes":{"list":"unchecked"}}])"},
    {"untitled", 60 * 26,
     R"([{"insert":"\n"},{"insert":"Water the plants"},{"insert":"\n","attributes":{"list":"unchecked"}}])"},
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption completed(QStringLiteral("completed"), QStringLiteral("Show completed to-dos."));
    const QCommandLineOption alpha(QStringLiteral("alpha"), QStringLiteral("Sort alphabetically."));
    const QCommandLineOption filter(QStringLiteral("filter"), QStringLiteral("Type <text> into the filter."),
                                    QStringLiteral("text"));
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, completed, alpha, filter, shot});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark));
    if (!session)
        return 1;
    AppState &state = *session;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const SampleNote &sample : Samples) {
        Note note;
        note.id = QString::fromLatin1(sample.id);
        note.body = QString::fromUtf8(sample.body);
        note.createdAt = note.updatedAt = note.modifiedAt = now.addSecs(-60 * sample.minutesAgo);
        state.notes()->insert(note);
    }

    auto *screen = new TodosScreen(&state);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->setWindowTitle(QStringLiteral("To-Dos \u2014 Lumora Notes"));
    screen->resize(600, 500);
    screen->showCompletedBox()->setChecked(parser.isSet(completed));
    if (parser.isSet(alpha))
        screen->sortBox()->setCurrentIndex(screen->sortBox()->findData(QStringLiteral("alpha")));
    screen->filterField()->setText(parser.value(filter));
    screen->refresh();
    screen->show();

    Preview::shootLater(screen, parser.value(shot));
    return app.exec();
}
