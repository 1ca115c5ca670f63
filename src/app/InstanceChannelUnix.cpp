#include "app/InstanceChannel.h"
#include "app/InstanceChannelPath.h"
#include "platform/PosixFiles.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <list>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool toAddress(const QByteArray &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(path.cbegin(), path.cend(), address.sun_path);
    return true;
}

/// Whether the other end of @p fd runs as this user.
bool peerIsUs(int fd)
{
#ifdef SO_PEERCRED
    ucred credentials = {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::getuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(fd, &uid, &gid) == 0 && uid == ::getuid();
#endif
}

/// Waits for @p events on @p fd until @p deadline; true when they came.
bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd entry = {fd, events, 0};
        const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return (entry.revents & events) != 0;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

/// Asks the copy listening at @p path to show itself, within @p deadline.
bool askToShow(const QByteArray &path, const QDeadlineTimer &deadline)
{
    sockaddr_un address;
    if (!toAddress(path, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto answered = [&] {
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (errno != EINPROGRESS || !waitFor(fd, POLLOUT, deadline) ||
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
                return false;
        }
        if (!peerIsUs(fd))
            return false;
        // The token a launcher gave this start, for the running copy to be
        // brought forward with (xdg-activation); one that does not fit a
        // request is left out.
        QByteArray request = "show " + qgetenv("XDG_ACTIVATION_TOKEN") + '\n';
        if (request.size() > InstanceChannel::kMaxLine ||
            InstanceChannel::tokenOfRequest(request).value_or(QByteArray()).isEmpty())
            request = InstanceChannel::kShow;
        qsizetype sent = 0;
        while (sent < request.size()) {
            const ssize_t n =
                ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else if (n < 0 && errno != EINTR &&
                     (errno != EAGAIN || !waitFor(fd, POLLOUT, deadline)))
                return false;
        }
        QByteArray answer;
        while (!answer.contains('\n') && answer.size() < InstanceChannel::kMaxLine) {
            char buffer[InstanceChannel::kMaxLine];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                answer.append(buffer, n);
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                return false;
            else if (errno == EAGAIN && !waitFor(fd, POLLIN, deadline))
                return false;
        }
        return answer == InstanceChannel::kShown;
    }();
    ::close(fd);
    return answered;
}

/// One client of the listening end, read from a notifier of its own.
struct Connection
{
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QByteArray line;
    QDeadlineTimer idle;
};

} // namespace

struct InstanceChannel::Private
{
    explicit Private(InstanceChannel *channel)
        : q(channel)
    {}

    bool listen();
    void acceptPending();
    void adopt(int fd);
    bool closeOldestSilent();
    void read(std::list<Connection>::iterator connection);
    void close(std::list<Connection>::iterator connection);
    void closeIdle();

    InstanceChannel *const q;
    QByteArray folder;
    QByteArray path;
    QString whyAlone;
    int listening = -1;
    dev_t device = 0;
    ino_t inode = 0;
    QSocketNotifier *notifier = nullptr;
    /// Held back for the moment the process runs out of descriptors: it
    /// makes room to take a waiting connection and close it.
    int reserve = -1;
    std::list<Connection> connections;
    QTimer sweep;
};

bool InstanceChannel::Private::listen()
{
    // Bound under a name of its own, then put in place in one step: a stale
    // socket at the name is replaced, and at no moment is there none.
    const QByteArray fresh = path + ".new-" + QByteArray::number(::getpid());
    sockaddr_un address;
    if (!toAddress(fresh, address))
        return false;
    ::unlink(fresh.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct stat status = {};
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 || ::rename(fresh.constData(), path.constData()) != 0 ||
        ::lstat(path.constData(), &status) != 0) {
        const int error = errno;
        ::unlink(fresh.constData());
        ::close(fd);
        errno = error;
        return false;
    }
    listening = fd;
    // A copy that was stopped or hung while another start found no answer
    // and took the name over: heard when it runs again.
    auto *watcher = new QFileSystemWatcher({QFile::decodeName(folder)}, q);
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, q, [this, watcher] {
        struct stat now = {};
        if (::lstat(path.constData(), &now) != 0 || (now.st_dev == device && now.st_ino == inode))
            return;
        watcher->deleteLater();
        emit q->takenOver();
    });
    device = status.st_dev;
    inode = status.st_ino;
    reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, q);
    QObject::connect(notifier, &QSocketNotifier::activated, q, [this] { acceptPending(); });
    sweep.setInterval(kIdleMs / 4);
    QObject::connect(&sweep, &QTimer::timeout, q, [this] { closeIdle(); });
    return true;
}

void InstanceChannel::Private::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            adopt(fd);
            continue;
        }
        switch (errno) {
        case EINTR:
        case ECONNABORTED:
            continue;
        case EAGAIN:
            return;
        case EMFILE:
        case ENFILE:
            // A client that has said nothing makes room for the next.
            if (closeOldestSilent())
                continue;
            if (reserve >= 0) {
                // Out of descriptors: take the waiting connection with the
                // one held back and close it, rather than have the socket
                // stay readable and the client wait.
                ::close(reserve);
                const int dropped = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
                if (dropped >= 0)
                    ::close(dropped);
                reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                if (dropped >= 0)
                    continue;
            }
            [[fallthrough]];
        default:
            // Not now; look again in a moment, rather than spin.
            notifier->setEnabled(false);
            QTimer::singleShot(100, q, [this] { notifier->setEnabled(true); });
            return;
        }
    }
}

bool InstanceChannel::Private::closeOldestSilent()
{
    // A start says its line as soon as it has connected, and is answered
    // and closed at once; a client that has said nothing since is idle (a
    // start that closed it early would take the channel over, and the
    // running copy would end).
    const auto silent = std::find_if(connections.begin(), connections.end(),
                                     [](const Connection &c) { return c.line.isEmpty(); });
    if (silent == connections.end())
        return false;
    close(silent);
    return true;
}

void InstanceChannel::Private::adopt(int fd)
{
    if (!peerIsUs(fd)) {
        ::close(fd);
        return;
    }
    // Descriptors left for the window system (each of its replies may bring
    // one) and the settings file: no client that has said nothing keeps
    // them from the next.
    constexpr int kLeftFree = 8;
    rlimit files = {};
    const bool nearTheLimit = ::getrlimit(RLIMIT_NOFILE, &files) == 0 &&
                              files.rlim_cur != RLIM_INFINITY &&
                              rlim_t(fd) + kLeftFree >= files.rlim_cur;
    if (connections.size() >= size_t(kMaxConnections) || nearTheLimit)
        closeOldestSilent();
    connections.push_back(
        {fd, new QSocketNotifier(fd, QSocketNotifier::Read, q), {}, QDeadlineTimer(kIdleMs)});
    const auto connection = std::prev(connections.end());
    QObject::connect(connection->notifier, &QSocketNotifier::activated, q,
                     [this, connection] { read(connection); });
    if (!sweep.isActive())
        sweep.start();
}

void InstanceChannel::Private::read(std::list<Connection>::iterator connection)
{
    char buffer[kMaxLine];
    const ssize_t n = ::recv(connection->fd, buffer, size_t(kMaxLine - connection->line.size()), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        close(connection);
        return;
    }
    connection->line.append(buffer, n);
    const qsizetype end = connection->line.indexOf('\n');
    if (end < 0 && connection->line.size() < kMaxLine)
        return;
    // One request a connection: a line, then it is closed.
    if (const auto token = tokenOfRequest(connection->line.left(end + 1))) {
        [[maybe_unused]] const ssize_t sent =
            ::send(connection->fd, kShown, sizeof kShown - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        emit q->showRequested(*token);
    }
    close(connection);
}

void InstanceChannel::Private::close(std::list<Connection>::iterator connection)
{
    connection->notifier->setEnabled(false);
    connection->notifier->deleteLater();
    ::close(connection->fd);
    connections.erase(connection);
    if (connections.empty())
        sweep.stop();
}

void InstanceChannel::Private::closeIdle()
{
    for (auto it = connections.begin(); it != connections.end();) {
        const auto next = std::next(it);
        if (it->idle.hasExpired())
            close(it);
        it = next;
    }
}

InstanceChannel::InstanceChannel(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    d->path = InstanceChannelPath::choose(&d->whyAlone);
    d->folder = d->path.left(d->path.lastIndexOf('/'));
}

InstanceChannel::~InstanceChannel()
{
    while (!d->connections.empty())
        d->close(d->connections.begin());
    if (d->listening < 0)
        return;
    // Only the socket this copy put there: a later copy may have taken over.
    struct stat status = {};
    if (::lstat(d->path.constData(), &status) == 0 && status.st_dev == d->device &&
        status.st_ino == d->inode)
        ::unlink(d->path.constData());
    ::close(d->listening);
    if (d->reserve >= 0)
        ::close(d->reserve);
}

InstanceChannel::Claim InstanceChannel::claim()
{
    if (d->path.isEmpty())
        return Claim::Alone;
    // One copy at a time decides; one that takes longer than its turn (a
    // copy stopped or hung while deciding) is not waited for.
    const PosixFiles::ExclusiveLock turn(d->path + ".lock", std::chrono::milliseconds(kTurnMs));
    if (askToShow(d->path, QDeadlineTimer(kAnswerMs)))
        return Claim::HandedOver;
    if (d->listen())
        return Claim::Listening;
    d->whyAlone = QStringLiteral("cannot listen at %1: %2")
                      .arg(QFile::decodeName(d->path), qt_error_string(errno));
    return Claim::Alone;
}

QString InstanceChannel::whyAlone() const
{
    return d->whyAlone;
}
