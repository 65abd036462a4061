#pragma once

#include <QString>
#include <QUrl>

namespace BrioUpdate {

// One release channel of one application.
struct Config
{
    QString app; // "notes"; also the %1 of the User-Agent
    QString channel; // "stable"
    QUrl manifestBaseUrl; // the channel folder that holds latest.json
    QString currentVersion; // the running version, e.g. "1.0.2"
    // A stalled server must not leave a check in flight for ever.
    int transferTimeoutMs = 30000;
};

struct FeedbackConfig
{
    QString app;
    QUrl siteUrl; // an https origin
};

} // namespace BrioUpdate
