#include "address/SystemAddressSource.h"

#include "address/AddressChooser.h"
#include "address/SystemNetworkTables.h"

void SystemAddressSource::close()
{
    // Nothing is kept open between reads.
}

std::optional<QString> SystemAddressSource::localIP()
{
    NetworkTables tables;
    tables.routeSource = SystemNetworkTables::routeSource();
    // The interface list only matters when the route gives no address.
    if (!tables.routeSource || !AddressChooser::isUsable(*tables.routeSource)) {
        std::optional<QList<NetworkInterface>> interfaces = SystemNetworkTables::interfaces();
        if (!interfaces)
            return std::nullopt;
        tables.interfaces = std::move(*interfaces);
    }
    return AddressChooser::choose(tables);
}
