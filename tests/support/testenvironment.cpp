#include "testenvironment.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace LumoraTest {

namespace {
// QStandardPaths' test mode would put QSettings under ~/.qttest, where it
// outlives the run and leaks window state from one test into the next.
QString s_settingsRoot;

void setSettingsDir(const QString &dir)
{
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, dir);
        QSettings::setPath(format, QSettings::SystemScope, dir + QStringLiteral("/system"));
    }
}
} // namespace

TestEnvironment::TestEnvironment()
{
    const QString base = m_root.path();
    const QStringList names{QStringLiteral("data"), QStringLiteral("config"), QStringLiteral("share"),
                            QStringLiteral("cache"), QStringLiteral("runtime")};
    for (const QString &name : names)
        QDir().mkpath(base + QLatin1Char('/') + name);
    QDir(base + QStringLiteral("/runtime")).removeRecursively();
    QDir().mkpath(base + QStringLiteral("/runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    qputenv("NOTES_DATA_DIR", (base + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (base + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (base + QStringLiteral("/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (base + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toUtf8());
    // The local socket name of the single-instance guard lives in TMPDIR on
    // Unix; a private one keeps parallel test runs apart.
    qputenv("TMPDIR", (base + QStringLiteral("/runtime")).toUtf8());
    // Update checks of the program under test (and of programs it launches)
    // go to a closed local port, never to the internet.
    qputenv("LUMORA_UPDATE_URL", "http://127.0.0.1:9/notes/stable/");
    // The same for the account and notes servers.
    qputenv("AUTH_BASE_URL", "http://127.0.0.1:9");
    qputenv("ACCOUNT_API_URL", "http://127.0.0.1:9/account/v1");
    qputenv("ACCOUNT_PORTAL_URL", "http://127.0.0.1:9/portal");
    qputenv("SYNC_API_URL", "http://127.0.0.1:9/notes/v1");
    // Tests start from an empty library; the welcome-note tests turn this off.
    qputenv("LUMORA_NO_WELCOME_NOTES", "1");
    // The desktop's keyring holds the user's secrets: only tests that bring a
    // session bus of their own (the keyring and settings portal tests) may
    // reach D-Bus.
    if (qEnvironmentVariableIsEmpty("LUMORA_TEST_KEYRING") && qEnvironmentVariableIsEmpty("LUMORA_OWN_SESSION_BUS"))
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QStandardPaths::setTestModeEnabled(true);
    s_settingsRoot = base + QStringLiteral("/config");
    setSettingsDir(s_settingsRoot);
}

ScopedDataDir::ScopedDataDir()
    : m_previous(qgetenv("NOTES_DATA_DIR"))
{
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
    // Each test function starts from default window state, too.
    setSettingsDir(m_dir.path() + QStringLiteral("/config"));
}

ScopedDataDir::~ScopedDataDir()
{
    qputenv("NOTES_DATA_DIR", m_previous);
    setSettingsDir(s_settingsRoot);
}

QString sourceDir()
{
    const QString fromEnv = qEnvironmentVariable("LUMORA_SOURCE_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(LUMORA_SOURCE_DIR_FALLBACK) : fromEnv;
}

} // namespace LumoraTest
