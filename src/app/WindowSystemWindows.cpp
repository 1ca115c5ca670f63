#include "app/WindowSystem.h"

#include <QString>

namespace WindowSystem {

QString whyTooLittleAddressSpace()
{
    return {};
}

void makeRoomForDescriptors()
{
    // No such limit to mind.
}

QByteArray platformFor(const Session &)
{
    // The platform's one window system.
    return {};
}

} // namespace WindowSystem
