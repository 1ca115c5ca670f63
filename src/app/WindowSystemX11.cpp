#include "app/WindowSystem.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <sys/resource.h>

namespace WindowSystem {

QString whyTooLittleAddressSpace()
{
    // A copy at rest maps about 230 MiB and at its peak 290 (thread stacks
    // for the most part, barely touched); it starts well within 130.
    constexpr rlim_t kLeast = rlim_t(192) * 1024 * 1024;
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= kLeast)
        return {};
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kLeast : std::min(kLeast, limit.rlim_max);
    if (raised.rlim_cur >= kLeast && ::setrlimit(RLIMIT_AS, &raised) == 0)
        return {};
    return QStringLiteral("%1 KiB of address space is too little (ulimit -v); it needs %2 KiB")
        .arg(limit.rlim_cur / 1024)
        .arg(kLeast / 1024);
}

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
