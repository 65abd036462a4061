// Shows the account screen or the share dialog against canned account data
// served from 127.0.0.1, to look at them without the account servers.
//   accountpreview [--dark] [--share] [--panel <n>] [--member] [--shot file.png]
// --share: the share dialog of a note instead of the account screen.
// --panel: the account screen's category row to show (0 Profile … 4 Data).
// --member: signed in as a plain member instead of the group owner.
#include "previewsupport.h"

#include "account/accountscreen.h"
#include "account/client.h"
#include "account/sharemembersdialog.h"
#include "account/tokenmanager.h"
#include "account/tokenstore.h"
#include "features/notesharingservice.h"
#include "account/apiclient.h"
#include "testhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>

using LumoraTest::HttpRequest;
using LumoraTest::HttpResponse;

namespace {

QString isoAgo(qint64 seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(-seconds).toString(Qt::ISODate);
}

QString tokenWithRole(const QString &role)
{
    const QJsonObject brio{{QStringLiteral("group_id"), QStringLiteral("g1")}, {QStringLiteral("role"), role}};
    const QJsonObject payload{{QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + 3600},
                              {QStringLiteral("custom"), QJsonObject{{QStringLiteral("brio"), brio}}}};
    const auto part = [](const QByteArray &bytes) {
        return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    return part(R"({"alg":"none"})") + QLatin1Char('.') + part(QJsonDocument(payload).toJson(QJsonDocument::Compact))
        + QStringLiteral(".c2ln");
}

void serve(LumoraTest::TestHttpServer &server, const QString &path, const QString &json)
{
    const QByteArray body = json.toUtf8();
    server.route("GET", path, [body](const HttpRequest &) { return HttpResponse::json(body); });
}

void serveAccount(LumoraTest::TestHttpServer &server)
{
    serve(server, QStringLiteral("/api/v1/realms/preview/users/me"),
          QString::fromUtf8(R"({"id":"u-ana","email":"ana.rivera@example.com","display_name":"Ana Rivera"})"));
    serve(server, QStringLiteral("/api/v1/realms/preview/users/me/sessions"),
          QString::fromUtf8(R"json({"sessions":[
              {"id":"s1","user_agent":"Lumora Notes 1.4.0 (Linux)","ip_address":"192.168.1.20","last_active_at":"%1","is_current":true},
              {"id":"s2","user_agent":"Lumora Notes 1.3.2 (Windows)","ip_address":"192.168.1.34","last_active_at":"%2"},
              {"id":"s3","user_agent":"","ip_address":"10.0.4.7","last_active_at":"%3"}]})json")
              .arg(isoAgo(20), isoAgo(3 * 3600), isoAgo(12 * 86400)));
    serve(server, QStringLiteral("/account/v1/devices"),
          QString::fromUtf8(R"({"devices":[
              {"id":"d1","device_name":"Ana's ThinkPad","platform":"linux","app_version":"1.4.0","last_sync_at":"%1"},
              {"id":"d2","device_name":"Kitchen PC","platform":"windows","app_version":"1.3.2","last_sync_at":"%2"},
              {"id":"d3","device_name":"","platform":"windows","app_version":"","last_sync_at":"%3"}]})")
              .arg(isoAgo(40), isoAgo(2 * 86400 + 600), isoAgo(40 * 86400)));
    serve(server, QStringLiteral("/account/v1/group"),
          QString::fromUtf8(R"({"id":"g1","name":"Rivera Family","max_seats":5,"members":[
              {"account_id":"u-ana","display_name":"Ana Rivera","email":"ana.rivera@example.com","role":"owner"},
              {"account_id":"u-ben","display_name":"Ben Rivera","email":"ben@example.com","role":"member"},
              {"account_id":"u-carla","display_name":"Carla Ortiz","email":"carla.ortiz@example.com","role":"member"},
              {"account_id":"u-dev","display_name":"","email":"dev.rivera@example.com","role":"member"}],
              "pending_invitations":[{"id":"i1","invited_email":"grandma.rosa@example.com","status":"pending"},
                                     {"id":"i2","invite_code":"RVF-7K2Q","status":"pending"}]})"));
    serve(server, QStringLiteral("/notes/v1/shares/notes/n1"),
          QString::fromUtf8(R"({"shares":[{"shared_with_account_id":"u-ben","shared_with_display_name":"Ben Rivera",
              "shared_with_email":"ben@example.com","permission":"edit","created_at":1733000000000}]})"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Preview::useInterfaceFonts();

    QCommandLineParser parser;
    const QCommandLineOption dark = Preview::darkOption();
    const QCommandLineOption share(QStringLiteral("share"), QStringLiteral("Show the share dialog."));
    const QCommandLineOption panel(QStringLiteral("panel"), QStringLiteral("Show category <n>."), QStringLiteral("n"),
                                   QStringLiteral("0"));
    const QCommandLineOption member(QStringLiteral("member"), QStringLiteral("Sign in as a plain member."));
    const QCommandLineOption shot = Preview::shotOption();
    parser.addOptions({dark, share, panel, member, shot});
    parser.addHelpOption();
    parser.process(app);

    LumoraTest::TestHttpServer server;
    if (!server.listen())
        return 1;
    serveAccount(server);
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    // The state's own account client never reaches past this machine either.
    for (const char *name : {"AUTH_BASE_URL", "ACCOUNT_API_URL", "SYNC_API_URL"})
        qputenv(name, origin.toUtf8());

    QTemporaryDir dataDir;
    const std::unique_ptr<AppState> session = Preview::openState(dataDir, parser.isSet(dark));
    if (!session)
        return 1;
    BrioAccount::ClientConfig config;
    config.authBaseUrl = origin;
    config.realmSlug = QStringLiteral("preview");
    config.accountApiBaseUrl = origin + QStringLiteral("/account/v1");
    config.appId = QStringLiteral("app.lumora.notes.preview");
    BrioAccount::Client client(config, nullptr, new BrioAccount::MemoryTokenStore);
    client.notesApi()->setBaseUrl(QUrl(origin + QStringLiteral("/notes/v1")));
    client.tokenManager()->setTokens(
        tokenWithRole(parser.isSet(member) ? QStringLiteral("member") : QStringLiteral("owner")),
        QStringLiteral("refresh"));

    QWidget *window = nullptr;
    NoteSharingService notes(client.notesApi(), NoteSharingService::Note);
    if (parser.isSet(share)) {
        BrioAccount::ShareDialogTexts texts;
        texts.windowTitle = QStringLiteral("Share Note");
        texts.heading = QStringLiteral("Sharing: Weekend trip to Lisbon");
        texts.description = QStringLiteral("Share this note with members of your Lumora family group. They'll see "
                                           "the latest version synced to their devices.");
        window = new BrioAccount::ShareMembersDialog(&notes, client.accountClient(), QStringLiteral("n1"), texts,
                                                     QStringLiteral("edit"));
    } else {
        auto *screen = new BrioAccount::AccountScreen(&client);
        screen->setWindowTitle(QStringLiteral("Account \u2014 Lumora Notes"));
        screen->resize(860, 600);
        screen->categoryList()->setCurrentRow(parser.value(panel).toInt());
        window = screen;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();

    Preview::shootLater(window, parser.value(shot), 1200);
    return app.exec();
}
