#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <optional>

class Database;

// Text key/value settings kept in the database so they travel with the data
// directory. Writes of an unchanged value do nothing.
class PreferencesRepository : public QObject
{
    Q_OBJECT

public:
    explicit PreferencesRepository(Database *database, QObject *parent = nullptr);

    std::optional<QString> value(const QString &key) const;
    QString getString(const QString &key, const QString &defaultValue = QString()) const;
    bool getBool(const QString &key, bool defaultValue) const;
    int getInt(const QString &key, int defaultValue) const;

    void setString(const QString &key, const QString &value);
    void setBool(const QString &key, bool value);
    void setInt(const QString &key, int value);
    void remove(const QString &key);

Q_SIGNALS:
    void changed(const QString &key);

private:
    QSqlDatabase m_db;
};
