#include "address/AddressChooser.h"

#include <QStringList>
#include <algorithm>
#include <optional>

namespace AddressChooser {
namespace {

bool isLoopback(std::uint32_t address)
{
    return (address >> 24) == 127;
}

std::optional<std::uint32_t> usableAddress(const NetworkInterface &interface)
{
    if (!interface.up)
        return std::nullopt;
    for (const std::uint32_t address : interface.ipv4) {
        if (address != 0 && !isLinkLocal(address) && !isLoopback(address))
            return address;
    }
    return std::nullopt;
}

const NetworkInterface *findInterface(const NetworkTables &tables, const QString &name)
{
    for (const NetworkInterface &interface : tables.interfaces) {
        if (interface.name == name)
            return &interface;
    }
    return nullptr;
}

std::optional<std::uint32_t> fromDefaultRoutes(const NetworkTables &tables)
{
    QList<DefaultRoute> routes = tables.defaultRoutes;
    std::stable_sort(
        routes.begin(), routes.end(),
        [](const DefaultRoute &a, const DefaultRoute &b) { return a.metric < b.metric; });
    for (const DefaultRoute &route : routes) {
        if (const NetworkInterface *interface = findInterface(tables, route.interfaceName)) {
            if (const auto address = usableAddress(*interface))
                return address;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> fromInterfaces(const NetworkTables &tables, bool wantVirtual)
{
    for (const NetworkInterface &interface : tables.interfaces) {
        if (interface.loopback)
            continue;
        const bool isVirtual = interface.virtualHint || isVirtualName(interface.name);
        if (isVirtual != wantVirtual)
            continue;
        if (const auto address = usableAddress(interface))
            return address;
    }
    return std::nullopt;
}

} // namespace

QString choose(const NetworkTables &tables)
{
    if (const auto address = fromDefaultRoutes(tables))
        return toText(*address);
    if (const auto address = fromInterfaces(tables, false))
        return toText(*address);
    if (const auto address = fromInterfaces(tables, true))
        return toText(*address);
    return QStringLiteral("127.0.0.1");
}

QString toText(std::uint32_t address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xff)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

bool isLinkLocal(std::uint32_t address)
{
    return (address & 0xffff0000u) == 0xa9fe0000u; // 169.254.0.0/16
}

bool isVirtualName(const QString &interfaceName)
{
    static const QStringList prefixes = {
        QStringLiteral("docker"), QStringLiteral("br-"),   QStringLiteral("veth"),
        QStringLiteral("virbr"),  QStringLiteral("vmnet"), QStringLiteral("vboxnet"),
    };
    return std::any_of(prefixes.cbegin(), prefixes.cend(),
                       [&](const QString &prefix) { return interfaceName.startsWith(prefix); });
}

} // namespace AddressChooser
