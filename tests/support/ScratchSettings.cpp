#include "support/ScratchSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QUuid>

namespace {

#ifdef Q_OS_WIN
const QString kScratchParent = QStringLiteral("HKEY_CURRENT_USER\\Software\\Kestrune Tests");
#endif

QString scratchLocation([[maybe_unused]] const QTemporaryDir &dir)
{
#ifdef Q_OS_WIN
    return kScratchParent + u'\\' + QUuid::createUuid().toString(QUuid::WithoutBraces);
#else
    return dir.path();
#endif
}

} // namespace

ScratchSettings::ScratchSettings()
    : m_location(scratchLocation(m_dir))
    , m_settings(SettingsStore(m_location))
{}

ScratchSettings::~ScratchSettings()
{
#ifdef Q_OS_WIN
    // The key and everything below it; the parent too once it is empty.
    QSettings parent(kScratchParent, QSettings::NativeFormat);
    parent.remove(m_location.mid(kScratchParent.size() + 1));
    parent.sync();
    if (parent.childGroups().isEmpty() && parent.childKeys().isEmpty())
        QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
            .remove(QStringLiteral("Kestrune Tests"));
#endif
}

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
