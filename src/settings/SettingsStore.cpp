#include "settings/SettingsStore.h"

#include "settings/IniDocument.h"
#include "settings/PosixFiles.h"

#include <QFile>
#include <QSettings>
#include <chrono>
#include <memory>
#include <optional>

namespace {

#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
constexpr bool kNativeStore = true;
#else
constexpr bool kNativeStore = false;
#endif

/// How long a write waits for another running copy to finish its own, which
/// takes milliseconds; a lock held longer than this is not worth freezing
/// the window for.
constexpr std::chrono::milliseconds kLockWait{200};

std::unique_ptr<QSettings> nativeSettings(const QString &location, const QString &application)
{
#if defined(Q_OS_WIN)
    return std::make_unique<QSettings>(location + u'\\' + application, QSettings::NativeFormat);
#else
    Q_UNUSED(location);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, application,
                                       application);
#endif
}

} // namespace

SettingsStore::SettingsStore()
{
    if constexpr (kNativeStore) {
        m_location = defaultLocation();
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
    if constexpr (kNativeStore)
        return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings");
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
    if constexpr (kNativeStore) {
        return nativeSettings(m_location, application)->value(section + u'/' + key).toString();
    }
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
    if constexpr (kNativeStore) {
        const auto settings = nativeSettings(m_location, application);
        for (const auto &[key, text] : keysAndTexts)
            settings->setValue(section + u'/' + key, text);
        settings->sync();
        return settings->status() == QSettings::NoError;
    }

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
