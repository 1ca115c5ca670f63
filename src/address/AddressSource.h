#pragma once

#include <QString>
#include <optional>

/// Where the local address comes from. The program reads it through this
/// seam only, so tests can stand in a source that changes or fails.
class AddressSource
{
public:
    virtual ~AddressSource() = default;

    /// Lets go of anything held open. Harmless when nothing is: it never fails.
    virtual void close() = 0;

    /// The machine's local IPv4 address as dotted-decimal text; no value when
    /// it cannot be read this time.
    virtual std::optional<QString> localIP() = 0;
};
