#include "thememanager.h"

#include "storage/preferencesrepository.h"

#include <QApplication>
#include <QStyleHints>

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
    return p;
}

} // namespace

ThemeManager::ThemeManager(PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
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

bool ThemeManager::systemPrefersDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark;
#else
    // No colour scheme query before Qt 6.5: the scheme counts as unknown.
    return false;
#endif
}

void ThemeManager::setMode(const QString &mode)
{
    m_theme = themeFromText(mode);
    bool dark = m_theme == Theme::Dark;
    if (m_theme == Theme::System)
        dark = systemPrefersDark();
    QApplication::setPalette(dark ? darkPalette() : lightPalette());

    if (m_preferences)
        m_preferences->setString(QStringLiteral("theme_mode"), themeToText(m_theme));
    Q_EMIT themeChanged(m_theme);
}
