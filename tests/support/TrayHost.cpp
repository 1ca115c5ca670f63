#include "support/TrayHost.h"

#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

bool TrayHost::start()
{
    m_process.start(QStringLiteral("trayer"), {"--edge",
                                               "bottom",
                                               "--align",
                                               "right",
                                               "--widthtype",
                                               "pixel",
                                               "--width",
                                               "96",
                                               "--height",
                                               "24",
                                               "--SetDockType",
                                               "true",
                                               "--SetPartialStrut",
                                               "true",
                                               "--expand",
                                               "true",
                                               "--transparent",
                                               "false",
                                               "--tint",
                                               "0x303840"});
    return m_process.waitForStarted(10000) &&
           QTest::qWaitFor([] { return TrayHost::isAvailable(); }, 10000);
}

void TrayHost::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    const bool ended =
        QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 10000);
    if (!ended) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Until this process has seen the tray go, a host started next would
    // look as if it were already there.
    [[maybe_unused]] const bool gone =
        QTest::qWaitFor([] { return !TrayHost::isAvailable(); }, 10000);
}

WId TrayHost::dockedIconWindow()
{
    // Asking xwininfo runs the event loop, where Qt may replace the icon's
    // window: hold on to the windows weakly.
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        windows.append(window);
    for (const QPointer<QWidget> &window : windows) {
        if (!window || window->objectName() != QLatin1String("QSystemTrayIconSys") ||
            !window->isVisible())
            continue;
        const WId id = window->winId();
        const QString tree = XTools::output("xwininfo", {"-children", "-id", QString::number(id)});
        const QString parentLine = tree.section("Parent window id:", 1, 1).section('\n', 0, 0);
        if (window && !parentLine.isEmpty() && !parentLine.contains("(the root window)"))
            return id;
    }
    return 0;
}

bool TrayHost::iconSettled(TrayIcon &tray)
{
    const WId docked = dockedIconWindow();
    if (!docked)
        return false;
    const QString info = XTools::output("xwininfo", {"-id", QString::number(docked)});
    return info.contains("IsViewable") &&
           XTools::geometry(docked) == systemTrayIcon(tray)->geometry();
}

QSystemTrayIcon *TrayHost::systemTrayIcon(TrayIcon &tray)
{
    return tray.findChild<QSystemTrayIcon *>();
}
