#pragma once

#include "floating/FrmFloatingIP.h"
#include "settings/AppSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// The program's settings in a temporary folder of their own, never the
/// user's, with direct access to the file behind them.
class ScratchSettings
{
public:
    ScratchSettings();

    const AppSettings &settings() const { return m_settings; }
    /// The floating window's place, kept in these settings as the program
    /// keeps it.
    FrmFloatingIP::PlaceStore floatingPlace() const
    {
        return {[this] { return m_settings.floatingPosition(); },
                [this](QPoint at) { m_settings.saveFloatingPosition(at); }};
    }
    SettingsStore store() const { return m_settings.store(); }

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
    AppSettings m_settings;
};
