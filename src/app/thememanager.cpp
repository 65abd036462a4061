#include "thememanager.h"

#include "document/textformats.h"
#include "storage/preferencesrepository.h"

#include <QApplication>
#include <QStyleHints>

#if defined(Q_OS_LINUX)
#include <QDBusVariant>
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#endif
#endif
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
#include <QSettings>
#endif

namespace {

struct PaletteColours
{
    const char *window, *windowText, *base, *alternateBase, *text, *button, *buttonText, *highlight,
        *highlightedText, *toolTipBase, *toolTipText, *placeholderText, *mid, *light, *dark, *disabledText;
};

QPalette buildPalette(const PaletteColours &c)
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, const char *hex) {
        p.setColor(role, QColor(QLatin1String(hex)));
    };
    set(QPalette::Window, c.window);
    set(QPalette::WindowText, c.windowText);
    set(QPalette::Base, c.base);
    set(QPalette::AlternateBase, c.alternateBase);
    set(QPalette::Text, c.text);
    set(QPalette::Button, c.button);
    set(QPalette::ButtonText, c.buttonText);
    set(QPalette::Highlight, c.highlight);
    set(QPalette::HighlightedText, c.highlightedText);
    set(QPalette::ToolTipBase, c.toolTipBase);
    set(QPalette::ToolTipText, c.toolTipText);
    set(QPalette::PlaceholderText, c.placeholderText);
    set(QPalette::Mid, c.mid);
    set(QPalette::Light, c.light);
    set(QPalette::Dark, c.dark);
    const QColor disabled{QLatin1String(c.disabledText)};
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    const bool dark = isDarkPalette(p);
    p.setColor(QPalette::Link, linkColor(dark));
    p.setColor(QPalette::LinkVisited, visitedLinkColor(dark));
    return p;
}

#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
QString portalService()
{
    return QStringLiteral("org.freedesktop.portal.Desktop");
}

QString portalPath()
{
    return QStringLiteral("/org/freedesktop/portal/desktop");
}

QString portalSettingsInterface()
{
    return QStringLiteral("org.freedesktop.portal.Settings");
}

QString appearanceNamespace()
{
    return QStringLiteral("org.freedesktop.appearance");
}

QString colorSchemeKey()
{
    return QStringLiteral("color-scheme");
}
#endif

} // namespace

ThemeManager::ThemeManager(PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
    watchSystemScheme();
}

QString ThemeManager::themeToText(Theme theme)
{
    switch (theme) {
    case Theme::Light:
        return QStringLiteral("light");
    case Theme::Dark:
        return QStringLiteral("dark");
    case Theme::System:
        break;
    }
    return QStringLiteral("system");
}

ThemeManager::Theme ThemeManager::themeFromText(const QString &text)
{
    if (text == QLatin1String("light"))
        return Theme::Light;
    if (text == QLatin1String("dark"))
        return Theme::Dark;
    return Theme::System;
}

QPalette ThemeManager::darkPalette()
{
    return buildPalette({"#1E1E1E", "#E0E0E0", "#252525", "#2A2A2A", "#E0E0E0", "#252525", "#E0E0E0", "#42A5F5",
                         "#1E1E1E", "#252525", "#E0E0E0", "#9E9E9E", "#3A3A3A", "#3A3A3A", "#0D0D0D", "#555555"});
}

QPalette ThemeManager::lightPalette()
{
    return buildPalette({"#FAFAFA", "#212121", "#FFFFFF", "#F5F7FA", "#212121", "#FAFAFA", "#212121", "#1565C0",
                         "#FFFFFF", "#FFFFFF", "#212121", "#78909C", "#E0E0E0", "#FFFFFF", "#B0BEC5", "#9E9E9E"});
}

void ThemeManager::setMode(const QString &mode)
{
    m_theme = themeFromText(mode);
    installPalette();

    if (m_preferences)
        m_preferences->setString(QStringLiteral("theme_mode"), themeToText(m_theme));
    Q_EMIT themeChanged(m_theme);
}

void ThemeManager::installPalette()
{
    const bool dark = m_theme == Theme::Dark || (m_theme == Theme::System && m_systemDark);
    QApplication::setPalette(dark ? darkPalette() : lightPalette());
}

void ThemeManager::setSystemPrefersDark(bool dark)
{
    if (dark == m_systemDark)
        return;
    m_systemDark = dark;
    if (m_theme != Theme::System)
        return;
    installPalette();
    Q_EMIT themeChanged(m_theme);
}

bool ThemeManager::portalColorSchemeIsDark(const QVariant &value)
{
    QVariant v = value;
#if defined(Q_OS_LINUX)
    // Read wraps the value twice, ReadOne and SettingChanged once; the bound
    // keeps a malformed reply from looping.
    for (int depth = 0; depth < 4 && v.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        v = qvariant_cast<QDBusVariant>(v).variant();
#endif
    const int type = v.typeId();
    if (type != QMetaType::UInt && type != QMetaType::Int)
        return false;
    return v.toUInt() == 1;
}

void ThemeManager::watchSystemScheme()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    QStyleHints *hints = QGuiApplication::styleHints();
    m_systemDark = hints->colorScheme() == Qt::ColorScheme::Dark;
    connect(hints, &QStyleHints::colorSchemeChanged, this,
            [this](Qt::ColorScheme scheme) { setSystemPrefersDark(scheme == Qt::ColorScheme::Dark); });
#elif defined(Q_OS_LINUX)
    // Qt 6.4 cannot report the scheme; ask the desktop portal instead. Without
    // a session bus the theme stays light: connecting would otherwise make
    // libdbus try to autolaunch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty() || !QFileInfo::exists(QDir(runtimeDir).filePath(QStringLiteral("bus"))))
            return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Matched on path and interface only: naming the service would make Qt
    // look up its owner with a blocking call.
    // D-Bus finds the slot's argument types by name; unregistered, every
    // SettingChanged would be dropped without a word.
    qRegisterMetaType<QDBusVariant>();
    bus.connect(QString(), portalPath(), portalSettingsInterface(), QStringLiteral("SettingChanged"), this,
                SLOT(onPortalSettingChanged(QString, QString, QDBusVariant)));
    readPortalColorScheme(QStringLiteral("ReadOne"));
#elif defined(Q_OS_WIN)
    readWindowsColorScheme();
    // Windows sends no change notice that Qt 6.4 forwards; looking again when
    // the user comes back to the program is cheap and enough.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            readWindowsColorScheme();
    });
#endif
}

#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
void ThemeManager::readPortalColorScheme(const QString &method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService(), portalPath(), portalSettingsInterface(), method);
    call << appearanceNamespace() << colorSchemeKey();
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher *w) { onPortalReply(w, method); });
}

void ThemeManager::onPortalReply(QDBusPendingCallWatcher *watcher, const QString &method)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Portals before version 2 of the interface only know Read.
        if (method == QLatin1String("ReadOne") && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            readPortalColorScheme(QStringLiteral("Read"));
        return;
    }
    setSystemPrefersDark(portalColorSchemeIsDark(reply.arguments().value(0)));
}

void ThemeManager::onPortalSettingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value)
{
    if (nameSpace == appearanceNamespace() && key == colorSchemeKey())
        setSystemPrefersDark(portalColorSchemeIsDark(QVariant::fromValue(value)));
}
#endif

#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
void ThemeManager::readWindowsColorScheme()
{
    const QSettings personalize(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize"),
        QSettings::NativeFormat);
    // A missing value means an older Windows without a dark mode.
    const QVariant useLight = personalize.value(QStringLiteral("AppsUseLightTheme"));
    setSystemPrefersDark(useLight.isValid() && useLight.toInt() == 0);
}
#endif
