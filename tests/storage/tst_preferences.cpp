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
    void reading_data();
    void reading();
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

void TestPreferences::reading_data()
{
    QTest::addColumn<QString>("stored"); // null: no row
    QTest::addColumn<QVariant>("fallback"); // its type picks getBool or getInt
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("bool absent") << QString() << QVariant(true) << QVariant(true);
    QTest::newRow("bool 1") << QStringLiteral("1") << QVariant(false) << QVariant(true);
    QTest::newRow("bool yes") << QStringLiteral("yes") << QVariant(false) << QVariant(true);
    QTest::newRow("bool TRUE is case-sensitive") << QStringLiteral("TRUE") << QVariant(true) << QVariant(false);
    QTest::newRow("bool padded 1") << QStringLiteral(" 1") << QVariant(true) << QVariant(false);
    QTest::newRow("int absent") << QString() << QVariant(12) << QVariant(12);
    QTest::newRow("int decimal") << QStringLiteral("14") << QVariant(12) << QVariant(14);
    QTest::newRow("int not a number") << QStringLiteral("large") << QVariant(12) << QVariant(12);
    QTest::newRow("int fraction") << QStringLiteral("12.5") << QVariant(12) << QVariant(12);
}

void TestPreferences::reading()
{
    QFETCH(QString, stored);
    QFETCH(QVariant, fallback);
    QFETCH(QVariant, expected);
    if (!stored.isNull())
        storeRaw(QStringLiteral("k"), stored);
    if (fallback.typeId() == QMetaType::Bool)
        QCOMPARE(QVariant(m_prefs->getBool(QStringLiteral("k"), fallback.toBool())), expected);
    else
        QCOMPARE(QVariant(m_prefs->getInt(QStringLiteral("k"), fallback.toInt())), expected);
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
