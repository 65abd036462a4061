#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

class Database : public QObject
{
    Q_OBJECT

public:
    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    bool open(const QString &path);
    bool migrate();

    QSqlDatabase db() const { return m_db; }
    QString connectionName() const { return m_connectionName; }

    static constexpr int SchemaVersion = 3;

Q_SIGNALS:
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);

private:
    bool createInitialSchema();
    bool migrateToV2();
    bool migrateToV3();
    bool storeVersion(int version);

    QSqlDatabase m_db;
    QString m_connectionName;
};
