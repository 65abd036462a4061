#pragma once

#include <QString>

// Locations inside the per-user data directory. Each call resolves afresh so
// that a changed NOTES_DATA_DIR (tests) takes effect at once.
QString dataDirectory();
QString attachmentsDirectory();
QString clientId();
QString databasePath();
