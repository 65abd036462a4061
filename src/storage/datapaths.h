#pragma once

#include <QString>

#include <functional>

// Locations inside the per-user data directory. Each call resolves afresh so
// that a changed NOTES_DATA_DIR (tests) takes effect at once.
QString dataDirectory();
QString attachmentsDirectory();
QString clientId();
QString databasePath();

// The data directory without creating it: NOTES_DATA_DIR when set, otherwise
// the platform location.
QString configuredDataDirectory();
// The platform location used when NOTES_DATA_DIR is not set.
QString defaultDataDirectory();

// Whether a folder accepts new files; replaceable so that tests running as
// root (who may write anywhere) can still exercise the refusal.
using WritableProbe = std::function<bool(const QString &dir)>;

// False, with a message naming the folder, when the data directory is a file,
// does not exist (could not be created) or is not writable. Reads only.
bool checkDataDirectory(const QString &dir, QString *error, const WritableProbe &isWritable = {});
