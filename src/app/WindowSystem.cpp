#include "app/WindowSystem.h"

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

namespace {

/// The X display the command line names, as Qt takes it.
QByteArray s_displayOption;

} // namespace

QByteArray displayShownOn()
{
    return s_displayOption.isEmpty() ? qgetenv("DISPLAY") : s_displayOption;
}

CommandLine::CommandLine(int argc, char *argv[])
{
    for (int i = 0; i < argc; ++i)
        m_arguments.append(QByteArray(argv[i]));
    for (qsizetype i = 1; i + 1 < m_arguments.size(); ++i) {
        if (m_arguments.at(i) == "-display" || m_arguments.at(i) == "--display")
            s_displayOption = m_arguments.at(i + 1);
    }
    const QByteArray platform = platformFor(current(m_arguments.mid(1)));
    if (!platform.isEmpty())
        m_arguments << QByteArrayLiteral("-platform") << platform;
    for (QByteArray &argument : m_arguments)
        m_argv.push_back(argument.data());
    m_argv.push_back(nullptr);
    m_argc = int(m_arguments.size());
}

bool showsOnTheDesktop()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")) ||
           platform == QLatin1String("windows");
}

} // namespace WindowSystem
