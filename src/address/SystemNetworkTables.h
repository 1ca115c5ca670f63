#pragma once

#include "address/NetworkTables.h"

#include <QByteArray>
#include <optional>

/// Reads the kernel's own tables: no subprocess, no packet, no name lookup.
/// Linux: /proc/net/route and getifaddrs(); other Unix systems: getifaddrs()
/// only; Windows: the IP Helper API's forward table and Qt's interface list.
namespace SystemNetworkTables {

/// No value when the interface list itself cannot be read.
std::optional<NetworkTables> read();

/// The default routes in a /proc/net/route text (exposed for testing).
QList<DefaultRoute> parseProcRoutes(const QByteArray &text);

} // namespace SystemNetworkTables
