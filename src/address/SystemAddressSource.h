#pragma once

#include "address/AddressSource.h"

/// The address source of a running program: the kernel's tables, read
/// afresh on every call, and the address chosen from them.
class SystemAddressSource final : public AddressSource
{
public:
    void close() override;
    std::optional<QString> localIP() override;
};
