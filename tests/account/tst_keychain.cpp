#include "secretservicetokenstore.h"
#include "testmain.h"
#include "tokenmanager.h"

#include <QDirIterator>

using BrioAccount::SecretServiceTokenStore;

namespace {

const QString AppId = QStringLiteral("app.lumora.notes.keychaintest");

QString keyringMode()
{
    return qEnvironmentVariable("LUMORA_TEST_KEYRING");
}

// Every readable file below dir that holds needle.
QStringList filesContaining(const QString &dir, const QByteArray &needle)
{
    QStringList found;
    QDirIterator files(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            found << file.fileName();
    }
    return found;
}

} // namespace

class KeychainTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("non-ASCII") << QStringLiteral("t\u00f6k\u00e9n \u2713 unique-2");
        QTest::newRow("long") << QString(6000, QLatin1Char('x')) + QStringLiteral("unique-3");
    }

    void roundTrip()
    {
        if (keyringMode() == QLatin1String("failed"))
            QSKIP("gnome-keyring-daemon could not start an unlocked keyring in this session.");
        if (keyringMode() == QLatin1String("locked"))
            QSKIP("This run checks a locked keyring; the round trip runs with the unlocked one.");
        if (keyringMode() != QLatin1String("unlocked"))
            QSKIP("No unlocked test keyring: run through run-with-keyring.sh with dbus-run-session and "
                  "gnome-keyring-daemon installed.");
        QFETCH(QString, value);
        {
            SecretServiceTokenStore store(AppId);
            QVERIFY(store.save(QStringLiteral("lumora_refresh_token"), value));
            QVERIFY2(!store.hasFailed(), "the keyring refused the token");
        }
        // A new store object, as at the next start.
        SecretServiceTokenStore store(AppId);
        QCOMPARE(store.load(QStringLiteral("lumora_refresh_token")), std::optional<QString>(value));
        QCOMPARE(store.load(QStringLiteral("lumora_access_token")), std::nullopt);
        QVERIFY(!store.hasFailed());

        // The keyring keeps it encrypted; no plain copy lands anywhere.
        const QByteArray needle = value.toUtf8();
        QCOMPARE(filesContaining(qEnvironmentVariable("LUMORA_KEYRING_HOME"), needle), QStringList());
        QCOMPARE(filesContaining(QFileInfo(qEnvironmentVariable("NOTES_DATA_DIR")).path(), needle), QStringList());

        store.clear();
        QCOMPARE(store.load(QStringLiteral("lumora_refresh_token")), std::nullopt);
        QVERIFY(!store.hasFailed());
    }

    void tokenManagerKeepsTokensAcrossRuns()
    {
        if (keyringMode() != QLatin1String("unlocked"))
            QSKIP("No unlocked test keyring: run through run-with-keyring.sh.");
        {
            BrioAccount::TokenManager tokens(new SecretServiceTokenStore(AppId));
            tokens.setTokens(QStringLiteral("access-1"), QStringLiteral("refresh-1"));
        }
        BrioAccount::TokenManager tokens(new SecretServiceTokenStore(AppId));
        tokens.loadTokens();
        QCOMPARE(tokens.accessToken(), QStringLiteral("access-1"));
        QCOMPARE(tokens.refreshToken(), QStringLiteral("refresh-1"));
        tokens.clearTokens();
        BrioAccount::TokenManager after(new SecretServiceTokenStore(AppId));
        after.loadTokens();
        QCOMPARE(after.refreshToken(), QString());
    }

    // No Secret Service, or one that never answers: every call comes back,
    // the user hears of it once, and the tokens live on in memory.
    void unavailableKeyring()
    {
        if (keyringMode() == QLatin1String("unlocked"))
            QSKIP("The keyring works here; the failure runs without one or with a locked one.");
        auto *store = new SecretServiceTokenStore(AppId, 500);
        QStringList told;
        store->setUnavailableHandler([&](const QString &message) { told << message; });
        BrioAccount::TokenManager tokens(store);
        tokens.loadTokens();
        // Nothing to keep yet: a failure goes to the log, the user is not bothered.
        QCOMPARE(told.size(), 0);
        tokens.setTokens(QStringLiteral("access-2"), QStringLiteral("refresh-2"));
        tokens.clearTokens();
        tokens.setTokens(QStringLiteral("access-3"), QStringLiteral("refresh-3"));

        QVERIFY(store->hasFailed());
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.constFirst().contains(QStringLiteral("until you quit")), qPrintable(told.constFirst()));
        QCOMPARE(tokens.refreshToken(), QStringLiteral("refresh-3"));
        QVERIFY(!store->save(QStringLiteral("k"), QStringLiteral("v")));
        QCOMPARE(store->load(QStringLiteral("k")), std::nullopt);
    }
};

LUMORA_TEST_MAIN(KeychainTest)
#include "tst_keychain.moc"
