#pragma once

#include "floating/FrmFloatingIP.h"
#include "settings/AppSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// The program's settings in a place of their own, never the user's: where
/// the system has a native store (the registry on Windows) a fresh key
/// `HKEY_CURRENT_USER\Software\Kestrune Tests\<uuid>`, removed again at
/// the end; elsewhere a temporary folder, with direct access to the file.
class ScratchSettings
{
public:
    ScratchSettings();
    ~ScratchSettings();
    ScratchSettings(const ScratchSettings &) = delete;
    ScratchSettings &operator=(const ScratchSettings &) = delete;

    const AppSettings &settings() const { return m_settings; }
    /// The floating window's place, kept in these settings as the program
    /// keeps it.
    FrmFloatingIP::PlaceStore floatingPlace() const
    {
        return {[this] { return m_settings.floatingPosition(); },
                [this](QPoint at) { m_settings.saveFloatingPosition(at); }};
    }
    SettingsStore store() const { return m_settings.store(); }

    /// Where the store lives: the registry key, or the folder.
    QString location() const { return m_location; }

    // The settings file (file-based stores only).
    QString folder() const { return m_dir.path(); }
    QString file() const;

    QString text(AppSettings::Key key) const { return m_settings.text(key); }
    void set(AppSettings::Key key, const QString &text) const;

    QByteArray fileContents() const;
    void writeFile(const QByteArray &contents) const;
    /// Everything in the folder, hidden names included, sorted.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    QString m_location;
    AppSettings m_settings;
};
