#include "platform/WindowSystem.h"

#include <QGuiApplication>
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

CommandLine::CommandLine(int argc, char *argv[])
{
    for (int i = 0; i < argc; ++i)
        m_arguments.append(QByteArray(argv[i]));
    const QByteArray platform = platformFor(current(m_arguments.mid(1)));
    if (!platform.isEmpty())
        m_arguments << QByteArrayLiteral("-platform") << platform;
    for (QByteArray &argument : m_arguments)
        m_argv.push_back(argument.data());
    m_argv.push_back(nullptr);
    m_argc = int(m_arguments.size());
}

bool showsWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
           platform != QLatin1String("minimalegl");
}

} // namespace WindowSystem
