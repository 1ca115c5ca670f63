#include "address/NetworkChangeListener.h"

#include <QSocketNotifier>
#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

struct NetworkChangeListener::Private
{
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Private()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }

    bool open()
    {
        fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd < 0)
            return false;
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
            return false;
        }
        return true;
    }

    /// Reads everything the kernel has queued. True when any of it says an
    /// address, a route or a link changed, or when messages were lost (the
    /// queue overflowed): then something surely did.
    bool drain()
    {
        bool relevant = false;
        alignas(nlmsghdr) char buffer[16384];
        for (;;) {
            const ssize_t length = ::recv(fd, buffer, sizeof buffer, 0);
            if (length < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == ENOBUFS)
                    relevant = true;
                break;
            }
            if (length == 0)
                break;
            int remaining = int(length);
            for (auto *message = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(message, remaining);
                 message = NLMSG_NEXT(message, remaining)) {
                switch (message->nlmsg_type) {
                case RTM_NEWADDR:
                case RTM_DELADDR:
                case RTM_NEWROUTE:
                case RTM_DELROUTE:
                case RTM_NEWLINK:
                case RTM_DELLINK:
                    relevant = true;
                    break;
                default:
                    break;
                }
            }
        }
        return relevant;
    }
};

NetworkChangeListener::NetworkChangeListener(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    if (!d->open())
        return;
    d->notifier = std::make_unique<QSocketNotifier>(d->fd, QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] {
        if (d->drain())
            emit changed();
    });
}

NetworkChangeListener::~NetworkChangeListener() = default;

bool NetworkChangeListener::isListening() const
{
    return d->fd >= 0;
}

void NetworkChangeListener::pause()
{
    // The news waits in the kernel's queue.
    if (d->notifier)
        d->notifier->setEnabled(false);
}

void NetworkChangeListener::resume()
{
    if (d->notifier)
        d->notifier->setEnabled(true);
}

bool NetworkChangeListener::takeNews()
{
    return d->fd >= 0 && d->drain();
}
