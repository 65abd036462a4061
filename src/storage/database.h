#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

class QSqlError;
class QSqlQuery;
class QThread;

class Database : public QObject
{
    Q_OBJECT

public:
    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    // Opens and checks the file before anything is written to it: a foreign
    // file, a damaged one or one from a newer program fails with a message
    // naming the path in *error and leaves the file as it was.
    bool open(const QString &path, QString *error = nullptr);
    bool migrate(QString *error = nullptr);

    // The full page-by-page check is too slow for start-up at 100k notes
    // (about 0.5 s), so it runs on a read-only connection of its own in a
    // worker thread; damage found there goes the way of reportError().
    void startIntegrityCheck();
    bool isIntegrityCheckRunning() const { return m_checkThread != nullptr; }

    // Statements that fail should pass their error here: corruption then
    // stops all further writes (they would spread the damage) and is
    // announced once through corruptionDetected.
    void reportError(const QSqlError &error);
    bool isCorrupt() const { return m_corrupt; }

    // The same for code that holds only the failed query: the error goes to
    // the Database whose connection ran it.
    static void reportQueryError(const QSqlQuery &query);

    // SQLITE_CORRUPT or SQLITE_NOTADB, whatever the extended code.
    static bool isCorruptionError(const QSqlError &error);

    // Long writers (imports, restores) commit in parts and call this between
    // them: a write of another connection of this program that is waiting for
    // the lock gets it first. Returns at once when none waits; waits half a
    // second at most.
    static void letWaitingWritersIn();

    QSqlDatabase db() const { return m_db; }
    QString connectionName() const { return m_connectionName; }
    QString path() const { return m_path; }

    static constexpr int SchemaVersion = 3;

Q_SIGNALS:
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);
    // The database turned out damaged after it was opened; the text names
    // the file and says that changes are no longer saved.
    void corruptionDetected(const QString &message);

private:
    bool createInitialSchema();
    bool migrateToV2();
    bool migrateToV3();
    bool storeVersion(int version);
    bool checkOpenedFile(QString *error);
    void markCorrupt(const QString &detail);

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_path;
    bool m_corrupt = false;
    QThread *m_checkThread = nullptr;
};
