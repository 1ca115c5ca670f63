#include "platform/PosixFiles.h"
#include "settings/IniDocument.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>

namespace {

using KeysAndTexts = QList<std::pair<QString, QString>>;

enum class Outcome
{
    Written,
    /// Someone else holds the lock.
    Busy,
    Failed,
};

struct Result
{
    Outcome outcome;
    /// Why it failed, for the user: what could not be done, and the system's
    /// word for it.
    QString reason;
};

/// The most of a settings file that is read: one is a few hundred bytes,
/// and one shared with other programs' settings some kilobytes. A file
/// beyond this (a 2 GB sparse file, say) is neither read nor rewritten.
constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

/// A failure of what @p doing describes, as errno says it.
Result failure(const char *doing, const QByteArray &path)
{
    const int error = errno;
    const QString why =
        error == EINVAL ? QStringLiteral("it is not a regular file") : qt_error_string(error);
    return {Outcome::Failed,
            QStringLiteral("%1 %2: %3").arg(QLatin1String(doing), QFile::decodeName(path), why)};
}

/// One save of @p keysAndTexts into the INI file at @p path, under its lock,
/// waiting for the lock at most @p wait.
Result writeFile(const QByteArray &folder, const QByteArray &path, const QString &section,
                 const KeysAndTexts &keysAndTexts, std::chrono::milliseconds wait)
{
    if (folder.isEmpty())
        return {Outcome::Failed, QStringLiteral("there is no home folder to keep them in")};
    if (!PosixFiles::makeFolders(folder))
        return failure("cannot make the folder", folder);
    const PosixFiles::ExclusiveLock lock(path + ".lock", wait);
    if (!lock.isHeld()) {
        if (lock.isBusy())
            return {Outcome::Busy, QStringLiteral("another program holds the lock %1")
                                       .arg(QFile::decodeName(path + ".lock"))};
        return failure("cannot lock", path + ".lock");
    }

    // Through a symbolic link to the file it names, which need not exist yet.
    const std::optional<QByteArray> target = PosixFiles::linkTarget(path);
    if (!target)
        return failure("cannot follow", path);
    // A file that is there but cannot be read is never replaced blind, nor
    // one the user made read-only, nor one in UTF-16, whose bytes the next
    // save would mix with UTF-8.
    const std::optional<QByteArray> existing = PosixFiles::readRegularFile(*target, kMaxFileBytes);
    if (!existing)
        return failure("cannot read", *target);
    if (!existing->isEmpty() && !PosixFiles::isWritableByOwner(*target)) {
        return {Outcome::Failed, QStringLiteral("%1 is read-only").arg(QFile::decodeName(*target))};
    }
    if (existing->startsWith("\xFF\xFE") || existing->startsWith("\xFE\xFF")) {
        return {Outcome::Failed, QStringLiteral("%1 is in UTF-16, which this program does not "
                                                "write: it is left as it is")
                                     .arg(QFile::decodeName(*target))};
    }
    IniDocument document = IniDocument::parse(*existing);
    for (const auto &[key, text] : keysAndTexts)
        document.setValue(section, key, text);
    if (!PosixFiles::replaceFile(*target, document.toText()))
        return failure("cannot write", *target);
    return {Outcome::Written, {}};
}

/// How soon a save that found the lock held is tried again, at first and at
/// the latest; and one that failed (a full disk, a folder in the file's
/// place: things a person or the system may put right).
constexpr std::chrono::milliseconds kFirstRetry{25};
constexpr std::chrono::milliseconds kLastRetry{1000};
constexpr std::chrono::milliseconds kFirstRetryAfterFailure{1000};
constexpr std::chrono::milliseconds kLastRetryAfterFailure{60000};
/// How long a store going away waits for the lock with values still waiting.
constexpr std::chrono::milliseconds kFinalWait{200};

} // namespace

/// The values of saves that could not be written yet (the lock was held by
/// someone else, or the write failed), newest per key, and the timer that
/// tries them again.
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
            // Doubling, within the bounds of what the last try found.
            m_delay = m_failed
                          ? std::clamp(m_delay * 2, kFirstRetryAfterFailure, kLastRetryAfterFailure)
                          : std::min(m_delay * 2, kLastRetry);
            m_retry.start(m_delay);
        });
    }

    ~PendingSaves() override
    {
        m_report = nullptr;
        if (m_givenUp)
            return;
        flush(kFinalWait);
    }

    bool isEmpty() const { return m_entries.isEmpty(); }

    void giveUp()
    {
        m_givenUp = true;
        m_retry.stop();
    }

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
            m_delay = m_failed ? kFirstRetryAfterFailure : kFirstRetry;
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
    /// nothing waits any more.
    bool flush(std::chrono::milliseconds wait)
    {
        while (!m_entries.isEmpty()) {
            const Entry &entry = m_entries.constFirst();
            const Result result =
                writeFile(m_folder, entry.path, entry.section, entry.keysAndTexts, wait);
            if (result.outcome != Outcome::Written) {
                noteTrouble(result);
                return false;
            }
            m_entries.removeFirst();
        }
        m_retry.stop();
        m_failed = false;
        if (std::exchange(m_told, false) && m_report)
            m_report({});
        return true;
    }

    /// Why values wait, and which: told once a failure leaves them
    /// waiting, and again (empty) once they are all written.
    void onTrouble(std::function<void(const Trouble &)> report) { m_report = std::move(report); }

    Trouble trouble() const
    {
        Trouble trouble{{}, {}, m_reason};
        for (const Entry &entry : m_entries) {
            trouble.file = QFile::decodeName(entry.path);
            for (const auto &[key, text] : entry.keysAndTexts) {
                if (!trouble.keys.contains(key))
                    trouble.keys.append(key);
            }
        }
        return trouble;
    }

private:
    struct Entry
    {
        QByteArray path;
        QString section;
        KeysAndTexts keysAndTexts;
    };

    void noteTrouble(const Result &result)
    {
        m_reason = result.reason;
        m_failed = result.outcome == Outcome::Failed;
        // A lock held for a while is no trouble yet: it is waited for.
        if (m_failed && !std::exchange(m_told, true) && m_report)
            m_report(trouble());
    }

    QByteArray m_folder;
    QList<Entry> m_entries;
    QTimer m_retry;
    std::chrono::milliseconds m_delay = kFirstRetry;
    bool m_failed = false; ///< the last try failed (not only found the lock held)
    bool m_givenUp = false;
    bool m_told = false; ///< the trouble has been reported
    QString m_reason;
    std::function<void(const Trouble &)> m_report;
};

SettingsStore::SettingsStore()
    : m_folder(PosixFiles::configHome()) // as it is: a home need not be in UTF-8
    , m_pending(std::make_shared<PendingSaves>(m_folder))
{
    m_location = QFile::decodeName(m_folder);
}

SettingsStore::SettingsStore(const QString &location)
    : m_location(location)
    , m_folder(QFile::encodeName(location))
    , m_pending(std::make_shared<PendingSaves>(m_folder))
{}

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
    if (m_folder.isEmpty())
        return {};
    const QByteArray path = nativeFilePath(application);
    if (const std::optional<QString> waiting = m_pending->value(path, section, key))
        return *waiting;
    const std::optional<QByteArray> target = PosixFiles::linkTarget(path);
    const std::optional<QByteArray> text =
        target ? PosixFiles::readRegularFile(*target, kMaxFileBytes) : std::nullopt;
    if (!text)
        return {};
    return IniDocument::parse(*text).value(section, key).value_or(QString());
}

bool SettingsStore::SaveSettings(const QString &application, const QString &section,
                                 const QList<std::pair<QString, QString>> &keysAndTexts) const
{
    // Behind values still waiting: after them, never before. Values that
    // cannot be written now wait to be tried again.
    m_pending->add(nativeFilePath(application), section, keysAndTexts);
    return m_pending->flush(std::chrono::milliseconds(0));
}

void SettingsStore::onTrouble(std::function<void(const Trouble &)> report) const
{
    m_pending->onTrouble(std::move(report));
}

void SettingsStore::abandonPendingSaves() const
{
    m_pending->giveUp();
}

SettingsStore::Trouble SettingsStore::trouble() const
{
    return m_pending->trouble();
}

bool SettingsStore::hasPendingSaves() const
{
    return !m_pending->isEmpty();
}

bool SettingsStore::flushPendingSaves(std::chrono::milliseconds wait) const
{
    return m_pending->flush(wait);
}
