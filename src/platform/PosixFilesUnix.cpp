#include "platform/PosixFiles.h"

#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace PosixFiles {

namespace {

using Status = struct stat;

// Symbolic links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray accountHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry{};
    passwd *found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? QByteArray(found->pw_dir) : QByteArray();
}

bool closeChecked(int fd)
{
    // After an interrupted close the descriptor is gone on Linux, but whether
    // the data arrived is unknown: count it as a failure.
    return ::close(fd) == 0;
}

bool writeAll(int fd, const QByteArray &contents)
{
    const char *data = contents.constData();
    qsizetype left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

bool syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder at all; that is no failure.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    return synced;
}

bool sameFile(const Status &a, const Status &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

QByteArray configHome()
{
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty())
        home = accountHome();
    if (home.isEmpty())
        return {};
    return home.endsWith('/') ? home + ".config" : home + "/.config";
}

bool makeFolders(const QByteArray &folder)
{
    if (folder.isEmpty())
        return false;
    Status status{};
    const auto isFolder = [&status] {
        errno = S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
        return S_ISDIR(status.st_mode);
    };
    if (::stat(folder.constData(), &status) == 0)
        return isFolder();
    if (errno != ENOENT)
        return false;
    const QByteArray parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent))
        return false;
    if (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
        return ::stat(folder.constData(), &status) == 0 && isFolder();
    return false;
}

std::optional<QByteArray> readRegularFile(const QByteArray &path, qint64 maxSize)
{
    // Non-blocking, so a FIFO in the file's place cannot hold the caller.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    Status status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return std::nullopt;
    }
    if (status.st_size > maxSize) {
        ::close(fd);
        errno = EFBIG;
        return std::nullopt;
    }
    QByteArray contents;
    contents.reserve(qsizetype(status.st_size));
    char buffer[65536];
    for (;;) {
        // One that grows meanwhile is read no further than that either.
        if (contents.size() > maxSize) {
            ::close(fd);
            errno = EFBIG;
            return std::nullopt;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
        if (got == 0)
            break;
        contents.append(buffer, got);
    }
    ::close(fd);
    return contents;
}

bool isWritableByOwner(const QByteArray &path)
{
    Status status{};
    return ::stat(path.constData(), &status) == 0 && (status.st_mode & S_IWUSR);
}

std::optional<QByteArray> linkTarget(const QByteArray &path)
{
    QByteArray current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        Status status{};
        if (::lstat(current.constData(), &status) != 0)
            return errno == ENOENT ? std::optional<QByteArray>(current) : std::nullopt;
        if (!S_ISLNK(status.st_mode))
            return current;
        // In a folder anyone may write to and only owners may delete from
        // (a shared /tmp), a link is followed only when it is the user's own
        // or the folder owner's, as the kernel's protected_symlinks has it:
        // another user's link could point anywhere the user may write.
        Status folder{};
        if (::stat(folderOf(current).constData(), &folder) != 0)
            return std::nullopt;
        if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) &&
            status.st_uid != ::geteuid() && status.st_uid != folder.st_uid) {
            errno = EACCES;
            return std::nullopt;
        }
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(current.constData(), buffer, sizeof buffer);
        if (length == 0 || std::size_t(length) == sizeof buffer)
            errno = ENAMETOOLONG;
        if (length <= 0 || std::size_t(length) == sizeof buffer)
            return std::nullopt;
        const QByteArray target(buffer, length);
        current = target.startsWith('/') ? target : folderOf(current) + '/' + target;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool replaceFile(const QByteArray &path, const QByteArray &contents)
{
    const QByteArray folder = folderOf(path);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    Status old{};
    const bool hadOld = ::stat(path.constData(), &old) == 0 && S_ISREG(old.st_mode);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + "/." + name + '.' +
                    QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // A new file gets the permissions the umask allows, as any other.
        fd = ::open(temporary.constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                    hadOld ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0) {
        errno = EEXIST;
        return false;
    }

    const bool written = (!hadOld || ::fchmod(fd, old.st_mode & 07777) == 0) &&
                         writeAll(fd, contents) && ::fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (!closeChecked(fd) && !error)
        error = errno;
    if (error || ::rename(temporary.constData(), path.constData()) != 0) {
        error = error ? error : errno;
        ::unlink(temporary.constData());
        errno = error;
        return false;
    }
    return syncFolder(folder);
}

ExclusiveLock::ExclusiveLock(const QByteArray &path, std::chrono::milliseconds wait)
    : m_path(path)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + wait;
    const char *const name = m_path.constData();
    // A few tries at once, also with no time to wait: a file replaced in
    // the lock's place is looked at again straight away.
    constexpr int kTriesAtOnce = 4;
    for (int tries = 0; tries < kTriesAtOnce || Clock::now() < deadline; ++tries) {
        // A lock file is a regular file; anything else in its place is
        // replaced rather than opened (a FIFO would block a reader).
        Status status{};
        if (::lstat(name, &status) == 0 && !S_ISREG(status.st_mode)) {
            if (S_ISDIR(status.st_mode))
                errno = EISDIR;
            if (S_ISDIR(status.st_mode) || ::unlink(name) != 0)
                return;
            continue;
        }
        const int fd =
            ::open(name, O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) {
            if (errno == ELOOP || errno == ENXIO || errno == EINTR)
                continue; // replaced in between: look again
            return;
        }
        Status opened{};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            continue;
        }
        bool locked = false;
        int error = 0;
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                break;
            }
            error = errno;
            if ((error != EWOULDBLOCK && error != EINTR) || Clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // The previous holder removes the file when it is done: a lock won on
        // a file no longer at the path protects nothing, so start over.
        if (locked && ::lstat(name, &status) == 0 && sameFile(status, opened)) {
            m_fd = fd;
            return;
        }
        ::close(fd);
        m_busy = !locked && error == EWOULDBLOCK;
        errno = error;
        if (!locked && error != EWOULDBLOCK && error != EINTR)
            return;
    }
}

ExclusiveLock::~ExclusiveLock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so nobody can win it on the stale file and
    // every waiter on it notices and opens the path afresh; but only while
    // the path still names this file.
    Status held{};
    Status atPath{};
    if (::fstat(m_fd, &held) == 0 && ::lstat(m_path.constData(), &atPath) == 0 &&
        sameFile(held, atPath))
        ::unlink(m_path.constData());
    ::close(m_fd);
}

} // namespace PosixFiles
