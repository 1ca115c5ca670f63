#pragma once

#include <QProcess>
#include <QSystemTrayIcon>

class TrayIcon;

/// A notification area a test starts and ends itself (trayer, as the
/// session harness runs it), and a look at where our icon is docked.
class TrayHost
{
public:
    ~TrayHost() { stop(); }

    bool start();
    void stop();

    /// Whether an X11 tray host is there, as Qt sees it.
    static bool isAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }
    /// The icon's own X window, docked into a tray host's window, or 0.
    static WId dockedIconWindow();
    /// Docked, on screen, and where Qt believes it is: safe to point at.
    static bool iconSettled(TrayIcon &tray);
    static QSystemTrayIcon *systemTrayIcon(TrayIcon &tray);

private:
    QProcess m_process;
};
