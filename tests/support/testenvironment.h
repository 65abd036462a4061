#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace LumoraTest {

// Redirects everything a test could write outside the build tree (data
// directory, settings, caches) into one temporary folder for the life of the
// process. Created by LUMORA_TEST_MAIN before the application object.
class TestEnvironment
{
public:
    TestEnvironment();
    QString root() const { return m_root.path(); }

private:
    QTemporaryDir m_root;
};

// Points NOTES_DATA_DIR and QSettings at a fresh empty folder until
// destroyed, so each test function can start from nothing.
class ScopedDataDir
{
public:
    ScopedDataDir();
    ~ScopedDataDir();
    ScopedDataDir(const ScopedDataDir &) = delete;
    ScopedDataDir &operator=(const ScopedDataDir &) = delete;

    QString path() const { return m_dir.path(); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// The repository's top folder (for test data files).
QString sourceDir();

} // namespace LumoraTest
