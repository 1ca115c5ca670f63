#include "settings/AppSettings.h"

#include "ui/Twips.h"

#include <QStringList>
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

QString AppSettings::whatIsRemembered(const SettingsStore::Trouble &trouble)
{
    QStringList facts;
    for (const QString &key : trouble.keys) {
        QString fact;
        if (key == name(Key::Float))
            fact = QStringLiteral("whether the floating window is on");
        else if (key == name(Key::Vis))
            fact = QStringLiteral("whether the main window is hidden");
        else if (key == name(Key::X) || key == name(Key::Y))
            fact = QStringLiteral("where the floating window stands");
        else
            fact = key;
        if (!facts.contains(fact))
            facts.append(fact);
    }
    if (facts.size() < 2)
        return facts.value(0);
    const QString last = facts.takeLast();
    return facts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

void AppSettings::reportTroubleTo(std::function<void(const QString &message)> say) const
{
    m_say = std::make_shared<Say>(Say{std::move(say), false});
    m_store.onTrouble([say = m_say](const SettingsStore::Trouble &trouble) {
        say->troubleSaid = !trouble.keys.isEmpty();
        if (trouble.keys.isEmpty())
            say->say(QStringLiteral("The settings are saved now."));
        else
            say->say(QStringLiteral("Cannot save %1 (%2); trying again.")
                         .arg(whatIsRemembered(trouble), trouble.reason));
    });
}

QString AppSettings::unsavedChanges() const
{
    const SettingsStore::Trouble trouble = m_store.trouble();
    if (trouble.keys.isEmpty())
        return {};
    return QStringLiteral("%1 (%2)").arg(whatIsRemembered(trouble), trouble.reason);
}

void AppSettings::saveWhatWaits(std::chrono::milliseconds wait) const
{
    // Nothing is tried again after this: what fails is not said to be.
    m_store.onTrouble(nullptr);
    if (m_store.flushPendingSaves(wait)) {
        if (m_say && std::exchange(m_say->troubleSaid, false))
            m_say->say(QStringLiteral("The settings are saved now."));
        return;
    }
    m_store.abandonPendingSaves();
}
