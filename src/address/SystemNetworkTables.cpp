#include "address/SystemNetworkTables.h"

#include <algorithm>

#if defined(Q_OS_WIN)
// winsock2.h before everything else that pulls in windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on
#include <QNetworkInterface>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace SystemNetworkTables {

#if defined(Q_OS_LINUX)

namespace {

/// A netlink socket to the kernel's routing, closed with this object.
class RouteSocket
{
public:
    RouteSocket()
        : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {
        if (m_fd < 0)
            return;
        // The kernel answers while the request is being sent; the timeout
        // only keeps a broken kernel from hanging the window.
        const timeval timeout{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~RouteSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RouteSocket(const RouteSocket &) = delete;
    RouteSocket &operator=(const RouteSocket &) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::optional<std::uint32_t> routeSource()
{
    RouteSocket socket;
    if (socket.fd() < 0)
        return std::nullopt;

    // RTM_GETROUTE for one destination: the kernel resolves it the way it
    // would route a packet (rules, tables, preferred sources) and answers
    // with the route, the source address included.
    struct
    {
        nlmsghdr header;
        rtmsg route;
        alignas(NLMSG_ALIGNTO) char attributes[RTA_SPACE(sizeof(in_addr))];
    } request{};
    constexpr std::uint32_t kSequence = 1;
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg)) + RTA_LENGTH(sizeof(in_addr));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = kSequence;
    request.route.rtm_family = AF_INET;
    request.route.rtm_dst_len = 32;
    auto *destination = reinterpret_cast<rtattr *>(request.attributes);
    destination->rta_type = RTA_DST;
    destination->rta_len = RTA_LENGTH(sizeof(in_addr));
    const in_addr publicAddress{htonl(kPublicDestination)};
    std::memcpy(RTA_DATA(destination), &publicAddress, sizeof publicAddress);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.fd(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel) < 0)
        return std::nullopt;

    alignas(nlmsghdr) char reply[8192];
    for (;;) {
        const ssize_t length = ::recv(socket.fd(), reply, sizeof reply, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return std::nullopt;
        int remaining = int(length);
        for (auto *message = reinterpret_cast<nlmsghdr *>(reply); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_seq != kSequence)
                continue;
            // An error here is the kernel's "no route" (unreachable,
            // prohibited): there is no such source.
            if (message->nlmsg_type != RTM_NEWROUTE)
                return std::nullopt;
            const auto *route = static_cast<const rtmsg *>(NLMSG_DATA(message));
            if (route->rtm_type != RTN_UNICAST)
                return std::nullopt;
            int attributesLength = int(RTM_PAYLOAD(message));
            for (const rtattr *attribute = RTM_RTA(route); RTA_OK(attribute, attributesLength);
                 attribute = RTA_NEXT(attribute, attributesLength)) {
                if (attribute->rta_type == RTA_PREFSRC &&
                    RTA_PAYLOAD(attribute) == sizeof(in_addr)) {
                    in_addr source{};
                    std::memcpy(&source, RTA_DATA(attribute), sizeof source);
                    return ntohl(source.s_addr);
                }
            }
            return std::nullopt;
        }
    }
}

#elif defined(Q_OS_WIN)

std::optional<std::uint32_t> routeSource()
{
    SOCKADDR_INET destination{};
    destination.Ipv4.sin_family = AF_INET;
    destination.Ipv4.sin_addr.s_addr = htonl(kPublicDestination);
    MIB_IPFORWARD_ROW2 route{};
    SOCKADDR_INET source{};
    if (GetBestRoute2(nullptr, 0, nullptr, &destination, 0, &route, &source) != NO_ERROR)
        return std::nullopt;
    if (source.si_family != AF_INET)
        return std::nullopt;
    return ntohl(source.Ipv4.sin_addr.s_addr);
}

#else

std::optional<std::uint32_t> routeSource()
{
    // No route query without a routing socket of its own; the interface
    // list decides.
    return std::nullopt;
}

#endif

#if defined(Q_OS_WIN)

std::optional<QList<NetworkInterface>> interfaces()
{
    QList<NetworkInterface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &qt : all) {
        NetworkInterface entry;
        entry.name = qt.name();
        entry.up = qt.flags().testFlag(QNetworkInterface::IsUp);
        entry.loopback = qt.flags().testFlag(QNetworkInterface::IsLoopBack);
        entry.virtualHint = qt.type() == QNetworkInterface::Virtual;
        for (const QNetworkAddressEntry &address : qt.addressEntries()) {
            if (address.ip().protocol() == QAbstractSocket::IPv4Protocol)
                entry.ipv4.append(address.ip().toIPv4Address());
        }
        result.append(entry);
    }
    return result;
}

#else

std::optional<QList<NetworkInterface>> interfaces()
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;

    QList<NetworkInterface> result;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name)
            continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        auto it = std::find_if(result.begin(), result.end(),
                               [&](const NetworkInterface &known) { return known.name == name; });
        if (it == result.end()) {
            NetworkInterface added;
            added.name = name;
            added.up = (entry->ifa_flags & IFF_UP) != 0;
            added.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            result.append(added);
            it = result.end() - 1;
        }
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
            it->ipv4.append(ntohl(address->sin_addr.s_addr));
        }
    }
    ::freeifaddrs(list);
    return result;
}

#endif

} // namespace SystemNetworkTables
