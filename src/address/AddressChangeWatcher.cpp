#include "address/AddressChangeWatcher.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <utility>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
// winsock2.h before everything else that pulls in windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on
#endif

#if defined(Q_OS_LINUX)

struct AddressChangeWatcher::Platform
{
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Platform()
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

#elif defined(Q_OS_WIN)

struct AddressChangeWatcher::Platform
{
    HANDLE addressHandle = nullptr;
    HANDLE routeHandle = nullptr;

    ~Platform()
    {
        // Waits for callbacks in progress to finish.
        if (addressHandle)
            CancelMibChangeNotify2(addressHandle);
        if (routeHandle)
            CancelMibChangeNotify2(routeHandle);
    }

    // Called on a thread of the system's: hand the news to the GUI thread.
    static void handOver(PVOID context)
    {
        auto *watcher = static_cast<AddressChangeWatcher *>(context);
        QMetaObject::invokeMethod(
            watcher, [watcher] { watcher->kernelReported(); }, Qt::QueuedConnection);
    }
    static void WINAPI onAddressChange(PVOID context, PMIB_UNICASTIPADDRESS_ROW,
                                       MIB_NOTIFICATION_TYPE)
    {
        handOver(context);
    }
    static void WINAPI onRouteChange(PVOID context, PMIB_IPFORWARD_ROW2, MIB_NOTIFICATION_TYPE)
    {
        handOver(context);
    }
};

#else

struct AddressChangeWatcher::Platform
{
};

#endif

AddressChangeWatcher::AddressChangeWatcher(QObject *parent)
    : QObject(parent)
    , m_platform(std::make_unique<Platform>())
{
    m_window.setSingleShot(true);
    m_window.setInterval(kBurstWindowMs);
    connect(&m_window, &QTimer::timeout, this, &AddressChangeWatcher::windowPassed);
#if defined(Q_OS_LINUX)
    if (!m_platform->open())
        return;
    m_platform->notifier = std::make_unique<QSocketNotifier>(m_platform->fd, QSocketNotifier::Read);
    connect(m_platform->notifier.get(), &QSocketNotifier::activated, this, [this] {
        if (m_platform->drain())
            kernelReported();
    });
#elif defined(Q_OS_WIN)
    NotifyUnicastIpAddressChange(AF_INET, &Platform::onAddressChange, this, FALSE,
                                 &m_platform->addressHandle);
    NotifyRouteChange2(AF_INET, &Platform::onRouteChange, this, FALSE, &m_platform->routeHandle);
#endif
}

AddressChangeWatcher::~AddressChangeWatcher() = default;

bool AddressChangeWatcher::isListening() const
{
#if defined(Q_OS_LINUX)
    return m_platform->fd >= 0;
#elif defined(Q_OS_WIN)
    return m_platform->addressHandle || m_platform->routeHandle;
#else
    return false;
#endif
}

void AddressChangeWatcher::kernelReported()
{
    if (m_window.isActive()) {
        // Within a burst: looked at when the window has passed.
        m_newsInWindow = true;
        return;
    }
    report();
    // Quiet for the rest of the burst: the news waits in the kernel's queue
    // and is read once a window.
#if defined(Q_OS_LINUX)
    m_platform->notifier->setEnabled(false);
#endif
    m_window.start();
}

void AddressChangeWatcher::windowPassed()
{
    bool news = std::exchange(m_newsInWindow, false);
#if defined(Q_OS_LINUX)
    news = m_platform->drain() || news;
#endif
    if (news) {
        // The burst goes on.
        m_pending = true;
        if (m_sinceReport.elapsed() >= kBurstRefreshMs)
            report();
        m_window.start();
        return;
    }
    if (std::exchange(m_pending, false))
        report();
#if defined(Q_OS_LINUX)
    m_platform->notifier->setEnabled(true);
#endif
}

void AddressChangeWatcher::report()
{
    m_sinceReport.start();
    m_pending = false;
    emit changed();
}
