#pragma once

#include "address/NetworkTables.h"

#include <QString>

/// Picks the one address a person means by "my IP": the source address the
/// kernel gives traffic bound for the internet; without a usable one, the
/// first interface that is up, not loopback and has an address outside
/// 169.254.0.0/16, physical interfaces before virtual ones; without any, the
/// loopback address "127.0.0.1".
namespace AddressChooser {

QString choose(const NetworkTables &tables);

QString toText(std::uint32_t address);
bool isLinkLocal(std::uint32_t address);
/// Neither 0.0.0.0, loopback nor link-local: an address others can reach.
bool isUsable(std::uint32_t address);
/// Bridges, container and hypervisor interfaces that rarely carry the
/// address a person wants to hand out.
bool isVirtualName(const QString &interfaceName);

} // namespace AddressChooser
