#pragma once

#include "notebook.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>

#include <optional>

class Database;

// Notebooks are optional folders; deleting one only marks it, so that the
// deletion can be synchronised.
class NotebookRepository : public QObject
{
    Q_OBJECT

public:
    explicit NotebookRepository(Database *database, QObject *parent = nullptr);

    QList<Notebook> all() const;
    std::optional<Notebook> byId(const QString &id) const;
    QList<Notebook> pending() const;

    bool insert(const Notebook &notebook);
    bool update(const Notebook &notebook);
    bool moveToTrash(const QString &id);

Q_SIGNALS:
    void notebooksChanged();

private:
    QList<Notebook> select(const QString &sql, const QVariantList &binds = {}) const;
    bool write(const QString &sql, const QVariantList &binds, const char *failureLog);

    QSqlDatabase m_db;
};
