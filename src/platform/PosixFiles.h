#pragma once

#include <QByteArray>
#include <chrono>
#include <optional>

/// The few file-system operations the settings file needs, on Unix, with
/// paths as the bytes the kernel sees (a home folder need not be valid
/// UTF-8). Nothing here waits on another process for longer than it is told
/// to, and nothing opens a FIFO or a device in a way that could block.
/// Each operation that fails leaves errno saying why (EISDIR or EINVAL for
/// a folder or another kind of file where a regular file was wanted).
/// On other systems every operation fails: the settings live elsewhere there.
///
/// Not QSaveFile nor QLockFile, which Qt 6.4.2 has for this, as measured on
/// Debian 12 (tmpfs of 64 KiB, a FIFO made with mkfifo):
/// - QSaveFile::commit() ignores the failed flush of what it buffered (under
///   16 KiB): on a full disk it returned true and renamed an empty file over
///   the old one; with one free page, the first 4096 of 8192 bytes. A checked
///   flush() followed by cancelWriting() does leave the file as it was and
///   says "No space left on device", but commit() still ignores fsync()'s
///   failure, never syncs the folder, drops the set-user-ID, set-group-ID and
///   sticky bits (04640 became 0640) and reports no errno; and it takes the
///   path as a QString, which cannot carry a home that is not UTF-8 (the
///   name does not come back the same through QFile::decodeName()).
/// - QLockFile::tryLock(100) with a FIFO at the lock's path never returned:
///   after O_EXCL finds it there, it opens it to read the holder's pid, which
///   waits for a writer.
namespace PosixFiles {

/// The user's configuration folder by the XDG Base Directory rules:
/// `$XDG_CONFIG_HOME` when it is an absolute path, else `<home>/.config`,
/// where home is `$HOME`, or the account's home folder when HOME is unset
/// or empty. Empty when no home can be found.
QByteArray configHome();

/// Creates @p folder and any missing parents (new folders private to the
/// user); true when it exists as a folder afterwards.
bool makeFolders(const QByteArray &folder);

/// The whole contents of the regular file at @p path, following symbolic
/// links: empty when nothing is there, no value when something is there
/// that cannot be read, is not a regular file or holds more than
/// @p maxSize bytes (EFBIG).
std::optional<QByteArray> readRegularFile(const QByteArray &path, qint64 maxSize);

/// Whether the file at @p path lets its owner write to it (a file the user
/// made read-only does not); false when it cannot be looked at.
bool isWritableByOwner(const QByteArray &path);

/// The path that writing @p path through its symbolic links reaches (itself
/// when it is no link); the last target need not exist. No value for a
/// loop, nor for another user's link in a sticky folder that anyone may
/// write to (EACCES), which the kernel would not follow either where its
/// protected_symlinks is on.
std::optional<QByteArray> linkTarget(const QByteArray &path);

/// Replaces the file at @p path with @p contents so that it either stays as
/// it was or holds all of @p contents, also after a crash or a full disk:
/// a new file in the same folder is written and synced, then renamed over
/// the old one, and the folder is synced. The old file's permissions are
/// kept. True only when every step succeeded.
bool replaceFile(const QByteArray &path, const QByteArray &contents);

/// An exclusive advisory lock between processes on a lock file, which the
/// kernel releases when its holder dies, so a lock left behind never blocks
/// anyone. Tries once, then waits at most @p wait for another holder; the file is removed
/// again on release. Something else than a regular file at the lock's path
/// (a FIFO, a socket, a symbolic link) is replaced; a folder there makes
/// locking fail at once.
class ExclusiveLock
{
public:
    ExclusiveLock(const QByteArray &path, std::chrono::milliseconds wait);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;

    bool isHeld() const { return m_fd >= 0; }
    /// Not held because someone else held it all along.
    bool isBusy() const { return m_busy; }

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_busy = false;
};

} // namespace PosixFiles
