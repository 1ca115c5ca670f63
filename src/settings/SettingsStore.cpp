#include "settings/SettingsStore.h"

#include "platform/NativeStore.h"
#include "platform/PosixFiles.h"
#include "settings/IniDocument.h"

#include <QFile>
#include <chrono>
#include <optional>

namespace {

/// How long a write waits for another running copy to finish its own, which
/// takes milliseconds; a lock held longer than this is not worth freezing
/// the window for.
constexpr std::chrono::milliseconds kLockWait{200};

} // namespace

SettingsStore::SettingsStore()
{
    if (NativeStore::exists()) {
        m_location = NativeStore::userLocation();
    } else {
        m_folder = PosixFiles::configHome();
        m_location = QFile::decodeName(m_folder);
    }
}

SettingsStore::SettingsStore(const QString &location)
    : m_location(location)
    , m_folder(QFile::encodeName(location))
{}

QString SettingsStore::defaultLocation()
{
    if (NativeStore::exists())
        return NativeStore::userLocation();
    return QFile::decodeName(PosixFiles::configHome());
}

QString SettingsStore::filePath(const QString &application) const
{
    return QFile::decodeName(nativeFilePath(application));
}

QByteArray SettingsStore::nativeFilePath(const QString &application) const
{
    return m_folder + '/' + QFile::encodeName(application) + ".conf";
}

QString SettingsStore::GetSetting(const QString &application, const QString &section,
                                  const QString &key) const
{
    if (NativeStore::exists())
        return NativeStore::value(m_location, application, section, key);
    if (m_folder.isEmpty())
        return {};
    const std::optional<QByteArray> text = PosixFiles::readRegularFile(nativeFilePath(application));
    if (!text)
        return {};
    return IniDocument::parse(*text).value(section, key).value_or(QString());
}

bool SettingsStore::SaveSetting(const QString &application, const QString &section,
                                const QString &key, const QString &text) const
{
    return SaveSettings(application, section, {{key, text}});
}

bool SettingsStore::SaveSettings(const QString &application, const QString &section,
                                 const QList<std::pair<QString, QString>> &keysAndTexts) const
{
    if (NativeStore::exists())
        return NativeStore::setValues(m_location, application, section, keysAndTexts);

    if (!PosixFiles::makeFolders(m_folder))
        return false;
    const QByteArray path = nativeFilePath(application);
    const PosixFiles::ExclusiveLock lock(path + ".lock", kLockWait);
    if (!lock.isHeld())
        return false;

    // Through a symbolic link to the file it names, which need not exist yet.
    const std::optional<QByteArray> target = PosixFiles::linkTarget(path);
    if (!target)
        return false;
    // A file that is there but cannot be read is never replaced blind.
    const std::optional<QByteArray> existing = PosixFiles::readRegularFile(*target);
    if (!existing)
        return false;
    IniDocument document = IniDocument::parse(*existing);
    for (const auto &[key, text] : keysAndTexts)
        document.setValue(section, key, text);
    return PosixFiles::replaceFile(*target, document.toText());
}
