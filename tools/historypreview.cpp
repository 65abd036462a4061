// Shows the version history of a note with a few kept versions, to look at
// the dialog in the light or dark palette.
//   historypreview [--dark] [--row N] [--empty] [--shot file.png]
// With --shot it saves the dialog as a PNG and quits.
#include "previewsupport.h"
#include "app/appstate.h"
#include "app/thememanager.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/versionhistorydialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The same plan as it grew: each later version adds to the one before.
QString planVersion(int step)
{
    QStringList ops = {QStringLiteral(R"({"insert":"Trip to Lisbon"},{"insert":"\n","attributes":{"header":1}})"),
                       QStringLiteral(R"({"insert":"Flights booked for "},{"insert":"May 14","attributes":{"bold":true}},)"
                                      R"({"insert":", back on the 21st.\n"})")};
    if (step >= 2)
        ops << QStringLiteral(R"({"insert":"Packing"},{"insert":"\n","attributes":{"header":2}},)"
                              R"({"insert":"Passport"},{"insert":"\n","attributes":{"list":"checked"}},)"
                              R"({"insert":"Adapter plug"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
                              R"({"insert":"Sunscreen"},{"insert":"\n","attributes":{"list":"unchecked"}})");
    if (step >= 3)
        ops << QStringLiteral(R"({"insert":"Places"},{"insert":"\n","attributes":{"header":2}},)"
                              R"({"insert":"Alfama and the castle"},{"insert":"\n","attributes":{"list":"bullet"}},)"
                              R"({"insert":"Tram 28 early, before the queues"},{"insert":"\n","attributes":{"list":"bullet"}},)"
                              R"({"insert":"Day trip to Sintra"},{"insert":"\n","attributes":{"list":"bullet"}})");
    if (step >= 4)
        ops << QStringLiteral(R"({"insert":"Ask Rita about the pastelaria near the river."},)"
                              R"({"insert":"\n","attributes":{"blockquote":true}})");
    return QLatin1Char('[') + ops.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption row(QStringLiteral("row"), QStringLiteral("Select row <n>."), QStringLiteral("n"),
                                 QStringLiteral("1"));
    const QCommandLineOption empty(QStringLiteral("empty"), QStringLiteral("A note without snapshots."));
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, row, empty, shot});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir dataDir;
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark));
    if (!session)
        return 1;
    AppState &state = *session;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note note;
    note.id = QStringLiteral("trip");
    note.body = planVersion(4);
    note.version = 9;
    note.createdAt = now.addDays(-20);
    note.updatedAt = note.modifiedAt = now;
    state.notes()->insert(note);
    if (!parser.isSet(empty)) {
        const QList<QPair<int, qint64>> kept = {{8, 25 * 60}, {6, 3 * 3600}, {4, 30 * 3600}, {2, 4 * 86400},
                                                {1, 19 * 86400}};
        int step = 4;
        for (const auto &[version, secondsAgo] : kept) {
            state.snapshots()->insert({QStringLiteral("s%1").arg(version), note.id, version,
                                       planVersion(qMax(1, step--)), now.addSecs(-secondsAgo)});
        }
    }

    auto *dialog = new VersionHistoryDialog(&state, note.id);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->snapshotList()->setCurrentRow(parser.value(row).toInt());
    dialog->show();

    Preview::shootLater(dialog, parser.value(shot));
    return app.exec();
}
