#include "notesharingservice.h"

#include "account/apiclient.h"

NoteSharingService::NoteSharingService(BrioAccount::ApiClient *api, Kind kind, QObject *parent)
    : BrioAccount::SharingBackend(parent)
    , m_api(api)
    , m_kind(kind)
{
}

// The notebook routes differ in number: one share is added at ".../share",
// and listed or removed under ".../shares".
QString NoteSharingService::listPath(const QString &itemId) const
{
    return (m_kind == Note ? QStringLiteral("/shares/notes/%1") : QStringLiteral("/notebooks/%1/shares")).arg(itemId);
}

QString NoteSharingService::sharePath(const QString &itemId) const
{
    return (m_kind == Note ? QStringLiteral("/shares/notes/%1") : QStringLiteral("/notebooks/%1/share")).arg(itemId);
}

QString NoteSharingService::removePath(const QString &itemId, const QString &accountId) const
{
    return listPath(itemId) + QLatin1Char('/') + accountId;
}

void NoteSharingService::listMembers(const QString &itemId, ListCallback callback)
{
    m_api->get(listPath(itemId), [callback](bool ok, int, const QJsonObject &body) {
        callback(ok ? BrioAccount::recordsFromArray<BrioAccount::ShareMember>(body, QStringLiteral("shares"))
                    : QList<BrioAccount::ShareMember>());
    });
}

void NoteSharingService::shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                                   ShareCallback callback)
{
    const QJsonObject body{{QStringLiteral("account_id"), accountId},
                           {QStringLiteral("permission"),
                            permission == QLatin1String("view") ? QStringLiteral("view") : QStringLiteral("edit")}};
    m_api->post(sharePath(itemId), body, [callback](bool ok, int status, const QJsonObject &answer) {
        if (ok) {
            callback(true, QString());
            return;
        }
        QString error = answer.value(QLatin1String("error")).toString();
        if (error.isEmpty())
            error = tr("Share failed (HTTP %1)").arg(status);
        callback(false, error);
    });
}

void NoteSharingService::removeShare(const QString &itemId, const QString &accountId, RemoveCallback callback)
{
    m_api->deleteResource(removePath(itemId, accountId),
                          [callback](bool ok, int, const QJsonObject &) { callback(ok); });
}
