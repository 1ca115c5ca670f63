#include "address/AddressChooser.h"

#include <QStringList>
#include <algorithm>
#include <optional>

namespace AddressChooser {
namespace {

std::optional<std::uint32_t> usableAddress(const NetworkInterface &candidate)
{
    if (!candidate.up)
        return std::nullopt;
    for (const std::uint32_t address : candidate.ipv4) {
        if (isUsable(address))
            return address;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> fromInterfaces(const NetworkTables &tables, bool wantVirtual)
{
    for (const NetworkInterface &candidate : tables.interfaces) {
        if (candidate.loopback)
            continue;
        const bool isVirtual = candidate.virtualHint || isVirtualName(candidate.name);
        if (isVirtual != wantVirtual)
            continue;
        if (const auto address = usableAddress(candidate))
            return address;
    }
    return std::nullopt;
}

} // namespace

QString choose(const NetworkTables &tables)
{
    if (tables.routeSource && isUsable(*tables.routeSource))
        return toText(*tables.routeSource);
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

bool isUsable(std::uint32_t address)
{
    const bool loopback = (address >> 24) == 127;
    return address != 0 && !loopback && !isLinkLocal(address);
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
