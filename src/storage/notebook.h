#pragma once

#include "note.h"

#include <QDateTime>
#include <QString>

#include <optional>

// One row of the notebooks table.
struct Notebook
{
    QString id;
    QString name;
    bool isDefault = false;
    bool isShared = false;
    QString ownerId;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> deletedAt;
    qint32 version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;
};
