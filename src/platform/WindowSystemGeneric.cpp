#include "platform/WindowSystem.h"

namespace WindowSystem {

QByteArray platformFor(const Session &)
{
    // The platform's one window system.
    return {};
}

} // namespace WindowSystem
