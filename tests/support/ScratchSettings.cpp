#include "support/ScratchSettings.h"

#include <QDir>
#include <QFile>

ScratchSettings::ScratchSettings()
    : m_settings(SettingsStore(m_dir.path()))
{}

QString ScratchSettings::file() const
{
    return m_settings.store().filePath(AppSettings::kApplication);
}

void ScratchSettings::set(AppSettings::Key key, const QString &text) const
{
    m_settings.store().SaveSetting(AppSettings::kApplication, AppSettings::kSection,
                                   AppSettings::name(key), text);
}

QByteArray ScratchSettings::fileContents() const
{
    QFile f(file());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void ScratchSettings::writeFile(const QByteArray &contents) const
{
    QFile f(file());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(contents);
}

QStringList ScratchSettings::entries() const
{
    return QDir(folder()).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
