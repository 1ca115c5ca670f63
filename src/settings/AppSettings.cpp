#include "settings/AppSettings.h"

#include "ui/Twips.h"

#include <utility>

AppSettings::AppSettings(SettingsStore store)
    : m_store(std::move(store))
{}

QString AppSettings::name(Key key)
{
    switch (key) {
    case Key::Float:
        return QStringLiteral("Float");
    case Key::Vis:
        return QStringLiteral("Vis");
    case Key::X:
        return QStringLiteral("X");
    case Key::Y:
        return QStringLiteral("Y");
    }
    Q_UNREACHABLE();
}

QString AppSettings::text(Key key) const
{
    return m_store.GetSetting(kApplication, kSection, name(key));
}

bool AppSettings::save(Key key, const QString &text) const
{
    return m_store.SaveSetting(kApplication, kSection, name(key), text);
}

bool AppSettings::floatingOnAtStart() const
{
    return text(Key::Float) == QLatin1String("YES");
}

bool AppSettings::mainWindowHiddenAtStart() const
{
    return text(Key::Vis) == QLatin1String("NO");
}

void AppSettings::saveFloatingOn() const
{
    save(Key::Float, QStringLiteral("YES"));
}

void AppSettings::saveFloatingOff(FloatingOff how) const
{
    save(Key::Float, how == FloatingOff::ByButton ? QStringLiteral("no") : QStringLiteral("No"));
}

void AppSettings::saveMainWindowHidden() const
{
    save(Key::Vis, QStringLiteral("NO"));
}

void AppSettings::saveMainWindowShown() const
{
    save(Key::Vis, QStringLiteral("YES"));
}

QPoint AppSettings::floatingPosition() const
{
    return {Twips::pixelsFromText(text(Key::X)).value_or(0),
            Twips::pixelsFromText(text(Key::Y)).value_or(0)};
}

void AppSettings::saveFloatingPosition(QPoint pixels) const
{
    m_store.SaveSettings(kApplication, kSection,
                         {{name(Key::X), Twips::textFromPixels(pixels.x())},
                          {name(Key::Y), Twips::textFromPixels(pixels.y())}});
}
