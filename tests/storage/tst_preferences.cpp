#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"

#include "testmain.h"

#include <QSignalSpy>
#include <QSqlQuery>

#include <memory>

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void booleanReading_data();
    void booleanReading();
    void integerReading_data();
    void integerReading();
    void writesAreIdempotent();
    void removeEmitsEvenWithoutRow();

private:
    void storeRaw(const QString &key, const QString &value);

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<PreferencesRepository> m_prefs;
};

void TestPreferences::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    m_prefs = std::make_unique<PreferencesRepository>(m_database.get());
}

void TestPreferences::cleanup()
{
    m_prefs.reset();
    m_database.reset();
    m_dir.reset();
}

void TestPreferences::storeRaw(const QString &key, const QString &value)
{
    QSqlQuery q(m_database->db());
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO preferences (key, value) VALUES (?, ?)"));
    q.addBindValue(key);
    q.addBindValue(value);
    QVERIFY(q.exec());
}

void TestPreferences::booleanReading_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");

    QTest::newRow("absent, default true") << false << QString() << true << true;
    QTest::newRow("1") << true << QStringLiteral("1") << false << true;
    QTest::newRow("yes") << true << QStringLiteral("yes") << false << true;
    QTest::newRow("TRUE is case-sensitive") << true << QStringLiteral("TRUE") << true << false;
    QTest::newRow("padded 1") << true << QStringLiteral(" 1") << true << false;
}

void TestPreferences::booleanReading()
{
    QFETCH(bool, present);
    QFETCH(QString, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    if (present)
        storeRaw(QStringLiteral("flag"), stored);
    QCOMPARE(m_prefs->getBool(QStringLiteral("flag"), defaultValue), expected);
}

void TestPreferences::integerReading_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");

    QTest::newRow("absent") << false << QString() << 12;
    QTest::newRow("decimal") << true << QStringLiteral("14") << 14;
    QTest::newRow("not a number") << true << QStringLiteral("large") << 12;
    QTest::newRow("fraction") << true << QStringLiteral("12.5") << 12;
}

void TestPreferences::integerReading()
{
    QFETCH(bool, present);
    QFETCH(QString, stored);
    QFETCH(int, expected);
    if (present)
        storeRaw(QStringLiteral("editor_body_pt"), stored);
    QCOMPARE(m_prefs->getInt(QStringLiteral("editor_body_pt"), 12), expected);
}

void TestPreferences::writesAreIdempotent()
{
    QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
    m_prefs->setBool(QStringLiteral("auto_sync"), true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("auto_sync"));
    m_prefs->setBool(QStringLiteral("auto_sync"), true);
    m_prefs->setString(QStringLiteral("auto_sync"), QStringLiteral("1"));
    QCOMPARE(changed.count(), 1);
    m_prefs->setBool(QStringLiteral("auto_sync"), false);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_prefs->value(QStringLiteral("auto_sync")), std::optional<QString>(QStringLiteral("0")));

    // An empty text is a stored value, distinct from no value.
    m_prefs->setString(QStringLiteral("last_whats_new_version"), QString());
    QCOMPARE(changed.count(), 3);
    QVERIFY(m_prefs->value(QStringLiteral("last_whats_new_version")).has_value());
    m_prefs->setString(QStringLiteral("last_whats_new_version"), QString());
    QCOMPARE(changed.count(), 3);
}

void TestPreferences::removeEmitsEvenWithoutRow()
{
    QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
    m_prefs->remove(QStringLiteral("never_set"));
    QCOMPARE(changed.count(), 1);
    m_prefs->setString(QStringLiteral("k"), QStringLiteral("v"));
    m_prefs->remove(QStringLiteral("k"));
    QVERIFY(!m_prefs->value(QStringLiteral("k")));
    QCOMPARE(m_prefs->getString(QStringLiteral("k"), QStringLiteral("fallback")), QStringLiteral("fallback"));
}

LUMORA_TEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
