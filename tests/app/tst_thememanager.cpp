#include "app/thememanager.h"
#include "document/textformats.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"

#include "testmain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <cmath>

namespace {

// WCAG 2 relative luminance and contrast ratio.
double luminance(const QColor &colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A stand-in for the desktop's settings portal on a private session bus.
class FakePortal : public QDBusVirtualObject
{
public:
    FakePortal(bool knowsReadOne, uint scheme)
        : m_knowsReadOne(knowsReadOne)
        , m_scheme(scheme)
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QDBusVariant value(m_scheme);
        if (message.member() == QLatin1String("ReadOne") && m_knowsReadOne)
            return connection.send(message.createReply(QVariant::fromValue(value)));
        if (message.member() == QLatin1String("Read"))
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)))));
        return connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
    }

    // Sent from another process, as the real portal would.
    static bool announce(uint scheme)
    {
        return QProcess::execute(QStringLiteral("dbus-send"),
                                 {QStringLiteral("--session"), QStringLiteral("--type=signal"),
                                  QStringLiteral("/org/freedesktop/portal/desktop"),
                                  QStringLiteral("org.freedesktop.portal.Settings.SettingChanged"),
                                  QStringLiteral("string:org.freedesktop.appearance"),
                                  QStringLiteral("string:color-scheme"), QStringLiteral("variant:uint32:%1").arg(scheme)})
            == 0;
    }

private:
    bool m_knowsReadOne;
    uint m_scheme;
};

} // namespace

class TestThemeManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setMode_data();
    void setMode();
    void linkContrast_data();
    void linkContrast();
    void portalColorScheme_data();
    void portalColorScheme();
    void followsSystemScheme_data();
    void followsSystemScheme();
    void followsPortal_data();
    void followsPortal();
};

void TestThemeManager::setMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<ThemeManager::Theme>("theme");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("window"); // empty: what the desktop said

    QTest::newRow("light") << "light" << ThemeManager::Theme::Light << "light" << "#fafafa";
    QTest::newRow("dark") << "dark" << ThemeManager::Theme::Dark << "dark" << "#1e1e1e";
    QTest::newRow("capital D is unknown") << "Dark" << ThemeManager::Theme::System << "system" << "";
}

void TestThemeManager::setMode()
{
    QFETCH(QString, mode);
    QFETCH(ThemeManager::Theme, theme);
    QFETCH(QString, stored);
    QFETCH(QString, window);

    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    PreferencesRepository prefs(&database);
    ThemeManager manager(&prefs);
    if (window.isEmpty())
        window = manager.systemPrefersDark() ? QStringLiteral("#1e1e1e") : QStringLiteral("#fafafa");
    // Start from the opposite palette so a missing install shows.
    QApplication::setPalette(window == QLatin1String("#1e1e1e") ? ThemeManager::lightPalette()
                                                                : ThemeManager::darkPalette());

    QSignalSpy changed(&manager, &ThemeManager::themeChanged);
    manager.setMode(mode);

    QCOMPARE(manager.theme(), theme);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(prefs.getString(QStringLiteral("theme_mode")), stored);
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), window);
}

void TestThemeManager::linkContrast_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

// Links must stay readable on the editor background, and the links the editor
// draws must use the palette's colour rather than one of their own.
void TestThemeManager::linkContrast()
{
    QFETCH(bool, dark);
    const QPalette palette = dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
    const QColor link = palette.color(QPalette::Link);
    const double ratio = contrast(link, palette.color(QPalette::Base));
    QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 on %2 is %3:1")
                                          .arg(link.name(), palette.color(QPalette::Base).name())
                                          .arg(ratio, 0, 'f', 2)));

    QApplication::setPalette(palette);
    const QTextCharFormat format
        = charFormatFromAttributes(QJsonObject{{QStringLiteral("link"), QStringLiteral("https://example.com")}});
    QCOMPARE(format.foreground().color().name(), link.name());
}

void TestThemeManager::portalColorScheme_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("dark");
    const auto once = [](const QVariant &v) { return QVariant::fromValue(QDBusVariant(v)); };
    const auto twice = [&once](const QVariant &v) { return once(once(v)); };
    QTest::newRow("ReadOne: prefer dark") << once(1u) << true;
    QTest::newRow("Read: prefer dark") << twice(1u) << true;
    QTest::newRow("signed integer 1") << once(1) << true;
    QTest::newRow("unknown value") << once(3u) << false;
    QTest::newRow("text instead of a number") << once(QStringLiteral("1")) << false;
    QTest::newRow("nested too deep") << once(once(once(twice(1u)))) << false;
}

void TestThemeManager::portalColorScheme()
{
    QFETCH(QVariant, value);
    QFETCH(bool, dark);
    QCOMPARE(ThemeManager::portalColorSchemeIsDark(value), dark);
}

void TestThemeManager::followsSystemScheme_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("follows");
    QTest::newRow("system") << QStringLiteral("system") << true;
    QTest::newRow("dark") << QStringLiteral("dark") << false;
}

void TestThemeManager::followsSystemScheme()
{
    QFETCH(QString, mode);
    QFETCH(bool, follows);

    LumoraTest::ScopedDataDir dir;
    Database database;
    QVERIFY(database.open(databasePath()) && database.migrate());
    PreferencesRepository prefs(&database);
    ThemeManager manager(&prefs);
    manager.setSystemPrefersDark(false);
    manager.setMode(mode);
    const QString before = QApplication::palette().color(QPalette::Window).name();

    QSignalSpy themeChanged(&manager, &ThemeManager::themeChanged);
    QSignalSpy stored(&prefs, &PreferencesRepository::changed);
    for (const bool dark : {true, false}) {
        manager.setSystemPrefersDark(dark);
        QCOMPARE(manager.systemPrefersDark(), dark);
        const QString window = QApplication::palette().color(QPalette::Window).name();
        QCOMPARE(window, follows ? (dark ? QStringLiteral("#1e1e1e") : QStringLiteral("#fafafa")) : before);
    }
    QCOMPARE(themeChanged.count(), follows ? 2 : 0);
    // The same report again changes nothing.
    manager.setSystemPrefersDark(false);
    QCOMPARE(themeChanged.count(), follows ? 2 : 0);
    // The desktop's choice is not the user's: nothing is written.
    QCOMPARE(stored.count(), 0);
}

void TestThemeManager::followsPortal_data()
{
    QTest::addColumn<bool>("knowsReadOne");
    QTest::newRow("portal with ReadOne") << true;
    QTest::newRow("older portal, Read only") << false;
}

// End to end over D-Bus; ctest runs this under its own session bus when
// dbus-run-session is installed.
void TestThemeManager::followsPortal()
{
    QFETCH(bool, knowsReadOne);
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        // Run by CTest with a bus of its own, a missing bus is a broken set-up.
        QVERIFY(qEnvironmentVariableIsEmpty("LUMORA_OWN_SESSION_BUS"));
        QSKIP("no session bus");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-send")).isEmpty())
        QSKIP("dbus-send is not installed");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        QSKIP("the settings portal's name is not free on this bus");
    FakePortal portal(knowsReadOne, 1);
    QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal));

    QApplication::setPalette(ThemeManager::lightPalette());
    ThemeManager manager(nullptr);
    manager.setMode(QStringLiteral("system"));
    QSignalSpy themeChanged(&manager, &ThemeManager::themeChanged);
    QTRY_VERIFY(manager.systemPrefersDark());
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), QStringLiteral("#1e1e1e"));
    QCOMPARE(themeChanged.count(), 1);

    QVERIFY(FakePortal::announce(2));
    QTRY_VERIFY(!manager.systemPrefersDark());
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), QStringLiteral("#fafafa"));

    bus.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

LUMORA_TEST_MAIN(TestThemeManager)
#include "tst_thememanager.moc"
