#include "support/Panel.h"

#include "support/XTools.h"

#include <QTest>

Panel::Panel(QString program, QStringList arguments)
    : m_program(std::move(program))
    , m_arguments(std::move(arguments))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

bool Panel::start()
{
    m_process.start(m_program, m_arguments);
    return m_process.waitForStarted(10000) &&
           QTest::qWaitFor([this] { return window() != 0; }, 20000);
}

bool Panel::kill()
{
    m_process.kill();
    return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 10000);
}

void Panel::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 10000))
        kill();
}

WId Panel::window() const
{
    if (m_process.state() != QProcess::Running)
        return 0;
    const QString found = XTools::output(
        "xdotool", {"search", "--onlyvisible", "--pid", QString::number(m_process.processId())});
    return found.section('\n', 0, 0).toULongLong();
}

QString Panel::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}
