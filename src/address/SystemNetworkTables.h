#pragma once

#include "address/NetworkTables.h"

#include <QList>
#include <optional>

/// Asks the kernel itself: no subprocess, no packet, no name lookup.
///
/// Linux: an rtnetlink route query for a public destination (what
/// `ip route get` does) and getifaddrs(). Windows: the IP Helper API's best
/// route and Qt's interface list.
namespace SystemNetworkTables {

/// Where the kernel's route lookups are aimed: any address on the internet
/// gives the same answer unless a route singles it out. No packet is sent.
inline constexpr std::uint32_t kPublicDestination = 0x01010101; // 1.1.1.1

/// The source address of the route to kPublicDestination; no value without
/// such a route.
std::optional<std::uint32_t> routeSource();

/// Every interface with its IPv4 addresses; no value when the list itself
/// cannot be read.
std::optional<QList<NetworkInterface>> interfaces();

} // namespace SystemNetworkTables
