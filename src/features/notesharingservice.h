#pragma once

#include "account/sharingbackend.h"

namespace BrioAccount {
class ApiClient;
}

// Shares notes or notebooks through the notes server.
class NoteSharingService : public BrioAccount::SharingBackend
{
    Q_OBJECT
public:
    enum Kind { Note = 0, Notebook = 1 };

    // api: the notes API client; not owned.
    NoteSharingService(BrioAccount::ApiClient *api, Kind kind, QObject *parent = nullptr);

    Kind kind() const { return m_kind; }

    void listMembers(const QString &itemId, ListCallback callback) override;
    void shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                   ShareCallback callback) override;
    void removeShare(const QString &itemId, const QString &accountId, RemoveCallback callback) override;

    QString listPath(const QString &itemId) const;
    QString sharePath(const QString &itemId) const;
    QString removePath(const QString &itemId, const QString &accountId) const;

private:
    BrioAccount::ApiClient *m_api = nullptr;
    Kind m_kind;
};
