#include "testenvironment.h"

#include <QDir>
#include <QStandardPaths>

namespace LumoraTest {

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
    // Tests start from an empty library; the welcome-note tests turn this off.
    qputenv("LUMORA_NO_WELCOME_NOTES", "1");
    QStandardPaths::setTestModeEnabled(true);
}

ScopedDataDir::ScopedDataDir()
    : m_previous(qgetenv("NOTES_DATA_DIR"))
{
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
}

ScopedDataDir::~ScopedDataDir()
{
    qputenv("NOTES_DATA_DIR", m_previous);
}

QString sourceDir()
{
    const QString fromEnv = qEnvironmentVariable("LUMORA_SOURCE_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(LUMORA_SOURCE_DIR_FALLBACK) : fromEnv;
}

} // namespace LumoraTest
