#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

/// The per-user store of text values addressed by application, section and
/// key. Every call goes to the store itself: nothing is cached, and a value
/// written is seen by the next read, in this process and in any other.
///
/// Linux: one INI file per application,
/// `<location>/<application>.conf`, with the section as `[section]`. The
/// location is `$XDG_CONFIG_HOME` when that is an absolute path, else
/// `~/.config`. Writes are atomic and durable: the new file replaces the old
/// one by rename only after all of it has reached the disk, under a lock
/// file, so a crash, a full disk or a second running copy never leaves a
/// half-written file and a write never drops other keys. A write never waits
/// for a lock that someone else holds, and a write that fails (a full disk,
/// a read-only folder, a folder in the file's place) is not the end: its
/// values wait instead, are seen by every read of this store, and are
/// written as soon as that can be done (tried again and again, from the
/// event loop, more and more seldom after failures) or when the store is
/// flushed at the end. A later value of a key replaces one still waiting.
/// A settings file that is a symbolic link is written through the link.
///
/// Windows: the registry, `HKEY_CURRENT_USER\Software\VB and VBA Program
/// Settings\<application>\<section>`, string values, as any other program
/// reads and writes them; the text is kept exactly, a leading byte order
/// mark and a leading '@' included. Writes are flushed to disk at once.
class SettingsStore
{
public:
    /// The user's own store.
    SettingsStore();
    /// The store under @p location, the folder (or registry root) it lives
    /// in; tests point it at a temporary folder.
    explicit SettingsStore(const QString &location);

    QString location() const { return m_location; }

    /// The stored text, or the empty text when the application, the section
    /// or the key does not exist or the store cannot be read.
    QString GetSetting(const QString &application, const QString &section,
                       const QString &key) const;

    /// Stores @p text, creating the application and section when needed.
    /// A store that cannot be written leaves everything as it was; the result
    /// says whether the value reached the store now (not when it waits), and
    /// callers may ignore it.
    bool SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &text) const
    {
        return SaveSettings(application, section, {{key, text}});
    }

    /// Stores several keys of one section in a single save: other copies
    /// see all of them or none. Keys new to the section are added in the
    /// order given.
    bool SaveSettings(const QString &application, const QString &section,
                      const QList<std::pair<QString, QString>> &keysAndTexts) const;

    /// The file behind @p application (Linux only).
    QString filePath(const QString &application) const;

    /// Whether values are waiting to be written.
    bool hasPendingSaves() const;
    /// Writes the values waiting, waiting for the lock at most @p wait;
    /// true when none are left waiting.
    bool flushPendingSaves(std::chrono::milliseconds wait) const;

    /// Values that wait, and why.
    struct Trouble
    {
        QStringList keys; ///< in the order they were first saved
        QString file;
        QString reason; ///< what could not be done, and the system's word for it
    };
    /// Calls @p report (for every copy of this store) once a write fails and
    /// leaves values waiting, and with an empty Trouble once they have all
    /// been written; then again at the next failure.
    void onTrouble(std::function<void(const Trouble &)> report) const;
    /// The values that wait now, and why the last try did not write them.
    Trouble trouble() const;
    /// Stops trying the values that wait, also when the store goes: once
    /// they have been said to be lost, they are.
    void abandonPendingSaves() const;

    class PendingSaves;

private:
    QByteArray nativeFilePath(const QString &application) const;

    QString m_location;
    QByteArray m_folder; // the location as the file system spells it
    std::shared_ptr<PendingSaves> m_pending;
};
