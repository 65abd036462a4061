#pragma once

#include <QObject>
#include <QPalette>
#include <QString>

class PreferencesRepository;

// Installs one of two fixed palettes on the application.
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
    // True when the platform reports a dark colour scheme; false when it
    // reports light or nothing at all.
    static bool systemPrefersDark();

Q_SIGNALS:
    void themeChanged(ThemeManager::Theme theme);

private:
    PreferencesRepository *m_preferences;
    Theme m_theme = Theme::System;
};
