#include "platform/WindowSystem.h"

#include <QtGlobal>

namespace WindowSystem {

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
