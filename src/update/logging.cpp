#include "logging.h"

namespace BrioUpdate {

Q_LOGGING_CATEGORY(lcClient, "brioupdate.client")

QNetworkRequest makeRequest(const QUrl &url, const QString &app, int transferTimeoutMs)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("BrioUpdateQt/0.1 (%1)").arg(app));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    return request;
}

} // namespace BrioUpdate
