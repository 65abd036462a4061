#pragma once

#include <QObject>
#include <QPalette>
#include <QString>
#include <QVariant>

class PreferencesRepository;
#if defined(Q_OS_LINUX)
class QDBusPendingCallWatcher;
class QDBusVariant;
#endif

// Installs one of two fixed palettes on the application. In "system" mode it
// follows the desktop's light or dark preference, also when that changes
// while the program runs.
class ThemeManager : public QObject
{
    Q_OBJECT

public:
    enum class Theme { System = 0, Light = 1, Dark = 2 };
    Q_ENUM(Theme)

    explicit ThemeManager(PreferencesRepository *preferences, QObject *parent = nullptr);

    void setMode(const QString &mode);
    Theme theme() const { return m_theme; }

    static QString themeToText(Theme theme);
    static Theme themeFromText(const QString &text);
    static QPalette lightPalette();
    static QPalette darkPalette();

    // The desktop's preference as last reported: false (light) until the
    // desktop has answered, and when it has no preference or cannot be asked.
    bool systemPrefersDark() const { return m_systemDark; }
    // Records what the desktop reports; in system mode the palette follows
    // and themeChanged is emitted. The platform watchers call this.
    void setSystemPrefersDark(bool dark);

    // The value of the freedesktop settings portal's "color-scheme" key, as
    // Read (a variant inside a variant) or ReadOne and SettingChanged (one
    // variant) deliver it: true only for 1 (prefer dark); 0 (no preference),
    // 2 (prefer light) and anything unreadable count as light.
    static bool portalColorSchemeIsDark(const QVariant &value);

Q_SIGNALS:
    void themeChanged(ThemeManager::Theme theme);

#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
private Q_SLOTS:
    void onPortalSettingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);
#endif

private:
    void installPalette();
    void watchSystemScheme();
#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    void readPortalColorScheme(const QString &method);
    void onPortalReply(QDBusPendingCallWatcher *watcher, const QString &method);
#endif
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    void readWindowsColorScheme();
#endif

    PreferencesRepository *m_preferences;
    Theme m_theme = Theme::System;
    bool m_systemDark = false;
};
