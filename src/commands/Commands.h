#pragma once

#include "floating/FrmFloatingIP.h"
#include "floating/OnDemandWindow.h"

#include <QObject>

class AppSettings;
class FloatIpMenu;
class MainWindow;
class TrayIcon;

using FloatingWindow = OnDemandWindow<FrmFloatingIP>;

/// Everything a user can start: the buttons, the items of both popup menus,
/// the Ctrl+C shortcut and the web address. Each handler does at most a few
/// window operations and one settings write, in that order. Controls that
/// do the same thing share one handler: copying (the Copy button and both
/// menus' Copy), hiding (the Hide button and Visible > No) and turning the
/// floating window off from a menu (Floating > No and the floating window's
/// Hide).
class Commands : public QObject
{
    Q_OBJECT

public:
    Commands(MainWindow &frmIP, FloatingWindow &floating, TrayIcon &tray, FloatIpMenu &floatIpMenu,
             const AppSettings &settings);

    /// Copies the address exactly as the main window shows it.
    void cmdCopy_Click();

    /// A key went down while the main window was active: Ctrl+C, with Ctrl
    /// alone, copies. The key goes on to its normal processing either way.
    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);

    void cmdHide_Click();
    void mnuRMBClickShow_Click();

    void cmdShow_Click();
    void ShowFloatingIP();
    void mnuFloatingMenuNo_Click();

    void mnuQuit_Click();
    void lblWebAdd_Click();

    /// The maker's web address as the main window shows it, and the page
    /// it opens.
    static QString webAddress();
    static QString webUrl();

private:
    MainWindow &m_frmIP;
    FloatingWindow &m_floating;
    const AppSettings &m_settings;
};
