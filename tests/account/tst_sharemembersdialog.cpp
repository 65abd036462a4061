#include "accountclient.h"
#include "accounttest.h"
#include "apiclient.h"
#include "features/notesharingservice.h"
#include "scriptedprompts.h"
#include "sharemembersdialog.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace AccountTest;
using namespace LumoraTest;
using namespace BrioAccount;

namespace {

const QString SharesPath = QStringLiteral("/notes/v1/shares/notes/n1");

const QByteArray GroupJson = R"({"id":"g1","name":"Family","max_seats":5,"members":[
    {"account_id":"me","display_name":"Ana","email":"me@example.com","role":"owner"},
    {"account_id":"a2","display_name":"Bo","email":"bo@example.com","role":"member"},
    {"account_id":"a3","display_name":"Cy","email":"cy@example.com","role":"member"}]})";

QByteArray sharesJson(const QStringList &accountIds)
{
    QJsonArray shares;
    for (const QString &id : accountIds) {
        const QString name = id == QLatin1String("a2") ? QStringLiteral("Bo") : QStringLiteral("Cy");
        shares.append(QJsonObject{{"shared_with_account_id"_str, id},
                                  {"shared_with_display_name"_str, name},
                                  {"shared_with_email"_str, QString(name.toLower() + QStringLiteral("@example.com"))},
                                  {"permission"_str, "edit"_str}});
    }
    return jsonBytes({{"shares"_str, shares}});
}

QStringList texts(const QComboBox *box)
{
    QStringList all;
    for (int i = 0; i < box->count(); ++i)
        all << box->itemText(i);
    return all;
}

QStringList texts(const QListWidget *list)
{
    QStringList all;
    for (int i = 0; i < list->count(); ++i)
        all << list->item(i)->text();
    return all;
}

// A backend whose share fails without saying why.
class SilentBackend : public SharingBackend
{
public:
    void listMembers(const QString &, ListCallback callback) override { callback({}); }
    void shareWith(const QString &, const QString &, const QString &, ShareCallback callback) override
    {
        callback(false, QString());
    }
    void removeShare(const QString &, const QString &, RemoveCallback callback) override { callback(false); }
};

} // namespace

class ShareMembersDialogTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<Client> m_client;
    std::unique_ptr<NoteSharingService> m_notes;
    std::shared_ptr<PromptLog> m_log;

    std::unique_ptr<ShareMembersDialog> open(SharingBackend *backend = nullptr)
    {
        ShareDialogTexts texts{QStringLiteral("Share Note"), QStringLiteral("Sharing: Groceries"),
                               QStringLiteral("Share this note.")};
        auto dialog = std::make_unique<ShareMembersDialog>(backend ? backend : m_notes.get(),
                                                           m_client->accountClient(), QStringLiteral("n1"), texts,
                                                           QStringLiteral("edit"));
        m_log = std::make_shared<PromptLog>();
        dialog->setPrompts(std::make_unique<ScriptedPrompts>(m_log));
        return dialog;
    }

    static void waitUntilLoaded(ShareMembersDialog &dialog)
    {
        QTRY_VERIFY(dialog.memberPicker()->itemText(0) != QLatin1String("Loading..."));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_client = std::make_unique<Client>(configFor(*m_server), nullptr, new MemoryTokenStore);
        m_client->notesApi()->setBaseUrl(m_server->url(QStringLiteral("/notes/v1")));
        m_client->tokenManager()->setTokens(tokenExpiringIn(3600), QStringLiteral("r-1"));
        m_notes = std::make_unique<NoteSharingService>(m_client->notesApi(), NoteSharingService::Note);
        m_server->route("GET", QStringLiteral("/api/v1/realms/test/users/me"), [](const HttpRequest &) {
            return HttpResponse::json(R"({"id":"me","email":"me@example.com","display_name":"Ana"})");
        });
        m_server->route("GET", QStringLiteral("/account/v1/group"),
                        [](const HttpRequest &) { return HttpResponse::json(GroupJson); });
    }

    void cleanup()
    {
        m_notes.reset();
        m_client.reset();
        m_server.reset();
    }

    // The picker offers the other members not shared with yet.
    void picker_data()
    {
        QTest::addColumn<QStringList>("sharedWith");
        QTest::addColumn<int>("groupStatus");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<bool>("canShare");
        QTest::addColumn<QStringList>("listed");

        QTest::newRow("nobody yet") << QStringList() << 200 << QStringList{"Bo (bo@example.com)"_str, "Cy (cy@example.com)"_str}
                                    << true << QStringList{"Not shared with anyone yet."_str};
        QTest::newRow("one shared") << QStringList{"a2"_str} << 200 << QStringList{"Cy (cy@example.com)"_str} << true
                                    << QStringList{"Bo (edit)"_str};
        QTest::newRow("all shared") << QStringList{"a2"_str, "a3"_str} << 200
                                    << QStringList{"All group members already added"_str} << false
                                    << QStringList{"Bo (edit)"_str, "Cy (edit)"_str};
        QTest::newRow("no group") << QStringList() << 404 << QStringList{"All group members already added"_str} << false
                                  << QStringList{"Not shared with anyone yet."_str};
    }

    void picker()
    {
        QFETCH(QStringList, sharedWith);
        QFETCH(int, groupStatus);
        QFETCH(QStringList, offered);
        QFETCH(bool, canShare);
        QFETCH(QStringList, listed);
        if (groupStatus != 200)
            m_server->route("GET", QStringLiteral("/account/v1/group"),
                            [=](const HttpRequest &) { return HttpResponse::json("{}", groupStatus); });
        m_server->route("GET", SharesPath, [=](const HttpRequest &) { return HttpResponse::json(sharesJson(sharedWith)); });

        auto dialog = open();
        QCOMPARE(texts(dialog->memberPicker()), QStringList{"Loading..."_str});
        QVERIFY(!dialog->shareButton()->isEnabled());
        waitUntilLoaded(*dialog);

        QCOMPARE(texts(dialog->memberPicker()), offered);
        QCOMPARE(dialog->shareButton()->isEnabled(), canShare);
        QCOMPARE(dialog->noGroupLabel()->isHidden(), groupStatus == 200);
        QCOMPARE(dialog->memberPicker()->isHidden(), groupStatus != 200);
        QCOMPARE(texts(dialog->shareList()), listed);
        // Only a real share can be selected for removal.
        dialog->shareList()->setCurrentRow(0);
        QCOMPARE(dialog->removeButton()->isEnabled(), !sharedWith.isEmpty());
    }

    void share_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("told");

        QTest::newRow("shared") << 201 << QByteArray("{}") << "";
        QTest::newRow("server says why") << 409 << QByteArray(R"({"error":"Cy has no seat"})")
                                         << "Share Failed: Cy has no seat";
    }

    void share()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, told);
        m_server->route("GET", SharesPath, [](const HttpRequest &) { return HttpResponse::json(sharesJson({"a2"_str})); });
        m_server->route("POST", SharesPath, [=](const HttpRequest &) { return HttpResponse::json(body, status); });
        auto dialog = open();
        QSignalSpy changed(dialog.get(), &ShareMembersDialog::sharingChanged);
        waitUntilLoaded(*dialog);

        dialog->shareButton()->click();
        QCOMPARE(dialog->shareButton()->text(), QStringLiteral("Sharing..."));
        QVERIFY(!dialog->shareButton()->isEnabled());
        QTRY_COMPARE(dialog->shareButton()->text(), QStringLiteral("Share"));

        QList<HttpRequest> posts;
        for (const HttpRequest &request : m_server->requests(SharesPath)) {
            if (request.method == "POST")
                posts << request;
        }
        QCOMPARE(posts.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(posts.first().body).object(),
                 (QJsonObject{{"account_id"_str, "a3"_str}, {"permission"_str, "edit"_str}}));
        QCOMPARE(m_log->told.join(QLatin1Char('\n')), told);
        QCOMPARE(changed.size(), told.isEmpty() ? 1 : 0);
        if (told.isEmpty()) // reloaded after the share
            QTRY_COMPARE(m_server->requests(QStringLiteral("/account/v1/group")).size(), 2);
    }

    void shareFailureWithoutText()
    {
        SilentBackend backend;
        auto dialog = open(&backend);
        waitUntilLoaded(*dialog);
        QCOMPARE(dialog->memberPicker()->currentText(), QStringLiteral("Bo (bo@example.com)"));
        dialog->shareButton()->click();
        QCOMPARE(m_log->told, QStringList{"Share Failed: Could not share with Bo."_str});
        QVERIFY(dialog->shareButton()->isEnabled());
    }

    void remove_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        QTest::addColumn<int>("changes");

        QTest::newRow("confirmed") << true << 204 << "" << 1;
        QTest::newRow("declined") << false << 204 << "" << 0;
        QTest::newRow("server refuses") << true << 403 << "Remove Failed: Could not remove share." << 0;
    }

    void remove()
    {
        QFETCH(bool, yes);
        QFETCH(int, status);
        QFETCH(QString, told);
        QFETCH(int, changes);
        const QString removePath = SharesPath + QStringLiteral("/a3");
        m_server->route("GET", SharesPath, [](const HttpRequest &) { return HttpResponse::json(sharesJson({"a2"_str, "a3"_str})); });
        m_server->route("DELETE", removePath, [=](const HttpRequest &) { return HttpResponse::json("{}", status); });
        auto dialog = open();
        QSignalSpy changed(dialog.get(), &ShareMembersDialog::sharingChanged);
        waitUntilLoaded(*dialog);
        QVERIFY(!dialog->removeButton()->isEnabled());
        dialog->shareList()->setCurrentRow(1);
        m_log->yes = yes;

        dialog->removeButton()->click();
        QCOMPARE(m_log->asked, QStringList{"Remove Share: Remove Cy's access to this item?"_str});
        if (yes) {
            QTRY_COMPARE(m_server->requests(removePath).size(), 1);
            QTRY_COMPARE(changed.size() + m_log->told.size(), 1);
        }
        QCOMPARE(changed.size(), changes);
        QCOMPARE(m_log->told.join(QLatin1Char('\n')), told);
        if (!yes) {
            // A reload sent after the click arrives; the removal never does.
            dialog->refreshAll();
            QTRY_COMPARE(m_server->requests(QStringLiteral("/account/v1/group")).size(), 2);
            QCOMPARE(m_server->requests(removePath).size(), 0);
        }
    }
};

LUMORA_TEST_MAIN(ShareMembersDialogTest)
#include "tst_sharemembersdialog.moc"
