#include "preferencesrepository.h"

#include "database.h"

#include <QSqlQuery>

PreferencesRepository::PreferencesRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_db(database->db())
{
}

std::optional<QString> PreferencesRepository::value(const QString &key) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT value FROM preferences WHERE key = ?"));
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

QString PreferencesRepository::getString(const QString &key, const QString &defaultValue) const
{
    return value(key).value_or(defaultValue);
}

bool PreferencesRepository::getBool(const QString &key, bool defaultValue) const
{
    const std::optional<QString> v = value(key);
    if (!v)
        return defaultValue;
    return *v == QLatin1String("1") || *v == QLatin1String("true") || *v == QLatin1String("yes");
}

int PreferencesRepository::getInt(const QString &key, int defaultValue) const
{
    const std::optional<QString> v = value(key);
    if (!v)
        return defaultValue;
    bool ok = false;
    const int result = v->toInt(&ok, 10);
    return ok ? result : defaultValue;
}

void PreferencesRepository::setString(const QString &key, const QString &value)
{
    const std::optional<QString> current = this->value(key);
    if (current && *current == value)
        return;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO preferences (key, value) VALUES (?, ?) "
                             "ON CONFLICT(key) DO UPDATE SET value = excluded.value"));
    q.addBindValue(key);
    q.addBindValue(value);
    if (q.exec())
        Q_EMIT changed(key);
}

void PreferencesRepository::setBool(const QString &key, bool value)
{
    setString(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void PreferencesRepository::setInt(const QString &key, int value)
{
    setString(key, QString::number(value));
}

void PreferencesRepository::remove(const QString &key)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM preferences WHERE key = ?"));
    q.addBindValue(key);
    if (q.exec())
        Q_EMIT changed(key);
}
