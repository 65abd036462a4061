#include "app/thememanager.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"

#include "testmain.h"

#include <QSignalSpy>

class TestThemeManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setMode_data();
    void setMode();
    void worksWithoutPreferences();
    void paletteKeepsOtherRoles();
};

void TestThemeManager::setMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<ThemeManager::Theme>("theme");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("disabledText");

    const QString light = QStringLiteral("#fafafa"), dark = QStringLiteral("#1e1e1e");
    const QString lightDisabled = QStringLiteral("#9e9e9e"), darkDisabled = QStringLiteral("#555555");
    // Qt 6.4 reports no colour scheme, so System shows the light palette there.
    const bool sysDark = ThemeManager::systemPrefersDark();
    const QString sysWindow = sysDark ? dark : light, sysDisabled = sysDark ? darkDisabled : lightDisabled;
    QTest::newRow("light") << QStringLiteral("light") << ThemeManager::Theme::Light << QStringLiteral("light")
                           << light << lightDisabled;
    QTest::newRow("dark") << QStringLiteral("dark") << ThemeManager::Theme::Dark << QStringLiteral("dark") << dark
                          << darkDisabled;
    QTest::newRow("system") << QStringLiteral("system") << ThemeManager::Theme::System << QStringLiteral("system")
                            << sysWindow << sysDisabled;
    QTest::newRow("capital D is unknown") << QStringLiteral("Dark") << ThemeManager::Theme::System
                                          << QStringLiteral("system") << sysWindow << sysDisabled;
}

void TestThemeManager::setMode()
{
    QFETCH(QString, mode);
    QFETCH(ThemeManager::Theme, theme);
    QFETCH(QString, stored);
    QFETCH(QString, window);
    QFETCH(QString, disabledText);

    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    PreferencesRepository prefs(&database);
    // Start from the opposite palette so a missing install shows.
    QApplication::setPalette(window == QLatin1String("#1e1e1e") ? ThemeManager::lightPalette()
                                                                : ThemeManager::darkPalette());

    ThemeManager manager(&prefs);
    QSignalSpy changed(&manager, &ThemeManager::themeChanged);
    manager.setMode(mode);

    QCOMPARE(manager.theme(), theme);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<ThemeManager::Theme>(), theme);
    QCOMPARE(prefs.getString(QStringLiteral("theme_mode")), stored);
    const QPalette palette = QApplication::palette();
    QCOMPARE(palette.color(QPalette::Active, QPalette::Window).name(), window);
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Window).name(), window);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text).name(), disabledText);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::WindowText).name(), disabledText);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText).name(), disabledText);
}

void TestThemeManager::worksWithoutPreferences()
{
    ThemeManager manager(nullptr);
    manager.setMode(QStringLiteral("dark"));
    QCOMPARE(manager.theme(), ThemeManager::Theme::Dark);
    QCOMPARE(QApplication::palette().color(QPalette::Highlight).name(), QStringLiteral("#42a5f5"));
}

void TestThemeManager::paletteKeepsOtherRoles()
{
    const QPalette defaults;
    const QPalette dark = ThemeManager::darkPalette();
    QCOMPARE(dark.color(QPalette::Link), defaults.color(QPalette::Link));
    QCOMPARE(dark.color(QPalette::Shadow), defaults.color(QPalette::Shadow));
    QCOMPARE(dark.color(QPalette::Disabled, QPalette::Base).name(), QStringLiteral("#252525"));
    const QPalette light = ThemeManager::lightPalette();
    QCOMPARE(light.color(QPalette::AlternateBase).name(), QStringLiteral("#f5f7fa"));
    QCOMPARE(light.color(QPalette::PlaceholderText).name(), QStringLiteral("#78909c"));
    QCOMPARE(light.color(QPalette::Dark).name(), QStringLiteral("#b0bec5"));
}

LUMORA_TEST_MAIN(TestThemeManager)
#include "tst_thememanager.moc"
