#include "platform/WindowSystem.h"

#include <QtGlobal>
#include <algorithm>
#include <sys/resource.h>

namespace WindowSystem {

void makeRoomForDescriptors()
{
    // Qt, the session bus and the accessibility bridge take a score or so;
    // the single-copy channel keeps a few for its clients.
    constexpr rlim_t kWanted = 1024;
    constexpr rlim_t kEnoughToShareMemory = 64;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < kWanted && limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = std::min(kWanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur < kEnoughToShareMemory)
        qputenv("QT_XCB_NO_MITSHM", "1");
}

QByteArray platformFor(const Session &session)
{
    if (session.waylandDisplay && session.x11Display && !session.platformChosen)
        return QByteArrayLiteral("xcb");
    return {};
}

} // namespace WindowSystem
