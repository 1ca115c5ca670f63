#include "platform/SystemNetworkTables.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace SystemNetworkTables {

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
