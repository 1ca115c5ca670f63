#include "platform/SystemNetworkTables.h"

namespace SystemNetworkTables {

std::optional<std::uint32_t> routeSource()
{
    // No route query without a routing socket of its own; the interface
    // list decides.
    return std::nullopt;
}

} // namespace SystemNetworkTables
