#include "app/WindowSystem.h"

#include <QtGlobal>

namespace WindowSystem {

QByteArray platformFor(const Session &session)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (session.waylandDisplay && session.x11Display && !session.platformChosen)
        return QByteArrayLiteral("xcb");
#else
    Q_UNUSED(session);
#endif
    return {};
}

Session current(const QByteArrayList &arguments)
{
    Session session;
    session.waylandDisplay = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    session.x11Display = !qEnvironmentVariableIsEmpty("DISPLAY");
    session.platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
                             arguments.contains("-platform") || arguments.contains("--platform");
    return session;
}

void choose(int argc, char *argv[])
{
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const QByteArray platform = platformFor(current(arguments));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

} // namespace WindowSystem
