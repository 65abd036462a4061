#pragma once

#include <QLoggingCategory>
#include <QNetworkRequest>

namespace BrioUpdate {

Q_DECLARE_LOGGING_CATEGORY(lcClient)

// Every request of the library carries the same User-Agent and redirect policy.
QNetworkRequest makeRequest(const QUrl &url, const QString &app, int transferTimeoutMs);

} // namespace BrioUpdate
