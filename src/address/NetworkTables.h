#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

/// A snapshot of what the kernel knows about the machine's IPv4 networking,
/// as far as choosing the local address needs it. Addresses are in host byte
/// order.
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
    /// The source address the kernel would give traffic bound for the
    /// internet: the route it would take (default route, its preferred
    /// source, policy rules, a VPN's routes) decides. No value when there is
    /// no such route or it could not be asked.
    std::optional<std::uint32_t> routeSource;
    QList<NetworkInterface> interfaces; ///< in the platform's order
};
