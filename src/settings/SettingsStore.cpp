#include "settings/SettingsStore.h"

#include "settings/IniDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <memory>
#include <optional>
#include <utility>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
constexpr bool kNativeStore = true;
#else
constexpr bool kNativeStore = false;
#endif

constexpr int kLockTimeoutMs = 5000;

/// Reads the whole file; no value when it exists but cannot be read, which
/// keeps a writer from replacing a file it could not see into.
std::optional<QByteArray> readExisting(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

/// Makes a finished rename durable too (the file's own data was synced by
/// QSaveFile before the rename).
void syncFolder([[maybe_unused]] const QString &folder)
{
#if defined(Q_OS_UNIX)
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

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

SettingsStore::SettingsStore(QString location)
    : m_location(std::move(location))
{}

QString SettingsStore::defaultLocation()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings");
#else
    // $XDG_CONFIG_HOME when it is set to an absolute path, ~/.config otherwise.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
}

QString SettingsStore::filePath(const QString &application) const
{
    return m_location + u'/' + application + QLatin1String(".conf");
}

QString SettingsStore::GetSetting(const QString &application, const QString &section,
                                  const QString &key) const
{
    if constexpr (kNativeStore) {
        return nativeSettings(m_location, application)->value(section + u'/' + key).toString();
    }
    const std::optional<QByteArray> text = readExisting(filePath(application));
    if (!text)
        return {};
    return IniDocument::parse(*text).value(section, key).value_or(QString());
}

bool SettingsStore::SaveSetting(const QString &application, const QString &section,
                                const QString &key, const QString &text) const
{
    if constexpr (kNativeStore) {
        const auto settings = nativeSettings(m_location, application);
        settings->setValue(section + u'/' + key, text);
        settings->sync();
        return settings->status() == QSettings::NoError;
    }

    const QString path = filePath(application);
    if (!QDir().mkpath(m_location))
        return false;

    QLockFile lock(path + QLatin1String(".lock"));
    if (!lock.tryLock(kLockTimeoutMs))
        return false;

    const std::optional<QByteArray> existing = readExisting(path);
    if (!existing)
        return false;
    IniDocument document = IniDocument::parse(*existing);
    document.setValue(section, key, text);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray contents = document.toText();
    if (file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    syncFolder(m_location);
    return true;
}
