#include "settings/SettingsStore.h"

#include "platform/NativeStore.h"
#include "platform/PosixFiles.h"
#include "settings/IniDocument.h"

#include <QFile>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <optional>

namespace {

using KeysAndTexts = QList<std::pair<QString, QString>>;

enum class Outcome
{
    Written,
    /// Someone else holds the lock.
    Busy,
    Failed,
};

/// One save of @p keysAndTexts into the INI file at @p path, under its lock,
/// waiting for the lock at most @p wait.
Outcome writeFile(const QByteArray &folder, const QByteArray &path, const QString &section,
                  const KeysAndTexts &keysAndTexts, std::chrono::milliseconds wait)
{
    if (!PosixFiles::makeFolders(folder))
        return Outcome::Failed;
    const PosixFiles::ExclusiveLock lock(path + ".lock", wait);
    if (!lock.isHeld())
        return lock.isBusy() ? Outcome::Busy : Outcome::Failed;

    // Through a symbolic link to the file it names, which need not exist yet.
    const std::optional<QByteArray> target = PosixFiles::linkTarget(path);
    if (!target)
        return Outcome::Failed;
    // A file that is there but cannot be read is never replaced blind.
    const std::optional<QByteArray> existing = PosixFiles::readRegularFile(*target);
    if (!existing)
        return Outcome::Failed;
    IniDocument document = IniDocument::parse(*existing);
    for (const auto &[key, text] : keysAndTexts)
        document.setValue(section, key, text);
    return PosixFiles::replaceFile(*target, document.toText()) ? Outcome::Written : Outcome::Failed;
}

/// How soon a save that found the lock held is tried again, at first and at
/// the latest.
constexpr std::chrono::milliseconds kFirstRetry{25};
constexpr std::chrono::milliseconds kLastRetry{1000};
/// How long a store going away waits for the lock with values still waiting.
constexpr std::chrono::milliseconds kFinalWait{200};

} // namespace

/// The values of saves that found the lock held by someone else, newest per
/// key, and the timer that tries them again.
class SettingsStore::PendingSaves : public QObject
{
public:
    explicit PendingSaves(QByteArray folder)
        : m_folder(std::move(folder))
    {
        m_retry.setSingleShot(true);
        connect(&m_retry, &QTimer::timeout, this, [this] {
            if (flush(std::chrono::milliseconds(0)))
                return;
            m_delay = std::min(m_delay * 2, kLastRetry);
            m_retry.start(m_delay);
        });
    }

    ~PendingSaves() override { flush(kFinalWait); }

    bool isEmpty() const { return m_entries.isEmpty(); }

    void add(const QByteArray &path, const QString &section, const KeysAndTexts &keysAndTexts)
    {
        auto entry = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) {
            return e.path == path && e.section == section;
        });
        if (entry == m_entries.end()) {
            m_entries.append({path, section, {}});
            entry = std::prev(m_entries.end());
        }
        for (const auto &[key, text] : keysAndTexts) {
            auto known = std::find_if(entry->keysAndTexts.begin(), entry->keysAndTexts.end(),
                                      [&key](const auto &pair) { return pair.first == key; });
            if (known != entry->keysAndTexts.end())
                known->second = text;
            else
                entry->keysAndTexts.append({key, text});
        }
        if (!m_retry.isActive()) {
            m_delay = kFirstRetry;
            m_retry.start(m_delay);
        }
    }

    std::optional<QString> value(const QByteArray &path, const QString &section,
                                 const QString &key) const
    {
        for (const Entry &entry : m_entries) {
            if (entry.path != path || entry.section != section)
                continue;
            for (const auto &[known, text] : entry.keysAndTexts) {
                if (known == key)
                    return text;
            }
        }
        return std::nullopt;
    }

    /// Writes what waits, in the order it was first saved; true when
    /// nothing waits any more. A value that cannot be written at all is
    /// dropped, as a save that fails outright is.
    bool flush(std::chrono::milliseconds wait)
    {
        while (!m_entries.isEmpty()) {
            const Entry &entry = m_entries.constFirst();
            if (writeFile(m_folder, entry.path, entry.section, entry.keysAndTexts, wait) ==
                Outcome::Busy)
                return false;
            m_entries.removeFirst();
        }
        m_retry.stop();
        return true;
    }

private:
    struct Entry
    {
        QByteArray path;
        QString section;
        KeysAndTexts keysAndTexts;
    };

    QByteArray m_folder;
    QList<Entry> m_entries;
    QTimer m_retry;
    std::chrono::milliseconds m_delay = kFirstRetry;
};

SettingsStore::SettingsStore()
{
    if (NativeStore::exists()) {
        m_location = NativeStore::userLocation();
    } else {
        m_folder = PosixFiles::configHome();
        m_location = QFile::decodeName(m_folder);
        m_pending = std::make_shared<PendingSaves>(m_folder);
    }
}

SettingsStore::SettingsStore(const QString &location)
    : m_location(location)
    , m_folder(QFile::encodeName(location))
{
    if (!NativeStore::exists())
        m_pending = std::make_shared<PendingSaves>(m_folder);
}

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
    const QByteArray path = nativeFilePath(application);
    if (const std::optional<QString> waiting = m_pending->value(path, section, key))
        return *waiting;
    const std::optional<QByteArray> text = PosixFiles::readRegularFile(path);
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

    const QByteArray path = nativeFilePath(application);
    // Behind values still waiting for the lock: after them, never before.
    if (!m_pending->isEmpty()) {
        m_pending->add(path, section, keysAndTexts);
        return m_pending->flush(std::chrono::milliseconds(0));
    }
    switch (writeFile(m_folder, path, section, keysAndTexts, std::chrono::milliseconds(0))) {
    case Outcome::Written:
        return true;
    case Outcome::Busy:
        m_pending->add(path, section, keysAndTexts);
        return false;
    case Outcome::Failed:
        return false;
    }
    return false;
}

bool SettingsStore::hasPendingSaves() const
{
    return m_pending && !m_pending->isEmpty();
}

bool SettingsStore::flushPendingSaves(std::chrono::milliseconds wait) const
{
    return !m_pending || m_pending->flush(wait);
}
