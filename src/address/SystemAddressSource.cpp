#include "address/SystemAddressSource.h"

#include "address/AddressChooser.h"
#include "address/SystemNetworkTables.h"

void SystemAddressSource::close()
{
    // Nothing is kept open between reads.
}

std::optional<QString> SystemAddressSource::localIP()
{
    const std::optional<NetworkTables> tables = SystemNetworkTables::read();
    if (!tables)
        return std::nullopt;
    return AddressChooser::choose(*tables);
}
