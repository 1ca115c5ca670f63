#include "address/SystemNetworkTables.h"

// winsock2.h before everything else that pulls in windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on
#include <QNetworkInterface>

namespace SystemNetworkTables {

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

} // namespace SystemNetworkTables
