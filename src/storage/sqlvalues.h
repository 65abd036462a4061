#pragma once

#include "database.h"
#include "note.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>

// How record fields are bound: empty optional texts and absent times as SQL
// NULL, and never a NULL where a NOT NULL text column expects ''.
inline QVariant nullableText(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

inline QVariant nullableTimestamp(const std::optional<QDateTime> &dateTime)
{
    return dateTime ? QVariant(toStoredTimestamp(*dateTime)) : QVariant(QMetaType(QMetaType::QString));
}

inline QString notNull(const QString &text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Prepares sql, binds the values positionally and runs it; false when either
// step fails, with the error left on the query.
// A failure that means a damaged file is reported to the database, which
// then refuses further writes and tells the user.
inline bool runPrepared(QSqlQuery &query, const QString &sql, const QVariantList &binds)
{
    bool ok = query.prepare(sql);
    if (ok) {
        for (const QVariant &value : binds)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (!ok)
        Database::reportQueryError(query);
    return ok;
}

// The same for a statement without binds.
inline bool runStatement(QSqlQuery &query, const QString &sql)
{
    if (query.exec(sql))
        return true;
    Database::reportQueryError(query);
    return false;
}

// Writes that belong together: a savepoint rather than a transaction, so that
// a caller's own transaction (bulk imports, restores) encloses it. Rolled back
// unless committed.
class SavepointScope
{
public:
    SavepointScope(const QSqlDatabase &db, const char *name)
        : m_query(db)
        , m_name(QLatin1String(name))
    {
        m_open = m_query.exec(QLatin1String("SAVEPOINT ") + m_name);
    }
    ~SavepointScope()
    {
        if (m_open) {
            m_query.exec(QLatin1String("ROLLBACK TO ") + m_name);
            m_query.exec(QLatin1String("RELEASE ") + m_name);
        }
    }
    SavepointScope(const SavepointScope &) = delete;
    SavepointScope &operator=(const SavepointScope &) = delete;

    bool isOpen() const { return m_open; }
    bool commit()
    {
        m_open = !m_query.exec(QLatin1String("RELEASE ") + m_name);
        return !m_open;
    }

private:
    QSqlQuery m_query;
    QString m_name;
    bool m_open = false;
};
