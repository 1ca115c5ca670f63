#include "address/SystemNetworkTables.h"

#include <QFile>
#include <QList>
#include <algorithm>

#if defined(Q_OS_WIN)
#include <QNetworkInterface>
#include <iphlpapi.h>
#include <vector>
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

namespace SystemNetworkTables {
namespace {

constexpr unsigned kRouteUp = 0x1; // RTF_UP

#if defined(Q_OS_WIN)

QList<DefaultRoute> readDefaultRoutes()
{
    ULONG size = 0;
    if (GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<unsigned char> buffer(size);
    auto *table = reinterpret_cast<MIB_IPFORWARDTABLE *>(buffer.data());
    if (GetIpForwardTable(table, &size, FALSE) != NO_ERROR)
        return {};
    QList<DefaultRoute> routes;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPFORWARDROW &row = table->table[i];
        if (row.dwForwardDest != 0 || row.dwForwardMask != 0)
            continue;
        routes.append({QNetworkInterface::interfaceNameFromIndex(int(row.dwForwardIfIndex)),
                       std::uint32_t(row.dwForwardMetric1)});
    }
    return routes;
}

std::optional<QList<NetworkInterface>> readInterfaces()
{
    QList<NetworkInterface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &qt : all) {
        NetworkInterface interface;
        interface.name = qt.name();
        interface.up = qt.flags().testFlag(QNetworkInterface::IsUp);
        interface.loopback = qt.flags().testFlag(QNetworkInterface::IsLoopBack);
        interface.virtualHint = qt.type() == QNetworkInterface::Virtual;
        for (const QNetworkAddressEntry &entry : qt.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                interface.ipv4.append(entry.ip().toIPv4Address());
        }
        result.append(interface);
    }
    return result;
}

#else

QList<DefaultRoute> readDefaultRoutes()
{
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseProcRoutes(file.readAll());
}

std::optional<QList<NetworkInterface>> readInterfaces()
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
            NetworkInterface interface;
            interface.name = name;
            interface.up = (entry->ifa_flags & IFF_UP) != 0;
            interface.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            result.append(interface);
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

} // namespace

QList<DefaultRoute> parseProcRoutes(const QByteArray &text)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT,
    // addresses as hexadecimal in network byte order; a header line first.
    QList<DefaultRoute> routes;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool destinationOk = false;
        bool flagsOk = false;
        bool metricOk = false;
        bool maskOk = false;
        const auto destination = fields.at(1).toUInt(&destinationOk, 16);
        const auto flags = fields.at(3).toUInt(&flagsOk, 16);
        const auto metric = fields.at(6).toUInt(&metricOk, 10);
        const auto mask = fields.at(7).toUInt(&maskOk, 16);
        if (!destinationOk || !flagsOk || !metricOk || !maskOk)
            continue;
        if (destination != 0 || mask != 0 || (flags & kRouteUp) == 0)
            continue;
        routes.append({QString::fromLocal8Bit(fields.at(0)), metric});
    }
    return routes;
}

std::optional<NetworkTables> read()
{
    std::optional<QList<NetworkInterface>> interfaces = readInterfaces();
    if (!interfaces)
        return std::nullopt;
    return NetworkTables{readDefaultRoutes(), std::move(*interfaces)};
}

} // namespace SystemNetworkTables
