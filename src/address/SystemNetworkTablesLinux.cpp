#include "address/SystemNetworkTables.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace SystemNetworkTables {

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

} // namespace SystemNetworkTables
