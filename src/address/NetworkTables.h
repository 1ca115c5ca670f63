#pragma once

#include <QList>
#include <QString>
#include <cstdint>

/// A snapshot of what the kernel knows about the machine's IPv4 networking,
/// as far as choosing the local address needs it. Addresses are in host byte
/// order.
struct DefaultRoute
{
    QString interfaceName;
    std::uint32_t metric = 0;
};

struct NetworkInterface
{
    QString name;
    bool up = false;
    bool loopback = false;
    /// Set when the platform itself reports the interface as virtual; names
    /// of well-known virtual interfaces are recognised on top of it.
    bool virtualHint = false;
    QList<std::uint32_t> ipv4; ///< in the order the platform lists them
};

struct NetworkTables
{
    QList<DefaultRoute> defaultRoutes;
    QList<NetworkInterface> interfaces; ///< in the platform's order
};
