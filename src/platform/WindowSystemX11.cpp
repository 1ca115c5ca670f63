#include "platform/WindowSystem.h"

namespace WindowSystem {

QByteArray platformFor(const Session &session)
{
    if (session.waylandDisplay && session.x11Display && !session.platformChosen)
        return QByteArrayLiteral("xcb");
    return {};
}

} // namespace WindowSystem
