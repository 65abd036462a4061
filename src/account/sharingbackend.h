#pragma once

#include "records.h"

#include <QObject>

#include <functional>

namespace BrioAccount {

// Shares one kind of item (notes, or notebooks) with members of the user's
// group. The share dialog works against this interface only.
class SharingBackend : public QObject
{
    Q_OBJECT
public:
    using ListCallback = std::function<void(const QList<ShareMember> &)>;
    using ShareCallback = std::function<void(bool ok, const QString &error)>;
    using RemoveCallback = std::function<void(bool ok)>;

    using QObject::QObject;

    // The current shares; an empty list when the request fails.
    virtual void listMembers(const QString &itemId, ListCallback callback) = 0;
    // permission "view" gives view rights; anything else gives edit rights.
    virtual void shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                           ShareCallback callback) = 0;
    virtual void removeShare(const QString &itemId, const QString &accountId, RemoveCallback callback) = 0;
};

} // namespace BrioAccount
